#include "base/pool_work.h"

#include <windows.h>

#include <atomic>
#include <gtest/gtest.h>
#include <memory>

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
