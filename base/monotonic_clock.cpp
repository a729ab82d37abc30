#include "base/monotonic_clock.h"

#include "base/tick_clock.h"

namespace cbase {

int64_t MonotonicNow() {
  TickClock& clock = ProcessTickClock();
  return TicksToMicroseconds(clock.Now(), clock.Frequency());
}

}  // namespace cbase
