#include "archive/package_extraction.h"

#include <windows.h>

#include <gtest/gtest.h>
#include <string>
#include <thread>
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
  std::vector<std::wstring> created;
  EXPECT_TRUE(EnsureDirectories(root.c_str(), L"a\\b/c", &created));
  EXPECT_EQ(created, (Names{root, root + L"a", root + L"a\\b", root + L"a\\b/c"}));
  created.clear();
  EXPECT_TRUE(EnsureDirectories(root.c_str(), L"a\\b/c", &created));  // existing is fine
  EXPECT_TRUE(created.empty());
  EXPECT_TRUE(EnsureDirectories(root.c_str(), L"a/d/", &created));
  EXPECT_EQ(created, (Names{root + L"a/d"}));
  EXPECT_EQ(ListTree(dir.path()),
            (Names{L"root\\", L"root\\a\\", L"root\\a\\b\\", L"root\\a\\b\\c\\", L"root\\a\\d\\"}));
  archive_test::WriteFileBytes(dir / L"file", {});
  EXPECT_FALSE(EnsureDirectories(nullptr, (dir / L"file\\sub").c_str()));
}

// The uncompressed sizes the directory of `zip_path` records.
uint64_t RecordedTotal(const std::wstring& zip_path) {
  ZipReader* zip = OpenArchive(zip_path.c_str(), 0, ZipSourceKind::FileName);
  uint64_t total = 0;
  if (zip) {
    EXPECT_EQ(GetUncompressedTotal(zip, &total), kZipOk);
    CloseArchive(zip);
  }
  return total;
}

ExtractionOptions Bounds(uint64_t max_bytes, uint32_t max_entries, uint64_t free_space) {
  ExtractionOptions options;
  options.max_total_bytes = max_bytes;
  options.max_entries = max_entries;
  options.free_space = [free_space](const std::wstring&) { return free_space; };
  return options;
}

TEST(ExtractPackageTest, APackageBeyondABoundIsRefusedBeforeAnythingIsWritten) {
  const std::wstring zip = DataPath(L"basic.zip");
  const uint64_t total = RecordedTotal(zip);
  EXPECT_EQ(total, 3000u + 1000 + 100000 + 14 + 13);
  ScratchDir dir;
  const std::wstring target = dir / L"new\\product";
  struct Case {
    ExtractionOptions options;
    ExtractionStatus expected;
  } refused[] = {
      {Bounds(total, 6, total), ExtractionStatus::kTooManyEntries},
      {Bounds(total - 1, 7, total), ExtractionStatus::kTooLarge},
      {Bounds(total, 7, total - 1), ExtractionStatus::kNoSpace},
  };
  for (const Case& c : refused) {
    ExtractionResult result = ExtractPackage(zip.c_str(), target.c_str(), c.options);
    EXPECT_EQ(result.status, c.expected);
    EXPECT_EQ(result.entries_written, 0u);
    EXPECT_EQ(result.bytes_written, 0u);
    EXPECT_TRUE(ListTree(dir.path()).empty());  // not even the target folder
  }

  // Exactly at every bound is fine.
  ExtractionResult result = ExtractPackage(zip.c_str(), target.c_str(), Bounds(total, 7, total));
  EXPECT_EQ(result.status, ExtractionStatus::kOk);
  EXPECT_EQ(result.entries_written, 7u);
  EXPECT_EQ(result.entries_skipped, 0u);
  EXPECT_EQ(result.bytes_written, total);
  EXPECT_EQ(ListTree(target).size(), 8u);

  // A target that is a file cannot be used.
  archive_test::WriteFileBytes(dir / L"file", {'x'});
  EXPECT_EQ(ExtractPackage(zip.c_str(), (dir / L"file").c_str(), ExtractionOptions()).status,
            ExtractionStatus::kWriteFailed);
  EXPECT_EQ(ReadFileBytes(dir / L"file"), (Bytes{'x'}));
}

TEST(ExtractPackageTest, EntriesThatLieAboutTheirSizesStayWithinTheRecordedTotal) {
  // short.bin holds 50,000 bytes but records 1,000, long.bin records 5,000
  // more than it holds: each fails (CRC, data ended) with its data left as
  // written, and what is written adds up to no more than the records say.
  const std::wstring zip = DataPath(L"lying_sizes.zip");
  const uint64_t total = RecordedTotal(zip);
  ScratchDir dir;
  ExtractionResult result =
      ExtractPackage(zip.c_str(), dir.path().c_str(), Bounds(total, 3, total));
  EXPECT_EQ(result.status, ExtractionStatus::kOk);
  EXPECT_EQ(result.entries_written, 0u);
  EXPECT_EQ(result.entries_skipped, 3u);
  uint64_t on_disk = 0;
  for (const std::wstring& name : ListTree(dir.path())) on_disk += ReadFileBytes(dir / name).size();
  EXPECT_EQ(result.bytes_written, on_disk);
  EXPECT_LE(on_disk, total);
}

