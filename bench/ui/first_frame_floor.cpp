#include "bench/ui/first_frame_floor.h"

#include <utility>

#include "ui/control/box.h"
#include "ui/control/control.h"
#include "ui/control/label.h"
#include "ui/control/rich_edit.h"
#include "ui/core/global_manager.h"
#include "ui/core/window.h"

namespace {

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
  if (window.IsLayered()) alpha_ = window.GetPresentedAlpha();
  // Depth first over the visible controls, without recursion.
  std::vector<ui::Control*> pending;
  if (window.GetRoot() != nullptr) pending.push_back(window.GetRoot());
  while (!pending.empty()) {
    ui::Control* control = pending.back();
    pending.pop_back();
    if (!control->IsVisible() || ::IsRectEmpty(&control->GetRect())) continue;
    if (dynamic_cast<ui::RichEdit*>(control) != nullptr) ++rich_edits_;
    std::wstring text, font, color;
    RECT box;
    bool single_line = true;
    if ((ReadLabel<ui::Label>(control, &text, &font, &box, &single_line, &color) ||
         ReadLabel<ui::LabelBox>(control, &text, &font, &box, &single_line, &color)) &&
        !text.empty() && !::IsRectEmpty(&box)) {
      FloorText item{text,
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

void FirstFrameFloor::Paint(HDC dc) const { DrawFloorTexts(dc, texts_); }
