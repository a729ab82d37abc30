// MessageLoopProxy: a reference-counted handle for posting to one MessageLoop
// from any thread, safe after the loop is gone.
//
// Every loop makes one proxy (MessageLoop::proxy()) and holds a reference to
// it; anyone may keep more. Posts after the loop's destruction are refused
// (answer false) and the task is destroyed at once on the poster's thread,
// without running. All operations may be called from any thread.
//
// When the last reference goes, the proxy is deleted on its loop's thread if
// that loop still exists, else at once (see OnDestruct).
#pragma once

#include <cstdint>
#include <memory>

#include "base/lock.h"
#include "base/queued_task.h"
#include "base/weak_callback.h"

namespace cbase {

class MessageLoop;

class MessageLoopProxy : public SupportWeakCallback {
 public:
  ~MessageLoopProxy() override;
  MessageLoopProxy(const MessageLoopProxy&) = delete;
  MessageLoopProxy& operator=(const MessageLoopProxy&) = delete;

  // Each answers false, destroying the task, when the loop is gone. Delays
  // are microseconds; a zero delay posts an immediate task.
  virtual bool PostTask(Task task);
  virtual bool PostDelayedTask(Task task, int64_t delay_us);
  virtual bool PostNonNestableTask(Task task);
  virtual bool PostNonNestableDelayedTask(Task task, int64_t delay_us);

  // True when the loop exists and is the calling thread's.
  virtual bool BelongsToCurrentThread();

 protected:
  explicit MessageLoopProxy(MessageLoop* target);

  // Called by the loop, on its thread, as it is being destroyed.
  virtual void WillDestroyCurrentMessageLoop();
  // Runs when the last reference is released.
  virtual void OnDestruct();

 private:
  friend class MessageLoop;
  struct Deleter {
    void operator()(MessageLoopProxy* proxy) const { proxy->OnDestruct(); }
  };

  static std::shared_ptr<MessageLoopProxy> Create(MessageLoop* target);

  enum class Kind { kImmediate, kDelayed, kNonNestable, kNonNestableDelayed };
  bool Forward(Kind kind, Task& task, int64_t delay_us);

  Lock lock_;
  MessageLoop* target_;  // guarded by lock_; cleared when the loop goes
};

}  // namespace cbase
