#include "ui/control/control.h"

#include <algorithm>
#include <string_view>
#include <utility>

#include "ui/animation/timer_manager.h"
#include "ui/control/attribute_parsing.h"
#include "ui/control/attribute_table.h"
#include "ui/control/box.h"
#include "ui/core/global_manager.h"
#include "ui/core/high_contrast.h"
#include "ui/core/skin_image.h"
#include "ui/core/window.h"
#include "ui/render/render.h"

namespace ui {

namespace {

bool IsRoundRect(SIZE round) { return round.cx > 0 || round.cy > 0; }

// "stretch", "auto" or a number.
int LimitValue(const std::wstring& value) {
  if (value == L"stretch") return PlaceHolder::kStretch;
  if (value == L"auto") return PlaceHolder::kAuto;
  return ParseInt(value.c_str());
}

// As LimitValue, but a number below kAuto leaves the size |unchanged|.
int SizeValue(const std::wstring& value, int unchanged) {
  const int number = LimitValue(value);
  return number < PlaceHolder::kAuto ? unchanged : number;
}

// --- Attribute setters with their own value forms ---

void SetHorAlignWord(Control& control, const std::wstring& value) {
  if (value == L"left") control.SetHorAlign(kHorAlignLeft);
  if (value == L"center") control.SetHorAlign(kHorAlignCenter);
  if (value == L"right") control.SetHorAlign(kHorAlignRight);
}

void SetVerAlignWord(Control& control, const std::wstring& value) {
  if (value == L"top") control.SetVerAlign(kVerAlignTop);
  if (value == L"center") control.SetVerAlign(kVerAlignCenter);
  if (value == L"bottom") control.SetVerAlign(kVerAlignBottom);
}

// One number for a uniform border, "l,t,r,b" (anything with a comma) for
// the four sides.
void SetBorderSizeValue(Control& control, const std::wstring& value) {
  if (value.find(L',') == std::wstring::npos) {
    control.SetBorderSize(ParseInt(value.c_str()));
  } else {
    control.SetSideBorderSizes(ParseRect(value));
  }
}

template <LONG RECT::*Side>
void SetSideBorderSize(Control& control, const std::wstring& value) {
  RECT sides = control.GetSideBorderSizes();
  sides.*Side = ParseInt(value.c_str());
  control.SetSideBorderSizes(sides);
}

void SetFixedWidthValue(Control& control, const std::wstring& value) {
  control.SetFixedWidth(SizeValue(value, control.GetFixedWidth()));
}

void SetFixedHeightValue(Control& control, const std::wstring& value) {
  control.SetFixedHeight(SizeValue(value, control.GetFixedHeight()));
}

void SetMaxWidthValue(Control& control, const std::wstring& value) {
  control.SetMaxWidth(LimitValue(value));
}

void SetMaxHeightValue(Control& control, const std::wstring& value) {
  control.SetMaxHeight(LimitValue(value));
}

// Normal and hot also set the hot fade's end point.
void SetStateWord(Control& control, const std::wstring& value) {
  if (value == L"normal") {
    control.SetState(kControlStateNormal);
    control.SetHotAlpha(0);
  } else if (value == L"hot") {
    control.SetState(kControlStateHot);
    control.SetHotAlpha(255);
  } else if (value == L"pushed") {
    control.SetState(kControlStatePushed);
  } else if (value == L"disabled") {
    control.SetState(kControlStateDisabled);
  }
}

void SetAccessibleRoleWord(Control& control, const std::wstring& value) {
  AccessibleRole role = AccessibleRole::kNone;
  if (ParseAccessibleRole(value, role)) control.SetAccessibleRole(role);
}

void SetCursorWord(Control& control, const std::wstring& value) {
  if (value == L"arrow") control.SetCursorType(kCursorArrow);
  if (value == L"hand") control.SetCursorType(kCursorHand);
  if (value == L"ibeam") control.SetCursorType(kCursorIBeam);
}

// Any value, even "false", turns the focus off.
void SetNoFocusAnyValue(Control& control, const std::wstring& /*value*/) { control.SetNoFocus(); }

template <ControlStateType State>
void SetStateColorValue(Control& control, const std::wstring& value) {
  control.SetStateColor(State, value);
}

template <StateImageLayer Layer, ControlStateType State>
void SetStateImageValue(Control& control, const std::wstring& value) {
  control.SetStateImage(Layer, State, value);
}

template <void (ControlAnimations::*Set)(bool)>
void SetFadeSwitch(Control& control, const std::wstring& value) {
  (control.Animations().*Set)(ParseSwitch(value));
}

const AttributeTable<Control>& ControlAttributes() {
  using C = Control;
  static const AttributeTable<Control> table = {
      // Identity and geometry.
      {L"class", TextAttribute<C, &C::SetClass>},
      {L"name", TextAttribute<C, &C::SetName>},
      {L"dataid", TextAttribute<C, &C::SetDataId>},
      {L"halign", SetHorAlignWord},
      {L"valign", SetVerAlignWord},
      {L"margin", ScaledRectAttribute<C, &C::SetMargin>},
      {L"width", SetFixedWidthValue},
      {L"height", SetFixedHeightValue},
      {L"minwidth", ScaledIntAttribute<C, &C::SetMinWidth>},
      {L"minheight", ScaledIntAttribute<C, &C::SetMinHeight>},
      {L"maxwidth", SetMaxWidthValue},
      {L"maxheight", SetMaxHeightValue},
      {L"float", SwitchAttribute<C, &C::SetFloat>},
      {L"renderoffset", PointAttribute<C, &C::SetRenderOffset>},
      // Look.
      {L"bkcolor", TextAttribute<C, &C::SetBkColor>},
      {L"bkcolor1", TextAttribute<C, &C::SetBkColor>},
      {L"normalcolor", SetStateColorValue<kControlStateNormal>},
      {L"hotcolor", SetStateColorValue<kControlStateHot>},
      {L"pushedcolor", SetStateColorValue<kControlStatePushed>},
      {L"disabledcolor", SetStateColorValue<kControlStateDisabled>},
      {L"bordercolor", TextAttribute<C, &C::SetBorderColor>},
      {L"bordersize", SetBorderSizeValue},
      {L"leftbordersize", SetSideBorderSize<&RECT::left>},
      {L"topbordersize", SetSideBorderSize<&RECT::top>},
      {L"rightbordersize", SetSideBorderSize<&RECT::right>},
      {L"bottombordersize", SetSideBorderSize<&RECT::bottom>},
      {L"borderround", SizeAttribute<C, &C::SetBorderRound>},
      {L"bkimage", TextAttribute<C, &C::SetBkImage>},
      {L"normalimage", SetStateImageValue<kStateImageBackground, kControlStateNormal>},
      {L"hotimage", SetStateImageValue<kStateImageBackground, kControlStateHot>},
      {L"pushedimage", SetStateImageValue<kStateImageBackground, kControlStatePushed>},
      {L"disabledimage", SetStateImageValue<kStateImageBackground, kControlStateDisabled>},
      {L"forenormalimage", SetStateImageValue<kStateImageForeground, kControlStateNormal>},
      {L"forehotimage", SetStateImageValue<kStateImageForeground, kControlStateHot>},
      {L"forepushedimage", SetStateImageValue<kStateImageForeground, kControlStatePushed>},
      {L"foredisabledimage", SetStateImageValue<kStateImageForeground, kControlStateDisabled>},
      {L"alpha", IntAttribute<C, &C::SetAlpha>},
      {L"state", SetStateWord},
      {L"cursortype", SetCursorWord},
      {L"tooltiptext", TextAttribute<C, &C::SetToolTipText>},
      {L"tooltiptextid", TextAttribute<C, &C::SetToolTipTextId>},
      {L"accname", TextAttribute<C, &C::SetAccName>},
      {L"accrole", SetAccessibleRoleWord},
      // Interaction and visibility.
      {L"enabled", SwitchAttribute<C, &C::SetEnabled>},
      {L"mouse", SwitchAttribute<C, &C::SetMouseEnabled>},
      {L"keyboard", SwitchAttribute<C, &C::SetKeyboardEnabled>},
      {L"nofocus", SetNoFocusAnyValue},
      {L"menu", SwitchAttribute<C, &C::SetContextMenuUsed>},
      {L"receivepointer", SwitchAttribute<C, &C::SetReceivePointer>},
      {L"visible", SwitchAttribute<C, &C::SetVisible>},
      {L"fadevisible", SwitchAttribute<C, &C::SetFadeVisible>},
      {L"cache", SwitchAttribute<C, &C::SetUseCache>},
      // Animations.
      {L"fadealpha", SetFadeSwitch<&ControlAnimations::SetFadeAlpha>},
      {L"fadehot", SetFadeSwitch<&ControlAnimations::SetFadeHot>},
      {L"fadewidth", SetFadeSwitch<&ControlAnimations::SetFadeWidth>},
      {L"fadeheight", SetFadeSwitch<&ControlAnimations::SetFadeHeight>},
      {L"fadeinoutxfromleft", SetFadeSwitch<&ControlAnimations::SetFadeInOutXFromLeft>},
      {L"fadeinoutxfromright", SetFadeSwitch<&ControlAnimations::SetFadeInOutXFromRight>},
      {L"fadeinoutyfromtop", SetFadeSwitch<&ControlAnimations::SetFadeInOutYFromTop>},
      {L"fadeinoutyfrombottom", SetFadeSwitch<&ControlAnimations::SetFadeInOutYFromBottom>},
  };
  return table;
}

// Ids are handed out on the UI thread only; 0 is never one (it names the
// window's own object) and negative values are how events name controls.
long NextAccessibleId() {
  static long last = 0;
  if (last == 0x7FFFFFFF) last = 0;
  return ++last;
}

}  // namespace

Control::Control() : accessible_id_(NextAccessibleId()) {}

Control::~Control() {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  background_play_flag_.Cancel();
}

void Control::SetWindow(Window* window, Box* parent, bool /*init*/) {
  SetAttachment(window, parent);
}

// --- Tree ---

Control* Control::FindControl(FindControlProc proc, void* data, UINT flags,
                              POINT /*scroll_offset*/) {
  return PassesFindFilter(data, flags) ? proc(this, data) : nullptr;
}

bool Control::PassesFindFilter(const void* data, UINT flags) const {
  if ((flags & kFindVisible) != 0 && !IsVisible()) return false;
  if ((flags & kFindEnabled) != 0 && !IsEnabled()) return false;
  if ((flags & kFindHitTest) != 0) {
    const RECT& rect = GetRect();
    if (!::PtInRect(&rect, *static_cast<const POINT*>(data))) return false;
  }
  return true;
}

RECT Control::GetRectWithScrollOffset() const {
  RECT rect = GetRect();
  for (const Box* box = GetParent(); box != nullptr; box = box->GetParent()) {
    const POINT offset = box->GetScrollOffset();
    ::OffsetRect(&rect, -offset.x, -offset.y);
  }
  return rect;
}

bool Control::IsPointInWithScrollOffset(POINT point) const {
  const RECT rect = GetRectWithScrollOffset();
  return ::PtInRect(&rect, point) != FALSE;
}

bool Control::IsSelfOrAncestorOf(const Control* control) const {
  for (const Control* c = control; c != nullptr; c = c->GetParent()) {
    if (c == this) return true;
  }
  return false;
}

// --- Attributes ---

void Control::SetAttribute(const std::wstring& name, const std::wstring& value) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  ControlAttributes().Apply(*this, name, value);
}

