// Progress: a label with a bar filled in proportion to its value between a
// minimum and a maximum, horizontally from the left or vertically from the
// bottom, with a colour and/or an image (stretched over the filled part, or
// revealed part by part). The text, if any, is drawn over the bar.
//
// Owned like any control; UI thread only.
#pragma once

#include "ui/control/label.h"

namespace ui {

class Progress : public LabelTemplate<Control> {
 public:
  Progress();

  bool IsHorizontal() const { return horizontal_; }
  void SetHorizontal(bool horizontal);
  int GetMinValue() const { return min_; }
  void SetMinValue(int min);
  int GetMaxValue() const { return max_; }
  void SetMaxValue(int max);
  double GetValue() const { return value_; }
  void SetValue(double value);
  bool IsStretchForeImage() const { return stretch_fore_; }
  void SetStretchForeImage(bool stretch);
  void SetProgressImage(const std::wstring& image);
  const std::wstring& GetProgressColor() const { return progress_color_; }
  void SetProgressColor(const std::wstring& color);

  // The filled part for the current values, relative to the control's
  // top-left corner. A range that is empty or reversed counts as one wide;
  // the value is clamped to the range.
  RECT FilledRect() const;
  // The range and the value within it, as painting and the value read them.
  struct Range {
    double low;
    double high;
    double value;
  };
  Range NormalizedRange() const;
  // The value's share of the range in whole percent, 0 to 100.
  int Percent() const;

  void SetAttribute(const std::wstring& name, const std::wstring& value) override;
  // The bar replaces the state images.
  void PaintStateImages(IRenderContext* context) override;
  // The value as a share of the range, "42%".
  std::wstring GetAccessibleValue() const override;

 protected:
  AccessibleRole DefaultAccessibleRole() const override { return AccessibleRole::kProgressBar; }

 private:
  bool horizontal_ = true;
  bool stretch_fore_ = true;
  int min_ = 0;
  int max_ = 100;
  double value_ = 0;
  ImageAttribute progress_image_;
  std::wstring progress_color_;
  // Value changes reach screen readers at most every kValueEventMs, and
  // always at either end of the range.
  static constexpr DWORD kValueEventMs = 500;
  DWORD last_value_event_ = 0;
  int last_value_percent_ = -1;
};

}  // namespace ui
