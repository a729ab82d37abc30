// ZipArchive: an open zip archive over any ZipSource, without a platform
// layer: listing entries, finding one by name, and reading an entry's data
// into memory (all at once or in several calls). The Windows file layer
// (ZipReader) adds extraction to files on top; fuzzing harnesses and native
// tools use this class directly.
//
// State: the source, the directory position, at most one entry open for
// reading, and the description of the last entry asked for (cached by index).
// Not thread-safe: one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "archive/zip_directory.h"
#include "archive/zip_entry_info.h"
#include "archive/zip_entry_stream.h"
#include "archive/zip_source.h"
#include "archive/zip_status.h"

namespace archive {

class ZipArchive {
 public:
  // Turns a FILETIME value in local time into UTC. DOS times in an archive
  // are local; without a converter they are taken as UTC.
  using LocalToUtc = uint64_t (*)(uint64_t local_time);

  // Names longer than this (in UTF-8 bytes) are never found.
  static constexpr size_t kMaxFindNameBytes = 255;

  explicit ZipArchive(LocalToUtc local_to_utc = nullptr);
  ~ZipArchive();
  ZipArchive(const ZipArchive&) = delete;
  ZipArchive& operator=(const ZipArchive&) = delete;

  // Opens the archive in `source`, keeping a copy of `password` (empty: no
  // password) for every encrypted entry. kZipAlreadyOpen when called twice.
  ZipStatus Open(std::unique_ptr<ZipSource> source, std::string_view password);
  bool is_open() const { return directory_ != nullptr; }
  // The entries an index can reach (at most INT32_MAX).
  int32_t entry_count() const;
  // The entries the archive counts, which zip64 lets pass INT32_MAX.
  uint64_t total_entries() const;

  // Describes entry `index`; -1 describes the archive (its index field is the
  // entry count). Closes the open entry.
  ZipStatus GetEntry(int32_t index, ZipEntryInfo* entry);

  // Positions the archive on the first entry whose stored name equals
  // `utf8_name` with ASCII letters folded, and answers its index. On any
  // failure the position is left as it was.
  ZipStatus FindEntry(std::string_view utf8_name, int32_t* index);

  // Sums the uncompressed sizes of the central records up to the first one
  // that cannot be read (the entries after it are out of reach); a record
  // missing its zip64 value adds nothing. The sum stops at UINT64_MAX rather
  // than wrapping, so 64-bit sizes cannot add up to a small total. Walks the
  // directory only; the open entry stays open.
  ZipStatus SumUncompressedSizes(uint64_t* total);

  // Memory extraction: fills `buffer` with the entry's data. kZipMore when
  // the buffer is full and more is to come (the next call with the same index
  // continues); kZipOk when the last byte has been delivered, after which the
  // entry is closed, so a further call starts again from the beginning.
  ZipStatus ExtractToMemory(int32_t index, void* buffer, size_t length);

  // Streaming access for the file layer: open an entry (closing the one that
  // is open), read it piece by piece, close it.
  ZipStatus OpenEntry(int32_t index);
  ZipStatus ReadEntry(void* buffer, size_t capacity, size_t* produced);
  bool entry_complete() const { return stream_.complete(); }
  bool entry_crc_matches() const { return stream_.crc_matches(); }
  int32_t open_index() const { return open_index_; }
  void CloseEntry();

 private:
  // Makes `index` the current entry and checks its local header.
  ZipStatus MoveToEntry(int32_t index, LocalLayout* layout);

  std::unique_ptr<ZipSource> source_;
  std::unique_ptr<ZipDirectory> directory_;
  std::string password_;
  LocalToUtc local_to_utc_;
  ZipEntryStream stream_;
  int32_t open_index_ = -1;
  ZipEntryInfo cached_entry_;
  int32_t cached_index_ = -1;
  std::vector<uint8_t> extra_;  // scratch for local extra fields
};

}  // namespace archive
