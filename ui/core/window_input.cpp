// Window: native input decoded for the input router, and the keyboard.
#include <windows.h>

#include <windowsx.h>

#include <vector>

#include "ui/control/control.h"
#include "ui/control/rich_edit.h"
#include "ui/core/pointer_input.h"
#include "ui/core/window.h"

namespace ui {

namespace {

POINT PointFromLParam(LPARAM lparam) { return POINT{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)}; }

// A rich edit that wants tabs keeps the Tab key for itself, unless it is
// read-only: a tab could never be typed there, and the keyboard would be
// stuck.
bool KeepsTabKey(const Control* control) {
  const auto* edit = dynamic_cast<const RichEdit*>(control);
  return edit != nullptr && edit->IsWantTab() && !edit->IsReadOnly();
}

}  // namespace

void Window::RegisterTouchInput() {
  if (hwnd_ != nullptr && PointerInput::Get().RegisterTouchWindow != nullptr) {
    PointerInput::Get().RegisterTouchWindow(hwnd_, 0);
  }
}

Control* Window::OwnControlAt(POINT point) const {
  Control* control = FindControlAt(point);
  return control != nullptr && control->GetWindow() == this ? control : nullptr;
}

// --- Mouse ---

void Window::OnMouseMove(LPARAM lparam) {
  router_.Move(InputRouter::Contact{InputRouter::Source::kMouse, PointFromLParam(lparam), lparam});
}

void Window::OnButtonDown(UINT message, LPARAM lparam) {
  SetFocusRingShown(false);
  const EventType type = message == WM_LBUTTONDOWN   ? kEventMouseButtonDown
                         : message == WM_RBUTTONDOWN ? kEventMouseRightButtonDown
                                                     : kEventInternalDoubleClick;
  router_.Press(InputRouter::Contact{InputRouter::Source::kMouse, PointFromLParam(lparam), lparam},
                type);
}

void Window::OnButtonUp(UINT message, LPARAM lparam) {
  const POINT point = PointFromLParam(lparam);
  if (message == WM_LBUTTONUP) {
    router_.Release(InputRouter::Contact{InputRouter::Source::kMouse, point, lparam});
  } else {
    router_.RightButtonUp(point, lparam);
  }
}

void Window::OnContextMenu(LPARAM lparam) {
  POINT point = PointFromLParam(lparam);
  ::ScreenToClient(hwnd_, &point);
  router_.ContextMenu(point);
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

bool Window::OnSetCursor(LPARAM /*lparam*/) {
  if (router_.HasPress()) return true;
  POINT point;
  ::GetCursorPos(&point);
  ::ScreenToClient(hwnd_, &point);
  Control* control = FindControlAt(point);
  if (control == nullptr) return false;
  SendEvent(control, kEventSetCursor);
  return true;
}

void Window::OnKillFocus() { router_.FocusLost(); }

// --- Touch and pen ---

void Window::OnTouch(WPARAM wparam, LPARAM lparam) {
  const PointerInput& api = PointerInput::Get();
  HTOUCHINPUT handle = reinterpret_cast<HTOUCHINPUT>(lparam);
  const UINT count = LOWORD(wparam);
  if (api.GetTouchInputInfo == nullptr || count == 0) return;
  std::vector<TOUCHINPUT> inputs(count);
  const bool read = api.GetTouchInputInfo(handle, count, inputs.data(), sizeof(TOUCHINPUT)) != 0;
  // Only the first contact of a gesture drives the controls.
  if (read && inputs[0].dwID != 0) {
    const TOUCHINPUT& input = inputs[0];
    POINT point = {input.x / 100, input.y / 100};
    ::ScreenToClient(hwnd_, &point);
    const InputRouter::Contact contact{InputRouter::Source::kTouch, point, lparam};
    if ((input.dwFlags & TOUCHEVENTF_DOWN) != 0) {
      router_.Press(contact, kEventTouchDown);
    } else if ((input.dwFlags & TOUCHEVENTF_MOVE) != 0) {
      router_.Move(contact);
    } else if ((input.dwFlags & TOUCHEVENTF_UP) != 0) {
      router_.Release(contact);
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
  const InputRouter::Contact contact{InputRouter::Source::kPointer, point, 0, pressure};
  switch (message) {
    case WM_POINTERUPDATE:
      return router_.Move(contact);
    case WM_POINTERDOWN:
      return router_.Press(contact, kEventPointDown);
    default:  // up, leave, capture changed
      return router_.Release(contact);
  }
}

// --- Keyboard ---

void Window::OnKeyDown(WPARAM wparam, LPARAM lparam) {
  Control* focus = focus_.Get();
  if (wparam == VK_TAB &&
      !(focus != nullptr && focus->IsVisible() && focus->IsEnabled() && KeepsTabKey(focus))) {
    SetFocusRingShown(true);
    FocusNextTabStop((::GetKeyState(VK_SHIFT) & 0x8000) == 0);
    return;
  }
  if (wparam == VK_ESCAPE) {
    if (Control* dialog = GetOpenDialog()) {
      dialog->SetVisible(false);
      return;
    }
  }
  if (focus == nullptr) return;
  if (wparam == VK_RETURN || wparam == VK_SPACE) SetFocusRingShown(true);
  key_ = focus;
  SendEvent(focus, kEventKeyDown, wparam, lparam);
}

void Window::OnKeyUp(WPARAM wparam, LPARAM lparam) {
  Control* key = key_.Get();
  if (key == nullptr) return;
  key_.Reset();
  SendEvent(key, kEventKeyUp, wparam, lparam);
}

void Window::SendToFocus(EventType type, WPARAM wparam, LPARAM lparam) {
  if (Control* focus = focus_.Get()) SendEvent(focus, type, wparam, lparam);
}

}  // namespace ui
