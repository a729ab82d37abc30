#include <windows.h>

#include <string>
#include <vector>

namespace {

// The code point of the UTF-8 sequence at |s| and in |length| the bytes it
// takes; an ill-formed piece is U+FFFD and as long as its longest start that
// could still have become well-formed.
uint32_t DecodeOne(const unsigned char* s, size_t available, size_t* length) {
  const unsigned c = s[0];
  size_t need;
  unsigned low = 0x80, high = 0xBF;
  uint32_t value;
  if (c < 0x80) {
    *length = 1;
    return c;
  } else if (c >= 0xC2 && c <= 0xDF) {
    need = 2;
    value = c & 0x1F;
  } else if (c >= 0xE0 && c <= 0xEF) {
    need = 3;
    value = c & 0x0F;
    if (c == 0xE0) low = 0xA0;
    if (c == 0xED) high = 0x9F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    need = 4;
    value = c & 0x07;
    if (c == 0xF0) low = 0x90;
    if (c == 0xF4) high = 0x8F;
  } else {
    *length = 1;
    return 0xFFFD;
  }
  size_t i = 1;
  for (; i < need && i < available; ++i) {
    const unsigned next = s[i];
    if (next < (i == 1 ? low : 0x80u) || next > (i == 1 ? high : 0xBFu)) break;
    value = (value << 6) | (next & 0x3F);
  }
  *length = i;
  return i == need ? value : 0xFFFD;
}

void AppendUtf8(uint32_t c, std::string* out) {
  if (c < 0x80) {
    *out += static_cast<char>(c);
  } else if (c < 0x800) {
    *out += static_cast<char>(0xC0 | (c >> 6));
    *out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    *out += static_cast<char>(0xE0 | (c >> 12));
    *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    *out += static_cast<char>(0xF0 | (c >> 18));
    *out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace

int MultiByteToWideChar(UINT code_page, DWORD, LPCCH text, int length, LPWSTR wide,
                        int wide_length) {
  if (code_page != CP_UTF8 || text == nullptr || length == 0 || wide_length < 0) return 0;
  size_t size = 0;
  if (length < 0) {
    while (text[size] != 0) ++size;
    ++size;  // the NUL is converted too
  } else {
    size = static_cast<size_t>(length);
  }
  const unsigned char* s = reinterpret_cast<const unsigned char*>(text);
  // Not std::wstring: with a 16-bit wchar_t (markup harness) the library's
  // compiled wide strings would not match.
  std::vector<WCHAR> units;
  for (size_t i = 0; i < size;) {
    size_t used = 0;
    uint32_t c = DecodeOne(s + i, size - i, &used);
    i += used;
    if (c >= 0x10000) {
      c -= 0x10000;
      units.push_back(static_cast<WCHAR>(0xD800 + (c >> 10)));
      units.push_back(static_cast<WCHAR>(0xDC00 + (c & 0x3FF)));
    } else {
      units.push_back(static_cast<WCHAR>(c));
    }
  }
  if (wide_length == 0) return static_cast<int>(units.size());
  if (units.size() > static_cast<size_t>(wide_length)) return 0;
  for (size_t i = 0; i < units.size(); ++i) wide[i] = units[i];
  return static_cast<int>(units.size());
}

int WideCharToMultiByte(UINT code_page, DWORD, LPCWCH wide, int wide_length, LPSTR text, int length,
                        LPCCH, LPBOOL) {
  if (code_page != CP_UTF8 || wide == nullptr || wide_length == 0 || length < 0) return 0;
  size_t size = 0;
  if (wide_length < 0) {
    while (wide[size] != 0) ++size;
    ++size;
  } else {
    size = static_cast<size_t>(wide_length);
  }
  std::string bytes;
  for (size_t i = 0; i < size; ++i) {
    uint32_t c = static_cast<uint32_t>(wide[i]);
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < size &&
        static_cast<uint32_t>(wide[i + 1]) >= 0xDC00 &&
        static_cast<uint32_t>(wide[i + 1]) <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<uint32_t>(wide[++i]) - 0xDC00);
    } else if ((c >= 0xD800 && c <= 0xDFFF) || c > 0xFFFF) {
      c = 0xFFFD;  // no UTF-16 unit is above 0xFFFF
    }
    AppendUtf8(c, &bytes);
  }
  if (length == 0) return static_cast<int>(bytes.size());
  if (bytes.size() > static_cast<size_t>(length)) return 0;
  bytes.copy(text, bytes.size());
  return static_cast<int>(bytes.size());
}

HANDLE CreateFileW(LPCWSTR, DWORD, DWORD, void*, DWORD, DWORD, HANDLE) {
  return INVALID_HANDLE_VALUE;
}

BOOL GetFileSizeEx(HANDLE, LARGE_INTEGER*) { return 0; }

BOOL ReadFile(HANDLE, LPVOID, DWORD, LPDWORD, void*) { return 0; }

BOOL CloseHandle(HANDLE) { return 0; }
