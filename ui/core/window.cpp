#include "ui/core/window.h"

#include <commctrl.h>
#include <versionhelpers.h>
#include <wchar.h>
#include <windowsx.h>

#include <algorithm>
#include <utility>

#include "ui/animation/timer_manager.h"
#include "ui/control/box.h"
#include "ui/control/control.h"
#include "ui/control/rich_edit.h"
#include "ui/control/shadow_box.h"
#include "ui/core/pointer_input.h"
#include "ui/render/render.h"

namespace ui {

namespace {

// Property that holds the object of a superclassed window.
constexpr wchar_t kWindowProperty[] = L"WndX";
constexpr int kCloseDelayMs = 300;
// Hover time while no tooltip window tells its initial delay.
constexpr DWORD kDefaultHoverMs = 400;
// Room given to a root that sizes to its content.
constexpr int kUnboundedSize = 99999;

HINSTANCE ModuleInstance() { return ::GetModuleHandleW(nullptr); }

POINT PointFromLParam(LPARAM lparam) { return POINT{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)}; }

// A rich edit that wants tabs keeps the Tab key for itself.
bool KeepsTabKey(const Control* control) {
  const auto* edit = dynamic_cast<const RichEdit*>(control);
  return edit != nullptr && edit->IsWantTab();
}

// The window's default font: the system's GUI font, in the skin's default
// face when one is declared.
HFONT CreateDefaultFont() {
  LOGFONTW logfont = {};
  ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof(logfont), &logfont);
  if (const FontInfo* info = GlobalManager::GetFontInfo(std::wstring())) {
    wcsncpy_s(logfont.lfFaceName, LF_FACESIZE, info->face_name.c_str(), _TRUNCATE);
  }
  logfont.lfCharSet = DEFAULT_CHARSET;
  return ::CreateFontIndirectW(&logfont);
}

}  // namespace

Window::Window() = default;

Window::~Window() {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  RunDelayedCleanup();
  Control* root = root_;
  root_ = nullptr;
  delete root;
  if (tooltip_ != nullptr && ::IsWindow(tooltip_)) ::DestroyWindow(tooltip_);
  tooltip_ = nullptr;
  render_context_.reset();
  if (default_font_ != nullptr) ::DeleteObject(default_font_);
  if (hwnd_ != nullptr && ::IsWindow(hwnd_)) {
    // The native window outlives this object: cut it loose first, so its
    // last messages go to the default procedure.
    if (paint_dc_ != nullptr) ::ReleaseDC(hwnd_, paint_dc_);
    ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    ::RemovePropW(hwnd_, kWindowProperty);
    ::DestroyWindow(hwnd_);
  }
}

std::wstring Window::ClassName() const { return std::wstring(); }

std::wstring Window::SuperClassName() const { return std::wstring(); }

UINT Window::ClassStyle() const { return 0; }

bool Window::RegisterWindowClass() {
  const std::wstring name = ClassName();
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof(wc);
  wc.style = ClassStyle();
  wc.lpfnWndProc = &Window::UserDataWindowProc;
  wc.hInstance = ModuleInstance();
  wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  wc.lpszClassName = name.c_str();
  if (::RegisterClassExW(&wc) != 0) return true;
  return ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

bool Window::RegisterSuperClass() {
  const std::wstring super_name = SuperClassName();
  const std::wstring name = ClassName();
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof(wc);
  if (!::GetClassInfoExW(nullptr, super_name.c_str(), &wc) &&
      !::GetClassInfoExW(ModuleInstance(), super_name.c_str(), &wc)) {
    return false;
  }
  previous_proc_ = wc.lpfnWndProc;
  wc.lpfnWndProc = &Window::PropertyWindowProc;
  wc.hInstance = ModuleInstance();
  wc.lpszClassName = name.c_str();
  if (::RegisterClassExW(&wc) != 0) return true;
  return ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

HWND Window::Create(HWND parent, const std::wstring& title, DWORD style, DWORD ex_style,
                    bool layered, const RECT& rect) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  const bool registered = SuperClassName().empty() ? RegisterWindowClass() : RegisterSuperClass();
  if (!registered) return nullptr;
  layered_ = layered;
  if (layered) ex_style |= WS_EX_LAYERED;
  const std::wstring name = ClassName();
  HWND hwnd = ::CreateWindowExW(ex_style, name.c_str(), title.c_str(), style, rect.left, rect.top,
                                rect.right - rect.left, rect.bottom - rect.top, parent, nullptr,
                                ModuleInstance(), this);
  if (hwnd == nullptr) return nullptr;
  const LONG_PTR actual = ::GetWindowLongPtrW(hwnd, GWL_STYLE);
  if ((actual & WS_CAPTION) != 0) ::SetWindowLongPtrW(hwnd, GWL_STYLE, actual & ~WS_CAPTION);
  return hwnd;
}

LRESULT CALLBACK Window::UserDataWindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  Window* self = nullptr;
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    self = static_cast<Window*>(create->lpCreateParams);
    self->hwnd_ = hwnd;
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  } else {
    self = reinterpret_cast<Window*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (message == WM_NCDESTROY && self != nullptr) {
      const LRESULT result = ::CallWindowProcW(self->previous_proc_, hwnd, message, wparam, lparam);
      ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      self->OnNcDestroy(hwnd, message, wparam, lparam);
      return result;
    }
  }
  if (self != nullptr) return self->ProcessMessage(message, wparam, lparam);
  return ::DefWindowProcW(hwnd, message, wparam, lparam);
}

LRESULT CALLBACK Window::PropertyWindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  Window* self = nullptr;
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    self = static_cast<Window*>(create->lpCreateParams);
    self->hwnd_ = hwnd;
    ::SetPropW(hwnd, kWindowProperty, self);
  } else {
    self = static_cast<Window*>(::GetPropW(hwnd, kWindowProperty));
    if (message == WM_NCDESTROY && self != nullptr) {
      const LRESULT result = ::CallWindowProcW(self->previous_proc_, hwnd, message, wparam, lparam);
      ::RemovePropW(hwnd, kWindowProperty);
      self->OnNcDestroy(hwnd, message, wparam, lparam);
      return result;
    }
  }
  if (self != nullptr) return self->ProcessMessage(message, wparam, lparam);
  return ::DefWindowProcW(hwnd, message, wparam, lparam);
}

