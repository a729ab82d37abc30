#include "base/win_ui_message_pump.h"

#include <windows.h>

#include <mutex>

#include "base/default_message_pump.h"
#include "base/monotonic_clock.h"

namespace cbase {

namespace {

// Code given to the thread's message filter hook for messages this pump
// dispatches itself.
constexpr int kMessageFilterCode = 0x5001;

// Every UI thread's pump has a window of the same class. The class is
// registered while at least one pump exists: registering and unregistering per
// pump would let one thread's unregistration race another's window creation.
std::mutex g_class_mutex;
int g_class_users = 0;

HINSTANCE ModuleInstance() { return GetModuleHandleW(nullptr); }

void AcquireWindowClass(WNDPROC proc) {
  std::lock_guard<std::mutex> hold(g_class_mutex);
  if (g_class_users++ > 0) return;
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = proc;
  wc.hInstance = ModuleInstance();
  wc.lpszClassName = WinUIMessagePump::kWindowClassName;
  RegisterClassExW(&wc);
}

void ReleaseWindowClass() {
  std::lock_guard<std::mutex> hold(g_class_mutex);
  if (--g_class_users == 0) UnregisterClassW(WinUIMessagePump::kWindowClassName, ModuleInstance());
}

}  // namespace

WinUIMessagePump::WinUIMessagePump() {
  AcquireWindowClass(&WindowProc);
  window_ = CreateWindowExW(0, kWindowClassName, nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                            ModuleInstance(), nullptr);
  if (window_) SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

WinUIMessagePump::~WinUIMessagePump() {
  if (window_) {
    KillTimer(window_, reinterpret_cast<UINT_PTR>(this));
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
  }
  ReleaseWindowClass();
}

void WinUIMessagePump::ScheduleWork() {
  if (have_work_.exchange(1) != 0) return;  // a wake-up is already on its way
  if (!PostMessageW(window_, kHaveWorkMessage, reinterpret_cast<WPARAM>(this), 0)) {
    // Nothing is on its way after all; let the next post try again.
    have_work_.exchange(0);
  }
}

int64_t WinUIMessagePump::GetCurrentDelay() const {
  if (delayed_work_time_ == 0) return -1;
  const int64_t delay_us = delayed_work_time_ - MonotonicNow();
  if (delay_us <= 0) return 0;
  return delay_us / 1000 + (delay_us % 1000 != 0 ? 1 : 0);
}

void WinUIMessagePump::ScheduleDelayedWork(int64_t run_time) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  delayed_work_time_ = run_time;
  int64_t delay_ms = GetCurrentDelay();
  // Window timers do not fire sooner than this anyway; the pump's own wait
  // uses the exact remaining time.
  if (delay_ms < USER_TIMER_MINIMUM) delay_ms = USER_TIMER_MINIMUM;
  if (delay_ms >= int64_t{0xFFFFFFFF}) delay_ms = 0xFFFFFFFE;
  SetTimer(window_, reinterpret_cast<UINT_PTR>(this), static_cast<UINT>(delay_ms), nullptr);
  timer_set_ = true;
}

void WinUIMessagePump::KillDelayedWorkTimer() {
  if (!timer_set_) return;
  KillTimer(window_, reinterpret_cast<UINT_PTR>(this));
  timer_set_ = false;
}

LRESULT CALLBACK WinUIMessagePump::WindowProc(HWND hwnd, UINT message, WPARAM wparam,
                                              LPARAM lparam) {
  auto* pump = reinterpret_cast<WinUIMessagePump*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (pump && wparam == reinterpret_cast<WPARAM>(pump)) {
    if (message == kHaveWorkMessage) {
      pump->HandleWorkMessage();
    } else if (message == WM_TIMER) {
      pump->HandleTimerMessage();
    }
  }
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

// Reached only when a loop other than ours (a modal dialog, a message box)
// dispatched the wake-up message.
void WinUIMessagePump::HandleWorkMessage() {
  if (!state_) {
    // Nobody is running the loop (a message box before or after the run).
    have_work_.exchange(0);
    return;
  }
  ProcessPumpReplacementMessage();
  if (state_->delegate->DoWork()) ScheduleWork();
}

void WinUIMessagePump::HandleTimerMessage() {
  KillDelayedWorkTimer();
  if (!state_) return;
  state_->delegate->DoDelayedWork(&delayed_work_time_);
  if (delayed_work_time_ != 0) ScheduleDelayedWork(delayed_work_time_);
}

void WinUIMessagePump::DoRunLoop() {
  for (;;) {
    const int64_t look = BeginLook();
    bool more_work_is_plausible = ProcessNextWindowsMessage();
    EndLook(look);
    if (state_->should_quit) break;

    more_work_is_plausible |= RunWorkSlice();
    if (more_work_is_plausible && delayed_work_time_ == 0) KillDelayedWorkTimer();
    if (state_->should_quit) break;

    if (more_work_is_plausible) continue;

    more_work_is_plausible = state_->delegate->DoIdleWork();
    if (state_->should_quit) break;
    if (more_work_is_plausible) continue;

    WaitForWork();
  }
}

void WinUIMessagePump::WaitForWork() {
  const int64_t delay = GetCurrentDelay();
  DWORD wait_ms = INFINITE;
  if (delay >= 0) wait_ms = delay >= int64_t{0xFFFFFFFF} ? 0xFFFFFFFE : static_cast<DWORD>(delay);
  DWORD result = MsgWaitForMultipleObjectsEx(0, nullptr, wait_ms, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  if (result == WAIT_OBJECT_0) {
    // Mouse input can be reported while no mouse message can be peeked (it is
    // being held for another thread); wait for a real message then, instead of
    // spinning on the report.
    DWORD queue_status = GetQueueStatus(QS_MOUSE);
    MSG msg;
    if ((HIWORD(queue_status) & QS_MOUSE) &&
        !PeekMessageW(&msg, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_NOREMOVE)) {
      WaitMessage();
    }
  }
}

bool WinUIMessagePump::ProcessNextWindowsMessage() {
  // Sent messages are handled inside PeekMessage; if some were pending, that
  // was work even when nothing is returned.
  const bool sent_messages_pending = (HIWORD(GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE) != 0;
  MSG msg;
  if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) return ProcessMessageHelper(msg);
  return sent_messages_pending;
}

bool WinUIMessagePump::ProcessMessageHelper(const MSG& message) {
  if (message.message == WM_QUIT) {
    // End this run, and put the quit message back so that enclosing loops end
    // too.
    state_->should_quit = true;
    PostQuitMessage(static_cast<int>(message.wParam));
    return false;
  }
  if (message.message == kHaveWorkMessage && message.hwnd == window_) {
    return ProcessPumpReplacementMessage();
  }
  MSG copy = message;
  if (CallMsgFilterW(&copy, kMessageFilterCode)) return true;

  WillProcessMessage(copy);
  if (state_->dispatcher) {
    if (!state_->dispatcher->Dispatch(copy)) state_->should_quit = true;
  } else {
    TranslateMessage(&copy);
    DispatchMessageW(&copy);
  }
  DidProcessMessage(copy);
  return true;
}

// The wake-up message took a window message's place in this turn: handle one
// real message instead, so that a stream of tasks cannot starve the window.
bool WinUIMessagePump::ProcessPumpReplacementMessage() {
  MSG msg;
  const bool have_message = PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE) != FALSE;
  have_work_.exchange(0);
  if (!have_message) return false;
  // Keep a turn for tasks after this message.
  ScheduleWork();
  return ProcessMessageHelper(msg);
}

void WinUIMessagePump::WillProcessMessage(const MSG& message) {
  observers_.Notify(&UIObserver::WillProcessMessage, message);
}

void WinUIMessagePump::DidProcessMessage(const MSG& message) {
  observers_.Notify(&UIObserver::DidProcessMessage, message);
}

}  // namespace cbase
