#include "ui/control/layout.h"

#include <algorithm>

#include "ui/control/attribute_parsing.h"
#include "ui/control/box.h"
#include "ui/core/global_manager.h"

namespace ui {

Layout::Layout() = default;

Layout::~Layout() = default;

bool Layout::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"padding") {
    SetPadding(ParseRect(value), true);
    return true;
  }
  if (name == L"childmargin") {
    SetChildMargin(ParseInt(value.c_str()), true);
    return true;
  }
  return false;
}

void Layout::SetPadding(const RECT& padding, bool scale) {
  padding_ = padding;
  if (scale) {
    padding_.left = GlobalManager::ScaleLength(padding.left);
    padding_.top = GlobalManager::ScaleLength(padding.top);
    padding_.right = GlobalManager::ScaleLength(padding.right);
    padding_.bottom = GlobalManager::ScaleLength(padding.bottom);
  }
  RelayoutOwner();
}

void Layout::SetChildMargin(int margin, bool scale) {
  child_margin_ = scale ? GlobalManager::ScaleLength(margin) : margin;
  RelayoutOwner();
}

void Layout::RelayoutOwner() {
  if (owner_ != nullptr) owner_->Relayout();
}

int Layout::ClampWidth(const Control* child, int width) {
  width = std::max(width, child->GetMinWidth());
  if (child->GetMaxWidth() >= 0) width = std::min(width, child->GetMaxWidth());
  return width;
}

int Layout::ClampHeight(const Control* child, int height) {
  height = std::max(height, child->GetMinHeight());
  if (child->GetMaxHeight() >= 0) height = std::min(height, child->GetMaxHeight());
  return height;
}

SIZE Layout::PlaceFloatChild(Control* child, const RECT& rect) {
  if (!child->IsVisible()) return SIZE{0, 0};
  const RECT& margin = child->GetMargin();
  const RECT inner = {rect.left + margin.left, rect.top + margin.top, rect.right - margin.right,
                      rect.bottom - margin.bottom};
  const SIZE available = {inner.right - inner.left, inner.bottom - inner.top};
  SIZE size = child->DesiredSize(available);

  // An auto-sized overlay that may stretch ("maxwidth" "stretch") wraps to
  // the space it has instead of running past it.
  if (child->GetFixedWidth() == Control::kAuto && child->GetFixedHeight() == Control::kAuto &&
      child->GetMaxWidth() == Control::kStretch) {
    const int limit = std::max(0, static_cast<int>(available.cx));
    if (size.cx > limit) {
      child->SetFixedWidth(limit, false, false);
      size = child->DesiredSize(available);
      child->SetFixedWidth(Control::kAuto, false, false);
    }
  }

  if (size.cx == Control::kStretch) size.cx = std::max(0, static_cast<int>(available.cx));
  size.cx = ClampWidth(child, size.cx);
  if (size.cy == Control::kStretch) size.cy = std::max(0, static_cast<int>(available.cy));
  size.cy = ClampHeight(child, size.cy);

  int x = inner.left;
  if (child->GetHorAlign() == kHorAlignRight) {
    x = inner.right - size.cx;
  } else if (child->GetHorAlign() == kHorAlignCenter) {
    x = inner.left + (inner.right - size.cx - inner.left) / 2;
  }
  int y = inner.top;
  if (child->GetVerAlign() == kVerAlignBottom) {
    y = inner.bottom - size.cy;
  } else if (child->GetVerAlign() == kVerAlignCenter) {
    y = inner.top + (inner.bottom - size.cy - inner.top) / 2;
  }
  child->SetBounds(RECT{x, y, x + size.cx, y + size.cy});
  return size;
}

SIZE Layout::ArrangeChildren(const std::vector<Control*>& children, const RECT& rect) {
  SIZE used = {0, 0};
  for (Control* child : children) {
    if (!child->IsVisible()) continue;
    const SIZE size = PlaceFloatChild(child, rect);
    used.cx = std::max(used.cx, size.cx);
    used.cy = std::max(used.cy, size.cy);
  }
  return used;
}

SIZE Layout::MeasureChildren(const std::vector<Control*>& children, SIZE available) {
  // Without a visible child the result stays far negative; the parent's
  // layout then raises it to the box's minimum.
  SIZE needed = {-9999, -9999};
  for (Control* child : children) {
    if (!child->IsVisible()) continue;
    SIZE size = child->DesiredSize(available);
    size.cx = ClampWidth(child, size.cx);
    size.cy = ClampHeight(child, size.cy);
    const RECT& margin = child->GetMargin();
    needed.cx = std::max(needed.cx, size.cx + margin.left + margin.right);
    needed.cy = std::max(needed.cy, size.cy + margin.top + margin.bottom);
  }
  needed.cx += padding_.left + padding_.right;
  needed.cy += padding_.top + padding_.bottom;
  return needed;
}

}  // namespace ui
