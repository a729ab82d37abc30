#include "ui/core/markup_document.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <string>

#include "base/scoped_handle.h"
#include "base/utf8.h"
#include "ui/core/global_manager.h"
#include "ui/core/path_util.h"

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <emmintrin.h>
#define MARKUP_HAVE_SSE2 1
#if defined(_MSC_VER) && !defined(__clang__)
#include <intrin.h>
#endif
#else
#define MARKUP_HAVE_SSE2 0
#endif

namespace ui {
namespace {

#if MARKUP_HAVE_SSE2
inline unsigned LowestBit(unsigned mask) {
#if defined(_MSC_VER) && !defined(__clang__)
  unsigned long index;
  _BitScanForward(&index, mask);
  return index;
#else
  return static_cast<unsigned>(__builtin_ctz(mask));
#endif
}
#endif

// Letters, digits, "_" and ":" for the ASCII range.
struct IdentifierTable {
  bool ascii[128] = {};
  IdentifierTable() {
    for (int c = 'a'; c <= 'z'; ++c) ascii[c] = true;
    for (int c = 'A'; c <= 'Z'; ++c) ascii[c] = true;
    for (int c = '0'; c <= '9'; ++c) ascii[c] = true;
    ascii['_'] = true;
    ascii[':'] = true;
  }
};
const IdentifierTable kIdentifier;

inline bool IsIdentifierChar(wchar_t c) {
  if (c < 128) return kIdentifier.ascii[c];
  return std::iswalnum(c) != 0;
}

// Whitespace is any character from 1 to 32; NUL ends the text.
template <typename Char>
inline Char* SkipWhitespace(Char* p) {
  while (static_cast<unsigned>(*p) - 1u < 32u) ++p;
  return p;
}

// The first character at or after |p| that is NUL, |a| or |b|. Eight
// characters at a time where SSE2 is available: the loads are aligned, so
// reading past the NUL never leaves the page that holds it.
template <typename Char>
inline Char* FindAny(Char* p, wchar_t a, wchar_t b) {
#if MARKUP_HAVE_SSE2
  const __m128i zero = _mm_setzero_si128();
  const __m128i va = _mm_set1_epi16(static_cast<short>(a));
  const __m128i vb = _mm_set1_epi16(static_cast<short>(b));
  // Start with the aligned block that holds |p|, ignoring the bytes before it.
  const unsigned skip = static_cast<unsigned>(reinterpret_cast<uintptr_t>(p) & 15);
  const wchar_t* block = reinterpret_cast<const wchar_t*>(reinterpret_cast<uintptr_t>(p) - skip);
  unsigned mask = 0;
  for (;;) {
    const __m128i chunk = _mm_load_si128(reinterpret_cast<const __m128i*>(block));
    const __m128i hits =
        _mm_or_si128(_mm_cmpeq_epi16(chunk, zero),
                     _mm_or_si128(_mm_cmpeq_epi16(chunk, va), _mm_cmpeq_epi16(chunk, vb)));
    mask = static_cast<unsigned>(_mm_movemask_epi8(hits));
    if (block < p) mask &= ~0u << skip;
    if (mask != 0) break;
    block += 8;
  }
  return p + (block - p) + LowestBit(mask) / 2;
#else
  while (*p != 0 && *p != a && *p != b) ++p;
  return p;
#endif
}

// The text buffer always has kPadding readable characters after its NUL, so
// the scans below may load sixteen characters from any position up to the
// NUL. Sixteen at a time keeps most names and short values to one round,
// which matters more than the width: every round's exit is a branch the
// processor cannot predict.
constexpr size_t kPadding = 16;

#if MARKUP_HAVE_SSE2
inline __m128i LoadText(const wchar_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// Lanes holding ASCII letters, digits, "_" or ":".
inline __m128i IdentifierLanes(__m128i chunk) {
  const __m128i lower = _mm_or_si128(chunk, _mm_set1_epi16(0x20));
  const __m128i letter = _mm_and_si128(_mm_cmpgt_epi16(lower, _mm_set1_epi16('a' - 1)),
                                       _mm_cmplt_epi16(lower, _mm_set1_epi16('z' + 1)));
  const __m128i digit_or_colon = _mm_and_si128(_mm_cmpgt_epi16(chunk, _mm_set1_epi16('0' - 1)),
                                               _mm_cmplt_epi16(chunk, _mm_set1_epi16(':' + 1)));
  return _mm_or_si128(_mm_or_si128(letter, digit_or_colon),
                      _mm_cmpeq_epi16(chunk, _mm_set1_epi16('_')));
}

inline unsigned Mask(__m128i lanes) { return static_cast<unsigned>(_mm_movemask_epi8(lanes)); }
#endif

inline wchar_t* SkipIdentifier(wchar_t* p) {
#if MARKUP_HAVE_SSE2
  // ASCII identifier characters sixteen at a time; anything else ends the
  // fast scan and is judged on its own.
  for (;; p += 16) {
    const unsigned mask =
        Mask(IdentifierLanes(LoadText(p))) | (Mask(IdentifierLanes(LoadText(p + 8))) << 16);
    if (mask != 0xFFFFFFFFu) {
      p += LowestBit(~mask) / 2;
      break;
    }
  }
  if (*p < 128) return p;
#endif
  while (IsIdentifierChar(*p)) ++p;
  return p;
}

// FindAny over the padded text buffer.
inline wchar_t* FindAnyInText(wchar_t* p, wchar_t a, wchar_t b) {
#if MARKUP_HAVE_SSE2
  const __m128i zero = _mm_setzero_si128();
  const __m128i va = _mm_set1_epi16(static_cast<short>(a));
  const __m128i vb = _mm_set1_epi16(static_cast<short>(b));
  for (;; p += 16) {
    const __m128i low = LoadText(p);
    const __m128i high = LoadText(p + 8);
    const unsigned mask =
        Mask(_mm_or_si128(_mm_cmpeq_epi16(low, zero),
                          _mm_or_si128(_mm_cmpeq_epi16(low, va), _mm_cmpeq_epi16(low, vb)))) |
        (Mask(_mm_or_si128(_mm_cmpeq_epi16(high, zero),
                           _mm_or_si128(_mm_cmpeq_epi16(high, va), _mm_cmpeq_epi16(high, vb))))
         << 16);
    if (mask != 0) return p + LowestBit(mask) / 2;
  }
#else
  while (*p != 0 && *p != a && *p != b) ++p;
  return p;
#endif
}

// Moves |count| characters down to |out| (out < in), returning the new end.
inline wchar_t* MoveDown(wchar_t* out, const wchar_t* in, size_t count) {
#if MARKUP_HAVE_SSE2
  for (; count >= 8; count -= 8, in += 8, out += 8) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                     _mm_loadu_si128(reinterpret_cast<const __m128i*>(in)));
  }
#endif
  for (; count > 0; --count) *out++ = *in++;
  return out;
}

// Decodes entities in place from |p| up to NUL or |end| and answers where it
// stopped; |*dest| is the end of the (possibly shorter) output. What the
// shortening freed is blanked so that attribute mapping can walk over it.
inline wchar_t* DecodeText(wchar_t* p, wchar_t** dest, wchar_t end) {
  // Until the first entity the output is the input itself.
  wchar_t* in = FindAnyInText(p, end, L'&');
  wchar_t* out = in;
  while (*in == L'&') {
    ++in;
    if (in[0] == L'a' && in[1] == L'm' && in[2] == L'p' && in[3] == L';') {
      *out++ = L'&';
      in += 4;
    } else if (in[0] == L'l' && in[1] == L't' && in[2] == L';') {
      *out++ = L'<';
      in += 3;
    } else if (in[0] == L'g' && in[1] == L't' && in[2] == L';') {
      *out++ = L'>';
      in += 3;
    } else if (in[0] == L'q' && in[1] == L'u' && in[2] == L'o' && in[3] == L't' && in[4] == L';') {
      *out++ = L'"';
      in += 5;
    } else if (in[0] == L'a' && in[1] == L'p' && in[2] == L'o' && in[3] == L's' && in[4] == L';') {
      *out++ = L'\'';
      in += 5;
    } else {
      *out++ = L'&';
    }
    // Move the plain run up to the next entity or the end.
    wchar_t* next = FindAnyInText(in, end, L'&');
    out = MoveDown(out, in, static_cast<size_t>(next - in));
    in = next;
  }
  for (wchar_t* fill = out + 1; fill < in; ++fill) *fill = L' ';
  *dest = out;
  return in;
}

// Copies |source| with its NUL into |target| while looking for the NUL, so
// the text is read once. Answers the length, or SIZE_MAX when |capacity|
// characters were copied without meeting the NUL. Source loads are aligned
// (they never leave the page that holds the NUL).
size_t CopyUpToNul(wchar_t* target, const wchar_t* source, size_t capacity) {
  size_t i = 0;
#if MARKUP_HAVE_SSE2
  while ((reinterpret_cast<uintptr_t>(source + i) & 15) != 0) {
    if (i == capacity) return SIZE_MAX;
    target[i] = source[i];
    if (source[i] == 0) return i;
    ++i;
  }
  const __m128i zero = _mm_setzero_si128();
  while (i + 8 <= capacity) {
    const __m128i chunk = _mm_load_si128(reinterpret_cast<const __m128i*>(source + i));
    if (_mm_movemask_epi8(_mm_cmpeq_epi16(chunk, zero)) != 0) break;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(target + i), chunk);
    i += 8;
  }
#endif
  for (; i < capacity; ++i) {
    target[i] = source[i];
    if (source[i] == 0) return i;
  }
  return SIZE_MAX;
}