void Control::SetClass(const std::wstring& classes) {
  for (const std::wstring& name : SplitBySpaces(classes)) {
    std::wstring list = GlobalManager::GetClassAttributes(name);
    if (list.empty() && GetWindow() != nullptr) list = GetWindow()->GetClassAttributes(name);
    if (!list.empty()) ApplyAttributeList(list);
  }
}

namespace {

// Attributes whose setters scale what they read by the display scale, fonts
// (made again at each scale) and images (their "dest" and decoded file).
bool FollowsDisplayScale(const std::wstring& name) {
  static const wchar_t* const kLengths[] = {
      L"borderround",      L"bordersize",  L"bottombordersize", L"childmargin", L"font",
      L"height",           L"itemsize",    L"leftbordersize",   L"margin",      L"maxheight",
      L"maxwidth",         L"minheight",   L"minwidth",         L"padding",     L"rightbordersize",
      L"scrollbarpadding", L"textpadding", L"topbordersize",    L"width"};
  for (const wchar_t* length : kLengths) {
    if (name == length) return true;
  }
  constexpr std::wstring_view kImage = L"image";
  return name.size() > kImage.size() &&
         std::wstring_view(name).substr(name.size() - kImage.size()) == kImage;
}

}  // namespace

void Control::ApplyAttribute(const std::wstring& name, const std::wstring& value) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  if (FollowsDisplayScale(name)) {
    const auto same = std::find_if(scaled_attributes_.begin(), scaled_attributes_.end(),
                                   [&name](const auto& entry) { return entry.first == name; });
    if (same != scaled_attributes_.end()) scaled_attributes_.erase(same);
    scaled_attributes_.emplace_back(name, value);
  }
  SetAttribute(name, value);
}

