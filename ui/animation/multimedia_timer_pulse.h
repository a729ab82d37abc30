// MultimediaTimerPulse: a periodic multimedia timer whose callback, on the
// system's timer thread, only posts kPulseMessage to a hidden message-only
// window. The window procedure, on the thread that created the pulse (the UI
// thread), runs the pulse callback. Owned by the TimerManager it drives; every
// member function must be called on the creating thread.
//
// The window is made at the first Start, not with the pulse: the process-wide
// manager is made before the first frame, which needs no tick, and a window
// costs start-up a few milliseconds under some systems.
#pragma once

#include <windows.h>

#include <functional>

#include "ui/animation/timer_pulse.h"

namespace ui {

class MultimediaTimerPulse : public TimerPulse {
 public:
  static constexpr UINT kPulseMessage = 0x2B0F;
  static constexpr const wchar_t* kWindowClass = L"UI_ANIMATION_TIMERMANAGER_H_";

  // on_pulse runs on the calling thread each time the timer fires.
  explicit MultimediaTimerPulse(std::function<void()> on_pulse);
  ~MultimediaTimerPulse() override;
  MultimediaTimerPulse(const MultimediaTimerPulse&) = delete;
  MultimediaTimerPulse& operator=(const MultimediaTimerPulse&) = delete;

  bool Start(uint32_t period_ms) override;
  void Stop() override;

  // The hidden window: nullptr until the first Start made it.
  HWND window() const { return window_; }

 private:
  // Makes the hidden window unless it exists; false when it cannot be made.
  bool MakeWindow();
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  static void CALLBACK OnTimer(UINT id, UINT message, DWORD_PTR user, DWORD_PTR, DWORD_PTR);

  std::function<void()> on_pulse_;
  HWND window_ = nullptr;
  UINT timer_id_ = 0;  // 0: no timer running
};

}  // namespace ui
