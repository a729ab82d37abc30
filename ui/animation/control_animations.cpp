#include "ui/animation/control_animations.h"

#include <functional>
#include <utility>

namespace ui {

namespace {

// Every control animation speeds up for 30 % of its time and slows down for
// the rest.
constexpr double kSpeedUpRatio = 0.3;
constexpr double kSpeedDownRatio = 0.7;
constexpr int kFadeMillSeconds = 250;
constexpr double kSizeSpeedUpFactor = 0.00084;
constexpr double kSlideSpeedUpFactor = 0.006;
// Space offered when asking how large the control wants to be.
constexpr SIZE kUnboundedSpace = {999999, 999999};
// Slide distance of a control that has no size of its own yet.
constexpr int kDefaultSlideDistance = 100;

// The animations that show and hide a control, in the order they are played.
constexpr AnimationType kShowTypes[] = {
    AnimationType::kAlpha,
    AnimationType::kWidth,
    AnimationType::kHeight,
    AnimationType::kInOutXFromLeft,
    AnimationType::kInOutXFromRight,
    AnimationType::kInOutYFromTop,
    AnimationType::kInOutYFromBottom,
};

// What each animation's values drive.
using ApplyValue = void (AnimationTarget::*)(int);
ApplyValue ApplyFor(AnimationType type) {
  switch (type) {
    case AnimationType::kAlpha:
      return &AnimationTarget::ApplyAnimatedAlpha;
    case AnimationType::kHot:
      return &AnimationTarget::ApplyAnimatedHotAlpha;
    case AnimationType::kWidth:
      return &AnimationTarget::ApplyAnimatedWidth;
    case AnimationType::kHeight:
      return &AnimationTarget::ApplyAnimatedHeight;
    case AnimationType::kInOutXFromLeft:
    case AnimationType::kInOutXFromRight:
      return &AnimationTarget::ApplyAnimatedOffsetX;
    case AnimationType::kInOutYFromTop:
    case AnimationType::kInOutYFromBottom:
      break;
  }
  return &AnimationTarget::ApplyAnimatedOffsetY;
}

}  // namespace

ControlAnimations::ControlAnimations(AnimationTarget* control, TimerManager* timers)
    : control_(control), timers_(timers) {}

ControlAnimations::~ControlAnimations() = default;

AnimationPlayer* ControlAnimations::GetAnimationPlayer(AnimationType type) const {
  auto it = players_.find(type);
  return it == players_.end() ? nullptr : it->second.get();
}

AnimationPlayer& ControlAnimations::Replace(AnimationType type) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  auto player = std::make_unique<AnimationPlayer>(timers_);
  player->SetSpeedUpRatio(kSpeedUpRatio);
  player->SetSpeedDownRatio(kSpeedDownRatio);
  AnimationTarget* control = control_;
  const ApplyValue apply = ApplyFor(type);
  player->SetCallback([control, apply](int value) { (control->*apply)(value); });
  // The old player, if any, goes here; its pending ticks go with it.
  std::unique_ptr<AnimationPlayer>& slot = players_[type];
  slot = std::move(player);
  return *slot;
}

void ControlAnimations::Remove(AnimationType type) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  players_.erase(type);
}

void ControlAnimations::SetFadeAlpha(bool on) {
  if (!on) return Remove(AnimationType::kAlpha);
  AnimationPlayer& player = Replace(AnimationType::kAlpha);
  player.SetStartValue(0);
  player.SetEndValue(255);
  player.SetTotalMillSeconds(kFadeMillSeconds);
  control_->ApplyAnimatedAlpha(0);
}

void ControlAnimations::SetFadeHot(bool on) {
  if (!on) return Remove(AnimationType::kHot);
  AnimationPlayer& player = Replace(AnimationType::kHot);
  player.SetStartValue(0);
  player.SetEndValue(255);
  player.SetTotalMillSeconds(kFadeMillSeconds);
}

void ControlAnimations::SetFadeWidth(bool on) { SetSize(AnimationType::kWidth, on); }

void ControlAnimations::SetFadeHeight(bool on) { SetSize(AnimationType::kHeight, on); }

void ControlAnimations::SetSize(AnimationType type, bool on) {
  if (!on) return Remove(type);
  const SIZE desired = control_->EstimateAnimationSize(kUnboundedSpace);
  AnimationPlayer& player = Replace(type);
  player.SetStartValue(0);
  player.SetEndValue(type == AnimationType::kWidth ? desired.cx : desired.cy);
  player.SetSpeedUpFactor(kSizeSpeedUpFactor);
}

void ControlAnimations::SetFadeInOutXFromLeft(bool on) {
  SetSlide(AnimationType::kInOutXFromLeft, on);
}

void ControlAnimations::SetFadeInOutXFromRight(bool on) {
  SetSlide(AnimationType::kInOutXFromRight, on);
}

void ControlAnimations::SetFadeInOutYFromTop(bool on) {
  SetSlide(AnimationType::kInOutYFromTop, on);
}

void ControlAnimations::SetFadeInOutYFromBottom(bool on) {
  SetSlide(AnimationType::kInOutYFromBottom, on);
}

void ControlAnimations::SetSlide(AnimationType type, bool on) {
  if (!on) return Remove(type);
  const SIZE desired = control_->EstimateAnimationSize(kUnboundedSpace);
  const bool horizontal =
      type == AnimationType::kInOutXFromLeft || type == AnimationType::kInOutXFromRight;
  int distance = horizontal ? desired.cx : desired.cy;
  if (distance < 1) distance = kDefaultSlideDistance;
  // A positive offset draws the control left of (above) its place, so the
  // slide from the left (top) starts at +distance.
  const bool from_near_side =
      type == AnimationType::kInOutXFromLeft || type == AnimationType::kInOutYFromTop;
  AnimationPlayer& player = Replace(type);
  player.SetStartValue(from_near_side ? distance : -distance);
  player.SetEndValue(0);
  player.SetSpeedUpFactor(kSlideSpeedUpFactor);
}

void ControlAnimations::Appear() {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  control_->ApplyAnimatedVisible(true);
  for (AnimationType type : kShowTypes) {
    // Looked up afresh: a value callback may have changed the set.
    if (AnimationPlayer* player = GetAnimationPlayer(type)) {
      player->SetCompleteCallback(nullptr);
      player->PlayForward();
    }
  }
}

void ControlAnimations::Disappear() {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  AnimationTarget* control = control_;
  std::function<void()> hide = cbase::MakeWeakCallback(
      control_->AnimationWeakFlag(), [control] { control->ApplyAnimatedVisible(false); });
  bool any = false;
  for (AnimationType type : kShowTypes) {
    if (AnimationPlayer* player = GetAnimationPlayer(type)) {
      any = true;
      player->SetCompleteCallback(hide);
      player->PlayBackward();
    }
  }
  if (!any) control_->ApplyAnimatedVisible(false);
}

}  // namespace ui
