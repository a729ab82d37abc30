#include "base/thread.h"

#include <windows.h>

#include <atomic>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/message_loop.h"
#include "base/message_loop_proxy.h"
#include "base/monotonic_clock.h"
#include "base/thread_table.h"

namespace cbase {
namespace {

// Records where and in what order its hooks run.
class RecordingThread : public FrameworkThread {
 public:
  explicit RecordingThread(const char* name = "Recording") : FrameworkThread(name) {}
  ~RecordingThread() override { Stop(); }

  std::function<void()> on_init;
  std::function<void()> on_cleanup;
  std::atomic<bool> init_done{false};
  DWORD init_thread = 0;
  DWORD cleanup_thread = 0;
  MessageLoopKind loop_kind = MessageLoopKind::kDefault;
  bool quit_properly_at_cleanup = false;

 protected:
  void Init() override {
    init_thread = GetCurrentThreadId();
    loop_kind = message_loop()->kind();
    EXPECT_EQ(FrameworkThread::Current(), this);
    EXPECT_EQ(MessageLoop::current(), message_loop());
    if (on_init) on_init();
    init_done = true;
  }
  void Cleanup() override {
    cleanup_thread = GetCurrentThreadId();
    quit_properly_at_cleanup = ThreadLocalRecord::Current()->quit_properly;
    if (on_cleanup) on_cleanup();
  }
};

// Runs `task` on the thread's loop and waits for it.
void RunOn(FrameworkThread& thread, Task task) {
  HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ASSERT_TRUE(thread.proxy()->PostTask([&] {
    task();
    SetEvent(done);
  }));
  EXPECT_EQ(WaitForSingleObject(done, 10000), WAIT_OBJECT_0);
  CloseHandle(done);
}

class ThreadKindTest : public ::testing::TestWithParam<MessageLoopKind> {};

INSTANTIATE_TEST_SUITE_P(AllKinds, ThreadKindTest,
                         ::testing::Values(MessageLoopKind::kDefault, MessageLoopKind::kUI,
                                           MessageLoopKind::kIO));

TEST_P(ThreadKindTest, StartReturnsAfterInitOnTheNewThreadAndStopRunsCleanupThere) {
  RecordingThread thread;
  // A slow Init: Start must still wait for it.
  thread.on_init = [] { Sleep(30); };
  ASSERT_TRUE(thread.Start(GetParam()));
  EXPECT_TRUE(thread.init_done);
  EXPECT_TRUE(thread.IsRunning());
  EXPECT_EQ(thread.loop_kind, GetParam());
  EXPECT_NE(thread.init_thread, GetCurrentThreadId());
  EXPECT_EQ(thread.init_thread, thread.thread_id());
  EXPECT_FALSE(thread.Start(GetParam()));  // already started

  thread.Stop();
  EXPECT_FALSE(thread.IsRunning());
  EXPECT_EQ(thread.cleanup_thread, thread.init_thread);
  EXPECT_TRUE(thread.quit_properly_at_cleanup);
  EXPECT_FALSE(thread.proxy());
  EXPECT_EQ(thread.thread_id(), 0u);
  EXPECT_EQ(thread.thread_handle(), nullptr);
}

TEST(FrameworkThreadTest, LoopFactoryMakesTheLoopOnTheNewThread) {
  RecordingThread thread;
  DWORD made_on = 0;
  ASSERT_TRUE(thread.StartWithLoopFactory([&] {
    made_on = GetCurrentThreadId();
    return std::make_shared<UIMessageLoop>();
  }));
  EXPECT_EQ(made_on, thread.init_thread);
  EXPECT_EQ(thread.loop_kind, MessageLoopKind::kUI);
  thread.Stop();
  EXPECT_FALSE(thread.IsRunning());
}

TEST(FrameworkThreadTest, RunOnCurrentThreadRunsTheWholeBodyHere) {
  RecordingThread thread("MainThread");
  thread.on_init = [] { MessageLoop::current()->PostTask([] { CurrentLoop()->QuitWhenIdle(); }); };
  thread.RunOnCurrentThread(MessageLoopKind::kUI);
  EXPECT_EQ(thread.init_thread, GetCurrentThreadId());
  EXPECT_EQ(thread.cleanup_thread, GetCurrentThreadId());
  EXPECT_EQ(thread.loop_kind, MessageLoopKind::kUI);
  EXPECT_FALSE(thread.quit_properly_at_cleanup);  // quit by the body itself, not QuitTask
  // Body finished: no loop, no record, no thread id left behind.
  EXPECT_EQ(MessageLoop::current(), nullptr);
  EXPECT_EQ(ThreadLocalRecord::Current(), nullptr);
  EXPECT_EQ(FrameworkThread::Current(), nullptr);
  EXPECT_EQ(thread.thread_id(), 0u);
  EXPECT_EQ(thread.name(), "MainThread");

  // Stop on a finished body neither posts nor waits; it only clears started.
  EXPECT_TRUE(thread.IsRunning());
  thread.Stop();
  EXPECT_FALSE(thread.IsRunning());
  thread.Stop();

  // The start-up event the body signalled must not let a later Start return
  // before the new thread's Init has run.
  thread.on_init = [] { Sleep(50); };
  thread.init_done = false;
  ASSERT_TRUE(thread.Start());
  EXPECT_TRUE(thread.init_done);
  thread.Stop();
}

TEST(FrameworkThreadTest, StopOnANativeThreadWhoseLoopAlreadyEndedReturns) {
  RecordingThread thread;
  thread.on_init = [] { CurrentLoop()->PostTask([] { CurrentLoop()->QuitWhenIdle(); }); };
  ASSERT_TRUE(thread.Start());
  ASSERT_EQ(WaitForSingleObject(thread.thread_handle(), 10000), WAIT_OBJECT_0);
  EXPECT_FALSE(thread.proxy());
  thread.Stop();
  EXPECT_FALSE(thread.IsRunning());
  EXPECT_EQ(thread.thread_handle(), nullptr);
}

TEST(FrameworkThreadTest, StopCalledOnTheThreadItselfOnlyAsksAndTheOwnerJoinsLater) {
  RecordingThread thread;
  ASSERT_TRUE(thread.Start());
  thread.proxy()->PostTask([&] { thread.Stop(); });
  ASSERT_EQ(WaitForSingleObject(thread.thread_handle(), 10000), WAIT_OBJECT_0);
  EXPECT_TRUE(thread.quit_properly_at_cleanup);
  thread.Stop();
  EXPECT_FALSE(thread.IsRunning());
}

TEST(FrameworkThreadTest, RestartAfterStopRunsAFreshBody) {
  RecordingThread thread;
  int inits = 0;
  thread.on_init = [&] { ++inits; };
  for (int round = 0; round < 3; ++round) {
    ASSERT_TRUE(thread.Start(MessageLoopKind::kUI));
    thread.Stop();
  }
  EXPECT_EQ(inits, 3);
}

// ThreadTable ----------------------------------------------------------------

bool PostAndWait(int32_t id, DWORD* ran_on) {
  HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  bool posted = ThreadTable::PostTaskToThread(id, [&] {
    *ran_on = GetCurrentThreadId();
    SetEvent(done);
  });
  if (posted) {
    EXPECT_EQ(WaitForSingleObject(done, 10000), WAIT_OBJECT_0);
  }
  CloseHandle(done);
  return posted;
}

TEST(ThreadTableTest, BindingCountsAndAnIdHeldByAnotherThreadStaysWithIt) {
  constexpr int32_t kId = 41;
  RecordingThread a("A");
  RecordingThread b("B");
  ASSERT_TRUE(a.Start());
  ASSERT_TRUE(b.Start());
  RunOn(a, [] {
    ThreadTable::BindThreadId(kId);
    ThreadTable::BindThreadId(kId);
  });
  RunOn(b, [] { ThreadTable::BindThreadId(kId); });  // held by A: nothing changes
  EXPECT_EQ(ThreadTable::GetProxy(kId), a.proxy());

  DWORD ran_on = 0;
  ASSERT_TRUE(PostAndWait(kId, &ran_on));
  EXPECT_EQ(ran_on, a.thread_id());

  RunOn(b, [] { ThreadTable::UnbindThreadId(); });  // B holds nothing
  RunOn(a, [] { ThreadTable::UnbindThreadId(); });
  EXPECT_TRUE(PostAndWait(kId, &ran_on));  // bound twice: still bound
  RunOn(a, [] { ThreadTable::UnbindThreadId(); });
  EXPECT_FALSE(PostAndWait(kId, &ran_on));

  RunOn(b, [] { ThreadTable::BindThreadId(kId); });  // free again: B gets it
  EXPECT_TRUE(PostAndWait(kId, &ran_on));
  EXPECT_EQ(ran_on, b.thread_id());
  RunOn(b, [] { ThreadTable::UnbindThreadId(); });
}

TEST(ThreadTableTest, OnlyFrameworkThreadsBindAndUnknownIdsRefuse) {
  constexpr int32_t kId = 42;
  ThreadTable::BindThreadId(kId);  // this test thread runs no framework body
  auto sentinel = std::make_shared<int>(0);
  EXPECT_FALSE(ThreadTable::PostTaskToThread(kId, [sentinel] {}));
  EXPECT_FALSE(ThreadTable::PostDelayedTaskToThread(
      kId + 1, [sentinel] {}, Milliseconds(5)));
  EXPECT_EQ(sentinel.use_count(), 1);
  EXPECT_EQ(ThreadTable::GetProxy(kId), nullptr);
}

TEST(ThreadTableTest, AThreadThatEndsWhileBoundIsNoLongerFound) {
  constexpr int32_t kId = 43;
  {
    RecordingThread thread;
    ASSERT_TRUE(thread.Start());
    RunOn(thread, [] { ThreadTable::BindThreadId(kId); });
    thread.Stop();
    EXPECT_EQ(ThreadTable::GetProxy(kId), nullptr);
  }
  DWORD ran_on = 0;
  EXPECT_FALSE(PostAndWait(kId, &ran_on));
}

TEST(ThreadTableTest, UIThreadIdBoundInInitReachesTheBodyRunOnThisThread) {
  RecordingThread app("MainThread");
  std::vector<std::string> log;
  app.on_init = [&] {
    ThreadTable::BindThreadId(UIThreadId);
    std::thread worker([&] {
      ThreadTable::PostDelayedTaskToThread(
          UIThreadId,
          [&] {
            log.push_back("from worker");
            CurrentLoop()->QuitWhenIdle();
          },
          Milliseconds(1));
    });
    worker.join();
  };
  app.on_cleanup = [] { ThreadTable::UnbindThreadId(); };
  app.RunOnCurrentThread(MessageLoopKind::kUI);
  EXPECT_EQ(log, (std::vector<std::string>{"from worker"}));
  EXPECT_EQ(ThreadTable::GetProxy(UIThreadId), nullptr);
}

}  // namespace
}  // namespace cbase
