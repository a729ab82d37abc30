// OneAtATime: runs a few steps that each ask something of a web service one
// after another instead of all at once. Each step is handed a `done`
// callback; the next step starts when the current one calls it or when
// |wait_ms| has passed, whichever comes first, so a question that gets no
// answer holds up the rest only that long.
//
// Why: every request in flight holds a thread of the system's pool while it
// waits on its connection (about 1 MB each under Wine), and the questions
// the window asks right after its first frame are where the working set
// peaks. Answers take tens of milliseconds; asking in turn delays the last
// one by that much.
//
// Owned by the main window. Steps, `done` and the tasks |post_delayed| runs
// belong to the UI thread. A `done` that comes twice, late (after its step
// was given up on) or after the object is gone is ignored.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "base/thread_checker.h"

class OneAtATime {
 public:
  using Done = std::function<void()>;
  using Step = std::function<void(Done done)>;
  // Runs |task| on the UI thread after |delay_ms|, or never if the owner has
  // gone by then.
  using PostDelayed = std::function<void(std::function<void()> task, int delay_ms)>;

  OneAtATime(PostDelayed post_delayed, int wait_ms);
  ~OneAtATime();
  OneAtATime(const OneAtATime&) = delete;
  OneAtATime& operator=(const OneAtATime&) = delete;

  // Appends |steps|; the first of them starts at once unless a step is
  // still under way.
  void Run(std::vector<Step> steps);

 private:
  struct State;
  std::shared_ptr<State> state_;
  cbase::ThreadChecker thread_checker_;
};
