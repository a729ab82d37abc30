#include "app/progress_coalescer.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace {

// A UI thread played by the test: posted tasks queue up until Drain runs
// them. Posting is safe from any thread.
class TaskQueue {
 public:
  PostToUIFunction poster() {
    return [this](UiTask task) {
      std::lock_guard<std::mutex> guard(lock_);
      tasks_.push_back(std::move(task));
      ++posted_;
    };
  }
  void Drain() {
    for (;;) {
      UiTask task;
      {
        std::lock_guard<std::mutex> guard(lock_);
        if (tasks_.empty()) return;
        task = std::move(tasks_.front());
        tasks_.pop_front();
      }
      task();
    }
  }
  int posted() {
    std::lock_guard<std::mutex> guard(lock_);
    return posted_;
  }

 private:
  std::mutex lock_;
  std::deque<UiTask> tasks_;
  int posted_ = 0;
};

using Figures = std::vector<std::pair<int64_t, int64_t>>;

TEST(ProgressCoalescerTest, ABurstReachesTheUiAtMostThirtyTimesASecondAndEndsOnTheLastValue) {
  TaskQueue ui;
  Figures shown;
  int64_t now_us = 5000000;
  auto coalescer = ProgressCoalescer::Create(
      ui.poster(), [&](int64_t done, int64_t total) { shown.emplace_back(done, total); },
      [&] { return now_us; });
  // Two seconds of 8 KiB pieces every 100 us with a UI thread that keeps
  // up: 20,000 reports.
  const int64_t total = 20000 * 8192;
  for (int64_t piece = 1; piece <= 20000; ++piece) {
    coalescer->Update(piece * 8192, total);
    now_us += 100;
    if (piece % 7 == 0) ui.Drain();
  }
  coalescer->Flush();
  ui.Drain();
  // At most one per interval, plus the first and the flushed last.
  EXPECT_LE(shown.size(), 2u * ProgressCoalescer::kMaxPerSecond + 2);
  EXPECT_GE(shown.size(), 2u * ProgressCoalescer::kMaxPerSecond - 2);
  ASSERT_FALSE(shown.empty());
  EXPECT_EQ(std::make_pair(total, total), shown.back());
  for (size_t i = 1; i < shown.size(); ++i) EXPECT_LT(shown[i - 1].first, shown[i].first);
}

TEST(ProgressCoalescerTest, AWaitingReportShowsTheNewestFiguresAndFlushAddsNoSecond) {
  TaskQueue ui;
  Figures shown;
  int64_t now_us = 0;
  auto coalescer = ProgressCoalescer::Create(
      ui.poster(), [&](int64_t done, int64_t total) { shown.emplace_back(done, total); },
      [&] { return now_us; });
  coalescer->Update(1, 10);
  // The UI thread is busy: however late, nothing more is posted meanwhile.
  for (int64_t i = 2; i <= 9; ++i) {
    now_us += ProgressCoalescer::kMinIntervalUs * 3;
    coalescer->Update(i, 10);
  }
  coalescer->Flush();
  EXPECT_EQ(1, ui.posted());
  ui.Drain();
  EXPECT_EQ((Figures{{9, 10}}), shown);
  // Nothing new: a flush posts nothing.
  coalescer->Flush();
  EXPECT_EQ(1, ui.posted());
  // Long after the last post an update goes at once...
  coalescer->Update(10, 10);
  EXPECT_EQ(2, ui.posted());
  ui.Drain();
  // ...but within the interval it waits; the flush brings it regardless.
  now_us += ProgressCoalescer::kMinIntervalUs / 2;
  coalescer->Update(11, 12);
  EXPECT_EQ(2, ui.posted());
  coalescer->Flush();
  EXPECT_EQ(3, ui.posted());
  ui.Drain();
  EXPECT_EQ((Figures{{9, 10}, {10, 10}, {11, 12}}), shown);
  // Past the interval an update is posted by itself again.
  now_us += ProgressCoalescer::kMinIntervalUs;
  coalescer->Update(12, 12);
  EXPECT_EQ(4, ui.posted());
}

TEST(ProgressCoalescerTest, ReportsFromAnotherThreadOnTheRealClockStayCoalesced) {
  TaskQueue ui;
  std::atomic<int64_t> last{-1};
  std::atomic<int> shown{0};
  auto coalescer = ProgressCoalescer::Create(ui.poster(), [&](int64_t done, int64_t) {
    last = done;
    ++shown;
  });
  std::atomic<bool> finished{false};
  const ULONGLONG start = ::GetTickCount64();
  std::thread transfer([&] {
    int64_t done = 0;
    while (::GetTickCount64() - start < 500) coalescer->Update(++done, -1);
    coalescer->Update(1 << 30, -1);
    coalescer->Flush();
    finished = true;
  });
  while (!finished) {
    ui.Drain();
    ::Sleep(1);
  }
  transfer.join();
  ui.Drain();
  const ULONGLONG elapsed = ::GetTickCount64() - start;
  EXPECT_EQ(1 << 30, last.load());
  EXPECT_LE(shown.load(), static_cast<int>(elapsed * ProgressCoalescer::kMaxPerSecond / 1000) + 2);
  EXPECT_GE(shown.load(), 3);
}

}  // namespace
