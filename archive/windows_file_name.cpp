#include "archive/windows_file_name.h"

#include <initializer_list>

namespace archive {

namespace {

bool IsForbidden(char16_t c) {
  return c < 0x20 || c == u'<' || c == u'>' || c == u':' || c == u'"' || c == u'/' || c == u'\\' ||
         c == u'|' || c == u'?' || c == u'*';
}

char16_t AsciiUpper(char16_t c) {
  return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

// `text` equals the ASCII upper-case `name` with ASCII letters folded.
bool EqualsFolding(std::u16string_view text, const char* name) {
  size_t i = 0;
  for (; name[i]; ++i) {
    if (i == text.size() || AsciiUpper(text[i]) != static_cast<char16_t>(name[i])) return false;
  }
  return i == text.size();
}

// The digits Windows accepts after COM and LPT: its device table lists the
// superscripts one to three beside 0-9.
bool IsPortDigit(char16_t c) {
  return (c >= u'0' && c <= u'9') || c == 0x00B9 || c == 0x00B2 || c == 0x00B3;
}

bool IsDeviceName(std::u16string_view segment) {
  // The part before the first dot decides, without the blanks Windows drops
  // before an extension: "nul .txt" and "COM1.tar.gz" are devices too.
  std::u16string_view base = segment.substr(0, segment.find(u'.'));
  while (!base.empty() && base.back() == u' ') base.remove_suffix(1);
  for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
    if (EqualsFolding(base, device)) return true;
  }
  return base.size() == 4 &&
         (EqualsFolding(base.substr(0, 3), "COM") || EqualsFolding(base.substr(0, 3), "LPT")) &&
         IsPortDigit(base[3]);
}

}  // namespace

bool IsValidWindowsFileName(std::u16string_view segment) {
  for (char16_t c : segment) {
    if (IsForbidden(c)) return false;
  }
  // Windows drops trailing dots and blanks: with nothing else left the name
  // would mean the folder itself or its parent.
  if (segment.find_last_not_of(u". ") == std::u16string_view::npos) return false;
  return !IsDeviceName(segment);
}

}  // namespace archive
