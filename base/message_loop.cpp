#include "base/message_loop.h"

#include <windows.h>

#include <algorithm>
#include <limits>
#include <utility>

#include "base/default_message_pump.h"
#include "base/message_loop_proxy.h"
#include "base/monotonic_clock.h"
#include "base/thread_local_slot.h"
#include "base/win_io_message_pump.h"
#include "base/win_ui_message_pump.h"

namespace cbase {

namespace {

using internal::ThreadSlot;

// Heap order: true when `a` runs after `b` (earlier run time first; equal run
// times in the order the tasks entered the delayed queue).
bool RunsLater(const QueuedTask& a, const QueuedTask& b) {
  if (a.run_time != b.run_time) return a.run_time > b.run_time;
  return a.sequence_num > b.sequence_num;
}

int64_t RunTimeAfter(int64_t delay_us) {
  const int64_t now = MonotonicNow();
  if (delay_us < 0) delay_us = 0;
  // Saturate instead of wrapping: a huge delay must not come out in the past.
  if (delay_us > std::numeric_limits<int64_t>::max() - now) {
    return std::numeric_limits<int64_t>::max();
  }
  // 0 would mean "immediate"; keep delayed tasks on the delayed path.
  return std::max<int64_t>(now + delay_us, 1);
}

// Discarding runs task destructors, which may post again; bound the passes.
constexpr int kMaxDeletePasses = 100;

}  // namespace

MessageLoop::MessageLoop() : MessageLoop(MessageLoopKind::kDefault, nullptr) {}

MessageLoop::MessageLoop(MessageLoopKind kind, std::shared_ptr<MessagePump> pump)
    : kind_(kind), pump_(pump ? std::move(pump) : std::make_shared<DefaultMessagePump>()) {
  CBASE_DCHECK(current() == nullptr);
  internal::SetThreadSlot(ThreadSlot::kCurrentLoop, this);
  proxy_ = MessageLoopProxy::Create(this);
}

MessageLoop::~MessageLoop() {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  CBASE_DCHECK(run_state_ == nullptr);

  // Tasks destroyed here may post more tasks from their destructors; clean up
  // until a pass finds no more delayed work, or give up after a bound.
  for (int pass = 0; pass < kMaxDeletePasses; ++pass) {
    DeletePendingTasks();
    ReloadWorkQueue();
    if (!DeletePendingTasks()) break;
  }

  destruction_observers_.Notify(&DestructionObserver::WillDestroyCurrentMessageLoop);

  // From here on posts through the proxy are refused.
  proxy_->WillDestroyCurrentMessageLoop();
  proxy_.reset();

  internal::SetThreadSlot(ThreadSlot::kCurrentLoop, nullptr);

  std::shared_ptr<MessagePump> pump;
  for (int pass = 0; pass < kMaxDeletePasses; ++pass) {
    std::deque<QueuedTask> leftovers;
    {
      AutoLock hold(incoming_lock_);
      if (pass == 0) pump.swap(pump_);
      leftovers.swap(incoming_queue_);
    }
    if (leftovers.empty()) break;
  }
}

MessageLoop* MessageLoop::current() {
  return static_cast<MessageLoop*>(internal::GetThreadSlot(ThreadSlot::kCurrentLoop));
}

void MessageLoop::PostTask(Task task) { PostInternal(std::move(task), -1, true); }

void MessageLoop::PostDelayedTask(Task task, int64_t delay_us) {
  PostInternal(std::move(task), std::max<int64_t>(delay_us, 0), true);
}

void MessageLoop::PostNonNestableTask(Task task) { PostInternal(std::move(task), -1, false); }

void MessageLoop::PostNonNestableDelayedTask(Task task, int64_t delay_us) {
  PostInternal(std::move(task), std::max<int64_t>(delay_us, 0), false);
}

void MessageLoop::PostInternal(Task&& task, int64_t delay_us, bool nestable) {
  QueuedTask pending;
  pending.run_time = delay_us < 0 ? 0 : RunTimeAfter(delay_us);
  pending.nestable = nestable;
  pending.task = std::move(task);
  AddToIncomingQueue(std::move(pending));
}

void MessageLoop::AddToIncomingQueue(QueuedTask&& task) {
  std::shared_ptr<MessagePump> pump;
  {
    AutoLock hold(incoming_lock_);
    const bool was_empty = incoming_queue_.empty();
    incoming_queue_.push_back(std::move(task));
    if (!was_empty || !pump_) return;  // the pump has already been woken
    pump = pump_;
  }
  // Woken outside the lock: the loop thread may need it to take the tasks.
  pump->ScheduleWork();
}

void MessageLoop::Run() { RunWithDispatcher(nullptr); }

void MessageLoop::RunWithDispatcher(MessageDispatcher* dispatcher) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  LoopRunState state;
  state.run_depth = run_state_ ? run_state_->run_depth + 1 : 1;
  state.quit_received = false;
  state.dispatcher = dispatcher;
  LoopRunState* previous = run_state_;
  run_state_ = &state;
  if (dispatcher && kind_ == MessageLoopKind::kUI) {
    static_cast<WinUIMessagePump*>(pump_.get())->RunWithDispatcher(this, dispatcher);
  } else {
    pump_->Run(this);
  }
  run_state_ = previous;
}

