// ButtonTemplate: a label that clicks. A press and a release inside the
// control (or Space or Return while it takes the keyboard) invokes it, which
// sends the click event (kEventClick) to its own handlers; unhandled clicks
// climb through the ancestors' bubbled handlers. Children whose mouse input is
// off pass their mouse events up, so a ButtonBox acts as one button.
//
// Owned like its base; UI thread only.
#pragma once

#include "ui/control/label.h"

namespace ui {

template <typename B>
class ButtonTemplate : public LabelTemplate<B> {
 public:
  // Sends the click event when the button is visible, enabled and in a
  // window.
  void Invoke() override;
  void HandleMessage(EventArgs& args) override;
  bool AllowsTabStop() const override { return true; }

 protected:
  AccessibleRole DefaultAccessibleRole() const override { return AccessibleRole::kPushButton; }
};

template <typename B>
void ButtonTemplate<B>::Invoke() {
  if (!this->IsInvokable() || this->GetWindow() == nullptr) return;
  this->SendEvent(kEventClick);
}

template <typename B>
void ButtonTemplate<B>::HandleMessage(EventArgs& args) {
  if (!this->IsMouseEnabled() && IsMouseEvent(args.type)) {
    if (this->GetParent() != nullptr) this->GetParent()->DispatchEvent(args);
    return;
  }
  if (args.type == kEventKeyDown && this->IsKeyboardEnabled() &&
      (args.wparam == VK_SPACE || args.wparam == VK_RETURN)) {
    Invoke();
    return;
  }
  if (args.type == kEventInternalMenu) {
    if (this->IsContextMenuUsed() && this->GetWindow() != nullptr) {
      this->GetWindow()->SendEvent(this, kEventMouseMenu, args.wparam, args.lparam);
    }
    return;
  }
  LabelTemplate<B>::HandleMessage(args);
}

extern template class ButtonTemplate<Control>;
extern template class ButtonTemplate<Box>;

using Button = ButtonTemplate<Control>;
using ButtonBox = ButtonTemplate<Box>;

}  // namespace ui
