#include "ui/render/path_gdiplus.h"

#include "ui/render/matrix_gdiplus.h"
#include "ui/render/pen_gdiplus.h"

namespace ui {

namespace {

std::vector<Gdiplus::Point> ToGdiplus(const std::vector<POINT>& points) {
  std::vector<Gdiplus::Point> result;
  result.reserve(points.size());
  for (const POINT& p : points) result.emplace_back(p.x, p.y);
  return result;
}

const Gdiplus::Pen* PenOf(const IPen* pen) {
  const Pen_GdiPlus* gdiplus_pen = dynamic_cast<const Pen_GdiPlus*>(pen);
  return gdiplus_pen ? gdiplus_pen->GetPen() : nullptr;
}

}  // namespace

Path_Gdiplus::Path_Gdiplus()
    : path_(std::make_unique<Gdiplus::GraphicsPath>(Gdiplus::FillModeAlternate)) {}

Path_Gdiplus::Path_Gdiplus(const Path_Gdiplus& other)
    : path_(other.path_->Clone()), last_status_(other.last_status_) {}

std::unique_ptr<IPath> Path_Gdiplus::Clone() const { return std::make_unique<Path_Gdiplus>(*this); }

void Path_Gdiplus::Keep(Gdiplus::Status status) const {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  if (status != Gdiplus::Ok) last_status_ = status;
}

void Path_Gdiplus::Reset() { Keep(path_->Reset()); }

void Path_Gdiplus::SetFillMode(FillMode mode) {
  Keep(path_->SetFillMode(static_cast<Gdiplus::FillMode>(mode)));
}

FillMode Path_Gdiplus::GetFillMode() const { return static_cast<FillMode>(path_->GetFillMode()); }

void Path_Gdiplus::StartFigure() { Keep(path_->StartFigure()); }

void Path_Gdiplus::CloseFigure() { Keep(path_->CloseFigure()); }

void Path_Gdiplus::AddLine(int x1, int y1, int x2, int y2) { Keep(path_->AddLine(x1, y1, x2, y2)); }

void Path_Gdiplus::AddLines(const std::vector<POINT>& points) {
  const std::vector<Gdiplus::Point> p = ToGdiplus(points);
  Keep(path_->AddLines(p.data(), static_cast<INT>(p.size())));
}

void Path_Gdiplus::AddBezier(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4) {
  Keep(path_->AddBezier(x1, y1, x2, y2, x3, y3, x4, y4));
}

void Path_Gdiplus::AddCurve(const std::vector<POINT>& points) {
  const std::vector<Gdiplus::Point> p = ToGdiplus(points);
  Keep(path_->AddCurve(p.data(), static_cast<INT>(p.size())));
}

void Path_Gdiplus::AddRect(const RECT& rc) { AddRect(rc.left, rc.top, rc.right, rc.bottom); }

void Path_Gdiplus::AddRect(int left, int top, int right, int bottom) {
  Keep(path_->AddRectangle(Gdiplus::Rect(left, top, right - left, bottom - top)));
}

void Path_Gdiplus::AddEllipse(const RECT& rc) { AddEllipse(rc.left, rc.top, rc.right, rc.bottom); }

void Path_Gdiplus::AddEllipse(int left, int top, int right, int bottom) {
  Keep(path_->AddEllipse(Gdiplus::Rect(left, top, right - left, bottom - top)));
}

void Path_Gdiplus::AddArc(int x, int y, int width, int height, float start_angle,
                          float sweep_angle) {
  Keep(path_->AddArc(x, y, width, height, start_angle, sweep_angle));
}

void Path_Gdiplus::AddPie(int x, int y, int width, int height, float start_angle,
                          float sweep_angle) {
  Keep(path_->AddPie(x, y, width, height, start_angle, sweep_angle));
}

void Path_Gdiplus::AddPolygon(const std::vector<POINT>& points) {
  const std::vector<Gdiplus::Point> p = ToGdiplus(points);
  Keep(path_->AddPolygon(p.data(), static_cast<INT>(p.size())));
}

RECT Path_Gdiplus::GetBounds(const IPen* pen) const {
  Gdiplus::Rect bounds;
  Keep(path_->GetBounds(&bounds, nullptr, PenOf(pen)));
  return RECT{bounds.X, bounds.Y, bounds.X + bounds.Width, bounds.Y + bounds.Height};
}

bool Path_Gdiplus::IsContainsPoint(int x, int y) const { return path_->IsVisible(x, y) != FALSE; }

bool Path_Gdiplus::IsStrokeContainsPoint(int x, int y, const IPen* pen) const {
  const Gdiplus::Pen* gdiplus_pen = PenOf(pen);
  if (!gdiplus_pen) return false;
  return path_->IsOutlineVisible(x, y, gdiplus_pen) != FALSE;
}

void Path_Gdiplus::Transform(const IMatrix* matrix) {
  const Matrix_Gdiplus* m = dynamic_cast<const Matrix_Gdiplus*>(matrix);
  if (m) Keep(path_->Transform(m->GetMatrix()));
}

}  // namespace ui