void Window::OnNcDestroy(HWND hwnd, UINT /*message*/, WPARAM /*wparam*/, LPARAM /*lparam*/) {
  if (paint_dc_ != nullptr) {
    ::ReleaseDC(hwnd, paint_dc_);
    paint_dc_ = nullptr;
  }
  hwnd_ = nullptr;
  OnDestroyed(hwnd);
}

void Window::Close(UINT code) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  if (hwnd_ == nullptr) return;
  if (modal_) {
    modal_ = false;
    if (HWND owner = ::GetWindow(hwnd_, GW_OWNER)) {
      ::EnableWindow(owner, TRUE);
      ::SetFocus(owner);
    }
  }
  if (root_ != nullptr && ::IsWindowsVistaOrGreater()) {
    root_->SetFadeVisible(false);
    TimerManager* timers = Control::GetAnimationTimerManager();
    if (timers == nullptr) timers = &TimerManager::GetInstance();
    timers->AddTimer(
        GetWeakFlag(),
        [this, code] {
          if (hwnd_ != nullptr) ::PostMessageW(hwnd_, WM_CLOSE, code, 0);
        },
        kCloseDelayMs, 1);
  } else {
    ::PostMessageW(hwnd_, WM_CLOSE, code, 0);
  }
}

void Window::Show(bool show, bool take_focus) {
  if (hwnd_ == nullptr) return;
  ::ShowWindow(hwnd_, show ? (take_focus ? SW_SHOWNORMAL : SW_SHOWNOACTIVATE) : SW_HIDE);
}

void Window::OnDestroyed(HWND hwnd) {
  if (PointerInput::Get().UnregisterTouchWindow != nullptr) {
    PointerInput::Get().UnregisterTouchWindow(hwnd);
  }
  const EventArgs args = MakeEvent(nullptr, kEventWindowClose);
  std::weak_ptr<cbase::WeakFlag> alive = GetWeakFlag();
  for (EventType type : {kEventWindowClose, kEventAll}) {
    for (size_t i = 0;; ++i) {
      const EventCallback* handler = window_events_.At(type, i);
      if (handler == nullptr) break;
      EventCallback call = *handler;
      const bool go = call(args);
      if (alive.expired()) return;
      if (!go) break;
    }
  }
}

LRESULT Window::ProcessMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  bool handled = false;
  const LRESULT result = RouteMessage(message, wparam, lparam, handled);
  if (handled) return result;
  return ::CallWindowProcW(previous_proc_, hwnd_, message, wparam, lparam);
}

void Window::OnFirstLayout() {
  if (root_ == nullptr || !::IsWindowsVistaOrGreater()) return;
  // The whole window fades in: the root's alpha player drives the window's
  // alpha instead of the root's.
  root_->Animations().SetFadeAlpha(true);
  AnimationPlayer* player = root_->GetAnimationPlayer(AnimationType::kAlpha);
  player->SetCallback(ToWeakCallback([this](int alpha) { SetWindowAlpha(alpha); }));
  SetWindowAlpha(0);
  root_->SetFadeVisible(true);
}

CreateControlCallback Window::GetCreateControlCallback() { return nullptr; }

void Window::Attach(HWND hwnd) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  hwnd_ = hwnd;
  if (paint_dc_ == nullptr) paint_dc_ = ::GetDC(hwnd);
  if (render_context_ == nullptr && GetRenderFactory() != nullptr) {
    render_context_ = GetRenderFactory()->CreateRenderContext();
  }
  if (default_font_ == nullptr) default_font_ = CreateDefaultFont();
  // Text drawn without a font of its own uses the window's.
  if (render_context_ != nullptr && default_font_ != nullptr) {
    ::SelectObject(render_context_->DeviceContext(), default_font_);
  }
}

void Window::RegisterTouchInput() {
  if (hwnd_ != nullptr && PointerInput::Get().RegisterTouchWindow != nullptr) {
    PointerInput::Get().RegisterTouchWindow(hwnd_, 0);
  }
}

LRESULT Window::RouteMessage(UINT message, WPARAM wparam, LPARAM lparam, bool& handled) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  handled = false;
  // Filters see everything first; claiming a mouse move does not end routing.
  for (size_t i = 0; i < message_filters_.size(); ++i) {
    bool filtered = false;
    const LRESULT result = message_filters_[i]->MessageHandler(message, wparam, lparam, filtered);
    if (filtered && message != WM_MOUSEMOVE) {
      handled = true;
      return result;
    }
  }
  if (hwnd_ == nullptr) return 0;

  switch (message) {
    case kDelayedCleanupMessage:
      RunDelayedCleanup();
      return 0;
    case WM_SIZE:
      OnSize(wparam);
      handled = true;
      return 0;
    case WM_KILLFOCUS:
      OnKillFocus();
      return 0;
    case WM_PAINT:
      OnPaint();
      handled = true;
      return 0;
    case WM_CLOSE:
      OnCloseRequest();
      return 0;
    case WM_ERASEBKGND:
      handled = true;
      return 1;
    case WM_SETCURSOR:
      if (LOWORD(lparam) != HTCLIENT) return 0;
      handled = OnSetCursor(lparam);
      return handled ? TRUE : 0;
    case WM_NOTIFY: {
      handled = true;
      const auto* header = reinterpret_cast<const NMHDR*>(lparam);
      if (header == nullptr) return 0;
      return ::SendMessageW(header->hwndFrom, WM_NOTIFY + 0x2000, wparam, lparam);
    }
    case WM_COMMAND:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
      if (lparam == 0) return 0;
      handled = true;
      return ::SendMessageW(reinterpret_cast<HWND>(lparam), message + 0x2000, wparam, lparam);
    case WM_CONTEXTMENU:
      OnContextMenu(lparam);
      return 0;
    case WM_KEYDOWN:
      OnKeyDown(wparam, lparam);
      return 0;
    case WM_KEYUP:
      if (key_ != nullptr) {
        Control* key = key_;
        key_ = nullptr;
        SendEvent(key, kEventKeyUp, wparam, lparam);
      }
      return 0;
    case WM_CHAR:
      if (focus_ != nullptr) SendEvent(focus_, kEventChar, wparam, lparam);
      return 0;
    case WM_IME_STARTCOMPOSITION:
      if (focus_ != nullptr) SendEvent(focus_, kEventImeStartComposition, wparam, lparam);
      return 0;
    case WM_IME_ENDCOMPOSITION:
      if (focus_ != nullptr) SendEvent(focus_, kEventImeEndComposition, wparam, lparam);
      return 0;
    case WM_MOUSEMOVE:
      OnMouseMove(lparam);
      return 0;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      OnButtonDown(message, lparam);
      return 0;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
      OnButtonUp(message, lparam);
      return 0;
    case WM_MOUSEWHEEL:
      OnMouseWheel(wparam, lparam);
      return 0;
    case WM_TOUCH:
      OnTouch(wparam, lparam);
      return 0;
    case WM_POINTERUPDATE:
    case WM_POINTERDOWN:
    case WM_POINTERUP:
    case WM_POINTERLEAVE:
    case WM_POINTERCAPTURECHANGED:
      handled = OnPointer(message, wparam);
      return 0;
    case WM_MOUSEHOVER:
      handled = OnMouseHover(lparam);
      return 0;
    case WM_MOUSELEAVE:
      OnMouseLeave();
      return 0;
    default:
      return 0;
  }
}

