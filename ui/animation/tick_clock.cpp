#include "ui/animation/tick_clock.h"

#include <windows.h>

namespace ui {

namespace {

class PerformanceCounterClock : public TickClock {
 public:
  PerformanceCounterClock() {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    frequency_ = frequency.QuadPart > 0 ? frequency.QuadPart : 1;
  }

  int64_t Frequency() override { return frequency_; }

  int64_t Now() override {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
  }

 private:
  int64_t frequency_ = 1;
};

}  // namespace

TickClock& SystemTickClock() {
  // Never destroyed: timers may still read it while the process exits.
  static PerformanceCounterClock* clock = new PerformanceCounterClock;
  return *clock;
}

}  // namespace ui
