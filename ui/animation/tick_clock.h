// TickClock: the performance counter that timers and animations measure time
// with. The process-wide TimerManager reads the system's counter; tests hand a
// manager a clock they advance by hand, so nothing in them waits for real time.
#pragma once

#include <cstdint>

namespace ui {

class TickClock {
 public:
  virtual ~TickClock() = default;

  // Counter ticks per second; positive and constant.
  virtual int64_t Frequency() = 0;
  // Current counter reading, never decreasing.
  virtual int64_t Now() = 0;
};

// The system's performance counter. Lives for the whole process; safe to read
// from any thread.
TickClock& SystemTickClock();

}  // namespace ui
