#include "ui/core/input_router.h"

#include <memory>

#include "base/weak_callback.h"
#include "ui/control/control.h"
#include "ui/core/window.h"

namespace ui {

namespace {

// Hover time while no tooltip window tells its initial delay.
constexpr DWORD kDefaultHoverMs = 400;

EventType MoveEvent(InputRouter::Source source) {
  switch (source) {
    case InputRouter::Source::kTouch:
      return kEventTouchMove;
    case InputRouter::Source::kPointer:
      return kEventPointMove;
    default:
      return kEventMouseMove;
  }
}

EventType UpEvent(InputRouter::Source source) {
  switch (source) {
    case InputRouter::Source::kTouch:
      return kEventTouchUp;
    case InputRouter::Source::kPointer:
      return kEventPointUp;
    default:
      return kEventMouseButtonUp;
  }
}

// A pen press always focuses its control, a finger never does (the touch
// keyboard decides that), a mouse press unless it is the second click of a
// double click or the control refuses focus.
bool PressTakesFocus(InputRouter::Source source, EventType type, const Control& control) {
  switch (source) {
    case InputRouter::Source::kTouch:
      return false;
    case InputRouter::Source::kPointer:
      return true;
    default:
      return type != kEventInternalDoubleClick && !control.IsNoFocus();
  }
}

}  // namespace

InputRouter::InputRouter(Window& window) : window_(window) {}

InputRouter::~InputRouter() { DestroyTooltip(); }

bool InputRouter::Press(const Contact& contact, EventType type) {
  if (HeldByOther(contact.source)) return true;
  ::SetFocus(window_.GetHWND());
  last_point_ = contact.point;
  if (contact.source == Source::kTouch) last_touch_ = contact.point;
  Control* control = OwnControlAt(contact.point);
  if (control == nullptr) return false;
  press_ = control;
  press_source_ = contact.source;
  if (PressTakesFocus(contact.source, type, *control)) {
    std::weak_ptr<cbase::WeakFlag> alive = window_.GetWeakFlag();
    window_.SetFocusControl(control);
    // The focus handlers may have deleted the window or the control, or
    // ended the press.
    if (alive.expired() || !press_.Is(control) || press_source_ != contact.source) return false;
  }
  SetCapture();
  return Deliver(control, type, contact);
}

bool InputRouter::Move(const Contact& contact) {
  if (HeldByOther(contact.source)) return true;
  if (contact.source == Source::kTouch) {
    if (contact.point.x == last_touch_.x && contact.point.y == last_touch_.y) return false;
    last_touch_ = contact.point;
  }
  if (contact.source == Source::kMouse) TrackMouse();
  last_point_ = contact.point;
  // A finger or pen in the air is no hover.
  if (contact.source != Source::kMouse && !HasPress()) return false;
  if (!UpdateHover(contact.point)) return false;
  Control* target = press_source_ == contact.source ? press_.Get() : nullptr;
  if (target == nullptr && contact.source == Source::kMouse) target = hover_.Get();
  if (target == nullptr) return false;
  return Deliver(target, MoveEvent(contact.source), contact);
}

bool InputRouter::Release(const Contact& contact) {
  last_point_ = contact.point;
  if (contact.source == Source::kTouch) last_touch_ = contact.point;
  ReleaseCapture();
  Control* control = TakePress(contact.source);
  if (control == nullptr) return false;
  return Deliver(control, UpEvent(contact.source), contact);
}

void InputRouter::RightButtonUp(POINT point, LPARAM lparam) {
  last_point_ = point;
  ReleaseCapture();
  if (Control* pressed = GetMousePress()) {
    window_.SendEvent(pressed, kEventMouseRightButtonUp, 0, lparam);
  }
}

void InputRouter::ContextMenu(POINT point) {
  last_point_ = point;
  Control* pressed = TakePress(Source::kMouse);
  if (pressed == nullptr) return;
  ReleaseCapture();
  window_.SendEvent(pressed, kEventInternalMenu, 0, reinterpret_cast<LPARAM>(pressed));
}

bool InputRouter::Hover(POINT point) {
  mouse_tracking_ = false;
  Control* control = window_.FindControlAt(point);
  if (control == nullptr) return false;
  std::weak_ptr<cbase::WeakFlag> alive = window_.GetWeakFlag();
  const ControlRef hovered = control;
  if (Control* entered = entered_.Get()) window_.SendEvent(entered, kEventMouseHover);
  if (!alive.expired() && hovered.Get() != nullptr) ShowTooltip(control);
  return true;
}

void InputRouter::Leave() {
  HideTooltip();
  if (mouse_tracking_) {
    // A move to nowhere ends the hover of whatever was entered.
    std::weak_ptr<cbase::WeakFlag> alive = window_.GetWeakFlag();
    ::SendMessageW(window_.GetHWND(), WM_MOUSEMOVE, 0, static_cast<LPARAM>(-1));
    if (alive.expired()) return;
  }
  mouse_tracking_ = false;
}

void InputRouter::FocusLost() {
  Control* target = press_.Get();
  if (target == nullptr || !target->NeedsButtonUpOnKillFocus()) return;
  ReleaseCapture();
  press_.Reset();
  window_.SendEvent(target, kEventMouseButtonUp);
}

void InputRouter::EndAll() {
  std::weak_ptr<cbase::WeakFlag> alive = window_.GetWeakFlag();
  if (Control* entered = entered_.Get()) {
    entered_.Reset();
    window_.SendEvent(entered, kEventMouseLeave);
    if (alive.expired()) return;
  }
  ReleaseCapture();
  Control* pressed = press_.Get();
  press_.Reset();
  if (pressed != nullptr) window_.SendEvent(pressed, kEventMouseButtonUp);
}

void InputRouter::SetMousePress(Control* control) {
  if (control == nullptr && HeldByOther(Source::kMouse)) return;
  press_ = control;
  press_source_ = Source::kMouse;
}

void InputRouter::Clear() {
  press_.Reset();
  hover_.Reset();
  entered_.Reset();
}

EventArgs InputRouter::MakeEvent(Control* control, EventType type, WPARAM wparam,
                                 LPARAM lparam) const {
  EventArgs args;
  args.type = type;
  args.sender = control;
  args.timestamp = ::GetTickCount();
  args.mouse = last_point_;
  args.wparam = wparam;
  args.lparam = lparam;
  return args;
}

Control* InputRouter::OwnControlAt(POINT point) const {
  Control* control = window_.FindControlAt(point);
  return control != nullptr && control->GetWindow() == &window_ ? control : nullptr;
}

bool InputRouter::UpdateHover(POINT point) {
  Control* control = window_.FindControlAt(point);
  if (control != nullptr && control->GetWindow() != &window_) return false;
  hover_ = control;
  std::weak_ptr<cbase::WeakFlag> alive = window_.GetWeakFlag();
  Control* left = entered_.Get();
  if (left != nullptr && left != control) {
    entered_.Reset();
    window_.SendEvent(left, kEventMouseLeave);
    if (alive.expired()) return false;
    HideTooltip();
  }
  // The leave handlers may have moved the hover.
  Control* hover = hover_.Get();
  if (hover != nullptr && hover != entered_.Get()) {
    entered_ = hover;
    window_.SendEvent(hover, kEventMouseEnter);
    if (alive.expired()) return false;
  }
  return true;
}

Control* InputRouter::TakePress(Source source) {
  if (press_source_ != source) return nullptr;
  Control* control = press_.Get();
  press_.Reset();
  return control;
}

void InputRouter::SetCapture() {
  ::SetCapture(window_.GetHWND());
  capture_ = true;
}

void InputRouter::ReleaseCapture() {
  if (!capture_) return;
  ::ReleaseCapture();
  capture_ = false;
}

bool InputRouter::Deliver(Control* control, EventType type, const Contact& contact) {
  EventArgs args = MakeEvent(control, type, 0, contact.lparam);
  if (contact.source == Source::kPointer) args.pressure = contact.pressure;
  const bool receives = control->IsReceivePointer();
  control->DispatchEvent(args);
  return receives;
}

void InputRouter::TrackMouse() {
  if (mouse_tracking_) return;
  TRACKMOUSEEVENT track = {};
  track.cbSize = sizeof(track);
  track.dwFlags = TME_HOVER | TME_LEAVE;
  track.hwndTrack = window_.GetHWND();
  track.dwHoverTime =
      tooltip_ != nullptr
          ? static_cast<DWORD>(::SendMessageW(tooltip_, TTM_GETDELAYTIME, TTDT_INITIAL, 0))
          : kDefaultHoverMs;
  if (::TrackMouseEvent(&track)) mouse_tracking_ = true;
}

TOOLINFOW InputRouter::ToolInfo() const {
  TOOLINFOW tool = {};
  tool.cbSize = sizeof(tool);
  tool.uFlags = TTF_IDISHWND;
  tool.hwnd = window_.GetHWND();
  tool.uId = reinterpret_cast<UINT_PTR>(window_.GetHWND());
  return tool;
}

void InputRouter::ShowTooltip(Control* control) {
  // Without a text there is nothing to show; the tooltip window (and the
  // common controls library it needs) waits for a control that has one.
  if (control->GetToolTipText().empty()) {
    HideTooltip();
    return;
  }
  if (tooltip_ == nullptr) {
    INITCOMMONCONTROLSEX init = {sizeof(init), ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&init);
    tooltip_ =
        ::CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
                          CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                          window_.GetHWND(), nullptr, ::GetModuleHandleW(nullptr), nullptr);
    if (tooltip_ == nullptr) return;
    TOOLINFOW tool = ToolInfo();
    tool.lpszText = const_cast<wchar_t*>(L"");
    ::SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  }
  tooltip_text_ = control->GetToolTipText();
  TOOLINFOW tool = ToolInfo();
  tool.rect = control->GetRect();
  tool.lpszText = const_cast<wchar_t*>(tooltip_text_.c_str());
  ::SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, control->GetToolTipWidth());
  ::SendMessageW(tooltip_, TTM_SETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&tool));
  ::SendMessageW(tooltip_, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&tool));
}

void InputRouter::HideTooltip() {
  if (tooltip_ == nullptr) return;
  TOOLINFOW tool = ToolInfo();
  ::SendMessageW(tooltip_, TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&tool));
}

void InputRouter::DestroyTooltip() {
  if (tooltip_ != nullptr && ::IsWindow(tooltip_)) ::DestroyWindow(tooltip_);
  tooltip_ = nullptr;
}

}  // namespace ui
