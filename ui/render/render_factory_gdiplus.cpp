#include "ui/render/render_factory_gdiplus.h"

#include "ui/render/brush_gdiplus.h"
#include "ui/render/gdi_bitmap.h"
#include "ui/render/matrix_gdiplus.h"
#include "ui/render/path_gdiplus.h"
#include "ui/render/pen_gdiplus.h"
#include "ui/render/render_context_gdiplus.h"

namespace ui {

std::unique_ptr<IPen> RenderFactory_GdiPlus::CreatePen(ARGB color, int width) {
  return std::make_unique<Pen_GdiPlus>(color, width);
}

std::unique_ptr<IBrush> RenderFactory_GdiPlus::CreateBrush(HBITMAP bitmap) {
  return std::make_unique<Brush_Gdiplus>(bitmap);
}

std::unique_ptr<IBrush> RenderFactory_GdiPlus::CreateBrush(ARGB color) {
  return std::make_unique<Brush_Gdiplus>(color);
}

std::unique_ptr<IMatrix> RenderFactory_GdiPlus::CreateMatrix() {
  return std::make_unique<Matrix_Gdiplus>();
}

std::unique_ptr<IPath> RenderFactory_GdiPlus::CreatePath() {
  return std::make_unique<Path_Gdiplus>();
}

std::unique_ptr<IBitmap> RenderFactory_GdiPlus::CreateBitmap() {
  return std::make_unique<GdiBitmap>();
}

std::unique_ptr<IRenderContext> RenderFactory_GdiPlus::CreateRenderContext() {
  return std::make_unique<RenderContext_GdiPlus>();
}

}  // namespace ui
