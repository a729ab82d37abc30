// Random-access byte sources that the zip format code reads archives from.
//
// ZipSource is the seam between the platform-free format code and wherever
// the bytes live: MemoryZipSource serves a block in memory (the embedded skin
// archive, fuzz inputs), the Windows layer adds a file source, and
// WindowedZipSource puts a read-ahead window in front of a slow source so the
// many small header reads do not each cost a system call.
//
// Offsets are relative to the start of the source. A source belongs to one
// ZipArchive and is used by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace archive {

class ZipSource {
 public:
  virtual ~ZipSource() = default;

  virtual uint64_t Size() const = 0;

  // Reads up to `length` bytes at `offset` into `buffer` and sets `*got` to
  // the count read, which is short only at the end of the source. Returns
  // false when the read itself failed.
  virtual bool ReadAt(uint64_t offset, void* buffer, size_t length, size_t* got) = 0;

  // True when exactly `length` bytes could be read.
  bool ReadExact(uint64_t offset, void* buffer, size_t length);
};

// A block in memory that the caller keeps alive while the source is in use.
class MemoryZipSource : public ZipSource {
 public:
  MemoryZipSource(const void* data, size_t size);

  uint64_t Size() const override { return size_; }
  bool ReadAt(uint64_t offset, void* buffer, size_t length, size_t* got) override;

 private:
  const uint8_t* data_;
  size_t size_;
};

// Serves small reads from two windows of the inner source, each read in one
// go; large reads go straight through. Two, because extraction alternates
// between the central directory and the entries' local headers, and one
// window would be refilled at every turn.
class WindowedZipSource : public ZipSource {
 public:
  explicit WindowedZipSource(std::unique_ptr<ZipSource> inner, size_t window_size = 16 * 1024);

  uint64_t Size() const override { return inner_->Size(); }
  bool ReadAt(uint64_t offset, void* buffer, size_t length, size_t* got) override;

 private:
  struct Window {
    std::vector<uint8_t> bytes;
    uint64_t offset = 0;
    size_t length = 0;  // valid bytes
    uint64_t last_use = 0;
  };

  std::unique_ptr<ZipSource> inner_;
  Window windows_[2];
  uint64_t uses_ = 0;
};

}  // namespace archive