// --- Input routing ---

Control* Window::OwnControlAt(POINT point) const {
  Control* control = FindControlAt(point);
  return control != nullptr && control->GetWindow() == this ? control : nullptr;
}

void Window::OnSize(WPARAM wparam) {
  if (focus_ != nullptr) SendEvent(focus_, kEventWindowSize);
  if (root_ != nullptr) root_->Relayout();
  if (wparam == SIZE_MAXIMIZED || wparam == SIZE_RESTORED) {
    shadow_.OnMaximizedOrRestored(wparam == SIZE_MAXIMIZED);
  }
  if (wparam == SIZE_RESTORED && resize_on_restore_ && hwnd_ != nullptr) {
    resize_on_restore_ = false;
    ::SetWindowPos(hwnd_, nullptr, 0, 0, initial_size_.cx, initial_size_.cy,
                   SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
  }
}

void Window::OnKillFocus() {
  Control* target = pointer_ != nullptr ? pointer_ : (touch_ != nullptr ? touch_ : pressed_);
  if (target == nullptr || !target->NeedsButtonUpOnKillFocus()) return;
  ReleaseMouseCapture();
  pointer_ = touch_ = pressed_ = nullptr;
  SendEvent(target, kEventMouseButtonUp);
}

void Window::OnCloseRequest() {
  std::weak_ptr<cbase::WeakFlag> alive = GetWeakFlag();
  if (entered_ != nullptr) {
    Control* entered = entered_;
    entered_ = nullptr;
    SendEvent(entered, kEventMouseLeave);
    if (alive.expired()) return;
  }
  ReleasePressedTargets();
  if (alive.expired()) return;
  SetFocusControl(nullptr);
  if (alive.expired() || hwnd_ == nullptr) return;
  if (HWND owner = ::GetWindow(hwnd_, GW_OWNER)) ::SetFocus(owner);
}

void Window::ReleaseMouseCapture() {
  if (!mouse_capture_) return;
  ::ReleaseCapture();
  mouse_capture_ = false;
}

void Window::ReleasePressedTargets() {
  ReleaseMouseCapture();
  std::weak_ptr<cbase::WeakFlag> alive = GetWeakFlag();
  for (Control** target : {&pressed_, &touch_, &pointer_}) {
    Control* control = *target;
    *target = nullptr;
    if (control != nullptr) SendEvent(control, kEventMouseButtonUp);
    if (alive.expired()) return;
  }
}

bool Window::OnSetCursor(LPARAM /*lparam*/) {
  if (pressed_ != nullptr || touch_ != nullptr || pointer_ != nullptr) return true;
  POINT point;
  ::GetCursorPos(&point);
  ::ScreenToClient(hwnd_, &point);
  Control* control = FindControlAt(point);
  if (control == nullptr) return false;
  SendEvent(control, kEventSetCursor);
  return true;
}

void Window::OnContextMenu(LPARAM lparam) {
  POINT point = PointFromLParam(lparam);
  ::ScreenToClient(hwnd_, &point);
  last_mouse_ = point;
  Control* pressed = pressed_;
  pressed_ = nullptr;
  if (pressed == nullptr) return;
  ReleaseMouseCapture();
  SendEvent(pressed, kEventInternalMenu, 0, reinterpret_cast<LPARAM>(pressed));
}

void Window::OnKeyDown(WPARAM wparam, LPARAM lparam) {
  if (focus_ == nullptr) return;
  if (wparam == VK_TAB) {
    if (focus_->IsVisible() && focus_->IsEnabled() && KeepsTabKey(focus_)) {
      key_ = focus_;
      SendEvent(focus_, kEventKeyDown, wparam, lparam);
      return;
    }
    FocusNextTabStop((::GetKeyState(VK_SHIFT) & 0x8000) == 0);
    return;
  }
  key_ = focus_;
  SendEvent(focus_, kEventKeyDown, wparam, lparam);
}

void Window::OnMouseMove(LPARAM lparam) {
  if (touch_ != nullptr || pointer_ != nullptr) return;
  if (!mouse_tracking_) {
    TRACKMOUSEEVENT track = {};
    track.cbSize = sizeof(track);
    track.dwFlags = TME_HOVER | TME_LEAVE;
    track.hwndTrack = hwnd_;
    track.dwHoverTime =
        tooltip_ != nullptr
            ? static_cast<DWORD>(::SendMessageW(tooltip_, TTM_GETDELAYTIME, TTDT_INITIAL, 0))
            : kDefaultHoverMs;
    if (::TrackMouseEvent(&track)) mouse_tracking_ = true;
  }
  const POINT point = PointFromLParam(lparam);
  last_mouse_ = point;
  std::weak_ptr<cbase::WeakFlag> alive = GetWeakFlag();
  if (!UpdateHover(point) || alive.expired()) return;
  Control* target = pressed_ != nullptr ? pressed_ : hover_;
  if (target != nullptr) SendEvent(target, kEventMouseMove, 0, lparam);
}

bool Window::UpdateHover(POINT point) {
  Control* control = FindControlAt(point);
  if (control != nullptr && control->GetWindow() != this) return false;
  hover_ = control;
  std::weak_ptr<cbase::WeakFlag> alive = GetWeakFlag();
  if (entered_ != nullptr && entered_ != hover_) {
    Control* left = entered_;
    entered_ = nullptr;
    SendEvent(left, kEventMouseLeave);
    if (alive.expired()) return false;
    HideTooltip();
  }
  if (hover_ != nullptr && hover_ != entered_) {
    entered_ = hover_;
    SendEvent(hover_, kEventMouseEnter);
    if (alive.expired()) return false;
  }
  return true;
}

void Window::OnButtonDown(UINT message, LPARAM lparam) {
  if (touch_ != nullptr || pointer_ != nullptr) return;
  ::SetFocus(hwnd_);
  const POINT point = PointFromLParam(lparam);
  last_mouse_ = point;
  Control* control = OwnControlAt(point);
  if (control == nullptr) return;
  pressed_ = control;
  std::weak_ptr<cbase::WeakFlag> alive = GetWeakFlag();
  std::weak_ptr<cbase::WeakFlag> control_alive = control->GetWeakFlag();
  if (message != WM_LBUTTONDBLCLK && !control->IsNoFocus()) {
    SetFocusControl(control);
    if (alive.expired() || control_alive.expired()) return;
  }
  ::SetCapture(hwnd_);
  mouse_capture_ = true;
  const EventType type = message == WM_LBUTTONDOWN   ? kEventMouseButtonDown
                         : message == WM_RBUTTONDOWN ? kEventMouseRightButtonDown
                                                     : kEventInternalDoubleClick;
  SendEvent(control, type, 0, lparam);
}

void Window::OnButtonUp(UINT message, LPARAM lparam) {
  last_mouse_ = PointFromLParam(lparam);
  ReleaseMouseCapture();
  Control* pressed = pressed_;
  if (pressed == nullptr) return;
  if (message == WM_LBUTTONUP) {
    pressed_ = nullptr;
    SendEvent(pressed, kEventMouseButtonUp, 0, lparam);
  } else {
    // Stays pressed until the context menu message that follows.
    SendEvent(pressed, kEventMouseRightButtonUp, 0, lparam);
  }
}

void Window::OnMouseWheel(WPARAM wparam, LPARAM lparam) {
  POINT point = PointFromLParam(lparam);
  ::ScreenToClient(hwnd_, &point);
  Control* control = OwnControlAt(point);
  if (control == nullptr) return;
  const int delta = GET_WHEEL_DELTA_WPARAM(wparam);
  SendEvent(control, kEventMouseScrollWheel, static_cast<WPARAM>(static_cast<INT_PTR>(delta)),
            lparam);
}

bool Window::OnMouseHover(LPARAM lparam) {
  mouse_tracking_ = false;
  Control* control = FindControlAt(PointFromLParam(lparam));
  if (control == nullptr) return false;
  std::weak_ptr<cbase::WeakFlag> alive = GetWeakFlag();
  std::weak_ptr<cbase::WeakFlag> control_alive = control->GetWeakFlag();
  if (entered_ != nullptr) SendEvent(entered_, kEventMouseHover);
  if (!alive.expired() && !control_alive.expired()) ShowTooltip(control);
  return true;
}

void Window::OnMouseLeave() {
  HideTooltip();
  // A move to nowhere ends the hover of whatever was entered.
  if (mouse_tracking_) ::SendMessageW(hwnd_, WM_MOUSEMOVE, 0, static_cast<LPARAM>(-1));
  mouse_tracking_ = false;
}

TOOLINFOW Window::ToolInfo() const {
  TOOLINFOW tool = {};
  tool.cbSize = sizeof(tool);
  tool.uFlags = TTF_IDISHWND;
  tool.hwnd = hwnd_;
  tool.uId = reinterpret_cast<UINT_PTR>(hwnd_);
  return tool;
}

void Window::ShowTooltip(Control* control) {
  if (tooltip_ == nullptr) {
    INITCOMMONCONTROLSEX init = {sizeof(init), ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&init);
    tooltip_ = ::CreateWindowExW(
        0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT,
        CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr, ModuleInstance(), nullptr);
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

void Window::HideTooltip() {
  if (tooltip_ == nullptr) return;
  TOOLINFOW tool = ToolInfo();
  ::SendMessageW(tooltip_, TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&tool));
}

void Window::OnTouch(WPARAM wparam, LPARAM lparam) {
  const PointerInput& api = PointerInput::Get();
  HTOUCHINPUT handle = reinterpret_cast<HTOUCHINPUT>(lparam);
  const UINT count = LOWORD(wparam);
  if (api.GetTouchInputInfo == nullptr || count == 0) return;
  std::vector<TOUCHINPUT> inputs(count);
  const bool read = api.GetTouchInputInfo(handle, count, inputs.data(), sizeof(TOUCHINPUT)) != 0;
  std::weak_ptr<cbase::WeakFlag> alive = GetWeakFlag();
  if (read && inputs[0].dwID != 0) {
    const TOUCHINPUT& input = inputs[0];
    POINT point = {input.x / 100, input.y / 100};
    ::ScreenToClient(hwnd_, &point);
    if ((input.dwFlags & TOUCHEVENTF_DOWN) != 0) {
      if (pressed_ == nullptr && pointer_ == nullptr) {
        ::SetFocus(hwnd_);
        last_touch_ = point;
        last_mouse_ = point;
        if (Control* control = OwnControlAt(point)) {
          touch_ = control;
          ::SetCapture(hwnd_);
          mouse_capture_ = true;
          SendEvent(control, kEventTouchDown, 0, lparam);
        }
      }
    } else if ((input.dwFlags & TOUCHEVENTF_MOVE) != 0) {
      if (pressed_ == nullptr && pointer_ == nullptr &&
          (point.x != last_touch_.x || point.y != last_touch_.y)) {
        last_touch_ = point;
        last_mouse_ = point;
        if (touch_ != nullptr && UpdateHover(point) && !alive.expired() && touch_ != nullptr) {
          SendEvent(touch_, kEventTouchMove, 0, lparam);
        }
      }
    } else if ((input.dwFlags & TOUCHEVENTF_UP) != 0) {
      last_touch_ = point;
      last_mouse_ = point;
      ReleaseMouseCapture();
      Control* touch = touch_;
      touch_ = nullptr;
      if (touch != nullptr) SendEvent(touch, kEventTouchUp, 0, lparam);
    }
  }
  if (api.CloseTouchInputHandle != nullptr) api.CloseTouchInputHandle(handle);
}

bool Window::OnPointer(UINT message, WPARAM wparam) {
  const PointerInput& api = PointerInput::Get();
  if (!pointer_input_ || api.GetPointerType == nullptr) return false;
  if (!IS_POINTER_PRIMARY_WPARAM(wparam)) return true;  // other pointers: swallowed
  const UINT32 id = GET_POINTERID_WPARAM(wparam);
  POINTER_INPUT_TYPE type = PT_POINTER;
  if (!api.GetPointerType(id, &type)) return false;
  POINT point = {0, 0};
  float pressure = 0;
  if (type == PT_TOUCH && api.GetPointerTouchInfo != nullptr) {
    POINTER_TOUCH_INFO info = {};
    if (!api.GetPointerTouchInfo(id, &info)) return false;
    point = info.pointerInfo.ptPixelLocation;
    pressure = static_cast<float>(info.pressure) / 1024.0f;
  } else if (type == PT_PEN && api.GetPointerPenInfo != nullptr) {
    POINTER_PEN_INFO info = {};
    if (!api.GetPointerPenInfo(id, &info)) return false;
    point = info.pointerInfo.ptPixelLocation;
    pressure = static_cast<float>(info.pressure) / 1024.0f;
  } else {
    return false;
  }
  ::ScreenToClient(hwnd_, &point);

  auto deliver = [this, pressure](Control* control, EventType event) {
    EventArgs args = MakeEvent(control, event);
    args.pressure = pressure;
    const bool receives = control->IsReceivePointer();
    control->DispatchEvent(args);
    return receives;
  };
  switch (message) {
    case WM_POINTERUPDATE:
      if (pressed_ != nullptr || touch_ != nullptr) return true;
      last_mouse_ = point;
      if (pointer_ != nullptr && UpdateHover(point) && pointer_ != nullptr) {
        return deliver(pointer_, kEventPointMove);
      }
      return false;
    case WM_POINTERDOWN: {
      if (pressed_ != nullptr || touch_ != nullptr) return true;
      ::SetFocus(hwnd_);
      last_mouse_ = point;
      Control* control = OwnControlAt(point);
      if (control == nullptr) return false;
      pointer_ = control;
      std::weak_ptr<cbase::WeakFlag> control_alive = control->GetWeakFlag();
      SetFocusControl(control);
      if (control_alive.expired() || pointer_ != control) return false;
      ::SetCapture(hwnd_);
      mouse_capture_ = true;
      return deliver(control, kEventPointDown);
    }
    default: {  // up, leave, capture changed
      last_mouse_ = point;
      ReleaseMouseCapture();
      Control* pointer = pointer_;
      pointer_ = nullptr;
      return pointer != nullptr && deliver(pointer, kEventPointUp);
    }
  }
}

void Window::AttachWindowEvent(EventType type, EventCallback callback) {
  window_events_.Add(type, std::move(callback));
}

bool Window::AttachRoot(Control* root) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  if (root == nullptr) return false;
  if (root_ != nullptr && root_ != root) AddDelayedCleanup(root_);
  root_ = root;
  root->SetWindow(this, nullptr, true);
  InitSubtree(root, nullptr);
  root->RelayoutSelf();
  if (hwnd_ != nullptr) InvalidateNative(nullptr);
  return true;
}

void Window::InitSubtree(Control* control, Box* /*parent*/) {
  if (control == nullptr) return;
  control->FindControl(
      [](Control* c, void* data) -> Control* {
        auto& names = static_cast<Window*>(data)->names_;
        if (!c->GetName().empty()) names.emplace(c->GetName(), c);  // the first one stays
        return nullptr;
      },
      this, kFindMeFirst);
}

void Window::ForgetControl(Control* control) {
  if (control == nullptr) return;
  for (Control** target : {&focus_, &hover_, &entered_, &pressed_, &key_, &touch_, &pointer_}) {
    if (*target == control) *target = nullptr;
  }
  if (root_ == control) root_ = nullptr;
  shadow_.Forget(control);
  auto name = names_.find(control->GetName());
  if (name != names_.end() && name->second == control) names_.erase(name);
  for (auto group = groups_.begin(); group != groups_.end();) {
    auto& members = group->second;
    members.erase(std::remove(members.begin(), members.end(), control), members.end());
    group = members.empty() ? groups_.erase(group) : std::next(group);
  }
  delayed_cleanup_.erase(std::remove(delayed_cleanup_.begin(), delayed_cleanup_.end(), control),
                         delayed_cleanup_.end());
}

void Window::SetResourcePath(const std::wstring& path) {
  resource_path_ = path;
  if (!resource_path_.empty() && resource_path_.back() != L'\\' && resource_path_.back() != L'/') {
    resource_path_ += L'\\';
  }
}

void Window::AddClass(const std::wstring& name, const std::wstring& attributes) {
  classes_[name] = attributes;
}

std::wstring Window::GetClassAttributes(const std::wstring& name) const {
  auto it = classes_.find(name);
  return it == classes_.end() ? std::wstring() : it->second;
}

Control* Window::FindControlByName(const std::wstring& name) const {
  auto it = names_.find(name);
  return it == names_.end() ? nullptr : it->second;
}

Control* Window::FindSubControlByName(Control* parent, const std::wstring& name) const {
  if (parent == nullptr) parent = root_;
  if (parent == nullptr) return nullptr;
  std::wstring sought = name;
  return parent->FindControl(
      [](Control* c, void* data) -> Control* {
        const auto* wanted = static_cast<const std::wstring*>(data);
        return _wcsicmp(c->GetName().c_str(), wanted->c_str()) == 0 ? c : nullptr;
      },
      &sought, 0);
}

Control* Window::FindControlAt(POINT point) const {
  for (IUIPointHook* hook : point_hooks_) {
    if (Control* control = hook->ControlAtPoint(point)) return control;
  }
  if (root_ == nullptr) return nullptr;
  return root_->FindControl(
      [](Control* c, void* data) -> Control* {
        const RECT rect = c->GetRect();
        return ::PtInRect(&rect, *static_cast<POINT*>(data)) ? c : nullptr;
      },
      &point, kFindVisible | kFindHitTest | kFindTopFirst);
}

bool Window::AddToGroup(const std::wstring& group, Control* control) {
  if (control == nullptr || group.empty()) return false;
  auto& members = groups_[group];
  if (std::find(members.begin(), members.end(), control) != members.end()) return false;
  members.push_back(control);
  return true;
}

bool Window::RemoveFromGroup(const std::wstring& group, Control* control) {
  auto it = groups_.find(group);
  if (it == groups_.end()) return false;
  auto& members = it->second;
  auto member = std::find(members.begin(), members.end(), control);
  if (member == members.end()) return false;
  members.erase(member);
  if (members.empty()) groups_.erase(it);
  return true;
}

std::vector<Control*> Window::GetGroup(const std::wstring& group) const {
  auto it = groups_.find(group);
  return it == groups_.end() ? std::vector<Control*>() : it->second;
}

void Window::SetFocusControl(Control* control) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  if (control != nullptr && control != focus_ && hwnd_ != nullptr && ::GetFocus() != hwnd_) {
    ::SetFocus(hwnd_);
  }
  if (control == focus_) return;
  std::weak_ptr<cbase::WeakFlag> alive = GetWeakFlag();
  if (focus_ != nullptr) {
    Control* old = focus_;
    std::weak_ptr<cbase::WeakFlag> old_alive = old->GetWeakFlag();
    EventArgs kill = MakeEvent(old, kEventInternalKillFocus);
    old->DispatchEvent(kill);
    if (alive.expired()) return;
    focus_ = nullptr;
    if (!old_alive.expired()) SendEvent(old, kEventKillFocus);
    if (alive.expired()) return;
  }
  if (control != nullptr && control->GetWindow() == this && control->IsVisible() &&
      control->IsEnabled()) {
    focus_ = control;
    EventArgs set = MakeEvent(control, kEventInternalSetFocus);
    std::weak_ptr<cbase::WeakFlag> control_alive = control->GetWeakFlag();
    control->DispatchEvent(set);
    if (alive.expired() || control_alive.expired()) return;
    SendEvent(control, kEventSetFocus);
  }
}

