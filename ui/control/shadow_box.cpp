#include "ui/control/shadow_box.h"

#include "ui/core/global_manager.h"
#include "ui/render/render.h"

namespace ui {

ShadowBox::ShadowBox() = default;

bool ShadowBox::ContentCover(RECT& covered) const {
  if (children().size() != 1) return false;
  Control* content = children()[0];
  return content->IsVisible() && content->GetAlpha() == 255 && content->OpaqueArea(&covered);
}

void ShadowBox::PaintSelf(IRenderContext* context, const RECT& dirty) {
  RECT covered;
  if (!ContentCover(covered)) {
    Box::PaintSelf(context, dirty);
    return;
  }
  // Where the content is opaque the shadow never shows. Inside the padding
  // but outside that (round corners) it does, as in a whole frame.
  const bool hidden = dirty.left >= covered.left && dirty.top >= covered.top &&
                      dirty.right <= covered.right && dirty.bottom <= covered.bottom;
  if (hidden) return;
  // The middle of the shadow image lies under the content's opaque
  // background: only the bands around it are drawn (stretching the middle
  // over the whole window would cost more than the rest of a frame).
  const RECT& rect = GetRect();
  const RECT bands[] = {
      {rect.left, rect.top, rect.right, covered.top},
      {rect.left, covered.bottom, rect.right, rect.bottom},
      {rect.left, covered.top, covered.left, covered.bottom},
      {covered.right, covered.top, rect.right, covered.bottom},
  };
  for (const RECT& band : bands) {
    RECT part;
    if (!::IntersectRect(&part, &band, &dirty)) continue;
    AutoClip clip(context, part);
    Box::PaintSelf(context, part);
  }
}

}  // namespace ui