void CopyTruncated(wchar_t* target, size_t target_size, const wchar_t* source) {
  size_t i = 0;
  if (source != nullptr) {
    for (; i + 1 < target_size && source[i] != 0; ++i) target[i] = source[i];
  }
  target[i] = 0;
}

}  // namespace

// ---------------------------------------------------------------------------
// MarkupNode

MarkupNode::MarkupNode(const MarkupDocument* owner, uint32_t index)
    : owner_(owner), index_(owner != nullptr ? index : 0) {
  if (owner_ == nullptr || owner_->text_ == nullptr || index_ >= owner_->element_count_) {
    owner_ = nullptr;
    index_ = 0;
  }
}

MarkupNode MarkupNode::GetChild() const {
  if (!IsValid()) return MarkupNode();
  return MarkupNode(owner_, owner_->elements_[index_].first_child);
}

MarkupNode MarkupNode::GetSibling() const {
  if (!IsValid()) return MarkupNode();
  return MarkupNode(owner_, owner_->elements_[index_].next_sibling);
}

MarkupNode MarkupNode::GetParent() const {
  if (!IsValid()) return MarkupNode();
  return MarkupNode(owner_, owner_->elements_[index_].parent);
}

bool MarkupNode::HasChildren() const {
  return IsValid() && owner_->elements_[index_].first_child != 0;
}

