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

int DisplayScale::GetEffectivePercent() { return State().adapt_dpi ? State().percent.load() : 100; }

int DisplayScale::ScaleLength(int length) {
  const int percent = GetEffectivePercent();
  return percent == 100 ? length : ::MulDiv(length, percent, 100);
}

void DisplayScale::ScaleRect(RECT& rect) {
  const int width = ScaleLength(rect.right - rect.left);
  const int height = ScaleLength(rect.bottom - rect.top);
  rect.left = ScaleLength(rect.left);
  rect.top = ScaleLength(rect.top);
  rect.right = rect.left + width;
  rect.bottom = rect.top + height;
}

int DisplayScale::PercentForDpi(UINT dpi) {
  return ::MulDiv(static_cast<int>(dpi > 0 ? dpi : USER_DEFAULT_SCREEN_DPI), 100,
                  USER_DEFAULT_SCREEN_DPI);
}

UINT DisplayScale::MonitorDpi(HMONITOR monitor) {
  // Looked up, not imported: shcore is not on Windows 7. MDT_EFFECTIVE_DPI
  // is 0.
  using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
  if (monitor != nullptr) {
    if (const HMODULE shcore =
            ::LoadLibraryExW(L"shcore.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) {
      const auto get_dpi = reinterpret_cast<GetDpiForMonitorFn>(
          reinterpret_cast<void*>(::GetProcAddress(shcore, "GetDpiForMonitor")));
      UINT dpi_x = 0;
      UINT dpi_y = 0;
      const bool answered = get_dpi != nullptr && SUCCEEDED(get_dpi(monitor, 0, &dpi_x, &dpi_y));
      ::FreeLibrary(shcore);
      if (answered && dpi_x > 0) return dpi_x;
    }
  }
  const HDC screen = ::GetDC(nullptr);
  const int dpi = screen != nullptr ? ::GetDeviceCaps(screen, LOGPIXELSX) : 0;
  if (screen != nullptr) ::ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<UINT>(dpi) : USER_DEFAULT_SCREEN_DPI;
}

}  // namespace ui
