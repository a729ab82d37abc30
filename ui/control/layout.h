// Layout: decides where a box's children go. The base layout stacks every
// child over the whole padded area of the box (each placed by its own margin
// and alignment); HLayout, VLayout and TileLayout flow them in a row, a column
// or a grid. A layout measures the children for the box's desired size
// (MeasureChildren) and places them (ArrangeChildren).
//
// Owned by its box (GetOwner), which it asks to lay out again when a skin
// attribute changes its padding or spacing. UI thread only.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace ui {

class Box;
class Control;

class Layout {
 public:
  Layout();
  virtual ~Layout();
  Layout(const Layout&) = delete;
  Layout& operator=(const Layout&) = delete;

  // Consumes "padding" and "childmargin" (display-scaled); false for names
  // the layout does not know.
  virtual bool SetAttribute(const std::wstring& name, const std::wstring& value);
  // Places |children| inside |rect| (the box's rectangle less the padding);
  // answers the size used.
  virtual SIZE ArrangeChildren(const std::vector<Control*>& children, const RECT& rect);
  // The size the children need for |available| space, padding included.
  virtual SIZE MeasureChildren(const std::vector<Control*>& children, SIZE available);
  virtual RECT GetPadding() const { return padding_; }
  virtual void SetPadding(const RECT& padding, bool scale = true);
  virtual int GetChildMargin() const { return child_margin_; }
  virtual void SetChildMargin(int margin, bool scale = true);

  Box* GetOwner() const { return owner_; }
  void SetOwner(Box* owner) { owner_ = owner; }

  // Places one child inside |rect| by its margin and alignment, as an overlay
  // that ignores its siblings. Answers the size given to it ((0, 0) for an
  // invisible child).
  static SIZE PlaceFloatChild(Control* child, const RECT& rect);

  // |width| raised to the child's minimum and lowered to its maximum; a
  // negative maximum is no limit.
  static int ClampWidth(const Control* child, int width);
  static int ClampHeight(const Control* child, int height);

 protected:
  // Asks the owner to lay out again after a change of spacing.
  void RelayoutOwner();

 private:
  RECT padding_ = {0, 0, 0, 0};
  int child_margin_ = 0;
  Box* owner_ = nullptr;
};

}  // namespace ui