bool Window::FocusNextTabStop(bool forward) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  if (layout_pending_ && forward) {
    // Positions are stale: the move waits for the next layout pass.
    tab_after_layout_ = true;
    if (hwnd_ != nullptr) InvalidateNative(nullptr);
    return true;
  }
  if (root_ == nullptr) return false;
  struct Walk {
    Control* focus;
    std::vector<Control*> stops;
    long focus_position;  // stops seen before the focus, or -1
  } walk{focus_, {}, -1};
  root_->FindControl(
      [](Control* c, void* data) -> Control* {
        auto* w = static_cast<Walk*>(data);
        if (c == w->focus) w->focus_position = static_cast<long>(w->stops.size());
        if (c->AllowsTabStop()) w->stops.push_back(c);
        return nullptr;
      },
      &walk, kFindMeFirst | kFindVisible | kFindEnabled);
  if (walk.stops.empty()) return false;
  const long count = static_cast<long>(walk.stops.size());
  Control* next = nullptr;
  if (walk.focus_position < 0) {
    next = forward ? walk.stops.front() : walk.stops.back();
  } else if (forward) {
    const bool focus_is_stop =
        walk.focus_position < count && walk.stops[walk.focus_position] == focus_;
    const long index = walk.focus_position + (focus_is_stop ? 1 : 0);
    next = index < count ? walk.stops[index] : walk.stops.front();
  } else {
    const long index = walk.focus_position - 1;
    next = index >= 0 ? walk.stops[index] : walk.stops.back();
  }
  SetFocusControl(next);
  return true;
}

