// The process-wide TimerManager against real time: its multimedia timer, its
// hidden window and the UI thread's message queue. Bounds are wide so a busy
// machine does not fail them; the exact timing is tested on a fake clock.
#include <windows.h>

#include <gtest/gtest.h>

#include "base/monotonic_clock.h"
#include "base/tick_clock.h"
#include "base/weak_callback.h"
#include "tests/support/message_pump.h"
#include "tests/ui/animation/fake_timing.h"
#include "ui/animation/multimedia_timer_pulse.h"
#include "ui/animation/timer_manager.h"

namespace ui {
namespace {

double MillisecondsSince(int64_t start) {
  cbase::TickClock& clock = cbase::SystemTickClock();
  return static_cast<double>(clock.Now() - start) * 1000 / clock.Frequency();
}

TEST(TimerManagerRealTimeTest, OneShotFiresOnceOnTheUIThread) {
  TimerManager& manager = TimerManager::GetInstance();

  cbase::WeakCallbackFlag owner;
  int runs = 0;
  DWORD thread = 0;
  double fired_ms = 0;
  const int64_t start = cbase::SystemTickClock().Now();
  ASSERT_TRUE(manager.AddTimer(
      owner.GetWeakFlag(),
      [&] {
        ++runs;
        thread = GetCurrentThreadId();
        fired_ms = MillisecondsSince(start);
      },
      300, 1));
  EXPECT_TRUE(manager.pulse_running());
  // The running pulse's hidden window, on this thread.
  EXPECT_NE(FindWindowExW(HWND_MESSAGE, nullptr, MultimediaTimerPulse::kWindowClass, nullptr),
            nullptr);

  testing_support::PumpMessagesUntil([&] { return runs > 0; }, 5000);
  ASSERT_EQ(runs, 1) << "the timer did not fire within 5 s";
  EXPECT_EQ(thread, GetCurrentThreadId());
  EXPECT_GE(fired_ms, 299.0);
  EXPECT_LT(fired_ms, 1500.0);
  // Long enough for a wrongly repeated timer to come round again.
  testing_support::PumpMessagesFor(800);
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(manager.pending_count(), 0u);
  EXPECT_FALSE(manager.pulse_running());
}

TEST(TimerManagerRealTimeTest, PulseStopsWhenAsked) {
  int pulses = 0;
  MultimediaTimerPulse pulse([&] { ++pulses; });
  // Made with the first start, not with the pulse.
  EXPECT_EQ(pulse.window(), nullptr);
  ASSERT_TRUE(pulse.Start(16));
  ASSERT_NE(pulse.window(), nullptr);
  testing_support::PumpMessagesUntil([&] { return pulses >= 3; }, 5000);
  EXPECT_GE(pulses, 3);
  pulse.Stop();
  testing_support::PumpMessagesFor(50);  // what was posted before Stop
  const int after_stop = pulses;
  testing_support::PumpMessagesFor(300);
  EXPECT_EQ(pulses, after_stop);
}

// The process-wide manager and the message loops' delayed tasks read one
// clock: a test that installs its own moves both, with no real waiting.
TEST(TimerManagerRealTimeTest, AnInstalledProcessClockDrivesTimersAndLoopTimeAlike) {
  testing::FakeTickClock clock;
  cbase::SetTickClockForTesting(&clock);
  TimerManager& manager = TimerManager::GetInstance();
  cbase::WeakCallbackFlag owner;
  int runs = 0;
  ASSERT_TRUE(manager.AddTimer(
      owner.GetWeakFlag(), [&] { ++runs; }, 40, 1));
  const int64_t loop_start = cbase::MonotonicNow();
  EXPECT_EQ(loop_start, clock.Now());

  clock.AdvanceMs(39);
  manager.Poll();
  EXPECT_EQ(runs, 0);
  clock.AdvanceMs(1);
  EXPECT_EQ(cbase::MonotonicNow(), loop_start + cbase::Milliseconds(40));
  manager.Poll();
  EXPECT_EQ(runs, 1);
  cbase::SetTickClockForTesting(nullptr);
}

}  // namespace
}  // namespace ui
