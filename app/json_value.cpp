#include "app/json_value.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "base/utf8.h"

namespace {

// nlohmann's parser refuses strings that are not valid UTF-8, where the
// program wants them parsed and the bad value rejected on its own. Every byte
// that is not part of a well-formed sequence is therefore carried through the
// parser as one of the private-use code points U+10FF80..U+10FFFF (byte b as
// U+10FF00 + b) and put back afterwards. Genuine occurrences of those code
// points are carried the same way, byte by byte, so the round trip is exact.
constexpr unsigned char kMarkerLead[] = {0xF4, 0x8F};

void AppendMarker(std::string& out, unsigned char byte) {
  out.push_back(static_cast<char>(kMarkerLead[0]));
  out.push_back(static_cast<char>(kMarkerLead[1]));
  out.push_back(static_cast<char>(0xBC + (byte >> 6)));
  out.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
}

bool IsMarker(const unsigned char* p, size_t available) {
  return available >= 4 && p[0] == kMarkerLead[0] && p[1] == kMarkerLead[1] &&
         (p[2] == 0xBE || p[2] == 0xBF) && p[3] >= 0x80 && p[3] <= 0xBF;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The code point of the escaped surrogate pair "\uXXXX\uXXXX" at |at|, or 0.
uint32_t EscapedPair(const std::string& text, size_t at) {
  if (at + 12 > text.size()) return 0;
  uint32_t units[2] = {0, 0};
  for (int k = 0; k < 2; ++k) {
    const size_t start = at + 6 * k;
    if (text[start] != '\\' || text[start + 1] != 'u') return 0;
    for (size_t d = start + 2; d < start + 6; ++d) {
      const int digit = HexValue(text[d]);
      if (digit < 0) return 0;
      units[k] = units[k] * 16 + static_cast<uint32_t>(digit);
    }
  }
  if (units[0] < 0xD800 || units[0] > 0xDBFF || units[1] < 0xDC00 || units[1] > 0xDFFF) return 0;
  return 0x10000 + ((units[0] - 0xD800) << 10) + (units[1] - 0xDC00);
}

// Answers whether anything had to be shielded.
bool Shield(const std::string& text, std::string& out) {
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text.data());
  const size_t size = text.size();
  bool shielded = false;
  size_t i = 0;
  while (i < size) {
    if (bytes[i] < 0x80) {
      ++i;
      continue;
    }
    uint32_t code_point = 0;
    const size_t length = cbase::DecodeUtf8Sequence(bytes + i, size - i, &code_point);
    if (length != 0 && code_point < 0x10FF80) {
      i += length;
      continue;
    }
    shielded = true;
    break;
  }
  if (!shielded) return false;
  // Again from the start: escapes before the first carried byte count too.
  out.clear();
  out.reserve(size + size / 4);
  i = 0;
  while (i < size) {
    if (bytes[i] == '\\') {
      // An escaped pair naming one of the carrier code points would come out
      // of the parser looking like a carried byte; it is carried as the bytes
      // of its UTF-8 form instead. Any other escape is copied whole, so an
      // escaped backslash cannot start a pair.
      const uint32_t code_point = EscapedPair(text, i);
      if (code_point >= 0x10FF80) {
        AppendMarker(out, 0xF4);
        AppendMarker(out, 0x8F);
        AppendMarker(out, static_cast<unsigned char>(0x80 | ((code_point >> 6) & 0x3F)));
        AppendMarker(out, static_cast<unsigned char>(0x80 | (code_point & 0x3F)));
        i += 12;
      } else {
        out.push_back('\\');
        ++i;
        if (i < size && bytes[i] < 0x80) out.push_back(static_cast<char>(bytes[i++]));
      }
      continue;
    }
    if (bytes[i] < 0x80) {
      out.push_back(static_cast<char>(bytes[i++]));
      continue;
    }
    uint32_t code_point = 0;
    const size_t length = cbase::DecodeUtf8Sequence(bytes + i, size - i, &code_point);
    if (length != 0 && code_point < 0x10FF80) {
      out.append(text, i, length);
      i += length;
    } else {
      const size_t count = length != 0 ? length : 1;
      for (size_t k = 0; k < count; ++k) AppendMarker(out, bytes[i + k]);
      i += count;
    }
  }
  return true;
}

std::string Unshield(const std::string& text) {
  if (text.find("\xF4\x8F") == std::string::npos) return text;
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text.data());
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    if (IsMarker(bytes + i, text.size() - i)) {
      out.push_back(static_cast<char>(((bytes[i + 2] - 0xBC) << 6) | (bytes[i + 3] & 0x3F)));
      i += 4;
    } else {
      out.push_back(text[i++]);
    }
  }
  return out;
}

