// HeaderMap: HTTP header fields as an ordered multimap from name to value.
// Names keep the case they arrived or were given in, and are ordered and
// looked up case-insensitively; a repeated name keeps every value, in arrival
// order. A plain value type: whoever holds one owns it, no locking inside.
#pragma once

#include <map>
#include <string>

namespace winhttpx {

// Orders header names by their characters lower-cased one by one.
struct HeaderNameLess {
  bool operator()(const std::wstring& a, const std::wstring& b) const;
};

using HeaderMap = std::multimap<std::wstring, std::wstring, HeaderNameLess>;

// The first value stored under name (any case), or nullptr.
const std::wstring* FindHeader(const HeaderMap& headers, const std::wstring& name);

// Replaces the first entry named name (any case) by (name, value), or adds it.
void SetHeader(HeaderMap& headers, const std::wstring& name, const std::wstring& value);

}  // namespace winhttpx
