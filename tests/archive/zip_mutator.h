// ZipMutator: deterministic damage to zip archives for the robustness tests
// (the Windows test program and the native sanitizer harness use the same
// sequence for the same seed). Mutations aim where readers get hurt: header
// fields (counts, sizes, offsets, lengths, methods, flags) set to extremes,
// byte flips, truncation, and bytes inserted, removed or copied elsewhere so
// stored offsets go stale. Plain C++, no platform headers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace archive_test {

class ZipMutator {
 public:
  explicit ZipMutator(uint64_t seed) : state_(seed) {}

  // One to three mutations of `archive`.
  std::vector<uint8_t> Mutate(const std::vector<uint8_t>& archive);

  // A number below n (n > 0).
  uint32_t Below(uint32_t n);

 private:
  uint64_t Next();
  void SetField(std::vector<uint8_t>* bytes);

  uint64_t state_;
};

}  // namespace archive_test
