#include "ui/control/shadow_box.h"

#include "ui/core/global_manager.h"
#include "ui/render/image_attribute.h"
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
  const bool kept = KeepBands(bands);
  for (int i = 0; i < kBands; ++i) {
    RECT part;
    if (!::IntersectRect(&part, &bands[i], &dirty)) continue;
    if (kept) {
      const int width = part.right - part.left;
      const int height = part.bottom - part.top;
      const int x = part.left - bands[i].left;
      const int y = part.top - bands[i].top;
      context->AlphaBlend(part.left, part.top, width, height, kept_[i].get(), x, y, width, height,
                          255);
      continue;
    }
    AutoClip clip(context, part);
    Box::PaintSelf(context, part);
  }
}

bool ShadowBox::SameLook(const ImageAttribute& image) const {
  const ImageAttribute& kept = kept_look_;
  return image.image == kept.image && image.file == kept.file &&
         ::EqualRect(&image.dest, &kept.dest) && ::EqualRect(&image.source, &kept.source) &&
         ::EqualRect(&image.corner, &kept.corner) && image.fade == kept.fade &&
         image.xtiled == kept.xtiled && image.ytiled == kept.ytiled &&
         image.current_frame == kept.current_frame;
}

bool ShadowBox::KeepBands(const RECT (&bands)[4]) {
  const ImageAttribute& image = GetBkImage();
  // Only an image is kept: a colour or a border may change with the system's
  // colours.
  if (image.file.empty() || !GetBkColor().empty() || GetBorderSize() > 0) return false;
  // The first frame draws in place: keeping costs it more than it saves,
  // and a window that is never repainted never needs the bands.
  if (!painted_before_) {
    painted_before_ = true;
    return false;
  }
  bool same = image.image != nullptr && SameLook(image);
  for (int i = 0; same && i < kBands; ++i) {
    same = ::EqualRect(&bands[i], &kept_areas_[i]) != FALSE &&
           (::IsRectEmpty(&bands[i]) || kept_[i] != nullptr);
  }
  if (same) return true;
  IRenderFactory* factory = GetRenderFactory();
  if (factory == nullptr) return false;
  for (int i = 0; i < kBands; ++i) {
    const RECT& band = bands[i];
    const int width = band.right - band.left;
    const int height = band.bottom - band.top;
    kept_areas_[i] = band;
    if (width <= 0 || height <= 0) continue;  // no shadow on that side
    if (kept_[i] == nullptr) kept_[i] = factory->CreateRenderContext();
    if (kept_[i] != nullptr) kept_[i]->Resize(width, height);
    if (kept_[i] == nullptr || kept_[i]->GetWidth() != width || kept_[i]->GetHeight() != height) {
      kept_look_.image.reset();
      return false;
    }
    kept_[i]->Clear();
    // The band's pixels as a whole frame has them at that place.
    const RECT whole = {0, 0, width, height};
    AutoClip clip(kept_[i].get(), whole);
    const POINT origin = kept_[i]->OffsetOrigin(band.left, band.top);
    Box::PaintSelf(kept_[i].get(), band);
    kept_[i]->SetOrigin(origin.x, origin.y);
  }
  kept_look_ = image;
  return kept_look_.image != nullptr;
}

}  // namespace ui
