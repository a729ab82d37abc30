// MonotonicNow: the task runtime's clock, in microseconds.
//
// A reading of ProcessTickClock() (base/tick_clock.h), the clock the UI's
// timers read as well; a test that installs a clock there decides when
// delayed tasks are due. Thread-safe.
#pragma once

#include <cstdint>

namespace cbase {

// Microseconds since an arbitrary start, never decreasing.
int64_t MonotonicNow();

// Delays in the task runtime are microseconds; callers holding milliseconds
// convert with this.
constexpr int64_t Milliseconds(int64_t ms) { return ms * 1000; }

}  // namespace cbase
