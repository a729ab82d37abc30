#include "base/thread_checker.h"

#include <windows.h>

namespace cbase {

ThreadChecker::ThreadChecker() : thread_id_(GetCurrentThreadId()) {}

bool ThreadChecker::CalledOnValidThread() const {
  const uint32_t self = GetCurrentThreadId();
  uint32_t bound = thread_id_.load(std::memory_order_relaxed);
  if (bound == 0 && thread_id_.compare_exchange_strong(bound, self)) return true;
  return bound == self;
}

void ThreadChecker::DetachFromThread() { thread_id_.store(0); }

}  // namespace cbase
