#include "base/pool_work.h"

#include <memory>
#include <utility>

namespace cbase {

bool RunOnPool(std::function<void()> task) {
  auto held = std::make_unique<std::function<void()>>(std::move(task));
  const auto run = [](PTP_CALLBACK_INSTANCE, void* context) {
    std::unique_ptr<std::function<void()>> task(static_cast<std::function<void()>*>(context));
    (*task)();
  };
  if (!::TrySubmitThreadpoolCallback(run, held.get(), nullptr)) return false;
  held.release();
  return true;
}

PoolJob::~PoolJob() { Wait(); }

bool PoolJob::Start(std::function<void()> task) {
  std::lock_guard<std::mutex> hold(lock_);
  if (started_) return false;
  running_ = RunOnPool([this, task = std::move(task)] {
    task();
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
