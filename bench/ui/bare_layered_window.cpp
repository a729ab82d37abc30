#include "bench/ui/bare_layered_window.h"

#include <algorithm>
#include <utility>

namespace {
const wchar_t kClassName[] = L"BenchBareLayeredWindow";
}  // namespace

void BareLayeredWindow::Register() {
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = ::DefWindowProcW;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  wc.lpszClassName = kClassName;
  ::RegisterClassExW(&wc);
}

BareLayeredWindow::BareLayeredWindow(int x, int y, int width, int height, const std::wstring& title,
                                     Painter paint, BYTE alpha)
    : paint_(std::move(paint)), x_(x), y_(y), width_(width), height_(height), alpha_(alpha) {
  hwnd_ = ::CreateWindowExW(WS_EX_LAYERED, kClassName, title.c_str(), WS_POPUP, x, y, width, height,
                            nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
  HDC screen = ::GetDC(nullptr);
  dc_ = ::CreateCompatibleDC(screen);
  ::ReleaseDC(nullptr, screen);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  bitmap_ = ::CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits_, nullptr, 0);
  old_ = ::SelectObject(dc_, bitmap_);
  Present();
  ::ShowWindow(hwnd_, SW_SHOWNOACTIVATE);
}

BareLayeredWindow::~BareLayeredWindow() {
  ::SelectObject(dc_, old_);
  ::DeleteObject(bitmap_);
  ::DeleteDC(dc_);
  ::DestroyWindow(hwnd_);
}

void BareLayeredWindow::Present(const RECT* dirty) {
  auto* pixels = static_cast<DWORD*>(bits_);
  RECT area = {0, 0, width_, height_};
  if (dirty != nullptr) ::IntersectRect(&area, &area, dirty);
  for (LONG y = area.top; y < area.bottom; ++y) {
    DWORD* row = pixels + static_cast<size_t>(y) * width_;
    std::fill(row + area.left, row + area.right, 0xffffffffu);
  }
  if (paint_) paint_(dc_);
  POINT position = {x_, y_};
  SIZE size = {width_, height_};
  POINT source = {0, 0};
  BLENDFUNCTION blend = {AC_SRC_OVER, 0, alpha_, AC_SRC_ALPHA};
  UPDATELAYEREDWINDOWINFO info = {};
  info.cbSize = sizeof(info);
  info.pptDst = &position;
  info.psize = &size;
  info.hdcSrc = dc_;
  info.pptSrc = &source;
  info.pblend = &blend;
  info.dwFlags = ULW_ALPHA;
  info.prcDirty = dirty != nullptr ? &area : nullptr;
  ::UpdateLayeredWindowIndirect(hwnd_, &info);
}
