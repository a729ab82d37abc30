#include "ui/core/string_table.h"

#include <gtest/gtest.h>

#include "tests/support/scoped_temp_dir.h"

namespace ui {
namespace {

using testing_support::ScopedTempDir;
using testing_support::WriteBytes;

TEST(StringTableTest, LineRules) {
  StringTable table;
  ASSERT_TRUE(table.LoadFromLines({
      "STRING_OK = OK",
      "; a comment=with equals",
      "STRING_NO;TE = ignored, the id holds a semicolon",
      "STRING_EQ = a=b",
      "STRING_DOUBLE == doubled",
      "STRING_EMPTY =",
      "= no id",
      "no separator",
      "\t STRING_TRIM \t=\t  kept inner  spaces \r\n",
      "STRING_MULTI = first\\r\\nsecond\\nthird",
      "STRING_DUP = old",
      "STRING_DUP = new",
      "STRING_ZH = \xE5\xAE\x89\xE8\xA3\x85",
  }));
  EXPECT_EQ(L"OK", table.GetText(L"STRING_OK"));
  EXPECT_EQ(L"", table.GetText(L"; a comment"));
  EXPECT_EQ(L"", table.GetText(L"STRING_NO;TE"));
  EXPECT_EQ(L"", table.GetText(L"STRING_EQ"));
  EXPECT_EQ(L"doubled", table.GetText(L"STRING_DOUBLE"));
  EXPECT_EQ(L"", table.GetText(L"STRING_EMPTY"));
  EXPECT_EQ(L"kept inner  spaces", table.GetText(L"STRING_TRIM"));
  EXPECT_EQ(L"first\r\nsecond\nthird", table.GetText(L"STRING_MULTI"));
  EXPECT_EQ(L"new", table.GetText(L"STRING_DUP"));
  EXPECT_EQ(L"\u5B89\u88C5", table.GetText(L"STRING_ZH"));
  EXPECT_EQ(L"", table.GetText(L""));
  EXPECT_EQ(L"", table.GetText(L"string_ok"));
  EXPECT_EQ(6u, table.size());
}

TEST(StringTableTest, MemoryIsSplitAtLineFeedsAndNulBytes) {
  StringTable table;
  const std::string bytes("A=1\r\nB=2\0C=3\nD=4", 16);
  ASSERT_TRUE(table.LoadFromMemory(bytes.data(), bytes.size()));
  EXPECT_EQ(L"1", table.GetText(L"A"));
  EXPECT_EQ(L"2", table.GetText(L"B"));
  EXPECT_EQ(L"3", table.GetText(L"C"));
  EXPECT_EQ(L"4", table.GetText(L"D"));  // the last line needs no line feed
  // A byte-order mark is not part of the first id.
  const std::string with_mark = "\xEF\xBB\xBFID=x\nID2=y";
  ASSERT_TRUE(table.LoadFromMemory(with_mark.data(), with_mark.size()));
  EXPECT_EQ(L"", table.GetText(L"A"));  // a load starts afresh
  EXPECT_EQ(L"x", table.GetText(L"ID"));
  EXPECT_EQ(L"", table.GetText(L"\uFEFFID"));
  EXPECT_EQ(L"y", table.GetText(L"ID2"));
}

TEST(StringTableTest, Files) {
  ScopedTempDir dir;
  StringTable table;
  const std::wstring path = dir.Child(L"gdstrings.ini");
  ASSERT_TRUE(WriteBytes(path, "STRING_OK=OK\r\nSTRING_CANCEL = Cancel\r\n"));
  ASSERT_TRUE(table.LoadFromFile(path));
  EXPECT_EQ(L"Cancel", table.GetText(L"STRING_CANCEL"));

  // Lines longer than the 4,096-byte read buffer are split.
  ASSERT_TRUE(WriteBytes(path, "LONG=" + std::string(5000, 'x') + "\nNEXT=n\n"));
  ASSERT_TRUE(table.LoadFromFile(path));
  EXPECT_EQ(std::wstring(4095 - 5, L'x'), table.GetText(L"LONG"));
  EXPECT_EQ(L"n", table.GetText(L"NEXT"));

  ASSERT_TRUE(WriteBytes(path, ""));
  EXPECT_FALSE(table.LoadFromFile(path));
  ASSERT_TRUE(WriteBytes(path, "A=1"));
  ASSERT_TRUE(table.LoadFromFile(path));
  EXPECT_FALSE(table.LoadFromFile(dir.Child(L"missing.ini")));
  EXPECT_EQ(0u, table.size());
}

}  // namespace
}  // namespace ui
