#include "base/utf8.h"

#include <windows.h>

#include <climits>

namespace cbase {
namespace {

// The system conversions count in int.
bool FitsInt(size_t size) { return size <= static_cast<size_t>(INT_MAX); }

std::string FromUtf16(UINT code_page, std::wstring_view text) {
  if (text.empty() || !FitsInt(text.size())) return std::string();
  const int wide_length = static_cast<int>(text.size());
  const int size =
      ::WideCharToMultiByte(code_page, 0, text.data(), wide_length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return std::string();
  std::string result(static_cast<size_t>(size), '\0');
  const int written = ::WideCharToMultiByte(code_page, 0, text.data(), wide_length, &result[0],
                                            size, nullptr, nullptr);
  if (written <= 0) return std::string();
  result.resize(static_cast<size_t>(written));
  return result;
}

}  // namespace

size_t DecodeUtf8Sequence(const unsigned char* bytes, size_t available, uint32_t* code_point) {
  if (available == 0) return 0;
  const unsigned char lead = bytes[0];
  size_t length = 0;
  uint32_t value = 0;
  // The second byte's range depends on the lead; later bytes are 80..BF.
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    value = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    value = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;   // no overlong forms
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    value = lead & 0x07;
    if (lead == 0xF0) low = 0x90;   // no overlong forms
    if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
  } else {
    return 0;
  }
  if (available < length) return 0;
  for (size_t i = 1; i < length; ++i) {
    const unsigned char next = bytes[i];
    if (next < (i == 1 ? low : 0x80) || next > (i == 1 ? high : 0xBF)) return 0;
    value = (value << 6) | (next & 0x3F);
  }
  *code_point = value;
  return length;
}

std::wstring Utf8ToUtf16(std::string_view text) {
  std::wstring result;
  result.reserve(text.size());
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text.data());
  size_t i = 0;
  while (i < text.size()) {
    if (bytes[i] < 0x80) {
      result.push_back(static_cast<wchar_t>(bytes[i++]));
      continue;
    }
    uint32_t code_point = 0;
    const size_t length = DecodeUtf8Sequence(bytes + i, text.size() - i, &code_point);
    if (length == 0) return std::wstring();
    if (code_point > 0xFFFF) {
      code_point -= 0x10000;
      result.push_back(static_cast<wchar_t>(0xD800 + (code_point >> 10)));
      result.push_back(static_cast<wchar_t>(0xDC00 + (code_point & 0x3FF)));
    } else {
      result.push_back(static_cast<wchar_t>(code_point));
    }
    i += length;
  }
  return result;
}

size_t Utf8ToUtf16Lenient(const char* text, size_t size, wchar_t* out, size_t out_size) {
  if (text == nullptr || size == 0 || !FitsInt(size) || !FitsInt(out_size)) return 0;
  if (out_size != 0 && out == nullptr) return 0;
  const int length =
      ::MultiByteToWideChar(CP_UTF8, 0, text, static_cast<int>(size), out_size != 0 ? out : nullptr,
                            static_cast<int>(out_size));
  return length > 0 ? static_cast<size_t>(length) : 0;
}

std::wstring Utf8ToUtf16Lenient(std::string_view text) {
  const size_t length = Utf8ToUtf16Lenient(text.data(), text.size(), nullptr, 0);
  if (length == 0) return std::wstring();
  std::wstring wide(length, L'\0');
  wide.resize(Utf8ToUtf16Lenient(text.data(), text.size(), &wide[0], length));
  return wide;
}

std::string Utf16ToUtf8(std::wstring_view text) { return FromUtf16(CP_UTF8, text); }

std::string Utf16ToSystemCodePage(std::wstring_view text) { return FromUtf16(CP_ACP, text); }

}  // namespace cbase
