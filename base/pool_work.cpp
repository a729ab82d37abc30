#include "base/pool_work.h"

#include <deque>
#include <utility>

namespace cbase {

namespace {

// The tasks handed over and not yet run, and whether a pool thread is
// running them.
struct Queue {
  std::mutex lock;
  std::deque<std::function<void()>> tasks;
  bool running = false;
};

Queue& Tasks() {
  static Queue* queue = new Queue;  // pool threads may run past exit
  return *queue;
}

void CALLBACK RunQueued(PTP_CALLBACK_INSTANCE, void*) {
  Queue& queue = Tasks();
  std::unique_lock<std::mutex> hold(queue.lock);
  while (!queue.tasks.empty()) {
    std::function<void()> task = std::move(queue.tasks.front());
    queue.tasks.pop_front();
    hold.unlock();
    try {
      task();
    } catch (...) {
      // Nothing above a pool callback can take it, and the tasks behind
      // this one must still run.
    }
    task = nullptr;  // what it holds goes before the next one runs
    hold.lock();
  }
  queue.running = false;
}

}  // namespace

bool RunOnPool(std::function<void()> task) {
  Queue& queue = Tasks();
  std::lock_guard<std::mutex> hold(queue.lock);
  if (!queue.running) {
    if (!::TrySubmitThreadpoolCallback(&RunQueued, nullptr, nullptr)) return false;
    queue.running = true;
  }
  queue.tasks.push_back(std::move(task));
  return true;
}

PoolJob::~PoolJob() { Wait(); }

bool PoolJob::Start(std::function<void()> task) {
  std::lock_guard<std::mutex> hold(lock_);
  if (started_) return false;
  running_ = RunOnPool([this, task = std::move(task)] {
    // A task that throws has ended too: Wait must not wait for ever.
    try {
      task();
    } catch (...) {
    }
    std::lock_guard<std::mutex> hold(lock_);
    running_ = false;
    // Under the lock: once Wait sees the end, the object may go at once.
    done_.notify_all();
  });
  started_ = running_;
  return started_;
}

void PoolJob::Wait() {
  std::unique_lock<std::mutex> hold(lock_);
  done_.wait(hold, [this] { return !running_; });
}

}  // namespace cbase
