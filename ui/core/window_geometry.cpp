// Window: position, size and the skin-configured geometry.
#include <windows.h>

#include <algorithm>

#include "ui/control/control.h"
#include "ui/core/window.h"

namespace ui {

void Window::OnSize(WPARAM wparam) {
  if (Control* focus = focus_.Get()) SendEvent(focus, kEventWindowSize);
  if (Control* root = root_.Get()) root->Relayout();
  if (wparam == SIZE_MAXIMIZED || wparam == SIZE_RESTORED) {
    shadow_.OnMaximizedOrRestored(wparam == SIZE_MAXIMIZED);
  }
  if (wparam == SIZE_RESTORED && resize_on_restore_ && hwnd_ != nullptr) {
    resize_on_restore_ = false;
    ::SetWindowPos(hwnd_, nullptr, 0, 0, initial_size_.cx, initial_size_.cy,
                   SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
  }
}

void Window::CenterWindow() {
  if (hwnd_ == nullptr) return;
  RECT window_rect;
  ::GetWindowRect(hwnd_, &window_rect);
  HWND owner = ::GetWindow(hwnd_, GW_OWNER);
  MONITORINFO monitor = {};
  monitor.cbSize = sizeof(monitor);
  ::GetMonitorInfoW(::MonitorFromWindow(owner != nullptr ? owner : hwnd_, MONITOR_DEFAULTTONEAREST),
                    &monitor);
  const RECT work = monitor.rcWork;
  RECT center = work;
  if (owner != nullptr && !::IsIconic(owner)) ::GetWindowRect(owner, &center);
  const int width = window_rect.right - window_rect.left;
  const int height = window_rect.bottom - window_rect.top;
  int left = (center.left + center.right) / 2 - width / 2;
  int top = (center.top + center.bottom) / 2 - height / 2;
  if (left < work.left) left = work.left;
  if (top < work.top) top = work.top;
  if (left + width > work.right) left = work.right - width;
  if (top + height > work.bottom) top = work.bottom - height;
  ::SetWindowPos(hwnd_, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Window::ShowModal() {
  if (hwnd_ == nullptr) return;
  if (HWND owner = ::GetWindow(hwnd_, GW_OWNER)) {
    ::EnableWindow(owner, FALSE);
    modal_ = true;
  }
  Show(true, true);
}

void Window::SetTitleFromId(const std::wstring& id) {
  if (hwnd_ != nullptr) ::SetWindowTextW(hwnd_, GlobalManager::GetText(id).c_str());
}

void Window::SetInitialSize(int cx, int cy, bool contains_shadow, bool dpi_scale) {
  if (dpi_scale && !contains_shadow) written_size_ = SIZE{cx, cy};
  if (dpi_scale) {
    cx = GlobalManager::ScaleLength(cx);
    cy = GlobalManager::ScaleLength(cy);
  }
  if (!contains_shadow) {
    const RECT shadow = shadow_.GetThickness();
    cx += shadow.left + shadow.right;
    cy += shadow.top + shadow.bottom;
  }
  initial_size_ = SIZE{cx, cy};
  if (root_.Get() == nullptr && hwnd_ != nullptr) {
    ::SetWindowPos(hwnd_, nullptr, 0, 0, cx, cy, SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
  }
}

void Window::SetHeightPercent(double percent) {
  height_percent_ = percent;
  if (hwnd_ == nullptr || percent <= 0) return;
  MONITORINFO monitor = {};
  monitor.cbSize = sizeof(monitor);
  ::GetMonitorInfoW(::MonitorFromWindow(hwnd_, MONITOR_DEFAULTTONEAREST), &monitor);
  const RECT shadow = shadow_.GetThickness();
  int height = static_cast<int>((monitor.rcWork.bottom - monitor.rcWork.top) * percent);
  // The track sizes hold the shadow; compare without it.
  const int shadow_height = shadow.top + shadow.bottom;
  if (min_info_.cy > 0) height = std::max(height, static_cast<int>(min_info_.cy) - shadow_height);
  if (max_info_.cy > 0) height = std::min(height, static_cast<int>(max_info_.cy) - shadow_height);
  const int width = initial_size_.cx;
  height += shadow_height;
  initial_size_ = SIZE{width, height};
  // A minimised or maximised window keeps its size until it is restored.
  if (::IsIconic(hwnd_) || ::IsZoomed(hwnd_)) {
    resize_on_restore_ = true;
    return;
  }
  ::SetWindowPos(hwnd_, nullptr, 0, 0, width, height, SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
}

void Window::SetSizeBox(const RECT& size_box) {
  written_size_box_ = size_box;
  size_box_ = size_box;
  GlobalManager::ScaleRect(size_box_);
}

void Window::SetCaptionRect(const RECT& caption) {
  written_caption_ = caption;
  caption_ = caption;
  GlobalManager::ScaleRect(caption_);
}

void Window::SetRoundCorner(SIZE round) {
  written_round_corner_ = round;
  round_corner_ = SIZE{GlobalManager::ScaleLength(round.cx), GlobalManager::ScaleLength(round.cy)};
}

void Window::RescaleGeometry() {
  // The window itself is sized by whoever changed the scale.
  if (written_size_.cx > 0 && written_size_.cy > 0) {
    SetInitialSize(written_size_.cx, written_size_.cy, false, true);
  }
  SetSizeBox(written_size_box_);
  SetCaptionRect(written_caption_);
  SetRoundCorner(written_round_corner_);
}

void Window::SetMinInfo(int cx, int cy, bool contains_shadow) {
  if (cy != 0 && !contains_shadow) {
    const RECT shadow = shadow_.GetThickness();
    cy += shadow.top + shadow.bottom;
  }
  min_info_ = SIZE{cx, cy};
}

void Window::SetMaxInfo(int cx, int cy, bool contains_shadow) {
  if (cy != 0 && !contains_shadow) {
    const RECT shadow = shadow_.GetThickness();
    cy += shadow.top + shadow.bottom;
  }
  max_info_ = SIZE{cx, cy};
}

void Window::SetRenderOffset(POINT offset) {
  render_offset_ = offset;
  if (hwnd_ != nullptr) presenter_.Invalidate(nullptr);
}

}  // namespace ui
