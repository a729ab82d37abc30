// UTF-8 and UTF-16 for the harnesses, independent of the code under test.
//
// Harness input as UTF-16 text: UTF-8 read leniently, so that seeds stay
// readable and every unit is still reachable. A well-formed sequence gives
// its code point (a surrogate pair above U+FFFF), an encoded surrogate gives
// that unit alone, and any other byte the unit of the same value. Every unit
// is within 0..0xFFFF, also where the string's characters are wider.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzz {

template <typename String>
String DecodeLeniently(const uint8_t* s, size_t n) {
  using Unit = typename String::value_type;
  String out;
  for (size_t i = 0; i < n;) {
    const unsigned c = s[i];
    const size_t length = c < 0x80    ? 1
                          : c >= 0xF8 ? 0
                          : c >= 0xF0 ? 4
                          : c >= 0xE0 ? 3
                          : c >= 0xC0 ? 2
                                      : 0;
    bool ok = length > 0 && i + length <= n;
    uint32_t value = length == 1 ? c : length == 2 ? c & 0x1F : length == 3 ? c & 0x0F : c & 0x07;
    for (size_t k = 1; ok && k < length; ++k) {
      ok = (s[i + k] & 0xC0) == 0x80;
      value = (value << 6) | (s[i + k] & 0x3F);
    }
    if (!ok || value > 0x10FFFF) {
      out += static_cast<Unit>(c);
      ++i;
      continue;
    }
    if (value >= 0x10000) {
      out += static_cast<Unit>(0xD800 + ((value - 0x10000) >> 10));
      out += static_cast<Unit>(0xDC00 + ((value - 0x10000) & 0x3FF));
    } else {
      out += static_cast<Unit>(value);
    }
    i += length;
  }
  return out;
}

// UTF-8 of UTF-16 units held in any string of wide units (a pair stays a
// pair). An unpaired surrogate, or a unit beyond U+10FFFF, becomes U+FFFD and
// sets |*malformed| when given.
template <typename String>
std::string EncodeUtf8(const String& units, bool* malformed = nullptr) {
  std::string out;
  for (size_t i = 0; i < units.size(); ++i) {
    uint32_t c = static_cast<uint32_t>(units[i]);
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
        units[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<uint32_t>(units[++i]) - 0xDC00);
    } else if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) {
      if (malformed) *malformed = true;
      c = 0xFFFD;
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

}  // namespace fuzz