EventArgs Window::MakeEvent(Control* control, EventType type, WPARAM wparam, LPARAM lparam) const {
  EventArgs args;
  args.type = type;
  args.sender = control;
  args.timestamp = ::GetTickCount();
  args.mouse = last_mouse_;
  args.wparam = wparam;
  args.lparam = lparam;
  return args;
}

bool Window::SendEvent(Control* control, EventType type, WPARAM wparam, LPARAM lparam) {
  if (control == nullptr) return false;
  EventArgs args = MakeEvent(control, type, wparam, lparam);
  control->DispatchEvent(args);
  return true;
}

void Window::Invalidate(const RECT& rect) {
  if (hwnd_ != nullptr && !::IsRectEmpty(&rect)) InvalidateNative(&rect);
}

void Window::InvalidateNative(const RECT* rect) {
  ::InvalidateRect(hwnd_, rect, FALSE);
  if (!layered_) return;
  // Some systems (Wine) send layered windows no WM_PAINT and keep no update
  // region for them: the window remembers the dirty area and asks for the
  // paint itself.
  RECT area;
  if (rect == nullptr) {
    ::GetClientRect(hwnd_, &area);
  } else {
    area = *rect;
  }
  ::UnionRect(&layered_dirty_, &layered_dirty_, &area);
  if (!paint_posted_ && ::PostMessageW(hwnd_, WM_PAINT, 0, 0)) paint_posted_ = true;
}

