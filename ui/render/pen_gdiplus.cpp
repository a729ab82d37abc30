#include "ui/render/pen_gdiplus.h"

namespace ui {

Pen_GdiPlus::Pen_GdiPlus(ARGB color, int width)
    : color_(color),
      pen_(std::make_unique<Gdiplus::Pen>(Gdiplus::Color(color),
                                          static_cast<Gdiplus::REAL>(width))) {
  Keep(pen_->GetLastStatus());
}

Pen_GdiPlus::Pen_GdiPlus(const Pen_GdiPlus& other)
    : color_(other.color_), pen_(other.pen_->Clone()), last_status_(other.last_status_) {}

std::unique_ptr<IPen> Pen_GdiPlus::Clone() const { return std::make_unique<Pen_GdiPlus>(*this); }

void Pen_GdiPlus::Keep(Gdiplus::Status status) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  if (status != Gdiplus::Ok) last_status_ = status;
}

void Pen_GdiPlus::SetWidth(int width) { Keep(pen_->SetWidth(static_cast<Gdiplus::REAL>(width))); }

int Pen_GdiPlus::GetWidth() const { return static_cast<int>(pen_->GetWidth()); }

void Pen_GdiPlus::SetColor(ARGB color) {
  color_ = color;
  Keep(pen_->SetColor(Gdiplus::Color(color)));
}

void Pen_GdiPlus::SetStartCap(LineCap cap) {
  Keep(pen_->SetStartCap(static_cast<Gdiplus::LineCap>(cap)));
}

void Pen_GdiPlus::SetEndCap(LineCap cap) {
  Keep(pen_->SetEndCap(static_cast<Gdiplus::LineCap>(cap)));
}

void Pen_GdiPlus::SetDashCap(DashCap cap) {
  Keep(pen_->SetDashCap(static_cast<Gdiplus::DashCap>(cap)));
}

LineCap Pen_GdiPlus::GetStartCap() const { return static_cast<LineCap>(pen_->GetStartCap()); }

LineCap Pen_GdiPlus::GetEndCap() const { return static_cast<LineCap>(pen_->GetEndCap()); }

DashCap Pen_GdiPlus::GetDashCap() const { return static_cast<DashCap>(pen_->GetDashCap()); }

void Pen_GdiPlus::SetLineJoin(LineJoin join) {
  Keep(pen_->SetLineJoin(static_cast<Gdiplus::LineJoin>(join)));
}

LineJoin Pen_GdiPlus::GetLineJoin() const { return static_cast<LineJoin>(pen_->GetLineJoin()); }

void Pen_GdiPlus::SetDashStyle(DashStyle style) {
  Keep(pen_->SetDashStyle(static_cast<Gdiplus::DashStyle>(style)));
}

DashStyle Pen_GdiPlus::GetDashStyle() const { return static_cast<DashStyle>(pen_->GetDashStyle()); }

}  // namespace ui
