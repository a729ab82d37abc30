// Text helpers of the HTTP client: trimming of blanks. Pure functions,
// callable from any thread. Encodings are converted by base/utf8.h.
#pragma once

#include <string>

namespace winhttpx {

// The text without leading and trailing spaces, tabs, carriage returns and
// line feeds.
std::wstring TrimBlanks(const std::wstring& text);

}  // namespace winhttpx
