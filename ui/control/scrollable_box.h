// ScrollableBox: a box whose children are laid out in a virtual area that may
// be larger than the box, with optional vertical and horizontal ScrollBars.
// Children keep content coordinates; painting and hit-testing shift them by
// the scroll position (GetScrollOffset). A bar gets a range when the content
// outgrows the view; a bar that appears may take room from the content, so
// the layout then runs once more. Vertical line steps (wheel, keys, button 1
// and 2) are animated, and a second step while one runs extends its end.
//
// Children near the visible area (730 pixels either side) keep their decoded
// images; the others drop them as scrolling moves them away.
//
// VScrollableBox, HScrollableBox and TileScrollableBox are scroll boxes with a
// column, row or grid layout.
//
// Ownership: the box owns its bars and its two animation players, like its
// children. UI thread only.
#pragma once

#include <windows.h>

#include <memory>

#include "ui/animation/animation_player.h"
#include "ui/control/box.h"
#include "ui/control/scroll_bar.h"

namespace ui {

class ScrollableBox : public Box {
 public:
  static constexpr int kDefaultScrollUnit = 30;
  // Children this far outside the view keep their images loaded.
  static constexpr int kImageCacheMargin = 730;

  explicit ScrollableBox(Layout* layout = nullptr);
  ~ScrollableBox() override;

  // Positions and ranges as (x, y); a component is 0 without that bar.
  virtual SIZE GetScrollPos() const;
  virtual SIZE GetScrollRange() const;
  // Clamps, moves the bars, tells the children whether they are near the
  // view, repaints and sends "scrollchange".
  virtual void SetScrollPos(SIZE position);
  virtual void SetScrollPosY(int y);
  virtual void SetScrollPosX(int x);
  // |delta| −1 (or above the unit) steps by the scroll unit.
  virtual void LineUp(int delta = -1, bool animate = true);
  virtual void LineDown(int delta = -1, bool animate = true);
  virtual void LineLeft(int delta = -1);
  virtual void LineRight(int delta = -1);
  virtual void PageUp();
  virtual void PageDown();
  virtual void HomeUp();
  virtual void EndDown(bool relayout = true, bool animate = true);
  virtual void PageLeft();
  virtual void PageRight();
  virtual void HomeLeft();
  virtual void EndRight();
  virtual void TouchUp(int distance);
  virtual void TouchDown(int distance);
  // false deletes a bar; true creates a missing one (hidden, range 0, styled
  // with the global class "vscrollbar" or "hscrollbar").
  virtual void EnableScrollBar(bool vertical = true, bool horizontal = false);
  // Its scroll bars are not in the tree of controls; they rescale with it.
  void ReapplyScaledAttributes() override;
  virtual ScrollBar* VerticalScrollBar() const { return vertical_bar_.get(); }
  virtual ScrollBar* HorizontalScrollBar() const { return horizontal_bar_.get(); }
  // Gives the bar its range for the content's |required| height (width) in
  // |rect| and places it; lays out again when the view changed.
  virtual void ProcessVScrollBar(const RECT& rect, int required_height);
  virtual void ProcessHScrollBar(const RECT& rect, int required_width);
  // Arranges the children in |rect| (less the room of non-floating bars with
  // a range) and answers the size they need.
  virtual SIZE RequiredSize(const RECT& rect);

  int GetVerScrollUnit() const { return ver_scroll_unit_; }
  void SetVerScrollUnit(int unit) { ver_scroll_unit_ = unit; }
  int GetHorScrollUnit() const { return hor_scroll_unit_; }
  void SetHorScrollUnit(int unit) { hor_scroll_unit_ = unit; }
  bool IsHoldEnd() const { return hold_end_; }
  void SetHoldEnd(bool hold) { hold_end_ = hold; }
  bool IsScrollBarFloat() const { return scroll_bar_float_; }
  void SetScrollBarFloat(bool floating);
  bool IsDefaultDisplayScrollBar() const { return default_display_scroll_bar_; }
  void SetDefaultDisplayScrollBar(bool display) { default_display_scroll_bar_ = display; }
  const RECT& GetScrollBarPadding() const { return scroll_bar_padding_; }
  void SetScrollBarPadding(const RECT& padding, bool scale = true);
  // The vertical scroll animation, for callers that wait for it to settle.
  const AnimationPlayer& VerticalScrollAnimation() const { return scroll_animation_; }

  // --- Control ---
  void SetAttribute(const std::wstring& name, const std::wstring& value) override;
  void SetBounds(const RECT& rect) override;
  void SetWindow(Window* window, Box* parent, bool init = true) override;
  void SetEnabled(bool enabled) override;
  void SetVisible(bool visible) override;
  void SetInternVisible(bool visible) override;
  void HandleMessage(EventArgs& args) override;
  Control* FindControl(FindControlProc proc, void* data, UINT flags,
                       POINT scroll_offset = POINT{0, 0}) override;
  void PaintChildren(IRenderContext* context, const RECT& dirty) override;
  Control* FindOccluderAmongChildren(const RECT& dirty, const RECT& clip) override;
  POINT GetScrollOffset() const override;
  void LoadImageCache() override;
  void UnloadImageCache() override;
  void ClearImageCache() override;

 protected:
  // The steps of HandleMessage that a rich edit reuses for its own wheel.
  // Answers whether the event was taken.
  bool HandleScrollEvent(const EventArgs& args);

 private:
  // The layout pass proper; |rect| is the box's rectangle.
  void LayoutIn(const RECT& rect);
  void RepeatLayout();
  // ProcessVScrollBar and ProcessHScrollBar along one axis.
  void ProcessBar(bool vertical, const RECT& rect, int required);
  // The animated (or direct) move of the vertical position to |end|.
  void AnimateVerticalTo(int start, int end, bool animate);
  // Loads the images of children near the visible area, unloads the rest.
  void UpdateChildImageCache(int dy);
  void ShowAutoHideBars(bool show);
  // Touch or pen down starts following the finger and takes the capture;
  // the lift ends both, whether or not the box still scrolls.
  void BeginTouchScroll(POINT point);
  void EndTouchScroll();
  int VerticalRange() const;
  int HorizontalRange() const;

  std::unique_ptr<ScrollBar> vertical_bar_;
  std::unique_ptr<ScrollBar> horizontal_bar_;
  int ver_scroll_unit_ = kDefaultScrollUnit;
  int hor_scroll_unit_ = kDefaultScrollUnit;
  bool reentry_ = false;
  bool hold_end_ = false;
  bool scroll_bar_float_ = true;
  bool default_display_scroll_bar_ = true;
  RECT scroll_bar_padding_ = {0, 0, 0, 0};
  POINT last_touch_ = {-1, -1};
  AnimationPlayer scroll_animation_;
  AnimationPlayer render_offset_animation_;
};

class VScrollableBox : public ScrollableBox {
 public:
  VScrollableBox();
};

class HScrollableBox : public ScrollableBox {
 public:
  HScrollableBox();
};

class TileScrollableBox : public ScrollableBox {
 public:
  TileScrollableBox();
};

}  // namespace ui
