// TickClock: the one clock the task runtime's delayed tasks (MonotonicNow)
// and the UI's timers and animations measure time with.
//
// The process reads ProcessTickClock(): the system's performance counter,
// unless a test has installed a clock it moves by hand
// (SetTickClockForTesting), in which case message loops and timer managers
// alike see the test's time and nothing in the test waits for real time.
#pragma once

#include <cstdint>

namespace cbase {

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

// The clock the process runs on: it forwards every reading to the clock a
// test installed, else to SystemTickClock(). Lives for the whole process;
// safe to read from any thread.
TickClock& ProcessTickClock();

// Installs |clock| behind ProcessTickClock() for the whole process (nullptr
// restores the system's). |clock| must outlive its installation, never go
// backwards and be callable from any thread; install it before anything
// reads the time it should control.
void SetTickClockForTesting(TickClock* clock);

// |ticks| of a clock running at |frequency| in microseconds, without
// overflowing for any reading a 64-bit counter holds in practice.
constexpr int64_t TicksToMicroseconds(int64_t ticks, int64_t frequency) {
  return ticks / frequency * 1000000 + ticks % frequency * 1000000 / frequency;
}

}  // namespace cbase
