// Robustness harness for the assistant's JSON rules (app/json_value.h) and
// the strict UTF-8 decoder beneath them (base/utf8.h); see fuzz_driver.h for
// how it runs. Per input:
// - nesting deeper than kMaxJsonDepth never parses, nor does a NUL byte;
// - where the library alone can read the text (well-formed UTF-8),
//   ParseJson reads the same value;
// - a parsed value wrapped in an array next to a string holding a byte that
//   is not UTF-8 reads back as that array (the byte shielding must not touch
//   anything else, escaped text included);
// - DumpJson writes one line that parses back to the same value and dumps
//   the same text from then on;
// - member lookups agree with the value, and every string either decodes to
//   UTF-16 that encodes back to the same bytes or is not well-formed UTF-8.
#include <cstring>
#include <string>

#include "app/json_value.h"
#include "base/utf8.h"
#include "tests/fuzz/fuzz_driver.h"
#include "tests/fuzz/lenient_utf8.h"

namespace {

using fuzz::FuzzCheck;

// Greatest nesting of arrays and objects outside strings; exact for every
// well-formed JSON text, which is all that the depth check needs.
size_t NestingDepth(const std::string& text) {
  size_t depth = 0, deepest = 0;
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
      deepest = std::max(deepest, ++depth);
    } else if ((c == ']' || c == '}') && depth > 0) {
      --depth;
    }
  }
  return deepest;
}

// Well-formed UTF-8 after the Unicode standard's table of byte sequences,
// written apart from app/utf8.cpp on purpose.
bool IsWellFormedUtf8(const std::string& text) {
  const unsigned char* s = reinterpret_cast<const unsigned char*>(text.data());
  const size_t n = text.size();
  for (size_t i = 0; i < n;) {
    const unsigned c = s[i];
    size_t length;
    unsigned low = 0x80, high = 0xBF;
    if (c < 0x80) {
      length = 1;
    } else if (c >= 0xC2 && c <= 0xDF) {
      length = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
      length = 3;
      low = c == 0xE0 ? 0xA0 : 0x80;
      high = c == 0xED ? 0x9F : 0xBF;
    } else if (c >= 0xF0 && c <= 0xF4) {
      length = 4;
      low = c == 0xF0 ? 0x90 : 0x80;
      high = c == 0xF4 ? 0x8F : 0xBF;
    } else {
      return false;
    }
    if (i + length > n) return false;
    if (length > 1 && (s[i + 1] < low || s[i + 1] > high)) return false;
    for (size_t k = 2; k < length; ++k) {
      if (s[i + k] < 0x80 || s[i + k] > 0xBF) return false;
    }
    i += length;
  }
  return true;
}

void CheckString(const std::string& text) {
  const std::wstring wide = cbase::Utf8ToUtf16(text);
  if (wide.empty()) {
    FuzzCheck(text.empty() || !IsWellFormedUtf8(text), "Utf8ToUtf16 refused well-formed text");
  } else {
    FuzzCheck(IsWellFormedUtf8(text), "Utf8ToUtf16 accepted text that is not UTF-8");
    bool malformed = false;
    const std::string back = fuzz::EncodeUtf8(wide, &malformed);
    FuzzCheck(!malformed, "Utf8ToUtf16 left a lone surrogate");
    FuzzCheck(back == text, "Utf8ToUtf16 changed the text");
  }
}

// Lookups and strings of every value inside |value| (at most kMaxJsonDepth
// deep, so the recursion is bounded).
void CheckMembers(const Json& value) {
  FuzzCheck(JsonMember(value, "").is_null() || value.is_object(), "a member of a non-object");
  if (value.is_string()) {
    CheckString(value.get_ref<const std::string&>());
  } else if (value.is_array()) {
    FuzzCheck(JsonString(value, "0").empty(), "a string member of an array");
    for (const Json& item : value) CheckMembers(item);
  } else if (value.is_object()) {
    for (auto it = value.begin(); it != value.end(); ++it) {
      CheckString(it.key());
      FuzzCheck(&JsonMember(value, it.key()) == &it.value(), "JsonMember missed a member");
      FuzzCheck(JsonString(value, it.key()) ==
                    (it.value().is_string() ? it.value().get<std::string>() : std::string()),
                "JsonString disagrees with the member");
      CheckMembers(it.value());
    }
    FuzzCheck(JsonMember(value, "\x01missing").is_null() || value.contains("\x01missing"),
              "a missing member is not null");
  }
}

void CheckDump(const Json& value) {
  const std::string dumped = DumpJson(value);
  FuzzCheck(dumped.find_first_of("\r\n") == std::string::npos, "DumpJson wrote more than a line");
  const Json again = ParseJson(dumped);
  FuzzCheck(again == value, "DumpJson does not parse back to the same value");
  // A float may come back as an integer ("-0", "1") once; from then on the
  // text stays the same.
  const std::string redumped = DumpJson(again);
  FuzzCheck(DumpJson(ParseJson(redumped)) == redumped, "DumpJson is not stable");
}

std::string Nested(size_t depth, const std::string& middle) {
  std::string text;
  for (size_t i = 0; i < depth; ++i) text += i % 2 ? "[" : "{\"a\": ";
  text += middle;
  for (size_t i = depth; i-- > 0;) text += i % 2 ? "]" : "}";
  return text;
}

// The limit itself, whatever the seeds hold.
void CheckLimitOnce() {
  static bool checked = false;
  if (checked) return;
  checked = true;
  const Json deepest = ParseJson(Nested(kMaxJsonDepth, "\"\xff\""));
  FuzzCheck(deepest.is_object(), "a value nested kMaxJsonDepth deep does not parse");
  CheckDump(deepest);
  FuzzCheck(ParseJson(Nested(kMaxJsonDepth + 1, "1")).is_null(),
            "a value nested past kMaxJsonDepth parses");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CheckLimitOnce();
  const std::string text(reinterpret_cast<const char*>(data), size);
  const Json value = ParseJson(text);
  const size_t depth = NestingDepth(text);
  if (depth > kMaxJsonDepth) {
    FuzzCheck(value.is_null(), "a text nested past kMaxJsonDepth parses");
    return 0;
  }

  // The library takes a NUL byte for the end of the text.
  if (text.find('\0') != std::string::npos) {
    FuzzCheck(value.is_null(), "a text with a NUL byte parses");
  } else if (IsWellFormedUtf8(text)) {
    const Json plain = Json::parse(text, nullptr, /*allow_exceptions=*/false);
    if (!plain.is_discarded()) FuzzCheck(value == plain, "ParseJson differs from the library");
  }

  // The wrapped text would be one level deeper and loses a leading
  // byte-order mark, which is only allowed at the start.
  std::string body = text;
  if (body.compare(0, 3, "\xEF\xBB\xBF") == 0) body.erase(0, 3);
  const bool parsed = !value.is_null() || ParseJson("[" + body + "]") == Json::array({nullptr});
  if (parsed && depth < kMaxJsonDepth) {
    const Json wrapped = ParseJson("[" + body + ", \"\xff\"]");
    FuzzCheck(wrapped == Json::array({value, "\xff"}),
              "a byte that is not UTF-8 changes the rest of the value");
  }

  CheckMembers(value);
  CheckDump(value);
  return 0;
}
