#include "app/json_file.h"

#include <windows.h>

#include <gtest/gtest.h>
#include <vector>

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

// Another program holds the file open: sharing only reading, so that it
// cannot be replaced, or sharing only its deletion, so that it cannot be
// read (merging over it would lose its keys; under Wine it cannot be
// replaced either, so there this also passes for a merge that would try).
TEST(MergeJsonFileTest, HeldFileKeepsItsContent) {
  for (const DWORD share : {DWORD{FILE_SHARE_READ}, DWORD{FILE_SHARE_DELETE}}) {
    SCOPED_TRACE(share);
    ScopedTempDir dir;
    const std::wstring path = dir.Child(L"config.json");
    const std::string old = "{\"bd_vid\": \"keep\"}";
    ASSERT_TRUE(WriteBytes(path, old));
    HANDLE lock = ::CreateFileW(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, lock);
    EXPECT_FALSE(MergeJsonFile(path, {{"installer", "new"}}));
    {
      PendingJsonMerge merge(path, {{"installer", "new"}});
      EXPECT_FALSE(merge.Commit());
    }
    ::CloseHandle(lock);
    EXPECT_EQ(old, ReadBytes(path));
    EXPECT_EQ(0, OtherFiles(dir.path(), L"config.json"));
  }
}

TEST(MergeJsonFileTest, UnwritableFolderFailsQuietly) {
  ScopedTempDir dir;
  ASSERT_TRUE(WriteBytes(dir.Child(L"file"), "x"));
  // The parent "folder" is a file: nothing can be created under it.
  EXPECT_FALSE(MergeJsonFile(dir.Child(L"file\\config.json"), {{"a", 1}}));
  EXPECT_EQ("x", ReadBytes(dir.Child(L"file")));
  // Prepared there, nothing can be written ahead either; the commit fails
  // the same way.
  PendingJsonMerge merge(dir.Child(L"file\\config.json"), {{"a", 1}});
  EXPECT_FALSE(merge.Commit());
  EXPECT_EQ("x", ReadBytes(dir.Child(L"file")));
  EXPECT_EQ(0, OtherFiles(dir.path(), L"file"));
}

// The files beside a config that hold a merged text waiting to be put in
// place.
std::vector<std::wstring> WaitingTexts(const std::wstring& folder) {
  std::vector<std::wstring> found;
  WIN32_FIND_DATAW data;
  HANDLE find = ::FindFirstFileW((folder + L"\\cfg*.tmp").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return found;
  do {
    found.push_back(folder + L"\\" + data.cFileName);
  } while (::FindNextFileW(find, &data));
  ::FindClose(find);
  return found;
}

TEST(PendingJsonMergeTest, CommitPutsTheTextWrittenAheadInPlace) {
  ScopedTempDir dir;
  const std::wstring path = dir.Child(L"config.json");
  ASSERT_TRUE(WriteBytes(path, R"({"bd_vid":"v1","installer":"old"})"));
  {
    PendingJsonMerge merge(path, {{"installer", "installer\\p.zip"}});
    // Written ahead, but nothing changes until the commit.
    const std::vector<std::wstring> waiting = WaitingTexts(dir.path());
    ASSERT_EQ(1u, waiting.size());
    EXPECT_EQ("{\"bd_vid\": \"v1\", \"installer\": \"installer\\\\p.zip\"}", ReadBytes(waiting[0]));
    EXPECT_EQ(R"({"bd_vid":"v1","installer":"old"})", ReadBytes(path));
    ASSERT_TRUE(merge.Commit());
  }
  EXPECT_EQ("{\"bd_vid\": \"v1\", \"installer\": \"installer\\\\p.zip\"}", ReadBytes(path));
  EXPECT_EQ(0, OtherFiles(dir.path(), L"config.json"));

  // Into a folder that did not exist yet, for a file that did not either.
  const std::wstring fresh = dir.Child(L"new\\config.json");
  PendingJsonMerge first(fresh, {{"a", "1"}});
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(fresh.c_str()));
  ASSERT_TRUE(first.Commit());
  EXPECT_EQ("{\"a\": \"1\"}", ReadBytes(fresh));
  EXPECT_TRUE(WaitingTexts(dir.Child(L"new")).empty());
}

