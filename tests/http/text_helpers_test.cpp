#include "http/text_helpers.h"

#include <gtest/gtest.h>

namespace winhttpx {
namespace {

TEST(Utf16ToUtf8Test, ConvertsAsciiCjkAndSurrogatePairs) {
  EXPECT_EQ(Utf16ToUtf8(L""), "");
  EXPECT_EQ(Utf16ToUtf8(L"abc"), "abc");
  EXPECT_EQ(Utf16ToUtf8(L"\u00e9"), "\xC3\xA9");
  EXPECT_EQ(Utf16ToUtf8(L"\u5b89\u88c5"), "\xE5\xAE\x89\xE8\xA3\x85");
  EXPECT_EQ(Utf16ToUtf8(L"\xD83D\xDE00"), "\xF0\x9F\x98\x80");  // U+1F600
}

TEST(Utf16ToUtf8Test, UnpairedSurrogatesBecomeReplacementCharacter) {
  EXPECT_EQ(Utf16ToUtf8(std::wstring(1, wchar_t(0xD800))), "\xEF\xBF\xBD");
  EXPECT_EQ(Utf16ToUtf8(std::wstring(L"a") + wchar_t(0xDC00) + L"b"),
            "a\xEF\xBF\xBD"
            "b");
}

TEST(Utf16ToUtf8Test, KeepsEmbeddedNulCharacters) {
  EXPECT_EQ(Utf16ToUtf8(std::wstring(L"a\0b", 3)), std::string("a\0b", 3));
}

TEST(TrimBlanksTest, RemovesTheFourBlankCharactersAtBothEnds) {
  EXPECT_EQ(TrimBlanks(L"  value \t"), L"value");
  EXPECT_EQ(TrimBlanks(L"\r\n a b \r\n"), L"a b");
  EXPECT_EQ(TrimBlanks(L"x"), L"x");
  EXPECT_EQ(TrimBlanks(L""), L"");
  EXPECT_EQ(TrimBlanks(L" \t\r\n "), L"");
  // Other white space is not a blank here.
  EXPECT_EQ(TrimBlanks(L"\v x \f"), L"\v x \f");
}

}  // namespace
}  // namespace winhttpx
