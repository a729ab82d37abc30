// FuzzMutator: deterministic byte-level damage for the native robustness
// harnesses (tests/fuzz/). The same seed gives the same sequence on every
// compiler and library, so a failure seen in CI replays on any machine with
// the iteration number it printed. Besides flips and cuts it repeats pieces
// many times over (deep nesting from one "[" or "<a>"), splices inputs
// together and drops in the harness's dictionary tokens, which is where text
// parsers tend to get hurt. Plain C++, no platform headers; one instance per
// driver, not shared between threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fuzz {

class FuzzMutator {
 public:
  FuzzMutator(uint64_t seed, size_t max_size) : state_(seed), max_size_(max_size) {}

  // Tokens that mutations insert or write over the input.
  void AddToken(std::string token);
  size_t token_count() const { return tokens_.size(); }

  // One to four stacked mutations of |input|; |other| is spliced in now and
  // then. The result is never longer than the maximum size.
  std::vector<uint8_t> Mutate(const std::vector<uint8_t>& input, const std::vector<uint8_t>& other);

  // A number below n (n > 0).
  uint32_t Below(uint32_t n);

 private:
  uint64_t Next();
  void MutateOnce(std::vector<uint8_t>* bytes, const std::vector<uint8_t>& other);

  uint64_t state_;
  size_t max_size_;
  std::vector<std::string> tokens_;
};

}  // namespace fuzz
