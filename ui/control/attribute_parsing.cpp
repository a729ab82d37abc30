#include "ui/control/attribute_parsing.h"

#include <cwchar>

namespace ui {

int ParseInt(const wchar_t* text, const wchar_t** end) {
  wchar_t* stop = nullptr;
  const long value = std::wcstol(text, &stop, 10);
  if (end != nullptr) *end = stop;
  return static_cast<int>(value);
}

int ParseIntOr(const std::wstring& value, int fallback) {
  const wchar_t* end = nullptr;
  const int number = ParseInt(value.c_str(), &end);
  return end == value.c_str() ? fallback : number;
}

namespace {

// Reads |count| integers separated by one character each into |out|.
void ParseIntegers(const std::wstring& value, int* out, int count) {
  const wchar_t* p = value.c_str();
  for (int i = 0; i < count; ++i) {
    const wchar_t* stop = p;
    out[i] = ParseInt(p, &stop);
    // One separator of any kind, but never past the end of the text.
    p = *stop != L'\0' ? stop + 1 : stop;
  }
}

}  // namespace

RECT ParseRect(const std::wstring& value) {
  int v[4];
  ParseIntegers(value, v, 4);
  return RECT{v[0], v[1], v[2], v[3]};
}

SIZE ParseSize(const std::wstring& value) {
  int v[2];
  ParseIntegers(value, v, 2);
  return SIZE{v[0], v[1]};
}

POINT ParsePoint(const std::wstring& value) {
  int v[2];
  ParseIntegers(value, v, 2);
  return POINT{v[0], v[1]};
}

std::vector<std::wstring> SplitBySpaces(const std::wstring& text) {
  std::vector<std::wstring> names;
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t start = text.find_first_not_of(L' ', pos);
    if (start == std::wstring::npos) break;
    size_t stop = text.find(L' ', start);
    if (stop == std::wstring::npos) stop = text.size();
    names.push_back(text.substr(start, stop - start));
    pos = stop;
  }
  return names;
}

void ForEachAttribute(const std::wstring& list,
                      const std::function<void(const std::wstring&, const std::wstring&)>& apply) {
  const wchar_t* p = list.c_str();
  while (*p != L'\0') {
    // A name never starts with a blank: two spaces between pairs end the list.
    if (*p == L' ') return;
    const wchar_t* name_start = p;
    while (*p != L'\0' && *p != L'=') ++p;
    if (*p != L'=') return;
    std::wstring name(name_start, p);
    ++p;
    if (*p != L'"') return;
    ++p;
    const wchar_t* value_start = p;
    while (*p != L'\0' && *p != L'"') ++p;
    if (*p != L'"') return;
    std::wstring value(value_start, p);
    ++p;
    apply(name, value);
    if (*p != L' ') return;
    ++p;
  }
}

std::wstring TrimLeadingBlanks(const std::wstring& value) {
  size_t i = 0;
  while (i < value.size() && value[i] <= L' ') ++i;
  return value.substr(i);
}

}  // namespace ui
