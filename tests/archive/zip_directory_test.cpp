#include "archive/zip_directory.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

#include "archive/zip_archive.h"
#include "tests/archive/archive_test_support.h"

namespace archive {
namespace {

using archive_test::DataPath;
using archive_test::ReadFileBytes;
using Bytes = std::vector<uint8_t>;

// Archive bytes in memory that count every read reaching them.
class CountingSource : public ZipSource {
 public:
  CountingSource(const Bytes& bytes, uint64_t* reads)
      : inner_(bytes.data(), bytes.size()), reads_(reads) {}

  uint64_t Size() const override { return inner_.Size(); }
  bool ReadAt(uint64_t offset, void* buffer, size_t length, size_t* got) override {
    ++*reads_;
    return inner_.ReadAt(offset, buffer, length, got);
  }

 private:
  MemoryZipSource inner_;
  uint64_t* reads_;
};

std::u16string RealName(int i) {
  char name[32];
  std::snprintf(name, sizeof name, "l/%04d", i);
  return std::u16string(name, name + std::char_traits<char>::length(name));
}

// lying_count.zip: an end record counting 65,535 entries over a directory
// of 1,000.
constexpr int kRealEntries = 1000;

TEST(ZipDirectoryTest, ADirectoryCountingMoreEntriesThanItHoldsIsWalkedOnce) {
  const Bytes bytes = ReadFileBytes(DataPath(L"lying_count.zip"));
  uint64_t reads = 0;
  ZipArchive zip;
  ASSERT_EQ(zip.Open(std::make_unique<CountingSource>(bytes, &reads), ""), kZipOk);
  ASSERT_EQ(zip.entry_count(), 65535);

  // A real entry costs a handful of reads (record, name, local header, its
  // data); a missing one should cost none once the walk has failed there.
  // Walking the directory again for each would take thousands per index.
  const uint64_t budget = 10 * kRealEntries + 1000;
  int listed = 0, missing = 0;
  for (int i = 0; i < zip.entry_count() && reads <= budget; ++i) {
    ZipEntryInfo entry;
    ZipStatus s = zip.GetEntry(i, &entry);
    if (s == kZipOk) {
      EXPECT_EQ(entry.name, RealName(i));
      uint8_t data[16];
      EXPECT_EQ(zip.ExtractToMemory(i, data, sizeof data), kZipOk) << i;
      ++listed;
    } else if (i >= kRealEntries && s == kZipReadFailed) {
      ++missing;  // what follows the directory is too short for a record
    }
  }
  EXPECT_LE(reads, budget);
  EXPECT_EQ(listed, kRealEntries);
  EXPECT_EQ(missing, 65535 - kRealEntries);

  // The real entries stay reachable in any order after the failure.
  for (int i : {kRealEntries - 1, 3, 4464, kRealEntries / 2}) {
    ZipEntryInfo entry;
    ZipStatus s = zip.GetEntry(i, &entry);
    if (i < kRealEntries) {
      EXPECT_EQ(s, kZipOk) << i;
      EXPECT_EQ(entry.name, RealName(i));
    } else {
      EXPECT_EQ(s, kZipReadFailed) << i;
    }
  }
}

TEST(ZipDirectoryTest, AFailedFirstRecordFailsEveryIndexWithoutReadingAgain) {
  Bytes bytes = ReadFileBytes(DataPath(L"lying_count.zip"));
  // Damage the signature of the first central record: the end record says
  // where the directory starts.
  const size_t end = bytes.size() - 22;
  const size_t first = bytes[end + 16] | (bytes[end + 17] << 8) | (bytes[end + 18] << 16) |
                       (static_cast<size_t>(bytes[end + 19]) << 24);
  bytes[first] ^= 0xFF;
  uint64_t reads = 0;
  CountingSource source(bytes, &reads);
  ZipDirectory directory(&source);
  ASSERT_EQ(directory.Locate(), kZipOk);
  EXPECT_EQ(directory.MoveTo(0), kZipCorrupt);
  const uint64_t after_first = reads;
  for (int32_t i : {0, 1, kRealEntries - 1, 65534})
    EXPECT_EQ(directory.MoveTo(i), kZipCorrupt) << i;
  EXPECT_EQ(reads, after_first);
  EXPECT_EQ(directory.current_index(), -1);
  EXPECT_EQ(directory.MoveTo(65535), kZipBadArgument);
}

}  // namespace
}  // namespace archive
