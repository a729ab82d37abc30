// A 32-bit DIB section: the pixels of a render context. Owns its bitmap
// handle until DetachBitmap hands it on. UI thread only.
#ifndef UI_RENDER_GDI_BITMAP_H_
#define UI_RENDER_GDI_BITMAP_H_

#include <windows.h>

#include "base/scoped_gdi_object.h"
#include "base/thread_checker.h"
#include "ui/render/render.h"

namespace ui {

class GdiBitmap : public IBitmap {
 public:
  GdiBitmap() = default;
  ~GdiBitmap() override;
  GdiBitmap(const GdiBitmap&) = delete;
  GdiBitmap& operator=(const GdiBitmap&) = delete;

  bool Init(HDC hdc, int width, int height, bool flip_height) override;
  void Clear() override;
  HBITMAP DetachBitmap() override;
  HBITMAP GetBitmap() const override { return bitmap_.get(); }
  void* GetBits() const override { return bits_; }
  int GetWidth() const override { return width_; }
  int GetHeight() const override { return height_; }
  void FillPixels(const RECT& rc, BYTE value) override;
  void MakeOpaque(const RECT& rc, const RECT& insets, BYTE key_alpha) override;

 private:
  cbase::ThreadChecker thread_checker_;
  void CleanUp();

  cbase::ScopedBitmap bitmap_;
  BYTE* bits_ = nullptr;
  int width_ = 0;
  int height_ = 0;
};

// A top-down 32-bit DIB section of its own, zeroed, with its pixels in
// |bits|; empty (and |bits| null) when it cannot be made. Any thread.
cbase::ScopedBitmap MakeTopDownBitmap(int width, int height, void** bits);

// Blends premultiplied pixels over others, |width| by |rows|, the way GDI's
// AlphaBlend does with per-pixel alpha and a constant alpha of 255: each
// channel becomes source + destination * (255 - source alpha) / 255,
// rounded. Strides are in pixels. Writing the bits directly spares the
// system's per-call cost, which for the many small pieces of a frame (kept
// texts and shapes) is most of the blend. Any thread.
void BlendPixelsOver(DWORD* dst, size_t dst_stride, const DWORD* src, size_t src_stride, int width,
                     int rows);

}  // namespace ui

#endif  // UI_RENDER_GDI_BITMAP_H_
