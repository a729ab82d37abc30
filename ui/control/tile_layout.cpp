#include "ui/control/tile_layout.h"

#include <algorithm>

#include "ui/control/attribute_parsing.h"
#include "ui/control/box.h"
#include "ui/core/global_manager.h"

namespace ui {

namespace {

// Height offered to a cell's child when the row height is measured.
constexpr LONG kRowMeasureHeight = 9999;

bool InFlow(const Control* child) { return child->IsVisible() && !child->IsFloat(); }

}  // namespace

TileLayout::TileLayout() = default;

TileLayout::~TileLayout() = default;

bool TileLayout::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"itemsize") {
    SetItemSize(ParseSize(value), true);
    return true;
  }
  if (name == L"columns") {
    SetColumns(ParseInt(value.c_str()));
    return true;
  }
  return Layout::SetAttribute(name, value);
}

void TileLayout::SetColumns(int columns) {
  if (columns <= 0) return;
  columns_ = columns;
  RelayoutOwner();
}

void TileLayout::SetItemSize(SIZE size, bool scale) {
  if (scale) {
    size.cx = GlobalManager::ScaleLength(size.cx);
    size.cy = GlobalManager::ScaleLength(size.cy);
  }
  if (size.cx == item_size_.cx && size.cy == item_size_.cy) return;
  item_size_ = size;
  RelayoutOwner();
}

int TileLayout::ColumnsFor(LONG width) {
  if (item_size_.cx >= 1) columns_ = static_cast<int>(width / item_size_.cx);
  // A width below one item still gets one column (a negative width, from an
  // unsized owner, too).
  if (columns_ < 1) columns_ = 1;
  return columns_;
}

SIZE TileLayout::ArrangeChildren(const std::vector<Control*>& children, const RECT& rect) {
  const LONG width = rect.right - rect.left;
  const int columns = ColumnsFor(width);
  const LONG cell_width = width / columns;
  const LONG extra = width % columns;
  const int half_margin = GetChildMargin() / 2;

  int cell = 0;
  LONG x = rect.left;
  LONG y = rect.top;
  LONG row_height = 0;
  LONG extra_left = extra;
  LONG used_height = 0;
  for (size_t i = 0; i < children.size(); ++i) {
    Control* child = children[i];
    if (!child->IsVisible()) continue;
    if (child->IsFloat()) {
      PlaceFloatChild(child, rect);
      continue;
    }
    LONG cell_right = x + cell_width;
    if (extra_left > 0) {
      ++cell_right;
      --extra_left;
    }

    if (cell % columns == 0) {
      // A new row: as high as its tallest child, each measured with the width
      // of the row's first cell.
      int column = 0;
      for (size_t j = i; j < children.size() && column < columns; ++j) {
        Control* member = children[j];
        if (!InFlow(member)) continue;
        const RECT& margin = member->GetMargin();
        LONG available = cell_right - x - margin.left - margin.right;
        const bool edge = column == 0 || column == columns - 1;
        available -= edge ? half_margin : GetChildMargin();
        available = ClampWidth(member, available);
        SIZE size = member->DesiredSize(SIZE{available, kRowMeasureHeight});
        size.cx = ClampWidth(member, size.cx);
        size.cy = ClampHeight(member, size.cy);
        row_height = std::max(row_height, size.cy + margin.top + margin.bottom);
        ++column;
      }
    }

    const RECT& margin = child->GetMargin();
    const LONG left = x + half_margin + margin.left;
    const LONG right = cell_right - half_margin - margin.right;
    const LONG top = y + margin.top;
    SIZE size = child->DesiredSize(SIZE{right - left, row_height - margin.top});
    if (size.cx == Control::kStretch) size.cx = right - left;
    if (size.cy == Control::kStretch) size.cy = row_height - margin.top;
    size.cx = ClampWidth(child, size.cx);
    size.cy = ClampHeight(child, size.cy);
    const LONG cx = (left + right - size.cx) / 2;
    const LONG cy = (top + y + row_height - size.cy) / 2;
    child->SetBounds(RECT{cx, cy, cx + size.cx, cy + size.cy});
    used_height = y + row_height - rect.top;

    ++cell;
    if (cell % columns != 0) {
      x = cell_right;
    } else {
      x = rect.left;
      y += GetChildMargin() + row_height;
      row_height = 0;
      extra_left = extra;
    }
  }
  return SIZE{width, used_height};
}

SIZE TileLayout::MeasureChildren(const std::vector<Control*>& children, SIZE available) {
  Box* owner = GetOwner();
  SIZE needed = {0, 0};
  if (owner != nullptr) needed.cx = owner->MeasureOwnContent(available).cx;
  const int columns = ColumnsFor(owner != nullptr ? owner->GetFixedWidth() : 0);
  int count = 0;
  for (Control* child : children) {
    if (child->IsVisible()) ++count;
  }
  if (count > 0) {
    const int rows = (count + columns - 1) / columns;
    const RECT padding = GetPadding();
    needed.cy = (rows - 1) * GetChildMargin() + rows * children.front()->GetFixedHeight() +
                padding.top + padding.bottom;
  }
  return needed;
}

}  // namespace ui
