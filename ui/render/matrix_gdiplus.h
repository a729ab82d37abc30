// A GDI+ transformation matrix; every step is prepended. UI thread only.
#ifndef UI_RENDER_MATRIX_GDIPLUS_H_
#define UI_RENDER_MATRIX_GDIPLUS_H_

#include "base/thread_checker.h"
#include "ui/render/gdiplus_fwd.h"
#include "ui/render/render.h"

namespace ui {

class Matrix_Gdiplus : public IMatrix {
 public:
  void Translate(int dx, int dy) override;
  void Scale(float sx, float sy) override;
  void Rotate(float angle) override;
  void RotateAt(float angle, const POINT& center) override;

  const Gdiplus::Matrix* GetMatrix() const { return &matrix_; }
  Gdiplus::Status last_status() const { return last_status_; }

 private:
  cbase::ThreadChecker thread_checker_;
  void Keep(Gdiplus::Status status);

  Gdiplus::Matrix matrix_;
  Gdiplus::Status last_status_ = Gdiplus::Ok;
};

}  // namespace ui

#endif  // UI_RENDER_MATRIX_GDIPLUS_H_
