// A GDI+ pen with its ARGB colour. Setters forward to GDI+ and remember the
// last failed status, which is not reported to callers. UI thread only.
#ifndef UI_RENDER_PEN_GDIPLUS_H_
#define UI_RENDER_PEN_GDIPLUS_H_

#include <memory>

#include "base/thread_checker.h"
#include "ui/render/gdiplus_fwd.h"
#include "ui/render/render.h"

namespace ui {

class Pen_GdiPlus : public IPen {
 public:
  Pen_GdiPlus(ARGB color, int width);
  Pen_GdiPlus(const Pen_GdiPlus& other);
  Pen_GdiPlus& operator=(const Pen_GdiPlus&) = delete;

  std::unique_ptr<IPen> Clone() const override;
  void SetWidth(int width) override;
  int GetWidth() const override;
  void SetColor(ARGB color) override;
  ARGB GetColor() const override { return color_; }
  void SetStartCap(LineCap cap) override;
  void SetEndCap(LineCap cap) override;
  void SetDashCap(DashCap cap) override;
  LineCap GetStartCap() const override;
  LineCap GetEndCap() const override;
  DashCap GetDashCap() const override;
  void SetLineJoin(LineJoin join) override;
  LineJoin GetLineJoin() const override;
  void SetDashStyle(DashStyle style) override;
  DashStyle GetDashStyle() const override;

  Gdiplus::Pen* GetPen() const { return pen_.get(); }
  Gdiplus::Status last_status() const { return last_status_; }

 private:
  cbase::ThreadChecker thread_checker_;
  void Keep(Gdiplus::Status status);

  ARGB color_;
  std::unique_ptr<Gdiplus::Pen> pen_;
  Gdiplus::Status last_status_ = Gdiplus::Ok;
};

}  // namespace ui

#endif  // UI_RENDER_PEN_GDIPLUS_H_