void Window::LayoutPass(const RECT& client) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  if (!layout_pending_) return;
  layout_pending_ = false;
  if (::IsRectEmpty(&client) || root_ == nullptr) return;
  if (root_->NeedsLayout()) {
    root_->SetBounds(client);
  } else {
    auto asked = [](Control* c, void*) -> Control* { return c->NeedsLayout() ? c : nullptr; };
    while (Control* control = root_->FindControl(asked, nullptr, kFindMeFirst | kFindVisible)) {
      control->SetBounds(control->GetRect());
      // A control that keeps asking would hold the pass forever.
      if (control->NeedsLayout()) break;
    }
  }
  if (first_layout_) {
    first_layout_ = false;
    OnFirstLayout();
  }
  if (tab_after_layout_ && !layout_pending_) {
    tab_after_layout_ = false;
    FocusNextTabStop(true);
  }
}

void Window::SetWindowAlpha(int alpha) {
  window_alpha_ = static_cast<BYTE>(std::clamp(alpha, 0, 255));
  if (layered_ && hwnd_ != nullptr && present_count_ > 0) {
    // The system keeps no copy of a layered window's content: the last frame
    // composed in the render context is presented again with the new alpha
    // (a fade step costs no paint).
    alpha_changed_ = true;
    if (!paint_posted_ && ::PostMessageW(hwnd_, WM_PAINT, 0, 0)) paint_posted_ = true;
    return;
  }
  if (root_ != nullptr) Invalidate(root_->GetRect());
  if (layered_ && hwnd_ != nullptr) ::PostMessageW(hwnd_, WM_PAINT, 0, 0);
}

void Window::AddDelayedCleanup(Control* control) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  if (control == nullptr) return;
  control->SetWindow(this, nullptr, false);
  delayed_cleanup_.push_back(control);
  if (hwnd_ != nullptr) ::PostMessageW(hwnd_, kDelayedCleanupMessage, 0, 0);
}

void Window::RunDelayedCleanup() {
  std::vector<Control*> controls;
  controls.swap(delayed_cleanup_);
  for (Control* control : controls) delete control;
}

// --- Painting ---

