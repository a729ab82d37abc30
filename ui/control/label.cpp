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

std::wstring Utf8ToWide(const std::string& text) {
  if (text.empty()) return std::wstring();
  const int length =
      ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (length <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0], length);
  return wide;
}

template class LabelTemplate<Control>;
template class LabelTemplate<Box>;

}  // namespace ui
