// Shared pieces of the control tests: a window that exposes the mouse targets
// the input routing would set, controls with a fixed desired size, and
// counters for layout work.
#pragma once

#include <windows.h>

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "tests/support/message_pump.h"
#include "tests/ui/animation/fake_timing.h"
#include "ui/control/box.h"
#include "ui/control/control.h"
#include "ui/control/linear_layout.h"
#include "ui/core/window.h"
#include "ui/render/render.h"

namespace ui::testing {

class TestWindow : public Window {
 public:
  std::wstring ClassName() const override { return L"UiControlTestWindow"; }
  using Window::SetHoverControl;
  using Window::SetLastMousePos;
  using Window::SetPressedControl;

  // Runs every message waiting for this thread's windows.
  static void PumpMessages() { testing_support::PumpPendingMessages(); }
};

// Tells a test whether it has been deleted.
class Tracked : public Control {
 public:
  explicit Tracked(bool* deleted) : deleted_(deleted) {}
  ~Tracked() override { *deleted_ = true; }

 private:
  bool* deleted_;
};

// A control of a given size (or stretch) that counts its estimates.
class SizedControl : public Control {
 public:
  SizedControl(int width, int height) {
    SetFixedWidth(width, false);
    SetFixedHeight(height, false);
  }
  SIZE DesiredSize(SIZE available) override {
    ++estimates;
    return Control::DesiredSize(available);
  }
  int estimates = 0;
};

// A control sized by content that reports a given content size.
class ContentControl : public Control {
 public:
  explicit ContentControl(SIZE content) : content_(content) {
    SetFixedWidth(kAuto, false);
    SetFixedHeight(kAuto, false);
  }
  SIZE EstimateText(SIZE /*available*/) override {
    ++measures;
    return content_;
  }
  void SetContent(SIZE content) {
    content_ = content;
    RelayoutUpward();
  }
  int measures = 0;

 private:
  SIZE content_;
};

// Layouts that count MeasureChildren calls.
template <typename L>
class CountingLayout : public L {
 public:
  explicit CountingLayout(int* count) : count_(count) {}
  SIZE MeasureChildren(const std::vector<Control*>& children, SIZE available) override {
    ++*count_;
    return L::MeasureChildren(children, available);
  }

 private:
  int* count_;
};

// The timer manager every control animation of the test program runs on; tests
// advance its clock instead of waiting.
FakeTimers& AnimationTimers();

inline RECT Rect(int left, int top, int right, int bottom) {
  return RECT{left, top, right, bottom};
}

// A 32-bit render context of |width| × |height|, cleared to transparent.
std::unique_ptr<IRenderContext> MakeCanvas(int width, int height);
inline DWORD PixelAt(const IRenderContext& context, int x, int y) {
  return reinterpret_cast<const DWORD*>(context.GetBits())[y * context.GetWidth() + x];
}

}  // namespace ui::testing

// gtest prints RECTs readably.
inline bool operator==(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
inline std::ostream& operator<<(std::ostream& out, const RECT& r) {
  return out << "{" << r.left << "," << r.top << "," << r.right << "," << r.bottom << "}";
}