// Whatever happened to the file between preparing and committing, the
// commit neither loses a key written since nor leaves anything behind.
TEST(PendingJsonMergeTest, AFileChangedSinceIsMergedAnew) {
  ScopedTempDir dir;
  const std::wstring path = dir.Child(L"config.json");
  ASSERT_TRUE(WriteBytes(path, R"({"launch_cmd":"x"})"));
  PendingJsonMerge merge(path, {{"installer", "i"}});
  ASSERT_TRUE(MergeJsonFile(path, {{"bd_vid", "late"}}));
  ASSERT_TRUE(merge.Commit());
  EXPECT_EQ("{\"bd_vid\": \"late\", \"installer\": \"i\", \"launch_cmd\": \"x\"}", ReadBytes(path));
  EXPECT_EQ(0, OtherFiles(dir.path(), L"config.json"));
  ASSERT_TRUE(::DeleteFileW(path.c_str()));

  // Created since.
  PendingJsonMerge created(path, {{"installer", "i"}});
  ASSERT_TRUE(WriteBytes(path, R"({"bd_vid":"new"})"));
  ASSERT_TRUE(created.Commit());
  EXPECT_EQ("{\"bd_vid\": \"new\", \"installer\": \"i\"}", ReadBytes(path));

  // Deleted since: the foreign key went with it, ours is written.
  PendingJsonMerge deleted(path, {{"launch_cmd", "y"}});
  ASSERT_TRUE(::DeleteFileW(path.c_str()));
  ASSERT_TRUE(deleted.Commit());
  EXPECT_EQ("{\"launch_cmd\": \"y\"}", ReadBytes(path));

  // Its text lost: written anew.
  PendingJsonMerge lost(path, {{"installer", "j"}});
  const std::vector<std::wstring> waiting = WaitingTexts(dir.path());
  ASSERT_EQ(1u, waiting.size());
  ASSERT_TRUE(::DeleteFileW(waiting[0].c_str()));
  ASSERT_TRUE(lost.Commit());
  EXPECT_EQ("{\"installer\": \"j\", \"launch_cmd\": \"y\"}", ReadBytes(path));
  EXPECT_EQ(0, OtherFiles(dir.path(), L"config.json"));
}

TEST(PendingJsonMergeTest, ReadOnlyFileKeepsItsContentAndNothingIsLeft) {
  ScopedTempDir dir;
  const std::wstring path = dir.Child(L"config.json");
  const std::string old = "{\"installer\": \"keep\"}";
  ASSERT_TRUE(WriteBytes(path, old));
  {
    PendingJsonMerge merge(path, {{"installer", "new"}});
    ASSERT_TRUE(::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(merge.Commit());
  }
  EXPECT_EQ(old, ReadBytes(path));
  EXPECT_EQ(0, OtherFiles(dir.path(), L"config.json"));
  {
    PendingJsonMerge merge(path, {{"installer", "new"}});  // read-only from the start
    EXPECT_FALSE(merge.Commit());
  }
  EXPECT_EQ(old, ReadBytes(path));
  EXPECT_EQ(0, OtherFiles(dir.path(), L"config.json"));
}

TEST(PendingJsonMergeTest, DroppedUncommittedItChangesNothing) {
  ScopedTempDir dir;
  const std::wstring path = dir.Child(L"config.json");
  ASSERT_TRUE(WriteBytes(path, "{}"));
  {
    PendingJsonMerge merge(path, {{"installer", "never"}});
    EXPECT_EQ(1u, WaitingTexts(dir.path()).size());
  }
  EXPECT_EQ("{}", ReadBytes(path));
  EXPECT_EQ(0, OtherFiles(dir.path(), L"config.json"));
}

}  // namespace
