// ChildBox: a box whose content comes from a layout file of its own
// ("xmlfile", a path under the resource path). The file is parsed once per
// process and kept by the GlobalManager's layout cache, so many child boxes
// showing the same layout build it from the parsed document again.
//
// Owned like any box; UI thread only.
#pragma once

#include <string>

#include "ui/control/box.h"

namespace ui {

class ChildBox : public Box {
 public:
  ChildBox();

  const std::wstring& GetChildLayoutFile() const { return layout_file_; }
  // Builds the layout's first control and adds it as this box's child; a box
  // that already holds its layout keeps it. Elements the toolkit does not
  // know are made by the window's own create-control hook when the box
  // already belongs to a window that has one.
  bool SetChildLayoutFile(const std::wstring& path);

  // "xmlfile"; the rest goes to Box.
  void SetAttribute(const std::wstring& name, const std::wstring& value) override;

 private:
  std::wstring layout_file_;
  bool loaded_ = false;
};

}  // namespace ui
