#include "ui/control/scroll_bar.h"

#include <algorithm>
#include <string>

#include "ui/animation/timer_manager.h"
#include "ui/control/attribute_parsing.h"
#include "ui/control/attribute_table.h"
#include "ui/control/scrollable_box.h"
#include "ui/core/skin_image.h"
#include "ui/core/window.h"

namespace ui {

namespace {

bool IsEmptyRect(const RECT& r) { return r.right <= r.left || r.bottom <= r.top; }

bool Contains(const RECT& r, POINT p) {
  return !IsEmptyRect(r) && p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom;
}

// "<part><state>image", e.g. "thumbhotimage" or "bkdisabledimage".
template <ScrollBar::ImageSlot Slot, ControlStateType State>
void SetPartImageValue(ScrollBar& bar, const std::wstring& value) {
  bar.SetPartImage(Slot, State, value);
}

const AttributeTable<ScrollBar>& ScrollBarAttributes() {
  using S = ScrollBar;
  static const AttributeTable<ScrollBar> table = {
      {L"horizontal", SwitchAttribute<S, &S::SetHorizontal>},
      {L"linesize", IntAttribute<S, &S::SetLineSize>},
      {L"thumbminlength", IntAttribute<S, &S::SetThumbMinLength>},
      {L"range", IntAttribute<S, &S::SetScrollRange>},
      {L"value", IntAttribute<S, &S::SetScrollPos>},
      {L"showbutton1", SwitchAttribute<S, &S::SetShowButton1>},
      {L"showbutton2", SwitchAttribute<S, &S::SetShowButton2>},
      {L"autohidescroll", SwitchAttribute<S, &S::SetAutoHideScroll>},
      {L"button1normalimage", SetPartImageValue<ScrollBar::kButton1, kControlStateNormal>},
      {L"button1hotimage", SetPartImageValue<ScrollBar::kButton1, kControlStateHot>},
      {L"button1pushedimage", SetPartImageValue<ScrollBar::kButton1, kControlStatePushed>},
      {L"button1disabledimage", SetPartImageValue<ScrollBar::kButton1, kControlStateDisabled>},
      {L"button2normalimage", SetPartImageValue<ScrollBar::kButton2, kControlStateNormal>},
      {L"button2hotimage", SetPartImageValue<ScrollBar::kButton2, kControlStateHot>},
      {L"button2pushedimage", SetPartImageValue<ScrollBar::kButton2, kControlStatePushed>},
      {L"button2disabledimage", SetPartImageValue<ScrollBar::kButton2, kControlStateDisabled>},
      {L"thumbnormalimage", SetPartImageValue<ScrollBar::kThumb, kControlStateNormal>},
      {L"thumbhotimage", SetPartImageValue<ScrollBar::kThumb, kControlStateHot>},
      {L"thumbpushedimage", SetPartImageValue<ScrollBar::kThumb, kControlStatePushed>},
      {L"thumbdisabledimage", SetPartImageValue<ScrollBar::kThumb, kControlStateDisabled>},
      {L"railnormalimage", SetPartImageValue<ScrollBar::kRail, kControlStateNormal>},
      {L"railhotimage", SetPartImageValue<ScrollBar::kRail, kControlStateHot>},
      {L"railpushedimage", SetPartImageValue<ScrollBar::kRail, kControlStatePushed>},
      {L"raildisabledimage", SetPartImageValue<ScrollBar::kRail, kControlStateDisabled>},
      {L"bknormalimage", SetPartImageValue<ScrollBar::kBackground, kControlStateNormal>},
      {L"bkhotimage", SetPartImageValue<ScrollBar::kBackground, kControlStateHot>},
      {L"bkpushedimage", SetPartImageValue<ScrollBar::kBackground, kControlStatePushed>},
      {L"bkdisabledimage", SetPartImageValue<ScrollBar::kBackground, kControlStateDisabled>},
  };
  return table;
}

}  // namespace

ScrollBar::ScrollBar() {
  SetFixedWidth(kDefaultBarSize, false, false);
  SetFloat(true);
}

ScrollBar::~ScrollBar() = default;

void ScrollBar::SetHorizontal(bool horizontal) {
  if (horizontal_ == horizontal) return;
  horizontal_ = horizontal;
  if (horizontal_) {
    const int height = GetFixedWidth() > 0 ? GetFixedWidth() : kDefaultBarSize;
    SetFixedWidth(kStretch, false, false);
    if (GetFixedHeight() <= 0) SetFixedHeight(height, false, false);
  } else {
    const int width = GetFixedHeight() > 0 ? GetFixedHeight() : kDefaultBarSize;
    SetFixedHeight(kStretch, false, false);
    if (GetFixedWidth() <= 0) SetFixedWidth(width, false, false);
  }
  ComputeParts();
}

void ScrollBar::SetScrollRange(int64_t range) {
  if (range < 0) range = 0;
  if (range_ == range) return;
  range_ = range;
  if (position_ > range_) position_ = range_;
  if (range_ == 0) {
    SetVisible(false);
  } else if (!auto_hide_ && !IsVisibleAsSet()) {
    SetFadeVisible(true);
  }
  ComputeParts();
  Invalidate();
}

void ScrollBar::SetScrollPos(int64_t position) {
  position = std::clamp<int64_t>(position, 0, range_);
  if (position_ == position) return;
  position_ = position;
  ComputeParts();
  Invalidate();
}

void ScrollBar::SetShowButton1(bool show) {
  show_button1_ = show;
  ComputeParts();
  Invalidate();
}

void ScrollBar::SetShowButton2(bool show) {
  show_button2_ = show;
  ComputeParts();
  Invalidate();
}

// --- Attributes ---

void ScrollBar::SetPartImage(ImageSlot slot, ControlStateType state, const std::wstring& image) {
  images_[slot][state].SetImageString(image);
  Invalidate();
}

void ScrollBar::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (!ScrollBarAttributes().Apply(*this, name, value)) Control::SetAttribute(name, value);
}

