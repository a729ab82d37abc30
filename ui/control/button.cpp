#include "ui/control/button.h"

namespace ui {

template class ButtonTemplate<Control>;
template class ButtonTemplate<Box>;

}  // namespace ui
