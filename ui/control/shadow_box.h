// ShadowBox: the box a window wraps around its root when it draws its own
// drop shadow. Its padding is the shadow's thickness and its background image
// the shadow. A repaint draws the image wherever it can show, as a whole
// frame does: not at all inside the content's opaque background (within its
// rounded corners), around it in bands, and everywhere when the content does
// not cover the middle.
//
// Owned by its window as the root; UI thread only.
#pragma once

#include "ui/control/box.h"

namespace ui {

class ShadowBox : public Box {
 public:
  ShadowBox();

  void PaintSelf(IRenderContext* context, const RECT& dirty) override;
  // Its middle is left to the content.
  bool OpaqueArea(RECT* /*area*/) const override { return false; }

 private:
  // The part of the box its only child, the window's content, certainly
  // paints over with an opaque background colour; false when there is none.
  bool ContentCover(RECT& covered) const;
};

}  // namespace ui