void Control::ReapplyScaledAttributes() {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  RescaleSize();
  // A copy: setters may apply further lists.
  const auto written = scaled_attributes_;
  for (const auto& [name, value] : written) SetAttribute(name, value);
}

void Control::ApplyAttributeList(const std::wstring& list) {
  ForEachAttribute(list, [this](const std::wstring& name, const std::wstring& value) {
    ApplyAttribute(name, value);
  });
}

bool Control::ApplyAttributeListOnEvent(const std::wstring& receiver, const std::wstring& list,
                                        const EventArgs& /*args*/) {
  Window* window = GetWindow();
  if (window == nullptr) return true;
  Control* target = nullptr;
  if (receiver.size() >= 2 && receiver[0] == L'.' &&
      (receiver[1] == L'/' || receiver[1] == L'\\')) {
    target = window->FindSubControlByName(this, receiver.substr(2));
  } else {
    target = window->FindControlByName(receiver);
  }
  if (target != nullptr) target->ApplyAttributeList(list);
  return true;
}

EventCallback Control::MakeAttributeListHandler(const std::wstring& receiver,
                                                const std::wstring& list) {
  return ToWeakCallback([this, receiver, list](const EventArgs& args) {
    return ApplyAttributeListOnEvent(receiver, list, args);
  });
}

// --- State ---

void Control::SetState(ControlStateType state) {
  if (state_ == state) return;
  state_ = state;
  Invalidate();
}

void Control::SetHotAlpha(int alpha) {
  alpha = std::clamp(alpha, 0, 255);
  if (hot_alpha_ == alpha) return;
  hot_alpha_ = alpha;
  Invalidate();
}

void Control::SetAlpha(int alpha) {
  alpha = std::clamp(alpha, 0, 255);
  if (alpha_ == alpha) return;
  alpha_ = alpha;
  if (alpha_ == 255 && !use_cache_) cache_.reset();
  // The cached picture stays valid: only the blending changes.
  InvalidateWindowArea();
}

void Control::SetEnabled(bool enabled) {
  if (enabled_ == enabled) return;
  enabled_ = enabled;
  if (enabled_) {
    state_ = kControlStateNormal;
    hot_alpha_ = 0;
  } else {
    state_ = kControlStateDisabled;
  }
  Invalidate();
  NotifyAccessibleEvent(EVENT_OBJECT_STATECHANGE);
}

void Control::SetUseCache(bool use) {
  if (use_cache_ == use) return;
  use_cache_ = use;
  if (!use_cache_ && alpha_ == 255) cache_.reset();
  Invalidate();
}

// --- Look ---

void Control::SetBkColor(const std::wstring& color) {
  const std::wstring trimmed = TrimLeadingBlanks(color);
  if (bk_color_ == trimmed) return;
  bk_color_ = trimmed;
  Invalidate();
}

void Control::SetStateColor(ControlStateType state, const std::wstring& color) {
  if (state_colors_[state] == color) return;
  state_colors_[state] = color;
  Invalidate();
}

void Control::SetBorderColor(const std::wstring& color) {
  if (border_color_ == color) return;
  border_color_ = color;
  Invalidate();
}

void Control::SetBorderSize(int size) {
  border_size_ = GlobalManager::ScaleLength(size);
  side_border_sizes_ = RECT{0, 0, 0, 0};
  Invalidate();
}

void Control::SetSideBorderSizes(const RECT& sizes) {
  side_border_sizes_ = sizes;
  GlobalManager::ScaleRect(side_border_sizes_);
  Invalidate();
}

void Control::SetBorderRound(SIZE round) {
  border_round_.cx = GlobalManager::ScaleLength(round.cx);
  border_round_.cy = GlobalManager::ScaleLength(round.cy);
  Invalidate();
}

void Control::SetBkImage(const std::wstring& image) {
  StopBackgroundPlay();
  bk_image_.SetImageString(image);
  OnImageChanged();
}

