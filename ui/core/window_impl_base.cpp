#include "ui/core/window_impl_base.h"

#include <versionhelpers.h>
#include <windowsx.h>

#include <functional>
#include <utility>

#include "base/startup_trace.h"
#include "ui/control/box.h"
#include "ui/control/button.h"
#include "ui/control/control.h"
#include "ui/control/rich_edit.h"
#include "ui/control/shadow_box.h"
#include "ui/core/global_manager.h"
#include "ui/core/window_builder.h"

namespace ui {

namespace {

// Buttons of every kind click; options and check boxes are buttons too.
bool IsButton(const Control* control) {
  return dynamic_cast<const ButtonTemplate<Control>*>(control) != nullptr ||
         dynamic_cast<const ButtonTemplate<Box>*>(control) != nullptr;
}

// Controls that take clicks inside the caption instead of dragging the
// window.
bool TakesCaptionClicks(const Control* control) {
  return IsButton(control) || dynamic_cast<const RichEdit*>(control) != nullptr;
}

}  // namespace

WindowImplBase::WindowImplBase() = default;

WindowImplBase::~WindowImplBase() = default;

std::wstring WindowImplBase::SuperClassName() const { return std::wstring(); }

UINT WindowImplBase::ClassStyle() const { return CS_DBLCLKS; }

HWND WindowImplBase::Create(HWND parent, const std::wstring& title, DWORD style, DWORD ex_style,
                            bool layered, const RECT& rect) {
  std::weak_ptr<cbase::WeakFlag> alive = GetWeakFlag();
  HWND hwnd = Window::Create(parent, title, style, ex_style, layered, rect);
  // A window whose skin did not load was destroyed and took this object
  // with it; one that never came to exist goes the same way.
  if (hwnd == nullptr && !alive.expired()) delete this;
  return hwnd;
}

void WindowImplBase::Close(UINT code) { Window::Close(code); }

void WindowImplBase::Show(bool show, bool take_focus) { Window::Show(show, take_focus); }

void WindowImplBase::OnDestroyed(HWND hwnd) {
  std::weak_ptr<cbase::WeakFlag> alive = GetWeakFlag();
  Window::OnDestroyed(hwnd);
  if (alive.expired()) return;
  ForgetTree();
  delete this;
}

void WindowImplBase::OnFirstLayout() { Window::OnFirstLayout(); }

void WindowImplBase::OnSkinLoaded() {}

LONG WindowImplBase::FrameStyle() const {
  return static_cast<LONG>(::GetWindowLongPtrW(GetHWND(), GWL_STYLE)) & ~WS_CAPTION;
}

std::wstring WindowImplBase::GetResourceId() const { return std::wstring(); }

Control* WindowImplBase::CreateCustomControl(const std::wstring& /*class_name*/) { return nullptr; }

CreateControlCallback WindowImplBase::GetCreateControlCallback() {
  return [this](const std::wstring& name) { return CreateCustomControl(name); };
}

LRESULT WindowImplBase::MessageHandler(UINT /*message*/, WPARAM /*wparam*/, LPARAM /*lparam*/,
                                       bool& handled) {
  handled = false;
  return 0;
}

LRESULT WindowImplBase::ProcessMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_CREATE) return OnCreate();
  using Handler = LRESULT (WindowImplBase::*)(UINT, WPARAM, LPARAM, bool&);
  Handler handler = nullptr;
  switch (message) {
    case WM_CLOSE:
      handler = &WindowImplBase::OnClose;
      break;
    case WM_DESTROY:
      handler = &WindowImplBase::OnDestroy;
      break;
    case WM_NCACTIVATE:
      handler = &WindowImplBase::OnNcActivate;
      break;
    case WM_NCCALCSIZE:
      handler = &WindowImplBase::OnNcCalcSize;
      break;
    case WM_WINDOWPOSCHANGING:
      handler = &WindowImplBase::OnWindowPosChanging;
      break;
    case WM_NCPAINT:
      handler = &WindowImplBase::OnNcPaint;
      break;
    case WM_NCLBUTTONDBLCLK:
      handler = &WindowImplBase::OnNcLButtonDblClk;
      break;
    case WM_NCHITTEST:
      handler = &WindowImplBase::OnNcHitTest;
      break;
    case WM_GETMINMAXINFO:
      handler = &WindowImplBase::OnGetMinMaxInfo;
      break;
    case WM_MOUSEWHEEL:
      handler = &WindowImplBase::OnMouseWheel;
      break;
    case WM_MOUSEHOVER:
      handler = &WindowImplBase::OnMouseHover;
      break;
    case WM_DPICHANGED:
      handler = &WindowImplBase::OnDpiChanged;
      break;
    case WM_SIZE:
      handler = &WindowImplBase::OnSize;
      break;
    case WM_CHAR:
      handler = &WindowImplBase::OnChar;
      break;
    case WM_SYSCOMMAND:
      handler = &WindowImplBase::OnSysCommand;
      break;
    case WM_KEYDOWN:
      handler = &WindowImplBase::OnKeyDown;
      break;
    case WM_KILLFOCUS:
      handler = &WindowImplBase::OnKillFocus;
      break;
    case WM_SETFOCUS:
      handler = &WindowImplBase::OnSetFocus;
      break;
    case WM_LBUTTONDOWN:
      handler = &WindowImplBase::OnLButtonDown;
      break;
    case WM_LBUTTONUP:
      handler = &WindowImplBase::OnLButtonUp;
      break;
    case WM_MOUSEMOVE:
      handler = &WindowImplBase::OnMouseMove;
      break;
    default:
      break;
  }
  if (handler != nullptr) {
    bool handled = true;
    const LRESULT result = (this->*handler)(message, wparam, lparam, handled);
    if (handled) return result;
  }
  return Window::ProcessMessage(message, wparam, lparam);
}