const wchar_t* MarkupNode::GetName() const {
  if (!IsValid()) return L"";
  return owner_->text_ + owner_->elements_[index_].name_start;
}

const wchar_t* MarkupNode::GetValue() const {
  if (!IsValid()) return L"";
  return owner_->text_ + owner_->elements_[index_].data_start;
}

int MarkupNode::GetAttributeCount() const {
  if (!IsValid()) return 0;
  MapAttributes();
  return attribute_count_;
}

const wchar_t* MarkupNode::GetAttributeName(int index) const {
  if (index < 0 || index >= GetAttributeCount()) return L"";
  return owner_->text_ + attributes_[index].name;
}

const wchar_t* MarkupNode::GetAttributeValue(int index) const {
  if (index < 0 || index >= GetAttributeCount()) return L"";
  return owner_->text_ + attributes_[index].value;
}

bool MarkupNode::HasAttribute(const wchar_t* name) const { return FindAttribute(name) >= 0; }

bool MarkupNode::GetAttributeValue(const wchar_t* name, wchar_t* value, size_t value_size) const {
  const int index = FindAttribute(name);
  if (index < 0 || value == nullptr || value_size == 0) return false;
  size_t limit = value_size < kAttributeBufferSize ? value_size : kAttributeBufferSize;
  CopyTruncated(value, limit, owner_->text_ + attributes_[index].value);
  return true;
}