void Control::SetStateImage(StateImageLayer layer, ControlStateType state,
                            const std::wstring& image) {
  state_images_[layer][state].SetImageString(image);
  if (state == kControlStateHot) Animations().SetFadeHot(true);
  OnImageChanged();
}

void Control::OnImageChanged() {
  if (GetFixedWidth() == kAuto || GetFixedHeight() == kAuto) {
    RelayoutUpward();
  } else {
    Invalidate();
  }
}

bool Control::HasHotState() const {
  return !state_colors_[kControlStateHot].empty() ||
         !state_images_[kStateImageBackground][kControlStateHot].file.empty() ||
         !state_images_[kStateImageForeground][kControlStateHot].file.empty();
}

void Control::SetRenderOffset(POINT offset) {
  if (render_offset_.x == offset.x && render_offset_.y == offset.y) return;
  render_offset_ = offset;
  Invalidate();
}

void Control::ApplyAnimatedOffsetX(int x) { SetRenderOffset(POINT{x, render_offset_.y}); }

void Control::ApplyAnimatedOffsetY(int y) { SetRenderOffset(POINT{render_offset_.x, y}); }

std::wstring Control::GetToolTipText() const {
  if (tooltip_text_.empty() && !tooltip_text_id_.empty()) {
    return GlobalManager::GetText(tooltip_text_id_);
  }
  return tooltip_text_;
}

void Control::SetToolTipText(const std::wstring& text) { tooltip_text_ = text; }

void Control::SetToolTipTextId(const std::wstring& id) { tooltip_text_id_ = id; }

// --- Accessibility ---

AccessibleRole Control::GetAccessibleRole() const {
  return acc_role_set_ ? acc_role_ : DefaultAccessibleRole();
}

void Control::SetAccessibleRole(AccessibleRole role) {
  acc_role_ = role;
  acc_role_set_ = true;
}

AccessibleRole Control::DefaultAccessibleRole() const {
  const bool picture = !bk_image_.file.empty() ||
                       !state_images_[kStateImageBackground][kControlStateNormal].file.empty();
  return picture && !GetAccessibleName().empty() ? AccessibleRole::kGraphic : AccessibleRole::kNone;
}

std::wstring Control::GetAccessibleName() const {
  std::wstring tooltip = GetToolTipText();
  return tooltip.empty() ? acc_name_ : tooltip;
}

void Control::SetAccName(const std::wstring& name) {
  if (acc_name_ == name) return;
  acc_name_ = name;
  NotifyAccessibleEvent(EVENT_OBJECT_NAMECHANGE);
}

void Control::NotifyAccessibleEvent(DWORD event) {
  if (Window* window = GetWindow()) window->NotifyAccessibleEvent(event, this);
}

// --- Animations ---

ControlAnimations& Control::Animations() {
  if (animations_ == nullptr) {
    animations_ = std::make_unique<ControlAnimations>(this, TimerManager::CurrentForTesting());
  }
  return *animations_;
}

AnimationPlayer* Control::GetAnimationPlayer(AnimationType type) const {
  return animations_ != nullptr ? animations_->GetAnimationPlayer(type) : nullptr;
}

void Control::SetFadeVisible(bool visible) {
  if (animations_ == nullptr) {
    SetVisible(visible);
  } else if (visible) {
    animations_->Appear();
  } else {
    animations_->Disappear();
  }
}

void Control::SetAnimationTimerManager(TimerManager* timers) {
  TimerManager::SetCurrentForTesting(timers);
}

TimerManager* Control::GetAnimationTimerManager() { return TimerManager::CurrentForTesting(); }

// --- Events ---

void Control::AttachEvent(EventType type, EventCallback callback) {
  code_events_.Add(type, std::move(callback));
}

void Control::AttachMarkupEvent(EventType type, EventCallback callback) {
  markup_events_.Add(type, std::move(callback));
}

void Control::DetachEvent(EventType type) { code_events_.Remove(type); }

bool Control::RunHandlers(const EventHandlerTable& code, const EventHandlerTable& markup,
                          const EventArgs& args, const std::weak_ptr<cbase::WeakFlag>& alive,
                          bool& go) {
  // Each list that runs decides the flag (an "all" list may turn a yes into
  // a no), and nothing runs once the flag is false.
  const struct {
    const EventHandlerTable* table;
    EventType type;
  } steps[] = {{&code, args.type}, {&code, kEventAll}, {&markup, args.type}, {&markup, kEventAll}};
  for (const auto& step : steps) {
    if (!go) break;
    bool ran = false;
    bool result = true;
    for (size_t i = 0;; ++i) {
      const EventCallback* handler = step.table->At(step.type, i);
      if (handler == nullptr) break;
      ran = true;
      EventCallback call = *handler;  // the list may change under the call
      result = call(args);
      if (alive.expired()) return false;
      if (!result) break;
    }
    if (ran) go = result;
  }
  return true;
}

bool Control::RunOwnHandlers(const EventArgs& args, bool& go) {
  if (code_events_.empty() && markup_events_.empty()) return true;
  return RunHandlers(code_events_, markup_events_, args, GetWeakFlag(), go);
}

void Control::DispatchEvent(EventArgs& args) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  if (IsInternalEvent(args.type)) {
    HandleMessage(args);
    return;
  }
  bool go = true;
  if (args.sender == this && !RunOwnHandlers(args, go)) return;
  if (!RunBubbledHandlers(args, go)) return;
  if (go) HandleMessage(args);
}

