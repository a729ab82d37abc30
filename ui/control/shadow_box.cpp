#include "ui/control/shadow_box.h"

namespace ui {

ShadowBox::ShadowBox() = default;

void ShadowBox::PaintSelf(IRenderContext* context, const RECT& dirty) {
  const RECT inner = InnerRect();
  const bool inside = dirty.left >= inner.left && dirty.top >= inner.top &&
                      dirty.right <= inner.right && dirty.bottom <= inner.bottom;
  if (!inside) Box::PaintSelf(context, dirty);
}

}  // namespace ui
