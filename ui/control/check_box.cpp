#include "ui/control/check_box.h"

namespace ui {

template class CheckBoxTemplate<Control>;
template class CheckBoxTemplate<Box>;

}  // namespace ui