void Control::HandleMessage(EventArgs& args) {
  Window* window = GetWindow();
  if (!mouse_enabled_ && IsMouseEvent(args.type)) {
    if (GetParent() != nullptr) GetParent()->DispatchEvent(args);
    return;
  }
  switch (args.type) {
    case kEventInternalMenu:
      if (enabled_ && context_menu_used_) {
        if (window != nullptr) window->SendEvent(this, kEventMouseMenu, args.wparam, args.lparam);
        return;
      }
      break;
    case kEventMouseEnter:
      if (args.sender != this && window != nullptr &&
          !IsSelfOrAncestorOf(window->GetHoverControl())) {
        return;
      }
      OnMouseEnter(args);
      break;
    case kEventMouseLeave:
      if (args.sender != this && window != nullptr &&
          IsSelfOrAncestorOf(window->GetHoverControl())) {
        return;
      }
      OnMouseLeave(args);
      break;
    case kEventMouseButtonDown:
    case kEventInternalDoubleClick:
      OnButtonDown(args);
      return;
    case kEventPointDown:
      if (!receive_pointer_) break;
      OnButtonDown(args);
      return;
    case kEventMouseButtonUp:
      OnButtonUp(args, false);
      return;
    case kEventPointUp:
      if (!receive_pointer_) break;
      OnButtonUp(args, true);
      return;
    case kEventInternalSetFocus:
      state_ = kControlStateHot;
      hot_alpha_ = 255;
      focused_ = true;
      Invalidate();
      return;
    case kEventInternalKillFocus:
      state_ = kControlStateNormal;
      hot_alpha_ = 0;
      focused_ = false;
      Invalidate();
      return;
    case kEventSetCursor: {
      const wchar_t* cursor = IDC_ARROW;
      if (cursor_type_ == kCursorHand && enabled_) cursor = IDC_HAND;
      if (cursor_type_ == kCursorIBeam) cursor = IDC_IBEAM;
      ::SetCursor(::LoadCursorW(nullptr, cursor));
      return;
    }
    default:
      break;
  }
  if (GetParent() != nullptr) GetParent()->DispatchEvent(args);
}

void Control::OnMouseEnter(const EventArgs& /*args*/) {
  if (!enabled_ || state_ != kControlStateNormal) return;
  state_ = kControlStateHot;
  if (HasHotState()) {
    if (AnimationPlayer* hot = GetAnimationPlayer(AnimationType::kHot)) hot->PlayForward();
  }
  Invalidate();
}

void Control::OnMouseLeave(const EventArgs& /*args*/) {
  if (!enabled_ || state_ != kControlStateHot) return;
  state_ = kControlStateNormal;
  if (HasHotState()) {
    if (AnimationPlayer* hot = GetAnimationPlayer(AnimationType::kHot)) hot->PlayBackward();
  }
  Invalidate();
}

void Control::OnButtonDown(const EventArgs& /*args*/) {
  if (!enabled_) return;
  state_ = kControlStatePushed;
  mouse_capture_ = true;
  Invalidate();
}

bool Control::OnButtonUp(const EventArgs& args, bool pointer) {
  if (!mouse_capture_) return false;
  mouse_capture_ = false;
  if (AnimationPlayer* hot = GetAnimationPlayer(AnimationType::kHot)) hot->Stop();
  Invalidate();
  if (!IsPointInWithScrollOffset(args.mouse)) {
    state_ = kControlStateNormal;
    hot_alpha_ = 0;
    return false;
  }
  if (pointer) {
    state_ = kControlStateNormal;
    hot_alpha_ = 0;
  } else {
    state_ = kControlStateHot;
    hot_alpha_ = 255;
  }
  // May delete this control: nothing may follow.
  Invoke();
  return true;
}

void Control::SendEvent(EventType type, WPARAM wparam, LPARAM lparam) {
  EventArgs args;
  args.type = type;
  args.sender = this;
  args.timestamp = ::GetTickCount();
  if (GetWindow() != nullptr) args.mouse = GetWindow()->GetLastMousePos();
  args.wparam = wparam;
  args.lparam = lparam;
  DispatchEvent(args);
}

// --- Layout ---

void Control::SetBounds(const RECT& rect) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  const RECT old = GetRect();
  PlaceHolder::SetBounds(rect);
  const RECT& now = GetRect();
  if (::EqualRect(&old, &now)) return;
  if (old.right - old.left != now.right - now.left ||
      old.bottom - old.top != now.bottom - now.top) {
    cache_dirty_ = true;
  }
  Window* window = GetWindow();
  if (window == nullptr || !IsVisible()) return;
  MarkAncestorCachesDirty();
  RECT area = now;
  if (!::IsRectEmpty(&old)) ::UnionRect(&area, &old, &now);
  const RECT shifted = GetRectWithScrollOffset();
  ::OffsetRect(&area, shifted.left - now.left, shifted.top - now.top);
  window->Invalidate(area);
}

SIZE Control::DesiredSize(SIZE available) {
  const int width = GetFixedWidth();
  const int height = GetFixedHeight();
  if (width != kAuto && height != kAuto) return SIZE{width, height};
  if (!NeedsReEstimate()) return estimate_;
  // Cleared first: a content whose size depends on |available| sets it again.
  SetReEstimate(false);
  estimate_ = MeasureOwnContent(available);
  return estimate_;
}

SIZE Control::MeasureOwnContent(SIZE available) {
  SIZE size = {GetFixedWidth(), GetFixedHeight()};
  const bool auto_width = size.cx == kAuto;
  const bool auto_height = size.cy == kAuto;
  if (!auto_width && !auto_height) return size;
  // The background image, or else the normal image, gives the content size.
  SIZE image = {0, 0};
  ImageAttribute* estimate = nullptr;
  if (!bk_image_.file.empty()) {
    estimate = &bk_image_;
  } else if (!state_images_[kStateImageBackground][kControlStateNormal].file.empty()) {
    estimate = &state_images_[kStateImageBackground][kControlStateNormal];
  }
  if (estimate != nullptr && LoadAttributeImage(GetResourceFolder(), *estimate)) {
    image = GetDisplaySize(*estimate->image);
  }
  const SIZE text = EstimateText(available);
  if (auto_width) size.cx = std::max(image.cx, text.cx);
  if (auto_height) size.cy = std::max(image.cy, text.cy);
  return size;
}

