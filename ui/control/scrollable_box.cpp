#include "ui/control/scrollable_box.h"

#include <algorithm>
#include <cstdlib>

#include "ui/control/attribute_parsing.h"
#include "ui/control/attribute_table.h"
#include "ui/control/linear_layout.h"
#include "ui/control/tile_layout.h"
#include "ui/core/global_manager.h"
#include "ui/core/window.h"

namespace ui {

namespace {

// A line step: the unit (20 when none is set) for −1 or a delta above it.
int LineStep(int delta, int unit) {
  if (unit == 0) unit = 20;
  return (delta == -1 || delta > unit) ? unit : delta;
}

bool HasRange(const ScrollBar* bar) { return bar != nullptr && bar->GetScrollRange() > 0; }

// The switch of one bar keeps the other as it is; a bar's style list also
// turns the bar on.
void SetVerticalBarSwitch(ScrollableBox& box, const std::wstring& value) {
  box.EnableScrollBar(ParseSwitch(value), box.HorizontalScrollBar() != nullptr);
}

void SetHorizontalBarSwitch(ScrollableBox& box, const std::wstring& value) {
  box.EnableScrollBar(box.VerticalScrollBar() != nullptr, ParseSwitch(value));
}

void SetVerticalBarStyle(ScrollableBox& box, const std::wstring& value) {
  box.EnableScrollBar(true, box.HorizontalScrollBar() != nullptr);
  box.VerticalScrollBar()->ApplyAttributeList(value);
}

void SetHorizontalBarStyle(ScrollableBox& box, const std::wstring& value) {
  box.EnableScrollBar(box.VerticalScrollBar() != nullptr, true);
  box.HorizontalScrollBar()->ApplyAttributeList(value);
}

const AttributeTable<ScrollableBox>& ScrollableBoxAttributes() {
  using S = ScrollableBox;
  static const AttributeTable<ScrollableBox> table = {
      {L"vscrollbar", SetVerticalBarSwitch},
      {L"hscrollbar", SetHorizontalBarSwitch},
      {L"vscrollbarstyle", SetVerticalBarStyle},
      {L"hscrollbarstyle", SetHorizontalBarStyle},
      {L"scrollbarpadding", ScaledRectAttribute<S, &S::SetScrollBarPadding>},
      {L"vscrollunit", IntAttribute<S, &S::SetVerScrollUnit>},
      {L"hscrollunit", IntAttribute<S, &S::SetHorScrollUnit>},
      {L"scrollbarfloat", SwitchAttribute<S, &S::SetScrollBarFloat>},
      {L"defaultdisplayscrollbar", SwitchAttribute<S, &S::SetDefaultDisplayScrollBar>},
      {L"holdend", SwitchAttribute<S, &S::SetHoldEnd>},
  };
  return table;
}

}  // namespace

ScrollableBox::ScrollableBox(Layout* layout)
    : Box(layout),
      scroll_animation_(Control::GetAnimationTimerManager()),
      render_offset_animation_(Control::GetAnimationTimerManager()) {}

ScrollableBox::~ScrollableBox() {
  // The bars may still be the window's hover or pressed targets.
  scroll_animation_.Stop();
  render_offset_animation_.Stop();
  vertical_bar_.reset();
  horizontal_bar_.reset();
}

// --- Positions ---

int ScrollableBox::VerticalRange() const {
  return HasRange(vertical_bar_.get()) ? static_cast<int>(vertical_bar_->GetScrollRange()) : 0;
}

int ScrollableBox::HorizontalRange() const {
  return HasRange(horizontal_bar_.get()) ? static_cast<int>(horizontal_bar_->GetScrollRange()) : 0;
}

SIZE ScrollableBox::GetScrollPos() const {
  SIZE pos = {0, 0};
  if (HasRange(horizontal_bar_.get())) pos.cx = static_cast<LONG>(horizontal_bar_->GetScrollPos());
  if (HasRange(vertical_bar_.get())) pos.cy = static_cast<LONG>(vertical_bar_->GetScrollPos());
  return pos;
}

SIZE ScrollableBox::GetScrollRange() const { return SIZE{HorizontalRange(), VerticalRange()}; }

POINT ScrollableBox::GetScrollOffset() const {
  const SIZE pos = GetScrollPos();
  return POINT{pos.cx, pos.cy};
}

void ScrollableBox::SetScrollPos(SIZE position) {
  if (position.cy < 0) {
    scroll_animation_.Stop();
    position.cy = 0;
  } else if (position.cy > VerticalRange()) {
    position.cy = VerticalRange();
    scroll_animation_.Stop();
  }
  const SIZE old = GetScrollPos();
  if (HasRange(vertical_bar_.get())) vertical_bar_->SetScrollPos(position.cy);
  if (HasRange(horizontal_bar_.get())) horizontal_bar_->SetScrollPos(position.cx);
  const SIZE now = GetScrollPos();
  if (now.cx == old.cx && now.cy == old.cy) return;
  UpdateChildImageCache(now.cy - old.cy);
  Invalidate();
  SendEvent(kEventScrollChange);
}

void ScrollableBox::SetScrollPosY(int y) { SetScrollPos(SIZE{GetScrollPos().cx, y}); }

void ScrollableBox::SetScrollPosX(int x) { SetScrollPos(SIZE{x, GetScrollPos().cy}); }

void ScrollableBox::UpdateChildImageCache(int dy) {
  RECT visible = GetRect();
  const SIZE pos = GetScrollPos();
  const POINT offset = GetRenderOffset();
  ::OffsetRect(&visible, pos.cx + offset.x, pos.cy + offset.y);
  auto update = [&](Control* child) {
    if (!child->IsVisible() || child->IsFloat()) return;
    RECT near_rect = child->GetRect();
    near_rect.top -= kImageCacheMargin;
    near_rect.bottom += kImageCacheMargin;
    RECT overlap;
    if (::IntersectRect(&overlap, &near_rect, &visible)) {
      child->LoadImageCache();
    } else {
      child->UnloadImageCache();
    }
  };
  const std::vector<Control*> list = children();
  if (dy > 0) {
    for (Control* child : list) update(child);
  } else {
    for (auto it = list.rbegin(); it != list.rend(); ++it) update(*it);
  }
}

// --- Steps ---

void ScrollableBox::AnimateVerticalTo(int start, int end, bool animate) {
  if (!animate) {
    SetScrollPosY(end);
    return;
  }
  scroll_animation_.Stop();
  scroll_animation_.SetStartValue(start);
  scroll_animation_.SetEndValue(end);
  scroll_animation_.SetSpeedUpRatio(0);
  scroll_animation_.SetSpeedDownRatio(0.5);
  scroll_animation_.SetSpeedUpFactor(0);
  scroll_animation_.SetSpeedDownFactor(-0.012);
  scroll_animation_.SetTotalMillSeconds(-1);
  scroll_animation_.SetCallback(ToWeakCallback([this](int value) { SetScrollPosY(value); }));
  scroll_animation_.Start();
}

void ScrollableBox::LineUp(int delta, bool animate) {
  const int y = GetScrollPos().cy;
  if (y == 0) return;
  const int step = LineStep(delta, ver_scroll_unit_);
  if (!animate) {
    SetScrollPosY(std::max(0, y - step));
    return;
  }
  int end = y - step;
  if (scroll_animation_.IsPlaying() && y >= scroll_animation_.GetEndValue()) {
    end = scroll_animation_.GetEndValue() - step;
  }
  AnimateVerticalTo(y, end, true);
}

void ScrollableBox::LineDown(int delta, bool animate) {
  const int y = GetScrollPos().cy;
  const int range = VerticalRange();
  if (y >= range) return;
  const int step = LineStep(delta, ver_scroll_unit_);
  if (!animate) {
    SetScrollPosY(std::min(range, y + step));
    return;
  }
  int end = y + step;
  if (scroll_animation_.IsPlaying() && y <= scroll_animation_.GetEndValue()) {
    end = scroll_animation_.GetEndValue() + step;
  }
  AnimateVerticalTo(y, end, true);
}

void ScrollableBox::LineLeft(int delta) {
  const int x = GetScrollPos().cx;
  SetScrollPosX(std::max(0, x - LineStep(delta, hor_scroll_unit_)));
}

void ScrollableBox::LineRight(int delta) {
  const int x = GetScrollPos().cx;
  SetScrollPosX(std::min(HorizontalRange(), x + LineStep(delta, hor_scroll_unit_)));
}

void ScrollableBox::PageUp() {
  const RECT padding = GetLayout()->GetPadding();
  int page = GetHeight() - padding.top - padding.bottom;
  if (HasRange(horizontal_bar_.get())) page -= horizontal_bar_->GetFixedHeight();
  SetScrollPosY(GetScrollPos().cy - page);
}

void ScrollableBox::PageDown() {
  const RECT padding = GetLayout()->GetPadding();
  int page = GetHeight() - padding.top - padding.bottom;
  if (HasRange(horizontal_bar_.get())) page -= horizontal_bar_->GetFixedHeight();
  SetScrollPosY(GetScrollPos().cy + page);
}

void ScrollableBox::HomeUp() { SetScrollPosY(0); }

void ScrollableBox::EndDown(bool relayout, bool /*animate*/) {
  // The animated variant ends in the same jump to the end.
  if (relayout) LayoutIn(GetRect());
  SetScrollPosY(VerticalRange());
}

void ScrollableBox::PageLeft() {
  const RECT padding = GetLayout()->GetPadding();
  SetScrollPosX(GetScrollPos().cx - (GetWidth() - padding.left - padding.right));
}

void ScrollableBox::PageRight() {
  const RECT padding = GetLayout()->GetPadding();
  SetScrollPosX(GetScrollPos().cx + (GetWidth() - padding.left - padding.right));
}

void ScrollableBox::HomeLeft() { SetScrollPosX(0); }

void ScrollableBox::EndRight() { SetScrollPosX(HorizontalRange()); }

void ScrollableBox::TouchUp(int distance) {
  const int y = GetScrollPos().cy;
  if (y > 0) SetScrollPosY(y - distance);
}

void ScrollableBox::TouchDown(int distance) {
  const int y = GetScrollPos().cy;
  if (y < VerticalRange()) SetScrollPosY(y + distance);
}

// --- Bars ---

void ScrollableBox::EnableScrollBar(bool vertical, bool horizontal) {
  auto make = [this](bool is_horizontal) {
    auto bar = std::make_unique<ScrollBar>();
    bar->SetVisible(false);
    bar->SetScrollRange(0);
    bar->SetOwner(this);
    bar->SetWindow(GetWindow(), GetParent(), false);
    if (is_horizontal) bar->SetHorizontal(true);
    bar->SetClass(is_horizontal ? L"hscrollbar" : L"vscrollbar");
    return bar;
  };
  if (!vertical) {
    vertical_bar_.reset();
  } else if (!vertical_bar_) {
    vertical_bar_ = make(false);
  }
  if (!horizontal) {
    horizontal_bar_.reset();
  } else if (!horizontal_bar_) {
    horizontal_bar_ = make(true);
  }
  Relayout();
}

void ScrollableBox::SetScrollBarFloat(bool floating) {
  if (scroll_bar_float_ == floating) return;
  scroll_bar_float_ = floating;
  Relayout();
}

void ScrollableBox::SetScrollBarPadding(const RECT& padding, bool scale) {
  RECT value = padding;
  if (scale) GlobalManager::ScaleRect(value);
  scroll_bar_padding_ = value;
  Relayout();
}

// --- Layout ---

void ScrollableBox::SetBounds(const RECT& rect) { LayoutIn(rect); }

void ScrollableBox::LayoutIn(const RECT& rect) {
  const bool at_end = hold_end_ && HasRange(vertical_bar_.get()) &&
                      vertical_bar_->GetScrollPos() == vertical_bar_->GetScrollRange();
  Control::SetBounds(rect);
  const SIZE required = RequiredSize(InnerRect());
  const RECT whole = GetRect();
  ProcessVScrollBar(whole, required.cy);
  ProcessHScrollBar(whole, required.cx);
  if (at_end) EndDown(false, false);
}

void ScrollableBox::RepeatLayout() {
  const bool was_reentry = reentry_;
  reentry_ = true;
  LayoutIn(GetRect());
  reentry_ = was_reentry;
}

SIZE ScrollableBox::RequiredSize(const RECT& rect) {
  if (children().empty()) return SIZE{0, 0};
  RECT area = rect;
  if (!scroll_bar_float_) {
    if (HasRange(vertical_bar_.get())) area.right -= vertical_bar_->GetFixedWidth();
    if (HasRange(horizontal_bar_.get())) area.bottom -= horizontal_bar_->GetFixedHeight();
  }
  return GetLayout()->ArrangeChildren(children(), area);
}

void ScrollableBox::ProcessVScrollBar(const RECT& rect, int required_height) {
  ProcessBar(true, rect, required_height);
}

void ScrollableBox::ProcessHScrollBar(const RECT& rect, int required_width) {
  ProcessBar(false, rect, required_width);
}

void ScrollableBox::ProcessBar(bool vertical, const RECT& rect, int required) {
  ScrollBar* bar = vertical ? vertical_bar_.get() : horizontal_bar_.get();
  if (bar == nullptr) return;
  const RECT padding = GetLayout()->GetPadding();
  const int view = vertical ? rect.bottom - rect.top - padding.top - padding.bottom
                            : rect.right - rect.left - padding.left - padding.right;
  const int range = required - view;
  if (view < required && bar->GetScrollRange() == 0) {
    // A bar that appears may take room from the content: lay out once more.
    bar->SetScrollRange(range);
    bar->SetScrollPos(0);
    RepeatLayout();
    return;
  }
  if (bar->GetScrollRange() == 0) return;
  if (range > 0 || reentry_) {
    const RECT& pad = scroll_bar_padding_;
    if (vertical) {
      const int width = std::max(0, bar->GetFixedWidth());
      bar->SetBounds(RECT{rect.right - pad.right - width, rect.top + pad.top,
                          rect.right - pad.right, rect.bottom - pad.bottom});
    } else {
      const int height = std::max(0, bar->GetFixedHeight());
      bar->SetBounds(RECT{rect.left + pad.left, rect.bottom - pad.bottom - height,
                          rect.right - pad.right, rect.bottom - pad.bottom});
    }
    if (bar->GetScrollRange() == range) return;
    const int64_t old = bar->GetScrollPos();
    bar->SetScrollRange(std::abs(range));
    if (bar->GetScrollRange() == 0) bar->SetScrollPos(0);
    if (old <= bar->GetScrollRange()) return;
    RepeatLayout();
  } else {
    // The content fits again.
    bar->SetScrollPos(0);
    bar->SetScrollRange(0);
    Invalidate();
    RepeatLayout();
  }
}

// --- Attributes ---

void ScrollableBox::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (!ScrollableBoxAttributes().Apply(*this, name, value)) Box::SetAttribute(name, value);
}

