// Zip64 archives written by real tools and by the raw writer of the test
// data script, through the reader and ExtractPackage: readable ones unpack
// byte-equal, damaged zip64 data fails cleanly, and a package the reader can
// make nothing of never passes as unpacked.
#include <windows.h>

#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "archive/package_extraction.h"
#include "archive/zip_reader.h"
#include "tests/archive/archive_test_support.h"

namespace {

using archive_test::DataPath;
using archive_test::ListTree;
using archive_test::ReadFileBytes;
using archive_test::ScratchDir;
using archive_test::WriteFileBytes;
using Bytes = std::vector<uint8_t>;
using Names = std::vector<std::wstring>;

const wchar_t* const kToolFiles[] = {L"zip64\\readme.txt", L"zip64\\stored.bin",
                                     L"zip64\\empty.txt"};
const wchar_t* const kRawFiles[] = {L"zip64\\only_offset.txt", L"zip64\\only_usize.txt",
                                    L"zip64\\only_csize.txt", L"zip64\\all.txt",
                                    L"zip64\\none.txt"};

void ExpectSameFiles(const std::wstring& target, const std::wstring& source_folder,
                     const std::vector<const wchar_t*>& names, const std::wstring& archive) {
  for (const wchar_t* name : names) {
    std::wstring source = source_folder;
    for (const wchar_t* c = name; *c; ++c) source += *c == L'\\' ? L'/' : *c;
    ASSERT_TRUE(archive_test::FileExists(target + L"\\" + name)) << archive << " " << name;
    EXPECT_EQ(ReadFileBytes(target + L"\\" + name), ReadFileBytes(DataPath(source)))
        << archive << " " << name;
  }
}

TEST(Zip64Test, ArchivesFromRealToolsUnpackByteEqual) {
  // zipfile: zip64 local headers over classic central records; streamed: a
  // 64-bit data descriptor too; zip -fz: saturated central sizes, the zip64
  // end record and locator, also behind a stub.
  for (const wchar_t* archive :
       {L"zip64_python.zip", L"zip64_descriptor.zip", L"zip64_fz.zip", L"zip64_fz_stub.zip"}) {
    ScratchDir dir;
    const std::wstring target = dir / L"out";
    ExtractionResult result = ExtractPackage(DataPath(archive).c_str(), target.c_str(), {});
    EXPECT_EQ(result.status, ExtractionStatus::kOk) << archive;
    EXPECT_EQ(result.entries_skipped, 0u) << archive;
    EXPECT_GE(result.entries_written, 3u) << archive;
    EXPECT_EQ(ListTree(target),
              (Names{L"zip64\\", L"zip64\\empty.txt", L"zip64\\readme.txt", L"zip64\\stored.bin"}))
        << archive;
    ExpectSameFiles(target, L"src/zip64/", {std::begin(kToolFiles), std::end(kToolFiles)}, archive);
    EXPECT_TRUE(ExtractArchive(DataPath(archive).c_str(), (dir / L"again").c_str())) << archive;
  }
}

TEST(Zip64Test, OnlyTheSaturatedFieldsAreReadFromTheBlockInTheirOrder) {
  for (const wchar_t* archive :
       {L"zip64_raw.zip", L"zip64_raw_stub.zip", L"zip64_raw_extensible.zip"}) {
    ScratchDir dir;
    ExtractionResult result = ExtractPackage(DataPath(archive).c_str(), dir.path().c_str(), {});
    EXPECT_EQ(result.status, ExtractionStatus::kOk) << archive;
    EXPECT_EQ(result.entries_written, 5u) << archive;
    EXPECT_EQ(result.entries_skipped, 0u) << archive;
    ExpectSameFiles(dir.path(), L"src/zip64_raw/", {std::begin(kRawFiles), std::end(kRawFiles)},
                    archive);
  }
  ZipReader* zip = OpenArchive(DataPath(L"zip64_raw_stub.zip").c_str(), 0, ZipSourceKind::FileName);
  ASSERT_NE(zip, nullptr);
  ZipEntry entry;
  ASSERT_EQ(GetEntry(zip, 3, &entry), kZipOk);
  EXPECT_STREQ(entry.name, L"zip64/all.txt");
  EXPECT_EQ(entry.uncompressed_size, 9u);
  EXPECT_EQ(entry.compressed_size, 9u);
  char data[16] = {};
  EXPECT_EQ(ExtractEntry(zip, 3, data, sizeof data, ZipSourceKind::Memory), kZipOk);
  EXPECT_EQ(std::string(data), "all four\n");
  CloseArchive(zip);
}

TEST(Zip64Test, DamagedZip64EndRecordsFailToOpenAndWriteNothing) {
  // A locator pointing past the file, disagreeing counts, a count no
  // directory of that size holds, a directory past the file, a record size
  // past the locator, a file cut inside the record.
  for (const wchar_t* archive :
       {L"zip64_bad_locator.zip", L"zip64_bad_counts.zip", L"zip64_huge_count.zip",
        L"zip64_bad_directory.zip", L"zip64_bad_record_size.zip", L"zip64_truncated.zip"}) {
    EXPECT_EQ(OpenArchive(DataPath(archive).c_str(), 0, ZipSourceKind::FileName), nullptr)
        << archive;
    EXPECT_EQ(LastZipStatus(), kZipCannotOpen) << archive;
    ScratchDir dir;
    ExtractionResult result = ExtractPackage(DataPath(archive).c_str(), (dir / L"out").c_str(), {});
    EXPECT_EQ(result.status, ExtractionStatus::kCannotOpen) << archive;
    EXPECT_TRUE(ListTree(dir.path()).empty()) << archive;
  }
}

TEST(Zip64Test, ARecordMissingItsZip64FieldIsSkippedAndTheOthersUnpack) {
  ZipReader* zip =
      OpenArchive(DataPath(L"zip64_missing_field.zip").c_str(), 0, ZipSourceKind::FileName);
  ASSERT_NE(zip, nullptr);
  ZipEntry entry;
  EXPECT_EQ(GetEntry(zip, 0, &entry), kZipCorrupt);
  CloseArchive(zip);

  ScratchDir dir;
  ExtractionResult result =
      ExtractPackage(DataPath(L"zip64_missing_field.zip").c_str(), dir.path().c_str(), {});
  EXPECT_EQ(result.status, ExtractionStatus::kOk);
  EXPECT_EQ(result.entries_written, 1u);
  EXPECT_EQ(result.entries_skipped, 1u);
  EXPECT_EQ(ListTree(dir.path()), (Names{L"zip64\\", L"zip64\\fine.txt"}));
}

TEST(Zip64Test, APackageWithNoReadableEntryIsNeverUnpacked) {
  // Every local header damaged: the directory reads, no entry does.
  Bytes bytes = ReadFileBytes(DataPath(L"zip64_raw.zip"));
  int damaged = 0;
  for (size_t i = 0; i + 4 <= bytes.size(); ++i) {
    if (bytes[i] == 'P' && bytes[i + 1] == 'K' && bytes[i + 2] == 3 && bytes[i + 3] == 4) {
      bytes[i + 3] = 9;
      ++damaged;
    }
  }
  ASSERT_EQ(damaged, 5);
  ScratchDir dir;
  WriteFileBytes(dir / L"damaged.zip", bytes);
  const std::wstring target = dir / L"out\\deep";
  ExtractionResult result = ExtractPackage((dir / L"damaged.zip").c_str(), target.c_str(), {});
  EXPECT_EQ(result.status, ExtractionStatus::kUnreadable);
  EXPECT_EQ(result.entries_written, 0u);
  EXPECT_EQ(result.entries_skipped, 5u);
  EXPECT_FALSE(ExtractArchive((dir / L"damaged.zip").c_str(), target.c_str()));
  EXPECT_EQ(ListTree(dir.path()), (Names{L"damaged.zip"}));  // the target was taken back

  // Every entry encrypted and no password: nothing can be read either.
  EXPECT_EQ(ExtractPackage(DataPath(L"encrypted.zip").c_str(), target.c_str(), {}).status,
            ExtractionStatus::kUnreadable);
  // Some entries damaged is still a package: lying_sizes.zip's data comes
  // out with CRC mismatches, bad_crc.zip has one good entry.
  EXPECT_EQ(ExtractPackage(DataPath(L"lying_sizes.zip").c_str(), (dir / L"a").c_str(), {}).status,
            ExtractionStatus::kOk);
  EXPECT_EQ(ExtractPackage(DataPath(L"bad_crc.zip").c_str(), (dir / L"b").c_str(), {}).status,
            ExtractionStatus::kOk);
}

TEST(Zip64Test, SeventyThousandEntriesAreCountedBoundedAndUnpacked) {
  const std::wstring archive = DataPath(L"large/many64.zip");
  ZipReader* zip = OpenArchive(archive.c_str(), 0, ZipSourceKind::FileName);
  ASSERT_NE(zip, nullptr);
  uint64_t count = 0;
  ASSERT_EQ(GetEntryCount(zip, &count), kZipOk);
  EXPECT_EQ(count, 70000u);
  ZipEntry entry;
  ASSERT_EQ(GetEntry(zip, -1, &entry), kZipOk);
  EXPECT_EQ(entry.index, 70000);
  ASSERT_EQ(GetEntry(zip, 69999, &entry), kZipOk);
  EXPECT_STREQ(entry.name, L"m69/69999");
  EXPECT_EQ(GetEntry(zip, 70000, &entry), kZipBadArgument);
  CloseArchive(zip);

  ScratchDir dir;
  ExtractionOptions options;
  options.max_entries = 69999;
  ExtractionResult result = ExtractPackage(archive.c_str(), (dir / L"out").c_str(), options);
  EXPECT_EQ(result.status, ExtractionStatus::kTooManyEntries);
  EXPECT_TRUE(ListTree(dir.path()).empty());

  uint64_t last_done = 0, reported_total = 0;
  options.max_entries = 70000;
  options.progress = [&](const ExtractionProgress& p) {
    last_done = p.entries_done;
    reported_total = p.entries_total;
    return true;
  };
  result = ExtractPackage(archive.c_str(), (dir / L"out").c_str(), options);
  EXPECT_EQ(result.status, ExtractionStatus::kOk);
  EXPECT_EQ(result.entries_written, 70000u);
  EXPECT_EQ(result.entries_skipped, 0u);
  EXPECT_EQ(reported_total, 70000u);
  EXPECT_EQ(last_done, 70000u);
  EXPECT_TRUE(archive_test::FileExists(dir / L"out\\m69\\69999"));
  EXPECT_TRUE(archive_test::FileExists(dir / L"out\\m00\\00000"));
}

}  // namespace
