// HLayout and VLayout: children in a row (left to right) or a column (top to
// bottom), separated by the child margin. Children whose desired size along
// the flow is stretch share the space the others leave, the first ones taking
// one pixel more each until the division's remainder is used up; floating
// children are placed over the whole area and take no room in the flow.
//
// Owned by their box; UI thread only.
#pragma once

#include "ui/control/layout.h"

namespace ui {

class HLayout : public Layout {
 public:
  SIZE ArrangeChildren(const std::vector<Control*>& children, const RECT& rect) override;
  SIZE MeasureChildren(const std::vector<Control*>& children, SIZE available) override;
};

class VLayout : public Layout {
 public:
  SIZE ArrangeChildren(const std::vector<Control*>& children, const RECT& rect) override;
  SIZE MeasureChildren(const std::vector<Control*>& children, SIZE available) override;
};

}  // namespace ui
