#include "archive/zip_directory.h"

#include <algorithm>
#include <utility>

namespace archive {

namespace {

constexpr uint32_t kEndSignature = 0x06054b50;
constexpr uint32_t kCentralSignature = 0x02014b50;
constexpr uint32_t kLocalSignature = 0x04034b50;
constexpr uint32_t kZip64EndSignature = 0x06064b50;
constexpr uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr size_t kEndRecordSize = 22;
constexpr size_t kZip64EndRecordSize = 56;  // without extensible data
constexpr size_t kZip64LocatorSize = 20;
constexpr uint16_t kZip64ExtraId = 0x0001;
constexpr uint32_t kSaturated32 = 0xFFFFFFFF;
constexpr uint16_t kSaturated16 = 0xFFFF;
constexpr size_t kCentralRecordSize = 46;
constexpr size_t kLocalHeaderSize = 30;
constexpr uint64_t kMaxEndSearch = 65535;
constexpr size_t kSearchBlock = 1024;

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Le32(const uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
uint64_t Le64(const uint8_t* p) { return Le32(p) | (static_cast<uint64_t>(Le32(p + 4)) << 32); }

// The data of the first zip64 block in an extra field, or null; a block
// running past the field ends the walk.
const uint8_t* FindZip64Block(const uint8_t* extra, size_t length, size_t* block_length) {
  size_t pos = 0;
  while (length - pos >= 4) {
    const size_t size = Le16(extra + pos + 2);
    if (size > length - pos - 4) break;
    if (Le16(extra + pos) == kZip64ExtraId) {
      *block_length = size;
      return extra + pos + 4;
    }
    pos += 4 + size;
  }
  return nullptr;
}

// Takes the next 8 bytes of a zip64 block for `*value`; false when the block
// is too short.
bool TakeZip64Value(const uint8_t* block, size_t length, size_t* at, uint64_t* value) {
  if (length - *at < 8) return false;
  *value = Le64(block + *at);
  *at += 8;
  return true;
}

// Replaces the saturated central values with those of the zip64 block, in
// the block's fixed order; false when one of them is missing.
bool ApplyCentralZip64(const uint8_t* extra, size_t length, CentralRecord* r) {
  size_t block_length = 0;
  const uint8_t* block = FindZip64Block(extra, length, &block_length);
  if (!block) return false;
  size_t at = 0;
  if (r->uncompressed_size == kSaturated32 &&
      !TakeZip64Value(block, block_length, &at, &r->uncompressed_size)) {
    return false;
  }
  if (r->compressed_size == kSaturated32 &&
      !TakeZip64Value(block, block_length, &at, &r->compressed_size)) {
    return false;
  }
  if (r->local_header_offset == kSaturated32 &&
      !TakeZip64Value(block, block_length, &at, &r->local_header_offset)) {
    return false;
  }
  if (r->disk_start == kSaturated16) {
    if (block_length - at < 4) return false;
    r->disk_start = Le32(block + at);
  }
  return true;
}

}  // namespace

ZipStatus ZipDirectory::Locate() {
  const uint64_t size = source_->Size();
  if (size < kEndRecordSize) return kZipCannotOpen;

  // Scan backwards in 1 KiB blocks (overlapping by 4 so a signature across a
  // boundary is seen); within a block the match nearest the end wins.
  const uint64_t max_back = std::min(kMaxEndSearch, size);
  uint8_t block[kSearchBlock + 4];
  uint64_t back = 4;
  bool found = false;
  uint64_t end_position = 0;
  while (back < max_back && !found) {
    back = std::min(back + kSearchBlock, max_back);
    uint64_t read_position = size - back;
    size_t read_size =
        static_cast<size_t>(std::min<uint64_t>(kSearchBlock + 4, size - read_position));
    if (!source_->ReadExact(read_position, block, read_size)) return kZipCannotOpen;
    for (size_t i = read_size - 3; i-- > 0;) {
      if (block[i] == 0x50 && block[i + 1] == 0x4B && block[i + 2] == 0x05 &&
          block[i + 3] == 0x06) {
        end_position = read_position + i;
        found = true;
        break;
      }
    }
  }
  if (!found) return kZipCannotOpen;

  uint8_t end[kEndRecordSize];
  if (!source_->ReadExact(end_position, end, sizeof end)) return kZipCannotOpen;
  EndValues values;
  uint8_t locator[4];
  if (end_position >= kZip64LocatorSize &&
      source_->ReadExact(end_position - kZip64LocatorSize, locator, sizeof locator) &&
      Le32(locator) == kZip64LocatorSignature) {
    // The classic fields may be saturated or hold anything; the zip64 record
    // is the one that counts.
    ZipStatus s = ReadZip64End(end_position - kZip64LocatorSize, &values);
    if (s != kZipOk) return s;
  } else {
    uint16_t this_disk = Le16(end + 4);
    uint16_t directory_disk = Le16(end + 6);
    uint16_t entries_here = Le16(end + 8);
    uint16_t entries_total = Le16(end + 10);
    if (this_disk != 0 || directory_disk != 0 || entries_here != entries_total) {
      return kZipCannotOpen;
    }
    values.entries = entries_total;
    values.directory_size = Le32(end + 12);
    values.directory_offset = Le32(end + 16);
    values.directory_limit = end_position;
  }
  uint64_t directory_end = values.directory_offset + values.directory_size;
  if (directory_end < values.directory_offset || values.directory_limit < directory_end) {
    return kZipCannotOpen;
  }

  entry_count_ = values.entries;
  comment_length_ = Le16(end + 20);
  bytes_before_ = values.directory_limit - directory_end;
  directory_position_ = values.directory_offset + bytes_before_;
  current_valid_ = false;
  failed_index_ = entry_count_;
  failed_status_ = kZipOk;
  return kZipOk;
}

ZipStatus ZipDirectory::ReadZip64End(uint64_t locator_position, EndValues* values) {
  uint8_t locator[kZip64LocatorSize];
  if (!source_->ReadExact(locator_position, locator, sizeof locator)) return kZipCannotOpen;
  const uint32_t record_disk = Le32(locator + 4);
  const uint64_t stored = Le64(locator + 8);
  const uint32_t disks = Le32(locator + 16);
  if (record_disk != 0 || disks > 1) return kZipCannotOpen;

  // Writers put the record at its stored offset, which a stub in front moves
  // on, and right before the locator. Try the stored offset first (it allows
  // extensible data), then the place before the locator; whichever it is,
  // the stub's length must come out the same from both ends below.
  uint8_t record[kZip64EndRecordSize];
  uint64_t position = stored;
  bool found = stored <= locator_position && locator_position - stored >= kZip64EndRecordSize &&
               source_->ReadExact(stored, record, sizeof record) &&
               Le32(record) == kZip64EndSignature;
  if (!found && locator_position >= kZip64EndRecordSize) {
    position = locator_position - kZip64EndRecordSize;
    found = source_->ReadExact(position, record, sizeof record) &&
            Le32(record) == kZip64EndSignature && Le64(record + 4) == kZip64EndRecordSize - 12;
  }
  if (!found) return kZipCannotOpen;
  const uint64_t record_size = Le64(record + 4);
  if (record_size < kZip64EndRecordSize - 12 || record_size > locator_position - position - 12) {
    return kZipCannotOpen;
  }
  const uint32_t this_disk = Le32(record + 16);
  const uint32_t directory_disk = Le32(record + 20);
  const uint64_t entries_here = Le64(record + 24);
  values->entries = Le64(record + 32);
  values->directory_size = Le64(record + 40);
  values->directory_offset = Le64(record + 48);
  values->directory_limit = position;
  if (this_disk != 0 || directory_disk != 0 || entries_here != values->entries) {
    return kZipCannotOpen;
  }
  // No directory of that size holds more records than this, which also keeps
  // a walk over a lying count within the file.
  if (values->entries > values->directory_size / kCentralRecordSize) return kZipCannotOpen;
  const uint64_t directory_end = values->directory_offset + values->directory_size;
  if (directory_end < values->directory_offset || position < directory_end) {
    return kZipCannotOpen;
  }
  // The directory ends where the record begins, so a stub in front moves
  // both by the same length.
  if (directory_end != stored) return kZipCannotOpen;
  return kZipOk;
}

ZipStatus ZipDirectory::ReadRecordAt(uint64_t position, CentralRecord* record) {
  uint8_t h[kCentralRecordSize];
  if (!source_->ReadExact(position, h, sizeof h)) return kZipReadFailed;
  if (Le32(h) != kCentralSignature) return kZipCorrupt;
  CentralRecord& r = *record;
  r.version_made_by = Le16(h + 4);
  r.version_needed = Le16(h + 6);
  r.flags = Le16(h + 8);
  r.method = Le16(h + 10);
  r.dos_date_time = Le32(h + 12);
  r.crc32 = Le32(h + 16);
  r.compressed_size = Le32(h + 20);
  r.uncompressed_size = Le32(h + 24);
  r.name_length = Le16(h + 28);
  r.extra_length = Le16(h + 30);
  r.comment_length = Le16(h + 32);
  r.disk_start = Le16(h + 34);
  r.internal_attributes = Le16(h + 36);
  r.external_attributes = Le32(h + 38);
  r.local_header_offset = Le32(h + 42);
  const bool zip64 = r.compressed_size == kSaturated32 || r.uncompressed_size == kSaturated32 ||
                     r.local_header_offset == kSaturated32 || r.disk_start == kSaturated16;
  r.name.resize(std::min<size_t>(r.name_length, kMaxStoredNameBytes));
  r.missing_zip64 = false;
  if (!zip64) {
    if (!r.name.empty() && !source_->ReadExact(position + sizeof h, &r.name[0], r.name.size())) {
      return kZipReadFailed;
    }
    return kZipOk;
  }
  // Name and extra field in one read, as a classic record costs one for the
  // name.
  scratch_.resize(size_t{r.name_length} + r.extra_length);
  if (!source_->ReadExact(position + sizeof h, scratch_.data(), scratch_.size())) {
    return kZipReadFailed;
  }
  std::copy(scratch_.begin(), scratch_.begin() + r.name.size(), r.name.begin());
  r.missing_zip64 = !ApplyCentralZip64(scratch_.data() + r.name_length, r.extra_length, &r);
  return kZipOk;
}

ZipStatus ZipDirectory::Step(int32_t index, uint64_t position) {
  ZipStatus s = ReadRecordAt(position, &next_record_);
  if (s != kZipOk) {
    failed_index_ = static_cast<uint64_t>(index);
    failed_status_ = s;
    return s;
  }
  std::swap(record_, next_record_);
  current_index_ = index;
  current_position_ = position;
  current_valid_ = true;
  return kZipOk;
}

ZipStatus ZipDirectory::MoveTo(int32_t index) {
  if (index < 0 || static_cast<uint64_t>(index) >= entry_count_) return kZipBadArgument;
  if (static_cast<uint64_t>(index) >= failed_index_) return failed_status_;
  if (!current_valid_ || index < current_index_) {
    current_valid_ = false;
    ZipStatus s = Step(0, directory_position_);
    if (s != kZipOk) return s;
  }
  while (current_index_ < index) {
    const CentralRecord& r = record_;
    uint64_t next =
        current_position_ + kCentralRecordSize + r.name_length + r.extra_length + r.comment_length;
    ZipStatus s = Step(current_index_ + 1, next);
    if (s != kZipOk) return s;
  }
  return kZipOk;
}

ZipStatus ZipDirectory::CheckLocalHeader(const CentralRecord& record, LocalLayout* layout,
                                         std::vector<uint8_t>* extra) {
  if (record.missing_zip64) return kZipCorrupt;
  uint64_t position = bytes_before_ + record.local_header_offset;
  uint8_t h[kLocalHeaderSize];
  if (!source_->ReadExact(position, h, sizeof h)) return kZipReadFailed;
  if (Le32(h) != kLocalSignature) return kZipCorrupt;
  uint16_t flags = Le16(h + 6);
  uint16_t method = Le16(h + 8);
  if (method != record.method || (method != kMethodStored && method != kMethodDeflated)) {
    return kZipCorrupt;
  }
  if (Le16(h + 26) != record.name_length) return kZipCorrupt;
  layout->extra_length = Le16(h + 28);
  layout->extra_offset = position + kLocalHeaderSize + record.name_length;
  layout->data_offset = layout->extra_offset + layout->extra_length;
  extra->resize(layout->extra_length);
  if (!extra->empty() && !source_->ReadExact(layout->extra_offset, extra->data(), extra->size())) {
    return kZipReadFailed;
  }
  if (flags & kFlagDataDescriptor) return kZipOk;

  if (Le32(h + 14) != record.crc32) return kZipCorrupt;
  uint64_t compressed = Le32(h + 18);
  uint64_t uncompressed = Le32(h + 22);
  if (compressed == kSaturated32 || uncompressed == kSaturated32) {
    size_t block_length = 0;
    const uint8_t* block = FindZip64Block(extra->data(), extra->size(), &block_length);
    if (!block) return kZipCorrupt;
    // A local zip64 block carries both sizes; read as the central rule (just
    // the saturated ones) only when it is too short for both.
    size_t at = 0;
    if (block_length >= 16) {
      uncompressed = Le64(block);
      compressed = Le64(block + 8);
    } else if ((uncompressed == kSaturated32 &&
                !TakeZip64Value(block, block_length, &at, &uncompressed)) ||
               (compressed == kSaturated32 &&
                !TakeZip64Value(block, block_length, &at, &compressed))) {
      return kZipCorrupt;
    }
  }
  if (compressed != record.compressed_size || uncompressed != record.uncompressed_size) {
    return kZipCorrupt;
  }
  return kZipOk;
}

}  // namespace archive
