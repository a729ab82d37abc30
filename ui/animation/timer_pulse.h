// TimerPulse: the periodic wake-up that makes a TimerManager poll its timers.
// The real one is a multimedia timer posting to a hidden window
// (MultimediaTimerPulse); tests use one that only records the periods asked
// for and poll the manager themselves.
#pragma once

#include <cstdint>

namespace ui {

class TimerPulse {
 public:
  virtual ~TimerPulse() = default;

  // Replaces any running pulse by one that fires every period_ms
  // milliseconds. Answers false when the pulse could not be started; then
  // none is running.
  virtual bool Start(uint32_t period_ms) = 0;
  // Ends the running pulse, if any.
  virtual void Stop() = 0;
};

}  // namespace ui
