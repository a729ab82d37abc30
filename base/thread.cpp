#include "base/thread.h"

#include <windows.h>

#include <process.h>

#include <utility>

#include "base/message_loop_proxy.h"
#include "base/thread_local_slot.h"
#include "base/thread_table.h"

namespace cbase {

using internal::ThreadSlot;

Thread::~Thread() = default;

unsigned __stdcall Thread::ThreadMain(void* param) {
  static_cast<Thread*>(param)->Run();
  return 0;
}

bool Thread::Create() {
  unsigned id = 0;
  uintptr_t handle = _beginthreadex(nullptr, 0, &ThreadMain, this, 0, &id);
  if (handle == 0) return false;
  thread_handle_.reset(reinterpret_cast<HANDLE>(handle));
  thread_id_ = id;
  return true;
}

void Thread::Join() {
  if (!thread_handle_) return;
  if (WaitForSingleObject(thread_handle_.get(), INFINITE) != WAIT_OBJECT_0) {
    TerminateThread(thread_handle_.get(), 0);
  }
  thread_handle_.reset();
  thread_id_ = 0;
}

ThreadLocalRecord* ThreadLocalRecord::Current() {
  return static_cast<ThreadLocalRecord*>(internal::GetThreadSlot(ThreadSlot::kThreadRecord));
}

FrameworkThread::FrameworkThread(const char* name)
    : startup_event_(CreateEventW(nullptr, FALSE, FALSE, nullptr)), name_(name ? name : "") {}

FrameworkThread::~FrameworkThread() { Stop(); }

void FrameworkThread::RunOnCurrentThread(MessageLoopKind kind) {
  loop_kind_ = kind;
  started_ = true;
  Run();
}

void FrameworkThread::RunOnCurrentThreadWithLoopFactory(LoopFactory factory) {
  loop_factory_ = std::move(factory);
  RunOnCurrentThread(MessageLoopKind::kCustom);
}

bool FrameworkThread::Start(MessageLoopKind kind) {
  if (started_) return false;
  loop_kind_ = kind;
  return StartNative();
}

bool FrameworkThread::StartWithLoopFactory(LoopFactory factory) {
  if (started_) return false;
  loop_factory_ = std::move(factory);
  loop_kind_ = MessageLoopKind::kCustom;
  return StartNative();
}

bool FrameworkThread::StartNative() {
  // A body that ran on the caller's thread may have left the event signalled.
  ResetEvent(startup_event_.get());
  started_ = true;
  if (!Create()) {
    started_ = false;
    return false;
  }
  // Wait for the loop and Init, or for the thread's end if it never got there.
  HANDLE handles[2] = {startup_event_.get(), thread_handle_.get()};
  if (WaitForMultipleObjects(2, handles, FALSE, INFINITE) != WAIT_OBJECT_0) {
    Join();
    started_ = false;
    return false;
  }
  return true;
}

std::shared_ptr<MessageLoop> FrameworkThread::CreateLoop() {
  switch (loop_kind_) {
    case MessageLoopKind::kCustom:
      return loop_factory_ ? loop_factory_() : nullptr;
    case MessageLoopKind::kIO:
      return std::make_shared<IOMessageLoop>();
    case MessageLoopKind::kUI:
      return std::make_shared<UIMessageLoop>();
    default:
      return std::make_shared<MessageLoop>();
  }
}

void FrameworkThread::Run() {
  // A body nested inside another body on the same thread keeps the outer
  // record and must not delete it.
  ThreadLocalRecord* record = ThreadLocalRecord::Current();
  const bool own_record = record == nullptr;
  if (own_record) {
    record = new ThreadLocalRecord;
    record->owner = this;
    internal::SetThreadSlot(ThreadSlot::kThreadRecord, record);
  }
  record->quit_properly = false;
  thread_id_ = GetCurrentThreadId();

  std::shared_ptr<MessageLoop> loop = CreateLoop();
  if (loop) {
    message_loop_ = loop.get();
    {
      AutoLock hold(proxy_lock_);
      proxy_ = loop->proxy();
    }
    Init();
    SetEvent(startup_event_.get());

    loop->RunWithDispatcher(loop_kind_ == MessageLoopKind::kUI ? dispatcher_ : nullptr);

    Cleanup();
    {
      AutoLock hold(proxy_lock_);
      proxy_.reset();
    }
    message_loop_ = nullptr;
    loop.reset();
  }
  // The body's thread id stays known to the owner until Stop joins a native
  // thread; a body run on the caller's thread forgets it now.
  if (!thread_handle_) thread_id_ = 0;

  if (own_record) {
    // An identifier still bound to this thread would point at a thread that
    // no longer runs a loop.
    ThreadTable::UnbindAllForCurrentThread();
    internal::SetThreadSlot(ThreadSlot::kThreadRecord, nullptr);
    delete record;
  }
}

void FrameworkThread::Stop() {
  if (!started_) return;
  if (!stopping_) {
    std::shared_ptr<MessageLoopProxy> target = proxy();
    if (target) {
      stopping_ = true;
      target->PostNonNestableTask(quit_flag_.ToWeakCallback([this] { QuitTask(); }));
    }
  }
  // Waiting for ourselves would never end.
  if (thread_handle_ && GetCurrentThreadId() != thread_id_) Join();
  if (!thread_handle_) {
    started_ = false;
    stopping_ = false;
    // The quit task has run on the thread that ended, or was dropped with
    // its loop; a restart's quit task binds to its new thread.
    quit_flag_.Cancel();
  }
}

void FrameworkThread::QuitTask() {
  if (MessageLoop* loop = MessageLoop::current()) loop->QuitWhenIdle();
  MarkQuitProperly();
}

std::shared_ptr<MessageLoopProxy> FrameworkThread::proxy() const {
  AutoLock hold(proxy_lock_);
  return proxy_;
}

FrameworkThread* FrameworkThread::Current() {
  ThreadLocalRecord* record = ThreadLocalRecord::Current();
  return record ? record->owner : nullptr;
}

void FrameworkThread::MarkQuitProperly() {
  if (ThreadLocalRecord* record = ThreadLocalRecord::Current()) record->quit_properly = true;
}

}  // namespace cbase
