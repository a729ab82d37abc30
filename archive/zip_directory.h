// ZipDirectory: the structure of an archive. Finds the end-of-central-
// directory record, walks the central directory record by record, and checks
// an entry's local header against its central record.
//
// Every offset stored in the archive is shifted by the number of bytes found
// before the archive (an executable stub), so prepended data is harmless.
//
// Zip64: when a zip64 end locator sits before the end record, the counts,
// directory size and offset come from the zip64 end record instead; a
// central or local field holding its saturated classic value (0xFFFFFFFF,
// or 0xFFFF for the disk) takes its value from the zip64 extra block
// (0x0001), which holds just the saturated fields in their fixed order.
// Zip64 data that disagrees with itself or with the file (a record that is
// not where the locator says, a count no directory of that size can hold, a
// needed field missing) is kZipCannotOpen or kZipCorrupt, found in a bounded
// number of reads.
// All arithmetic is 64-bit and every read is bounded by the source, so lying
// counts, sizes and offsets end in a status, never outside the data.
//
// Owned by a ZipArchive; reads through its source, one thread at a time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/zip_source.h"
#include "archive/zip_status.h"

namespace archive {

// Stored names longer than this are cut.
constexpr size_t kMaxStoredNameBytes = 259;

// General-purpose flag bits used here.
constexpr uint16_t kFlagEncrypted = 0x1;
constexpr uint16_t kFlagDataDescriptor = 0x8;

constexpr uint16_t kMethodStored = 0;
constexpr uint16_t kMethodDeflated = 8;

// One central directory record.
struct CentralRecord {
  uint16_t version_made_by = 0;
  uint16_t version_needed = 0;
  uint16_t flags = 0;
  uint16_t method = 0;
  uint32_t dos_date_time = 0;
  uint32_t crc32 = 0;
  // Sizes, offset and disk with any zip64 values applied.
  uint64_t compressed_size = 0;
  uint64_t uncompressed_size = 0;
  uint16_t name_length = 0;
  uint16_t extra_length = 0;
  uint16_t comment_length = 0;
  uint32_t disk_start = 0;
  uint16_t internal_attributes = 0;
  uint32_t external_attributes = 0;
  uint64_t local_header_offset = 0;
  std::string name;  // the stored bytes, at most kMaxStoredNameBytes
  // A saturated field whose zip64 value is missing: the walk goes past the
  // record (its lengths are sound) but the entry cannot be used.
  bool missing_zip64 = false;
};

// Where an entry's local extra field and data are, once its local header
// has been checked.
struct LocalLayout {
  uint64_t extra_offset = 0;
  uint16_t extra_length = 0;
  uint64_t data_offset = 0;
};

class ZipDirectory {
 public:
  explicit ZipDirectory(ZipSource* source) : source_(source) {}

  // Finds and checks the end record; on success the directory is positioned
  // on the first entry. kZipCannotOpen when there is no usable end record.
  ZipStatus Locate();

  // Up to 2^64-1 with zip64, but never more than a directory of the recorded
  // size could hold at the smallest record size.
  uint64_t entry_count() const { return entry_count_; }
  uint16_t comment_length() const { return comment_length_; }
  uint64_t bytes_before_archive() const { return bytes_before_; }

  // Makes `index` (0 <= index < entry_count) the current entry and reads its
  // record, walking back to the first entry when it lies behind. When the
  // walk cannot read a record, the current entry stays the one before it,
  // and that index and every later one answer the same status without
  // reading again: an end record that counts more entries than the
  // directory holds costs one walk, not one walk per missing entry.
  ZipStatus MoveTo(int32_t index);
  int32_t current_index() const { return current_valid_ ? current_index_ : -1; }
  const CentralRecord& current() const { return record_; }

  // Checks the local header of `record`: signature, method (equal to the
  // central one, stored or deflated), CRC and sizes (unless a data
  // descriptor follows the data; saturated sizes are read from the local
  // zip64 block) and name length, and reads the local extra field into
  // `extra`. kZipCorrupt on any disagreement, kZipReadFailed when it cannot
  // be read.
  ZipStatus CheckLocalHeader(const CentralRecord& record, LocalLayout* layout,
                             std::vector<uint8_t>* extra);

 private:
  // What the end records say about the directory.
  struct EndValues {
    uint64_t entries = 0;
    uint64_t directory_size = 0;
    uint64_t directory_offset = 0;  // as stored, before any stub
    uint64_t directory_limit = 0;   // source offset the directory must end at
  };
  // Reads the zip64 end record the locator at `locator_position` points at.
  ZipStatus ReadZip64End(uint64_t locator_position, EndValues* values);
  ZipStatus ReadRecordAt(uint64_t position, CentralRecord* record);
  // Reads the record at `position` as entry `index` and makes it current,
  // or remembers the failure.
  ZipStatus Step(int32_t index, uint64_t position);

  ZipSource* source_;
  uint64_t entry_count_ = 0;
  uint16_t comment_length_ = 0;
  uint64_t directory_position_ = 0;  // source offset of the first record
  uint64_t bytes_before_ = 0;

  bool current_valid_ = false;
  int32_t current_index_ = 0;
  uint64_t current_position_ = 0;
  CentralRecord record_;
  CentralRecord next_record_;     // read into, swapped in on success
  std::vector<uint8_t> scratch_;  // name and extra field of a zip64 record

  // The first index whose record could not be read (entry_count_ while none
  // has failed) and why. The source does not change while it is open, so the
  // answer holds.
  uint64_t failed_index_ = 0;
  ZipStatus failed_status_ = kZipOk;
};

}  // namespace archive
