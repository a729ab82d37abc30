#include "ui/core/high_contrast.h"

namespace ui {

namespace {

std::optional<bool>& Forced() {
  static std::optional<bool> forced;
  return forced;
}

std::optional<bool>& Cached() {
  static std::optional<bool> cached;
  return cached;
}

bool ReadSystemMode() {
  HIGHCONTRASTW info = {};
  info.cbSize = sizeof(info);
  return ::SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof(info), &info, 0) != 0 &&
         (info.dwFlags & HCF_HIGHCONTRASTON) != 0;
}

}  // namespace

bool HighContrast::IsOn() {
  if (Forced()) return *Forced();
  if (!Cached()) Cached() = ReadSystemMode();
  return *Cached();
}

void HighContrast::Refresh() { Cached().reset(); }

void HighContrast::SetForTesting(std::optional<bool> on) { Forced() = on; }

DWORD HighContrast::SystemColor(int index) {
  const COLORREF color = ::GetSysColor(index);
  return 0xFF000000u | (static_cast<DWORD>(GetRValue(color)) << 16) |
         (static_cast<DWORD>(GetGValue(color)) << 8) | GetBValue(color);
}

}  // namespace ui
