#include "archive/zip_entry_info.h"

namespace archive {

namespace {

constexpr uint64_t kTicksPerSecond = 10000000;
// 100-ns intervals from 1601-01-01 to 1970-01-01.
constexpr uint64_t kUnixEpochTicks = 116444736000000000ull;

// Days from 0000-03-01 to the given civil date (proleptic Gregorian).
int64_t DaysFromCivil(int year, int month, int day) {
  year -= month <= 2;
  int64_t era = year / 400;
  int64_t yoe = year - era * 400;
  int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe;
}

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

uint32_t ReadLe32(const uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

}  // namespace

uint32_t EntryAttributes(uint16_t version_made_by, uint32_t external_attributes) {
  unsigned host = version_made_by >> 8;
  if (host == 0 || host == 7 || host == 11 || host == 14) {
    return external_attributes &
           (kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrDirectory | kAttrArchive);
  }
  uint32_t attributes = kAttrArchive;
  if (external_attributes & 0x40000000) attributes |= kAttrDirectory;
  if (!(external_attributes & 0x800000)) attributes |= kAttrReadOnly;
  return attributes;
}

uint64_t DosDateTimeToFileTime(uint32_t dos) {
  int year = static_cast<int>(dos >> 25) + 1980;
  int month = (dos >> 21) & 0xF;
  int day = (dos >> 16) & 0x1F;
  int hour = (dos >> 11) & 0x1F;
  int minute = (dos >> 5) & 0x3F;
  int second = 2 * (dos & 0x1F);
  static const int kDaysInMonth[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12 || day < 1 || hour > 23 || minute > 59 || second > 59) return 0;
  int month_days = kDaysInMonth[month - 1] + (month == 2 && IsLeap(year) ? 1 : 0);
  if (day > month_days) return 0;
  int64_t days = DaysFromCivil(year, month, day) - DaysFromCivil(1601, 1, 1);
  int64_t seconds = days * 86400 + hour * 3600 + minute * 60 + second;
  return static_cast<uint64_t>(seconds) * kTicksPerSecond;
}

uint64_t UnixTimeToFileTime(int32_t seconds) {
  return static_cast<uint64_t>(static_cast<int64_t>(seconds) *
                                   static_cast<int64_t>(kTicksPerSecond) +
                               static_cast<int64_t>(kUnixEpochTicks));
}

ExtendedTimestamp ReadExtendedTimestamp(const uint8_t* extra, size_t length) {
  ExtendedTimestamp result;
  size_t pos = 0;
  while (length - pos >= 5) {
    size_t block_size = extra[pos + 2] | (extra[pos + 3] << 8);
    size_t data = pos + 4;
    if (extra[pos] == 'U' && extra[pos + 1] == 'T') {
      size_t end = data + block_size < length ? data + block_size : length;
      if (end <= data) break;
      uint8_t flags = extra[data];
      size_t at = data + 1;
      bool* has[] = {&result.has_write, &result.has_access, &result.has_creation};
      uint64_t* times[] = {&result.write_time, &result.access_time, &result.creation_time};
      for (int bit = 0; bit < 3; ++bit) {
        if (!(flags & (1 << bit))) continue;
        if (end < at + 4) break;
        *times[bit] = UnixTimeToFileTime(static_cast<int32_t>(ReadLe32(extra + at)));
        *has[bit] = true;
        at += 4;
      }
      break;
    }
    pos = data + block_size;
    if (pos > length) break;
  }
  return result;
}

}  // namespace archive
