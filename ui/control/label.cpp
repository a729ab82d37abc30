#include "ui/control/label.h"

#include <memory>

namespace ui {

IRenderContext* TextMeasuringContext(const Control* control) {
  if (control != nullptr && control->GetWindow() != nullptr &&
      control->GetWindow()->GetRenderContext() != nullptr) {
    return control->GetWindow()->GetRenderContext();
  }
  // Never destroyed: it may be asked for until the UI thread ends. Text is
  // measured on its device context only, so it needs no bitmap.
  static IRenderContext* measuring = nullptr;
  if (measuring == nullptr && GetRenderFactory() != nullptr) {
    measuring = GetRenderFactory()->CreateRenderContext().release();
  }
  return measuring;
}

template class LabelTemplate<Control>;
template class LabelTemplate<Box>;

}  // namespace ui
