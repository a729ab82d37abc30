#include "archive/zip_entry_info.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <vector>

namespace archive {
namespace {

constexpr uint64_t kTicks = 10000000;
constexpr uint64_t kEpoch = 116444736000000000ull;

uint32_t Dos(int y, int mo, int d, int h, int mi, int s) {
  return (static_cast<uint32_t>(y - 1980) << 25) | (mo << 21) | (d << 16) | (h << 11) | (mi << 5) |
         (s / 2);
}

TEST(ZipEntryInfoTest, DosDateTimesBecomeFileTimesAndBadDatesBecomeZero) {
  // 2021-06-15 10:20:30 is Unix time 1623752430.
  EXPECT_EQ(DosDateTimeToFileTime(Dos(2021, 6, 15, 10, 20, 30)), 1623752430ull * kTicks + kEpoch);
  EXPECT_EQ(DosDateTimeToFileTime(Dos(1980, 1, 1, 0, 0, 0)), 315532800ull * kTicks + kEpoch);
  EXPECT_EQ(DosDateTimeToFileTime(Dos(2024, 2, 29, 23, 59, 58)), 1709251198ull * kTicks + kEpoch);
  EXPECT_EQ(DosDateTimeToFileTime(Dos(2023, 2, 29, 0, 0, 0)), 0u);
  EXPECT_EQ(DosDateTimeToFileTime(Dos(2023, 13, 1, 0, 0, 0)), 0u);
  EXPECT_EQ(DosDateTimeToFileTime(Dos(2023, 1, 0, 0, 0, 0)), 0u);
  EXPECT_EQ(DosDateTimeToFileTime(Dos(2023, 1, 1, 24, 0, 0)), 0u);
  EXPECT_EQ(DosDateTimeToFileTime(Dos(2023, 1, 1, 0, 0, 0) | 0x1F), 0u);  // 62 seconds
  EXPECT_EQ(DosDateTimeToFileTime(0), 0u);
}

TEST(ZipEntryInfoTest, UnixTimesAreSignedSecondsFrom1970) {
  EXPECT_EQ(UnixTimeToFileTime(0), kEpoch);
  EXPECT_EQ(UnixTimeToFileTime(1600000000), 1600000000ull * kTicks + kEpoch);
  EXPECT_EQ(UnixTimeToFileTime(-1), kEpoch - kTicks);
}

std::vector<uint8_t> Block(char a, char b, const std::vector<uint8_t>& data) {
  std::vector<uint8_t> out(4 + data.size());
  out[0] = static_cast<uint8_t>(a);
  out[1] = static_cast<uint8_t>(b);
  out[2] = static_cast<uint8_t>(data.size());
  out[3] = static_cast<uint8_t>(data.size() >> 8);
  std::copy(data.begin(), data.end(), out.begin() + 4);
  return out;
}

std::vector<uint8_t> Le32(uint32_t v) {
  return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
          static_cast<uint8_t>(v >> 24)};
}

TEST(ZipEntryInfoTest, ExtendedTimestampIsFoundAfterOtherBlocksAndReadInFlagOrder) {
  std::vector<uint8_t> extra = Block('u', 'x', {1, 4, 0, 0, 0, 0});
  std::vector<uint8_t> ut = {7};
  for (uint32_t t : {100u, 200u, 300u}) {
    std::vector<uint8_t> b = Le32(t);
    ut.insert(ut.end(), b.begin(), b.end());
  }
  std::vector<uint8_t> block = Block('U', 'T', ut);
  extra.insert(extra.end(), block.begin(), block.end());
  ExtendedTimestamp times = ReadExtendedTimestamp(extra.data(), extra.size());
  ASSERT_TRUE(times.has_write && times.has_access && times.has_creation);
  EXPECT_EQ(times.write_time, UnixTimeToFileTime(100));
  EXPECT_EQ(times.access_time, UnixTimeToFileTime(200));
  EXPECT_EQ(times.creation_time, UnixTimeToFileTime(300));

  // Access time only: it comes first in the data.
  std::vector<uint8_t> access = {2};
  std::vector<uint8_t> t = Le32(400);
  access.insert(access.end(), t.begin(), t.end());
  block = Block('U', 'T', access);
  times = ReadExtendedTimestamp(block.data(), block.size());
  EXPECT_FALSE(times.has_write);
  ASSERT_TRUE(times.has_access);
  EXPECT_EQ(times.access_time, UnixTimeToFileTime(400));
}

TEST(ZipEntryInfoTest, ExtendedTimestampNeverReadsPastItsBlockOrTheField) {
  // Flags promise three times, the block holds one (as in central records).
  std::vector<uint8_t> ut = {7};
  std::vector<uint8_t> t = Le32(100);
  ut.insert(ut.end(), t.begin(), t.end());
  std::vector<uint8_t> block = Block('U', 'T', ut);
  block.insert(block.end(), {0xAA, 0xAA, 0xAA, 0xAA, 0xAA});  // not part of the block
  ExtendedTimestamp times = ReadExtendedTimestamp(block.data(), block.size());
  EXPECT_TRUE(times.has_write);
  EXPECT_FALSE(times.has_access);

  // A block size that runs past the field: only what is there is read.
  std::vector<uint8_t> cut = {'U', 'T', 0xFF, 0xFF, 1, 1, 2};
  times = ReadExtendedTimestamp(cut.data(), cut.size());
  EXPECT_FALSE(times.has_write);

  std::vector<uint8_t> empty_block = {'U', 'T', 0, 0, 1, 0, 0, 0, 0};
  EXPECT_FALSE(ReadExtendedTimestamp(empty_block.data(), empty_block.size()).has_write);
  EXPECT_FALSE(ReadExtendedTimestamp(nullptr, 0).has_write);
}

TEST(ZipEntryInfoTest, AttributesFollowTheHostThatMadeTheEntry) {
  // Windows hosts: the low byte's bits.
  EXPECT_EQ(EntryAttributes(0x0014, 0x27),
            kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrArchive);
  EXPECT_EQ(EntryAttributes(0x0B14, 0xFF), 0x37u);  // NTFS; unknown bits dropped
  EXPECT_EQ(EntryAttributes(0x0E14, 0x10), kAttrDirectory);
  // Unix hosts: a mode in the high half.
  EXPECT_EQ(EntryAttributes(0x031E, 0100644u << 16), kAttrArchive);
  EXPECT_EQ(EntryAttributes(0x031E, 0100444u << 16), kAttrArchive | kAttrReadOnly);
  EXPECT_EQ(EntryAttributes(0x031E, (040755u << 16) | 0x10), kAttrArchive | kAttrDirectory);
  EXPECT_EQ(EntryAttributes(0x1314, 0100644u << 16), kAttrArchive);  // OS X is Unix-like
}

}  // namespace
}  // namespace archive
