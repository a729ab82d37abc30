// ShadowBox: the box a window wraps around its root when it draws its own
// drop shadow. Its padding is the shadow's thickness and its background image
// the shadow. A repaint draws the image wherever it can show, as a whole
// frame does: not at all inside the content's opaque background (within its
// rounded corners), around it in bands, and everywhere when the content does
// not cover the middle. From the second paint on, the bands are drawn from
// the image once and kept (about 0.2 MB for the main window), so that a
// repaint blends them one to one instead of stretching the image's edges
// again.
//
// Owned by its window as the root; UI thread only.
#pragma once

#include <memory>

#include "ui/control/box.h"
#include "ui/render/image_attribute.h"

namespace ui {

class ShadowBox : public Box {
 public:
  ShadowBox();

  void PaintSelf(IRenderContext* context, const RECT& dirty) override;
  // Its middle is left to the content.
  bool OpaqueArea(RECT* /*area*/) const override { return false; }
  // The part of the box its only child, the window's content, certainly
  // paints over with an opaque background colour; false when there is none.
  bool ContentCover(RECT& covered) const;

 private:
  // Makes sure |kept_| holds |bands| drawn from the current image; false
  // when they cannot be kept or the box draws more than an image (then it is
  // drawn in place).
  bool KeepBands(const RECT (&bands)[4]);
  // Whether |image| is the kept bands' image, placed as it was.
  bool SameLook(const ImageAttribute& image) const;

  static constexpr int kBands = 4;
  // The bands as last drawn.
  std::unique_ptr<IRenderContext> kept_[kBands];
  RECT kept_areas_[kBands] = {};
  bool painted_before_ = false;
  // The image and its placement the bands were drawn from (no image: none
  // are kept).
  ImageAttribute kept_look_;
};

}  // namespace ui
