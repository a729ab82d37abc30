#include "base/one_shot_timer.h"

#include <windows.h>

#include <atomic>
#include <gtest/gtest.h>
#include <memory>
#include <thread>
#include <vector>

namespace cbase {
namespace {

// A manual-reset event, closed with the test.
class Event {
 public:
  Event() : handle_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
  ~Event() { ::CloseHandle(handle_); }
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;
  void Set() { ::SetEvent(handle_); }
  bool Wait(DWORD ms) { return ::WaitForSingleObject(handle_, ms) == WAIT_OBJECT_0; }

 private:
  HANDLE handle_;
};

// What a timer's callback saw.
struct Firings {
  std::atomic<int> count{0};
  std::atomic<DWORD> thread{0};
  std::atomic<ULONGLONG> at{0};
  Event fired;

  std::function<void()> Callback() {
    return [this] {
      thread = ::GetCurrentThreadId();
      at = ::GetTickCount64();
      ++count;
      fired.Set();
    };
  }
};

TEST(OneShotTimerTest, ItFiresOnceOnAnotherThreadAfterItsDelay) {
  Firings firings;
  OneShotTimer timer(firings.Callback());
  // A first arming is replaced, not added to: its firing finds nothing.
  ASSERT_TRUE(timer.Arm(200));
  const ULONGLONG armed = ::GetTickCount64();
  ASSERT_TRUE(timer.Arm(600));
  ASSERT_TRUE(firings.fired.Wait(5000));
  EXPECT_GE(firings.at - armed + 20, 600u);  // the tick count's grain
  EXPECT_NE(firings.thread, ::GetCurrentThreadId());
  ::Sleep(300);
  EXPECT_EQ(firings.count, 1);
}

TEST(OneShotTimerTest, StopCancelsAndWaitsForACallbackRunningElsewhere) {
  std::atomic<int> count{0};
  {
    OneShotTimer stopped([&] { ++count; });
    ASSERT_TRUE(stopped.Arm(300));
    stopped.Stop();
    ::Sleep(600);
  }
  EXPECT_EQ(count, 0);

  Event entered, release;
  std::atomic<bool> finished{false};
  OneShotTimer timer([&] {
    entered.Set();
    release.Wait(INFINITE);
    ::Sleep(50);
    finished = true;
  });
  ASSERT_TRUE(timer.Arm(0));
  ASSERT_TRUE(entered.Wait(5000));
  std::thread releaser([&] {
    ::Sleep(100);
    release.Set();
  });
  timer.Stop();
  EXPECT_TRUE(finished);
  releaser.join();
}

// The system allows a process only a few multimedia timers; the timers
// share one, so many armed at once all fire, each in its time.
TEST(OneShotTimerTest, ManyTimersArmedAtOnceEachFireOnceInTheirTime) {
  constexpr int kTimers = 60;
  std::vector<std::unique_ptr<Firings>> firings;
  std::vector<std::unique_ptr<OneShotTimer>> timers;
  const ULONGLONG armed = ::GetTickCount64();
  for (int i = 0; i < kTimers; ++i) {
    firings.push_back(std::make_unique<Firings>());
    timers.push_back(std::make_unique<OneShotTimer>(firings.back()->Callback()));
    // Every third one is stopped: it must not keep the others from firing.
    ASSERT_TRUE(timers.back()->Arm(i % 3 == 0 ? 5000 : i % 2 == 0 ? 100 : 600));
    if (i % 3 == 0) timers.back()->Stop();
  }
  for (int i = 0; i < kTimers; ++i) {
    if (i % 3 == 0) continue;
    ASSERT_TRUE(firings[i]->fired.Wait(5000)) << i;
    EXPECT_GE(firings[i]->at - armed + 20, i % 2 == 0 ? 100u : 600u) << i;
  }
  ::Sleep(200);
  for (int i = 0; i < kTimers; ++i) EXPECT_EQ(firings[i]->count, i % 3 == 0 ? 0 : 1) << i;
}

// Timers destroyed while their firings are on the way: none of those runs
// a callback afterwards.
TEST(OneShotTimerTest, NoCallbackRunsAfterItsTimerIsGone) {
  constexpr int kTimers = 100;
  std::atomic<int> late{0};
  std::vector<std::atomic<bool>> gone(kTimers);
  for (int i = 0; i < kTimers; ++i) {
    gone[i] = false;
    {
      OneShotTimer timer([&late, &gone, i] {
        if (gone[i]) ++late;
      });
      ASSERT_TRUE(timer.Arm(1));
      if (i % 2 == 0) ::Sleep(1);
    }
    gone[i] = true;
  }
  ::Sleep(300);
  EXPECT_EQ(late, 0);
}

TEST(OneShotTimerTest, ACallbackMayArmItsTimerAgainAndStopItFromInside) {
  std::atomic<int> count{0};
  Event done;
  std::unique_ptr<OneShotTimer> timer;
  timer = std::make_unique<OneShotTimer>([&] {
    if (++count < 3) {
      timer->Arm(10);
      return;
    }
    timer->Arm(10);
    timer->Stop();  // cancels, and does not wait for itself
    done.Set();
  });
  ASSERT_TRUE(timer->Arm(10));
  ASSERT_TRUE(done.Wait(5000));
  ::Sleep(100);
  EXPECT_EQ(count, 3);
  timer.reset();
}

// A callback that arms its timer while the owner destroys it is refused, so
// nothing runs on a timer that has gone.
TEST(OneShotTimerTest, ACallbackCannotArmATimerBeingDestroyed) {
  Event entered, release;
  std::atomic<int> count{0};
  std::atomic<int> refused{0};
  OneShotTimer* raw = nullptr;
  auto timer = std::make_unique<OneShotTimer>([&] {
    ++count;
    entered.Set();
    release.Wait(INFINITE);
    if (!raw->Arm(0)) ++refused;
  });
  raw = timer.get();
  ASSERT_TRUE(timer->Arm(0));
  ASSERT_TRUE(entered.Wait(5000));
  std::thread releaser([&] {
    ::Sleep(1000);  // the destructor has begun to wait by then
    release.Set();
  });
  timer.reset();
  releaser.join();
  ::Sleep(100);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(refused, 1);
}

}  // namespace
}  // namespace cbase
