// The display scale the skin's lengths are drawn at: a percentage (initially
// 100) and whether lengths adapt to it at all (initially off). It lives with
// the renderer because drawing needs it (image insets, dest rectangles) and
// the renderer may not reach up into the toolkit core; GlobalManager keeps
// its own accessors, which forward here.
//
// Process-wide, not owned by any object. Any thread may read or set it.
#ifndef UI_RENDER_DISPLAY_SCALE_H_
#define UI_RENDER_DISPLAY_SCALE_H_

#include <windows.h>

namespace ui {

class DisplayScale {
 public:
  DisplayScale() = delete;

  static int GetPercent();
  static bool IsAdaptDpi();
  // The percent lengths are drawn at: GetPercent() while they adapt to the
  // DPI, else 100.
  static int GetEffectivePercent();
  static void Set(int percent, bool adapt_dpi);
  // |length| × percent / 100, rounded, when the flag is on and percent is not
  // 100; otherwise unchanged.
  static int ScaleLength(int length);
  // Left and top scaled; width and height scaled and added back.
  static void ScaleRect(RECT& rect);

  // The scale of |dpi| dots per inch: 96 is 100 %, 144 is 150 %.
  static int PercentForDpi(UINT dpi);
  // The DPI of |monitor| (GetDpiForMonitor where the system has it, Windows
  // 8.1 and later), else the system's DPI; 96 when neither answers.
  static UINT MonitorDpi(HMONITOR monitor);
};

}  // namespace ui

#endif  // UI_RENDER_DISPLAY_SCALE_H_
