// HighContrast: whether Windows' high-contrast mode is on, and the system
// colours drawing uses then. Text, text-bearing faces and the focus ring
// follow the system colours in that mode; pictures stay as they are.
//
// The mode is read once and again when a window sees WM_SETTINGCHANGE or
// WM_SYSCOLORCHANGE (Refresh). UI thread only.
#pragma once

#include <windows.h>

#include <optional>

namespace ui {

class HighContrast {
 public:
  static bool IsOn();
  // Reads the mode again (after a settings change).
  static void Refresh();
  // Forces the mode in tests; std::nullopt returns to the system's.
  static void SetForTesting(std::optional<bool> on);
  // The system colour |index| (COLOR_WINDOWTEXT, ...) as opaque ARGB.
  static DWORD SystemColor(int index);
};

}  // namespace ui