// --- Tree and state ---

void ScrollableBox::SetWindow(Window* window, Box* parent, bool init) {
  Box::SetWindow(window, parent, init);
  // The bars sit beside the content, unscrolled: they hang under the box's
  // own parent.
  if (vertical_bar_) vertical_bar_->SetWindow(window, parent, false);
  if (horizontal_bar_) horizontal_bar_->SetWindow(window, parent, false);
}

void ScrollableBox::SetEnabled(bool enabled) {
  Box::SetEnabled(enabled);
  if (vertical_bar_) vertical_bar_->SetEnabled(enabled);
  if (horizontal_bar_) horizontal_bar_->SetEnabled(enabled);
}

void ScrollableBox::SetVisible(bool visible) {
  Box::SetVisible(visible);
  if (vertical_bar_) vertical_bar_->SetInternVisible(IsVisible());
  if (horizontal_bar_) horizontal_bar_->SetInternVisible(IsVisible());
}

void ScrollableBox::SetInternVisible(bool visible) {
  Box::SetInternVisible(visible);
  if (vertical_bar_) vertical_bar_->SetInternVisible(IsVisible());
  if (horizontal_bar_) horizontal_bar_->SetInternVisible(IsVisible());
}

void ScrollableBox::ShowAutoHideBars(bool show) {
  for (ScrollBar* bar : {vertical_bar_.get(), horizontal_bar_.get()}) {
    if (bar == nullptr || !bar->IsAutoHideScroll()) continue;
    if (show && bar->GetScrollRange() > 0 && !bar->IsVisibleAsSet()) bar->SetFadeVisible(true);
    if (!show && bar->IsVisibleAsSet()) bar->SetFadeVisible(false);
  }
}

