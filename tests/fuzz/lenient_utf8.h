// Harness input as UTF-16 text: UTF-8 read leniently, so that seeds stay
// readable and every unit is still reachable. A well-formed sequence gives
// its code point (a surrogate pair above U+FFFF), an encoded surrogate gives
// that unit alone, and any other byte the unit of the same value. Every unit
// is within 0..0xFFFF, also where the string's characters are wider.
#pragma once

#include <cstddef>
#include <cstdint>

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

}  // namespace fuzz
