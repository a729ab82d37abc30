#include "base/utf8.h"

#include <gtest/gtest.h>
#include <string>

namespace cbase {
namespace {

TEST(Utf8ToUtf16Test, DecodesWellFormedText) {
  EXPECT_EQ(L"", Utf8ToUtf16(""));
  EXPECT_EQ(L"Fernwick 02", Utf8ToUtf16("Fernwick 02"));
  EXPECT_EQ(L"\u5B89\u88C5", Utf8ToUtf16("\xE5\xAE\x89\xE8\xA3\x85"));
  // Boundaries of each sequence length.
  EXPECT_EQ(L"\u0080\u07FF", Utf8ToUtf16("\xC2\x80\xDF\xBF"));
  EXPECT_EQ(L"\u0800\uD7FF\uE000\uFFFF",
            Utf8ToUtf16("\xE0\xA0\x80\xED\x9F\xBF\xEE\x80\x80\xEF\xBF\xBF"));
  // Above U+FFFF: surrogate pairs.
  EXPECT_EQ(L"\xD800\xDC00", Utf8ToUtf16("\xF0\x90\x80\x80"));
  EXPECT_EQ(L"a\xD83D\xDE00z", Utf8ToUtf16("a\xF0\x9F\x98\x80z"));
  EXPECT_EQ(L"\xDBFF\xDFFF", Utf8ToUtf16("\xF4\x8F\xBF\xBF"));
}

TEST(Utf8ToUtf16Test, AnyMalformedSequenceEmptiesTheWholeResult) {
  const char* const malformed[] = {
      "ok \xC0\xAF",       // overlong "/"
      "\xC1\xBF",          // overlong, two bytes
      "\xE0\x9F\xBF",      // overlong, three bytes
      "\xF0\x8F\xBF\xBF",  // overlong, four bytes
      "\xED\xA0\x80",      // surrogate
      "\xF4\x90\x80\x80",  // above U+10FFFF
      "\xF5\x80\x80\x80",  // no such lead
      "\xFF",              //
      "\x80 stray",        // continuation without lead
      "\xE5\xAE",          // cut off by the end
      "\xE5\x41\x89",      // missing continuation
      "\xF0\x9F\x98",      // cut off four-byte form
  };
  for (const char* text : malformed) EXPECT_EQ(L"", Utf8ToUtf16(text)) << text;
}

TEST(Utf8ToUtf16LenientTest, IllFormedPiecesBecomeReplacementCharacters) {
  EXPECT_EQ(L"", Utf8ToUtf16Lenient(""));
  EXPECT_EQ(L"Fernwick \u5B89\U0001F600",
            Utf8ToUtf16Lenient("Fernwick \xE5\xAE\x89\xF0\x9F\x98\x80"));
  // Where the strict reading gives nothing, the text around a bad byte stays.
  const std::wstring mixed = Utf8ToUtf16Lenient(
      "a\xFF"
      "b");
  ASSERT_EQ(3u, mixed.size());
  EXPECT_EQ(L'a', mixed[0]);
  EXPECT_EQ(L'\xFFFD', mixed[1]);
  EXPECT_EQ(L'b', mixed[2]);
  const std::wstring cut = Utf8ToUtf16Lenient("ok \xE5\xAE");
  EXPECT_EQ(L"ok ", cut.substr(0, 3));
  EXPECT_NE(std::wstring::npos, cut.find(L'\xFFFD'));
  // Embedded NULs are text like any other.
  EXPECT_EQ(std::wstring(L"a\0b", 3), Utf8ToUtf16Lenient(std::string("a\0b", 3)));
}

TEST(Utf8ToUtf16LenientTest, BufferFormSizesFirstAndNeverWritesPastTheEnd) {
  const char text[] = "\xE5\xAE\x89\xF0\x9F\x98\x80!";  // 1 + 2 + 1 units
  const size_t size = sizeof(text) - 1;
  EXPECT_EQ(4u, Utf8ToUtf16Lenient(text, size, nullptr, 0));
  wchar_t out[6] = {L'x', L'x', L'x', L'x', L'x', L'x'};
  EXPECT_EQ(0u, Utf8ToUtf16Lenient(text, size, out, 3));
  EXPECT_EQ(L'x', out[3]);
  EXPECT_EQ(4u, Utf8ToUtf16Lenient(text, size, out, 5));
  EXPECT_EQ(std::wstring(L"\u5B89\xD83D\xDE00!"), std::wstring(out, 4));
  EXPECT_EQ(L'x', out[4]);
  EXPECT_EQ(0u, Utf8ToUtf16Lenient(nullptr, 4, out, 5));
  EXPECT_EQ(0u, Utf8ToUtf16Lenient(text, 0, out, 5));
}

TEST(Utf16ToUtf8Test, ConvertsAsciiCjkAndSurrogatePairs) {
  EXPECT_EQ(Utf16ToUtf8(L""), "");
  EXPECT_EQ(Utf16ToUtf8(L"abc"), "abc");
  EXPECT_EQ(Utf16ToUtf8(L"\u00e9"), "\xC3\xA9");
  EXPECT_EQ(Utf16ToUtf8(L"\u5b89\u88c5"), "\xE5\xAE\x89\xE8\xA3\x85");
  EXPECT_EQ(Utf16ToUtf8(L"\xD83D\xDE00"), "\xF0\x9F\x98\x80");  // U+1F600
  // Back and forth through both readings.
  const std::string text = "\xE5\xAE\x89 \xF0\x9F\x98\x80 \xC3\xA9";
  EXPECT_EQ(text, Utf16ToUtf8(Utf8ToUtf16(text)));
  EXPECT_EQ(text, Utf16ToUtf8(Utf8ToUtf16Lenient(text)));
}

TEST(Utf16ToUtf8Test, UnpairedSurrogatesBecomeReplacementCharacter) {
  EXPECT_EQ(Utf16ToUtf8(std::wstring(1, wchar_t(0xD800))), "\xEF\xBF\xBD");
  EXPECT_EQ(Utf16ToUtf8(std::wstring(L"a") + wchar_t(0xDC00) + L"b"),
            "a\xEF\xBF\xBD"
            "b");
}

TEST(Utf16ToUtf8Test, KeepsEmbeddedNulCharacters) {
  EXPECT_EQ(Utf16ToUtf8(std::wstring(L"a\0b", 3)), std::string("a\0b", 3));
  // A view ends where it says, not at a NUL.
  const std::wstring text = L"abc";
  EXPECT_EQ(Utf16ToUtf8(std::wstring_view(text).substr(1, 1)), "b");
}

TEST(Utf16ToSystemCodePageTest, AsciiIsUnchangedAndNothingIsLost) {
  EXPECT_EQ(Utf16ToSystemCodePage(L""), "");
  EXPECT_EQ(Utf16ToSystemCodePage(L"C:\\Temp\\file 1.txt"), "C:\\Temp\\file 1.txt");
  // A character the code page lacks still takes a place in the result.
  EXPECT_FALSE(Utf16ToSystemCodePage(L"a\u5B89b").empty());
}

}  // namespace
}  // namespace cbase
