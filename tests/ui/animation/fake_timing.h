// A TimerManager over a hand-driven clock and a pulse that only records what
// it was asked for. Tests run "pulses" themselves: each one moves the clock by
// the running pulse's period and polls, as the multimedia timer would.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "base/tick_clock.h"
#include "ui/animation/timer_manager.h"
#include "ui/animation/timer_pulse.h"

namespace ui::testing {

class FakeTickClock : public cbase::TickClock {
 public:
  // Microsecond ticks, so whole milliseconds convert exactly.
  static constexpr int64_t kFrequency = 1000000;

  int64_t Frequency() override { return kFrequency; }
  int64_t Now() override { return now_; }
  void AdvanceMs(int64_t ms) { now_ += ms * kFrequency / 1000; }

 private:
  int64_t now_ = 5 * kFrequency;
};

struct PulseLog {
  std::vector<uint32_t> periods;  // every Start, in order
  int stops = 0;
  bool running = false;
  bool refuse = false;  // Start fails while set
};

class FakeTimerPulse : public TimerPulse {
 public:
  explicit FakeTimerPulse(PulseLog* log) : log_(log) {}
  bool Start(uint32_t period_ms) override {
    log_->periods.push_back(period_ms);
    log_->running = !log_->refuse;
    return log_->running;
  }
  void Stop() override {
    ++log_->stops;
    log_->running = false;
  }

 private:
  PulseLog* log_;
};

class FakeTimers {
 public:
  FakeTimers() : manager(clock, std::make_unique<FakeTimerPulse>(&log)) {}

  // One firing of the running pulse; false when none runs.
  bool Pulse() {
    if (!log.running || log.periods.empty()) return false;
    clock.AdvanceMs(log.periods.back());
    manager.Poll();
    return true;
  }
  // Pulses until at least ms milliseconds have passed or the pulse stops;
  // answers the milliseconds that passed.
  int64_t PulseFor(int64_t ms) {
    int64_t passed = 0;
    while (passed < ms && log.running) {
      passed += log.periods.back();
      Pulse();
    }
    return passed;
  }
  // Moves the clock without a pulse and polls, as a stray pulse message would.
  void PollAfter(int64_t ms) {
    clock.AdvanceMs(ms);
    manager.Poll();
  }

  FakeTickClock clock;
  PulseLog log;
  TimerManager manager;
};

}  // namespace ui::testing
