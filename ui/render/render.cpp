#include "ui/render/render.h"

#include <utility>

namespace ui {

namespace {

std::unique_ptr<IRenderFactory>& FactorySlot() {
  static std::unique_ptr<IRenderFactory> factory;
  return factory;
}

}  // namespace

IRenderFactory* GetRenderFactory() { return FactorySlot().get(); }

void SetRenderFactory(std::unique_ptr<IRenderFactory> factory) {
  FactorySlot() = std::move(factory);
}

AutoClip::AutoClip(IRenderContext* context, const RECT& rc, bool enabled)
    : context_(context), enabled_(enabled && context) {
  if (enabled_) context_->SetClip(rc);
}

AutoClip::AutoClip(IRenderContext* context, const RECT& rc, int round_width, int round_height,
                   bool enabled)
    : context_(context), enabled_(enabled && context) {
  if (enabled_) context_->SetRoundClip(rc, round_width, round_height);
}

AutoClip::~AutoClip() {
  if (enabled_) context_->ClearClip();
}

}  // namespace ui
