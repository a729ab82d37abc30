#include "ui/core/window_shadow.h"

#include "ui/control/shadow_box.h"
#include "ui/core/global_manager.h"

namespace ui {

WindowShadow::WindowShadow() : image_(kDefaultImage) {
  thickness_ = written_;
  GlobalManager::ScaleRect(thickness_);
}

void WindowShadow::SetImage(const std::wstring& image) {
  image_ = image;
  default_image_ = false;
}

RECT WindowShadow::GetThickness() const { return attached_ ? thickness_ : RECT{0, 0, 0, 0}; }

RECT WindowShadow::GetPadding() const {
  return attached_ && !maximized_ ? thickness_ : RECT{0, 0, 0, 0};
}

void WindowShadow::SetThickness(const RECT& thickness) {
  written_ = thickness;
  thickness_ = thickness;
  GlobalManager::ScaleRect(thickness_);
}

Control* WindowShadow::Wrap(Control* root) {
  if (!attached_ || root == nullptr) return root;
  auto* box = new ShadowBox();
  box->GetLayout()->SetPadding(GetPadding(), false);
  FitBoxAround(box, root);
  RoundRoot(root);
  box->Add(root);
  box->SetBkImage(image_);
  box_ = box;
  inner_root_ = root;
  return box;
}

ShadowBox* WindowShadow::GetShadowBox() const { return static_cast<ShadowBox*>(box_.Get()); }

void WindowShadow::OnMaximizedOrRestored(bool maximized) {
  maximized_ = maximized;
  ShadowBox* box = GetShadowBox();
  if (!attached_ || box == nullptr) return;
  box->GetLayout()->SetPadding(GetPadding(), false);
  if (Control* root = inner_root_.Get()) RoundRoot(root);
}

void WindowShadow::OnDpiChanged() {
  thickness_ = written_;
  GlobalManager::ScaleRect(thickness_);
  ShadowBox* box = GetShadowBox();
  if (!attached_ || box == nullptr) return;
  // A maximised window stays without its shadow until it is restored.
  box->GetLayout()->SetPadding(GetPadding(), false);
  // The box is the root's size plus the shadow; the root has been rescaled.
  if (Control* root = inner_root_.Get()) {
    FitBoxAround(box, root);
    RoundRoot(root);
  }
}

void WindowShadow::FitBoxAround(Control* box, Control* root) const {
  const int width = root->GetFixedWidth();
  const int height = root->GetFixedHeight();
  box->SetFixedWidth(width > 0 ? width + thickness_.left + thickness_.right : width, false, false);
  box->SetFixedHeight(height > 0 ? height + thickness_.top + thickness_.bottom : height, false,
                      false);
}

void WindowShadow::RoundRoot(Control* root) const {
  // The default shadow image frames a root with small round corners; a
  // maximised window has square ones.
  if (!default_image_) return;
  const int round = maximized_ ? 0 : kDefaultRootRound;
  root->SetBorderRound(SIZE{round, round});
}

}  // namespace ui
