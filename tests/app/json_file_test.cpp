#include "app/json_file.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "tests/support/scoped_temp_dir.h"

namespace {

using testing_support::ReadBytes;
using testing_support::ScopedTempDir;
using testing_support::WriteBytes;

// Names in |folder| other than |except|: leftovers of a failed write.
int OtherFiles(const std::wstring& folder, const std::wstring& except) {
  int count = 0;
  WIN32_FIND_DATAW data;
  HANDLE find = ::FindFirstFileW((folder + L"\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return 0;
  do {
    const std::wstring name = data.cFileName;
    if (name != L"." && name != L".." && name != except) ++count;
  } while (::FindNextFileW(find, &data));
  ::FindClose(find);
  return count;
}

TEST(ReadJsonFileTest, MissingUnreadableOrMalformedFilesAreNull) {
  ScopedTempDir dir;
  EXPECT_TRUE(ReadJsonFile(dir.Child(L"missing.json")).is_null());
  ASSERT_TRUE(WriteBytes(dir.Child(L"bad.json"), "{\"installer\": "));
  EXPECT_TRUE(ReadJsonFile(dir.Child(L"bad.json")).is_null());
  EXPECT_TRUE(ReadJsonFile(dir.path()).is_null());  // a folder
  ASSERT_TRUE(WriteBytes(dir.Child(L"good.json"), "{\"bd_vid\": \"v1\"}"));
  EXPECT_EQ("v1", JsonString(ReadJsonFile(dir.Child(L"good.json")), "bd_vid"));
}

TEST(MergeJsonFileTest, KeepsForeignKeysAndReplacesItsOwn) {
  ScopedTempDir dir;
  const std::wstring path = dir.Child(L"config.json");
  ASSERT_TRUE(
      WriteBytes(path, R"({"installer":"installer\\a.exe","bd_vid":"v1","launch_cmd":"old"})"));
  ASSERT_TRUE(
      MergeJsonFile(path, {{"launch_cmd", "{installer} /S"}, {"tutorial_url", "https://t"}}));
  EXPECT_EQ(
      "{\"bd_vid\": \"v1\", \"installer\": \"installer\\\\a.exe\", \"launch_cmd\": \"{installer} "
      "/S\", "
      "\"tutorial_url\": \"https://t\"}",
      ReadBytes(path));
  EXPECT_EQ(0, OtherFiles(dir.path(), L"config.json"));
}

TEST(MergeJsonFileTest, ReplacesContentThatIsNotAnObject) {
  ScopedTempDir dir;
  const std::wstring path = dir.Child(L"config.json");
  ASSERT_TRUE(WriteBytes(path, "[1, 2] not even json"));
  ASSERT_TRUE(MergeJsonFile(path, {{"installer", "installer\\b.zip"}}));
  EXPECT_EQ("{\"installer\": \"installer\\\\b.zip\"}", ReadBytes(path));
}

// A configuration file nested deep enough to exhaust the stack of any
// recursive copy or writer reads as malformed and is replaced.
TEST(MergeJsonFileTest, ReplacesContentNestedTooDeep) {
  ScopedTempDir dir;
  const std::wstring path = dir.Child(L"config.json");
  ASSERT_TRUE(WriteBytes(path, "{\"deep\": " + std::string(100000, '[') + "\"\xfe\"" +
                                   std::string(100000, ']') + "}"));
  EXPECT_TRUE(ReadJsonFile(path).is_null());
  ASSERT_TRUE(MergeJsonFile(path, {{"installer", "installer\\b.zip"}}));
  EXPECT_EQ("{\"installer\": \"installer\\\\b.zip\"}", ReadBytes(path));
}

TEST(MergeJsonFileTest, CreatesMissingFolders) {
  ScopedTempDir dir;
  const std::wstring path = dir.Child(L"fernwick_downloader\\deeper\\config.json");
  ASSERT_TRUE(MergeJsonFile(path, {{"bd_vid", "v2"}}));
  EXPECT_EQ("{\"bd_vid\": \"v2\"}", ReadBytes(path));
}

TEST(MergeJsonFileTest, ReadOnlyFileKeepsItsContent) {
  ScopedTempDir dir;
  const std::wstring path = dir.Child(L"config.json");
  const std::string old = "{\"installer\": \"keep\"}";
  ASSERT_TRUE(WriteBytes(path, old));
  ASSERT_TRUE(::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_FALSE(MergeJsonFile(path, {{"installer", "new"}}));
  EXPECT_EQ(old, ReadBytes(path));
  EXPECT_EQ(0, OtherFiles(dir.path(), L"config.json"));
}

TEST(MergeJsonFileTest, LockedFileKeepsItsContent) {
  ScopedTempDir dir;
  const std::wstring path = dir.Child(L"config.json");
  const std::string old = "{\"installer\": \"keep\"}";
  ASSERT_TRUE(WriteBytes(path, old));
  // Another program holds the file open and shares only reading.
  HANDLE lock = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, lock);
  EXPECT_FALSE(MergeJsonFile(path, {{"installer", "new"}}));
  ::CloseHandle(lock);
  EXPECT_EQ(old, ReadBytes(path));
  EXPECT_EQ(0, OtherFiles(dir.path(), L"config.json"));
}

TEST(MergeJsonFileTest, UnwritableFolderFailsQuietly) {
  ScopedTempDir dir;
  ASSERT_TRUE(WriteBytes(dir.Child(L"file"), "x"));
  // The parent "folder" is a file: nothing can be created under it.
  EXPECT_FALSE(MergeJsonFile(dir.Child(L"file\\config.json"), {{"a", 1}}));
  EXPECT_EQ("x", ReadBytes(dir.Child(L"file")));
}

}  // namespace
