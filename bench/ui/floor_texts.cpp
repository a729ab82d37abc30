#include "bench/ui/floor_texts.h"

#include <gdiplus.h>

#include <algorithm>
#include <map>
#include <memory>

void DrawFloorTexts(HDC dc, const std::vector<FloorText>& texts) {
  Gdiplus::Graphics graphics(dc);
  std::map<std::wstring, std::unique_ptr<Gdiplus::Font>> fonts;
  for (const FloorText& text : texts) {
    const std::wstring key(reinterpret_cast<const wchar_t*>(&text.font),
                           sizeof(text.font) / sizeof(wchar_t));
    std::unique_ptr<Gdiplus::Font>& font = fonts[key];
    if (!font) font = std::make_unique<Gdiplus::Font>(dc, &text.font);
    Gdiplus::StringFormat format(Gdiplus::StringFormat::GenericTypographic());
    if (text.single_line) format.SetFormatFlags(Gdiplus::StringFormatFlagsNoWrap);
    const DWORD alpha = (std::min)(text.color >> 24, static_cast<DWORD>(254));
    Gdiplus::SolidBrush brush{Gdiplus::Color((alpha << 24) | (text.color & 0xFFFFFF))};
    const Gdiplus::RectF box(static_cast<Gdiplus::REAL>(text.box.left),
                             static_cast<Gdiplus::REAL>(text.box.top),
                             static_cast<Gdiplus::REAL>(text.box.right - text.box.left),
                             static_cast<Gdiplus::REAL>(text.box.bottom - text.box.top));
    graphics.DrawString(text.text.c_str(), static_cast<INT>(text.text.size()), font.get(), box,
                        &format, &brush);
  }
}
