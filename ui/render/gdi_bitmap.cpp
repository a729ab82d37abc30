#include "ui/render/gdi_bitmap.h"

#include <algorithm>
#include <cstring>

namespace ui {

GdiBitmap::~GdiBitmap() { CleanUp(); }

void GdiBitmap::CleanUp() {
  bitmap_.reset();
  bits_ = nullptr;
  width_ = 0;
  height_ = 0;
}

bool GdiBitmap::Init(HDC hdc, int width, int height, bool flip_height) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  CleanUp();
  if (!hdc || width <= 0 || height <= 0) return false;

  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = flip_height ? -height : height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  info.bmiHeader.biSizeImage = static_cast<DWORD>(width) * static_cast<DWORD>(height) * 4;

  void* bits = nullptr;
  bitmap_.reset(::CreateDIBSection(hdc, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!bitmap_) return false;
  bits_ = static_cast<BYTE*>(bits);
  width_ = width;
  height_ = height;
  return true;
}

void GdiBitmap::Clear() {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  if (bits_) std::memset(bits_, 0, static_cast<size_t>(width_) * height_ * 4);
}

HBITMAP GdiBitmap::DetachBitmap() {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  HBITMAP bitmap = bitmap_.release();
  CleanUp();
  return bitmap;
}

void GdiBitmap::FillPixels(const RECT& rc, BYTE value) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  if (!bits_) return;
  const int left = std::max<int>(0, rc.left);
  const int top = std::max<int>(0, rc.top);
  const int right = std::min<int>(rc.right, width_);
  const int bottom = std::min<int>(rc.bottom, height_);
  if (left >= right) return;
  for (int y = top; y < bottom; ++y) {
    std::memset(bits_ + (static_cast<size_t>(y) * width_ + left) * 4, value,
                static_cast<size_t>(right - left) * 4);
  }
}

void GdiBitmap::MakeOpaque(const RECT& rc, const RECT& insets, BYTE key_alpha) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  if (!bits_) return;
  const int left = std::max<int>(0, rc.left);
  const int top = std::max<int>(0, rc.top);
  const int right = std::min<int>(rc.right, width_);
  const int bottom = std::min<int>(rc.bottom, height_);
  for (int y = top; y < bottom; ++y) {
    // The corner zones belong to the window's rounded or shadowed frame: a
    // row through them is made opaque between them only.
    const bool row_inside = y >= insets.top && y < height_ - insets.bottom;
    const int from = row_inside ? left : std::max<int>(left, insets.left);
    const int to = row_inside ? right : std::min<int>(right, width_ - insets.right);
    auto* row = reinterpret_cast<DWORD*>(bits_ + static_cast<size_t>(y) * width_ * 4);
    if (key_alpha == 0) {
      // A whole frame's worth of pixels: a loop the compiler can widen.
      for (int x = from; x < to; ++x) row[x] |= 0xFF000000u;
      continue;
    }
    for (int x = from; x < to; ++x) {
      const DWORD alpha = (row[x] >> 24) == key_alpha ? 0u : 0xFF000000u;
      row[x] = (row[x] & 0x00FFFFFFu) | alpha;
    }
  }
}

cbase::ScopedBitmap MakeTopDownBitmap(int width, int height, void** bits) {
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  *bits = nullptr;
  cbase::ScopedBitmap bitmap(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, bits, nullptr, 0));
  if (!*bits) bitmap.reset();
  return bitmap;
}

void BlendPixelsOver(DWORD* dst, size_t dst_stride, const DWORD* src, size_t src_stride, int width,
                     int rows) {
  for (int y = 0; y < rows; ++y, dst += dst_stride, src += src_stride) {
    for (int x = 0; x < width; ++x) {
      const DWORD s = src[x];
      const DWORD alpha = s >> 24;
      // Text and shape pieces are mostly clear or solid.
      if (alpha == 255) {
        dst[x] = s;
        continue;
      }
      if (s == 0) continue;
      const DWORD d = dst[x];
      // Shadows and layers often land on cleared pixels.
      if (d == 0) {
        dst[x] = s;
        continue;
      }
      const DWORD keep = 255 - alpha;
      // Two channels at a time, each in 16 bits: c * keep / 255 rounded is
      // (t + 1 + (t >> 8)) >> 8 with t = c * keep + 127, exactly, for every
      // t up to 255 * 255 + 127, and no lane carries into the next.
      auto under = [keep](DWORD pair) {
        DWORD t = pair * keep + 0x007F007Fu;
        t += 0x00010001u + ((t >> 8) & 0x00FF00FFu);
        return (t >> 8) & 0x00FF00FFu;
      };
      const DWORD red_blue = (s & 0x00FF00FFu) + under(d & 0x00FF00FFu);
      const DWORD alpha_green = ((s >> 8) & 0x00FF00FFu) + under((d >> 8) & 0x00FF00FFu);
      dst[x] = red_blue | (alpha_green << 8);
    }
  }
}

}  // namespace ui
