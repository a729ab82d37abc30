#include "ui/render/brush_gdiplus.h"

namespace ui {

Brush_Gdiplus::Brush_Gdiplus(ARGB color)
    : color_(color), solid_(std::make_unique<Gdiplus::SolidBrush>(Gdiplus::Color(color))) {}

Brush_Gdiplus::Brush_Gdiplus(HBITMAP bitmap) {
  // The texture keeps its own copy of the pixels, so the intermediate GDI+
  // bitmap is released right away.
  std::unique_ptr<Gdiplus::Bitmap> image(Gdiplus::Bitmap::FromHBITMAP(bitmap, nullptr));
  if (image && image->GetLastStatus() == Gdiplus::Ok) {
    texture_ = std::make_unique<Gdiplus::TextureBrush>(image.get());
    if (texture_->GetLastStatus() != Gdiplus::Ok) texture_.reset();
  }
}

Brush_Gdiplus::Brush_Gdiplus(const Brush_Gdiplus& other) : color_(other.color_) {
  if (other.solid_) solid_.reset(static_cast<Gdiplus::SolidBrush*>(other.solid_->Clone()));
  if (other.texture_) {
    texture_.reset(static_cast<Gdiplus::TextureBrush*>(other.texture_->Clone()));
  }
}

std::unique_ptr<IBrush> Brush_Gdiplus::Clone() const {
  return std::make_unique<Brush_Gdiplus>(*this);
}

Gdiplus::Brush* Brush_Gdiplus::GetBrush() const {
  if (solid_) return solid_.get();
  return texture_.get();
}

}  // namespace ui
