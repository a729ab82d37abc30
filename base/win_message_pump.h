// WinMessagePump: what the UI and I/O pumps share: the stack of active runs,
// the delayed work time and the have-work flag that keeps at most one wake-up
// in flight.
//
// Loop thread only, except what ScheduleWork touches (have_work_).
#pragma once

#include <atomic>
#include <cstdint>

#include "base/message_pump.h"
#include "base/thread_checker.h"

namespace cbase {

class WinMessagePump : public MessagePump {
 public:
  void Run(Delegate* delegate) override { RunWithDispatcher(delegate, nullptr); }
  // Ends the innermost run, if any.
  void Quit() override;

 protected:
  // Pushes a PumpRunState, runs DoRunLoop, pops it.
  void RunWithDispatcher(Delegate* delegate, MessageDispatcher* dispatcher);
  virtual void DoRunLoop() = 0;

  // MonotonicNow microseconds of the earliest delayed task; 0 when none.
  int64_t delayed_work_time_ = 0;
  // 1 while a wake-up is on its way; changed only by atomic exchange.
  std::atomic<long> have_work_{0};
  PumpRunState* state_ = nullptr;
  ThreadChecker thread_checker_;
};

}  // namespace cbase