// --- Skin
// ------------------------------------------------------------------------------------------

LRESULT WindowImplBase::OnCreate() {
  STARTUP_TRACE("window_native");
  HWND hwnd = GetHWND();
  ::SetWindowLongPtrW(hwnd, GWL_STYLE, FrameStyle());
  Attach(hwnd);
  RegisterTouchInput();

  SetResourcePath(SkinFolder());
  const std::wstring skin = GetResourcePath() + SkinFile();
  WindowBuilder builder;
  Control* root = builder.Create(skin, GetCreateControlCallback(), this);
  if (root == nullptr) {
    // The message is cut to 259 characters, as a fixed buffer would.
    const std::wstring text = (kSkinErrorPrefix + skin).substr(0, 259);
    ::MessageBoxW(nullptr, text.c_str(), kSkinErrorCaption, MB_OK | MB_ICONERROR);
    return -1;
  }

  AttachRoot(shadow().Wrap(root));
  STARTUP_TRACE("skin_built");
  std::weak_ptr<cbase::WeakFlag> alive = GetWeakFlag();
  OnSkinLoaded();
  if (alive.expired() || GetRoot() == nullptr) return -1;
  // Decoded while the window is shown and laid out.
  PrefetchShownImages();

  Control* tree = GetRoot();
  if (tree->GetFixedWidth() == Control::kAuto || tree->GetFixedHeight() == Control::kAuto) {
    const SIZE size = EstimateRootSize();
    ::MoveWindow(hwnd, 0, 0, size.cx, size.cy, FALSE);
  }
  WireSystemButtons();
  return 0;
}

void WindowImplBase::WireSystemButtons() {
  auto wire = [this](const wchar_t* name, std::function<void()> action) {
    Control* control = FindControlByName(name);
    if (control == nullptr || !IsButton(control)) return;
    control->AttachClick(ToWeakCallback([action = std::move(action)](const EventArgs&) {
      action();
      return true;
    }));
  };
  wire(L"closebtn", [this] { Close(1); });
  wire(L"minbtn", [this] { ::SendMessageW(GetHWND(), WM_SYSCOMMAND, SC_MINIMIZE, 0); });
  wire(L"maxbtn", [this] {
    Control* max = FindControlByName(L"maxbtn");
    Control* restore = FindControlByName(L"restorebtn");
    if (max != nullptr && restore != nullptr) {
      max->SetFadeVisible(false);
      restore->SetFadeVisible(true);
    }
    ::SendMessageW(GetHWND(), WM_SYSCOMMAND, SC_MAXIMIZE, 0);
  });
  wire(L"restorebtn", [this] {
    Control* max = FindControlByName(L"maxbtn");
    Control* restore = FindControlByName(L"restorebtn");
    if (max != nullptr && restore != nullptr) {
      max->SetFadeVisible(true);
      restore->SetFadeVisible(false);
    }
    ::SendMessageW(GetHWND(), WM_SYSCOMMAND, SC_RESTORE, 0);
  });
}

// --- Message handlers
// --------------------------------------------------------------------------------

LRESULT WindowImplBase::OnClose(UINT, WPARAM, LPARAM, bool& handled) {
  handled = false;
  return 0;
}

LRESULT WindowImplBase::OnDestroy(UINT, WPARAM, LPARAM, bool& handled) {
  handled = false;
  return 0;
}

