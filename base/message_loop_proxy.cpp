#include "base/message_loop_proxy.h"

#include <windows.h>

#include <utility>

#include "base/message_loop.h"

namespace cbase {

MessageLoopProxy::MessageLoopProxy(MessageLoop* target) : target_(target) {}

MessageLoopProxy::~MessageLoopProxy() = default;

std::shared_ptr<MessageLoopProxy> MessageLoopProxy::Create(MessageLoop* target) {
  return std::shared_ptr<MessageLoopProxy>(new MessageLoopProxy(target), Deleter());
}

bool MessageLoopProxy::PostTask(Task task) { return Forward(Kind::kImmediate, task, 0); }

bool MessageLoopProxy::PostDelayedTask(Task task, int64_t delay_us) {
  return Forward(delay_us == 0 ? Kind::kImmediate : Kind::kDelayed, task, delay_us);
}

bool MessageLoopProxy::PostNonNestableTask(Task task) {
  return Forward(Kind::kNonNestable, task, 0);
}

bool MessageLoopProxy::PostNonNestableDelayedTask(Task task, int64_t delay_us) {
  return Forward(delay_us == 0 ? Kind::kNonNestable : Kind::kNonNestableDelayed, task, delay_us);
}

// The lock is held across the forward, so a loop being destroyed (which
// clears target_ under it) is never posted to after that point. A refused
// task is destroyed by the caller's frame, after the lock is released.
bool MessageLoopProxy::Forward(Kind kind, Task& task, int64_t delay_us) {
  AutoLock hold(lock_);
  if (!target_) return false;
  switch (kind) {
    case Kind::kImmediate:
      target_->PostTask(std::move(task));
      break;
    case Kind::kDelayed:
      target_->PostDelayedTask(std::move(task), delay_us);
      break;
    case Kind::kNonNestable:
      target_->PostNonNestableTask(std::move(task));
      break;
    case Kind::kNonNestableDelayed:
      target_->PostNonNestableDelayedTask(std::move(task), delay_us);
      break;
  }
  return true;
}

bool MessageLoopProxy::BelongsToCurrentThread() {
  AutoLock hold(lock_);
  return target_ && target_ == MessageLoop::current();
}

void MessageLoopProxy::WillDestroyCurrentMessageLoop() {
  AutoLock hold(lock_);
  target_ = nullptr;
}

void MessageLoopProxy::OnDestruct() {
  bool delete_now = true;
  {
    AutoLock hold(lock_);
    if (target_ && target_ != MessageLoop::current()) {
      // Delete on the loop's thread. The task owns the proxy, so the proxy is
      // freed even when the loop drops the task instead of running it.
      std::shared_ptr<MessageLoopProxy> owner(this);
      target_->PostNonNestableTask([owner]() mutable { owner.reset(); });
      delete_now = false;
    }
  }
  if (delete_now) delete this;
}

}  // namespace cbase
