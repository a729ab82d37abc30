#include "http/text_helpers.h"

#include <gtest/gtest.h>

namespace winhttpx {
namespace {

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
