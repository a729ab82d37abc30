#include "bench/ui/first_frame_floor.h"

#include <gdiplus.h>

#include <algorithm>
#include <map>
#include <memory>
#include <utility>

#include "ui/control/box.h"
#include "ui/control/control.h"
#include "ui/control/label.h"
#include "ui/control/rich_edit.h"
#include "ui/core/global_manager.h"
#include "ui/core/window.h"

namespace {

bool Empty(const RECT& rc) { return rc.right <= rc.left || rc.bottom <= rc.top; }

template <typename L>
bool ReadLabel(ui::Control* control, std::wstring* text, std::wstring* font, RECT* box,
               bool* single_line, std::wstring* color) {
  auto* label = dynamic_cast<L*>(control);
  if (label == nullptr) return false;
  *text = label->GetText();
  *font = label->GetFont();
  const RECT& rect = label->GetRect();
  const RECT& padding = label->GetTextPadding();
  *box = RECT{rect.left + padding.left, rect.top + padding.top, rect.right - padding.right,
              rect.bottom - padding.bottom};
  *single_line = label->IsSingleLine();
  *color = label->GetStateTextColor(ui::kControlStateNormal);
  return true;
}

}  // namespace

FirstFrameFloor::FirstFrameFloor(ui::Window& window) {
  // Depth first over the visible controls, without recursion.
  std::vector<ui::Control*> pending;
  if (window.GetRoot() != nullptr) pending.push_back(window.GetRoot());
  while (!pending.empty()) {
    ui::Control* control = pending.back();
    pending.pop_back();
    if (!control->IsVisible() || Empty(control->GetRect())) continue;
    if (dynamic_cast<ui::RichEdit*>(control) != nullptr) ++rich_edits_;
    std::wstring text, font, color;
    RECT box;
    bool single_line = true;
    if ((ReadLabel<ui::Label>(control, &text, &font, &box, &single_line, &color) ||
         ReadLabel<ui::LabelBox>(control, &text, &font, &box, &single_line, &color)) &&
        !text.empty() && !Empty(box)) {
      Text item{text,
                {},
                box,
                single_line,
                color.empty() ? 0xFF000000 : ui::GlobalManager::GetTextColor(color)};
      ::GetObjectW(ui::GlobalManager::GetFont(font), sizeof(item.font), &item.font);
      texts_.push_back(std::move(item));
    }
    if (auto* box_control = dynamic_cast<ui::Box*>(control)) {
      const auto& children = box_control->children();
      for (auto it = children.rbegin(); it != children.rend(); ++it) pending.push_back(*it);
    }
  }
}

void FirstFrameFloor::Make() {
  if (rich_edits_ > 0) rich_edit_ = ::LoadLibraryW(L"msftedit.dll");
}

void FirstFrameFloor::Unmake() {
  if (rich_edit_ != nullptr) ::FreeLibrary(rich_edit_);
  rich_edit_ = nullptr;
}

void FirstFrameFloor::Paint(HDC dc) const {
  Gdiplus::Graphics graphics(dc);
  // Each font is made once per frame, as a window keeps its fonts.
  std::map<std::wstring, std::unique_ptr<Gdiplus::Font>> fonts;
  for (const Text& text : texts_) {
    const std::wstring key(reinterpret_cast<const wchar_t*>(&text.font),
                           sizeof(text.font) / sizeof(wchar_t));
    std::unique_ptr<Gdiplus::Font>& font = fonts[key];
    if (!font) font = std::make_unique<Gdiplus::Font>(dc, &text.font);
    // As the window draws text: typographic layout, never fully opaque (which
    // keeps GDI+ to grey-scale anti-aliasing).
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
