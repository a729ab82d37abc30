// PlaceHolder: the geometry base of every control. It holds what layouts read
// (fixed, minimum and maximum sizes, alignment, margin, the float flag,
// visibility) and what they write (the position rectangle), and it carries the
// two flags that keep layout lazy: the re-estimate flag (the desired size may
// have changed, so cached estimates are stale) and the own-layout flag (this
// control must be positioned again at the next layout pass of its window).
//
// Sizes are device pixels with two special values: kStretch (-1, take what
// the layout offers) and kAuto (-2, size to content). Values given with
// display scaling are scaled by the GlobalManager's display scale; the width
// and height are also kept as written so they can be scaled again later.
//
// A PlaceHolder belongs to its parent box (or to its window, for the root)
// and to the UI thread.
#pragma once

#include <windows.h>

#include <string>

#include "base/weak_callback.h"

namespace ui {

class Box;
class Control;
class Window;

enum HorAlignType { kHorAlignLeft = 0, kHorAlignCenter = 1, kHorAlignRight = 2 };
enum VerAlignType { kVerAlignTop = 0, kVerAlignCenter = 1, kVerAlignBottom = 2 };

class PlaceHolder : public cbase::SupportWeakCallback {
 public:
  static constexpr int kStretch = -1;
  static constexpr int kAuto = -2;
  static constexpr int kDefaultMaxSize = 9999999;

  PlaceHolder();
  ~PlaceHolder() override;
  PlaceHolder(const PlaceHolder&) = delete;
  PlaceHolder& operator=(const PlaceHolder&) = delete;

  const std::wstring& GetName() const { return name_; }
  void SetName(const std::wstring& name) { name_ = name; }

  Window* GetWindow() const { return window_; }
  Box* GetParent() const { return parent_; }

  // --- Size rules ---
  int GetFixedWidth() const { return fixed_width_; }
  int GetFixedHeight() const { return fixed_height_; }
  // kStretch, kAuto or a length (scaled when |scale|). Other negative values
  // are ignored. A change marks the estimate stale and, with |relayout|, asks
  // the ancestors to lay out again.
  void SetFixedWidth(int width, bool relayout = true, bool scale = true);
  void SetFixedHeight(int height, bool relayout = true, bool scale = true);
  // Scales the width and height as written again (after a display scale
  // change).
  void RescaleSize();

  int GetMinWidth() const { return min_width_; }
  int GetMinHeight() const { return min_height_; }
  // Negative values are ignored. A change re-lays out the control itself when
  // it floats, else its ancestors.
  void SetMinWidth(int width, bool scale = true);
  void SetMinHeight(int height, bool scale = true);
  int GetMaxWidth() const { return max_width_; }
  int GetMaxHeight() const { return max_height_; }
  // A length, kStretch or kAuto; a negative maximum means no upper limit.
  void SetMaxWidth(int width, bool scale = true);
  void SetMaxHeight(int height, bool scale = true);

  HorAlignType GetHorAlign() const { return hor_align_; }
  void SetHorAlign(HorAlignType align);
  VerAlignType GetVerAlign() const { return ver_align_; }
  void SetVerAlign(VerAlignType align);

  const RECT& GetMargin() const { return margin_; }
  void SetMargin(const RECT& margin, bool scale = true);

  bool IsFloat() const { return float_; }
  void SetFloat(bool is_float);

  // --- Visibility ---
  // Visible only when both the control's own flag and the flag inherited from
  // its ancestors are on.
  bool IsVisible() const { return visible_ && internal_visible_; }
  bool IsVisibleAsSet() const { return visible_; }
  // Plain (unanimated) visibility. When the visibility seen from outside
  // changes, the ancestors lay out again.
  virtual void SetVisible(bool visible);
  // The visibility inherited from the ancestors; set by the parent box.
  virtual void SetInternVisible(bool visible);

  // --- Position ---
  const RECT& GetRect() const { return rect_; }
  int GetWidth() const { return rect_.right - rect_.left; }
  int GetHeight() const { return rect_.bottom - rect_.top; }
  // Places the control; a right (bottom) edge before the left (top) one
  // becomes an empty width (height). Clears the own-layout flag.
  virtual void SetBounds(const RECT& rect);
  // The size the control wants for |available| space; kStretch in a
  // dimension means "whatever the layout offers".
  virtual SIZE DesiredSize(SIZE available);

  // --- Layout requests ---
  // A floating control lays itself out again; any other asks its ancestors.
  void Relayout();
  // Marks this control and every auto-sized ancestor stale and has the
  // nearest ancestor that does not size to its content lay out again (the
  // root when all of them do).
  void RelayoutUpward();
  // Asks the window to position this control again at its next layout pass.
  void RelayoutSelf();

  bool NeedsReEstimate() const { return reestimate_; }
  void SetReEstimate(bool reestimate) { reestimate_ = reestimate; }
  bool NeedsLayout() const { return needs_layout_; }

  // Repaints the control's rectangle through its window.
  virtual void Invalidate();

 protected:
  // Attach state is changed only through Control::SetWindow.
  void SetAttachment(Window* window, Box* parent) {
    window_ = window;
    parent_ = parent;
  }

 private:
  std::wstring name_;
  Window* window_ = nullptr;
  Box* parent_ = nullptr;
  int fixed_width_ = kStretch;
  int fixed_height_ = kStretch;
  int written_width_ = kStretch;
  int written_height_ = kStretch;
  int min_width_ = -1;
  int min_height_ = -1;
  int max_width_ = kDefaultMaxSize;
  int max_height_ = kDefaultMaxSize;
  HorAlignType hor_align_ = kHorAlignLeft;
  VerAlignType ver_align_ = kVerAlignTop;
  RECT margin_ = {0, 0, 0, 0};
  bool float_ = false;
  bool visible_ = true;
  bool internal_visible_ = true;
  bool reestimate_ = true;
  bool needs_layout_ = false;
  RECT rect_ = {0, 0, 0, 0};
};

}  // namespace ui
