// FileZipSource: a ZipSource over a Win32 file handle, starting at the
// handle's position when the archive was opened (so an archive inside a
// larger file can be read). Reads are positioned (they do not depend on or
// disturb a shared file pointer in any way the reader relies on).
//
// Owns the handle only when `owned` (the reader opened the file by name).
// Used by one ZipReader, one thread at a time.
#pragma once

#include <windows.h>

#include <cstdint>

#include "archive/zip_source.h"

namespace archive {

class FileZipSource : public ZipSource {
 public:
  // `start` is the handle's offset where the source begins; `size` the bytes
  // from there to the end of the file.
  FileZipSource(HANDLE file, bool owned, uint64_t start, uint64_t size);
  ~FileZipSource() override;
  FileZipSource(const FileZipSource&) = delete;
  FileZipSource& operator=(const FileZipSource&) = delete;

  uint64_t Size() const override { return size_; }
  bool ReadAt(uint64_t offset, void* buffer, size_t length, size_t* got) override;

 private:
  HANDLE file_;
  bool owned_;
  uint64_t start_;
  uint64_t size_;
};

}  // namespace archive