SIZE Window::EstimateRootSize() {
  SIZE size = root_->DesiredSize(SIZE{kUnboundedSize, kUnboundedSize});
  if (root_->GetMinWidth() >= 0) size.cx = std::max<LONG>(size.cx, root_->GetMinWidth());
  if (root_->GetMaxWidth() >= 0) size.cx = std::min<LONG>(size.cx, root_->GetMaxWidth());
  if (root_->GetMinHeight() >= 0) size.cy = std::max<LONG>(size.cy, root_->GetMinHeight());
  if (root_->GetMaxHeight() >= 0) size.cy = std::min<LONG>(size.cy, root_->GetMaxHeight());
  return size;
}

void Window::OnPaint() {
  paint_posted_ = false;
  if (::IsIconic(hwnd_) || root_ == nullptr || render_context_ == nullptr) {
    PAINTSTRUCT ps;
    ::BeginPaint(hwnd_, &ps);
    ::EndPaint(hwnd_, &ps);
    return;
  }
  // A root that sizes to its content sets the window's size first.
  if (layout_pending_ && root_->NeedsLayout() &&
      (root_->GetFixedWidth() == Control::kAuto || root_->GetFixedHeight() == Control::kAuto)) {
    const SIZE size = EstimateRootSize();
    RECT window_rect;
    ::GetWindowRect(hwnd_, &window_rect);
    ::MoveWindow(hwnd_, window_rect.left, window_rect.top, size.cx, size.cy, TRUE);
  }

  RECT update = {0, 0, 0, 0};
  ::GetUpdateRect(hwnd_, &update, FALSE);
  if (layered_) {
    ::UnionRect(&update, &update, &layered_dirty_);
    layered_dirty_ = RECT{0, 0, 0, 0};
  }
  RECT client;
  ::GetClientRect(hwnd_, &client);
  if (::IsRectEmpty(&update) && !first_layout_) {
    // Nothing to paint; a new alpha only needs the last frame presented again
    // (when that frame still has the window's size).
    if (!alpha_changed_) return;
    if (render_context_->GetWidth() == client.right - client.left &&
        render_context_->GetHeight() == client.bottom - client.top) {
      PAINTSTRUCT ps;
      HDC hdc = ::BeginPaint(hwnd_, &ps);
      Present(hdc, update);
      ::EndPaint(hwnd_, &ps);
      return;
    }
    update = client;
  }
  if (layered_) {
    // Parts of a layered window past the edge of the virtual screen are never
    // reported dirty; paint them with the edge that touches the screen.
    RECT window_rect;
    ::GetWindowRect(hwnd_, &window_rect);
    const int screen_left = ::GetSystemMetrics(SM_XVIRTUALSCREEN);
    const int screen_top = ::GetSystemMetrics(SM_YVIRTUALSCREEN);
    const int screen_right = screen_left + ::GetSystemMetrics(SM_CXVIRTUALSCREEN);
    const int screen_bottom = screen_top + ::GetSystemMetrics(SM_CYVIRTUALSCREEN);
    if (window_rect.left < screen_left && update.left == screen_left - window_rect.left) {
      update.left = client.left;
    }
    if (window_rect.top < screen_top && update.top == screen_top - window_rect.top) {
      update.top = client.top;
    }
    if (window_rect.right > screen_right && update.right == screen_right - window_rect.left) {
      update.right = client.right;
    }
    if (window_rect.bottom > screen_bottom && update.bottom == screen_bottom - window_rect.top) {
      update.bottom = client.bottom;
    }
  }

  PAINTSTRUCT ps;
  HDC hdc = ::BeginPaint(hwnd_, &ps);
  if (layout_pending_) {
    LayoutPass(client);
    // What the pass moved is painted now rather than by another WM_PAINT.
    RECT moved = {0, 0, 0, 0};
    ::GetUpdateRect(hwnd_, &moved, FALSE);
    if (layered_) {
      ::UnionRect(&moved, &moved, &layered_dirty_);
      layered_dirty_ = RECT{0, 0, 0, 0};
    }
    ::IntersectRect(&moved, &moved, &client);
    ::UnionRect(&update, &update, &moved);
    ::ValidateRect(hwnd_, &moved);
  }
  if (root_ == nullptr) {
    ::EndPaint(hwnd_, &ps);
    return;
  }

  const int width = client.right - client.left;
  const int height = client.bottom - client.top;
  if (render_context_->Resize(width, height)) {
    render_context_->SetAlphaBlit(!shadow_.IsAttached());
    update = client;
  }
  if (layered_) render_context_->FillPixels(update, 0);
  {
    AutoClip clip(render_context_.get(), update);
    const POINT origin = render_context_->OffsetOrigin(render_offset_.x, render_offset_.y);
    // The root is painted directly: its own alpha is the fade value the
    // window's alpha follows, not a translucency of its own.
    root_->PaintSelf(render_context_.get(), update);
    root_->PaintChildren(render_context_.get(), update);
    render_context_->SetOrigin(origin.x, origin.y);
  }

  if (layered_) {
    // GDI leaves alpha 0 where it draws: make the content opaque again.
    const Box* box = dynamic_cast<const Box*>(root_);
    const RECT inner = box != nullptr ? box->InnerRect() : root_->GetRect();
    const bool offset = render_offset_.x != 0 || render_offset_.y != 0;
    if (!shadow_.IsAttached() || offset) {
      const RECT& fix = alpha_fix_corner_;
      if (fix.left > 0 || fix.top > 0 || fix.right > 0 || fix.bottom > 0) {
        RECT opaque = {inner.left + fix.left, inner.top + fix.top, inner.right - fix.right,
                       inner.bottom - fix.bottom};
        if (::IntersectRect(&opaque, &opaque, &update)) {
          render_context_->MakeOpaque(opaque, RECT{0, 0, 0, 0}, 0);
        }
      }
    } else {
      RECT opaque;
      if (::IntersectRect(&opaque, &update, &inner)) {
        // The corner squares of the current shadow padding, plus one pixel,
        // keep the alpha the shadow image drew.
        const RECT padding = shadow_.GetPadding();
        const RECT insets = {padding.left + 1, padding.top + 1, padding.right + 1,
                             padding.bottom + 1};
        render_context_->MakeOpaque(opaque, insets, 0);
      }
    }
  }
  Present(hdc, update);
  ::EndPaint(hwnd_, &ps);
}