LRESULT WindowImplBase::OnNcActivate(UINT, WPARAM wparam, LPARAM, bool& handled) {
  if (::IsIconic(GetHWND())) {
    handled = false;
    return 0;
  }
  return wparam == 0 ? TRUE : FALSE;
}

LRESULT WindowImplBase::OnNcCalcSize(UINT, WPARAM, LPARAM, bool&) { return 0; }

LRESULT WindowImplBase::OnWindowPosChanging(UINT, WPARAM, LPARAM lparam, bool& handled) {
  handled = false;
  auto* position = reinterpret_cast<WINDOWPOS*>(lparam);
  if (position == nullptr || !::IsZoomed(GetHWND()) || (position->flags & SWP_FRAMECHANGED) == 0) {
    return 0;
  }
  HMONITOR monitor_handle = ::MonitorFromWindow(GetHWND(), MONITOR_DEFAULTTONEAREST);
  MONITORINFO monitor = {};
  monitor.cbSize = sizeof(monitor);
  if (!::GetMonitorInfoW(monitor_handle, &monitor) || (monitor.dwFlags & MONITORINFOF_PRIMARY)) {
    return 0;
  }
  position->x = monitor.rcWork.left;
  position->y = monitor.rcWork.top;
  position->cx = monitor.rcWork.right - monitor.rcWork.left;
  position->cy = monitor.rcWork.bottom - monitor.rcWork.top;
  return 0;
}

LRESULT WindowImplBase::OnNcPaint(UINT, WPARAM, LPARAM, bool&) { return 0; }

LRESULT WindowImplBase::OnNcLButtonDblClk(UINT, WPARAM, LPARAM, bool&) { return 0; }

