// ThreadChecker: the debug-build thread-affinity check.
//
// Loop internals and every UI object are single-thread: they hold a
// ThreadChecker bound to the thread that created them and check it at their
// entry points with CBASE_DCHECK_ON_THREAD(checker_). A call from another
// thread is reported through the check failure handler (base/check.h).
// Release builds (NDEBUG) check nothing.
//
// The checker itself may be asked from any thread; DetachFromThread lets an
// object created on one thread be handed to another, which it then binds to on
// its next check.
#pragma once

#include <atomic>
#include <cstdint>

#include "base/check.h"

namespace cbase {

class ThreadChecker {
 public:
  // Binds to the calling thread.
  ThreadChecker();

  // True when called on the bound thread (binding to the calling thread first
  // if detached).
  bool CalledOnValidThread() const;

  // Forgets the bound thread; the next check binds to its caller.
  void DetachFromThread();

 private:
  mutable std::atomic<uint32_t> thread_id_;
};

}  // namespace cbase

#ifdef NDEBUG
#define CBASE_DCHECK_ON_THREAD(checker) \
  do {                                  \
  } while (false)
#else
#define CBASE_DCHECK_ON_THREAD(checker)                                                      \
  do {                                                                                       \
    if (!(checker).CalledOnValidThread())                                                    \
      ::cbase::ReportCheckFailure("used off its own thread: " #checker, __FILE__, __LINE__); \
  } while (false)
#endif
