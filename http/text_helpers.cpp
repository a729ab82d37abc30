#include "http/text_helpers.h"

namespace winhttpx {

std::wstring TrimBlanks(const std::wstring& text) {
  static const wchar_t kBlanks[] = L" \t\r\n";
  const size_t first = text.find_first_not_of(kBlanks);
  if (first == std::wstring::npos) return std::wstring();
  const size_t last = text.find_last_not_of(kBlanks);
  return text.substr(first, last - first + 1);
}

}  // namespace winhttpx
