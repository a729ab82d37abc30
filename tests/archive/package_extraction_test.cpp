#include "archive/package_extraction.h"

#include <windows.h>

#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "archive/zip_reader.h"
#include "tests/archive/archive_test_support.h"

namespace {

using archive_test::DataPath;
using archive_test::ListTree;
using archive_test::ReadFileBytes;
using archive_test::ScratchDir;
using Bytes = std::vector<uint8_t>;
using Names = std::vector<std::wstring>;

DWORD Attributes(const std::wstring& path) { return GetFileAttributesW(path.c_str()); }

TEST(PackageExtractionTest, UnpacksFilesFoldersAndEmptyFilesWithTheirTimesAndAttributes) {
  ScratchDir dir;
  const std::wstring target = dir / L"product";
  ASSERT_TRUE(ExtractArchive(DataPath(L"basic.zip").c_str(), target.c_str()));

  EXPECT_EQ(ListTree(target),
            (Names{L"data\\", L"data\\big.bin", L"data\\stored.bin", L"docs\\",
                   L"docs\\Caf\u00e9.txt", L"empty.txt", L"readme.txt", L"readonly.txt"}));
  for (const wchar_t* name : {L"data/big.bin", L"data/stored.bin", L"docs/Caf\u00e9.txt",
                              L"readme.txt", L"readonly.txt"}) {
    EXPECT_EQ(ReadFileBytes(target + L"\\" + name),
              ReadFileBytes(DataPath(std::wstring(L"src/basic/") + name)))
        << name;
  }
  EXPECT_TRUE(ReadFileBytes(target + L"\\empty.txt").empty());
  EXPECT_TRUE(Attributes(target + L"\\readonly.txt") & FILE_ATTRIBUTE_READONLY);
  EXPECT_FALSE(Attributes(target + L"\\readme.txt") & FILE_ATTRIBUTE_READONLY);

  // The empty file carries the entry's time too.
  ZipReader* zip = OpenArchive(DataPath(L"basic.zip").c_str(), 0, ZipSourceKind::FileName);
  ASSERT_NE(zip, nullptr);
  ZipEntry entry;
  ASSERT_EQ(GetEntry(zip, 4, &entry), kZipOk);
  CloseArchive(zip);
  WIN32_FILE_ATTRIBUTE_DATA info;
  ASSERT_TRUE(
      GetFileAttributesExW((target + L"\\empty.txt").c_str(), GetFileExInfoStandard, &info));
  EXPECT_EQ(CompareFileTime(&info.ftLastWriteTime, &entry.write_time), 0);
}

TEST(PackageExtractionTest, EscapingNamesLandDirectlyUnderTheTargetOrAreSkipped) {
  ZipReader* zip = OpenArchive(DataPath(L"escaping.zip").c_str(), 0, ZipSourceKind::FileName);
  ASSERT_NE(zip, nullptr);
  const wchar_t* sanitised[] = {L"x.txt", L"x.txt", L"x.txt", L"b.txt"};
  for (int i = 0; i < 4; ++i) {
    ZipEntry entry;
    ASSERT_EQ(GetEntry(zip, i, &entry), kZipOk);
    EXPECT_STREQ(entry.name, sanitised[i]);
  }
  CloseArchive(zip);

  ScratchDir dir;
  const std::wstring target = dir / L"deep\\er\\target";
  ASSERT_TRUE(ExtractArchive(DataPath(L"escaping.zip").c_str(), target.c_str()));
  // "q/<NUL>../../z.txt" ends at the NUL: the folder "q".
  EXPECT_EQ(ListTree(dir.path()),
            (Names{L"deep\\", L"deep\\er\\", L"deep\\er\\target\\", L"deep\\er\\target\\b.txt",
                   L"deep\\er\\target\\inside\\", L"deep\\er\\target\\inside\\ok.txt",
                   L"deep\\er\\target\\q\\", L"deep\\er\\target\\x.txt"}));
  Bytes last = ReadFileBytes(target + L"\\x.txt");
  EXPECT_EQ(std::string(last.begin(), last.end()), "escape 2\n");
}

TEST(PackageExtractionTest, AReadOnlyFileInTheWayFailsThatEntryOnly) {
  ScratchDir dir;
  const std::wstring target = dir / L"product";
  ASSERT_TRUE(EnsureDirectories(nullptr, target.c_str()));
  archive_test::WriteFileBytes(target + L"\\readme.txt", {'o', 'l', 'd'});
  SetFileAttributesW((target + L"\\readme.txt").c_str(), FILE_ATTRIBUTE_READONLY);

  ASSERT_TRUE(ExtractArchive(DataPath(L"basic.zip").c_str(), target.c_str()));
  EXPECT_EQ(ReadFileBytes(target + L"\\readme.txt"), (Bytes{'o', 'l', 'd'}));
  EXPECT_EQ(ReadFileBytes(target + L"\\data\\big.bin"),
            ReadFileBytes(DataPath(L"src/basic/data/big.bin")));
  EXPECT_EQ(ListTree(target).size(), 8u);

  ZipReader* zip = OpenArchive(DataPath(L"basic.zip").c_str(), 0, ZipSourceKind::FileName);
  ASSERT_NE(zip, nullptr);
  EXPECT_EQ(ExtractEntry(zip, 0, (target + L"\\readme.txt").c_str(), 0, ZipSourceKind::FileName),
            kZipCannotOpen);
  CloseArchive(zip);
}

TEST(PackageExtractionTest, FoldersComeFromAttributesOrATrailingSlash) {
  ScratchDir dir;
  ASSERT_TRUE(ExtractArchive(DataPath(L"attributes.zip").c_str(), dir.path().c_str()));
  EXPECT_EQ(ListTree(dir.path()), (Names{L"bare\\", L"folder\\", L"hidden.txt"}));
  EXPECT_EQ(
      Attributes(dir / L"hidden.txt") &
          (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE),
      static_cast<DWORD>(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
}

TEST(PackageExtractionTest, DamagedAndOverlongEntriesDoNotStopTheOthers) {
  ScratchDir dir;
  ASSERT_TRUE(ExtractArchive(DataPath(L"bad_crc.zip").c_str(), (dir / L"crc").c_str()));
  const Bytes good = ReadFileBytes(DataPath(L"src/damaged/good.txt"));
  EXPECT_EQ(ReadFileBytes(dir / L"crc\\bad_crc.txt"), good);  // left as written
  EXPECT_EQ(ReadFileBytes(dir / L"crc\\good.txt"), good);

  // A name too long for a path is refused, never cut.
  ASSERT_TRUE(ExtractArchive(DataPath(L"long_name.zip").c_str(), (dir / L"long").c_str()));
  EXPECT_EQ(ListTree(dir / L"long"), (Names{L"short.txt"}));

  ASSERT_TRUE(ExtractArchive(DataPath(L"stub.zip").c_str(), (dir / L"stub").c_str()));
  EXPECT_EQ(ListTree(dir / L"stub").size(), 8u);
}

TEST(PackageExtractionTest, FailsOnlyWhenTheArchiveCannotBeOpened) {
  ScratchDir dir;
  EXPECT_FALSE(ExtractArchive((dir / L"missing.zip").c_str(), (dir / L"out").c_str()));
  archive_test::WriteFileBytes(dir / L"not.zip", Bytes(1000, 'z'));
  EXPECT_FALSE(ExtractArchive((dir / L"not.zip").c_str(), (dir / L"out").c_str()));
  // No target would mean the root of the current drive.
  EXPECT_FALSE(ExtractArchive(DataPath(L"basic.zip").c_str(), L""));
  EXPECT_FALSE(ExtractArchive(DataPath(L"basic.zip").c_str(), nullptr));
  EXPECT_EQ(ListTree(dir.path()), (Names{L"not.zip"}));
}

TEST(PackageExtractionTest, EnsureDirectoriesMakesEveryFolderOnTheWay) {
  ScratchDir dir;
  const std::wstring root = dir / L"root\\";
  EXPECT_TRUE(EnsureDirectories(root.c_str(), L"a\\b/c"));
  EXPECT_TRUE(EnsureDirectories(root.c_str(), L"a\\b/c"));  // existing is fine
  EXPECT_TRUE(EnsureDirectories(root.c_str(), L"a/d/"));
  EXPECT_EQ(ListTree(dir.path()),
            (Names{L"root\\", L"root\\a\\", L"root\\a\\b\\", L"root\\a\\b\\c\\", L"root\\a\\d\\"}));
  archive_test::WriteFileBytes(dir / L"file", {});
  EXPECT_FALSE(EnsureDirectories(nullptr, (dir / L"file\\sub").c_str()));
}

}  // namespace
