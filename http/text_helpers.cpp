#include "http/text_helpers.h"

#include <windows.h>

namespace winhttpx {

std::string Utf16ToUtf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  const int wide_length = static_cast<int>(text.size());
  const int size =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), wide_length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return std::string();
  std::string result(static_cast<size_t>(size), '\0');
  const int written =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), wide_length, &result[0], size, nullptr, nullptr);
  if (written <= 0) return std::string();
  result.resize(static_cast<size_t>(written));
  return result;
}

std::wstring TrimBlanks(const std::wstring& text) {
  static const wchar_t kBlanks[] = L" \t\r\n";
  const size_t first = text.find_first_not_of(kBlanks);
  if (first == std::wstring::npos) return std::wstring();
  const size_t last = text.find_last_not_of(kBlanks);
  return text.substr(first, last - first + 1);
}

}  // namespace winhttpx
