#include "archive/file_zip_source.h"

#include <windows.h>

#include <algorithm>
#include <utility>

namespace archive {

FileZipSource::FileZipSource(cbase::ScopedHandle file, uint64_t size)
    : owned_(std::move(file)), file_(owned_.get()), start_(0), size_(size) {}

FileZipSource::FileZipSource(HANDLE file, uint64_t start, uint64_t size)
    : file_(file), start_(start), size_(size) {}

bool FileZipSource::ReadAt(uint64_t offset, void* buffer, size_t length, size_t* got) {
  *got = 0;
  if (offset >= size_) return true;
  length = static_cast<size_t>(std::min<uint64_t>(length, size_ - offset));
  uint8_t* out = static_cast<uint8_t*>(buffer);
  while (*got < length) {
    uint64_t position = start_ + offset + *got;
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(position);
    at.OffsetHigh = static_cast<DWORD>(position >> 32);
    DWORD want = static_cast<DWORD>(std::min<size_t>(length - *got, 1u << 30));
    DWORD read = 0;
    if (!ReadFile(file_, out + *got, want, &read, &at)) {
      // A handle the caller opened for overlapped I/O: wait for this read.
      if (GetLastError() != ERROR_IO_PENDING || !GetOverlappedResult(file_, &at, &read, TRUE)) {
        return GetLastError() == ERROR_HANDLE_EOF;
      }
    }
    if (read == 0) break;
    *got += read;
  }
  return true;
}

}  // namespace archive
