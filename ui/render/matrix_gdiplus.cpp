#include "ui/render/matrix_gdiplus.h"

namespace ui {

void Matrix_Gdiplus::Keep(Gdiplus::Status status) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  if (status != Gdiplus::Ok) last_status_ = status;
}

void Matrix_Gdiplus::Translate(int dx, int dy) {
  Keep(matrix_.Translate(static_cast<Gdiplus::REAL>(dx), static_cast<Gdiplus::REAL>(dy),
                         Gdiplus::MatrixOrderPrepend));
}

void Matrix_Gdiplus::Scale(float sx, float sy) {
  Keep(matrix_.Scale(sx, sy, Gdiplus::MatrixOrderPrepend));
}

void Matrix_Gdiplus::Rotate(float angle) {
  Keep(matrix_.Rotate(angle, Gdiplus::MatrixOrderPrepend));
}

void Matrix_Gdiplus::RotateAt(float angle, const POINT& center) {
  const Gdiplus::REAL x = static_cast<Gdiplus::REAL>(center.x);
  const Gdiplus::REAL y = static_cast<Gdiplus::REAL>(center.y);
  Keep(matrix_.Translate(x, y, Gdiplus::MatrixOrderPrepend));
  Keep(matrix_.Rotate(angle, Gdiplus::MatrixOrderPrepend));
  Keep(matrix_.Translate(-x, -y, Gdiplus::MatrixOrderPrepend));
}

}  // namespace ui