int MarkupNode::FindAttribute(const wchar_t* name) const {
  if (!IsValid() || name == nullptr) return -1;
  MapAttributes();
  for (int i = 0; i < attribute_count_; ++i) {
    if (std::wcscmp(owner_->text_ + attributes_[i].name, name) == 0) return i;
  }
  return -1;
}

// Walks the start tag as the parser left it: each attribute name is
// NUL-terminated and followed by blanks (the "=" became one) and the opening
// quote; each value is NUL-terminated, with blanks over whatever entity
// decoding freed up. The walk ends at the element's data.
void MarkupNode::MapAttributes() const {
  if (mapped_) return;
  mapped_ = true;
  attribute_count_ = 0;
  const wchar_t* text = owner_->text_;
  const MarkupDocument::Element& element = owner_->elements_[index_];
  const wchar_t* p = text + element.name_start;
  p += std::wcslen(p) + 1;
  const wchar_t* end = text + element.data_start;
  while (p < end) {
    p = SkipWhitespace(p);
    if (p >= end || *p == 0 || *p == L'>') return;
    const wchar_t* name = p;
    p += std::wcslen(p) + 1;
    p = SkipWhitespace(p);
    if (p >= end || *p != L'"') return;
    ++p;
    attributes_[attribute_count_].name = static_cast<uint32_t>(name - text);
    attributes_[attribute_count_].value = static_cast<uint32_t>(p - text);
    if (++attribute_count_ >= kMaxAttributes) return;
    p += std::wcslen(p) + 1;
  }
}

// ---------------------------------------------------------------------------
// MarkupDocument

MarkupDocument::MarkupDocument() {
  error_message_[0] = 0;
  error_location_[0] = 0;
}

MarkupDocument::~MarkupDocument() { Release(); }

void MarkupDocument::Release() {
  std::free(text_);
  text_ = nullptr;
  text_capacity_ = 0;
  std::free(elements_);
  elements_ = nullptr;
  element_count_ = 0;
  element_capacity_ = 0;
}

// A reload reuses the previous buffers when they are large enough: large
// fresh blocks come straight from the system and cost a page fault per page.
bool MarkupDocument::AllocateText(size_t characters) {
  element_count_ = 0;
  if (text_ == nullptr || text_capacity_ < characters) {
    std::free(text_);
    text_capacity_ = 0;
    text_ = static_cast<wchar_t*>(std::malloc((characters + kPadding) * sizeof(wchar_t)));
    if (text_ == nullptr) return false;
    text_capacity_ = characters;
  }
  std::memset(text_ + characters, 0, kPadding * sizeof(wchar_t));
  return true;
}

MarkupNode MarkupDocument::GetRoot() const {
  if (text_ == nullptr || element_count_ < 2) return MarkupNode();
  return MarkupNode(this, 1);
}

bool MarkupDocument::LoadFromText(const wchar_t* text) {
  if (text == nullptr) text = L"";
  // Straight into the previous buffer while the text fits; otherwise measure
  // and copy into a larger one.
  const bool copied = text_ != nullptr && CopyUpToNul(text_, text, text_capacity_) != SIZE_MAX;
  if (copied) {
    element_count_ = 0;
  } else {
    const size_t length = static_cast<size_t>(FindAny(text, 0, 0) - text);
    if (!AllocateText(length + 1)) return Fail(L"Out of memory", nullptr);
    std::memcpy(text_, text, (length + 1) * sizeof(wchar_t));
  }
  if (!Parse()) {
    Release();
    return false;
  }
  return true;
}

