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
}  // namespace internal

}  // namespace cbase
