#include "test_support.h"

#include <windows.h>

#include <cwchar>

#include "base/win_ui_message_pump.h"

namespace cbase {
namespace test {

namespace {

constexpr wchar_t kTestWindowClass[] = L"CbaseTestWindow";
constexpr UINT_PTR kTickTimer = 1;
constexpr UINT_PTR kWatchdogTimer = 2;

struct DialogContext {
  const std::function<void(HWND)>* on_init;
  const std::function<bool()>* on_tick;
};

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* context = reinterpret_cast<DialogContext*>(GetWindowLongPtrW(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      context = reinterpret_cast<DialogContext*>(lparam);
      SetWindowLongPtrW(dialog, DWLP_USER, lparam);
      SetTimer(dialog, kWatchdogTimer, 10000, nullptr);
      if (*context->on_tick) SetTimer(dialog, kTickTimer, 10, nullptr);
      if (*context->on_init) (*context->on_init)(dialog);
      return TRUE;
    case WM_TIMER:
      if (wparam == kWatchdogTimer) {
        EndDialog(dialog, -1);
      } else if (wparam == kTickTimer && (*context->on_tick)()) {
        EndDialog(dialog, 1);
      }
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

TestWindow::TestWindow(Handler handler) : handler_(std::move(handler)) {
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = &Proc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = kTestWindowClass;
  RegisterClassExW(&wc);  // fails harmlessly when already registered
  hwnd_ = CreateWindowExW(0, kTestWindowClass, L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                          GetModuleHandleW(nullptr), nullptr);
  SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

TestWindow::~TestWindow() {
  SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
  DestroyWindow(hwnd_);
}

LRESULT CALLBACK TestWindow::Proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* self = reinterpret_cast<TestWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self && message >= WM_APP) {
    self->handler_(message, wparam);
    return 0;
  }
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

INT_PTR RunModalDialog(const std::function<void(HWND)>& on_init,
                       const std::function<bool()>& on_tick) {
  // A dialog template without controls: the header and three empty strings
  // (menu, class, title).
  struct alignas(4) Template {
    DLGTEMPLATE header;
    WORD menu, window_class, title;
  } dialog_template = {};
  dialog_template.header.style = WS_POPUP | WS_CAPTION | DS_MODALFRAME;
  dialog_template.header.dwExtendedStyle = WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW;
  dialog_template.header.cx = 80;
  dialog_template.header.cy = 40;
  DialogContext context{&on_init, &on_tick};
  return DialogBoxIndirectParamW(GetModuleHandleW(nullptr), &dialog_template.header, nullptr,
                                 &DialogProc, reinterpret_cast<LPARAM>(&context));
}

ScopedPumpMessageCounter::ScopedPumpMessageCounter() {
  wake_ups_ = timers_ = 0;
  hook_ = SetWindowsHookExW(WH_GETMESSAGE, &Hook, nullptr, GetCurrentThreadId());
}

ScopedPumpMessageCounter::~ScopedPumpMessageCounter() { UnhookWindowsHookEx(hook_); }

LRESULT CALLBACK ScopedPumpMessageCounter::Hook(int code, WPARAM wparam, LPARAM lparam) {
  if (code >= 0 && wparam == PM_REMOVE) {
    const MSG* msg = reinterpret_cast<const MSG*>(lparam);
    wchar_t name[64] = {};
    if (msg->hwnd && GetClassNameW(msg->hwnd, name, 64) &&
        std::wcscmp(name, WinUIMessagePump::kWindowClassName) == 0) {
      if (msg->message == WinUIMessagePump::kHaveWorkMessage) ++wake_ups_;
      if (msg->message == WM_TIMER) ++timers_;
    }
  }
  return CallNextHookEx(nullptr, code, wparam, lparam);
}

}  // namespace test
}  // namespace cbase