// --- Events ---

bool ScrollableBox::HandleScrollEvent(const EventArgs& args) {
  ScrollBar* vbar = vertical_bar_.get();
  ScrollBar* hbar = horizontal_bar_.get();
  if (HasRange(vbar) && vbar->IsEnabled()) {
    switch (args.type) {
      case kEventKeyDown:
        switch (args.wparam) {
          case VK_PRIOR:
            PageUp();
            return true;
          case VK_NEXT:
            PageDown();
            return true;
          case VK_END:
            EndDown(true, true);
            return true;
          case VK_HOME:
            HomeUp();
            return true;
          case VK_UP:
            LineUp(-1, true);
            return true;
          case VK_DOWN:
            LineDown(-1, true);
            return true;
          default:
            return false;
        }
      case kEventMouseScrollWheel: {
        const int delta = static_cast<int>(static_cast<INT_PTR>(args.wparam));
        if (delta < 0) {
          LineDown(-delta, true);
        } else if (delta > 0) {
          LineUp(delta, true);
        }
        return true;
      }
      case kEventTouchDown:
      case kEventPointDown:
        BeginTouchScroll(args.mouse);
        return true;
      case kEventTouchMove:
      case kEventPointMove: {
        if (last_touch_.x == -1 && last_touch_.y == -1) return true;
        const int dy = args.mouse.y - last_touch_.y;
        last_touch_ = args.mouse;
        if (dy < 0) {
          TouchDown(-dy);
        } else if (dy > 0) {
          TouchUp(dy);
        }
        return true;
      }
      case kEventTouchUp:
      case kEventPointUp:
        EndTouchScroll();
        return true;
      default:
        return false;
    }
  }
  if (HasRange(hbar) && hbar->IsEnabled()) {
    if (args.type == kEventKeyDown) {
      switch (args.wparam) {
        case VK_PRIOR:
          PageLeft();
          return true;
        case VK_NEXT:
          PageRight();
          return true;
        case VK_END:
          EndRight();
          return true;
        case VK_HOME:
          HomeLeft();
          return true;
        case VK_UP:
          LineLeft();
          return true;
        case VK_DOWN:
          LineRight();
          return true;
        default:
          return false;
      }
    }
    if (args.type == kEventMouseScrollWheel) {
      const int delta = static_cast<int>(static_cast<INT_PTR>(args.wparam));
      if (delta < 0) {
        LineRight();
      } else if (delta > 0) {
        LineLeft();
      }
      return true;
    }
  }
  return false;
}

