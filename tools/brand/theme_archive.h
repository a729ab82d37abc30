// CheckThemeArchive: tells whether a zip is a branding archive the assistant
// can use, before it is written into an executable.
//
// It reads the archive with the assistant's own zip reader (archive/), so an
// archive passes only when the assistant can list it and find its required
// members the same way; each member's directory record and local header are
// read, its data is not inflated. Plain functions, no state: any thread.
#pragma once

#include <string>
#include <vector>

namespace brand {

// Members the assistant cannot start without: its product configuration and
// its global skin definitions. Names are compared with ASCII case folded, as
// the assistant's archive lookup does.
extern const char* const kRequiredThemeMembers[2];

struct ThemeArchiveCheck {
  bool ok = false;
  std::string problem;               // why not, in English, when !ok
  std::vector<std::string> members;  // member names (UTF-8) in directory order
};

ThemeArchiveCheck CheckThemeArchive(const std::string& zip_bytes);

}  // namespace brand