SIZE Control::EstimateText(SIZE /*available*/) { return SIZE{0, 0}; }

void Control::SetVisible(bool visible) {
  const bool was_visible = IsVisible();
  PlaceHolder::SetVisible(visible);
  if (IsVisible() == was_visible) return;
  MarkAncestorCachesDirty();
  Window* window = GetWindow();
  if (window == nullptr) return;
  if (!IsVisible() && window->GetFocusControl() == this) window->SetFocusControl(nullptr);
  window->Invalidate(GetRectWithScrollOffset());
  if (GetAccessibleRole() != AccessibleRole::kNone) {
    NotifyAccessibleEvent(IsVisible() ? EVENT_OBJECT_SHOW : EVENT_OBJECT_HIDE);
  }
  if (GetAccessibleRole() == AccessibleRole::kDialog) window->OnDialogVisibilityChanged(this);
}

void Control::SetInternVisible(bool visible) {
  PlaceHolder::SetInternVisible(visible);
  Window* window = GetWindow();
  if (!visible && window != nullptr && window->GetFocusControl() == this) {
    window->SetFocusControl(nullptr);
  }
}

void Control::Invalidate() {
  // Also while hidden: the cached picture must not outlive a change.
  cache_dirty_ = true;
  if (IsVisible()) InvalidateWindowArea();
}

void Control::MarkAncestorCachesDirty() {
  // Ancestors that paint their children into a translucent picture must
  // repaint that picture.
  for (Control* box = GetParent(); box != nullptr; box = box->GetParent()) {
    if (box->alpha_ < 255) box->cache_dirty_ = true;
  }
}

void Control::InvalidateWindowArea() {
  MarkAncestorCachesDirty();
  if (GetWindow() != nullptr && IsVisible()) GetWindow()->Invalidate(GetRectWithScrollOffset());
}

// --- Painting ---

namespace {

// Where the paint under way starts; UI thread only.
const Control* g_paint_start = nullptr;

}  // namespace

void Control::PaintAsRoot(IRenderContext* context, const RECT& update, bool cull) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  Box* box = dynamic_cast<Box*>(this);
  g_paint_start = cull && box != nullptr ? box->FindOccluderAmongChildren(update, update) : nullptr;
  if (g_paint_start == nullptr) PaintSelf(context, update);
  PaintChildren(context, update);
  if (g_paint_start != nullptr) {
    // The start was not on the way after all: everything is painted.
    g_paint_start = nullptr;
    PaintSelf(context, update);
    PaintChildren(context, update);
  }
}

void Control::Paint(IRenderContext* context, const RECT& dirty) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  if (alpha_ == 0) return;
  const RECT& rect = GetRect();
  RECT overlap;
  if (!::IntersectRect(&overlap, &dirty, &rect)) return;
  // Before the start is reached only the way down to it is painted; the rest
  // lies under it.
  bool hidden = false;
  if (g_paint_start == this) {
    g_paint_start = nullptr;
  } else if (g_paint_start != nullptr) {
    const Control* ancestor = g_paint_start->GetParent();
    while (ancestor != nullptr && ancestor != this) ancestor = ancestor->GetParent();
    if (ancestor == nullptr) return;
    hidden = true;
  }
  if (!hidden && (alpha_ < 255 || use_cache_) &&
      PaintThroughCache(context, overlap, alpha_ < 255)) {
    if (alpha_ == 255) PaintChildren(context, dirty);
    return;
  }
  const bool round = IsRoundRect(border_round_);
  AutoClip clip(context, rect);
  AutoClip round_clip(context, rect, border_round_.cx, border_round_.cy, round);
  const POINT origin = context->OffsetOrigin(render_offset_.x, render_offset_.y);
  if (!hidden) PaintSelf(context, dirty);
  PaintChildren(context, dirty);
  context->SetOrigin(origin.x, origin.y);
}

bool Control::OpaqueArea(RECT* area) const {
  if (use_cache_ || render_offset_.x != 0 || render_offset_.y != 0 || bk_color_.empty()) {
    return false;
  }
  // High contrast swaps an opaque background for another opaque colour.
  if ((GlobalManager::GetTextColor(bk_color_) >> 24) != 0xFF) return false;
  *area = GetRect();
  // Inside its rounded corners, with a pixel to spare for anti-aliasing.
  if (IsRoundRect(border_round_))
    ::InflateRect(area, -(border_round_.cx + 1), -(border_round_.cy + 1));
  return !::IsRectEmpty(area);
}

Control* Control::FindOccluder(const RECT& dirty, const RECT& clip) {
  if (!IsVisible() || alpha_ != 255) return nullptr;
  RECT area;
  if (!OpaqueArea(&area) || !::IntersectRect(&area, &area, &clip)) return nullptr;
  RECT covered;
  ::IntersectRect(&covered, &area, &dirty);
  return ::EqualRect(&covered, &dirty) ? this : nullptr;
}

