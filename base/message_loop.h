// MessageLoop: the task queue of one thread, and its UI and I/O kinds.
//
// A loop is created on the thread that runs it (usually by FrameworkThread)
// and destroyed there. While it exists it is that thread's
// MessageLoop::current(). Tasks run one at a time, in posting order; delayed
// tasks run in order of their run time, and tasks with equal run times in the
// order they were posted. Non-nestable tasks only run at the outermost Run.
//
// Threads: the four posting operations may be called from any thread that
// keeps the loop alive; everyone else posts through proxy() (a
// MessageLoopProxy, which stays safe after the loop is gone). Everything else
// is for the loop's own thread (checked in debug builds).
//
//   auto proxy = cbase::MessageLoop::current()->proxy();
//   worker_thread_posts([proxy] { proxy->PostTask([] { /* on the loop */ }); });
#pragma once

#include <windows.h>

#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "base/lock.h"
#include "base/message_pump.h"
#include "base/observer_list.h"
#include "base/queued_task.h"
#include "base/thread_checker.h"

namespace cbase {

class IOHandler;
class IOObserver;
class MessageLoopProxy;
class UIObserver;
class WinIOMessagePump;
class WinUIMessagePump;

enum class MessageLoopKind : int {
  kDefault = 0,
  kUI = 1,
  kIO = 2,
  // Made by a caller-supplied factory (FrameworkThread).
  kCustom = 3,
};

// Told before and after every task the loop runs. Loop thread.
class TaskObserver {
 public:
  virtual ~TaskObserver() = default;
  virtual void WillProcessTask(const QueuedTask& task) = 0;
  virtual void DidProcessTask(const QueuedTask& task) = 0;
};

// Told once, on the loop's thread, just before the loop goes away (after its
// pending tasks were discarded).
class DestructionObserver {
 public:
  virtual ~DestructionObserver() = default;
  virtual void WillDestroyCurrentMessageLoop() = 0;
};

// One active Run of a loop; nested runs stack them. Loop thread.
struct LoopRunState {
  int run_depth;  // 1 for the outermost run
  bool quit_received;
  MessageDispatcher* dispatcher;  // never set by this system's own code
};

class MessageLoop : public MessagePump::Delegate {
 public:
  // A default loop (DefaultMessagePump) on the calling thread.
  MessageLoop();
  ~MessageLoop() override;
  MessageLoop(const MessageLoop&) = delete;
  MessageLoop& operator=(const MessageLoop&) = delete;

  // The calling thread's loop, or null.
  static MessageLoop* current();

  MessageLoopKind kind() const { return kind_; }

  // The loop's proxy: keep it to post from other threads or after the loop
  // might be gone. Set for the loop's whole life.
  const std::shared_ptr<MessageLoopProxy>& proxy() const { return proxy_; }

  // Posting; any thread holding the loop alive. Delays are microseconds
  // (Milliseconds() converts); negative delays count as 0.
  void PostTask(Task task);
  void PostDelayedTask(Task task, int64_t delay_us);
  void PostNonNestableTask(Task task);
  void PostNonNestableDelayedTask(Task task, int64_t delay_us);

  // Runs the loop until QuitWhenIdle (or, on a UI loop, a quit message) ends
  // this run. Called again from inside a window-message handler it runs a
  // nested loop; from inside a task a nested run runs no tasks (see
  // NestableTasksAllowed).
  void Run();
  // Makes the innermost Run return once no runnable work is left.
  void QuitWhenIdle();

  // Depth of the innermost Run: 0 when not running, 1 for the outermost.
  int run_depth() const;
  bool IsNested() const { return run_depth() > 1; }
  // False while a task runs: loops nested inside a task run nothing.
  bool NestableTasksAllowed() const { return nestable_tasks_allowed_; }

  void AddTaskObserver(TaskObserver* observer);
  void RemoveTaskObserver(TaskObserver* observer);
  void AddDestructionObserver(DestructionObserver* observer);
  void RemoveDestructionObserver(DestructionObserver* observer);

 protected:
  MessageLoop(MessageLoopKind kind, std::shared_ptr<MessagePump> pump);

  // Every post ends here. Any thread.
  virtual void AddToIncomingQueue(QueuedTask&& task);

  void RunWithDispatcher(MessageDispatcher* dispatcher);
  MessagePump* pump() const { return pump_.get(); }

  ThreadChecker thread_checker_;

 private:
  friend class FrameworkThread;

  // MessagePump::Delegate.
  bool DoWork() override;
  bool DoDelayedWork(int64_t* next_run_time) override;
  bool DoIdleWork() override;

  void ReloadWorkQueue();
  void AddToDelayedWorkQueue(QueuedTask task);
  // Runs the task, or defers it when it is non-nestable and the loop is
  // nested; answers whether it ran.
  bool DeferOrRunPendingTask(QueuedTask task);
  void RunTask(QueuedTask& task);
  bool DeletePendingTasks();
  // `delay_us` < 0 marks an immediate task.
  void PostInternal(Task&& task, int64_t delay_us, bool nestable);

  MessageLoopKind kind_;
  LoopRunState* run_state_ = nullptr;
  std::shared_ptr<MessagePump> pump_;
  bool nestable_tasks_allowed_ = true;

  Lock incoming_lock_;
  std::deque<QueuedTask> incoming_queue_;  // guarded by incoming_lock_

  std::deque<QueuedTask> work_queue_;
  std::deque<QueuedTask> deferred_non_nestable_work_queue_;
  std::vector<QueuedTask> delayed_work_queue_;  // a heap, earliest on top
  int32_t next_sequence_num_ = 0;
  int64_t recent_time_ = 0;

  ObserverList<TaskObserver> task_observers_;
  ObserverList<DestructionObserver> destruction_observers_;
  std::shared_ptr<MessageLoopProxy> proxy_;
};

// The calling thread's loop, or null (same as MessageLoop::current()).
inline MessageLoop* CurrentLoop() { return MessageLoop::current(); }

// A loop whose pump is a WinUIMessagePump: tasks interleaved with the
// thread's window messages.
class UIMessageLoop : public MessageLoop {
 public:
  UIMessageLoop();

  // The calling thread's loop if it is a UI loop, else null.
  static UIMessageLoop* current();

  // Runs with a dispatcher handling window messages (see MessageDispatcher).
  void RunWithDispatcher(MessageDispatcher* dispatcher) {
    MessageLoop::RunWithDispatcher(dispatcher);
  }

  void AddUIObserver(UIObserver* observer);
  void RemoveUIObserver(UIObserver* observer);

 private:
  WinUIMessagePump* ui_pump() const;
};

// A loop whose pump is a WinIOMessagePump: tasks interleaved with I/O
// completions of registered handles.
class IOMessageLoop : public MessageLoop {
 public:
  IOMessageLoop();

  // The calling thread's loop if it is an I/O loop, else null.
  static IOMessageLoop* current();

  bool RegisterIOHandler(HANDLE file, IOHandler* handler);
  bool WaitForIOCompletion(DWORD timeout_ms, IOHandler* filter);
  void AddIOObserver(IOObserver* observer);
  void RemoveIOObserver(IOObserver* observer);

 private:
  WinIOMessagePump* io_pump() const;
};

}  // namespace cbase
