// TileLayout: children in a grid filled row by row. With an item size the
// column count follows from the width (width / item width); otherwise the
// "columns" attribute fixes it. Columns share the width, the first cells of
// each row taking one pixel of the remainder each; a row is as high as its
// tallest child, and each child is centred in its cell.
//
// Owned by its box; UI thread only.
#pragma once

#include "ui/control/layout.h"

namespace ui {

class TileLayout : public Layout {
 public:
  TileLayout();
  ~TileLayout() override;

  // Adds "itemsize" (w,h, display-scaled) and "columns" (above 0) to the
  // base attributes.
  bool SetAttribute(const std::wstring& name, const std::wstring& value) override;
  SIZE ArrangeChildren(const std::vector<Control*>& children, const RECT& rect) override;
  // Rows of the first child's fixed height for all visible children.
  SIZE MeasureChildren(const std::vector<Control*>& children, SIZE available) override;

  int GetColumns() const { return columns_; }
  // Values below 1 are ignored.
  void SetColumns(int columns);
  SIZE GetItemSize() const { return item_size_; }
  void SetItemSize(SIZE size, bool scale = true);

 private:
  // The column count for |width|: from the item width when one is set (and
  // remembered), else the stored count; never below 1.
  int ColumnsFor(LONG width);

  int columns_ = 1;
  SIZE item_size_ = {0, 0};
};

}  // namespace ui