void ScrollableBox::BeginTouchScroll(POINT point) {
  last_touch_ = point;
  SetMouseCapture(true);
}

void ScrollableBox::EndTouchScroll() {
  last_touch_ = POINT{-1, -1};
  SetMouseCapture(false);
}

void ScrollableBox::HandleMessage(EventArgs& args) {
  if (!IsMouseEnabled() && IsMouseEvent(args.type)) {
    Box::HandleMessage(args);
    return;
  }
  if (HandleScrollEvent(args)) return;
  // The range may have gone while the finger was down: the lift still ends
  // the gesture, and then climbs on as any event the box does not take.
  if ((args.type == kEventTouchUp || args.type == kEventPointUp) && HasMouseCapture()) {
    EndTouchScroll();
  }
  Window* window = GetWindow();
  if (args.type == kEventMouseEnter) {
    ShowAutoHideBars(true);
  } else if (args.type == kEventMouseLeave) {
    Control* hover = window != nullptr ? window->GetHoverControl() : nullptr;
    const bool still_inside =
        hover != nullptr && (IsSelfOrAncestorOf(hover) || hover == vertical_bar_.get() ||
                             hover == horizontal_bar_.get());
    const bool thumb_held =
        (vertical_bar_ && vertical_bar_->GetThumbState() >= kControlStateHot &&
         vertical_bar_->GetThumbState() <= kControlStatePushed) ||
        (horizontal_bar_ && horizontal_bar_->GetThumbState() >= kControlStateHot &&
         horizontal_bar_->GetThumbState() <= kControlStatePushed);
    if (!still_inside && !thumb_held) ShowAutoHideBars(false);
  }
  Box::HandleMessage(args);
}

