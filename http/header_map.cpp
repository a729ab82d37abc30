#include "http/header_map.h"

namespace winhttpx {
namespace {
// Header names are ASCII tokens; only A-Z need folding.
wchar_t Lower(wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + 32) : c; }
}  // namespace

bool HeaderNameLess::operator()(const std::wstring& a, const std::wstring& b) const {
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    const wchar_t x = Lower(a[i]);
    const wchar_t y = Lower(b[i]);
    if (x != y) return x < y;
  }
  return a.size() < b.size();
}

const std::wstring* FindHeader(const HeaderMap& headers, const std::wstring& name) {
  const auto it = headers.find(name);  // multimap::find may return any of equals
  if (it == headers.end()) return nullptr;
  return &headers.lower_bound(name)->second;
}

void SetHeader(HeaderMap& headers, const std::wstring& name, const std::wstring& value) {
  const auto it = headers.lower_bound(name);
  const auto upper = headers.upper_bound(name);
  if (it != upper) headers.erase(it);
  headers.emplace(name, value);
}

}  // namespace winhttpx
