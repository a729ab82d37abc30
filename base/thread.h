// Thread and FrameworkThread: threads that own a MessageLoop for their whole
// run.
//
// A FrameworkThread creates its loop, calls Init, runs the loop until it
// quits, calls Cleanup and deletes the loop. The body runs either on the
// calling thread (RunOnCurrentThread: how the process's main thread becomes
// the UI thread) or on a native thread of its own (Start).
//
//   class Worker : public cbase::FrameworkThread {
//    public:
//     Worker() : FrameworkThread("Worker") {}
//     ~Worker() override { Stop(); }   // before the subclass is torn down
//     void Init() override { ... }      // on the thread, loop exists
//   };
//   Worker worker;
//   worker.Start(cbase::MessageLoopKind::kUI);
//   worker.proxy()->PostTask([] { ... });
//
// Ownership: the owner of the object (usually on another thread) calls
// Start/Stop; Init, Cleanup and the loop belong to the thread itself. A
// subclass must call Stop in its own destructor: the base destructor stops
// too, but by then the subclass's Cleanup is gone.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "base/lock.h"
#include "base/message_loop.h"
#include "base/scoped_handle.h"
#include "base/weak_callback.h"

namespace cbase {

class MessageLoopProxy;
class FrameworkThread;

// A native thread whose body is Run.
class Thread {
 public:
  Thread() = default;
  virtual ~Thread();
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  virtual void Run() {}

  // The system's id of the thread while it runs, else 0. Any thread.
  uint32_t thread_id() const { return thread_id_.load(); }
  HANDLE thread_handle() const { return thread_handle_.get(); }

 protected:
  // Starts a native thread running Run. Owner's thread.
  bool Create();
  // Waits for the native thread to end (terminating it if it cannot be
  // waited for) and forgets it. Owner's thread; does nothing without one.
  void Join();

  std::atomic<uint32_t> thread_id_{0};
  ScopedHandle thread_handle_;

 private:
  static unsigned __stdcall ThreadMain(void* param);
};

// What a thread running a framework-thread body keeps in its thread-local
// record slot. Owned by that body; its thread only.
struct ThreadLocalRecord {
  FrameworkThread* owner = nullptr;
  // Set when the thread's loop was asked to quit (QuitTask) or by the
  // application's clean-up.
  bool quit_properly = false;
  int32_t binding_count = 0;
  int32_t bound_id = -1;

  // The calling thread's record, or null.
  static ThreadLocalRecord* Current();
};

class FrameworkThread : public Thread, public virtual SupportWeakCallback {
 public:
  // Makes a loop on the calling (new) thread, for MessageLoopKind::kCustom.
  using LoopFactory = std::function<std::shared_ptr<MessageLoop>()>;

  explicit FrameworkThread(const char* name);
  ~FrameworkThread() override;

  // Runs the body on the calling thread with a loop of `kind`; returns when
  // the loop has quit and Cleanup has run.
  void RunOnCurrentThread(MessageLoopKind kind);
  void RunOnCurrentThreadWithLoopFactory(LoopFactory factory);

  // Runs the body on a new native thread; returns once the loop exists and
  // Init has returned. False if already started or the thread could not be
  // created (or ended before its loop was up).
  bool Start(MessageLoopKind kind = MessageLoopKind::kDefault);
  bool StartWithLoopFactory(LoopFactory factory);

  // Asks the loop to quit when idle and waits for a native thread to end.
  // Does nothing unless started; on a thread whose body has finished it
  // neither posts nor waits. Called on the thread itself it only asks.
  void Stop();

  // Message dispatcher for the UI loop's run (none by default). Set before
  // starting.
  void set_dispatcher(MessageDispatcher* dispatcher) { dispatcher_ = dispatcher; }

  const std::string& name() const { return name_; }
  bool IsRunning() const { return started_.load(); }

  // The thread's loop while the body runs, else null. Thread itself only.
  MessageLoop* message_loop() const { return message_loop_; }
  // The loop's proxy while the body runs, else null. Any thread.
  std::shared_ptr<MessageLoopProxy> proxy() const;

  // The framework thread whose body runs on the calling thread, or null.
  static FrameworkThread* Current();
  // Marks the calling thread's record as having quit properly.
  static void MarkQuitProperly();

  // The body; not to be called directly (Start or RunOnCurrentThread).
  void Run() override;

 protected:
  // On the thread: after the loop exists, before it runs.
  virtual void Init() {}
  // On the thread: after the loop has returned, before it is deleted.
  virtual void Cleanup() {}
  // Reserved; never called.
  virtual void Reserved() {}

 private:
  bool StartNative();
  std::shared_ptr<MessageLoop> CreateLoop();
  void QuitTask();

  std::atomic<bool> started_{false};
  std::atomic<bool> stopping_{false};
  MessageLoopKind loop_kind_ = MessageLoopKind::kDefault;
  MessageLoop* message_loop_ = nullptr;
  LoopFactory loop_factory_;
  MessageDispatcher* dispatcher_ = nullptr;
  ScopedHandle startup_event_;
  std::string name_;

  // Guards proxy_, which mirrors the loop's life for other threads.
  mutable Lock proxy_lock_;
  std::shared_ptr<MessageLoopProxy> proxy_;
  // Issues the quit task, which runs on the thread itself.
  WeakCallbackFlag quit_flag_;
};

}  // namespace cbase