bool Control::PaintThroughCache(IRenderContext* context, const RECT& overlap, bool with_children) {
  const RECT& rect = GetRect();
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  if (cache_ == nullptr) {
    if (GetRenderFactory() == nullptr) return false;
    cache_ = GetRenderFactory()->CreateRenderContext();
    if (cache_ == nullptr) return false;
    cache_dirty_ = true;
  }
  if (cache_->Resize(width, height)) cache_dirty_ = true;
  if (cache_->GetWidth() != width || cache_->GetHeight() != height) return false;
  if (cache_dirty_) {
    cache_->Clear();
    const RECT whole = {0, 0, width, height};
    AutoClip clip(cache_.get(), whole);
    AutoClip round_clip(cache_.get(), whole, border_round_.cx, border_round_.cy,
                        IsRoundRect(border_round_));
    const POINT origin =
        cache_->OffsetOrigin(rect.left + render_offset_.x, rect.top + render_offset_.y);
    PaintSelf(cache_.get(), rect);
    if (with_children) PaintChildren(cache_.get(), rect);
    cache_->SetOrigin(origin.x, origin.y);
    cache_dirty_ = false;
  }
  const int overlap_width = overlap.right - overlap.left;
  const int overlap_height = overlap.bottom - overlap.top;
  context->AlphaBlend(overlap.left, overlap.top, overlap_width, overlap_height, cache_.get(),
                      overlap.left - rect.left, overlap.top - rect.top, overlap_width,
                      overlap_height, static_cast<BYTE>(alpha_));
  return true;
}

void Control::PaintSelf(IRenderContext* context, const RECT& dirty) {
  const RECT& rect = GetRect();
  if (!::IntersectRect(&paint_rect_, &dirty, &rect)) return;
  PaintBackgroundColor(context);
  PaintBackgroundImage(context);
  PaintStateColors(context);
  PaintStateImages(context);
  PaintText(context);
  PaintBorder(context);
}

void Control::PaintChildren(IRenderContext* /*context*/, const RECT& /*dirty*/) {}

void Control::FillColor(IRenderContext* context, const RECT& rect, ARGB color, BYTE fade) {
  if (IsRoundRect(border_round_)) {
    context->FillRoundRect(rect, border_round_, color, fade);
  } else {
    context->DrawColor(rect, color, fade);
  }
}

namespace {

// Whether |part| lies where a rounded rectangle |rect| with corner ellipses
// |round| covers every pixel fully: a pixel in from the edges (anti-aliasing
// may leave the edge pixels partly covered) and clear of the corner boxes.
bool InsideStraightPart(const RECT& part, const RECT& rect, SIZE round) {
  RECT inner = rect;
  ::InflateRect(&inner, -1, -1);
  RECT inside;
  if (!::IntersectRect(&inside, &part, &inner) || !::EqualRect(&inside, &part)) return false;
  const RECT corners[] = {{rect.left, rect.top, rect.left + round.cx, rect.top + round.cy},
                          {rect.right - round.cx, rect.top, rect.right, rect.top + round.cy},
                          {rect.left, rect.bottom - round.cy, rect.left + round.cx, rect.bottom},
                          {rect.right - round.cx, rect.bottom - round.cy, rect.right, rect.bottom}};
  RECT unused;
  for (const RECT& corner : corners) {
    if (::IntersectRect(&unused, &part, &corner)) return false;
  }
  return true;
}

}  // namespace

void Control::PaintBackgroundColor(IRenderContext* context) {
  if (bk_color_.empty()) return;
  ARGB color = GlobalManager::GetTextColor(bk_color_);
  if (color == 0) return;
  // Opaque backgrounds take the system's window colour in high contrast;
  // translucent layers (an overlay's mask) stay.
  if (HighContrast::IsOn() && (color >> 24) == 0xFF)
    color = HighContrast::SystemColor(COLOR_WINDOW);
  // Only the part being painted where that gives the same pixels: a fill of
  // the whole control (the root's rounded white, an overlay's mask) would
  // cost a whole-window blend for every small change, a progress step.
  if (IsRoundRect(border_round_) && !InsideStraightPart(paint_rect_, GetRect(), border_round_)) {
    context->FillRoundRect(GetRect(), border_round_, color);
  } else {
    context->DrawColor(paint_rect_, color);
  }
}

void Control::PaintBackgroundImage(IRenderContext* context) { DrawImage(context, bk_image_); }

ControlStateType Control::FallbackState(const std::wstring* values, ControlStateType state) {
  if (state == kControlStatePushed && values[state].empty()) state = kControlStateHot;
  if (state == kControlStateHot && values[state].empty()) state = kControlStateNormal;
  if (state == kControlStateDisabled && values[state].empty()) state = kControlStateNormal;
  return state;
}

void Control::PaintStateColors(IRenderContext* context) {
  PaintStateColorSet(context, state_colors_);
}

void Control::PaintStateColorSet(IRenderContext* context, const std::wstring* colors) {
  if (HighContrast::IsOn()) {
    // The system's face colour replaces the skin's in every state.
    if (!colors[FallbackState(colors, state_)].empty()) {
      FillColor(context, GetRect(), HighContrast::SystemColor(COLOR_BTNFACE), 255);
    }
    return;
  }
  const std::wstring& hot = colors[kControlStateHot];
  const std::wstring& normal = colors[kControlStateNormal];
  if (HasHotFade() && (state_ == kControlStateNormal || state_ == kControlStateHot) &&
      !hot.empty()) {
    // The hot colour fades in over the normal one.
    if (!normal.empty()) {
      if (const ARGB color = GlobalManager::GetTextColor(normal)) {
        FillColor(context, GetRect(), color, 255);
      }
    }
    if (hot_alpha_ > 0) {
      if (const ARGB color = GlobalManager::GetTextColor(hot)) {
        FillColor(context, GetRect(), color, static_cast<BYTE>(hot_alpha_));
      }
    }
    return;
  }
  const std::wstring& chosen = colors[FallbackState(colors, state_)];
  if (chosen.empty()) return;
  if (const ARGB color = GlobalManager::GetTextColor(chosen)) {
    FillColor(context, GetRect(), color, 255);
  }
}

void Control::PaintStateImages(IRenderContext* context) {
  PaintStateImageLayer(context, state_images_[kStateImageBackground]);
  PaintStateImageLayer(context, state_images_[kStateImageForeground]);
}

