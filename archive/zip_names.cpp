#include "archive/zip_names.h"

#include <algorithm>
#include <cstdint>

#include "archive/windows_file_name.h"

namespace archive {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

// Length of the valid UTF-8 sequence at s[0..n), with its code point, or 0.
size_t DecodeOne(const uint8_t* s, size_t n, char32_t* cp) {
  uint8_t b0 = s[0];
  if (b0 < 0x80) {
    *cp = b0;
    return 1;
  }
  size_t len;
  char32_t value;
  uint8_t lo = 0x80, hi = 0xBF;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    len = 2;
    value = b0 & 0x1F;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    len = 3;
    value = b0 & 0x0F;
    if (b0 == 0xE0) lo = 0xA0;
    if (b0 == 0xED) hi = 0x9F;  // no surrogates
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    len = 4;
    value = b0 & 0x07;
    if (b0 == 0xF0) lo = 0x90;
    if (b0 == 0xF4) hi = 0x8F;
  } else {
    return 0;
  }
  if (n < len) return 0;
  for (size_t i = 1; i < len; ++i) {
    uint8_t b = s[i];
    if (b < (i == 1 ? lo : 0x80) || b > (i == 1 ? hi : 0xBF)) return 0;
    value = (value << 6) | (b & 0x3F);
  }
  *cp = value;
  return len;
}

}  // namespace

std::u16string DecodeEntryName(std::string_view stored) {
  std::u16string out;
  const uint8_t* s = reinterpret_cast<const uint8_t*>(stored.data());
  size_t n = stored.size();
  size_t i = 0;
  while (i < n && s[i] != 0) {
    char32_t cp = kReplacement;
    size_t len = DecodeOne(s + i, n - i, &cp);
    if (len == 0) {
      cp = kReplacement;
      len = 1;
    }
    size_t units = cp >= 0x10000 ? 2 : 1;
    if (out.size() + units > kMaxEntryNameUnits) break;
    if (units == 2) {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
    i += len;
  }
  return out;
}

std::string EncodeUtf8(std::u16string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = kReplacement;
    }
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

std::u16string SanitizeEntryName(std::u16string name) {
  static const char16_t* const kClimbs[] = {u"\\..\\", u"\\../", u"/../", u"/..\\"};
  for (;;) {
    if (name.size() >= 2 && name[1] == u':') {
      name.erase(0, 2);
      continue;
    }
    if (!name.empty() && IsSeparator(name[0])) {
      name.erase(0, 1);
      continue;
    }
    if (name.size() >= 3 && name[0] == u'.' && name[1] == u'.' && IsSeparator(name[2])) {
      name.erase(0, 3);
      continue;
    }
    size_t first = std::u16string::npos;
    for (const char16_t* climb : kClimbs) first = std::min(first, name.find(climb));
    if (first != std::u16string::npos) {
      name.erase(0, first + 4);
      continue;
    }
    return name;
  }
}

bool IsContainedEntryName(std::u16string_view name) {
  bool has_segment = false;
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = start;
    while (end < name.size() && !IsSeparator(name[end])) ++end;
    std::u16string_view segment = name.substr(start, end - start);
    // Empty segments and "." stay where they are; anything else must name
    // exactly itself.
    if (!segment.empty() && segment != u".") {
      if (!IsValidWindowsFileName(segment)) return false;
      has_segment = true;
    }
    start = end + 1;
  }
  return has_segment;
}

bool NameEqualsFoldingAscii(std::string_view stored, std::string_view wanted) {
  if (stored.size() != wanted.size()) return false;
  for (size_t i = 0; i < stored.size(); ++i) {
    char a = stored[i], b = wanted[i];
    if (a >= 'a' && a <= 'z') a = static_cast<char>(a - 'a' + 'A');
    if (b >= 'a' && b <= 'z') b = static_cast<char>(b - 'a' + 'A');
    if (a != b) return false;
  }
  return true;
}

}  // namespace archive
