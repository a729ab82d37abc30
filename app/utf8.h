// Strict UTF-8 decoding for the configuration files: any byte sequence that
// is not well-formed UTF-8 (overlong forms, surrogates, code points above
// U+10FFFF, stray or missing continuation bytes) makes the whole result empty.
// Pure functions, callable from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Wide text for |text|; "" when |text| is not entirely well-formed UTF-8.
// Code points above U+FFFF become surrogate pairs.
std::wstring Utf8ToUtf16(const std::string& text);

// Length (2 to 4) of the well-formed multi-byte sequence at |bytes| and its
// code point, or 0 when there is none. |available| bytes may be read.
size_t DecodeUtf8Sequence(const unsigned char* bytes, size_t available, uint32_t* code_point);
