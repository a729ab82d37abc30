#include "app/one_at_a_time.h"

#include <utility>

struct OneAtATime::State : std::enable_shared_from_this<State> {
  PostDelayed post_delayed;
  int wait_ms = 0;
  std::vector<Step> steps;
  size_t started = 0;  // steps begun so far; the last of them is under way
  bool running = false;

  void StartNext() {
    running = started < steps.size();
    if (!running) return;
    const size_t index = started++;
    const std::weak_ptr<State> weak = weak_from_this();
    Done done = [weak, index] {
      if (std::shared_ptr<State> state = weak.lock()) state->Finished(index);
    };
    if (post_delayed) post_delayed(done, wait_ms);
    Step step = std::move(steps[index]);
    step(std::move(done));
  }

  void Finished(size_t index) {
    if (running && index + 1 == started) StartNext();
  }
};

OneAtATime::OneAtATime(PostDelayed post_delayed, int wait_ms) : state_(std::make_shared<State>()) {
  state_->post_delayed = std::move(post_delayed);
  state_->wait_ms = wait_ms;
}

OneAtATime::~OneAtATime() = default;

void OneAtATime::Run(std::vector<Step> steps) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  for (Step& step : steps) state_->steps.push_back(std::move(step));
  if (!state_->running) state_->StartNext();
}
