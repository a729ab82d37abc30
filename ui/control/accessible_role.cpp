#include "ui/control/accessible_role.h"

namespace ui {

bool ParseAccessibleRole(const std::wstring& word, AccessibleRole& role) {
  static const struct {
    const wchar_t* word;
    AccessibleRole role;
  } kWords[] = {
      {L"none", AccessibleRole::kNone},
      {L"button", AccessibleRole::kPushButton},
      {L"text", AccessibleRole::kStaticText},
      {L"edit", AccessibleRole::kEditableText},
      {L"progress", AccessibleRole::kProgressBar},
      {L"graphic", AccessibleRole::kGraphic},
      {L"checkbox", AccessibleRole::kCheckBox},
      {L"radio", AccessibleRole::kRadioButton},
      {L"group", AccessibleRole::kGrouping},
      {L"dialog", AccessibleRole::kDialog},
  };
  for (const auto& entry : kWords) {
    if (word == entry.word) {
      role = entry.role;
      return true;
    }
  }
  return false;
}

}  // namespace ui
