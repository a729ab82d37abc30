// A GDI+ brush: solid (from a colour) or texture (from a bitmap). UI thread
// only.
#ifndef UI_RENDER_BRUSH_GDIPLUS_H_
#define UI_RENDER_BRUSH_GDIPLUS_H_

#include <memory>

#include "ui/render/gdiplus_fwd.h"
#include "ui/render/render.h"

namespace ui {

class Brush_Gdiplus : public IBrush {
 public:
  explicit Brush_Gdiplus(ARGB color);
  // A texture brush; the bitmap is copied, the caller keeps |bitmap|.
  explicit Brush_Gdiplus(HBITMAP bitmap);
  Brush_Gdiplus(const Brush_Gdiplus& other);
  Brush_Gdiplus& operator=(const Brush_Gdiplus&) = delete;

  std::unique_ptr<IBrush> Clone() const override;
  ARGB GetColor() const override { return color_; }
  // The solid brush when there is one, else the texture brush (or null).
  Gdiplus::Brush* GetBrush() const;

 private:
  ARGB color_ = 0;
  std::unique_ptr<Gdiplus::SolidBrush> solid_;
  std::unique_ptr<Gdiplus::TextureBrush> texture_;
};

}  // namespace ui

#endif  // UI_RENDER_BRUSH_GDIPLUS_H_
