#include "base/monotonic_clock.h"

#include <gtest/gtest.h>

#include "base/tick_clock.h"
#include "tests/base/test_support.h"

namespace cbase {
namespace {

TEST(MonotonicClockTest, TickConversionIsExactAndDoesNotOverflowLateReadings) {
  EXPECT_EQ(TicksToMicroseconds(0, 10000000), 0);
  EXPECT_EQ(TicksToMicroseconds(15, 10000000), 1);  // 1.5 us rounds down
  EXPECT_EQ(TicksToMicroseconds(1000, 1000), 1000000);
  EXPECT_EQ(TicksToMicroseconds(3579545 + 3579545 / 2, 3579545), 1499999);
  // A 10 MHz counter after a year of uptime: ticks * 10^6 alone would overflow.
  const int64_t year_ticks = int64_t{365} * 24 * 3600 * 10000000;
  EXPECT_EQ(TicksToMicroseconds(year_ticks + 7, 10000000), int64_t{365} * 24 * 3600 * 1000000);
}

TEST(MonotonicClockTest, AnInstalledClockDrivesMonotonicNowUntilItIsRemoved) {
  {
    test::ScopedFakeClock clock(5000);
    EXPECT_EQ(MonotonicNow(), 5000);
    EXPECT_EQ(ProcessTickClock().Now(), 5000);
    test::ScopedFakeClock::Advance(Milliseconds(3));
    EXPECT_EQ(MonotonicNow(), 8000);
  }
  EXPECT_EQ(ProcessTickClock().Frequency(), SystemTickClock().Frequency());
  EXPECT_GT(MonotonicNow(), 8000);
}

TEST(MonotonicClockTest, RealClockNeverGoesBackwards) {
  int64_t prev = MonotonicNow();
  for (int i = 0; i < 10000; ++i) {
    int64_t now = MonotonicNow();
    ASSERT_GE(now, prev);
    prev = now;
  }
}

}  // namespace
}  // namespace cbase
