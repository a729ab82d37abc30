#include "app/qr_code_ctrl.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "base/scoped_gdi_object.h"
#include "base/utf8.h"
#include "ui/control/attribute_parsing.h"
#include "ui/core/global_manager.h"
#include "ui/render/render.h"

namespace {

const qrcodegen_Ecc kLevels[] = {qrcodegen_Ecc_LOW, qrcodegen_Ecc_MEDIUM, qrcodegen_Ecc_QUARTILE,
                                 qrcodegen_Ecc_HIGH};

COLORREF ToColorRef(uint32_t argb) {
  return RGB((argb >> 16) & 0xFF, (argb >> 8) & 0xFF, argb & 0xFF);
}

int HexDigit(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  return -1;
}

}  // namespace

QRCodeCtrl::QRCodeCtrl() = default;

uint32_t QRCodeCtrl::ParseColor(const std::wstring& value) {
  size_t at = 0;
  while (at < value.size() && value[at] <= 32) ++at;
  if (at < value.size() && value[at] == L'#') ++at;
  uint64_t color = 0;
  for (; at < value.size() && HexDigit(value[at]) >= 0; ++at) {
    // Too many digits read as the largest value, as the C library does.
    color = std::min<uint64_t>(color * 16 + HexDigit(value[at]), 0xFFFFFFFFu);
  }
  return static_cast<uint32_t>(color);
}

void QRCodeCtrl::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"text") {
    SetQrText(cbase::Utf16ToUtf8(value));
  } else if (name == L"qrcolor") {
    code_color_ = ParseColor(value);
  } else if (name == L"qrbkcolor") {
    background_color_ = ParseColor(value);
  } else if (name == L"errlevel") {
    const int level = ui::ParseInt(value.c_str());
    if (level >= 0 && level <= 3) error_level_ = static_cast<uint32_t>(level);
  } else if (name == L"padding") {
    RECT padding = ui::ParseRect(value);
    ui::GlobalManager::ScaleRect(padding);
    padding_ = padding;
  } else {
    Control::SetAttribute(name, value);
  }
}

bool QRCodeCtrl::SetQrText(const std::string& utf8_text) {
  CBASE_DCHECK_ON_THREAD(thread_checker());
  if (utf8_text.empty()) return false;
  // The library reads C strings: text after an embedded NUL is not part of
  // the symbol, as it would not be for any C caller. It chooses the mode
  // (numeric, alphanumeric or bytes) for the whole text.
  std::vector<uint8_t> symbol(qrcodegen_BUFFER_LEN_MAX);
  std::vector<uint8_t> scratch(qrcodegen_BUFFER_LEN_MAX);
  if (!qrcodegen_encodeText(utf8_text.c_str(), scratch.data(), symbol.data(), kLevels[error_level_],
                            qrcodegen_VERSION_MIN, qrcodegen_VERSION_MAX, qrcodegen_Mask_AUTO,
                            true)) {
    return false;  // longer than any symbol holds
  }
  symbol_ = std::move(symbol);
  // What the symbol holds, as far as it holds it.
  text_ = cbase::Utf8ToUtf16Lenient(utf8_text.c_str());
  NotifyAccessibleEvent(EVENT_OBJECT_DESCRIPTIONCHANGE);
  return true;
}

void QRCodeCtrl::PaintBackgroundImage(ui::IRenderContext* context) {
  const int n = symbol_size();
  if (n == 0 || context == nullptr) return;
  const RECT& rect = GetRect();
  const RECT content = {rect.left + padding_.left, rect.top + padding_.top,
                        rect.right - padding_.right, rect.bottom - padding_.bottom};
  const int width = content.right - content.left;
  const int height = content.bottom - content.top;
  const int side = std::min(width, height);
  if (side <= 0) return;

  HDC target = context->DeviceContext();
  const cbase::ScopedCreatedDC memory(::CreateCompatibleDC(target));
  const cbase::ScopedBitmap bitmap(::CreateCompatibleBitmap(target, n, n));
  if (!memory || !bitmap) return;
  const cbase::ScopedSelectObject select(memory.get(), bitmap.get());
  ::PatBlt(memory.get(), 0, 0, n, n, WHITENESS);
  const COLORREF dark = ToColorRef(code_color_);
  const COLORREF light = ToColorRef(background_color_);
  for (int y = 0; y < n; ++y) {
    for (int x = 0; x < n; ++x) {
      ::SetPixel(memory.get(), x, y, IsDark(x, y) ? dark : light);
    }
  }
  ::StretchBlt(target, content.left + (width - side) / 2, content.top + (height - side) / 2, side,
               side, memory.get(), 0, 0, n, n, SRCCOPY);
}
