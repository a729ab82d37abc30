// ScopedHGlobal owns a global memory block (GlobalAlloc, freed with
// GlobalFree); ScopedGlobalLock is a locked view of a block, unlocked when it
// ends.
//
// Blocks are what the clipboard and CreateStreamOnHGlobal trade in; the rest
// of the program uses bytes. A lock view does not own the block: whoever owns
// it (a ScopedHGlobal, or the clipboard) must outlive the view. Move-only; one
// thread at a time.
#pragma once

#include <windows.h>

#include <cstddef>

#include "base/scoped_generic.h"

namespace cbase {

struct HGlobalTraits {
  using Type = HGLOBAL;
  static HGLOBAL Invalid() { return nullptr; }
  static bool IsValid(HGLOBAL block) { return block != nullptr; }
  static void Free(HGLOBAL block) { ::GlobalFree(block); }
};
using ScopedHGlobal = ScopedGeneric<HGlobalTraits>;

class ScopedGlobalLock {
 public:
  explicit ScopedGlobalLock(HGLOBAL block)
      : block_(block), data_(block != nullptr ? ::GlobalLock(block) : nullptr) {}
  ~ScopedGlobalLock() { Unlock(); }
  ScopedGlobalLock(ScopedGlobalLock&& other) noexcept : block_(other.block_), data_(other.data_) {
    other.data_ = nullptr;
  }
  ScopedGlobalLock& operator=(ScopedGlobalLock&& other) noexcept {
    if (this != &other) {
      Unlock();
      block_ = other.block_;
      data_ = other.data_;
      other.data_ = nullptr;
    }
    return *this;
  }
  ScopedGlobalLock(const ScopedGlobalLock&) = delete;
  ScopedGlobalLock& operator=(const ScopedGlobalLock&) = delete;

  // nullptr when the block was nullptr or could not be locked.
  void* get() const { return data_; }
  explicit operator bool() const { return data_ != nullptr; }
  // The block's size in bytes (may exceed what was asked of GlobalAlloc);
  // 0 when nothing is locked.
  size_t size() const { return data_ != nullptr ? ::GlobalSize(block_) : 0; }

  // Unlocks now; the view is empty afterwards.
  void reset() { Unlock(); }

 private:
  void Unlock() {
    if (data_ != nullptr) ::GlobalUnlock(block_);
    data_ = nullptr;
  }

  HGLOBAL block_;
  void* data_;
};

}  // namespace cbase
