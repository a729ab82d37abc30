#include "ui/control/place_holder.h"

#include "ui/control/box.h"
#include "ui/core/global_manager.h"
#include "ui/core/window.h"

namespace ui {

namespace {

// A length of the skin after display scaling; the special values stay.
int ScaleLength(int length, bool scale) {
  return scale && length > 0 ? GlobalManager::ScaleLength(length) : length;
}

}  // namespace

PlaceHolder::PlaceHolder() = default;

PlaceHolder::~PlaceHolder() = default;

void PlaceHolder::SetFixedWidth(int width, bool relayout, bool scale) {
  if (width < 0 && width != kStretch && width != kAuto) return;
  if (scale) written_width_ = width;
  width = ScaleLength(width, scale);
  if (fixed_width_ == width) return;
  fixed_width_ = width;
  if (relayout) {
    RelayoutUpward();
  } else {
    reestimate_ = true;
  }
}

void PlaceHolder::SetFixedHeight(int height, bool relayout, bool scale) {
  if (height < 0 && height != kStretch && height != kAuto) return;
  if (scale) written_height_ = height;
  height = ScaleLength(height, scale);
  if (fixed_height_ == height) return;
  fixed_height_ = height;
  if (relayout) {
    RelayoutUpward();
  } else {
    reestimate_ = true;
  }
}

void PlaceHolder::RescaleSize() {
  SetFixedWidth(written_width_, true, true);
  SetFixedHeight(written_height_, true, true);
}

void PlaceHolder::SetMinWidth(int width, bool scale) {
  if (width < 0) return;
  width = ScaleLength(width, scale);
  if (min_width_ == width) return;
  min_width_ = width;
  Relayout();
}

void PlaceHolder::SetMinHeight(int height, bool scale) {
  if (height < 0) return;
  height = ScaleLength(height, scale);
  if (min_height_ == height) return;
  min_height_ = height;
  Relayout();
}

void PlaceHolder::SetMaxWidth(int width, bool scale) {
  width = ScaleLength(width, scale);
  if (max_width_ == width) return;
  max_width_ = width;
  Relayout();
}

void PlaceHolder::SetMaxHeight(int height, bool scale) {
  height = ScaleLength(height, scale);
  if (max_height_ == height) return;
  max_height_ = height;
  Relayout();
}

void PlaceHolder::SetHorAlign(HorAlignType align) {
  if (hor_align_ == align) return;
  hor_align_ = align;
  RelayoutUpward();
}

void PlaceHolder::SetVerAlign(VerAlignType align) {
  if (ver_align_ == align) return;
  ver_align_ = align;
  RelayoutUpward();
}

void PlaceHolder::SetMargin(const RECT& margin, bool scale) {
  RECT scaled = margin;
  if (scale) {
    scaled.left = ScaleLength(margin.left, true);
    scaled.top = ScaleLength(margin.top, true);
    scaled.right = ScaleLength(margin.right, true);
    scaled.bottom = ScaleLength(margin.bottom, true);
  }
  if (EqualRect(&scaled, &margin_)) return;
  margin_ = scaled;
  RelayoutUpward();
}

void PlaceHolder::SetFloat(bool is_float) {
  if (float_ == is_float) return;
  float_ = is_float;
  RelayoutUpward();
}

void PlaceHolder::SetVisible(bool visible) {
  if (visible_ == visible) return;
  const bool was_visible = IsVisible();
  visible_ = visible;
  if (IsVisible() != was_visible) RelayoutUpward();
}

void PlaceHolder::SetInternVisible(bool visible) { internal_visible_ = visible; }

void PlaceHolder::SetBounds(const RECT& rect) {
  rect_ = rect;
  if (rect_.right < rect_.left) rect_.right = rect_.left;
  if (rect_.bottom < rect_.top) rect_.bottom = rect_.top;
  needs_layout_ = false;
}

SIZE PlaceHolder::DesiredSize(SIZE /*available*/) { return SIZE{fixed_width_, fixed_height_}; }

void PlaceHolder::Relayout() {
  if (float_) {
    RelayoutSelf();
  } else {
    RelayoutUpward();
  }
}

void PlaceHolder::RelayoutUpward() {
  reestimate_ = true;
  // Every ancestor that sizes to its content may change size with this
  // control; the first one that does not is the one to lay out again.
  PlaceHolder* ancestor = parent_;
  while (ancestor != nullptr &&
         (ancestor->fixed_width_ == kAuto || ancestor->fixed_height_ == kAuto)) {
    ancestor->reestimate_ = true;
    if (ancestor->parent_ == nullptr) break;
    ancestor = ancestor->parent_;
  }
  if (ancestor != nullptr) {
    ancestor->RelayoutSelf();
  } else {
    RelayoutSelf();
  }
}

void PlaceHolder::RelayoutSelf() {
  reestimate_ = true;
  needs_layout_ = true;
  if (window_ != nullptr) {
    // The repaint of this area is what runs the layout pass.
    Invalidate();
    window_->RequestLayout();
  }
}

void PlaceHolder::Invalidate() {
  if (window_ != nullptr && IsVisible()) window_->Invalidate(rect_);
}

}  // namespace ui
