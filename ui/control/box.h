// Box: a control that owns an ordered list of child controls and a layout
// that places them. HBox, VBox and TileBox are boxes with a row, column or
// grid layout.
//
// A box offers every attribute to its layout first ("padding", "childmargin",
// ...), then takes "mousechild", then passes the rest to Control. It caches
// its desired size while nothing below it changed (the re-estimate flags).
// Events that its descendants do not consume climb through it and meet its
// bubbled-event handlers.
//
// Ownership: the box owns its layout and, with auto-destroy on (the default),
// its children: removed children are deleted, through the window's delayed
// cleanup when delayed-destroy is on and the box has a window, so a child may
// be removed from inside its own event handler. UI thread only.
#pragma once

#include <memory>
#include <vector>

#include "ui/control/control.h"
#include "ui/control/layout.h"

namespace ui {

class Box : public Control {
 public:
  // |layout| nullptr: the base Layout (every child over the whole area).
  explicit Box(Layout* layout = nullptr);
  // Deletes the children at once (delayed-destroy is turned off first), then
  // the layout.
  ~Box() override;

  // --- Container operations ---
  // For list boxes: the nearest visible, enabled list element at or after
  // |index| (forward) or at or before it (backward, then forward from 0);
  // -1 when none.
  virtual int NearestSelectable(int index, bool forward);
  // nullptr out of range.
  virtual Control* ChildAt(int index) const;
  virtual int IndexOf(const Control* control) const;
  // Moves a child to |index| (below the count).
  virtual bool MoveChild(Control* control, int index);
  virtual int ChildCount() const { return static_cast<int>(children_.size()); }
  virtual bool Add(Control* control);
  // |index| up to the count (the count appends).
  virtual bool InsertAt(Control* control, int index);
  virtual bool Remove(Control* control);
  virtual bool RemoveAt(int index);
  virtual void RemoveAll();
  virtual bool IsAutoDestroy() const { return auto_destroy_; }
  virtual void SetAutoDestroy(bool auto_destroy) { auto_destroy_ = auto_destroy; }
  virtual bool IsDelayedDestroy() const { return delayed_destroy_; }
  virtual void SetDelayedDestroy(bool delayed) { delayed_destroy_ = delayed; }
  // With mouse-child off, hit tests stop at the box itself.
  virtual bool IsMouseChildEnabled() const { return mouse_child_; }
  virtual void SetMouseChildEnabled(bool enabled) { mouse_child_ = enabled; }
  virtual Layout* GetLayout() const { return layout_.get(); }
  // Installs |layout| (owned) and deletes the previous one.
  virtual void ReplaceLayout(Layout* layout);
  // The rectangle less the padding.
  virtual RECT InnerRect() const;

  const std::vector<Control*>& children() const { return children_; }

  // --- Bubbled events ---
  void AttachBubbledEvent(EventType type, EventCallback callback);
  void AttachBubbledMarkupEvent(EventType type, EventCallback callback);

  // --- Control ---
  void SetWindow(Window* window, Box* parent, bool init = true) override;
  void SetBounds(const RECT& rect) override;
  SIZE DesiredSize(SIZE available) override;
  void SetAttribute(const std::wstring& name, const std::wstring& value) override;
  Control* FindControl(FindControlProc proc, void* data, UINT flags,
                       POINT scroll_offset = POINT{0, 0}) override;
  void PaintChildren(IRenderContext* context, const RECT& dirty) override;
  Control* FindOccluder(const RECT& dirty, const RECT& clip) override;
  // FindOccluder among the children alone, which draw within |clip|.
  virtual Control* FindOccluderAmongChildren(const RECT& dirty, const RECT& clip);
  void SetVisible(bool visible) override;
  void SetInternVisible(bool visible) override;
  void SetEnabled(bool enabled) override;
  void LoadImageCache() override;
  void UnloadImageCache() override;
  void ClearImageCache() override;
  bool AllowsTabStop() const override { return false; }

 protected:
  // A box is only a container, even with a picture behind it.
  AccessibleRole DefaultAccessibleRole() const override { return AccessibleRole::kNone; }
  // For its own events and those of its descendants that reach it.
  bool RunBubbledHandlers(const EventArgs& args, bool& go) override;
  // Disposes of a removed child as auto- and delayed-destroy say.
  void DisposeChild(Control* child);
  // Attaches a new child to this box's window and visibility.
  void AdoptChild(Control* child);

 private:
  std::vector<Control*> children_;
  std::unique_ptr<Layout> layout_;
  EventHandlerTable bubbled_events_;
  EventHandlerTable bubbled_markup_events_;
  bool auto_destroy_ = true;
  bool delayed_destroy_ = true;
  bool mouse_child_ = true;
  SIZE estimate_ = {0, 0};
};

class HBox : public Box {
 public:
  HBox();
};

class VBox : public Box {
 public:
  VBox();
};

class TileBox : public Box {
 public:
  TileBox();
};

}  // namespace ui