void UnshieldValue(Json& value) {
  if (value.is_string()) {
    value = Unshield(value.get_ref<const std::string&>());
  } else if (value.is_array()) {
    for (Json& item : value) UnshieldValue(item);
  } else if (value.is_object()) {
    Json rebuilt = Json::object();
    for (auto& member : value.items()) {
      UnshieldValue(member.value());
      rebuilt[Unshield(member.key())] = std::move(member.value());
    }
    value = std::move(rebuilt);
  }
}

void DumpString(const std::string& text, std::string& out) {
  out += '"';
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '"':
        out += "\\\"";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c <= 0x1F) {
          char escaped[8];
          std::snprintf(escaped, sizeof(escaped), "\\u%04x", c);
          out += escaped;
        } else if (c == 0xE2 && i + 2 < text.size() &&
                   static_cast<unsigned char>(text[i + 1]) == 0x80 &&
                   (static_cast<unsigned char>(text[i + 2]) == 0xA8 ||
                    static_cast<unsigned char>(text[i + 2]) == 0xA9)) {
          // Line and paragraph separators break JavaScript string literals.
          out += static_cast<unsigned char>(text[i + 2]) == 0xA8 ? "\\u2028" : "\\u2029";
          i += 2;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  out += '"';
}

void Dump(const Json& value, std::string& out) {
  switch (value.type()) {
    case Json::value_t::null:
    case Json::value_t::discarded:
      out += "null";
      break;
    case Json::value_t::boolean:
      out += value.get<bool>() ? "true" : "false";
      break;
    case Json::value_t::number_integer:
      out += std::to_string(value.get<int64_t>());
      break;
    case Json::value_t::number_unsigned:
      out += std::to_string(value.get<uint64_t>());
      break;
    case Json::value_t::number_float: {
      const double number = value.get<double>();
      if (!std::isfinite(number)) {
        out += "null";
      } else {
        // The shortest of 15 to 17 digits that reads back as the same
        // number: 0.1 stays "0.1", a rounded 1.234 seconds "1.234".
        char text[32];
        for (int digits = 15; digits <= 17; ++digits) {
          std::snprintf(text, sizeof(text), "%.*g", digits, number);
          if (std::strtod(text, nullptr) == number) break;
        }
        out += text;
      }
      break;
    }
    case Json::value_t::string:
      DumpString(value.get_ref<const std::string&>(), out);
      break;
    case Json::value_t::array: {
      out += '[';
      bool first = true;
      for (const Json& item : value) {
        if (!first) out += ", ";
        first = false;
        Dump(item, out);
      }
      out += ']';
      break;
    }
    case Json::value_t::object: {
      // The object's map keeps its members in key order.
      out += '{';
      bool first = true;
      for (auto it = value.begin(); it != value.end(); ++it) {
        if (!first) out += ", ";
        first = false;
        DumpString(it.key(), out);
        out += ": ";
        Dump(it.value(), out);
      }
      out += '}';
      break;
    }
    case Json::value_t::binary:
      out += "null";
      break;
  }
}

// Whether the arrays and objects of |text| nest deeper than kMaxJsonDepth.
// Brackets inside strings do not count; the text need not be valid JSON.
bool NestsTooDeep(const std::string& text) {
  size_t depth = 0;
  bool in_string = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (in_string) {
      if (c == '\\') {
        ++i;
      } else if (c == '"') {
        in_string = false;
      }
    } else if (c == '"') {
      in_string = true;
    } else if (c == '[' || c == '{') {
      if (++depth > kMaxJsonDepth) return true;
    } else if ((c == ']' || c == '}') && depth > 0) {
      --depth;
    }
  }
  return false;
}

}  // namespace

Json ParseJson(const std::string& text) {
  // The library reads a NUL byte as the end of the text; JSON has no place
  // for one, so whatever follows it must not be ignored.
  if (text.find('\0') != std::string::npos || NestsTooDeep(text)) return Json();
  std::string shielded;
  const bool has_markers = Shield(text, shielded);
  Json value = Json::parse(has_markers ? shielded : text, nullptr, /*allow_exceptions=*/false);
  if (value.is_discarded()) return Json();
  if (has_markers) UnshieldValue(value);
  return value;
}

const Json& JsonMember(const Json& object, const std::string& key) {
  static const Json kNull;
  if (!object.is_object()) return kNull;
  const auto it = object.find(key);
  return it == object.end() ? kNull : *it;
}

std::string JsonString(const Json& object, const std::string& key) {
  const Json& member = JsonMember(object, key);
  return member.is_string() ? member.get<std::string>() : std::string();
}

std::string DumpJson(const Json& value) {
  std::string out;
  Dump(value, out);
  return out;
}