bool MarkupDocument::LoadFromFile(const wchar_t* file_name) {
  element_count_ = 0;
  std::wstring path = file_name != nullptr ? file_name : L"";
  if (!IsAbsolutePath(path)) path = GlobalManager::GetResourcePath() + path;

  const cbase::ScopedHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return Fail(L"Error opening file", nullptr);

  bool ok = false;
  LARGE_INTEGER size = {};
  if (!::GetFileSizeEx(file.get(), &size) || size.QuadPart == 0) {
    Fail(L"File is empty", nullptr);
  } else if (static_cast<uint64_t>(size.QuadPart) > kMaxFileSize) {
    Fail(L"File too large", nullptr);
  } else {
    const DWORD byte_count = static_cast<DWORD>(size.QuadPart);
    char* bytes = static_cast<char*>(std::malloc(byte_count));
    DWORD read = 0;
    if (bytes == nullptr) {
      Fail(L"Out of memory", nullptr);
    } else if (!::ReadFile(file.get(), bytes, byte_count, &read, nullptr) || read < byte_count) {
      Fail(L"Could not read file", nullptr);
    } else {
      ok = LoadFromUtf8(bytes, byte_count);
    }
    std::free(bytes);
  }
  return ok;
}

bool MarkupDocument::LoadFromUtf8(const char* data, size_t size) {
  if (size > 2 && static_cast<unsigned char>(data[0]) == 0xEF &&
      static_cast<unsigned char>(data[1]) == 0xBB && static_cast<unsigned char>(data[2]) == 0xBF) {
    data += 3;
    size -= 3;
  }
  // Invalid sequences become U+FFFD, as the system converter does.
  const size_t length = cbase::Utf8ToUtf16Lenient(data, size, nullptr, 0);
  if (!AllocateText(length + 1)) return Fail(L"Out of memory", nullptr);
  if (length > 0) cbase::Utf8ToUtf16Lenient(data, size, text_, length);
  text_[length] = 0;
  if (!Parse()) {
    Release();
    return false;
  }
  return true;
}

bool MarkupDocument::Fail(const wchar_t* message, const wchar_t* location) {
  CopyTruncated(error_message_, sizeof(error_message_) / sizeof(error_message_[0]), message);
  CopyTruncated(error_location_, sizeof(error_location_) / sizeof(error_location_[0]), location);
  return false;
}

uint32_t MarkupDocument::ReserveElement() {
  if (element_count_ >= element_capacity_) {
    const uint64_t capacity =
        static_cast<uint64_t>(element_capacity_) + element_capacity_ / 2 + 500;
    if (capacity > UINT32_MAX / sizeof(Element)) return 0;
    void* grown = std::realloc(elements_, static_cast<size_t>(capacity) * sizeof(Element));
    if (grown == nullptr) return 0;
    elements_ = static_cast<Element*>(grown);
    element_capacity_ = static_cast<uint32_t>(capacity);
  }
  return element_count_++;
}

wchar_t* MarkupDocument::ParseAttributes(wchar_t* p) {
  if (p[0] == L'>' || (p[0] == L'/' && p[1] == L'>')) return p;
  *p++ = 0;  // ends the element name
  p = SkipWhitespace(p);
  while (*p != 0 && *p != L'>' && *p != L'/') {
    wchar_t* name_end = SkipIdentifier(p);
    p = SkipWhitespace(name_end);
    if (*p != L'=') return FailAt(L"Error while parsing attributes", p);
    *p++ = L' ';
    *name_end = 0;
    p = SkipWhitespace(p);
    if (*p != L'"') return FailAt(L"Expected attribute value", p);
    ++p;
    wchar_t* dest;
    p = DecodeText(p, &dest, L'"');
    if (*p == 0) return FailAt(L"Error while parsing attribute string", p);
    *dest = 0;
    if (p != dest) *p = L' ';
    p = SkipWhitespace(p + 1);
  }
  return p;
}