void Control::PaintStateImageLayer(IRenderContext* context, ImageAttribute* images) {
  ImageAttribute& normal = images[kControlStateNormal];
  ImageAttribute& hot = images[kControlStateHot];
  if (HasHotFade() && (state_ == kControlStateNormal || state_ == kControlStateHot)) {
    if (normal.file == hot.file && ::EqualRect(&normal.source, &hot.source)) {
      // One picture in two strengths: blend the fades instead of the images.
      const double k = hot_alpha_ / 255.0;
      DrawImage(context, hot, std::wstring(),
                static_cast<int>(hot.fade * k + normal.fade * (1 - k)));
    } else {
      DrawImage(context, normal);
      const int fade = hot.fade * hot_alpha_ / 255;
      if (fade > 0) DrawImage(context, hot, std::wstring(), fade);
    }
    return;
  }
  switch (state_) {
    case kControlStatePushed:
      // The hot image stands in at full strength for this paint only; its
      // own fade is what the hot state draws.
      if (!DrawImage(context, images[kControlStatePushed])) {
        if (!DrawImage(context, hot, std::wstring(), 255)) DrawImage(context, normal);
      }
      break;
    case kControlStateHot:
      if (!DrawImage(context, hot)) DrawImage(context, normal);
      break;
    case kControlStateDisabled:
      if (!DrawImage(context, images[kControlStateDisabled])) DrawImage(context, normal);
      break;
    case kControlStateNormal:
      DrawImage(context, normal);
      break;
  }
}

void Control::PaintText(IRenderContext* /*context*/) {}

void Control::PaintBorder(IRenderContext* context) {
  if (border_color_.empty()) return;
  const ARGB color = GlobalManager::GetTextColor(border_color_);
  if (color == 0) return;
  const RECT& rect = GetRect();
  const RECT& sides = side_border_sizes_;
  if (sides.left > 0 || sides.top > 0 || sides.right > 0 || sides.bottom > 0) {
    // Each side is a line along the middle of its band; one-pixel lines stop
    // a pixel short so the corners are not drawn twice.
    if (sides.left > 0) {
      const int x = rect.left + sides.left / 2;
      context->DrawLine(RECT{x, rect.top, x, rect.bottom - (sides.left == 1 ? 1 : 0)}, sides.left,
                        color);
    }
    if (sides.top > 0) {
      const int y = rect.top + sides.top / 2;
      context->DrawLine(RECT{rect.left, y, rect.right - (sides.top == 1 ? 1 : 0), y}, sides.top,
                        color);
    }
    if (sides.right > 0) {
      const int x = rect.right - (sides.right + 1) / 2;
      context->DrawLine(RECT{x, rect.top, x, rect.bottom - (sides.right == 1 ? 1 : 0)}, sides.right,
                        color);
    }
    if (sides.bottom > 0) {
      const int y = rect.bottom - (sides.bottom + 1) / 2;
      context->DrawLine(RECT{rect.left, y, rect.right - (sides.bottom == 1 ? 1 : 0), y},
                        sides.bottom, color);
    }
  } else if (border_size_ > 0) {
    // The pen is centred on the outline: inset it by half its width.
    const int half = border_size_ / 2;
    const int odd = border_size_ % 2;
    const RECT outline = {rect.left + half, rect.top + half, rect.right - half - odd,
                          rect.bottom - half - odd};
    if (IsRoundRect(border_round_)) {
      context->DrawRoundRect(outline, border_round_, border_size_, color);
    } else {
      context->DrawRect(outline, border_size_, color);
    }
  }
}

bool Control::DrawImage(IRenderContext* context, ImageAttribute& image,
                        const std::wstring& modifier, int fade) {
  if (image.file.empty()) return false;
  ImagePlacement placement;
  placement.control_rect = GetRect();
  placement.paint_rect = paint_rect_;
  placement.resource_folder = GetResourceFolder();
  if (&image == &bk_image_) {
    placement.background = &bk_image_;
    placement.start_background = [this] { StartBackgroundPlay(); };
  }
  return ui::DrawImage(context, image, placement, modifier, fade);
}

void Control::StartBackgroundPlay() {
  const int interval = StartPlaying(bk_image_);
  if (interval <= 0) return;
  background_play_flag_.Cancel();
  TimerManager::Current().AddTimer(
      background_play_flag_.GetWeakFlag(), [this] { StepBackgroundPlay(); }, interval,
      TimerManager::kRepeatForever);
}

void Control::StepBackgroundPlay() {
  const FrameStep step = AdvanceFrame(bk_image_);
  if (!step.keep_playing) {
    background_play_flag_.Cancel();
  } else if (step.restart_interval > 0) {
    background_play_flag_.Cancel();
    TimerManager::Current().AddTimer(
        background_play_flag_.GetWeakFlag(), [this] { StepBackgroundPlay(); },
        step.restart_interval, TimerManager::kRepeatForever);
  }
  if (step.repaint) Invalidate();
}

void Control::StopBackgroundPlay() {
  background_play_flag_.Cancel();
  bk_image_.playing = false;
}

void Control::LoadImageCache() {
  const std::wstring folder = GetResourceFolder();
  if (!bk_image_.file.empty()) LoadAttributeImage(folder, bk_image_);
  for (auto& layer : state_images_) {
    for (ImageAttribute& image : layer) {
      if (!image.file.empty()) LoadAttributeImage(folder, image);
    }
  }
}

void Control::UnloadImageCache() {
  bk_image_.image.reset();
  for (auto& layer : state_images_) {
    for (ImageAttribute& image : layer) image.image.reset();
  }
}

void Control::ClearImageCache() {
  StopBackgroundPlay();
  UnloadImageCache();
}

std::wstring Control::GetResourceFolder() const {
  return GetWindow() != nullptr ? GetWindow()->GetResourcePath() : std::wstring();
}

}  // namespace ui
