// Makes the GDI/GDI+ render objects. One process-wide instance is installed
// at start-up (SetRenderFactory) and released before GDI+ shuts down. The
// objects it makes need GDI+ to be running while they are used.
#ifndef UI_RENDER_RENDER_FACTORY_GDIPLUS_H_
#define UI_RENDER_RENDER_FACTORY_GDIPLUS_H_

#include "ui/render/render.h"

namespace ui {

class RenderFactory_GdiPlus : public IRenderFactory {
 public:
  std::unique_ptr<IPen> CreatePen(ARGB color, int width = 1) override;
  std::unique_ptr<IBrush> CreateBrush(HBITMAP bitmap) override;
  std::unique_ptr<IBrush> CreateBrush(ARGB color) override;
  std::unique_ptr<IMatrix> CreateMatrix() override;
  std::unique_ptr<IPath> CreatePath() override;
  std::unique_ptr<IBitmap> CreateBitmap() override;
  std::unique_ptr<IRenderContext> CreateRenderContext() override;
};

}  // namespace ui

#endif  // UI_RENDER_RENDER_FACTORY_GDIPLUS_H_
