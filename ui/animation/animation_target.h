// AnimationTarget: what a control lets its animations change. Control
// implements it; ControlAnimations sees the control only through it, so the
// animations can be built and tested apart from the control tree.
//
// Every setter stores the value and invalidates the control (the size setters
// also ask for a layout pass). Called on the UI thread only.
#pragma once

#include <windows.h>

#include <memory>

#include "base/weak_callback.h"

namespace ui {

class AnimationTarget {
 public:
  // Desired size of the control for the given available space.
  virtual SIZE EstimateAnimationSize(SIZE available) = 0;

  // Whole-control opacity, 0 to 255.
  virtual void ApplyAnimatedAlpha(int alpha) = 0;
  // Blend level of the hot look over the normal one, 0 to 255.
  virtual void ApplyAnimatedHotAlpha(int hot_alpha) = 0;
  // One component of the render offset; a positive value draws the control
  // shifted left (x) or up (y). The other component is kept.
  virtual void ApplyAnimatedOffsetX(int x) = 0;
  virtual void ApplyAnimatedOffsetY(int y) = 0;
  // Fixed width or height in device pixels (no display scaling).
  virtual void ApplyAnimatedWidth(int width) = 0;
  virtual void ApplyAnimatedHeight(int height) = 0;
  // Plain visibility, without any fading of its own.
  virtual void ApplyAnimatedVisible(bool visible) = 0;

  // The control's weak flag: callbacks bound to it do nothing once the
  // control is gone.
  virtual std::weak_ptr<cbase::WeakFlag> AnimationWeakFlag() = 0;

 protected:
  ~AnimationTarget() = default;
};

}  // namespace ui
