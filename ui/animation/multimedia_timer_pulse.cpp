#include "ui/animation/multimedia_timer_pulse.h"

#include <windows.h>

#include <mmsystem.h>

#include <algorithm>

namespace ui {

namespace {

// Resolution asked of the multimedia timer, in milliseconds.
constexpr UINT kResolutionMs = 1;

}  // namespace

MultimediaTimerPulse::MultimediaTimerPulse(std::function<void()> on_pulse)
    : on_pulse_(std::move(on_pulse)) {}

bool MultimediaTimerPulse::MakeWindow() {
  if (window_) return true;
  HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW window_class = {};
  window_class.cbSize = sizeof(window_class);
  window_class.lpfnWndProc = &MultimediaTimerPulse::WindowProc;
  window_class.hInstance = instance;
  window_class.lpszClassName = kWindowClass;
  // A second pulse in the same process finds the class already registered.
  RegisterClassExW(&window_class);
  window_ = CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance,
                            nullptr);
  if (window_) SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  return window_ != nullptr;
}

MultimediaTimerPulse::~MultimediaTimerPulse() {
  Stop();
  if (window_) {
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
  }
}

bool MultimediaTimerPulse::Start(uint32_t period_ms) {
  Stop();
  if (!MakeWindow()) return false;
  // A period beyond what the timer accepts would fail and leave the timers
  // unserved; the longest one wakes a poll that simply sets the next period.
  TIMECAPS caps;
  if (timeGetDevCaps(&caps, sizeof(caps)) == MMSYSERR_NOERROR) {
    period_ms = std::min<uint32_t>(std::max<uint32_t>(period_ms, caps.wPeriodMin), caps.wPeriodMax);
  }
  // The timer thread only learns the window handle: a message it posts after
  // the window is gone is simply lost.
  timer_id_ = timeSetEvent(period_ms, kResolutionMs, &MultimediaTimerPulse::OnTimer,
                           reinterpret_cast<DWORD_PTR>(window_),
                           TIME_PERIODIC | TIME_CALLBACK_FUNCTION | TIME_KILL_SYNCHRONOUS);
  return timer_id_ != 0;
}

void MultimediaTimerPulse::Stop() {
  if (timer_id_ == 0) return;
  timeKillEvent(timer_id_);
  timer_id_ = 0;
}

LRESULT CALLBACK MultimediaTimerPulse::WindowProc(HWND window, UINT message, WPARAM wparam,
                                                  LPARAM lparam) {
  if (message == kPulseMessage) {
    auto* pulse = reinterpret_cast<MultimediaTimerPulse*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (pulse && pulse->on_pulse_) pulse->on_pulse_();
    return 1;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

void CALLBACK MultimediaTimerPulse::OnTimer(UINT, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR) {
  PostMessageW(reinterpret_cast<HWND>(user), kPulseMessage, 0, 0);
}

}  // namespace ui
