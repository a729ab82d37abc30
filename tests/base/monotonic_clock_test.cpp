#include "base/monotonic_clock.h"

#include <gtest/gtest.h>

namespace cbase {
namespace {

TEST(MonotonicClockTest, WrapOfTheMillisecondTimerKeepsTheClockGoingForward) {
  internal::WrappingMillisecondClock clock;
  EXPECT_EQ(clock.Advance(1000), 1000 * 1000);
  EXPECT_EQ(clock.Advance(0xFFFFFFF0u), int64_t{0xFFFFFFF0} * 1000);
  // The timer wrapped: 0x10 ms after 2^32.
  EXPECT_EQ(clock.Advance(0x10), ((int64_t{1} << 32) + 0x10) * 1000);
  EXPECT_EQ(clock.Advance(0x20), ((int64_t{1} << 32) + 0x20) * 1000);
  // A second wrap adds a second 2^32.
  EXPECT_EQ(clock.Advance(0x5), ((int64_t{2} << 32) + 0x5) * 1000);
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
