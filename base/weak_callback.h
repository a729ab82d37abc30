// Weak callbacks: callables bound to an object that do nothing once the object
// is gone.
//
// An object that hands out callbacks derives from SupportWeakCallback. It owns
// a WeakFlag, made on first use; a WeakCallback holds only a weak reference to
// that flag next to the inner callable. When the object dies, the flag dies
// with it and every callback issued for it becomes a no-op that answers the
// default value of its result type (false for boolean event handlers).
//
//   class Window : public cbase::SupportWeakCallback {
//     void Start() {
//       loop->PostTask(ToWeakCallback([this] { Repaint(); }));   // lambda
//       auto on_close = ToWeakCallback(&Window::Close, 1);         // member + bound args
//     }
//   };
//
// Objects that must revoke their callbacks while staying alive (timers,
// pending repaints) hold a WeakCallbackFlag member and call Cancel.
//
// Threads: issuing callbacks (GetWeakFlag, ToWeakCallback) is safe from any
// thread, so a worker may wrap a closure bound to a UI object before posting
// it. Calling a WeakCallback must happen on the thread that destroys its
// object (the UI thread for every UI object): the liveness test and the call
// are not one atomic step. Debug builds check it: the first call of a live
// object's callbacks binds its flag to the calling thread, and later calls,
// and the object's destruction, must happen there.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <tuple>
#include <type_traits>
#include <utility>

#include "base/check.h"
#include "base/thread_checker.h"

namespace cbase {

// The liveness of its shared owner is what matters; it also carries the
// debug check of the thread the owner's callbacks are called on, unbound until
// the first call.
class WeakFlag {
 public:
  WeakFlag() { call_thread_.DetachFromThread(); }
  const ThreadChecker& call_thread() const { return call_thread_; }

 private:
  ThreadChecker call_thread_;
};

template <typename F>
class WeakCallback {
 public:
  WeakCallback(std::weak_ptr<WeakFlag> flag, F callable)
      : flag_(std::move(flag)), callable_(std::move(callable)) {}

  // True once the issuing object is gone or has cancelled its callbacks.
  bool Expired() const { return flag_.expired(); }

  template <typename... Args>
  auto operator()(Args&&... args) const -> std::invoke_result_t<F&, Args&&...> {
    using Result = std::invoke_result_t<F&, Args&&...>;
#ifndef NDEBUG
    if (const std::shared_ptr<WeakFlag> flag = flag_.lock()) {
      CBASE_DCHECK_ON_THREAD(flag->call_thread());
    }
#endif
    if constexpr (std::is_void_v<Result>) {
      if (!flag_.expired()) std::invoke(callable_, std::forward<Args>(args)...);
    } else {
      if (flag_.expired()) return Result();
      return std::invoke(callable_, std::forward<Args>(args)...);
    }
  }

 private:
  std::weak_ptr<WeakFlag> flag_;
  mutable F callable_;
};

// Makes a WeakCallback from a flag obtained elsewhere (for example a timer
// entry that keeps its owner's flag).
template <typename F>
WeakCallback<std::decay_t<F>> MakeWeakCallback(std::weak_ptr<WeakFlag> flag, F&& callable) {
  return WeakCallback<std::decay_t<F>>(std::move(flag), std::forward<F>(callable));
}

class SupportWeakCallback {
 public:
  SupportWeakCallback() = default;
  // A copy is a new object with its own callbacks: the flag is not shared.
  SupportWeakCallback(const SupportWeakCallback&) {}
  SupportWeakCallback& operator=(const SupportWeakCallback&) { return *this; }
  // Debug builds check that callbacks already called ran on this thread.
  virtual ~SupportWeakCallback();

  // A weak reference to this object's flag, made first if there is none.
  std::weak_ptr<WeakFlag> GetWeakFlag();

  // Wraps a callable (typically a lambda capturing `this`).
  template <typename F,
            typename = std::enable_if_t<!std::is_member_function_pointer_v<std::decay_t<F>>>>
  WeakCallback<std::decay_t<F>> ToWeakCallback(F&& callable) {
    return MakeWeakCallback(GetWeakFlag(), std::forward<F>(callable));
  }

  // Binds a member function of this object (of the derived class that
  // declares it), with leading arguments fixed; the remaining arguments come
  // from the call.
  template <typename Method, typename... Bound,
            typename = std::enable_if_t<std::is_member_function_pointer_v<Method>>>
  auto ToWeakCallback(Method method, Bound&&... bound) {
    using Class = typename MethodClass<Method>::type;
    static_assert(std::is_base_of_v<SupportWeakCallback, Class>,
                  "the method must belong to a class derived from SupportWeakCallback");
    Class* self = dynamic_cast<Class*>(this);
    CBASE_DCHECK(self != nullptr);
    return MakeWeakCallback(GetWeakFlag(),
                            [self, method, fixed = std::make_tuple(std::forward<Bound>(bound)...)](
                                auto&&... rest) mutable -> decltype(auto) {
                              return std::apply(
                                  [&](auto&... values) -> decltype(auto) {
                                    return std::invoke(method, self, values...,
                                                       std::forward<decltype(rest)>(rest)...);
                                  },
                                  fixed);
                            });
  }

 protected:
  // Drops the flag: callbacks issued so far expire; the next one starts a new
  // flag. Any thread.
  void ReleaseWeakFlag();

  // True when a flag is held (some callback may still be alive).
  bool HasWeakFlag() const;

 private:
  template <typename M>
  struct MethodClass;
  template <typename R, typename C, typename... P>
  struct MethodClass<R (C::*)(P...)> {
    using type = C;
  };
  template <typename R, typename C, typename... P>
  struct MethodClass<R (C::*)(P...) const> {
    using type = C;
  };

  // Guards flag_ (a short spin: only a pointer copy happens under it).
  class SpinGuard;
  mutable std::atomic<bool> busy_{false};
  std::shared_ptr<WeakFlag> flag_;
};

// A flag held as a member by objects that revoke their own callbacks without
// dying. Single-thread: its owner's.
class WeakCallbackFlag final : public SupportWeakCallback {
 public:
  // Callbacks issued before do nothing from now on; later ones work.
  void Cancel() { ReleaseWeakFlag(); }
  // True when callbacks issued since the last Cancel may still run.
  bool HasUsed() const { return HasWeakFlag(); }
};

}  // namespace cbase
