// ControlAnimations: the animation players of one control, keyed by type and
// switched on by the control's fade attributes ("fadealpha", "fadehot",
// "fadewidth", "fadeheight", "fadeinoutxfromleft", ...). Appear and Disappear
// show and hide the control through them.
//
// Owned by its control and destroyed with it; it owns its players, so their
// pending ticks die with the control. UI thread only.
#pragma once

#include <map>
#include <memory>

#include "base/thread_checker.h"
#include "ui/animation/animation_player.h"
#include "ui/animation/animation_target.h"

namespace ui {

class TimerManager;

enum class AnimationType {
  kAlpha = 1,
  kHeight = 2,
  kWidth = 3,
  kHot = 4,
  kInOutXFromLeft = 5,
  kInOutXFromRight = 6,
  kInOutYFromTop = 7,
  kInOutYFromBottom = 8,
};

class ControlAnimations {
 public:
  // timers == nullptr: the process-wide TimerManager.
  explicit ControlAnimations(AnimationTarget* control, TimerManager* timers = nullptr);
  ~ControlAnimations();
  ControlAnimations(const ControlAnimations&) = delete;
  ControlAnimations& operator=(const ControlAnimations&) = delete;

  // Each setter replaces the player of its type by a freshly configured one
  // (on) or removes it (off).
  void SetFadeAlpha(bool on);
  void SetFadeHot(bool on);
  void SetFadeWidth(bool on);
  void SetFadeHeight(bool on);
  void SetFadeInOutXFromLeft(bool on);
  void SetFadeInOutXFromRight(bool on);
  void SetFadeInOutYFromTop(bool on);
  void SetFadeInOutYFromBottom(bool on);

  // The player of a type, or nullptr when that animation is off.
  AnimationPlayer* GetAnimationPlayer(AnimationType type) const;
  bool Has(AnimationType type) const { return GetAnimationPlayer(type) != nullptr; }

  // Makes the control visible and plays its show animations forward.
  void Appear();
  // Plays the show animations backward and hides the control when the first
  // of them finishes; hides it at once when it has none.
  void Disappear();

 private:
  // A new player of the type with the shared ratios, its value callback
  // bound to the control, installed in place of the old one.
  AnimationPlayer& Replace(AnimationType type);
  void Remove(AnimationType type);
  void SetSize(AnimationType type, bool on);
  void SetSlide(AnimationType type, bool on);

  AnimationTarget* control_;
  TimerManager* timers_;
  std::map<AnimationType, std::unique_ptr<AnimationPlayer>> players_;
  cbase::ThreadChecker thread_checker_;
};

}  // namespace ui
