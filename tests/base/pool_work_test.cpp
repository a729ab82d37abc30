#include "base/pool_work.h"

#include <windows.h>

#include <atomic>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

namespace cbase {
namespace {

TEST(PoolWorkTest, ATaskRunsOnceOnAnotherThread) {
  const DWORD caller = ::GetCurrentThreadId();
  std::atomic<DWORD> ran_on{0};
  std::atomic<int> runs{0};
  HANDLE done = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ASSERT_TRUE(RunOnPool([&] {
    ran_on = ::GetCurrentThreadId();
    ++runs;
    ::SetEvent(done);
  }));
  ASSERT_EQ(::WaitForSingleObject(done, 5000), WAIT_OBJECT_0);
  ::CloseHandle(done);
  ::Sleep(50);  // nothing runs it a second time
  EXPECT_EQ(runs, 1);
  EXPECT_NE(ran_on, 0u);
  EXPECT_NE(ran_on, caller);
}

TEST(PoolWorkTest, TasksRunOneAtATimeInTheOrderTheyWereHandedOver) {
  constexpr int kThreads = 4;
  constexpr int kTasks = 50;
  std::mutex lock;
  std::vector<std::vector<int>> seen(kThreads);
  std::atomic<int> running{0};
  std::atomic<int> most{0};
  std::atomic<int> left{kThreads * kTasks};
  HANDLE done = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kTasks; ++i) {
        ASSERT_TRUE(RunOnPool([&, t, i] {
          const int now = ++running;
          int seen_most = most;
          while (now > seen_most && !most.compare_exchange_weak(seen_most, now)) {
          }
          if (i % 10 == 0) ::Sleep(2);  // long enough for another thread to start one
          {
            std::lock_guard<std::mutex> hold(lock);
            seen[t].push_back(i);
          }
          --running;
          if (--left == 0) ::SetEvent(done);
        }));
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  ASSERT_EQ(::WaitForSingleObject(done, 10000), WAIT_OBJECT_0);
  ::CloseHandle(done);
  EXPECT_EQ(most, 1);
  for (int t = 0; t < kThreads; ++t) {
    ASSERT_EQ(seen[t].size(), static_cast<size_t>(kTasks)) << t;
    for (int i = 0; i < kTasks; ++i) EXPECT_EQ(seen[t][i], i) << t;
  }
}

TEST(PoolWorkTest, WaitReturnsOnlyOnceTheJobHasEndedAndAJobStartsOnce) {
  PoolJob job;
  job.Wait();  // nothing started: at once
  std::atomic<bool> finished{false};
  std::atomic<int> runs{0};
  ASSERT_TRUE(job.Start([&] {
    ++runs;
    ::Sleep(200);
    finished = true;
  }));
  EXPECT_FALSE(job.Start([&] { ++runs; }));
  job.Wait();
  EXPECT_TRUE(finished);
  job.Wait();  // and again, at once
  ::Sleep(50);
  EXPECT_EQ(runs, 1);
}

TEST(PoolWorkTest, AJobWhoseTaskThrowsHasEndedAndTheTasksBehindItRun) {
  // Before, Wait never returned here (the test program's time-out ends it).
  PoolJob job;
  ASSERT_TRUE(job.Start([] { throw std::bad_alloc(); }));
  std::atomic<bool> behind{false};
  PoolJob next;
  ASSERT_TRUE(next.Start([&] { behind = true; }));
  job.Wait();
  next.Wait();
  EXPECT_TRUE(behind);
}

TEST(PoolWorkTest, AJobGoneOutOfScopeHasWaitedForItsTask) {
  auto finished = std::make_shared<std::atomic<bool>>(false);
  {
    PoolJob job;
    ASSERT_TRUE(job.Start([finished] {
      ::Sleep(200);
      *finished = true;
    }));
  }
  EXPECT_TRUE(*finished);
}

}  // namespace
}  // namespace cbase
