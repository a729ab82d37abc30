// ScrollBar: the framework's own scroll bar, drawn and driven as a control.
// It keeps a range and a position and splits its rectangle into button 1 (up
// or left), button 2 (down or right) and a thumb whose length follows the
// share of the content in view (never below the minimum thumb length).
//
// A press on a part starts a 50 ms repeat timer on the animation timer
// manager: the thumb follows the drag on each tick, and a held button or track
// repeats its step from the sixth tick on (about 300 ms after the press).
// Steps go through the owning ScrollableBox when there is one, else change the
// bar's own position.
//
// Ownership: a bar belongs to its ScrollableBox (which deletes it) or, when
// used alone, to whoever made it. The repeat timer is bound to the bar's own
// weak flag. UI thread only.
#pragma once

#include <windows.h>

#include <cstdint>

#include "ui/control/control.h"

namespace ui {

class ScrollableBox;

class ScrollBar : public Control {
 public:
  static constexpr int kRepeatIntervalMs = 50;
  // Ticks that pass before a held button or track repeats its step.
  static constexpr int kRepeatDelayTicks = 5;
  static constexpr int kDefaultThumbMinLength = 30;
  static constexpr int kDefaultLineSize = 8;
  static constexpr int kDefaultBarSize = 16;

  // The parts drawn with images of their own, one image per state.
  enum ImageSlot { kButton1, kButton2, kThumb, kRail, kBackground, kSlotCount };

  ScrollBar();
  ~ScrollBar() override;

  bool IsHorizontal() const { return horizontal_; }
  // A horizontal bar keeps its fixed height (16 when it had none) and
  // stretches along its axis; a vertical one the same with widths.
  void SetHorizontal(bool horizontal);

  int64_t GetScrollRange() const { return range_; }
  // Negative ranges become 0; a range of 0 hides the bar, a non-zero range
  // shows a bar that does not auto-hide.
  void SetScrollRange(int64_t range);
  int64_t GetScrollPos() const { return position_; }
  // Clamped to 0..range.
  void SetScrollPos(int64_t position);

  int GetLineSize() const { return line_size_; }
  void SetLineSize(int size) { line_size_ = size; }
  int GetThumbMinLength() const { return thumb_min_length_; }
  void SetThumbMinLength(int length) { thumb_min_length_ = length; }
  bool IsShowButton1() const { return show_button1_; }
  void SetShowButton1(bool show);
  bool IsShowButton2() const { return show_button2_; }
  void SetShowButton2(bool show);
  // An auto-hiding bar is shown only while the mouse is over its owner.
  bool IsAutoHideScroll() const { return auto_hide_; }
  void SetAutoHideScroll(bool hide) { auto_hide_ = hide; }

  ScrollableBox* GetOwner() const { return owner_; }
  const ImageAttribute& GetPartImage(ImageSlot slot, ControlStateType state) const {
    return images_[slot][state];
  }
  void SetPartImage(ImageSlot slot, ControlStateType state, const std::wstring& image);
  void SetOwner(ScrollableBox* owner) { owner_ = owner; }

  // The parts, in client coordinates of the owner's content.
  const RECT& GetButton1Rect() const { return button1_rect_; }
  const RECT& GetButton2Rect() const { return button2_rect_; }
  const RECT& GetThumbRect() const { return thumb_rect_; }
  ControlStateType GetButton1State() const { return button1_state_; }
  ControlStateType GetButton2State() const { return button2_state_; }
  ControlStateType GetThumbState() const { return thumb_state_; }
  // Whether the repeat timer runs (a part is held).
  bool IsRepeating() const { return repeat_flag_.HasUsed(); }

  // --- Control ---
  void SetAttribute(const std::wstring& name, const std::wstring& value) override;
  void SetBounds(const RECT& rect) override;
  void SetEnabled(bool enabled) override;
  void HandleMessage(EventArgs& args) override;
  void PaintSelf(IRenderContext* context, const RECT& dirty) override;
  void LoadImageCache() override;
  void UnloadImageCache() override;
  bool AllowsTabStop() const override { return false; }
  bool NeedsButtonUpOnKillFocus() const override { return true; }
  bool HasHotState() const override { return true; }

 private:
  enum Part {
    kPartNone,
    kPartButton1,
    kPartButton2,
    kPartThumb,
    kPartTrackBefore,
    kPartTrackAfter
  };
  // Recomputes the button and thumb rectangles from the rectangle, range and
  // position.
  void ComputeParts();
  Part HitTest(POINT point) const;
  void OnPress(POINT point);
  void OnRelease(POINT point, POINT client_point);
  void OnMove(POINT point);
  void OnRepeatTick();
  // One step of a part: through the owner, or on the bar's own position.
  void StepLine(bool forward);
  void StepPage(bool forward);
  // Moves the owner (or the bar) to |position| along the bar's axis.
  void ScrollTo(int64_t position);
  // The bar's length and track (its length less the shown buttons).
  int Length() const;
  int ThumbLength() const;
  void SetPartStates(ControlStateType button1, ControlStateType button2, ControlStateType thumb);
  void PaintPart(IRenderContext* context, ImageSlot slot, ControlStateType state, const RECT& rect);

  bool horizontal_ = false;
  bool show_button1_ = true;
  bool show_button2_ = true;
  bool auto_hide_ = true;
  int64_t range_ = 100;
  int64_t position_ = 0;
  int line_size_ = kDefaultLineSize;
  int thumb_min_length_ = kDefaultThumbMinLength;
  int64_t drag_start_position_ = 0;
  int64_t drag_offset_ = 0;
  POINT drag_start_point_ = {0, 0};
  POINT last_point_ = {0, 0};
  int ticks_ = 0;
  Part pressed_part_ = kPartNone;
  ScrollableBox* owner_ = nullptr;
  RECT button1_rect_ = {0, 0, 0, 0};
  RECT button2_rect_ = {0, 0, 0, 0};
  RECT thumb_rect_ = {0, 0, 0, 0};
  ControlStateType button1_state_ = kControlStateNormal;
  ControlStateType button2_state_ = kControlStateNormal;
  ControlStateType thumb_state_ = kControlStateNormal;
  ImageAttribute images_[kSlotCount][4];
  cbase::WeakCallbackFlag repeat_flag_;
};

}  // namespace ui
