#include "base/startup_trace.h"

#include <atomic>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace cbase {
namespace {

// A clock at 1 MHz that the test moves by hand.
class HandClock : public TickClock {
 public:
  int64_t Frequency() override { return 1000000; }
  int64_t Now() override { return now; }
  int64_t now = 5000000;
};

// The process is 400 ms old when the clock reads 5 s; it ages with the clock.
HandClock* g_clock = nullptr;
double AgeMs() { return 400.0 + static_cast<double>(g_clock->now - 5000000) / 1000.0; }
// The working set grows by a megabyte with every reading.
std::atomic<size_t> g_working_set{0};
size_t WorkingSet() { return g_working_set += 1000000; }

class StartupTraceTest : public ::testing::Test {
 protected:
  StartupTraceTest() { g_clock = &clock_; }
  ~StartupTraceTest() override { g_clock = nullptr; }
  HandClock clock_;
  StartupTrace trace_{clock_, &AgeMs, &WorkingSet};
};

TEST_F(StartupTraceTest, MarksArePlacedOnTheProcessAgeInTheirOrderAndTakenOnce) {
  trace_.Mark("entry");
  clock_.now += 12500;  // 12.5 ms
  trace_.Mark("window");
  clock_.now += 30000;
  const std::vector<StartupTrace::Entry> entries = trace_.Take();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_STREQ(entries[0].step, "entry");
  EXPECT_DOUBLE_EQ(entries[0].ms, 400.0);
  EXPECT_STREQ(entries[1].step, "window");
  EXPECT_DOUBLE_EQ(entries[1].ms, 412.5);
  EXPECT_EQ(entries[1].thread_id, ::GetCurrentThreadId());
  EXPECT_EQ(entries[1].working_set, entries[0].working_set + 1000000);

  EXPECT_TRUE(trace_.Take().empty());
  trace_.Mark("later");
  const auto later = trace_.Take();
  ASSERT_EQ(later.size(), 1u);
  EXPECT_DOUBLE_EQ(later[0].ms, 442.5);
}

TEST_F(StartupTraceTest, MarksPastTheCapacityAreDroppedAndTheRestKept) {
  for (size_t i = 0; i < StartupTrace::kCapacity + 10; ++i) trace_.Mark("step");
  EXPECT_EQ(trace_.Take().size(), StartupTrace::kCapacity);
  trace_.Mark("one more");
  EXPECT_TRUE(trace_.Take().empty());
}

TEST_F(StartupTraceTest, MarksFromSeveralThreadsAreAllKept) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([this] {
      for (int i = 0; i < 8; ++i) trace_.Mark("worker");
    });
  }
  for (auto& thread : threads) thread.join();
  const auto entries = trace_.Take();
  EXPECT_EQ(entries.size(), 32u);
  std::set<DWORD> thread_ids;
  for (const auto& entry : entries) thread_ids.insert(entry.thread_id);
  EXPECT_EQ(thread_ids.size(), 4u);
}

TEST(StartupTraceProcessAge, TheRealClockSaysTheProcessHasRunAWhileAndNotForever) {
  const double age = StartupTrace::ProcessAgeMs();
  EXPECT_GT(age, 0.0);
  EXPECT_LT(age, 24.0 * 3600 * 1000);
  EXPECT_GT(StartupTrace::WorkingSet(), 1000000u);
}

}  // namespace
}  // namespace cbase
