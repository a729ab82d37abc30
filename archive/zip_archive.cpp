#include "archive/zip_archive.h"

#include <algorithm>
#include <cstdint>

#include "archive/zip_names.h"

namespace archive {

namespace {

// The stored name as the file system would see it: up to the first NUL.
std::string_view StoredName(const CentralRecord& record) {
  std::string_view name = record.name;
  return name.substr(0, name.find('\0'));
}

}  // namespace

ZipArchive::ZipArchive(LocalToUtc local_to_utc) : local_to_utc_(local_to_utc) {}

ZipArchive::~ZipArchive() = default;

ZipStatus ZipArchive::Open(std::unique_ptr<ZipSource> source, std::string_view password) {
  if (is_open()) return kZipAlreadyOpen;
  if (!source) return kZipBadArgument;
  auto directory = std::make_unique<ZipDirectory>(source.get());
  ZipStatus s = directory->Locate();
  if (s != kZipOk) return s;
  source_ = std::move(source);
  directory_ = std::move(directory);
  password_.assign(password.data(), password.size());
  return kZipOk;
}

int32_t ZipArchive::entry_count() const {
  return static_cast<int32_t>(std::min<uint64_t>(total_entries(), INT32_MAX));
}

uint64_t ZipArchive::total_entries() const { return directory_ ? directory_->entry_count() : 0; }

ZipStatus ZipArchive::MoveToEntry(int32_t index, LocalLayout* layout) {
  ZipStatus s = directory_->MoveTo(index);
  return s != kZipOk ? s : directory_->CheckLocalHeader(directory_->current(), layout, &extra_);
}

void ZipArchive::CloseEntry() {
  stream_.Close();
  open_index_ = -1;
}

ZipStatus ZipArchive::GetEntry(int32_t index, ZipEntryInfo* entry) {
  if (!is_open() || !entry || index < -1 || index >= entry_count()) return kZipBadArgument;
  CloseEntry();
  if (index == -1) {
    *entry = ZipEntryInfo();
    entry->index = entry_count();
    return kZipOk;
  }
  if (index == cached_index_) {
    *entry = cached_entry_;
    return kZipOk;
  }

  LocalLayout layout;
  ZipStatus s = MoveToEntry(index, &layout);
  if (s != kZipOk) return s;
  const CentralRecord& record = directory_->current();

  ZipEntryInfo info;
  info.index = index;
  info.name = SanitizeEntryName(DecodeEntryName(record.name));
  info.attributes = EntryAttributes(record.version_made_by, record.external_attributes);
  info.compressed_size = record.compressed_size;
  info.uncompressed_size = record.uncompressed_size;
  uint64_t time = DosDateTimeToFileTime(record.dos_date_time);
  if (time && local_to_utc_) time = local_to_utc_(time);
  info.access_time = info.creation_time = info.write_time = time;
  ExtendedTimestamp ut = ReadExtendedTimestamp(extra_.data(), extra_.size());
  if (ut.has_write) info.write_time = ut.write_time;
  if (ut.has_access) info.access_time = ut.access_time;
  if (ut.has_creation) info.creation_time = ut.creation_time;

  cached_entry_ = info;
  cached_index_ = index;
  *entry = std::move(info);
  return kZipOk;
}

ZipStatus ZipArchive::FindEntry(std::string_view utf8_name, int32_t* index) {
  if (!is_open() || !index) return kZipBadArgument;
  if (utf8_name.size() > kMaxFindNameBytes) return kZipNotFound;
  const int32_t saved = directory_->current_index();
  ZipStatus result = kZipNotFound;
  for (int32_t i = 0; i < entry_count(); ++i) {
    ZipStatus s = directory_->MoveTo(i);
    if (s != kZipOk) {
      result = s;
      break;
    }
    if (NameEqualsFoldingAscii(StoredName(directory_->current()), utf8_name)) {
      *index = i;
      return kZipOk;
    }
  }
  if (saved >= 0) directory_->MoveTo(saved);
  return result;
}

ZipStatus ZipArchive::SumUncompressedSizes(uint64_t* total) {
  if (!is_open() || !total) return kZipBadArgument;
  *total = 0;
  for (int32_t i = 0; i < entry_count(); ++i) {
    if (directory_->MoveTo(i) != kZipOk) break;
    const CentralRecord& record = directory_->current();
    if (record.missing_zip64) continue;
    *total = record.uncompressed_size > UINT64_MAX - *total ? UINT64_MAX
                                                            : *total + record.uncompressed_size;
  }
  return kZipOk;
}

ZipStatus ZipArchive::OpenEntry(int32_t index) {
  CloseEntry();
  if (!is_open() || index < 0 || index >= entry_count()) return kZipBadArgument;
  LocalLayout layout;
  ZipStatus s = MoveToEntry(index, &layout);
  if (s != kZipOk) return s;
  s = stream_.Open(source_.get(), directory_->current(), layout.data_offset, password_);
  if (s != kZipOk) return s;
  open_index_ = index;
  return kZipOk;
}

ZipStatus ZipArchive::ReadEntry(void* buffer, size_t capacity, size_t* produced) {
  *produced = 0;
  if (open_index_ < 0) return kZipBadArgument;
  return stream_.Read(static_cast<uint8_t*>(buffer), capacity, produced);
}

ZipStatus ZipArchive::ExtractToMemory(int32_t index, void* buffer, size_t length) {
  if (!is_open() || (!buffer && length > 0)) return kZipBadArgument;
  if (index != open_index_) {
    ZipStatus s = OpenEntry(index);
    if (s != kZipOk) return s;
  }
  size_t produced = 0;
  ZipStatus s = ReadEntry(buffer, length, &produced);
  if (s == kZipOk && entry_complete()) {
    s = entry_crc_matches() ? kZipOk : kZipCrcMismatch;
    CloseEntry();
    return s;
  }
  if (s != kZipOk || produced == 0) {
    CloseEntry();
    return s != kZipOk ? s : kZipDataError;
  }
  return kZipMore;
}

}  // namespace archive
