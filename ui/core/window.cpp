#include "ui/core/window.h"

#include <versionhelpers.h>
#include <wchar.h>
#include <windowsx.h>

#include <algorithm>
#include <utility>

#include "base/startup_trace.h"
#include "ui/animation/timer_manager.h"
#include "ui/control/box.h"
#include "ui/control/control.h"
#include "ui/core/high_contrast.h"
#include "ui/core/pointer_input.h"
#include "ui/render/render.h"

namespace ui {

namespace {

// Property that holds the object of a superclassed window.
constexpr wchar_t kWindowProperty[] = L"WndX";
constexpr int kCloseDelayMs = 300;

HINSTANCE ModuleInstance() { return ::GetModuleHandleW(nullptr); }

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
  ReleasePulseHold();
  RunDelayedCleanup();
  Control* root = root_.Get();
  root_.Reset();
  delete root;
  router_.DestroyTooltip();
  render_context_.reset();
  default_font_.reset();
  if (hwnd_ != nullptr && ::IsWindow(hwnd_)) {
    // The native window outlives this object: cut it loose first, so its
    // last messages go to the default procedure.
    paint_dc_.reset();
    ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    ::RemovePropW(hwnd_, kWindowProperty);
    ::DestroyWindow(hwnd_);
  }
}

// --- Native window ---

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
  paint_dc_.reset();
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
  Control* root = root_.Get();
  if (root != nullptr && ::IsWindowsVistaOrGreater()) {
    root->SetFadeVisible(false);
    TimerManager::Current().AddTimer(
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
  // A window gone before its first frame was seen holds up no animation.
  ReleasePulseHold();
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

CreateControlCallback Window::GetCreateControlCallback() { return nullptr; }

void Window::Attach(HWND hwnd) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  hwnd_ = hwnd;
  if (!paint_dc_) paint_dc_.emplace(hwnd);
  if (render_context_ == nullptr && GetRenderFactory() != nullptr) {
    render_context_ = GetRenderFactory()->CreateRenderContext();
  }
  if (!default_font_) default_font_.reset(CreateDefaultFont());
  // Text drawn without a font of its own uses the window's.
  if (render_context_ != nullptr && default_font_) {
    ::SelectObject(render_context_->DeviceContext(), default_font_.get());
  }
}

// --- Message routing ---

LRESULT Window::RouteMessage(UINT message, WPARAM wparam, LPARAM lparam, bool& handled) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  handled = false;
  // Whoever handles it, the displays were rearranged.
  if (message == WM_DISPLAYCHANGE) presenter_.OnDisplayChange();
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
    case kDialogFocusMessage:
      SyncFocusWithDialog();
      handled = true;
      return 0;
    case kAccessibleActionMessage:
      OnAccessibleAction(static_cast<long>(lparam));
      handled = true;
      return 0;
    case kAfterFirstFrameMessage:
      RunAfterFirstFrame();
      handled = true;
      return 0;
    case kFirstFrameShownMessage:
      StepFadeThenFirstFrameShown();
      handled = true;
      return 0;
    case WM_GETOBJECT:
      return OnGetObject(wparam, lparam, handled);
    case WM_SETTINGCHANGE:
    case WM_SYSCOLORCHANGE:
      // High contrast may have been switched: everything is drawn again.
      HighContrast::Refresh();
      presenter_.Invalidate(nullptr);
      return 0;
    case WM_SIZE:
      OnSize(wparam);
      handled = true;
      return 0;
    case WM_WINDOWPOSCHANGED:
      // A frame presented while the window was hidden is seen once it shows.
      if ((reinterpret_cast<const WINDOWPOS*>(lparam)->flags & SWP_SHOWWINDOW) != 0 &&
          presenter_.NoteWindowShown()) {
        STARTUP_TRACE("first_visible_frame");
        FirstFrameShown();
      }
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
      OnKeyUp(wparam, lparam);
      return 0;
    case WM_CHAR:
      SendToFocus(kEventChar, wparam, lparam);
      return 0;
    case WM_IME_STARTCOMPOSITION:
      SendToFocus(kEventImeStartComposition, wparam, lparam);
      return 0;
    case WM_IME_ENDCOMPOSITION:
      SendToFocus(kEventImeEndComposition, wparam, lparam);
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
      handled = router_.Hover(POINT{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)});
      return 0;
    case WM_MOUSELEAVE:
      router_.Leave();
      return 0;
    default:
      return 0;
  }
}

void Window::OnCloseRequest() {
  std::weak_ptr<cbase::WeakFlag> alive = GetWeakFlag();
  router_.EndAll();
  if (alive.expired()) return;
  SetFocusControl(nullptr);
  if (alive.expired() || hwnd_ == nullptr) return;
  if (HWND owner = ::GetWindow(hwnd_, GW_OWNER)) ::SetFocus(owner);
}

void Window::AttachWindowEvent(EventType type, EventCallback callback) {
  window_events_.Add(type, std::move(callback));
}

// --- Events ---

EventArgs Window::MakeEvent(Control* control, EventType type, WPARAM wparam, LPARAM lparam) const {
  return router_.MakeEvent(control, type, wparam, lparam);
}

bool Window::SendEvent(Control* control, EventType type, WPARAM wparam, LPARAM lparam) {
  if (control == nullptr) return false;
  EventArgs args = MakeEvent(control, type, wparam, lparam);
  control->DispatchEvent(args);
  return true;
}

// --- Tree and delayed deletion ---

bool Window::AttachRoot(Control* root) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  if (root == nullptr) return false;
  Control* old = root_.Get();
  if (old != nullptr && old != root) AddDelayedCleanup(old);
  root_ = root;
  root->SetWindow(this, nullptr, true);
  InitSubtree(root, nullptr);
  root->RelayoutSelf();
  if (hwnd_ != nullptr) presenter_.Invalidate(nullptr);
  return true;
}

void Window::AddDelayedCleanup(Control* control) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  if (control == nullptr) return;
  control->SetWindow(this, nullptr, false);
  delayed_cleanup_.push_back(control);
  if (hwnd_ != nullptr) ::PostMessageW(hwnd_, kDelayedCleanupMessage, 0, 0);
}

size_t Window::DelayedCleanupCount() const {
  return static_cast<size_t>(
      std::count_if(delayed_cleanup_.begin(), delayed_cleanup_.end(),
                    [](const ControlRef& control) { return control.Get() != nullptr; }));
}

void Window::RunDelayedCleanup() {
  std::vector<ControlRef> controls;
  controls.swap(delayed_cleanup_);
  // A control deleted with an earlier one reads as nullptr by now.
  for (const ControlRef& control : controls) delete control.Get();
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

}  // namespace ui
