#include "base/weak_callback.h"

#include <windows.h>

namespace cbase {

class SupportWeakCallback::SpinGuard {
 public:
  explicit SpinGuard(std::atomic<bool>& busy) : busy_(busy) {
    while (busy_.exchange(true, std::memory_order_acquire)) SwitchToThread();
  }
  ~SpinGuard() { busy_.store(false, std::memory_order_release); }

 private:
  std::atomic<bool>& busy_;
};

SupportWeakCallback::~SupportWeakCallback() {
#ifndef NDEBUG
  if (flag_) CBASE_DCHECK_ON_THREAD(flag_->call_thread());
#endif
}

std::weak_ptr<WeakFlag> SupportWeakCallback::GetWeakFlag() {
  SpinGuard guard(busy_);
  if (!flag_) flag_ = std::make_shared<WeakFlag>();
  return flag_;
}

void SupportWeakCallback::ReleaseWeakFlag() {
  std::shared_ptr<WeakFlag> old;
  {
    SpinGuard guard(busy_);
    old.swap(flag_);
  }
}

bool SupportWeakCallback::HasWeakFlag() const {
  SpinGuard guard(busy_);
  return flag_ != nullptr;
}

}  // namespace cbase
