// Readers for the value forms of skin attributes: decimal numbers read as far
// as they parse, rectangles and sizes written as integers separated by one
// arbitrary character, switches that are on only for "true", space-separated
// name lists, and attribute lists (name="value" pairs with one space between
// them). Pure functions, callable from any thread.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace ui {

// Decimal integer after optional blanks and sign, read up to the first
// character that is not part of it; 0 when nothing parses. |end| (optional)
// receives the position after the number, or |text| when nothing parsed.
int ParseInt(const wchar_t* text, const wchar_t** end = nullptr);
// The number |value| starts with, or |fallback| when it does not start with
// one (a malformed number keeps the default).
int ParseIntOr(const std::wstring& value, int fallback);

// "l,t,r,b": four integers separated by one character each. Missing numbers
// read as 0; the reader never passes the end of the text.
RECT ParseRect(const std::wstring& value);
// "x,y" into cx, cy.
SIZE ParseSize(const std::wstring& value);
POINT ParsePoint(const std::wstring& value);

inline bool ParseSwitch(const std::wstring& value) { return value == L"true"; }

// The non-empty names of |text| separated by runs of spaces.
std::vector<std::wstring> SplitBySpaces(const std::wstring& text);

// Calls |apply| (name, value) for each pair of |list|, which has the form
// name="value" repeated with exactly one space between pairs. Anything else
// (a missing "=" or quote, an unclosed value, no space or two spaces after a
// closing quote) ends the list silently after the pairs read so far.
void ForEachAttribute(const std::wstring& list,
                      const std::function<void(const std::wstring&, const std::wstring&)>& apply);

// |value| without leading blanks (characters up to code 32).
std::wstring TrimLeadingBlanks(const std::wstring& value);

}  // namespace ui
