// A GDI+ graphics path (alternate fill mode to start with). Failed GDI+ calls
// are remembered, not reported. UI thread only.
#ifndef UI_RENDER_PATH_GDIPLUS_H_
#define UI_RENDER_PATH_GDIPLUS_H_

#include <memory>
#include <vector>

#include "base/thread_checker.h"
#include "ui/render/gdiplus_fwd.h"
#include "ui/render/render.h"

namespace ui {

class Path_Gdiplus : public IPath {
 public:
  Path_Gdiplus();
  Path_Gdiplus(const Path_Gdiplus& other);
  Path_Gdiplus& operator=(const Path_Gdiplus&) = delete;

  std::unique_ptr<IPath> Clone() const override;
  void Reset() override;
  void SetFillMode(FillMode mode) override;
  FillMode GetFillMode() const override;
  void StartFigure() override;
  void CloseFigure() override;
  void AddLine(int x1, int y1, int x2, int y2) override;
  void AddLines(const std::vector<POINT>& points) override;
  void AddBezier(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4) override;
  void AddCurve(const std::vector<POINT>& points) override;
  void AddRect(const RECT& rc) override;
  void AddRect(int left, int top, int right, int bottom) override;
  void AddEllipse(const RECT& rc) override;
  void AddEllipse(int left, int top, int right, int bottom) override;
  void AddArc(int x, int y, int width, int height, float start_angle, float sweep_angle) override;
  void AddPie(int x, int y, int width, int height, float start_angle, float sweep_angle) override;
  void AddPolygon(const std::vector<POINT>& points) override;
  RECT GetBounds(const IPen* pen) const override;
  bool IsContainsPoint(int x, int y) const override;
  bool IsStrokeContainsPoint(int x, int y, const IPen* pen) const override;
  void Transform(const IMatrix* matrix) override;

  const Gdiplus::GraphicsPath* GetPath() const { return path_.get(); }
  Gdiplus::Status last_status() const { return last_status_; }

 private:
  cbase::ThreadChecker thread_checker_;
  void Keep(Gdiplus::Status status) const;

  std::unique_ptr<Gdiplus::GraphicsPath> path_;
  mutable Gdiplus::Status last_status_ = Gdiplus::Ok;
};

}  // namespace ui

#endif  // UI_RENDER_PATH_GDIPLUS_H_
