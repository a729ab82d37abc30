// Conversions between UTF-8, UTF-16 and the system's ANSI code page: the one
// place the program turns text from one encoding into another.
//
// Two readings of UTF-8, because callers differ in what bad input should do:
// Utf8ToUtf16 is strict (configuration and service data: a malformed byte
// empties the whole result), Utf8ToUtf16Lenient replaces each ill-formed
// piece with U+FFFD as the system conversion does (skins, language files,
// label and edit text, which should still show what they can).
// Pure functions, callable from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace cbase {

// Wide text for |text|; "" when |text| is not entirely well-formed UTF-8
// (overlong forms, surrogates, code points above U+10FFFF, stray or missing
// continuation bytes). Code points above U+FFFF become surrogate pairs.
std::wstring Utf8ToUtf16(std::string_view text);

// Wide text for |text| with every ill-formed piece as U+FFFD; "" when the
// system refuses the conversion (or the text is longer than it takes).
std::wstring Utf8ToUtf16Lenient(std::string_view text);

// The lenient conversion into storage of the caller's: with |out_size| 0,
// the units |size| bytes need; otherwise the units written to |out|, or 0
// when they do not fit in |out_size|.
size_t Utf8ToUtf16Lenient(const char* text, size_t size, wchar_t* out, size_t out_size);

// UTF-8 for wide text; unpaired surrogates become U+FFFD and embedded NULs
// are kept. "" when the system refuses the conversion.
std::string Utf16ToUtf8(std::wstring_view text);

// |text| in the system's ANSI code page, characters it lacks as its default
// character; for the few narrow-path APIs. "" when refused.
std::string Utf16ToSystemCodePage(std::wstring_view text);

// Length (2 to 4) of the well-formed multi-byte UTF-8 sequence at |bytes| and
// its code point, or 0 when there is none. |available| bytes may be read.
size_t DecodeUtf8Sequence(const unsigned char* bytes, size_t available, uint32_t* code_point);

}  // namespace cbase