void MessageLoop::QuitWhenIdle() {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  if (run_state_) run_state_->quit_received = true;
}

int MessageLoop::run_depth() const { return run_state_ ? run_state_->run_depth : 0; }

void MessageLoop::AddTaskObserver(TaskObserver* observer) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  task_observers_.AddObserver(observer);
}

void MessageLoop::RemoveTaskObserver(TaskObserver* observer) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  task_observers_.RemoveObserver(observer);
}

void MessageLoop::AddDestructionObserver(DestructionObserver* observer) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  destruction_observers_.AddObserver(observer);
}

void MessageLoop::RemoveDestructionObserver(DestructionObserver* observer) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  destruction_observers_.RemoveObserver(observer);
}

void MessageLoop::ReloadWorkQueue() {
  if (!work_queue_.empty()) return;
  AutoLock hold(incoming_lock_);
  if (!incoming_queue_.empty()) work_queue_.swap(incoming_queue_);
}

void MessageLoop::AddToDelayedWorkQueue(QueuedTask task) {
  task.sequence_num = next_sequence_num_;
  // Wraps without undefined behaviour after 2^31 delayed tasks.
  next_sequence_num_ = static_cast<int32_t>(static_cast<uint32_t>(next_sequence_num_) + 1u);
  delayed_work_queue_.push_back(std::move(task));
  std::push_heap(delayed_work_queue_.begin(), delayed_work_queue_.end(), RunsLater);
}

bool MessageLoop::DoWork() {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  if (!nestable_tasks_allowed_) return false;  // a task is running
  for (;;) {
    ReloadWorkQueue();
    if (work_queue_.empty()) return false;
    do {
      QueuedTask pending = std::move(work_queue_.front());
      work_queue_.pop_front();
      if (pending.run_time != 0) {
        const int32_t sequence_num = next_sequence_num_;
        const int64_t run_time = pending.run_time;
        AddToDelayedWorkQueue(std::move(pending));
        // Now the earliest: the pump must wake up for it.
        if (delayed_work_queue_.front().sequence_num == sequence_num) {
          pump_->ScheduleDelayedWork(run_time);
        }
      } else if (DeferOrRunPendingTask(std::move(pending))) {
        return true;
      }
    } while (!work_queue_.empty());
  }
}

bool MessageLoop::DoDelayedWork(int64_t* next_run_time) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  if (!nestable_tasks_allowed_ || delayed_work_queue_.empty()) {
    recent_time_ = *next_run_time = 0;
    return false;
  }
  const int64_t earliest = delayed_work_queue_.front().run_time;
  if (earliest > recent_time_) {
    // Only read the clock when the cached reading says "not yet".
    recent_time_ = MonotonicNow();
    if (earliest > recent_time_) {
      *next_run_time = earliest;
      return false;
    }
  }
  std::pop_heap(delayed_work_queue_.begin(), delayed_work_queue_.end(), RunsLater);
  QueuedTask pending = std::move(delayed_work_queue_.back());
  delayed_work_queue_.pop_back();
  if (!delayed_work_queue_.empty()) *next_run_time = delayed_work_queue_.front().run_time;
  return DeferOrRunPendingTask(std::move(pending));
}

