// OptionTemplate: a check box in a group of mutually exclusive options.
// Clicking an option sends a click and selects it (it is never cleared by a
// click); selecting it clears every other option of the same group name in
// its window. The window keeps the groups.
//
// Owned like its base; UI thread only.
#pragma once

#include <algorithm>

#include "ui/control/check_box.h"

namespace ui {

template <typename B>
class OptionTemplate : public CheckBoxTemplate<B> {
 public:
  const std::wstring& GetGroup() const { return group_; }
  // Moves the option to another group and applies its selection there (a
  // selected option clears the others of its new group).
  void SetGroup(const std::wstring& group);

  // Stores the value. Selecting clears the rest of the group (with the same
  // |send_events|) and, with |send_events|, sends "select"; clearing always
  // sends "unselect". Both only within a window.
  void SetSelected(bool selected, bool send_events = false) override;
  void Invoke() override;
  void SetWindow(Window* window, Box* parent, bool init = true) override;
  void SetAttribute(const std::wstring& name, const std::wstring& value) override;

 protected:
  AccessibleRole DefaultAccessibleRole() const override { return AccessibleRole::kRadioButton; }

 private:
  std::wstring group_;
};

template <typename B>
void OptionTemplate<B>::SetGroup(const std::wstring& group) {
  if (group_ == group) return;
  Window* window = this->GetWindow();
  if (window != nullptr && !group_.empty()) window->RemoveFromGroup(group_, this);
  group_ = group;
  if (window != nullptr && !group_.empty()) window->AddToGroup(group_, this);
  SetSelected(this->IsSelected(), true);
}

template <typename B>
void OptionTemplate<B>::SetSelected(bool selected, bool send_events) {
  this->StoreSelected(selected);
  Window* window = this->GetWindow();
  if (window != nullptr) {
    const std::weak_ptr<cbase::WeakFlag> alive = this->GetWeakFlag();
    if (selected) {
      if (!group_.empty()) {
        for (Control* member : window->GetGroup(group_)) {
          if (member == this) continue;
          // A handler may have taken a member out of the group (or deleted
          // it) meanwhile.
          const std::vector<Control*> now = window->GetGroup(group_);
          if (std::find(now.begin(), now.end(), member) == now.end()) continue;
          if (Selectable* option = dynamic_cast<Selectable*>(member)) {
            option->SetSelected(false, send_events);
            if (alive.expired()) return;
          }
        }
      }
      if (send_events) window->SendEvent(this, kEventSelect);
    } else {
      window->SendEvent(this, kEventUnSelect);
    }
    if (alive.expired()) return;
  }
  this->Invalidate();
}

template <typename B>
void OptionTemplate<B>::Invoke() {
  if (!this->IsInvokable()) return;
  const std::weak_ptr<cbase::WeakFlag> alive = this->GetWeakFlag();
  ButtonTemplate<B>::Invoke();
  if (alive.expired()) return;
  SetSelected(true, true);
}

template <typename B>
void OptionTemplate<B>::SetWindow(Window* window, Box* parent, bool init) {
  CheckBoxTemplate<B>::SetWindow(window, parent, init);
  if (init && window != nullptr && !group_.empty()) window->AddToGroup(group_, this);
}

template <typename B>
void OptionTemplate<B>::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"group") {
    SetGroup(value);
  } else {
    CheckBoxTemplate<B>::SetAttribute(name, value);
  }
}

extern template class OptionTemplate<Control>;
extern template class OptionTemplate<Box>;

using Option = OptionTemplate<Control>;
using OptionBox = OptionTemplate<Box>;

}  // namespace ui
