#include "ui/control/box.h"

#include <algorithm>
#include <utility>

#include "ui/control/attribute_parsing.h"
#include "ui/control/linear_layout.h"
#include "ui/control/tile_layout.h"
#include "ui/core/window.h"

namespace ui {

Box::Box(Layout* layout) : layout_(layout != nullptr ? layout : new Layout()) {
  layout_->SetOwner(this);
}

Box::~Box() {
  // Children go at once: the window may be going away too.
  delayed_destroy_ = false;
  std::vector<Control*> children;
  children.swap(children_);
  for (Control* child : children) DisposeChild(child);
}

// --- Container operations ---

int Box::NearestSelectable(int index, bool forward) {
  const int count = ChildCount();
  if (count == 0) return -1;
  index = std::clamp(index, 0, count - 1);
  auto selectable = [this](int i) {
    const Control* child = children_[i];
    return child->IsListElement() && child->IsVisible() && child->IsEnabled();
  };
  if (forward) {
    for (int i = index; i < count; ++i) {
      if (selectable(i)) return i;
    }
    return -1;
  }
  for (int i = index; i >= 0; --i) {
    if (selectable(i)) return i;
  }
  return NearestSelectable(0, true);
}

Control* Box::ChildAt(int index) const {
  if (static_cast<size_t>(index) >= children_.size()) return nullptr;
  return children_[index];
}

int Box::IndexOf(const Control* control) const {
  auto it = std::find(children_.begin(), children_.end(), control);
  return it == children_.end() ? -1 : static_cast<int>(it - children_.begin());
}

bool Box::MoveChild(Control* control, int index) {
  if (index < 0 || index >= ChildCount()) return false;
  const int from = IndexOf(control);
  if (from < 0) return false;
  Relayout();
  children_.erase(children_.begin() + from);
  children_.insert(children_.begin() + index, control);
  return true;
}

void Box::AdoptChild(Control* child) {
  CBASE_DCHECK_ON_THREAD(thread_checker());
  Window* window = GetWindow();
  child->SetWindow(window, this, window != nullptr);
  if (window != nullptr) window->InitSubtree(child, this);
  child->SetInternVisible(IsVisible());
  if (IsVisible()) Relayout();
}

bool Box::Add(Control* control) {
  if (control == nullptr) return false;
  AdoptChild(control);
  children_.push_back(control);
  return true;
}

bool Box::InsertAt(Control* control, int index) {
  if (control == nullptr || index < 0 || index > ChildCount()) return false;
  AdoptChild(control);
  children_.insert(children_.begin() + index, control);
  return true;
}

bool Box::Remove(Control* control) {
  if (control == nullptr) return false;
  auto it = std::find(children_.begin(), children_.end(), control);
  if (it == children_.end()) return false;
  Relayout();
  children_.erase(it);
  DisposeChild(control);
  return true;
}

bool Box::RemoveAt(int index) {
  Control* child = ChildAt(index);
  return child != nullptr && Remove(child);
}

void Box::RemoveAll() {
  std::vector<Control*> children;
  children.swap(children_);
  for (Control* child : children) DisposeChild(child);
  Relayout();
}

void Box::DisposeChild(Control* child) {
  CBASE_DCHECK_ON_THREAD(thread_checker());
  Window* window = GetWindow();
  if (!auto_destroy_) {
    // The caller keeps the child; it no longer has this parent.
    child->SetWindow(child->GetWindow(), nullptr, false);
  } else if (delayed_destroy_ && window != nullptr) {
    window->AddDelayedCleanup(child);
  } else {
    delete child;
  }
}

void Box::ReplaceLayout(Layout* layout) {
  if (layout == nullptr || layout == layout_.get()) return;
  layout_.reset(layout);
  layout_->SetOwner(this);
  Relayout();
}

RECT Box::InnerRect() const {
  const RECT padding = layout_->GetPadding();
  const RECT& rect = GetRect();
  return RECT{rect.left + padding.left, rect.top + padding.top, rect.right - padding.right,
              rect.bottom - padding.bottom};
}

// --- Bubbled events ---

void Box::AttachBubbledEvent(EventType type, EventCallback callback) {
  bubbled_events_.Add(type, std::move(callback));
}

void Box::AttachBubbledMarkupEvent(EventType type, EventCallback callback) {
  bubbled_markup_events_.Add(type, std::move(callback));
}

bool Box::RunBubbledHandlers(const EventArgs& args, bool& go) {
  if (bubbled_events_.empty() && bubbled_markup_events_.empty()) return true;
  return RunHandlers(bubbled_events_, bubbled_markup_events_, args, GetWeakFlag(), go);
}

// --- Control ---

void Box::SetWindow(Window* window, Box* parent, bool init) {
  for (Control* child : children_) child->SetWindow(window, this, init);
  Control::SetWindow(window, parent, init);
}

void Box::SetBounds(const RECT& rect) {
  Control::SetBounds(rect);
  if (!children_.empty()) layout_->ArrangeChildren(children_, InnerRect());
}

SIZE Box::DesiredSize(SIZE available) {
  const int width = GetFixedWidth();
  const int height = GetFixedHeight();
  if (width != kAuto && height != kAuto) return SIZE{width, height};
  if (!NeedsReEstimate()) return estimate_;
  const RECT padding = layout_->GetPadding();
  const SIZE inner = {available.cx - padding.left - padding.right,
                      available.cy - padding.top - padding.bottom};
  const SIZE needed = layout_->MeasureChildren(children_, inner);
  SetReEstimate(false);
  estimate_ = SIZE{width == kAuto ? needed.cx : width, height == kAuto ? needed.cy : height};
  // A content-sized child that was not measured yet must be measured with
  // the next estimate.
  for (const Control* child : children_) {
    if (child->IsVisible() && child->NeedsReEstimate() &&
        (child->GetFixedWidth() == kAuto || child->GetFixedHeight() == kAuto)) {
      SetReEstimate(true);
      break;
    }
  }
  return estimate_;
}

void Box::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (layout_->SetAttribute(name, value)) return;
  if (name == L"mousechild") {
    SetMouseChildEnabled(ParseSwitch(value));
  } else {
    Control::SetAttribute(name, value);
  }
}

