// Pixel helpers for the render tests: reading a render context and building
// small source bitmaps with known colours.
#ifndef TESTS_UI_RENDER_PIXELS_H_
#define TESTS_UI_RENDER_PIXELS_H_

#include <windows.h>

#include <cwchar>
#include <functional>

#include "ui/render/gdi_bitmap.h"
#include "ui/render/render.h"

namespace ui {
namespace testing {

inline DWORD PixelAt(const IRenderContext& context, int x, int y) {
  return reinterpret_cast<const DWORD*>(context.GetBits())[y * context.GetWidth() + x];
}

inline BYTE AlphaOf(DWORD pixel) { return static_cast<BYTE>(pixel >> 24); }
inline BYTE RedOf(DWORD pixel) { return static_cast<BYTE>(pixel >> 16); }
inline BYTE GreenOf(DWORD pixel) { return static_cast<BYTE>(pixel >> 8); }
inline BYTE BlueOf(DWORD pixel) { return static_cast<BYTE>(pixel); }

// Counts the pixels of |rc| for which |test| holds.
inline int CountPixels(const IRenderContext& context, const RECT& rc,
                       const std::function<bool(DWORD)>& test) {
  int count = 0;
  for (int y = rc.top; y < rc.bottom; ++y) {
    for (int x = rc.left; x < rc.right; ++x) count += test(PixelAt(context, x, y)) ? 1 : 0;
  }
  return count;
}

// Sizes |context| to |width| x |height| and makes it opaque white.
inline void MakeWhite(IRenderContext& context, int width, int height) {
  context.Resize(width, height);
  context.FillPixels(RECT{0, 0, width, height}, 255);
}

// A top-down 32-bit bitmap whose pixel (x, y) is |colour(x, y)| (ARGB, taken
// as premultiplied, as GDI's AlphaBlend expects).
inline void PaintBitmap(GdiBitmap& bitmap, int width, int height,
                        const std::function<DWORD(int, int)>& colour) {
  HDC screen = ::GetDC(nullptr);
  bitmap.Init(screen, width, height, true);
  ::ReleaseDC(nullptr, screen);
  DWORD* bits = static_cast<DWORD*>(bitmap.GetBits());
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) bits[y * width + x] = colour(x, y);
  }
}

// A GDI font of |face| at |height| pixels, deleted with the object.
class Font {
 public:
  Font(const wchar_t* face, int height, int weight = FW_NORMAL) {
    LOGFONTW logfont = {};
    logfont.lfHeight = -height;
    logfont.lfWeight = weight;
    logfont.lfCharSet = DEFAULT_CHARSET;
    wcscpy_s(logfont.lfFaceName, face);
    font_ = ::CreateFontIndirectW(&logfont);
  }
  ~Font() { ::DeleteObject(font_); }
  Font(const Font&) = delete;
  Font& operator=(const Font&) = delete;
  HFONT get() const { return font_; }

 private:
  HFONT font_;
};

}  // namespace testing
}  // namespace ui

#endif  // TESTS_UI_RENDER_PIXELS_H_
