#include "base/monotonic_clock.h"

#include <windows.h>

#include <mmsystem.h>

#include <atomic>

namespace cbase {

namespace internal {

int64_t WrappingMillisecondClock::Advance(uint32_t reading_ms) {
  if (reading_ms < last_ms_) offset_ms_ += int64_t{1} << 32;
  last_ms_ = reading_ms;
  return (static_cast<int64_t>(reading_ms) + offset_ms_) * 1000;
}

namespace {
std::atomic<ClockFunction> g_test_clock{nullptr};
}  // namespace

void SetClockForTesting(ClockFunction clock) { g_test_clock.store(clock); }

}  // namespace internal

namespace {

struct ClockState {
  ClockState() { InitializeCriticalSectionAndSpinCount(&lock, 2000); }
  CRITICAL_SECTION lock;
  internal::WrappingMillisecondClock clock;
};

ClockState& State() {
  // Never destroyed: the clock may be read by threads still running at exit.
  static ClockState* state = new ClockState;
  return *state;
}

}  // namespace

int64_t MonotonicNow() {
  if (internal::ClockFunction test_clock = internal::g_test_clock.load(std::memory_order_relaxed)) {
    return test_clock();
  }
  ClockState& s = State();
  EnterCriticalSection(&s.lock);
  int64_t now = s.clock.Advance(timeGetTime());
  LeaveCriticalSection(&s.lock);
  return now;
}

}  // namespace cbase
