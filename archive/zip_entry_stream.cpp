#include "archive/zip_entry_stream.h"

#include <zlib.h>

#include <algorithm>
#include <climits>

#include "archive/zip_crc32.h"

namespace archive {

namespace {

constexpr size_t kEncryptionHeaderSize = 12;

}  // namespace

struct ZipEntryStream::Inflater {
  z_stream z{};
  bool initialised = false;
  bool ended = false;

  ~Inflater() {
    if (initialised) inflateEnd(&z);
  }

  bool Start() {
    ended = false;
    z.next_in = nullptr;
    z.avail_in = 0;
    if (initialised) return inflateReset(&z) == Z_OK;
    // Negative window bits: raw deflate data, no zlib header or trailer.
    initialised = inflateInit2(&z, -MAX_WBITS) == Z_OK;
    return initialised;
  }
};

ZipEntryStream::ZipEntryStream() = default;
ZipEntryStream::~ZipEntryStream() = default;

void ZipEntryStream::Close() { source_ = nullptr; }

ZipStatus ZipEntryStream::Open(ZipSource* source, const CentralRecord& record, uint64_t data_offset,
                               std::string_view password) {
  Close();
  encrypted_ = (record.flags & kFlagEncrypted) != 0;
  deflated_ = record.method == kMethodDeflated;
  input_position_ = data_offset;
  remaining_in_ = record.compressed_size;
  remaining_out_ = record.uncompressed_size;
  crc_ = 0;
  expected_crc_ = record.crc32;

  if (encrypted_) {
    if (password.empty()) return kZipWrongPassword;
    if (remaining_in_ < kEncryptionHeaderSize) return kZipDataError;
    uint8_t header[kEncryptionHeaderSize];
    size_t got = 0;
    if (!source->ReadAt(input_position_, header, sizeof header, &got)) return kZipReadFailed;
    if (got != sizeof header) return kZipDataError;
    cipher_.Init(password);
    cipher_.Decrypt(header, sizeof header);
    // The last header byte repeats the high byte of the CRC, or of the DOS
    // time when the CRC was not known yet (data descriptor).
    uint8_t check = (record.flags & kFlagDataDescriptor)
                        ? static_cast<uint8_t>(record.dos_date_time >> 8)
                        : static_cast<uint8_t>(record.crc32 >> 24);
    if (header[kEncryptionHeaderSize - 1] != check) return kZipWrongPassword;
    input_position_ += kEncryptionHeaderSize;
    remaining_in_ -= kEncryptionHeaderSize;
  }
  if (deflated_) {
    if (!inflater_) inflater_ = std::make_unique<Inflater>();
    if (!inflater_->Start()) return kZipDataError;
    if (!input_) input_.reset(new uint8_t[kInputPiece]);
  }
  source_ = source;
  return kZipOk;
}

ZipStatus ZipEntryStream::Read(uint8_t* buffer, size_t capacity, size_t* produced) {
  *produced = 0;
  if (!source_) return kZipBadArgument;
  return deflated_ ? ReadDeflated(buffer, capacity, produced)
                   : ReadStored(buffer, capacity, produced);
}

ZipStatus ZipEntryStream::ReadStored(uint8_t* buffer, size_t capacity, size_t* produced) {
  while (*produced < capacity && remaining_out_ > 0) {
    if (remaining_in_ == 0) return kZipDataError;
    size_t n = static_cast<size_t>(
        std::min<uint64_t>({capacity - *produced, remaining_out_, remaining_in_}));
    uint8_t* out = buffer + *produced;
    size_t got = 0;
    if (!source_->ReadAt(input_position_, out, n, &got)) return kZipReadFailed;
    if (got == 0) return kZipDataError;
    if (encrypted_) cipher_.Decrypt(out, got);
    crc_ = Crc32(crc_, out, got);
    input_position_ += got;
    remaining_in_ -= got;
    remaining_out_ -= got;
    *produced += got;
  }
  return kZipOk;
}

ZipStatus ZipEntryStream::FillInput() {
  size_t n = static_cast<size_t>(std::min<uint64_t>(kInputPiece, remaining_in_));
  size_t got = 0;
  if (!source_->ReadAt(input_position_, input_.get(), n, &got)) return kZipReadFailed;
  if (got == 0) return kZipDataError;
  if (encrypted_) cipher_.Decrypt(input_.get(), got);
  input_position_ += got;
  remaining_in_ -= got;
  inflater_->z.next_in = input_.get();
  inflater_->z.avail_in = static_cast<uInt>(got);
  return kZipOk;
}

ZipStatus ZipEntryStream::ReadDeflated(uint8_t* buffer, size_t capacity, size_t* produced) {
  z_stream& z = inflater_->z;
  while (*produced < capacity && remaining_out_ > 0) {
    // The deflate data ended before the recorded size was reached.
    if (inflater_->ended) return kZipDataError;
    if (z.avail_in == 0) {
      if (remaining_in_ == 0) return kZipDataError;
      ZipStatus s = FillInput();
      if (s != kZipOk) return s;
    }
    uint8_t* out = buffer + *produced;
    uInt room =
        static_cast<uInt>(std::min<uint64_t>({capacity - *produced, remaining_out_, UINT_MAX}));
    uInt in_before = z.avail_in;
    z.next_out = out;
    z.avail_out = room;
    int ret = inflate(&z, Z_SYNC_FLUSH);
    uInt made = room - z.avail_out;
    crc_ = Crc32(crc_, out, made);
    *produced += made;
    remaining_out_ -= made;
    if (ret == Z_STREAM_END) {
      inflater_->ended = true;
    } else if (ret == Z_BUF_ERROR) {
      // No progress is only acceptable when the input ran dry.
      if (z.avail_in != 0) return kZipDataError;
    } else if (ret != Z_OK) {
      return kZipDataError;
    } else if (made == 0 && in_before == z.avail_in) {
      return kZipDataError;
    }
  }
  return kZipOk;
}

}  // namespace archive
