#include "ui/control/child_box.h"

#include "ui/core/global_manager.h"
#include "ui/core/window.h"

namespace ui {

ChildBox::ChildBox() = default;

bool ChildBox::SetChildLayoutFile(const std::wstring& path) {
  if (loaded_ || path.empty()) return false;
  layout_file_ = path;
  CreateControlCallback callback;
  if (Window* window = GetWindow()) callback = window->GetCreateControlCallback();
  Control* content = GlobalManager::CreateBoxWithCache(path, callback);
  if (content == nullptr) return false;
  loaded_ = true;
  return Add(content);
}

void ChildBox::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"xmlfile") {
    SetChildLayoutFile(value);
  } else {
    Box::SetAttribute(name, value);
  }
}

}  // namespace ui
