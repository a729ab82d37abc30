// ComApartment: COM for the calling thread, joined when first needed instead
// of at thread start. Joining costs a UI thread tens of milliseconds on some
// systems, which the first frame of a window does not need; what needs COM
// (an accessibility client's request, the shell) calls Enter first.
//
// Enter joins a single-threaded apartment once per thread and answers
// whether COM is usable on the thread (also when the thread had joined one
// itself). Leave balances this thread's successful Enter, if any. Both act
// on the calling thread only; call Leave on the thread that called Enter,
// before it ends.
#pragma once

namespace cbase {

class ComApartment {
 public:
  static bool Enter();
  static void Leave();
  // True while this thread holds an apartment Enter joined.
  static bool Entered();
};

}  // namespace cbase
