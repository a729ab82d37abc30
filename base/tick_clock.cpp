#include "base/tick_clock.h"

#include <windows.h>

#include <atomic>

namespace cbase {

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

std::atomic<TickClock*> g_test_clock{nullptr};

class ForwardingClock : public TickClock {
 public:
  int64_t Frequency() override { return Target().Frequency(); }
  int64_t Now() override { return Target().Now(); }

 private:
  static TickClock& Target() {
    TickClock* test_clock = g_test_clock.load(std::memory_order_acquire);
    return test_clock != nullptr ? *test_clock : SystemTickClock();
  }
};

}  // namespace

TickClock& SystemTickClock() {
  // Never destroyed: timers and loops may still read it while the process
  // exits.
  static PerformanceCounterClock* clock = new PerformanceCounterClock;
  return *clock;
}

TickClock& ProcessTickClock() {
  static ForwardingClock* clock = new ForwardingClock;
  return *clock;
}

void SetTickClockForTesting(TickClock* clock) {
  g_test_clock.store(clock, std::memory_order_release);
}

}  // namespace cbase
