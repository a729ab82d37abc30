#include "ui/control/linear_layout.h"

#include <algorithm>

#include "ui/control/control.h"

namespace ui {

namespace {

// One flow algorithm serves both layouts: "main" is the direction of the flow
// (x for a row), "cross" the other one.
struct Axis {
  bool horizontal;

  LONG Main(const SIZE& s) const { return horizontal ? s.cx : s.cy; }
  LONG Cross(const SIZE& s) const { return horizontal ? s.cy : s.cx; }
  SIZE Make(LONG main, LONG cross) const {
    return horizontal ? SIZE{main, cross} : SIZE{cross, main};
  }
  RECT MakeRect(LONG main0, LONG cross0, LONG main1, LONG cross1) const {
    return horizontal ? RECT{main0, cross0, main1, cross1} : RECT{cross0, main0, cross1, main1};
  }
  LONG Lead(const RECT& r) const { return horizontal ? r.left : r.top; }
  LONG Trail(const RECT& r) const { return horizontal ? r.right : r.bottom; }
  LONG CrossLead(const RECT& r) const { return horizontal ? r.top : r.left; }
  LONG CrossTrail(const RECT& r) const { return horizontal ? r.bottom : r.right; }
  int ClampMain(const Control* c, int v) const {
    return horizontal ? Layout::ClampWidth(c, v) : Layout::ClampHeight(c, v);
  }
  int ClampCross(const Control* c, int v) const {
    return horizontal ? Layout::ClampHeight(c, v) : Layout::ClampWidth(c, v);
  }
  // 0 at the leading edge, 1 centred, 2 at the trailing edge.
  int CrossAlign(const Control* c) const {
    return horizontal ? static_cast<int>(c->GetVerAlign()) : static_cast<int>(c->GetHorAlign());
  }
};

bool InFlow(const Control* child) { return child->IsVisible() && !child->IsFloat(); }

SIZE Arrange(const Axis& axis, const std::vector<Control*>& children, const RECT& rect,
             int child_margin) {
  const SIZE whole = {rect.right - rect.left, rect.bottom - rect.top};
  const LONG main_extent = axis.Main(whole);
  const LONG cross_extent = axis.Cross(whole);
  const LONG main_start = axis.Lead(rect);
  const LONG cross_start = axis.CrossLead(rect);
  const LONG cross_end = axis.CrossTrail(rect);

  // First pass: what the fixed children take, and how many share the rest.
  int count = 0;
  int adjustables = 0;
  LONG fixed = 0;
  for (Control* child : children) {
    if (!InFlow(child)) continue;
    ++count;
    const SIZE size = child->DesiredSize(whole);
    const RECT& margin = child->GetMargin();
    fixed += axis.Lead(margin) + axis.Trail(margin);
    if (axis.Main(size) == Control::kStretch) {
      ++adjustables;
    } else {
      fixed += axis.ClampMain(child, axis.Main(size));
    }
  }
  fixed += child_margin * (count - 1);
  const LONG share = adjustables > 0 ? std::max(0L, (main_extent - fixed) / adjustables) : 0;
  LONG remainder = main_extent - share * adjustables - fixed;

  // Second pass: place the children in order.
  LONG position = main_start;
  LONG available = main_extent;
  LONG used_main = 0;
  LONG used_cross = 0;
  for (Control* child : children) {
    if (!child->IsVisible()) continue;
    if (child->IsFloat()) {
      Layout::PlaceFloatChild(child, rect);
      continue;
    }
    const RECT& margin = child->GetMargin();
    available -= axis.Lead(margin);
    const SIZE size = child->DesiredSize(axis.Make(available, cross_extent));
    LONG main = axis.Main(size);
    if (main == Control::kStretch) {
      main = share;
      if (remainder > 0) {
        ++main;
        --remainder;
      }
    }
    main = axis.ClampMain(child, main);
    LONG cross = axis.Cross(size);
    if (cross == Control::kStretch)
      cross = cross_extent - axis.CrossTrail(margin) - axis.CrossLead(margin);
    cross = axis.ClampCross(child, std::max(0L, cross));

    LONG cross_pos = cross_start + axis.CrossLead(margin);
    if (axis.CrossAlign(child) == 2) {
      cross_pos = cross_end - axis.CrossTrail(margin) - cross;
    } else if (axis.CrossAlign(child) == 1) {
      cross_pos =
          cross_start +
          (axis.CrossLead(margin) + cross_end - axis.CrossTrail(margin) - cross - cross_start) / 2;
    }
    const LONG lead = position + axis.Lead(margin);
    child->SetBounds(axis.MakeRect(lead, cross_pos, lead + main, cross_pos + cross));

    position += axis.Lead(margin) + main + axis.Trail(margin) + child_margin;
    available -= main + axis.Trail(margin) + child_margin;
    used_main += axis.Lead(margin) + main + axis.Trail(margin);
    used_cross = std::max(used_cross, cross);
  }
  return axis.Make(used_main + child_margin * (count - 1), used_cross);
}

SIZE Measure(const Axis& axis, const std::vector<Control*>& children, SIZE available,
             int child_margin, const RECT& padding) {
  LONG main = 0;
  LONG cross = 0;
  int count = 0;
  for (Control* child : children) {
    if (!InFlow(child)) continue;
    ++count;
    SIZE size = child->DesiredSize(available);
    size.cx = Layout::ClampWidth(child, size.cx);
    size.cy = Layout::ClampHeight(child, size.cy);
    const RECT& margin = child->GetMargin();
    main += axis.Lead(margin) + axis.Main(size) + axis.Trail(margin);
    cross = std::max(cross, axis.CrossLead(margin) + axis.Cross(size) + axis.CrossTrail(margin));
  }
  if (count >= 2) main += (count - 1) * child_margin;
  SIZE needed = axis.Make(main, cross);
  needed.cx += padding.left + padding.right;
  needed.cy += padding.top + padding.bottom;
  return needed;
}

}  // namespace

SIZE HLayout::ArrangeChildren(const std::vector<Control*>& children, const RECT& rect) {
  return Arrange(Axis{true}, children, rect, GetChildMargin());
}

SIZE HLayout::MeasureChildren(const std::vector<Control*>& children, SIZE available) {
  return Measure(Axis{true}, children, available, GetChildMargin(), GetPadding());
}

SIZE VLayout::ArrangeChildren(const std::vector<Control*>& children, const RECT& rect) {
  return Arrange(Axis{false}, children, rect, GetChildMargin());
}

SIZE VLayout::MeasureChildren(const std::vector<Control*>& children, SIZE available) {
  return Measure(Axis{false}, children, available, GetChildMargin(), GetPadding());
}

}  // namespace ui
