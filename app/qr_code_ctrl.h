// QRCodeCtrl: a skin control ("QRCode" elements of the main window's skin)
// that shows its text as a QR symbol, one bitmap pixel per module stretched
// onto the largest square that fits its content area and centred there.
// The symbol itself comes from the qrcodegen library; it has no quiet zone,
// so the control's padding and the background around it provide the margin.
//
// Attributes besides Control's: "text" (the symbol's text; the control's
// ordinary text is left alone), "qrcolor" and "qrbkcolor" (0xAARRGGBB in
// hexadecimal, "#" optional; alpha is not drawn), "errlevel" (0 low to 3
// high, other numbers ignored) and "padding" (left, top, right, bottom).
//
// Owned by its parent box like every control; UI thread only.
#pragma once

#include <windows.h>

#include <cstdint>
#include <qrcodegen/qrcodegen.h>
#include <string>
#include <vector>

#include "ui/control/control.h"

class QRCodeCtrl : public ui::Control {
 public:
  QRCodeCtrl();

  void SetAttribute(const std::wstring& name, const std::wstring& value) override;

  // Encodes |utf8_text| at the control's error-correction level: the
  // library's segment choice, the smallest version that fits, automatic mask
  // and a level raised when that costs no extra version. Empty text, and
  // text that not even a version-40 symbol can hold, keep the previous
  // symbol (answering false). Asks for no repaint.
  bool SetQrText(const std::string& utf8_text);

  // The current symbol: side length in modules (0 before the first text)
  // and whether module (x, y) is dark.
  int symbol_size() const { return symbol_.empty() ? 0 : qrcodegen_getSize(symbol_.data()); }
  bool IsDark(int x, int y) const {
    return !symbol_.empty() && qrcodegen_getModule(symbol_.data(), x, y);
  }

  uint32_t error_level() const { return error_level_; }
  uint32_t code_color() const { return code_color_; }
  uint32_t background_color() const { return background_color_; }
  const RECT& padding() const { return padding_; }

  // Reads a colour value: blanks (codes up to 32) skipped, one "#" skipped,
  // then hexadecimal digits up to the first other character; 0 when none.
  static uint32_t ParseColor(const std::wstring& value);

  // The symbol instead of a background image.
  void PaintBackgroundImage(ui::IRenderContext* context) override;

  // A screen reader hears the symbol's text as its description.
  std::wstring GetAccessibleDescription() const override { return text_; }

 protected:
  ui::AccessibleRole DefaultAccessibleRole() const override { return ui::AccessibleRole::kGraphic; }

 private:
  // The library's encoded symbol; empty before the first text.
  std::vector<uint8_t> symbol_;
  std::wstring text_;
  uint32_t error_level_ = 3;  // high
  uint32_t code_color_ = 0xFF000000;
  uint32_t background_color_ = 0xFFFFFFFF;
  RECT padding_ = {0, 0, 0, 0};
};