// --- Geometry ---

void ScrollBar::SetBounds(const RECT& rect) {
  Control::SetBounds(rect);
  ComputeParts();
}

int ScrollBar::Length() const { return horizontal_ ? GetWidth() : GetHeight(); }

int ScrollBar::ThumbLength() const {
  return horizontal_ ? thumb_rect_.right - thumb_rect_.left : thumb_rect_.bottom - thumb_rect_.top;
}

void ScrollBar::ComputeParts() {
  const RECT& r = GetRect();
  // Worked along the bar's axis (a, cross c) and mapped back at the end.
  const int lead = horizontal_ ? r.left : r.top;
  const int trail = horizontal_ ? r.right : r.bottom;
  const int cross0 = horizontal_ ? r.top : r.left;
  const int cross1 = horizontal_ ? r.bottom : r.right;
  const int length = trail - lead;
  int button = horizontal_ ? GetFixedHeight() : GetFixedWidth();
  if (button < 0) button = cross1 - cross0;
  const int shown = (show_button1_ ? 1 : 0) + (show_button2_ ? 1 : 0);
  const int track = length - button * shown;
  auto make = [&](int a0, int a1) {
    return horizontal_ ? RECT{a0, cross0, a1, cross1} : RECT{cross0, a0, cross1, a1};
  };

  int b1_end = lead;
  int b2_start = trail;
  if (button >= track) {
    const int half = std::min(button, length / 2);
    if (show_button1_) b1_end = lead + half;
    if (show_button2_) b2_start = trail - half;
    button1_rect_ = make(lead, b1_end);
    button2_rect_ = make(b2_start, trail);
    thumb_rect_ = RECT{0, 0, 0, 0};
    return;
  }
  if (show_button1_) b1_end = lead + button;
  if (show_button2_) b2_start = trail - button;
  button1_rect_ = make(lead, b1_end);
  button2_rect_ = make(b2_start, trail);
  if (range_ <= 0 || length <= 0) {
    thumb_rect_ = RECT{0, 0, 0, 0};
    return;
  }
  int64_t thumb = static_cast<int64_t>(length) * track / (length + range_);
  thumb = std::max<int64_t>(thumb, thumb_min_length_);
  int64_t top = b1_end + (track - thumb) * position_ / range_;
  if (top + thumb > b2_start) top = b2_start - thumb;
  thumb_rect_ = make(static_cast<int>(top), static_cast<int>(top + thumb));
}

ScrollBar::Part ScrollBar::HitTest(POINT point) const {
  if (Contains(button1_rect_, point)) return kPartButton1;
  if (Contains(button2_rect_, point)) return kPartButton2;
  if (Contains(thumb_rect_, point)) return kPartThumb;
  if (IsEmptyRect(thumb_rect_)) return kPartNone;
  const int along = horizontal_ ? point.x : point.y;
  const int thumb_lead = horizontal_ ? thumb_rect_.left : thumb_rect_.top;
  return along < thumb_lead ? kPartTrackBefore : kPartTrackAfter;
}

// --- Input ---

void ScrollBar::SetEnabled(bool enabled) {
  Control::SetEnabled(enabled);
  const ControlStateType state = enabled ? kControlStateNormal : kControlStateDisabled;
  SetPartStates(state, state, state);
}

