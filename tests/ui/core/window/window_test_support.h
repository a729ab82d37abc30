// Shared pieces of the window tests: the process set-up (GDI+, the render
// factory, animations on a hand-driven clock, the sample skin's global
// definitions), a sample window over the test skin that records the events
// of named controls, and helpers that pump messages and address controls in
// screen coordinates.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/message_pump.h"
#include "tests/ui/animation/fake_timing.h"
#include "ui/control/control.h"
#include "ui/core/window_impl_base.h"

namespace ui::testing {

// The clock every animation and the closing delay of the test program run on.
FakeTimers& WindowTimers();

// The folder holding the test skin (global.xml, sample/...), with a
// trailing backslash.
std::wstring SkinRoot();

// Runs every message waiting for this thread's windows.
inline void PumpMessages() { testing_support::PumpPendingMessages(); }

// Moves the real cursor to the screen's far corner, away from the test
// windows, so the system sends them no mouse messages of its own.
void ParkCursor();

class SampleWindow : public WindowImplBase {
 public:
  struct Event {
    std::wstring control;
    EventType type;
    bool operator==(const Event& other) const {
      return control == other.control && type == other.type;
    }
  };

  explicit SampleWindow(std::wstring skin_file = L"sample.xml",
                        std::vector<std::wstring> watched = {})
      : skin_file_(std::move(skin_file)),
        watched_(std::move(watched)),
        pulse_starts_at_open_(WindowTimers().log.periods.size()) {}

  // Creates, shows and paints the window; nullptr when creation failed (the
  // object is gone then).
  static SampleWindow* Open(std::wstring skin_file = L"sample.xml",
                            std::vector<std::wstring> watched = {},
                            DWORD style = WS_POPUP | WS_MINIMIZEBOX | WS_MAXIMIZEBOX);

  std::wstring ClassName() const override { return L"UiSampleWindow"; }
  std::wstring SkinFolder() const override { return L"sample"; }
  std::wstring SkinFile() const override { return skin_file_; }
  void OnSkinLoaded() override;
  void OnFirstFrameShown() override {
    ++first_frames_shown;
    alpha_at_first_frame_shown = GetWindowAlpha();
    presents_at_first_frame_shown = GetPresentCount();
    pulse_started_before_first_frame = WindowTimers().log.periods.size() > pulse_starts_at_open_;
  }
  Control* CreateCustomControl(const std::wstring& class_name) override;

  std::vector<Event> events;
  int skin_loaded = 0;
  int first_frames_shown = 0;
  // The window's alpha and presents when OnFirstFrameShown last ran.
  int alpha_at_first_frame_shown = -1;
  unsigned presents_at_first_frame_shown = 0;
  // Whether the animation pulse was started between the window's making
  // and its first frame being seen.
  bool pulse_started_before_first_frame = false;
  std::function<void()> on_destroyed;

  ~SampleWindow() override {
    if (on_destroyed) on_destroyed();
  }

 private:
  std::wstring skin_file_;
  std::vector<std::wstring> watched_;
  size_t pulse_starts_at_open_;
};

// Destroys a sample window that is still alive at the end of a test.
class WindowGuard {
 public:
  explicit WindowGuard(SampleWindow* window)
      : hwnd_(window != nullptr ? window->GetHWND() : nullptr) {}
  ~WindowGuard() {
    if (hwnd_ != nullptr && ::IsWindow(hwnd_)) ::DestroyWindow(hwnd_);
    PumpMessages();
  }

 private:
  HWND hwnd_;
};

// The centre of |control| in client coordinates, packed as a mouse lParam.
LPARAM ClientPoint(const Control* control);
// The same point in screen coordinates.
LPARAM ScreenPoint(HWND hwnd, const Control* control);
LPARAM ScreenPoint(HWND hwnd, int x, int y);

// The pixel at (x, y) of the window's back buffer (0xAARRGGBB).
DWORD BackBufferPixel(Window* window, int x, int y);

}  // namespace ui::testing

// gtest compares and prints RECTs.
inline bool operator==(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
inline std::ostream& operator<<(std::ostream& out, const RECT& r) {
  return out << "{" << r.left << "," << r.top << "," << r.right << "," << r.bottom << "}";
}
