#include "archive/zip_directory.h"

#include <algorithm>
#include <utility>

namespace archive {

namespace {

constexpr uint32_t kEndSignature = 0x06054b50;
constexpr uint32_t kCentralSignature = 0x02014b50;
constexpr uint32_t kLocalSignature = 0x04034b50;
constexpr size_t kEndRecordSize = 22;
constexpr size_t kCentralRecordSize = 46;
constexpr size_t kLocalHeaderSize = 30;
constexpr uint64_t kMaxEndSearch = 65535;
constexpr size_t kSearchBlock = 1024;

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Le32(const uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
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
  uint16_t this_disk = Le16(end + 4);
  uint16_t directory_disk = Le16(end + 6);
  uint16_t entries_here = Le16(end + 8);
  uint16_t entries_total = Le16(end + 10);
  uint32_t directory_size = Le32(end + 12);
  uint32_t directory_offset = Le32(end + 16);
  if (this_disk != 0 || directory_disk != 0 || entries_here != entries_total) return kZipCannotOpen;
  uint64_t directory_end = uint64_t{directory_offset} + directory_size;
  if (end_position < directory_end) return kZipCannotOpen;

  entry_count_ = entries_total;
  comment_length_ = Le16(end + 20);
  bytes_before_ = end_position - directory_end;
  directory_position_ = directory_offset + bytes_before_;
  current_valid_ = false;
  failed_index_ = entry_count_;
  failed_status_ = kZipOk;
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
  r.name.resize(std::min<size_t>(r.name_length, kMaxStoredNameBytes));
  if (!r.name.empty() && !source_->ReadExact(position + sizeof h, &r.name[0], r.name.size())) {
    return kZipReadFailed;
  }
  return kZipOk;
}

ZipStatus ZipDirectory::Step(int32_t index, uint64_t position) {
  ZipStatus s = ReadRecordAt(position, &next_record_);
  if (s != kZipOk) {
    failed_index_ = static_cast<uint32_t>(index);
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
  if (index < 0 || static_cast<uint32_t>(index) >= entry_count_) return kZipBadArgument;
  if (static_cast<uint32_t>(index) >= failed_index_) return failed_status_;
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

ZipStatus ZipDirectory::CheckLocalHeader(const CentralRecord& record, LocalLayout* layout) {
  uint64_t position = bytes_before_ + record.local_header_offset;
  uint8_t h[kLocalHeaderSize];
  if (!source_->ReadExact(position, h, sizeof h)) return kZipReadFailed;
  if (Le32(h) != kLocalSignature) return kZipCorrupt;
  uint16_t flags = Le16(h + 6);
  uint16_t method = Le16(h + 8);
  if (method != record.method || (method != kMethodStored && method != kMethodDeflated)) {
    return kZipCorrupt;
  }
  if (!(flags & kFlagDataDescriptor) &&
      (Le32(h + 14) != record.crc32 || Le32(h + 18) != record.compressed_size ||
       Le32(h + 22) != record.uncompressed_size)) {
    return kZipCorrupt;
  }
  if (Le16(h + 26) != record.name_length) return kZipCorrupt;
  layout->extra_length = Le16(h + 28);
  layout->extra_offset = position + kLocalHeaderSize + record.name_length;
  layout->data_offset = layout->extra_offset + layout->extra_length;
  return kZipOk;
}

ZipStatus ZipDirectory::ReadLocalExtra(const LocalLayout& layout, std::vector<uint8_t>* extra) {
  extra->resize(layout.extra_length);
  if (extra->empty()) return kZipOk;
  return source_->ReadExact(layout.extra_offset, extra->data(), extra->size()) ? kZipOk
                                                                               : kZipReadFailed;
}

}  // namespace archive