void ScrollBar::SetPartStates(ControlStateType button1, ControlStateType button2,
                              ControlStateType thumb) {
  if (button1_state_ == button1 && button2_state_ == button2 && thumb_state_ == thumb) return;
  button1_state_ = button1;
  button2_state_ = button2;
  thumb_state_ = thumb;
  Invalidate();
}

void ScrollBar::HandleMessage(EventArgs& args) {
  if (!IsMouseEnabled() && IsMouseEvent(args.type)) {
    if (owner_ != nullptr) {
      owner_->DispatchEvent(args);
    } else if (GetParent() != nullptr) {
      GetParent()->DispatchEvent(args);
    }
    return;
  }
  // The parts are kept in the owner's coordinates; the mouse comes in client
  // coordinates after the scrolling of the boxes around the owner.
  const RECT& rect = GetRect();
  const RECT shown = GetRectWithScrollOffset();
  const POINT point = {args.mouse.x + rect.left - shown.left, args.mouse.y + rect.top - shown.top};
  switch (args.type) {
    case kEventMouseButtonDown:
    case kEventInternalDoubleClick:
    case kEventPointDown:
      if (IsEnabled()) OnPress(point);
      return;
    case kEventMouseButtonUp:
    case kEventPointUp:
      OnRelease(point, args.mouse);
      return;
    case kEventMouseMove:
    case kEventPointMove:
      OnMove(point);
      return;
    case kEventMouseEnter:
    case kEventMouseLeave:
      if (args.type == kEventMouseEnter) {
        OnMouseEnter(args);
      } else {
        if (pressed_part_ == kPartNone && IsEnabled()) {
          SetPartStates(kControlStateNormal, kControlStateNormal, kControlStateNormal);
        }
        OnMouseLeave(args);
      }
      // The owner decides whether its auto-hiding bars stay.
      if (owner_ != nullptr) {
        owner_->DispatchEvent(args);
      } else if (GetParent() != nullptr) {
        GetParent()->DispatchEvent(args);
      }
      return;
    case kEventSetCursor:
    case kEventInternalSetFocus:
    case kEventInternalKillFocus:
      Control::HandleMessage(args);
      return;
    default:
      // Wheel, keys and the rest scroll the owner.
      if (owner_ != nullptr) {
        owner_->DispatchEvent(args);
      } else if (GetParent() != nullptr) {
        GetParent()->DispatchEvent(args);
      }
      return;
  }
}

void ScrollBar::OnPress(POINT point) {
  repeat_flag_.Cancel();
  ticks_ = 0;
  TimerManager::Current().AddTimer(
      repeat_flag_.GetWeakFlag(), [this] { OnRepeatTick(); }, kRepeatIntervalMs,
      TimerManager::kRepeatForever);
  last_point_ = point;
  pressed_part_ = HitTest(point);
  switch (pressed_part_) {
    case kPartButton1:
      SetPartStates(kControlStatePushed, button2_state_, thumb_state_);
      StepLine(false);
      break;
    case kPartButton2:
      SetPartStates(button1_state_, kControlStatePushed, thumb_state_);
      StepLine(true);
      break;
    case kPartThumb:
      SetPartStates(button1_state_, button2_state_, kControlStatePushed);
      drag_start_point_ = point;
      drag_start_position_ = position_;
      drag_offset_ = 0;
      break;
    case kPartTrackBefore:
      StepPage(false);
      break;
    case kPartTrackAfter:
      StepPage(true);
      break;
    case kPartNone:
      break;
  }
}

void ScrollBar::OnRelease(POINT point, POINT client_point) {
  repeat_flag_.Cancel();
  pressed_part_ = kPartNone;
  if (!IsEnabled()) return;
  const RECT& rect = GetRect();
  const bool inside = ::PtInRect(&rect, point) != FALSE;
  const Part part = inside ? HitTest(point) : kPartNone;
  SetPartStates(part == kPartButton1 ? kControlStateHot : kControlStateNormal,
                part == kPartButton2 ? kControlStateHot : kControlStateNormal,
                part == kPartThumb ? kControlStateHot : kControlStateNormal);
  if (auto_hide_ && owner_ != nullptr && IsVisible()) {
    const RECT owner_rect = owner_->GetRectWithScrollOffset();
    if (::PtInRect(&owner_rect, client_point) == FALSE) SetFadeVisible(false);
  }
}

