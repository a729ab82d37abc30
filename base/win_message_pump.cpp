#include "base/win_message_pump.h"

#include <windows.h>

#include <algorithm>

namespace cbase {

namespace {

int64_t TicksPerSecond() {
  static const int64_t frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f.QuadPart;
  }();
  return frequency;
}

int64_t Ticks() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now.QuadPart;
}

int64_t MicrosecondsToTicks(int64_t us) { return us * TicksPerSecond() / 1000000; }

// Reading the counter costs about as much as a small task; look every so many.
constexpr int kRoundsPerClockRead = 16;

}  // namespace

void WinMessagePump::RunWithDispatcher(Delegate* delegate, MessageDispatcher* dispatcher) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  PumpRunState state;
  state.run_depth = state_ ? state_->run_depth + 1 : 1;
  state.should_quit = false;
  state.delegate = delegate;
  state.dispatcher = dispatcher;
  PumpRunState* previous = state_;
  state_ = &state;
  DoRunLoop();
  state_ = previous;
}

void WinMessagePump::Quit() {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  if (state_) state_->should_quit = true;
}

int64_t WinMessagePump::BeginLook() { return Ticks(); }

void WinMessagePump::EndLook(int64_t begin) {
  slice_ticks_ = std::clamp<int64_t>(4 * (Ticks() - begin), MicrosecondsToTicks(kMinWorkSliceUs),
                                     MicrosecondsToTicks(kMaxWorkSliceUs));
}

bool WinMessagePump::RunWorkSlice() {
  if (slice_ticks_ == 0) slice_ticks_ = MicrosecondsToTicks(kMinWorkSliceUs);
  const int64_t deadline = Ticks() + slice_ticks_;
  bool did_work = false;
  for (int round = 1;; ++round) {
    bool ran = state_->delegate->DoWork();
    if (state_->should_quit) return true;
    ran |= state_->delegate->DoDelayedWork(&delayed_work_time_);
    if (state_->should_quit) return true;
    if (!ran) return did_work;
    did_work = true;
    if (round % kRoundsPerClockRead == 0 && Ticks() >= deadline) return true;
  }
}

}  // namespace cbase
