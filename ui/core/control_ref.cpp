#include "ui/core/control_ref.h"

#include "ui/control/control.h"

namespace ui {

ControlRef::ControlRef(Control* control) : control_(control) {
  if (control != nullptr) alive_ = control->GetWeakFlag();
}

}  // namespace ui
