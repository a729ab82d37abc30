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
  const RECT inner = InnerRect();
  const bool inside = dirty.left >= inner.left && dirty.top >= inner.top &&
                      dirty.right <= inner.right && dirty.bottom <= inner.bottom;
  if (inside) return;
  RECT covered;
  if (!ContentCover(covered)) {
    Box::PaintSelf(context, dirty);
    return;
  }
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
