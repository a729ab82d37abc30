#include "app/package_worker.h"

#include <utility>

#include "base/message_loop_proxy.h"

PackageWorker::PackageWorker() = default;

PackageWorker::~PackageWorker() {
  cancelled_ = true;
  if (thread_) thread_->Stop();
}

bool PackageWorker::Post(Job job) {
  if (!thread_) {
    auto thread = std::make_unique<cbase::FrameworkThread>("PackageWorker");
    if (!thread->Start()) return false;
    thread_ = std::move(thread);
  }
  const std::shared_ptr<cbase::MessageLoopProxy> proxy = thread_->proxy();
  if (!proxy) return false;
  return proxy->PostTask([this, job = std::move(job)] {
    if (!cancelled_) job(cancelled_);
  });
}
