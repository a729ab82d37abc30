#include "ui/control/option.h"

namespace ui {

template class OptionTemplate<Control>;
template class OptionTemplate<Box>;

}  // namespace ui
