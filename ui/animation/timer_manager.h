// TimerManager: every animation tick and UI delay of the process runs off one
// periodic wake-up (a multimedia timer posting to a hidden window, see
// MultimediaTimerPulse) multiplexing a heap of timers ordered by due time.
// While something is due within a second the pulse runs every 16 ms; when the
// next timer is further away a single longer period is used instead, and no
// pulse runs while there are no timers.
//
// One process-wide instance (GetInstance) is created by its first user, which
// must be the UI thread: the hidden window belongs to that thread, and timer
// callbacks run there. It reads the process's clock (cbase::ProcessTickClock),
// the one the message loops' delayed tasks read too. Tests build their own
// manager over a clock and a pulse they control, install it as the current
// one and call Poll themselves. Not thread-safe: every member function runs
// on the thread that created the manager.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "base/thread_checker.h"
#include "base/tick_clock.h"
#include "base/weak_callback.h"
#include "ui/animation/timer_pulse.h"

namespace ui {

class TimerManager {
 public:
  // Pulse period while a timer is due within a second.
  static constexpr uint32_t kFastPeriodMs = 16;
  // Repeat count of a timer that runs until its owner goes away.
  static constexpr int kRepeatForever = -1;

  // The process-wide manager over the system's performance counter and a
  // multimedia timer. Never destroyed.
  static TimerManager& GetInstance();

  // The manager UI code schedules on: the one a test installed with
  // SetCurrentForTesting, else GetInstance(). UI thread.
  static TimerManager& Current();
  // Installs |timers| as Current() (nullptr restores the process-wide one).
  // It must outlive its installation. UI thread.
  static void SetCurrentForTesting(TimerManager* timers);
  // The manager a test installed, or null.
  static TimerManager* CurrentForTesting();

  // A manager over the given clock and pulse (the clock must outlive it).
  TimerManager(cbase::TickClock& clock, std::unique_ptr<TimerPulse> pulse);
  ~TimerManager();
  TimerManager(const TimerManager&) = delete;
  TimerManager& operator=(const TimerManager&) = delete;

  // Runs callback interval_ms milliseconds from now, then again every
  // interval_ms while repeat allows: kRepeatForever repeats until the owner is
  // gone, n >= 2 runs n times, 1 or 0 runs once. Once owner has expired the
  // timer is dropped without running. Answers false when the pulse could not
  // be started (the timer stays queued and runs once a pulse does); true
  // while the pulse is held.
  bool AddTimer(const std::weak_ptr<cbase::WeakFlag>& owner, std::function<void()> callback,
                int interval_ms, int repeat);

  // Runs every timer that is due and sets the pulse for the next one. Called
  // by the pulse; tests call it directly.
  void Poll();

  // While held, timers are queued but no pulse starts: a program holds the
  // pulse until its first frame is on screen, because starting it loads the
  // multimedia timer's library (under Wine with the sound drivers, about
  // 5 ms), which that frame does not need; a window holds it over its own
  // first frame, because starting it starts the system's timer thread. Holds
  // are counted: the last release runs what is due and starts the pulse for
  // the rest (a release without a hold does nothing); with |run_due| false
  // it only starts the pulse, whose first tick runs it, for a caller that
  // must not have timers run under it (a window being destroyed). Nothing
  // ticks meanwhile, so only work that may wait belongs there (a fade is
  // moved on by its window's paints).
  void HoldPulse();
  void ReleasePulse(bool run_due = true);
  bool pulse_held() const { return holds_ > 0; }

  cbase::TickClock& clock() { return clock_; }
  // Timers waiting, including ones whose owner has gone but that were not yet
  // reached by a poll.
  size_t pending_count() const { return heap_.size(); }
  // Whether a pulse runs, and whether it is the 16 ms one.
  bool pulse_running() const { return pulse_running_; }
  bool fast_mode() const { return fast_mode_; }

 private:
  struct Entry {
    std::function<void()> callback;
    int64_t interval = 0;  // in counter ticks, at least 1
    int repeat = 1;
    int64_t due = 0;  // counter reading
    uint64_t sequence = 0;
    std::weak_ptr<cbase::WeakFlag> owner;
  };
  // Heap order: the earliest due time on top, and among equal due times the
  // timer queued first.
  struct Later {
    bool operator()(const Entry& a, const Entry& b) const {
      return a.due != b.due ? a.due > b.due : a.sequence > b.sequence;
    }
  };

  void Push(Entry entry);
  Entry PopEarliest();
  bool StartPulse(uint32_t period_ms, bool fast);
  void StopPulse();

  cbase::TickClock& clock_;
  std::unique_ptr<TimerPulse> pulse_;
  std::vector<Entry> heap_;
  uint64_t next_sequence_ = 0;
  bool pulse_running_ = false;
  bool fast_mode_ = false;
  int holds_ = 0;
  cbase::ThreadChecker thread_checker_;
};

}  // namespace ui