void ScrollBar::OnMove(POINT point) {
  last_point_ = point;
  if (pressed_part_ == kPartThumb) {
    // The thumb travels the track less its own length for the whole range.
    const int travel = (horizontal_ ? button2_rect_.left - button1_rect_.right
                                    : button2_rect_.top - button1_rect_.bottom) -
                       ThumbLength();
    const int moved = horizontal_ ? point.x - drag_start_point_.x : point.y - drag_start_point_.y;
    drag_offset_ = travel > 0 ? static_cast<int64_t>(moved) * range_ / travel : 0;
    return;
  }
  if (pressed_part_ != kPartNone || !IsEnabled()) return;
  const Part part = HitTest(point);
  SetPartStates(part == kPartButton1 ? kControlStateHot : kControlStateNormal,
                part == kPartButton2 ? kControlStateHot : kControlStateNormal,
                part == kPartThumb ? kControlStateHot : kControlStateNormal);
}

void ScrollBar::OnRepeatTick() {
  ++ticks_;
  switch (pressed_part_) {
    case kPartThumb:
      ScrollTo(drag_start_position_ + drag_offset_);
      return;
    case kPartButton1:
    case kPartButton2:
      if (ticks_ > kRepeatDelayTicks) StepLine(pressed_part_ == kPartButton2);
      return;
    case kPartTrackBefore:
    case kPartTrackAfter: {
      if (ticks_ <= kRepeatDelayTicks) return;
      const Part now = HitTest(last_point_);
      // Paging stops once the thumb has reached the cursor.
      if (now == pressed_part_) StepPage(pressed_part_ == kPartTrackAfter);
      return;
    }
    case kPartNone:
      repeat_flag_.Cancel();
      return;
  }
}

void ScrollBar::StepLine(bool forward) {
  if (owner_ == nullptr) {
    SetScrollPos(position_ + (forward ? line_size_ : -line_size_));
  } else if (horizontal_) {
    forward ? owner_->LineRight() : owner_->LineLeft();
  } else {
    forward ? owner_->LineDown() : owner_->LineUp();
  }
}

void ScrollBar::StepPage(bool forward) {
  if (owner_ == nullptr) {
    const int page = Length();
    SetScrollPos(position_ + (forward ? page : -page));
  } else if (horizontal_) {
    forward ? owner_->PageRight() : owner_->PageLeft();
  } else {
    forward ? owner_->PageDown() : owner_->PageUp();
  }
}

void ScrollBar::ScrollTo(int64_t position) {
  if (owner_ == nullptr) {
    SetScrollPos(position);
    return;
  }
  position = std::clamp<int64_t>(position, 0, range_);
  if (horizontal_) {
    owner_->SetScrollPosX(static_cast<int>(position));
  } else {
    owner_->SetScrollPosY(static_cast<int>(position));
  }
}

// --- Painting ---

void ScrollBar::PaintPart(IRenderContext* context, ImageSlot slot, ControlStateType state,
                          const RECT& rect) {
  if (IsEmptyRect(rect)) return;
  ImageAttribute* image = &images_[slot][state];
  if (image->file.empty()) image = &images_[slot][kControlStateNormal];
  if (image->file.empty()) return;
  const RECT& own = GetRect();
  const std::wstring dest = L"destscale='false' dest='" + std::to_wstring(rect.left - own.left) +
                            L"," + std::to_wstring(rect.top - own.top) + L"," +
                            std::to_wstring(rect.right - own.left) + L"," +
                            std::to_wstring(rect.bottom - own.top) + L"'";
  DrawImage(context, *image, dest);
}

void ScrollBar::PaintSelf(IRenderContext* context, const RECT& dirty) {
  Control::PaintSelf(context, dirty);
  ControlStateType bar_state = kControlStateNormal;
  if (!IsEnabled()) {
    bar_state = kControlStateDisabled;
  } else if (pressed_part_ != kPartNone) {
    bar_state = kControlStatePushed;
  } else if (button1_state_ == kControlStateHot || button2_state_ == kControlStateHot ||
             thumb_state_ == kControlStateHot) {
    bar_state = kControlStateHot;
  }
  PaintPart(context, kBackground, bar_state, GetRect());
  if (show_button1_) PaintPart(context, kButton1, button1_state_, button1_rect_);
  if (show_button2_) PaintPart(context, kButton2, button2_state_, button2_rect_);
  PaintPart(context, kThumb, thumb_state_, thumb_rect_);
  PaintPart(context, kRail, thumb_state_, thumb_rect_);
}

void ScrollBar::LoadImageCache() {
  Control::LoadImageCache();
  const std::wstring folder = GetResourceFolder();
  for (auto& slot : images_) {
    for (ImageAttribute& image : slot) {
      if (!image.file.empty()) LoadAttributeImage(folder, image);
    }
  }
}

void ScrollBar::UnloadImageCache() {
  Control::UnloadImageCache();
  for (auto& slot : images_) {
    for (ImageAttribute& image : slot) image.image.reset();
  }
}

}  // namespace ui
