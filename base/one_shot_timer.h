// OneShotTimer: calls its callback once, a given time after it was armed, on
// a thread-pool thread; for the watchdogs of transfers and queues (a
// request's idle limit, an event's wait for its answer). It fires up to a
// tenth of a second late; early only by the tick count's grain (on Windows
// about 16 ms).
//
// All timers share one periodic multimedia timer, which ticks ten times a
// second while any of them is armed. The process's multimedia timers run on
// one system thread, which the window's animations keep anyway; a timer of
// the thread pool would bring a thread of its own, and under Wine every
// thread costs about 1 MB of working set. (Wine allows a process only about
// 16 multimedia timers, hence one for all.) The tick only hands due
// callbacks to the pool, as a timer of the pool would run them.
//
// Threads: Arm and Stop from any thread, the callback included. The owner
// destroys the object, never from inside its callback; the destructor stops
// the timer, waits for a callback running on another thread, and refuses
// the armings that callback makes meanwhile.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>

namespace cbase {

class OneShotTimer {
 public:
  explicit OneShotTimer(std::function<void()> callback);
  ~OneShotTimer();
  OneShotTimer(const OneShotTimer&) = delete;
  OneShotTimer& operator=(const OneShotTimer&) = delete;

  // Calls the callback once, |delay_ms| from now, replacing any arming not
  // yet fired. False, with nothing armed, when the system would not make a
  // timer.
  bool Arm(DWORD delay_ms);
  // Cancels the arming and waits for a callback running on another thread
  // (called from inside its own callback, it waits for none). A callback that arms
  // the timer while Stop waits for it leaves that arming in place.
  void Stop();

  // Shared with the armings in flight; defined with the functions.
  struct State;

 private:
  std::shared_ptr<State> state_;
};

}  // namespace cbase
