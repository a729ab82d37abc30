#include "app/app_directories.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace {

TEST(AppDirectoriesTest, LocalAppDataExistsAndEndsInSeparator) {
  const std::wstring folder = LocalAppDataDirectory();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(L'\\', folder.back());
  const DWORD attributes = ::GetFileAttributesW(folder.c_str());
  ASSERT_NE(INVALID_FILE_ATTRIBUTES, attributes);
  EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

TEST(AppDirectoriesTest, DownloaderDirectoryIsNamedAfterTheProduct) {
  EXPECT_EQ(LocalAppDataDirectory() + L"fernwick_downloader", DownloaderDirectory(L"fernwick"));
}

}  // namespace