bool MessageLoop::DoIdleWork() {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  if (run_depth() == 1 && !deferred_non_nestable_work_queue_.empty()) {
    QueuedTask pending = std::move(deferred_non_nestable_work_queue_.front());
    deferred_non_nestable_work_queue_.pop_front();
    RunTask(pending);
    return true;
  }
  if (run_state_ && run_state_->quit_received) pump_->Quit();
  return false;
}

bool MessageLoop::DeferOrRunPendingTask(QueuedTask task) {
  if (task.nestable || run_depth() == 1) {
    RunTask(task);
    return true;
  }
  deferred_non_nestable_work_queue_.push_back(std::move(task));
  return false;
}

void MessageLoop::RunTask(QueuedTask& task) {
  // Nested native loops entered by the task (a modal dialog) must not run
  // other tasks in the middle of this one.
  struct Guard {
    explicit Guard(bool& allowed) : allowed_(allowed) { allowed_ = false; }
    ~Guard() { allowed_ = true; }
    bool& allowed_;
  } guard(nestable_tasks_allowed_);
  task_observers_.Notify(&TaskObserver::WillProcessTask, task);
  if (task.task) task.task();
  task_observers_.Notify(&TaskObserver::DidProcessTask, task);
}

bool MessageLoop::DeletePendingTasks() {
  // Take the queues out first: the destructors of dropped tasks may post.
  std::deque<QueuedTask> work;
  work.swap(work_queue_);
  for (QueuedTask& pending : work) {
    if (pending.run_time != 0) AddToDelayedWorkQueue(std::move(pending));
  }
  work.clear();

  std::deque<QueuedTask> deferred;
  deferred.swap(deferred_non_nestable_work_queue_);
  deferred.clear();

  std::vector<QueuedTask> delayed;
  delayed.swap(delayed_work_queue_);
  const bool had_delayed_work = !delayed.empty();
  delayed.clear();
  return had_delayed_work;
}

UIMessageLoop::UIMessageLoop()
    : MessageLoop(MessageLoopKind::kUI, std::make_shared<WinUIMessagePump>()) {}

UIMessageLoop* UIMessageLoop::current() {
  MessageLoop* loop = MessageLoop::current();
  return loop && loop->kind() == MessageLoopKind::kUI ? static_cast<UIMessageLoop*>(loop) : nullptr;
}

WinUIMessagePump* UIMessageLoop::ui_pump() const { return static_cast<WinUIMessagePump*>(pump()); }

void UIMessageLoop::AddUIObserver(UIObserver* observer) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  ui_pump()->AddObserver(observer);
}

void UIMessageLoop::RemoveUIObserver(UIObserver* observer) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  ui_pump()->RemoveObserver(observer);
}

IOMessageLoop::IOMessageLoop()
    : MessageLoop(MessageLoopKind::kIO, std::make_shared<WinIOMessagePump>()) {}

IOMessageLoop* IOMessageLoop::current() {
  MessageLoop* loop = MessageLoop::current();
  return loop && loop->kind() == MessageLoopKind::kIO ? static_cast<IOMessageLoop*>(loop) : nullptr;
}

WinIOMessagePump* IOMessageLoop::io_pump() const { return static_cast<WinIOMessagePump*>(pump()); }

bool IOMessageLoop::RegisterIOHandler(HANDLE file, IOHandler* handler) {
  return io_pump()->RegisterIOHandler(file, handler);
}

bool IOMessageLoop::WaitForIOCompletion(DWORD timeout_ms, IOHandler* filter) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  return io_pump()->WaitForIOCompletion(timeout_ms, filter);
}

void IOMessageLoop::AddIOObserver(IOObserver* observer) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  io_pump()->AddObserver(observer);
}

void IOMessageLoop::RemoveIOObserver(IOObserver* observer) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  io_pump()->RemoveObserver(observer);
}

}  // namespace cbase
