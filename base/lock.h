// Lock: a critical section with a spin count, and its scoped holder.
//
// Used for the few pieces of runtime state shared between threads (a loop's
// incoming queue, a proxy's target, the thread table). Recursive, like every
// critical section. Any thread.
#pragma once

#include <windows.h>

namespace cbase {

class Lock {
 public:
  explicit Lock(DWORD spin_count = 2000) {
    InitializeCriticalSectionAndSpinCount(&cs_, spin_count);
  }
  ~Lock() { DeleteCriticalSection(&cs_); }
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;

  void Acquire() { EnterCriticalSection(&cs_); }
  void Release() { LeaveCriticalSection(&cs_); }

 private:
  CRITICAL_SECTION cs_;
};

class AutoLock {
 public:
  explicit AutoLock(Lock& lock) : lock_(lock) { lock_.Acquire(); }
  ~AutoLock() { lock_.Release(); }
  AutoLock(const AutoLock&) = delete;
  AutoLock& operator=(const AutoLock&) = delete;

 private:
  Lock& lock_;
};

}  // namespace cbase