Control* ScrollableBox::FindControl(FindControlProc proc, void* data, UINT flags,
                                    POINT /*scroll_offset*/) {
  if (!PassesFindFilter(data, flags)) return nullptr;
  // The bars lie over the content and are not scrolled.
  for (ScrollBar* bar : {vertical_bar_.get(), horizontal_bar_.get()}) {
    if (bar == nullptr) continue;
    if (Control* found = bar->FindControl(proc, data, flags)) return found;
  }
  return Box::FindControl(proc, data, flags, GetScrollOffset());
}

// --- Painting ---

void ScrollableBox::PaintChildren(IRenderContext* context, const RECT& dirty) {
  RECT overlap;
  const RECT& rect = GetRect();
  if (!::IntersectRect(&overlap, &dirty, &rect)) return;
  const SIZE pos = GetScrollPos();
  {
    AutoClip clip(context, InnerRect());
    RECT moved = dirty;
    ::OffsetRect(&moved, pos.cx, pos.cy);
    const POINT origin = context->OffsetOrigin(pos.cx, pos.cy);
    for (Control* child : children()) {
      if (child->IsVisible() && !child->IsFloat()) child->Paint(context, moved);
    }
    context->SetOrigin(origin.x, origin.y);
    for (Control* child : children()) {
      if (child->IsVisible() && child->IsFloat()) child->Paint(context, dirty);
    }
  }
  if (horizontal_bar_ && horizontal_bar_->IsVisible()) horizontal_bar_->Paint(context, dirty);
  if (vertical_bar_ && vertical_bar_->IsVisible()) vertical_bar_->Paint(context, dirty);
}