Control* Box::FindControl(FindControlProc proc, void* data, UINT flags, POINT scroll_offset) {
  if (!PassesFindFilter(data, flags)) return nullptr;
  const bool hit_test = (flags & kFindHitTest) != 0;
  if (hit_test && !mouse_child_) return Control::FindControl(proc, data, flags, scroll_offset);
  if ((flags & kFindMeFirst) != 0) {
    if (Control* found = Control::FindControl(proc, data, flags, scroll_offset)) return found;
  }

  const RECT inner = InnerRect();
  POINT moved = {0, 0};
  if (hit_test) {
    moved = *static_cast<const POINT*>(data);
    moved.x += scroll_offset.x;
    moved.y += scroll_offset.y;
  }
  auto visit = [&](Control* child) -> Control* {
    if (!hit_test) return child->FindControl(proc, data, flags);
    Control* found = child->FindControl(proc, &moved, flags);
    if (found == nullptr) return nullptr;
    // A flow child is only hit inside the padded area; a float child anywhere.
    if (found->IsFloat() || ::PtInRect(&inner, *static_cast<const POINT*>(data))) return found;
    return nullptr;
  };
  // A child's handler may change the list: walk by index.
  if ((flags & kFindTopFirst) != 0) {
    for (size_t i = children_.size(); i-- > 0;) {
      if (i >= children_.size()) continue;
      if (Control* found = visit(children_[i])) return found;
    }
  } else {
    for (size_t i = 0; i < children_.size(); ++i) {
      if (Control* found = visit(children_[i])) return found;
    }
  }
  if ((flags & kFindMeFirst) == 0) return Control::FindControl(proc, data, flags, scroll_offset);
  return nullptr;
}

void Box::PaintChildren(IRenderContext* context, const RECT& dirty) {
  RECT overlap;
  const RECT& rect = GetRect();
  if (!::IntersectRect(&overlap, &dirty, &rect)) return;
  for (Control* child : children_) {
    if (child->IsVisible()) child->Paint(context, dirty);
  }
}

Control* Box::FindOccluder(const RECT& dirty, const RECT& clip) {
  // Children of a translucent or shifted box are not painted where they lie.
  const POINT offset = GetRenderOffset();
  if (!IsVisible() || GetAlpha() != 255 || offset.x != 0 || offset.y != 0) return nullptr;
  const RECT& rect = GetRect();
  RECT inside;
  if (!::IntersectRect(&inside, &rect, &clip) || !::IntersectRect(&inside, &inside, &dirty)) {
    return nullptr;
  }
  // The children are clipped to the box, and to its rounded corners.
  RECT children_clip;
  ::IntersectRect(&children_clip, &rect, &clip);
  const SIZE round = GetBorderRound();
  if (round.cx > 0 || round.cy > 0) {
    RECT straight = rect;
    ::InflateRect(&straight, -(round.cx + 1), -(round.cy + 1));
    ::IntersectRect(&children_clip, &children_clip, &straight);
  }
  if (Control* found = FindOccluderAmongChildren(dirty, children_clip)) return found;
  return Control::FindOccluder(dirty, clip);
}

Control* Box::FindOccluderAmongChildren(const RECT& dirty, const RECT& clip) {
  for (auto it = children_.rbegin(); it != children_.rend(); ++it) {
    if (Control* found = (*it)->FindOccluder(dirty, clip)) return found;
  }
  return nullptr;
}

void Box::SetVisible(bool visible) {
  Control::SetVisible(visible);
  for (Control* child : children_) child->SetInternVisible(IsVisible());
}

void Box::SetInternVisible(bool visible) {
  Control::SetInternVisible(visible);
  for (Control* child : children_) child->SetInternVisible(IsVisible());
}

void Box::SetEnabled(bool enabled) {
  Control::SetEnabled(enabled);
  for (Control* child : children_) child->SetEnabled(enabled);
  Invalidate();
}

void Box::LoadImageCache() {
  Control::LoadImageCache();
  for (Control* child : children_) child->LoadImageCache();
}

void Box::UnloadImageCache() {
  Control::UnloadImageCache();
  for (Control* child : children_) child->UnloadImageCache();
}

void Box::ClearImageCache() {
  Control::ClearImageCache();
  for (Control* child : children_) child->ClearImageCache();
}

HBox::HBox() : Box(new HLayout()) {}

VBox::VBox() : Box(new VLayout()) {}

TileBox::TileBox() : Box(new TileLayout()) {}

}  // namespace ui
