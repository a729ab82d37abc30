#include "ui/core/path_util.h"

#include <gtest/gtest.h>

namespace ui {
namespace {

TEST(PathUtilTest, ArchiveNormalisation) {
  EXPECT_EQ(L"a/c.png", NormalizeArchivePath(L"a\\b\\..\\c.png"));
  EXPECT_EQ(L"x/y.png", NormalizeArchivePath(L"./x//y.png"));
  EXPECT_EQ(L"resources/themes/default/images/header.png",
            NormalizeArchivePath(L"resources\\themes\\default\\basic\\../images/header.png"));
  EXPECT_EQ(L"a/b", NormalizeArchivePath(L"\\\\a\\.\\b"));
  EXPECT_EQ(L"b", NormalizeArchivePath(L"../../b"));  // never above the root
  EXPECT_EQ(L"a/..b/c..", NormalizeArchivePath(L"a/..b/c.."));
  EXPECT_EQ(L"", NormalizeArchivePath(L"a/../"));
  EXPECT_EQ(L"", NormalizeArchivePath(L""));
}

TEST(PathUtilTest, DiskNormalisation) {
  EXPECT_EQ(L"C:\\skin\\images\\a.png", NormalizeDiskPath(L"C:/skin//images\\\\a.png"));
  EXPECT_EQ(L"rel\\x", NormalizeDiskPath(L"rel/x"));
}

TEST(PathUtilTest, AbsoluteNames) {
  EXPECT_TRUE(IsAbsolutePath(L"C:\\skin\\basic.xml"));
  EXPECT_TRUE(IsAbsolutePath(L"c:relative-to-drive"));
  EXPECT_TRUE(IsAbsolutePath(L"\\\\server\\share"));
  EXPECT_TRUE(IsAbsolutePath(L"/skin"));
  EXPECT_FALSE(IsAbsolutePath(L"basic\\basic.xml"));
  EXPECT_FALSE(IsAbsolutePath(L"x"));
  EXPECT_FALSE(IsAbsolutePath(L""));
}

}  // namespace
}  // namespace ui
