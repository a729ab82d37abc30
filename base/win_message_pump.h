// WinMessagePump: what the UI and I/O pumps share: the stack of active runs,
// the delayed work time, the have-work flag that keeps at most one wake-up in
// flight, and the slicing of tasks between two looks at the system queue.
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

  // Each turn of a Windows pump looks at its system queue (a window message,
  // a completion) and then runs tasks. Such a look is a system call, under
  // Wine a wineserver round trip that costs tens of microseconds on a quiet
  // machine and milliseconds on a busy one; one look per task would cap a UI
  // loop at a few ten thousand tasks per second. So between two looks tasks
  // run back to back for a slice: four times what the last look cost, between
  // 1 and 16 ms. Looks then take at most about a fifth of a busy loop's time,
  // and a window message waits at most about a frame behind a flood of tasks.
  static constexpr int64_t kMinWorkSliceUs = 1000;
  static constexpr int64_t kMaxWorkSliceUs = 16000;

  // Returns the current time in performance-counter ticks; pass it to
  // EndLook after the look at the system queue.
  static int64_t BeginLook();
  void EndLook(int64_t begin);

  // Runs one immediate task and one due delayed task per round, round after
  // round, until a round finds nothing, the run is asked to quit, or the slice
  // has passed. Answers whether anything ran.
  bool RunWorkSlice();

  // MonotonicNow microseconds of the earliest delayed task; 0 when none.
  int64_t delayed_work_time_ = 0;
  // 1 while a wake-up is on its way; changed only by atomic exchange.
  std::atomic<long> have_work_{0};
  PumpRunState* state_ = nullptr;
  ThreadChecker thread_checker_;

 private:
  int64_t slice_ticks_ = 0;  // 0 until the first look was timed
};

}  // namespace cbase
