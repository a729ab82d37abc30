#include "ui/render/display_scale.h"

#include <atomic>

namespace ui {
namespace {

struct ScaleState {
  std::atomic<int> percent{100};
  std::atomic<bool> adapt_dpi{false};
};

ScaleState& State() {
  static ScaleState state;  // thread-safe initialisation
  return state;
}

}  // namespace

int DisplayScale::GetPercent() { return State().percent; }

bool DisplayScale::IsAdaptDpi() { return State().adapt_dpi; }

void DisplayScale::Set(int percent, bool adapt_dpi) {
  State().percent = percent;
  State().adapt_dpi = adapt_dpi;
}

int DisplayScale::ScaleLength(int length) {
  const int percent = State().percent;
  if (!State().adapt_dpi || percent == 100) return length;
  return ::MulDiv(length, percent, 100);
}

void DisplayScale::ScaleRect(RECT& rect) {
  const int width = ScaleLength(rect.right - rect.left);
  const int height = ScaleLength(rect.bottom - rect.top);
  rect.left = ScaleLength(rect.left);
  rect.top = ScaleLength(rect.top);
  rect.right = rect.left + width;
  rect.bottom = rect.top + height;
}

}  // namespace ui
