// FileZipSource: a ZipSource over a Win32 file handle, starting at the
// handle's position when the archive was opened (so an archive inside a
// larger file can be read). Reads are positioned (they do not depend on or
// disturb a shared file pointer in any way the reader relies on).
//
// Owns the handle only when the reader opened the file by name.
// Used by one ZipReader, one thread at a time.
#pragma once

#include <windows.h>

#include <cstdint>

#include "archive/zip_source.h"
#include "base/scoped_handle.h"

namespace archive {

class FileZipSource : public ZipSource {
 public:
  // A file of `size` bytes the source owns, read from its start.
  FileZipSource(cbase::ScopedHandle file, uint64_t size);
  // A handle the caller keeps open for the source's life. `start` is its
  // offset where the source begins; `size` the bytes from there to the end.
  FileZipSource(HANDLE file, uint64_t start, uint64_t size);
  FileZipSource(const FileZipSource&) = delete;
  FileZipSource& operator=(const FileZipSource&) = delete;

  uint64_t Size() const override { return size_; }
  bool ReadAt(uint64_t offset, void* buffer, size_t length, size_t* got) override;

 private:
  cbase::ScopedHandle owned_;
  HANDLE file_;
  uint64_t start_;
  uint64_t size_;
};

}  // namespace archive