LRESULT WindowImplBase::OnNcHitTest(UINT, WPARAM, LPARAM lparam, bool&) {
  POINT point = {GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
  ::ScreenToClient(GetHWND(), &point);
  return HitTest(point);
}

LRESULT WindowImplBase::HitTest(POINT p) {
  RECT r;
  ::GetClientRect(GetHWND(), &r);
  // A maximised window has no shadow padding: its caption starts at the top.
  const RECT shadow = GetShadowPadding();
  r.left += shadow.left;
  r.top += shadow.top;
  r.right -= shadow.right;
  r.bottom -= shadow.bottom;

  if (!::IsZoomed(GetHWND())) {
    const RECT& s = GetSizeBox();
    if (p.y < r.top + s.top) {
      if (p.y < r.top) return HTCLIENT;
      if (p.x < r.left + s.left) return HTTOPLEFT;
      if (p.x > r.right - s.right && p.x <= r.right) return HTTOPRIGHT;
      return HTTOP;
    }
    if (p.y > r.bottom - s.bottom) {
      if (p.y > r.bottom) return HTCLIENT;
      if (p.x < r.left + s.left) return HTBOTTOMLEFT;
      if (p.x > r.right - s.right && p.x <= r.right) return HTBOTTOMRIGHT;
      return HTBOTTOM;
    }
    if (p.x < r.left + s.left) return p.x < r.left ? HTCLIENT : HTLEFT;
    if (p.x > r.right - s.right) return p.x > r.right ? HTCLIENT : HTRIGHT;
  }

  const RECT& c = GetCaptionRect();
  if (p.x >= r.left + c.left && p.x < r.right - c.right && p.y >= r.top + c.top &&
      p.y < r.top + c.bottom) {
    Control* control = FindControlAt(p);
    if (control != nullptr && !TakesCaptionClicks(control)) return HTCAPTION;
  }
  return HTCLIENT;
}

LRESULT WindowImplBase::OnGetMinMaxInfo(UINT, WPARAM, LPARAM lparam, bool& handled) {
  handled = false;
  auto* info = reinterpret_cast<MINMAXINFO*>(lparam);
  MONITORINFO monitor = {};
  monitor.cbSize = sizeof(monitor);
  if (info == nullptr ||
      !::GetMonitorInfoW(::MonitorFromWindow(GetHWND(), MONITOR_DEFAULTTONEAREST), &monitor)) {
    return 0;
  }
  RECT work = monitor.rcWork;
  ::OffsetRect(&work, -monitor.rcMonitor.left, -monitor.rcMonitor.top);
  const RECT& own = GetMaximizeRect();
  if (own.right - own.left > 0 && own.bottom - own.top > 0) {
    info->ptMaxPosition = POINT{work.left + own.left, work.top + own.top};
    info->ptMaxSize = POINT{own.right - own.left, own.bottom - own.top};
  } else {
    info->ptMaxPosition = POINT{work.left, work.top};
    info->ptMaxSize = POINT{work.right - work.left, work.bottom - work.top};
  }
  const SIZE min = GetMinInfo();
  const SIZE max = GetMaxInfo();
  if (min.cx != 0) info->ptMinTrackSize.x = min.cx;
  if (min.cy != 0) info->ptMinTrackSize.y = min.cy;
  if (max.cx != 0) info->ptMaxTrackSize.x = max.cx;
  if (max.cy != 0) info->ptMaxTrackSize.y = max.cy;
  return 0;
}

LRESULT WindowImplBase::OnMouseWheel(UINT, WPARAM, LPARAM, bool& handled) {
  handled = false;
  return 0;
}

LRESULT WindowImplBase::OnMouseHover(UINT, WPARAM, LPARAM, bool& handled) {
  handled = false;
  return 0;
}

LRESULT WindowImplBase::OnDpiChanged(UINT, WPARAM wparam, LPARAM lparam, bool& handled) {
  handled = false;
  if (GlobalManager::IsAdaptDpi()) {
    GlobalManager::SetDisplayScale(::MulDiv(LOWORD(wparam), 100, 96), true);
  }
  // Every length, font and image of the skin is applied again at the new
  // scale (images decode again as they are next drawn), then the shadow is
  // fitted around the rescaled root.
  if (Control* root = GetRoot()) {
    root->FindControl(
        [](Control* control, void*) -> Control* {
          control->ReapplyScaledAttributes();
          return nullptr;
        },
        nullptr, kFindMeFirst);
  }
  shadow().OnDpiChanged();
  RescaleGeometry();
  if (const auto* suggested = reinterpret_cast<const RECT*>(lparam)) {
    ::SetWindowPos(GetHWND(), nullptr, suggested->left, suggested->top,
                   suggested->right - suggested->left, suggested->bottom - suggested->top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
  }
  if (Control* root = GetRoot()) {
    root->RelayoutUpward();
    root->Invalidate();
  }
  return 0;
}

LRESULT WindowImplBase::OnSize(UINT, WPARAM wparam, LPARAM lparam, bool& handled) {
  handled = false;
  const SIZE round = GetRoundCorner();
  if (wparam != SIZE_MINIMIZED && (round.cx != 0 || round.cy != 0)) {
    RECT window_rect;
    ::GetWindowRect(GetHWND(), &window_rect);
    (void)lparam;
    HRGN region =
        ::CreateRoundRectRgn(0, 0, window_rect.right - window_rect.left + 1,
                             window_rect.bottom - window_rect.top + 1, round.cx, round.cy);
    ::SetWindowRgn(GetHWND(), region, TRUE);  // the window owns the region now
  }
  return 0;
}

LRESULT WindowImplBase::OnChar(UINT, WPARAM, LPARAM, bool& handled) {
  handled = false;
  return 0;
}

LRESULT WindowImplBase::OnSysCommand(UINT message, WPARAM wparam, LPARAM lparam, bool& handled) {
  if ((wparam & 0xFFF0) == SC_CLOSE) {
    ::SendMessageW(GetHWND(), WM_CLOSE, 0, 0);
    return 0;
  }
  handled = false;
  (void)message;
  (void)lparam;
  return 0;
}

LRESULT WindowImplBase::OnKeyDown(UINT, WPARAM, LPARAM, bool& handled) {
  handled = false;
  return 0;
}

LRESULT WindowImplBase::OnKillFocus(UINT, WPARAM, LPARAM, bool& handled) {
  handled = false;
  return 0;
}

LRESULT WindowImplBase::OnSetFocus(UINT, WPARAM, LPARAM, bool& handled) {
  handled = false;
  return 0;
}

LRESULT WindowImplBase::OnLButtonDown(UINT, WPARAM, LPARAM, bool& handled) {
  handled = false;
  return 0;
}

LRESULT WindowImplBase::OnLButtonUp(UINT, WPARAM, LPARAM, bool& handled) {
  handled = false;
  return 0;
}

LRESULT WindowImplBase::OnMouseMove(UINT, WPARAM, LPARAM, bool& handled) {
  handled = false;
  return 0;
}

// --- Window operations
// ----------------------------------------------------------------------------

void WindowImplBase::BringToFront() {
  HWND hwnd = GetHWND();
  if (hwnd == nullptr || !::IsWindow(hwnd)) return;
  if (::IsIconic(hwnd)) {
    ::ShowWindow(hwnd, SW_RESTORE);
  } else if (!::IsWindowVisible(hwnd)) {
    ::ShowWindow(hwnd, SW_SHOW);
  }
  ::SetForegroundWindow(hwnd);
}

void WindowImplBase::SetTitle(const std::wstring& text) {
  if (GetHWND() != nullptr) ::SetWindowTextW(GetHWND(), text.c_str());
}

}  // namespace ui
