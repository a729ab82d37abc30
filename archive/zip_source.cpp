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
    : inner_(std::move(inner)) {
  for (Window& w : windows_) w.bytes.resize(window_size);
}

bool WindowedZipSource::ReadAt(uint64_t offset, void* buffer, size_t length, size_t* got) {
  *got = 0;
  // Reads of a quarter window or more gain nothing from copying through it.
  if (length >= windows_[0].bytes.size() / 4) return inner_->ReadAt(offset, buffer, length, got);

  auto holds = [&](const Window& w) {
    return offset >= w.offset && offset - w.offset <= w.length &&
           w.length - (offset - w.offset) >= length;
  };
  Window* w = holds(windows_[0]) ? &windows_[0] : holds(windows_[1]) ? &windows_[1] : nullptr;
  if (!w) {
    w = windows_[0].last_use <= windows_[1].last_use ? &windows_[0] : &windows_[1];
    w->length = 0;
    w->offset = offset;
    if (!inner_->ReadAt(offset, w->bytes.data(), w->bytes.size(), &w->length)) {
      w->length = 0;
      return false;
    }
  }
  w->last_use = ++uses_;
  size_t start = static_cast<size_t>(offset - w->offset);
  size_t n = std::min(length, w->length - start);
  if (n) std::memcpy(buffer, w->bytes.data() + start, n);
  *got = n;
  return true;
}

}  // namespace archive
