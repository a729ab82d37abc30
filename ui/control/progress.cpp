#include "ui/control/progress.h"

#include <algorithm>
#include <cwchar>
#include <string>

namespace ui {

Progress::Progress() {
  SetTextStyle(DT_CENTER | DT_SINGLELINE);
  SetFixedHeight(12, false);
}

void Progress::SetHorizontal(bool horizontal) {
  if (horizontal_ == horizontal) return;
  horizontal_ = horizontal;
  Invalidate();
}

void Progress::SetMinValue(int min) {
  min_ = min;
  Invalidate();
}

void Progress::SetMaxValue(int max) {
  max_ = max;
  Invalidate();
}

void Progress::SetValue(double value) {
  if (value_ == value) return;
  value_ = value;
  Invalidate();
  // Only what reached a window counts for the throttle.
  if (GetWindow() == nullptr) return;
  const int percent = Percent();
  if (percent == last_value_percent_) return;
  const DWORD now = ::GetTickCount();
  const bool at_end = percent == 0 || percent == 100;
  if (!at_end && last_value_percent_ >= 0 && now - last_value_event_ < kValueEventMs) return;
  last_value_event_ = now;
  last_value_percent_ = percent;
  NotifyAccessibleEvent(EVENT_OBJECT_VALUECHANGE);
}

Progress::Range Progress::NormalizedRange() const {
  // A range that is empty or reversed counts as one wide. Painting and the
  // accessible value normalise copies: the stored range and value stay.
  const double low = min_;
  const double high = max_ > min_ ? max_ : min_ + 1.0;
  return Range{low, high, std::clamp(value_, low, high)};
}

int Progress::Percent() const {
  const Range range = NormalizedRange();
  const double share = (range.value - range.low) / (range.high - range.low);
  return static_cast<int>(share * 100.0 + 0.5);
}

std::wstring Progress::GetAccessibleValue() const { return std::to_wstring(Percent()) + L"%"; }

void Progress::SetStretchForeImage(bool stretch) {
  if (stretch_fore_ == stretch) return;
  stretch_fore_ = stretch;
  Invalidate();
}

void Progress::SetProgressImage(const std::wstring& image) {
  progress_image_.SetImageString(image);
  Invalidate();
}

void Progress::SetProgressColor(const std::wstring& color) {
  const std::wstring trimmed = TrimLeadingBlanks(color);
  if (progress_color_ == trimmed) return;
  progress_color_ = trimmed;
  Invalidate();
}

void Progress::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"hor") {
    SetHorizontal(ParseSwitch(value));
  } else if (name == L"min") {
    SetMinValue(ParseInt(value.c_str()));
  } else if (name == L"max") {
    SetMaxValue(ParseInt(value.c_str()));
  } else if (name == L"value") {
    SetValue(ParseInt(value.c_str()));
  } else if (name == L"progressimage") {
    SetProgressImage(value);
  } else if (name == L"isstretchfore") {
    SetStretchForeImage(ParseSwitch(value));
  } else if (name == L"progresscolor") {
    SetProgressColor(value);
  } else {
    LabelTemplate<Control>::SetAttribute(name, value);
  }
}

RECT Progress::FilledRect() const {
  const auto [min, max, value] = NormalizedRange();
  const LONG width = GetWidth();
  const LONG height = GetHeight();
  if (horizontal_) {
    return RECT{0, 0, static_cast<LONG>(width * (value - min) / (max - min)), height};
  }
  return RECT{0, static_cast<LONG>((max - value) * height / (max - min)), width, height};
}

void Progress::PaintStateImages(IRenderContext* context) {
  const RECT filled = FilledRect();
  if (!progress_color_.empty()) {
    if (const ARGB color = GlobalManager::GetTextColor(progress_color_)) {
      const RECT& rect = GetRect();
      RECT area = filled;
      ::OffsetRect(&area, rect.left, rect.top);
      context->DrawColor(area, color, 255);
    }
  }
  if (!progress_image_.file.empty()) {
    wchar_t modifier[160];
    if (stretch_fore_) {
      std::swprintf(modifier, 160, L"destscale='false' dest='%ld,%ld,%ld,%ld'", filled.left,
                    filled.top, filled.right, filled.bottom);
    } else {
      std::swprintf(modifier, 160,
                    L"destscale='false' dest='%ld,%ld,%ld,%ld' source='%ld,%ld,%ld,%ld'",
                    filled.left, filled.top, filled.right, filled.bottom, filled.left, filled.top,
                    filled.right, filled.bottom);
    }
    DrawImage(context, progress_image_, modifier);
  }
}

}  // namespace ui
