// Stand-in for the UI toolkit's global manager in the native harnesses: the
// markup parser only asks it for the resource path, and only when it loads a
// file, which the harnesses never do (the definition aborts).
#pragma once

#include <string>

namespace ui {

class GlobalManager {
 public:
  static const std::wstring& GetResourcePath();
};

}  // namespace ui
