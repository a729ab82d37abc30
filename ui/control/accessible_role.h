// AccessibleRole: what a screen reader is told a control is. Each control
// class answers its own (Control::GetAccessibleRole); a skin may override it
// with the "accrole" attribute, for example to mark an overlay as a dialog.
// kNone leaves the control out of the accessible tree: layout boxes,
// spacers and decorative pictures, whose exposed descendants then belong to
// the nearest exposed ancestor.
//
// Plain values; any thread.
#pragma once

#include <string>

namespace ui {

enum class AccessibleRole {
  kNone,
  kPushButton,
  kStaticText,
  kEditableText,
  kProgressBar,
  kGraphic,
  kCheckBox,
  kRadioButton,
  kGrouping,
  kDialog,
};

// The "accrole" words: "none", "button", "text", "edit", "progress",
// "graphic", "checkbox", "radio", "group", "dialog". False for any other
// word (|role| is left alone).
bool ParseAccessibleRole(const std::wstring& word, AccessibleRole& role);

// Whether a control of |role| shows its exposed descendants as children;
// leaves (buttons, texts, pictures) speak for everything inside them.
inline bool AccessibleRoleHasChildren(AccessibleRole role) {
  return role == AccessibleRole::kGrouping || role == AccessibleRole::kDialog;
}

}  // namespace ui
