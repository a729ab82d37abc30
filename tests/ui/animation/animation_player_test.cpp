#include "ui/animation/animation_player.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

#include "tests/ui/animation/fake_timing.h"

namespace ui {
namespace {

using testing::FakeTimers;

class AnimationPlayerTest : public ::testing::Test {
 protected:
  AnimationPlayerTest() {
    player_->SetCallback([this](int value) { values_.push_back(value); });
    player_->SetCompleteCallback([this] { ++completions_; });
  }

  // The fade every control uses: 0 to 255 over 250 ms, 30 % speeding up and
  // 70 % slowing down.
  void MakeFade() {
    player_->SetStartValue(0);
    player_->SetEndValue(255);
    player_->SetTotalMillSeconds(250);
    player_->SetSpeedUpRatio(0.3);
    player_->SetSpeedDownRatio(0.7);
  }

  // Moves the fake clock to ms after the play began and polls.
  void PollAt(int64_t ms) {
    timers_.clock.AdvanceMs(ms - at_);
    at_ = ms;
    timers_.manager.Poll();
  }

  FakeTimers timers_;
  std::unique_ptr<AnimationPlayer> player_ = std::make_unique<AnimationPlayer>(&timers_.manager);
  std::vector<int> values_;
  int completions_ = 0;
  int64_t at_ = 0;
};

TEST_F(AnimationPlayerTest, LinearMotionMovesAtConstantSpeed) {
  player_->SetStartValue(100);
  player_->SetEndValue(300);
  player_->SetTotalMillSeconds(400);
  player_->Start();
  EXPECT_EQ(player_->TickInterval(), 2u);
  EXPECT_DOUBLE_EQ(player_->GetCruiseSpeed(), 0.5);
  PollAt(10);
  EXPECT_EQ(values_.back(), 105);
  PollAt(201);
  EXPECT_EQ(values_.back(), 200);
  PollAt(399);
  EXPECT_EQ(values_.back(), 299);
  EXPECT_EQ(completions_, 0);
  PollAt(401);  // the next 2 ms tick
  EXPECT_EQ(values_.back(), 300);
  EXPECT_EQ(completions_, 1);
  EXPECT_FALSE(player_->IsPlaying());
}

TEST_F(AnimationPlayerTest, AdvanceMovesARunningPlayToNowWithoutItsTimer) {
  player_->SetStartValue(100);
  player_->SetEndValue(300);
  player_->SetTotalMillSeconds(400);
  player_->Start();
  timers_.clock.AdvanceMs(10);  // no tick has run
  player_->Advance();
  EXPECT_EQ(values_.back(), 105);
  const size_t values = values_.size();
  player_->Stop();
  timers_.clock.AdvanceMs(10);
  player_->Advance();
  EXPECT_EQ(values_.size(), values);
}

TEST_F(AnimationPlayerTest, FadeAcceleratesThenDeceleratesWithoutCruising) {
  MakeFade();
  player_->Start();
  // a1 = 255 / (0.3 × 250²): 0.0136 per ms² for 75 ms, then slowing to rest
  // over 175 ms from a speed of 2.04 per ms.
  EXPECT_NEAR(player_->GetSpeedUpFactor(), 0.0136, 1e-12);
  EXPECT_NEAR(player_->GetCruiseSpeed(), 2.04, 1e-12);
  EXPECT_NEAR(player_->GetSpeedDownFactor(), -0.0136 * 0.3 / 0.7, 1e-12);
  const struct {
    int ms;
    int value;
  } expected[] = {{10, 1}, {40, 21}, {75, 76}, {100, 123}, {150, 196}, {200, 240}, {240, 254}};
  for (const auto& e : expected) {
    PollAt(e.ms);
    EXPECT_EQ(player_->ReachedValue(), e.value) << "at " << e.ms << " ms";
  }
  EXPECT_EQ(completions_, 0);
  PollAt(250);
  EXPECT_EQ(values_.back(), 255);
  EXPECT_EQ(completions_, 1);
}

TEST_F(AnimationPlayerTest, AlphaFadeTicksEveryMillisecondAndEndsExactlyAt255) {
  MakeFade();
  player_->Start();
  EXPECT_EQ(player_->TickInterval(), 1u);  // 250 / 255 rounds to 0, raised to 1
  timers_.PulseFor(1000);
  // A new value on every 16 ms poll, rising, the last one exactly 255.
  ASSERT_EQ(values_.size(), 16u);
  for (size_t i = 1; i < values_.size(); ++i) EXPECT_GT(values_[i], values_[i - 1]);
  EXPECT_EQ(values_.back(), 255);
  EXPECT_EQ(completions_, 1);
  EXPECT_EQ(timers_.manager.pending_count(), 0u);
  EXPECT_FALSE(timers_.log.running);
}

TEST_F(AnimationPlayerTest, FallingFadeEndsExactlyAtItsEnd) {
  MakeFade();
  player_->SetStartValue(255);
  player_->SetEndValue(0);
  player_->Start();
  timers_.PulseFor(1000);
  for (size_t i = 1; i < values_.size(); ++i) EXPECT_LT(values_[i], values_[i - 1]);
  EXPECT_EQ(values_.back(), 0);
  EXPECT_EQ(completions_, 1);
}

TEST_F(AnimationPlayerTest, TotalTimeIsDerivedFromTheSpeedUpFactor) {
  const struct {
    int start, end;
    double factor;
    int total;
  } cases[] = {
      {0, 100, 0.00084, 629}, {0, 200, 0.00084, 890}, {0, 1000, 0.00084, 1992},
      {100, 0, 0.006, 235},   {-200, 0, 0.006, 333},  {0, 1000, 0.006, 745},
  };
  for (const auto& c : cases) {
    AnimationPlayer player(&timers_.manager);
    player.SetStartValue(c.start);
    player.SetEndValue(c.end);
    player.SetSpeedUpRatio(0.3);
    player.SetSpeedDownRatio(0.7);
    player.SetSpeedUpFactor(c.factor);
    player.Start();
    EXPECT_EQ(player.GetTotalMillSeconds(), c.total) << c.start << " to " << c.end;
    // The speed-down factor follows from the speed-up one: a2 = -a1 × r1 / r2.
    EXPECT_NEAR(player.GetSpeedDownFactor(), -c.factor * 0.3 / 0.7, 1e-12);
    player.Stop();
  }
}

TEST_F(AnimationPlayerTest, DerivedMotionKeepsTheGivenFactorAndItsTotal) {
  player_->SetStartValue(0);
  player_->SetEndValue(200);
  player_->SetSpeedUpRatio(0.3);
  player_->SetSpeedDownRatio(0.7);
  player_->SetSpeedUpFactor(0.00084);
  player_->Start();
  ASSERT_EQ(player_->GetTotalMillSeconds(), 890);
  PollAt(50);
  EXPECT_EQ(values_.back(), 2);  // 0.00084 × 50² = 2.1
  PollAt(300);
  EXPECT_EQ(values_.back(), 74);  // past the 267 ms speed-up: 59.9 + 14.8 - 0.4
  PollAt(889);
  EXPECT_EQ(values_.back(), 199);
  PollAt(893);  // the next 4 ms tick (890 / 200 = 4)
  EXPECT_EQ(values_.back(), 200);
  EXPECT_EQ(completions_, 1);

  // The derived total stays for the next play.
  player_->Start();
  EXPECT_EQ(player_->GetTotalMillSeconds(), 890);
}

TEST_F(AnimationPlayerTest, SpeedDownOnlyMotionDerivesItsTotal) {
  // The scroll animation: no speed-up, half the time slowing down at -0.012.
  player_->SetStartValue(0);
  player_->SetEndValue(30);
  player_->SetSpeedDownRatio(0.5);
  player_->SetSpeedDownFactor(-0.012);
  player_->Start();
  EXPECT_EQ(player_->GetTotalMillSeconds(), 57);  // sqrt(30 / 0.009)
  timers_.PulseFor(100);
  EXPECT_EQ(values_.back(), 30);
  EXPECT_EQ(completions_, 1);
}

TEST_F(AnimationPlayerTest, DerivedTotalIsCappedAtTheMaximum) {
  player_->SetStartValue(0);
  player_->SetEndValue(100);
  player_->SetSpeedUpRatio(0.3);
  player_->SetSpeedDownRatio(0.7);
  player_->SetSpeedUpFactor(1e-12);
  player_->Start();
  EXPECT_EQ(player_->GetTotalMillSeconds(), AnimationPlayer::kMaxTotalMillSeconds);
  // The factors are recomputed to cover the distance in that time.
  EXPECT_NEAR(player_->GetSpeedUpFactor(), 100 / (0.3 * 1e12), 1e-20);
}

TEST_F(AnimationPlayerTest, EqualStartAndEndCompletesAtOnce) {
  player_->SetStartValue(40);
  player_->SetEndValue(40);
  player_->SetTotalMillSeconds(250);
  player_->Start();
  EXPECT_EQ(completions_, 1);
  EXPECT_FALSE(player_->IsPlaying());
  EXPECT_TRUE(values_.empty());
  EXPECT_EQ(timers_.manager.pending_count(), 0u);
}

TEST_F(AnimationPlayerTest, ZeroTotalTimeCompletesOnceOnTheFirstTick) {
  player_->SetStartValue(0);
  player_->SetEndValue(10);
  player_->SetTotalMillSeconds(0);
  player_->Start();
  EXPECT_EQ(values_, std::vector<int>{10});
  EXPECT_EQ(completions_, 1);
  timers_.PulseFor(100);
  EXPECT_EQ(completions_, 1);
  EXPECT_EQ(timers_.manager.pending_count(), 0u);
}

TEST_F(AnimationPlayerTest, ReversingMidwayContinuesFromTheValueReached) {
  MakeFade();
  player_->PlayForward();
  PollAt(100);
  ASSERT_EQ(player_->ReachedValue(), 123);
  values_.clear();

  player_->PlayBackward();
  EXPECT_TRUE(player_->IsReversed());
  ASSERT_FALSE(values_.empty());
  EXPECT_LE(std::abs(values_.front() - 123), 1);
  timers_.PulseFor(1000);
  for (size_t i = 1; i < values_.size(); ++i) EXPECT_LT(values_[i], values_[i - 1]);
  EXPECT_EQ(values_.back(), 0);
  EXPECT_EQ(completions_, 1);
  // Back down in less time than the full fade would take.
  EXPECT_LT(values_.size(), 16u);
}

TEST_F(AnimationPlayerTest, ReversingTwiceStillContinues) {
  MakeFade();
  player_->PlayForward();
  PollAt(60);
  player_->PlayBackward();
  PollAt(90);
  const int reached = player_->ReachedValue();
  values_.clear();
  player_->PlayForward();
  EXPECT_FALSE(player_->IsReversed());
  EXPECT_EQ(player_->GetStartValue(), 0);
  EXPECT_EQ(player_->GetEndValue(), 255);
  ASSERT_FALSE(values_.empty());
  EXPECT_LE(std::abs(values_.front() - reached), 1);
  timers_.PulseFor(1000);
  EXPECT_EQ(values_.back(), 255);
}

TEST_F(AnimationPlayerTest, BackwardAsFirstPlayRunsTheWholeWay) {
  MakeFade();
  player_->PlayBackward();
  EXPECT_EQ(player_->GetStartValue(), 255);
  EXPECT_EQ(player_->GetEndValue(), 0);
  timers_.PulseFor(1000);
  // The mirror of the forward fade: 255 - 3 after the first 16 ms.
  ASSERT_EQ(values_.size(), 16u);
  EXPECT_EQ(values_.front(), 252);
  EXPECT_EQ(values_.back(), 0);
}

TEST_F(AnimationPlayerTest, BackwardAfterAFinishedForwardPlayRunsTheWholeWay) {
  MakeFade();
  player_->PlayForward();
  timers_.PulseFor(1000);
  values_.clear();
  player_->PlayBackward();
  timers_.PulseFor(1000);
  EXPECT_EQ(values_.size(), 16u);
  EXPECT_EQ(values_.back(), 0);
  EXPECT_EQ(completions_, 2);
}

TEST_F(AnimationPlayerTest, StopKeepsTheValueAndEndsTheTimer) {
  MakeFade();
  player_->Start();
  PollAt(100);
  player_->Stop();
  const size_t count = values_.size();
  EXPECT_FALSE(player_->IsPlaying());
  timers_.PulseFor(1000);
  EXPECT_EQ(values_.size(), count);
  EXPECT_EQ(player_->ReachedValue(), 123);
  EXPECT_EQ(completions_, 0);
  EXPECT_EQ(timers_.manager.pending_count(), 0u);
  EXPECT_FALSE(timers_.log.running);
}

TEST_F(AnimationPlayerTest, DestroyedPlayerLeavesNoLiveTimer) {
  MakeFade();
  player_->Start();
  PollAt(50);
  player_.reset();
  const size_t count = values_.size();
  timers_.PulseFor(1000);
  EXPECT_EQ(values_.size(), count);
  EXPECT_EQ(timers_.manager.pending_count(), 0u);
}

TEST_F(AnimationPlayerTest, CallbacksMayDestroyOrRestartThePlayer) {
  MakeFade();
  player_->SetCompleteCallback([this] { player_.reset(); });
  player_->Start();
  timers_.PulseFor(1000);
  EXPECT_EQ(player_, nullptr);
  EXPECT_EQ(timers_.manager.pending_count(), 0u);

  // A completion that starts the next play: exactly one timer keeps running.
  player_ = std::make_unique<AnimationPlayer>(&timers_.manager);
  MakeFade();
  int plays = 0;
  player_->SetCompleteCallback([this, &plays] {
    if (++plays < 3) player_->Start();
  });
  player_->Start();
  timers_.PulseFor(2000);
  EXPECT_EQ(plays, 3);
  EXPECT_EQ(timers_.manager.pending_count(), 0u);
}

TEST_F(AnimationPlayerTest, PlayWithoutValueCallbackStillCompletes) {
  MakeFade();
  player_->SetCallback(nullptr);
  player_->Start();
  timers_.PulseFor(1000);
  EXPECT_EQ(completions_, 1);
  EXPECT_EQ(player_->ReachedValue(), 255);
  EXPECT_EQ(timers_.manager.pending_count(), 0u);
}

TEST_F(AnimationPlayerTest, ResetReturnsToTheStateAtCreation) {
  MakeFade();
  player_->SetSpeedUpFactor(0.5);
  player_->Start();
  PollAt(100);
  player_->Reset();
  EXPECT_FALSE(player_->IsPlaying());
  EXPECT_TRUE(player_->IsFirstPlay());
  EXPECT_EQ(player_->GetTotalMillSeconds(), -1);
  EXPECT_EQ(player_->GetEndValue(), 0);
  EXPECT_EQ(player_->ReachedValue(), 0);
  EXPECT_EQ(player_->GetSpeedUpRatio(), 0);
  EXPECT_EQ(player_->GetSpeedUpFactor(), 0);
  const size_t count = values_.size();
  timers_.PulseFor(500);
  EXPECT_EQ(values_.size(), count);
}

}  // namespace
}  // namespace ui
