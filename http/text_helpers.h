// Text helpers shared by the HTTP client and the application: wide text to
// UTF-8, and trimming of blanks. Pure functions, callable from any thread.
#pragma once

#include <string>

namespace winhttpx {

// Converts wide (UTF-16) text to UTF-8 with the system conversion. Unpaired
// surrogates become U+FFFD; a conversion the system refuses gives "".
std::string Utf16ToUtf8(const std::wstring& text);

// The text without leading and trailing spaces, tabs, carriage returns and
// line feeds.
std::wstring TrimBlanks(const std::wstring& text);

}  // namespace winhttpx
