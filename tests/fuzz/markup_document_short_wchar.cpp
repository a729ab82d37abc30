// The markup parser (ui/core/markup_document.cpp) for the native harness,
// which is built with -fshort-wchar: wchar_t is 16 bits wide there as on
// Windows, so the parser's SSE2 scans run as they do in the product. The C
// library's wide-string functions count 32-bit characters, though, so the
// parser's three calls go to 16-bit versions defined here. Loading a file
// needs the system and the 32-bit std::wstring of the library; the harness
// never does it and the stand-ins below abort.
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <string>

// Declared in std because the parser calls them as std::wcslen and so on;
// only this file sees them.
namespace std {

inline size_t markup_wcslen(const wchar_t* s) {
  size_t n = 0;
  while (s[n] != 0) ++n;
  return n;
}

inline int markup_wcsncmp(const wchar_t* a, const wchar_t* b, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
    if (a[i] == 0) return 0;
  }
  return 0;
}

inline int markup_wcscmp(const wchar_t* a, const wchar_t* b) {
  return markup_wcsncmp(a, b, static_cast<size_t>(-1));
}

}  // namespace std

#define wcslen markup_wcslen
#define wcscmp markup_wcscmp
#define wcsncmp markup_wcsncmp
#include "ui/core/markup_document.cpp"  // NOLINT(bugprone-suspicious-include)
#undef wcslen
#undef wcscmp
#undef wcsncmp

namespace ui {

const std::wstring& GlobalManager::GetResourcePath() { std::abort(); }

bool IsAbsolutePath(const std::wstring&) { std::abort(); }

}  // namespace ui
