#include "app/utf8.h"

#include <gtest/gtest.h>

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

}  // namespace
