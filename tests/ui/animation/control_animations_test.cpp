#include "ui/animation/control_animations.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

#include "base/weak_callback.h"
#include "tests/ui/animation/fake_timing.h"

namespace ui {
namespace {

using testing::FakeTimers;

// Records what the animations do to a control.
class RecordingTarget : public AnimationTarget, public cbase::SupportWeakCallback {
 public:
  SIZE EstimateAnimationSize(SIZE available) override {
    asked = available;
    return desired;
  }
  void ApplyAnimatedAlpha(int value) override { alphas.push_back(value); }
  void ApplyAnimatedHotAlpha(int value) override { hot_alphas.push_back(value); }
  void ApplyAnimatedOffsetX(int x) override { offsets_x.push_back(x); }
  void ApplyAnimatedOffsetY(int y) override { offsets_y.push_back(y); }
  void ApplyAnimatedWidth(int width) override { widths.push_back(width); }
  void ApplyAnimatedHeight(int height) override { heights.push_back(height); }
  void ApplyAnimatedVisible(bool on) override { visible.push_back(on); }
  std::weak_ptr<cbase::WeakFlag> AnimationWeakFlag() override { return GetWeakFlag(); }

  SIZE desired = {0, 0};
  SIZE asked = {0, 0};
  std::vector<int> alphas, hot_alphas, offsets_x, offsets_y, widths, heights;
  std::vector<bool> visible;
};

class ControlAnimationsTest : public ::testing::Test {
 protected:
  FakeTimers timers_;
  RecordingTarget control_;
  ControlAnimations animations_{&control_, &timers_.manager};
};

TEST_F(ControlAnimationsTest, PlayersAreConfiguredPerType) {
  control_.desired = {200, 40};
  animations_.SetFadeAlpha(true);
  animations_.SetFadeHot(true);
  animations_.SetFadeWidth(true);
  animations_.SetFadeHeight(true);
  animations_.SetFadeInOutXFromLeft(true);
  animations_.SetFadeInOutXFromRight(true);
  animations_.SetFadeInOutYFromTop(true);
  animations_.SetFadeInOutYFromBottom(true);
  EXPECT_EQ(control_.asked.cx, 999999);
  EXPECT_EQ(control_.asked.cy, 999999);
  // Turning the alpha fade on makes the control transparent at once.
  EXPECT_EQ(control_.alphas, std::vector<int>{0});

  const struct {
    AnimationType type;
    int start, end, total;
    double factor;
  } expected[] = {
      {AnimationType::kAlpha, 0, 255, 250, 0},
      {AnimationType::kHot, 0, 255, 250, 0},
      {AnimationType::kWidth, 0, 200, -1, 0.00084},
      {AnimationType::kHeight, 0, 40, -1, 0.00084},
      {AnimationType::kInOutXFromLeft, 200, 0, -1, 0.006},
      {AnimationType::kInOutXFromRight, -200, 0, -1, 0.006},
      {AnimationType::kInOutYFromTop, 40, 0, -1, 0.006},
      {AnimationType::kInOutYFromBottom, -40, 0, -1, 0.006},
  };
  for (const auto& e : expected) {
    SCOPED_TRACE(static_cast<int>(e.type));
    AnimationPlayer* player = animations_.GetAnimationPlayer(e.type);
    ASSERT_NE(player, nullptr);
    EXPECT_EQ(player->GetStartValue(), e.start);
    EXPECT_EQ(player->GetEndValue(), e.end);
    EXPECT_EQ(player->GetTotalMillSeconds(), e.total);
    EXPECT_EQ(player->GetSpeedUpFactor(), e.factor);
    EXPECT_EQ(player->GetSpeedUpRatio(), 0.3);
    EXPECT_EQ(player->GetSpeedDownRatio(), 0.7);
  }
}

TEST_F(ControlAnimationsTest, SlidesOfAControlWithoutSizeCover100Pixels) {
  animations_.SetFadeInOutXFromLeft(true);
  animations_.SetFadeInOutYFromBottom(true);
  EXPECT_EQ(animations_.GetAnimationPlayer(AnimationType::kInOutXFromLeft)->GetStartValue(), 100);
  EXPECT_EQ(animations_.GetAnimationPlayer(AnimationType::kInOutYFromBottom)->GetStartValue(),
            -100);
}

TEST_F(ControlAnimationsTest, OffRemovesThePlayerAndItsPendingTicks) {
  animations_.SetFadeAlpha(true);
  animations_.Appear();
  timers_.PulseFor(50);
  animations_.SetFadeAlpha(false);
  EXPECT_FALSE(animations_.Has(AnimationType::kAlpha));
  const size_t count = control_.alphas.size();
  timers_.PulseFor(500);
  EXPECT_EQ(control_.alphas.size(), count);
  EXPECT_EQ(timers_.manager.pending_count(), 0u);
}

TEST_F(ControlAnimationsTest, AppearShowsThenFadesIn) {
  animations_.SetFadeAlpha(true);
  animations_.Appear();
  EXPECT_EQ(control_.visible, std::vector<bool>{true});
  timers_.PulseFor(1000);
  EXPECT_EQ(control_.alphas.back(), 255);
  EXPECT_EQ(control_.visible, std::vector<bool>{true});
}

TEST_F(ControlAnimationsTest, DisappearWithoutAnimationsHidesAtOnce) {
  animations_.SetFadeHot(true);  // not a show animation
  animations_.Disappear();
  EXPECT_EQ(control_.visible, std::vector<bool>{false});
}

TEST_F(ControlAnimationsTest, HidingWhileFadingInContinuesFromTheCurrentAlpha) {
  animations_.SetFadeAlpha(true);
  animations_.Appear();
  for (int i = 0; i < 6; ++i) timers_.Pulse();  // 96 ms
  const int reached = control_.alphas.back();
  ASSERT_GT(reached, 80);
  ASSERT_LT(reached, 200);
  const size_t before = control_.alphas.size();

  animations_.Disappear();
  ASSERT_GT(control_.alphas.size(), before);
  EXPECT_LE(std::abs(control_.alphas[before] - reached), 1);
  EXPECT_EQ(control_.visible, std::vector<bool>{true});
  timers_.PulseFor(1000);
  for (size_t i = before + 1; i < control_.alphas.size(); ++i) {
    EXPECT_LT(control_.alphas[i], control_.alphas[i - 1]);
  }
  EXPECT_EQ(control_.alphas.back(), 0);
  // Hidden once, when the alpha reached 0.
  EXPECT_EQ(control_.visible, (std::vector<bool>{true, false}));
}

TEST_F(ControlAnimationsTest, AppearDuringDisappearKeepsTheControlShown) {
  animations_.SetFadeAlpha(true);
  animations_.Appear();
  timers_.PulseFor(1000);
  animations_.Disappear();
  timers_.PulseFor(64);
  animations_.Appear();
  timers_.PulseFor(1000);
  EXPECT_EQ(control_.alphas.back(), 255);
  EXPECT_EQ(control_.visible, (std::vector<bool>{true, true}));
}

TEST_F(ControlAnimationsTest, FirstFinishedPlayerHidesTheControl) {
  control_.desired = {0, 30};
  animations_.SetFadeAlpha(true);
  animations_.SetFadeInOutYFromTop(true);
  animations_.Appear();
  timers_.PulseFor(1000);
  EXPECT_EQ(control_.offsets_y.back(), 0);
  animations_.Disappear();
  // The slide (30 px in 129 ms) ends before the 250 ms fade.
  timers_.PulseFor(200);
  EXPECT_EQ(control_.visible, (std::vector<bool>{true, false}));
  EXPECT_EQ(control_.offsets_y.back(), 30);
  EXPECT_GT(control_.alphas.back(), 0);
}

TEST_F(ControlAnimationsTest, SizeAnimationsGrowToTheDesiredSize) {
  control_.desired = {120, 0};
  animations_.SetFadeWidth(true);
  animations_.SetFadeHeight(true);  // desired height 0: nothing to animate
  animations_.Appear();
  timers_.PulseFor(2000);
  EXPECT_EQ(control_.widths.back(), 120);
  EXPECT_TRUE(control_.heights.empty());
  animations_.Disappear();
  // The height player finishes at once and hides the control.
  EXPECT_EQ(control_.visible, (std::vector<bool>{true, false}));
}

TEST_F(ControlAnimationsTest, HotFadeFollowsTheMouse) {
  animations_.SetFadeHot(true);
  AnimationPlayer* hot = animations_.GetAnimationPlayer(AnimationType::kHot);
  hot->PlayForward();
  timers_.PulseFor(1000);
  EXPECT_EQ(control_.hot_alphas.back(), 255);
  hot->PlayBackward();
  timers_.PulseFor(1000);
  EXPECT_EQ(control_.hot_alphas.back(), 0);
  EXPECT_TRUE(control_.visible.empty());
}

}  // namespace
}  // namespace ui