// large/zeros.zip: first.txt, sub/zeros.bin (12 MiB of zeros), last.txt.
TEST(ExtractPackageTest, AStopWhileWritingTakesBackWhatTheRunCreated) {
  const std::wstring zip = DataPath(L"large/zeros.zip");
  ScratchDir dir;
  const std::wstring target = dir / L"product";
  // What was there before the run stays, a replaced file with its new data.
  ASSERT_TRUE(EnsureDirectories(nullptr, (target + L"\\keep\\sub").c_str()));
  archive_test::WriteFileBytes(target + L"\\first.txt", {'o', 'l', 'd'});
  archive_test::WriteFileBytes(target + L"\\keep\\sub\\mine.txt", {'m'});
  const Names before = ListTree(target);

  // The volume fills up while zeros.bin is written.
  int space_checks = 0;
  ExtractionOptions filling;
  filling.free_space = [&](const std::wstring& folder) -> uint64_t {
    EXPECT_EQ(folder, target);
    return ++space_checks == 1 ? uint64_t{1} << 30 : 4096;
  };
  ExtractionResult result = ExtractPackage(zip.c_str(), target.c_str(), filling);
  EXPECT_EQ(result.status, ExtractionStatus::kNoSpace);
  EXPECT_EQ(space_checks, 2);
  EXPECT_EQ(result.entries_written, 1u);
  EXPECT_EQ(ListTree(target), before);
  EXPECT_EQ(ReadFileBytes(target + L"\\first.txt"), (Bytes{'f', 'i', 'r', 's', 't', '\n'}));

  // Cancelled in the middle of zeros.bin, into a target the run makes: the
  // target and the folders above it go too.
  const std::wstring fresh = dir / L"made\\by\\run";
  ExtractionOptions cancelling;
  cancelling.progress = [](const ExtractionProgress& p) { return p.bytes_done < (6u << 20); };
  result = ExtractPackage(zip.c_str(), fresh.c_str(), cancelling);
  EXPECT_EQ(result.status, ExtractionStatus::kCancelled);
  EXPECT_FALSE(archive_test::FileExists(dir / L"made"));
  EXPECT_EQ(ListTree(target), before);
}

TEST(ExtractPackageTest, RunsOnWorkerThreadsWithProgressOnTheExtractingThread) {
  struct Report {
    DWORD thread;
    ExtractionProgress progress;
  };
  ScratchDir dir;
  std::vector<Report> reports;
  DWORD worker_id = 0;
  ExtractionResult large, basic;
  std::thread worker([&] {
    worker_id = GetCurrentThreadId();
    ExtractionOptions options;
    options.progress = [&](const ExtractionProgress& p) {
      reports.push_back({GetCurrentThreadId(), p});
      return true;
    };
    large = ExtractPackage(DataPath(L"large/zeros.zip").c_str(), (dir / L"large").c_str(), options);
  });
  std::thread other([&] {
    basic = ExtractPackage(DataPath(L"basic.zip").c_str(), (dir / L"basic").c_str(),
                           ExtractionOptions());
  });
  worker.join();
  other.join();

  EXPECT_EQ(basic.status, ExtractionStatus::kOk);
  EXPECT_EQ(ListTree(dir / L"basic").size(), 8u);
  ASSERT_EQ(large.status, ExtractionStatus::kOk);
  EXPECT_EQ(ListTree(dir / L"large"),
            (Names{L"first.txt", L"last.txt", L"sub\\", L"sub\\zeros.bin"}));
  EXPECT_EQ(ReadFileBytes(dir / L"large\\sub\\zeros.bin"), Bytes(12u << 20, 0));

  const uint64_t total = (12u << 20) + 6 + 5;
  ASSERT_FALSE(reports.empty());
  EXPECT_EQ(reports.front().progress.bytes_done, 0u);
  EXPECT_EQ(reports.back().progress.bytes_done, total);
  EXPECT_EQ(reports.back().progress.entries_done, 3u);
  int within_entries = 0;
  for (size_t i = 0; i < reports.size(); ++i) {
    const ExtractionProgress& p = reports[i].progress;
    EXPECT_EQ(reports[i].thread, worker_id);
    EXPECT_EQ(p.bytes_total, total);
    EXPECT_EQ(p.entries_total, 3u);
    if (i == 0) continue;
    const ExtractionProgress& last = reports[i - 1].progress;
    EXPECT_GE(p.bytes_done, last.bytes_done);
    EXPECT_GE(p.entries_done, last.entries_done);
    if (p.entries_done == last.entries_done) ++within_entries;
  }
  // 12 MiB in steps of 4: two or three reports inside zeros.bin.
  EXPECT_GE(within_entries, 2);
  EXPECT_LE(reports.size(), 8u);
}

// lying_count.zip counts 65,535 entries over a directory of 1,000.
TEST(ExtractPackageTest, ADirectoryThatCountsTooManyEntriesGivesUpEveryRealOne) {
  ScratchDir dir;
  ExtractionResult result =
      ExtractPackage(DataPath(L"lying_count.zip").c_str(), dir.path().c_str(), ExtractionOptions());
  EXPECT_EQ(result.status, ExtractionStatus::kOk);
  EXPECT_EQ(result.entries_written, 1000u);
  EXPECT_EQ(result.entries_skipped, 65535u - 1000);
  const Names tree = ListTree(dir.path());
  ASSERT_EQ(tree.size(), 1001u);
  EXPECT_EQ(tree[1], L"l\\0000");
  EXPECT_EQ(tree[1000], L"l\\0999");
  Bytes last = ReadFileBytes(dir / L"l\\0999");
  EXPECT_EQ(std::string(last.begin(), last.end()), "999\n");
}

}  // namespace
