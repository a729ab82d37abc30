// Helpers shared by the cbase tests: a controllable clock, a test window whose
// messages go to a callable, and an in-memory modal dialog.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>

#include "base/monotonic_clock.h"
#include "base/tick_clock.h"

namespace cbase {
namespace test {

// Replaces the process's clock (and so MonotonicNow) for the test's
// lifetime; time moves only by Advance. Microsecond ticks.
class ScopedFakeClock : public TickClock {
 public:
  explicit ScopedFakeClock(int64_t start_us = 1000000000) {
    now_.store(start_us);
    SetTickClockForTesting(this);
  }
  ~ScopedFakeClock() override { SetTickClockForTesting(nullptr); }
  ScopedFakeClock(const ScopedFakeClock&) = delete;
  ScopedFakeClock& operator=(const ScopedFakeClock&) = delete;

  int64_t Frequency() override { return 1000000; }
  int64_t Now() override { return now_.load(); }
  // Static, so that tasks can move time without holding the clock.
  static void Advance(int64_t us) { now_.fetch_add(us); }

 private:
  static inline std::atomic<int64_t> now_{0};
};

// A hidden top-level window on the creating thread whose messages (WM_APP and
// above) go to `handler`.
class TestWindow {
 public:
  using Handler = std::function<void(UINT message, WPARAM wparam)>;
  explicit TestWindow(Handler handler);
  ~TestWindow();
  HWND hwnd() const { return hwnd_; }
  void Post(UINT message, WPARAM wparam = 0) { PostMessageW(hwnd_, message, wparam, 0); }

 private:
  static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  Handler handler_;
  HWND hwnd_ = nullptr;
};

// Shows a modal dialog built in memory; `on_init` runs in WM_INITDIALOG with
// the dialog's handle, `on_tick` every 10 ms while it shows (return true to
// end the dialog with 1). Answers the dialog's result: -1 when a 10 s watchdog
// had to end it.
INT_PTR RunModalDialog(const std::function<void(HWND)>& on_init,
                       const std::function<bool()>& on_tick = nullptr);

// Counts the wake-up (1025) and timer messages that any loop on the calling
// thread takes for the pump's hidden window, while it lives.
class ScopedPumpMessageCounter {
 public:
  ScopedPumpMessageCounter();
  ~ScopedPumpMessageCounter();
  static int wake_ups() { return wake_ups_; }
  static int timers() { return timers_; }

 private:
  static LRESULT CALLBACK Hook(int code, WPARAM wparam, LPARAM lparam);
  static inline int wake_ups_ = 0;
  static inline int timers_ = 0;
  HHOOK hook_;
};

}  // namespace test
}  // namespace cbase
