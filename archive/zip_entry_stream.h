// ZipEntryStream: the data of one entry as it is read: decrypted when the
// entry is encrypted, copied (stored) or raw-inflated (deflated), with a
// running CRC-32.
//
// The stream never delivers more than the entry's recorded uncompressed size
// and never reads more than its recorded compressed size, so a lying or
// hostile entry cannot make it write without bound; every read makes
// progress or fails, so it cannot spin.
//
// Owned by ZipArchive (one open entry at a time); one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "archive/zip_cipher.h"
#include "archive/zip_directory.h"
#include "archive/zip_source.h"
#include "archive/zip_status.h"

namespace archive {

class ZipEntryStream {
 public:
  // Input is read from the source in pieces of at most this size.
  static constexpr size_t kInputPiece = size_t{256} << 10;

  ZipEntryStream();
  ~ZipEntryStream();
  ZipEntryStream(const ZipEntryStream&) = delete;
  ZipEntryStream& operator=(const ZipEntryStream&) = delete;

  // Starts reading the entry described by `record` whose data begins at
  // `data_offset`. For an encrypted entry this checks the password against
  // the encryption header (kZipWrongPassword when it does not fit, also when
  // no password is given).
  ZipStatus Open(ZipSource* source, const CentralRecord& record, uint64_t data_offset,
                 std::string_view password);
  void Close();
  bool is_open() const { return source_ != nullptr; }

  // Fills `buffer` with up to `capacity` bytes, fewer only when the entry
  // ends. *produced tells how many were written, also when the status is a
  // failure (the bytes before the failure are good). Statuses: kZipOk,
  // kZipReadFailed (the source failed), kZipDataError (bad deflate data, or
  // the data ended before the recorded size).
  ZipStatus Read(uint8_t* buffer, size_t capacity, size_t* produced);

  // All of the recorded uncompressed size has been delivered.
  bool complete() const { return is_open() && remaining_out_ == 0; }
  bool crc_matches() const { return crc_ == expected_crc_; }

 private:
  ZipStatus ReadStored(uint8_t* buffer, size_t capacity, size_t* produced);
  ZipStatus ReadDeflated(uint8_t* buffer, size_t capacity, size_t* produced);
  // Reads the next input piece into input_; kZipDataError at the source's end.
  ZipStatus FillInput();

  struct Inflater;  // zlib state, kept out of this header

  ZipSource* source_ = nullptr;
  uint64_t input_position_ = 0;
  uint64_t remaining_in_ = 0;
  uint64_t remaining_out_ = 0;
  uint32_t crc_ = 0;
  uint32_t expected_crc_ = 0;
  bool deflated_ = false;
  bool encrypted_ = false;
  ZipCipher cipher_;
  std::unique_ptr<uint8_t[]> input_;
  std::unique_ptr<Inflater> inflater_;
};

}  // namespace archive
