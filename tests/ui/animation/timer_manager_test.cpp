#include "ui/animation/timer_manager.h"

#include <gtest/gtest.h>
#include <vector>

#include "base/weak_callback.h"
#include "tests/ui/animation/fake_timing.h"

namespace ui {
namespace {

using testing::FakeTimers;

class TimerManagerTest : public ::testing::Test {
 protected:
  // Milliseconds since the test began, on the fake clock.
  int64_t NowMs() { return (timers_.clock.Now() - start_) * 1000 / timers_.clock.Frequency(); }

  FakeTimers timers_;
  int64_t start_ = timers_.clock.Now();
  cbase::WeakCallbackFlag owner_;
};

TEST_F(TimerManagerTest, OneShotFiresOnceOnTheSixteenMillisecondGrid) {
  std::vector<int64_t> fired;
  EXPECT_TRUE(timers_.manager.AddTimer(
      owner_.GetWeakFlag(), [&] { fired.push_back(NowMs()); }, 300, 1));
  ASSERT_EQ(timers_.log.periods, std::vector<uint32_t>{16});
  EXPECT_TRUE(timers_.manager.fast_mode());

  for (int i = 0; i < 18; ++i) timers_.Pulse();  // 288 ms
  EXPECT_TRUE(fired.empty());
  timers_.Pulse();  // 304 ms: the first pulse at or after 300 ms
  EXPECT_EQ(fired, std::vector<int64_t>{304});

  // Nothing left: the pulse is gone and a later poll runs nothing again.
  EXPECT_FALSE(timers_.log.running);
  EXPECT_FALSE(timers_.manager.pulse_running());
  EXPECT_EQ(timers_.manager.pending_count(), 0u);
  timers_.PollAfter(300);
  EXPECT_EQ(fired.size(), 1u);
}

TEST_F(TimerManagerTest, RepeatCountsDecideHowOftenATimerRuns) {
  int forever = 0, three = 0, once = 0, zero = 0;
  timers_.manager.AddTimer(
      owner_.GetWeakFlag(), [&] { ++three; }, 50, 3);
  timers_.manager.AddTimer(
      owner_.GetWeakFlag(), [&] { ++once; }, 50, 1);
  timers_.manager.AddTimer(
      owner_.GetWeakFlag(), [&] { ++zero; }, 50, 0);
  cbase::WeakCallbackFlag forever_owner;
  timers_.manager.AddTimer(
      forever_owner.GetWeakFlag(), [&] { ++forever; }, 100, TimerManager::kRepeatForever);

  timers_.PulseFor(1000);
  EXPECT_EQ(three, 3);
  EXPECT_EQ(once, 1);
  EXPECT_EQ(zero, 1);
  EXPECT_GE(forever, 9);
  EXPECT_TRUE(timers_.log.running);

  // A forever timer ends only with its owner; then the pulse stops too.
  forever_owner.Cancel();
  const int runs = forever;
  timers_.PulseFor(1000);
  EXPECT_EQ(forever, runs);
  EXPECT_FALSE(timers_.log.running);
  EXPECT_EQ(timers_.manager.pending_count(), 0u);
}

TEST_F(TimerManagerTest, RepeatsAreMeasuredFromThePollThatRanThem) {
  std::vector<int64_t> fired;
  timers_.manager.AddTimer(
      owner_.GetWeakFlag(), [&] { fired.push_back(NowMs()); }, 40, 3);
  timers_.PulseFor(1000);
  // Due at 40 (runs at 48), then 48 + 40 = 88 (runs at 96), then 136 (144).
  EXPECT_EQ(fired, (std::vector<int64_t>{48, 96, 144}));
}

TEST_F(TimerManagerTest, TimerOfADeadOwnerIsDroppedWithoutRunning) {
  int runs = 0;
  {
    cbase::WeakCallbackFlag short_lived;
    timers_.manager.AddTimer(
        short_lived.GetWeakFlag(), [&] { ++runs; }, 100, 1);
  }
  int other = 0;
  timers_.manager.AddTimer(
      owner_.GetWeakFlag(), [&] { ++other; }, 100, 1);
  timers_.PulseFor(500);
  EXPECT_EQ(runs, 0);
  EXPECT_EQ(other, 1);
  EXPECT_EQ(timers_.manager.pending_count(), 0u);
  EXPECT_FALSE(timers_.log.running);

  // A timer with no owner at all never runs either.
  timers_.manager.AddTimer(
      std::weak_ptr<cbase::WeakFlag>(), [&] { ++runs; }, 10, 1);
  timers_.PulseFor(100);
  EXPECT_EQ(runs, 0);
}

TEST_F(TimerManagerTest, OwnerGoneDuringItsOwnCallbackEndsARepeatingTimer) {
  int runs = 0;
  auto owner = std::make_unique<cbase::WeakCallbackFlag>();
  timers_.manager.AddTimer(
      owner->GetWeakFlag(),
      [&] {
        ++runs;
        owner.reset();
      },
      20, TimerManager::kRepeatForever);
  timers_.PulseFor(200);
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(timers_.manager.pending_count(), 0u);
}

TEST_F(TimerManagerTest, FarTimerUsesOneLongPeriodThenBackToSixteen) {
  std::vector<int64_t> fired;
  timers_.manager.AddTimer(
      owner_.GetWeakFlag(), [&] { fired.push_back(NowMs()); }, 3000, 1);
  timers_.manager.AddTimer(
      owner_.GetWeakFlag(), [&] { fired.push_back(NowMs()); }, 3500, 1);
  ASSERT_EQ(timers_.log.periods.back(), 16u);

  // First poll at 16 ms: 2984 ms remain, so one period of 2984 + 2 ms.
  timers_.Pulse();
  EXPECT_EQ(timers_.log.periods.back(), 2986u);
  EXPECT_FALSE(timers_.manager.fast_mode());
  EXPECT_TRUE(timers_.manager.pulse_running());

  // It fires at 3002; the next timer is 498 ms away: back to 16 ms.
  timers_.Pulse();
  EXPECT_EQ(fired, std::vector<int64_t>{3002});
  EXPECT_EQ(timers_.log.periods.back(), 16u);
  EXPECT_TRUE(timers_.manager.fast_mode());

  timers_.PulseFor(1000);
  ASSERT_EQ(fired.size(), 2u);
  EXPECT_GE(fired[1], 3500);
  EXPECT_LT(fired[1], 3500 + 16);
}

TEST_F(TimerManagerTest, LongPeriodStartsAtExactlyOneSecond) {
  timers_.manager.AddTimer(
      owner_.GetWeakFlag(), [] {}, 1016, 1);
  timers_.Pulse();  // 1000 ms remain
  EXPECT_EQ(timers_.log.periods.back(), 1002u);
  EXPECT_FALSE(timers_.manager.fast_mode());

  FakeTimers other;
  other.manager.AddTimer(
      owner_.GetWeakFlag(), [] {}, 1015, 1);
  other.Pulse();  // 999 ms remain: stays fast, the pulse is left alone
  EXPECT_EQ(other.log.periods, std::vector<uint32_t>{16});
  EXPECT_TRUE(other.manager.fast_mode());
}

TEST_F(TimerManagerTest, AddingDuringALongPeriodReturnsToFastMode) {
  int runs = 0;
  timers_.manager.AddTimer(
      owner_.GetWeakFlag(), [] {}, 60000, 1);
  timers_.Pulse();
  ASSERT_FALSE(timers_.manager.fast_mode());
  timers_.manager.AddTimer(
      owner_.GetWeakFlag(), [&] { ++runs; }, 100, 1);
  EXPECT_EQ(timers_.log.periods.back(), 16u);
  EXPECT_TRUE(timers_.manager.fast_mode());
  timers_.PulseFor(112);
  EXPECT_EQ(runs, 1);
  // With only the far timer left the long period comes back.
  EXPECT_FALSE(timers_.manager.fast_mode());
  EXPECT_GT(timers_.log.periods.back(), 59000u);
}

TEST_F(TimerManagerTest, ZeroIntervalRepeatRunsOncePerPoll) {
  int runs = 0;
  timers_.manager.AddTimer(
      owner_.GetWeakFlag(), [&] { ++runs; }, 0, TimerManager::kRepeatForever);
  timers_.Pulse();
  EXPECT_EQ(runs, 1);
  timers_.Pulse();
  EXPECT_EQ(runs, 2);
}

TEST_F(TimerManagerTest, CallbackMayAddTimers) {
  std::vector<int64_t> fired;
  timers_.manager.AddTimer(
      owner_.GetWeakFlag(),
      [&] {
        fired.push_back(NowMs());
        timers_.manager.AddTimer(
            owner_.GetWeakFlag(), [&] { fired.push_back(NowMs()); }, 0, 1);
      },
      16, 1);
  timers_.PulseFor(100);
  EXPECT_EQ(fired, (std::vector<int64_t>{16, 32}));
}

TEST_F(TimerManagerTest, TimersDueTogetherRunInTheOrderAdded) {
  std::vector<int> order;
  for (int i = 0; i < 20; ++i) {
    timers_.manager.AddTimer(
        owner_.GetWeakFlag(), [&order, i] { order.push_back(i); }, 100, 1);
  }
  timers_.PulseFor(200);
  ASSERT_EQ(order.size(), 20u);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(order[i], i);
}

TEST_F(TimerManagerTest, PulseThatCannotStartIsReported) {
  timers_.log.refuse = true;
  int runs = 0;
  EXPECT_FALSE(timers_.manager.AddTimer(
      owner_.GetWeakFlag(), [&] { ++runs; }, 10, 1));
  EXPECT_FALSE(timers_.manager.pulse_running());
  // The timer waits; once a pulse starts it runs.
  timers_.log.refuse = false;
  EXPECT_TRUE(timers_.manager.AddTimer(
      owner_.GetWeakFlag(), [] {}, 10, 1));
  timers_.PulseFor(32);
  EXPECT_EQ(runs, 1);
  EXPECT_FALSE(timers_.manager.AddTimer(owner_.GetWeakFlag(), nullptr, 10, 1));
}

TEST_F(TimerManagerTest, AHeldPulseStartsOnReleaseAndRunsWhatFellDue) {
  std::vector<int64_t> fired;
  EXPECT_TRUE(timers_.manager.AddTimer(
      owner_.GetWeakFlag(), [&] { fired.push_back(NowMs()); }, 100, 3));
  ASSERT_TRUE(timers_.log.running);
  // Holding stops the running pulse; new timers start none.
  timers_.manager.HoldPulse();
  EXPECT_TRUE(timers_.manager.pulse_held());
  EXPECT_FALSE(timers_.log.running);
  EXPECT_TRUE(timers_.manager.AddTimer(
      owner_.GetWeakFlag(), [&] { fired.push_back(-NowMs()); }, 50, 1));
  EXPECT_EQ(timers_.log.periods.size(), 1u);
  EXPECT_FALSE(timers_.manager.pulse_running());

  // Released after both fell due: both run at once, and the pulse carries
  // the repeating one on from there.
  timers_.clock.AdvanceMs(120);
  timers_.manager.ReleasePulse();
  EXPECT_FALSE(timers_.manager.pulse_held());
  EXPECT_EQ(fired, (std::vector<int64_t>{-120, 120}));
  ASSERT_TRUE(timers_.log.running);
  EXPECT_EQ(timers_.log.periods.back(), 16u);
  timers_.PulseFor(400);
  EXPECT_EQ(fired, (std::vector<int64_t>{-120, 120, 232, 344}));
  EXPECT_FALSE(timers_.log.running);
  // Releasing again changes nothing.
  timers_.manager.ReleasePulse();
  EXPECT_FALSE(timers_.log.running);
}

// A program's hold and a window's may overlap: only the last release
// starts the pulse.
TEST_F(TimerManagerTest, HoldsAreCounted) {
  int fired = 0;
  timers_.manager.HoldPulse();
  timers_.manager.HoldPulse();
  EXPECT_TRUE(timers_.manager.AddTimer(
      owner_.GetWeakFlag(), [&] { ++fired; }, 10, 1));
  timers_.clock.AdvanceMs(20);
  timers_.manager.ReleasePulse();
  EXPECT_TRUE(timers_.manager.pulse_held());
  EXPECT_FALSE(timers_.log.running);
  EXPECT_EQ(fired, 0);
  timers_.manager.ReleasePulse();
  EXPECT_FALSE(timers_.manager.pulse_held());
  EXPECT_EQ(fired, 1);
  // A release without a hold counts for nothing.
  timers_.manager.ReleasePulse();
  timers_.manager.HoldPulse();
  EXPECT_TRUE(timers_.manager.pulse_held());

  // Released without running what is due: the pulse's first tick runs it.
  EXPECT_TRUE(timers_.manager.AddTimer(
      owner_.GetWeakFlag(), [&] { ++fired; }, 10, 1));
  timers_.clock.AdvanceMs(20);
  timers_.manager.ReleasePulse(false);
  EXPECT_EQ(fired, 1);
  ASSERT_TRUE(timers_.log.running);
  EXPECT_EQ(timers_.log.periods.back(), 16u);
  timers_.Pulse();
  EXPECT_EQ(fired, 2);
}

}  // namespace
}  // namespace ui
