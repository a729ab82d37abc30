// DefaultMessagePump: the pump of threads without a window queue. It sleeps on
// an auto-reset event until work is scheduled or the next delayed task is due.
//
// Owned (shared) by its MessageLoop; loop thread, except ScheduleWork (any
// thread).
#pragma once

#include <windows.h>

#include <cstdint>

#include "base/message_pump.h"
#include "base/scoped_handle.h"
#include "base/thread_checker.h"

namespace cbase {

class DefaultMessagePump : public MessagePump {
 public:
  DefaultMessagePump();
  ~DefaultMessagePump() override;
  DefaultMessagePump(const DefaultMessagePump&) = delete;
  DefaultMessagePump& operator=(const DefaultMessagePump&) = delete;

  void Run(Delegate* delegate) override;
  void Quit() override;
  void ScheduleWork() override;
  void ScheduleDelayedWork(int64_t run_time) override;

 private:
  ScopedHandle event_;
  bool should_quit_ = false;
  int64_t delayed_work_time_ = 0;
  ThreadChecker thread_checker_;
};

// Milliseconds to wait for `delay_us` microseconds: rounded up, and capped
// just below INFINITE so that a far-away time never becomes "forever".
DWORD WaitMillisecondsFor(int64_t delay_us);

}  // namespace cbase
