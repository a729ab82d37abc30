#include "base/thread_checker.h"

#include <windows.h>

#include <atomic>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <thread>

#include "base/check.h"
#include "base/message_loop.h"
#include "base/weak_callback.h"

namespace cbase {
namespace {

std::atomic<int> g_failures{0};

void RecordFailure(const char*, const char*, int) { ++g_failures; }

class ThreadCheckerTest : public ::testing::Test {
 protected:
  void SetUp() override {
#ifdef NDEBUG
    GTEST_SKIP() << "thread affinity is checked in debug builds only";
#endif
    g_failures = 0;
    previous_ = SetCheckFailureHandler(&RecordFailure);
  }
  void TearDown() override { SetCheckFailureHandler(previous_); }
  CheckFailureHandler previous_ = nullptr;
};

TEST_F(ThreadCheckerTest, UseFromAnotherThreadIsReportedAndDetachRebinds) {
  ThreadChecker checker;
  CBASE_DCHECK_ON_THREAD(checker);
  EXPECT_EQ(g_failures, 0);
  std::thread([&] { CBASE_DCHECK_ON_THREAD(checker); }).join();
  EXPECT_EQ(g_failures, 1);

  checker.DetachFromThread();
  std::thread([&] { CBASE_DCHECK_ON_THREAD(checker); }).join();  // binds to that thread
  EXPECT_EQ(g_failures, 1);
  CBASE_DCHECK_ON_THREAD(checker);  // now this one is the stranger
  EXPECT_EQ(g_failures, 2);
}

TEST_F(ThreadCheckerTest, WeakCallbacksAreCalledAndTheirObjectDestroyedOnOneThread) {
  class Owner : public SupportWeakCallback {};
  int calls = 0;
  {
    // Callbacks may be issued anywhere; the first call binds the thread.
    Owner owner;
    auto callback = owner.ToWeakCallback([&] { ++calls; });
    std::thread([&] { owner.ToWeakCallback([&] { ++calls; }); }).join();
    callback();
    callback();
    EXPECT_EQ(g_failures, 0);
    std::thread([&] { callback(); }).join();
    EXPECT_EQ(g_failures, 1);
  }
  EXPECT_EQ(g_failures, 1);
  EXPECT_EQ(calls, 3);  // the stranger's call is reported, not refused

  {
    // Called on a worker, destroyed here: the liveness test could have raced.
    auto owner = std::make_unique<Owner>();
    auto callback = owner->ToWeakCallback([&] { ++calls; });
    std::thread([&] { callback(); }).join();
    EXPECT_EQ(g_failures, 1);
    owner.reset();
    EXPECT_EQ(g_failures, 2);
    // Once the object is gone a call does nothing, from any thread.
    std::thread([&] { callback(); }).join();
    EXPECT_EQ(g_failures, 2);
  }

  {
    // A cancelled flag's callbacks are harmless anywhere; the new flag binds
    // afresh.
    WeakCallbackFlag flag;
    auto before = flag.ToWeakCallback([&] { ++calls; });
    before();
    flag.Cancel();
    std::thread([&] {
      before();
      flag.ToWeakCallback([&] { ++calls; })();
    }).join();
    EXPECT_EQ(g_failures, 2);
    flag.Cancel();  // the second flag was bound to the worker
  }
  EXPECT_EQ(g_failures, 2);
}

TEST_F(ThreadCheckerTest, LoopInternalsUsedOffTheLoopThreadAreReported) {
  UIMessageLoop loop;
  struct NullObserver : TaskObserver {
    void WillProcessTask(const QueuedTask&) override {}
    void DidProcessTask(const QueuedTask&) override {}
  } observer;
  std::thread([&] {
    loop.PostTask([] {});  // posting is for any thread
    EXPECT_EQ(g_failures, 0);
    loop.AddTaskObserver(&observer);
    loop.QuitWhenIdle();
  }).join();
  EXPECT_EQ(g_failures, 2);
  loop.RemoveTaskObserver(&observer);
  EXPECT_EQ(g_failures, 2);
}

}  // namespace
}  // namespace cbase
