#include "archive/zip_source.h"

#include <algorithm>
#include <cstring>

namespace archive {

bool ZipSource::ReadExact(uint64_t offset, void* buffer, size_t length) {
  size_t got = 0;
  return ReadAt(offset, buffer, length, &got) && got == length;
}

MemoryZipSource::MemoryZipSource(const void* data, size_t size)
    : data_(static_cast<const uint8_t*>(data)), size_(data ? size : 0) {}

bool MemoryZipSource::ReadAt(uint64_t offset, void* buffer, size_t length, size_t* got) {
  *got = 0;
  if (offset >= size_) return true;
  size_t n = static_cast<size_t>(std::min<uint64_t>(length, size_ - offset));
  if (n) std::memcpy(buffer, data_ + offset, n);
  *got = n;
  return true;
}

WindowedZipSource::WindowedZipSource(std::unique_ptr<ZipSource> inner, size_t window_size)
    : inner_(std::move(inner)), window_(window_size) {}

bool WindowedZipSource::ReadAt(uint64_t offset, void* buffer, size_t length, size_t* got) {
  *got = 0;
  // Reads of a quarter window or more gain nothing from copying through it.
  if (length >= window_.size() / 4) return inner_->ReadAt(offset, buffer, length, got);

  bool inside = offset >= window_offset_ && offset - window_offset_ <= window_length_ &&
                window_length_ - (offset - window_offset_) >= length;
  if (!inside) {
    window_length_ = 0;
    window_offset_ = offset;
    if (!inner_->ReadAt(offset, window_.data(), window_.size(), &window_length_)) {
      window_length_ = 0;
      return false;
    }
  }
  size_t start = static_cast<size_t>(offset - window_offset_);
  size_t n = std::min(length, window_length_ - start);
  if (n) std::memcpy(buffer, window_.data() + start, n);
  *got = n;
  return true;
}

}  // namespace archive
