// ZipEntryInfo: the platform-free description of one entry (what GetEntry
// reports), and the conversions that build it from the raw header fields:
// host-dependent attribute bits, DOS date-times, Unix times and the "UT"
// extended-timestamp extra field.
//
// Times are Windows FILETIME values (100-ns intervals since 1601-01-01) held
// in 64-bit integers, so this compiles without Windows headers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace archive {

constexpr uint32_t kAttrReadOnly = 0x1;
constexpr uint32_t kAttrHidden = 0x2;
constexpr uint32_t kAttrSystem = 0x4;
constexpr uint32_t kAttrDirectory = 0x10;
constexpr uint32_t kAttrArchive = 0x20;

struct ZipEntryInfo {
  int32_t index = 0;  // the entry count for the whole-archive query (-1)
  std::u16string name;
  uint32_t attributes = 0;
  uint64_t access_time = 0;
  uint64_t creation_time = 0;
  uint64_t write_time = 0;
  uint64_t compressed_size = 0;
  uint64_t uncompressed_size = 0;
};

// Attribute bits from the "version made by" field's host byte and the
// external attributes: Windows bits for hosts 0, 7, 11 and 14, a Unix mode in
// the high 16 bits for every other host.
uint32_t EntryAttributes(uint16_t version_made_by, uint32_t external_attributes);

// The DOS date-time (time in the low 16 bits, date in the high 16 bits) as a
// FILETIME value in the same (local) time; 0 when it is not a real date.
uint64_t DosDateTimeToFileTime(uint32_t dos_date_time);

// Seconds since 1970-01-01 UTC as a FILETIME value.
uint64_t UnixTimeToFileTime(int32_t seconds);

// Times found in a "UT" block of an extra field.
struct ExtendedTimestamp {
  bool has_write = false, has_access = false, has_creation = false;
  uint64_t write_time = 0, access_time = 0, creation_time = 0;
};

// Walks an extra field to its first "UT" block and reads the times its flags
// announce (write, access, creation, in that order), never past the block
// or the field.
ExtendedTimestamp ReadExtendedTimestamp(const uint8_t* extra, size_t length);

}  // namespace archive