wchar_t* MarkupDocument::FailAt(const wchar_t* message, const wchar_t* location) {
  Fail(message, location);
  return nullptr;
}

// One pass over the text with an explicit parent chain instead of recursion,
// so deep nesting cannot exhaust the stack. |parent| is the element whose
// child list is being read (0 at the top level), |previous| the last element
// of that list.
bool MarkupDocument::Parse() {
  error_message_[0] = 0;
  error_location_[0] = 0;
  element_count_ = 0;
  ReserveElement();
  if (element_count_ != 1) return Fail(L"Out of memory", nullptr);
  elements_[0] = Element{0, 0, 0, 0, 0};

  wchar_t* p = text_;
  uint32_t parent = 0;
  uint32_t previous = 0;
  for (;;) {
    p = SkipWhitespace(p);
    if (*p == 0) {
      // The root and its direct children may be left open at the end.
      if (parent <= 1) return true;
      return Fail(L"Expected start tag", p);
    }
    if (*p != L'<') {
      if (parent == 0) return Fail(L"Expected start tag", p);
      // Text after a child element belongs to no element and is dropped.
      while (*p != 0 && *p != L'<') ++p;
      continue;
    }
    if (p[1] == L'/') {
      // A closing tag at the top level ends the document.
      if (parent == 0) return true;
      const wchar_t* name = text_ + elements_[parent].name_start;
      const size_t name_length = std::wcslen(name);
      *p = 0;
      p = SkipWhitespace(p + 2);
      if (std::wcsncmp(p, name, name_length) != 0) return Fail(L"Unmatched closing tag", p);
      p = SkipWhitespace(p + name_length);
      if (*p != L'>') return Fail(L"Unmatched closing tag", p);
      ++p;
      previous = parent;
      parent = elements_[parent].parent;
      continue;
    }

    *p++ = 0;  // ends the text run before this tag
    p = SkipWhitespace(p);
    if (*p == L'!' || *p == L'?') {
      // Comments and declarations: skipped up to "->" or "?>".
      const wchar_t last = *p == L'!' ? L'-' : L'?';
      while (*p != 0 && !(p[0] == last && p[1] == L'>')) ++p;
      if (*p != 0) p += 2;
      continue;
    }

    const uint32_t index = ReserveElement();
    if (index == 0) return Fail(L"Out of memory", p);
    Element& element = elements_[index];
    element = Element{static_cast<uint32_t>(p - text_), 0, 0, parent, 0};
    if (previous != 0) {
      elements_[previous].next_sibling = index;
    } else if (parent != 0) {
      elements_[parent].first_child = index;
    }
    previous = index;

    wchar_t* name_end = SkipIdentifier(p);
    p = name_end;
    if (*p == 0) return Fail(L"Error parsing element name", p);
    p = ParseAttributes(p);
    if (p == nullptr) return false;
    p = SkipWhitespace(p);
    if (p[0] == L'/' && p[1] == L'>') {
      element.data_start = static_cast<uint32_t>(p - text_);
      *p = 0;
      p += 2;
      *name_end = 0;
      continue;
    }
    if (*p != L'>') return Fail(L"Expected start-tag closing", p);
    // The name ends here at the latest, also when the text ends inside the
    // element's data and no closing tag comes.
    *name_end = 0;
    ++p;
    element.data_start = static_cast<uint32_t>(p - text_);
    wchar_t* dest;
    p = DecodeText(p, &dest, L'<');
    if (dest < p) *dest = 0;
    if (*p == 0) {
      if (parent <= 1) return true;
      return Fail(L"Expected end-tag start", p);
    }
    // At "<": the element's children or its closing tag follow.
    parent = index;
    previous = 0;
  }
}

}  // namespace ui
