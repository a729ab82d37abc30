// MonotonicNow: the task runtime's clock, in microseconds.
//
// Built on the multimedia millisecond timer, which wraps after 2^32 ms
// (about 49.7 days); every wrap seen adds 2^32 ms to a process-wide offset so
// the clock never goes backwards. Thread-safe: the state sits behind its own
// lock.
#pragma once

#include <cstdint>

namespace cbase {

// Microseconds since an arbitrary start, never decreasing.
int64_t MonotonicNow();

// Delays in the task runtime are microseconds; callers holding milliseconds
// convert with this.
constexpr int64_t Milliseconds(int64_t ms) { return ms * 1000; }

namespace internal {
// The clock's arithmetic, separated from the timer so tests can feed readings.
class WrappingMillisecondClock {
 public:
  // Takes a 32-bit millisecond reading, answers microseconds.
  int64_t Advance(uint32_t reading_ms);

 private:
  uint32_t last_ms_ = 0;
  int64_t offset_ms_ = 0;
};

// Replaces the clock behind MonotonicNow for the whole process (nullptr
// restores the real one), so that tests decide when delayed work is due. The
// replacement must itself never go backwards and must be callable from any
// thread.
using ClockFunction = int64_t (*)();
void SetClockForTesting(ClockFunction clock);
}  // namespace internal

}  // namespace cbase