void Window::Present(HDC hdc, const RECT& update) {
  alpha_changed_ = false;
  if (layered_) {
    RECT window_rect;
    ::GetWindowRect(hwnd_, &window_rect);
    POINT position = {window_rect.left, window_rect.top};
    SIZE size = {render_context_->GetWidth(), render_context_->GetHeight()};
    POINT source = {0, 0};
    BLENDFUNCTION blend = {AC_SRC_OVER, 0, window_alpha_, AC_SRC_ALPHA};
    ::UpdateLayeredWindow(hwnd_, nullptr, &position, &size, render_context_->DeviceContext(),
                          &source, 0, &blend, ULW_ALPHA);
  } else {
    ::BitBlt(hdc, update.left, update.top, update.right - update.left, update.bottom - update.top,
             render_context_->DeviceContext(), update.left, update.top, SRCCOPY);
  }
  ++present_count_;
}

// --- Geometry ---

void Window::CenterWindow() {
  if (hwnd_ == nullptr) return;
  RECT window_rect;
  ::GetWindowRect(hwnd_, &window_rect);
  HWND owner = ::GetWindow(hwnd_, GW_OWNER);
  MONITORINFO monitor = {};
  monitor.cbSize = sizeof(monitor);
  ::GetMonitorInfoW(::MonitorFromWindow(owner != nullptr ? owner : hwnd_, MONITOR_DEFAULTTONEAREST),
                    &monitor);
  const RECT work = monitor.rcWork;
  RECT center = work;
  if (owner != nullptr && !::IsIconic(owner)) ::GetWindowRect(owner, &center);
  const int width = window_rect.right - window_rect.left;
  const int height = window_rect.bottom - window_rect.top;
  int left = (center.left + center.right) / 2 - width / 2;
  int top = (center.top + center.bottom) / 2 - height / 2;
  if (left < work.left) left = work.left;
  if (top < work.top) top = work.top;
  if (left + width > work.right) left = work.right - width;
  if (top + height > work.bottom) top = work.bottom - height;
  ::SetWindowPos(hwnd_, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Window::ShowModal() {
  if (hwnd_ == nullptr) return;
  if (HWND owner = ::GetWindow(hwnd_, GW_OWNER)) {
    ::EnableWindow(owner, FALSE);
    modal_ = true;
  }
  Show(true, true);
}

void Window::SetTitleFromId(const std::wstring& id) {
  if (hwnd_ != nullptr) ::SetWindowTextW(hwnd_, GlobalManager::GetText(id).c_str());
}

void Window::SetInitialSize(int cx, int cy, bool contains_shadow, bool dpi_scale) {
  if (dpi_scale) {
    cx = GlobalManager::ScaleLength(cx);
    cy = GlobalManager::ScaleLength(cy);
  }
  if (!contains_shadow) {
    const RECT shadow = shadow_.GetThickness();
    cx += shadow.left + shadow.right;
    cy += shadow.top + shadow.bottom;
  }
  initial_size_ = SIZE{cx, cy};
  if (root_ == nullptr && hwnd_ != nullptr) {
    ::SetWindowPos(hwnd_, nullptr, 0, 0, cx, cy, SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
  }
}

void Window::SetHeightPercent(double percent) {
  height_percent_ = percent;
  if (hwnd_ == nullptr || percent <= 0) return;
  MONITORINFO monitor = {};
  monitor.cbSize = sizeof(monitor);
  ::GetMonitorInfoW(::MonitorFromWindow(hwnd_, MONITOR_DEFAULTTONEAREST), &monitor);
  const RECT shadow = shadow_.GetThickness();
  int height = static_cast<int>((monitor.rcWork.bottom - monitor.rcWork.top) * percent);
  // The track sizes hold the shadow; compare without it.
  const int shadow_height = shadow.top + shadow.bottom;
  if (min_info_.cy > 0) height = std::max(height, static_cast<int>(min_info_.cy) - shadow_height);
  if (max_info_.cy > 0) height = std::min(height, static_cast<int>(max_info_.cy) - shadow_height);
  const int width = initial_size_.cx;
  height += shadow_height;
  initial_size_ = SIZE{width, height};
  // A minimised or maximised window keeps its size until it is restored.
  if (::IsIconic(hwnd_) || ::IsZoomed(hwnd_)) {
    resize_on_restore_ = true;
    return;
  }
  ::SetWindowPos(hwnd_, nullptr, 0, 0, width, height, SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
}

void Window::SetSizeBox(const RECT& size_box) {
  size_box_ = size_box;
  GlobalManager::ScaleRect(size_box_);
}

void Window::SetCaptionRect(const RECT& caption) {
  caption_ = caption;
  GlobalManager::ScaleRect(caption_);
}

void Window::SetRoundCorner(SIZE round) {
  round_corner_ = SIZE{GlobalManager::ScaleLength(round.cx), GlobalManager::ScaleLength(round.cy)};
}

void Window::SetMinInfo(int cx, int cy, bool contains_shadow) {
  if (cy != 0 && !contains_shadow) {
    const RECT shadow = shadow_.GetThickness();
    cy += shadow.top + shadow.bottom;
  }
  min_info_ = SIZE{cx, cy};
}

void Window::SetMaxInfo(int cx, int cy, bool contains_shadow) {
  if (cy != 0 && !contains_shadow) {
    const RECT shadow = shadow_.GetThickness();
    cy += shadow.top + shadow.bottom;
  }
  max_info_ = SIZE{cx, cy};
}

void Window::SetRenderOffset(POINT offset) {
  render_offset_ = offset;
  if (hwnd_ != nullptr) InvalidateNative(nullptr);
}

// --- Hooks ---

void Window::AddMessageFilter(IUIMessageFilter* filter) {
  if (filter == nullptr) return;
  if (std::find(message_filters_.begin(), message_filters_.end(), filter) ==
      message_filters_.end()) {
    message_filters_.push_back(filter);
  }
}

void Window::RemoveMessageFilter(IUIMessageFilter* filter) {
  message_filters_.erase(std::remove(message_filters_.begin(), message_filters_.end(), filter),
                         message_filters_.end());
}

void Window::AddPointHook(IUIPointHook* hook) {
  if (hook == nullptr) return;
  if (std::find(point_hooks_.begin(), point_hooks_.end(), hook) == point_hooks_.end()) {
    point_hooks_.push_back(hook);
  }
}

void Window::RemovePointHook(IUIPointHook* hook) {
  point_hooks_.erase(std::remove(point_hooks_.begin(), point_hooks_.end(), hook),
                     point_hooks_.end());
}

void Window::ForgetTree() {
  focus_ = hover_ = entered_ = pressed_ = key_ = touch_ = pointer_ = nullptr;
  names_.clear();
  groups_.clear();
}

}  // namespace ui