Control* ScrollableBox::FindOccluderAmongChildren(const RECT& dirty, const RECT& clip) {
  // Scrolled children do not lie where their rectangles say.
  const SIZE pos = GetScrollPos();
  if (pos.cx != 0 || pos.cy != 0) return nullptr;
  RECT inner = InnerRect();
  if (!::IntersectRect(&inner, &inner, &clip)) return nullptr;
  // Floating children are painted after the others.
  for (bool floating : {true, false}) {
    for (auto it = children().rbegin(); it != children().rend(); ++it) {
      if ((*it)->IsFloat() != floating) continue;
      if (Control* found = (*it)->FindOccluder(dirty, inner)) return found;
    }
  }
  return nullptr;
}

void ScrollableBox::LoadImageCache() {
  Box::LoadImageCache();
  if (vertical_bar_) vertical_bar_->LoadImageCache();
  if (horizontal_bar_) horizontal_bar_->LoadImageCache();
}

void ScrollableBox::UnloadImageCache() {
  Box::UnloadImageCache();
  if (vertical_bar_) vertical_bar_->UnloadImageCache();
  if (horizontal_bar_) horizontal_bar_->UnloadImageCache();
}

void ScrollableBox::ClearImageCache() {
  Box::ClearImageCache();
  if (vertical_bar_) vertical_bar_->ClearImageCache();
  if (horizontal_bar_) horizontal_bar_->ClearImageCache();
}

VScrollableBox::VScrollableBox() : ScrollableBox(new VLayout()) {}

HScrollableBox::HScrollableBox() : ScrollableBox(new HLayout()) {}

TileScrollableBox::TileScrollableBox() : ScrollableBox(new TileLayout()) {}

void ScrollableBox::ReapplyScaledAttributes() {
  Box::ReapplyScaledAttributes();
  if (ScrollBar* bar = VerticalScrollBar()) bar->ReapplyScaledAttributes();
  if (ScrollBar* bar = HorizontalScrollBar()) bar->ReapplyScaledAttributes();
}

}  // namespace ui
