#include "tests/fuzz/fuzz_mutator.h"

#include <algorithm>
#include <utility>

namespace fuzz {

namespace {

// Bytes that sit on the borders of the encodings and character classes the
// harnesses' parsers care about (ASCII, UTF-8 lead and continuation bytes).
const uint8_t kInterestingBytes[] = {0x00, 0x01, 0x09, 0x0A, 0x0D, 0x1F, 0x20, 0x7F, 0x80, 0xBF,
                                     0xC0, 0xC2, 0xDF, 0xE0, 0xED, 0xEF, 0xF0, 0xF4, 0xF5, 0xFF,
                                     '"',  '\\', '<',  '>',  '&',  '/',  ':',  '.'};

}  // namespace

void FuzzMutator::AddToken(std::string token) {
  if (!token.empty()) tokens_.push_back(std::move(token));
}

uint64_t FuzzMutator::Next() {
  // splitmix64: the same numbers on every compiler and library.
  uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

uint32_t FuzzMutator::Below(uint32_t n) { return static_cast<uint32_t>(Next() % n); }

void FuzzMutator::MutateOnce(std::vector<uint8_t>* bytes, const std::vector<uint8_t>& other) {
  std::vector<uint8_t>& b = *bytes;
  const uint32_t size = static_cast<uint32_t>(b.size());
  const uint32_t kind = Below(100);
  if (kind < 15) {
    for (uint32_t n = 1 + Below(4); n > 0 && size > 0; --n) {
      b[Below(size)] ^= static_cast<uint8_t>(1u << Below(8));
    }
  } else if (kind < 25) {
    if (size > 0) b[Below(size)] = kInterestingBytes[Below(sizeof kInterestingBytes)];
  } else if (kind < 33) {
    const uint32_t at = Below(size + 1);
    std::vector<uint8_t> extra(1 + Below(8));
    for (uint8_t& x : extra) x = static_cast<uint8_t>(Next());
    b.insert(b.begin() + at, extra.begin(), extra.end());
  } else if (kind < 43) {
    if (size > 0) {
      const uint32_t at = Below(size);
      const uint32_t length = std::min(1 + Below(Below(4) == 0 ? 256 : 8), size - at);
      b.erase(b.begin() + at, b.begin() + at + length);
    }
  } else if (kind < 50) {
    // Copy a piece over another place.
    if (size > 0) {
      const uint32_t from = Below(size), to = Below(size);
      const uint32_t length = std::min({1 + Below(32), size - from, size - to});
      std::copy(b.begin() + from, b.begin() + from + length, b.begin() + to);
    }
  } else if (kind < 60) {
    // Repeat a short piece in place: a few times, or thousands of times for
    // nesting and length limits.
    if (size > 0) {
      const uint32_t from = Below(size);
      const uint32_t length = std::min(1 + Below(8), size - from);
      const uint32_t times = Below(4) == 0 ? 1 + Below(6000) : 1 + Below(16);
      const std::vector<uint8_t> piece(b.begin() + from, b.begin() + from + length);
      std::vector<uint8_t> run;
      run.reserve(static_cast<size_t>(length) * times);
      for (uint32_t t = 0; t < times; ++t) run.insert(run.end(), piece.begin(), piece.end());
      b.insert(b.begin() + from, run.begin(), run.end());
    }
  } else if (kind < 65) {
    b.resize(Below(size + 1));
  } else if (kind < 85) {
    if (!tokens_.empty()) {
      const std::string& token = tokens_[Below(static_cast<uint32_t>(tokens_.size()))];
      const uint32_t at = Below(size + 1);
      if (Below(3) == 0 && at + token.size() <= size) {
        std::copy(token.begin(), token.end(), b.begin() + at);
      } else {
        b.insert(b.begin() + at, token.begin(), token.end());
      }
    }
  } else if (kind < 93) {
    // Splice: the front of this input and the back of the other.
    if (!other.empty()) {
      const uint32_t keep = Below(size + 1);
      const uint32_t from = Below(static_cast<uint32_t>(other.size()));
      b.resize(keep);
      b.insert(b.end(), other.begin() + from, other.end());
    }
  } else {
    // Put a piece of the other input somewhere in this one.
    if (!other.empty()) {
      const uint32_t from = Below(static_cast<uint32_t>(other.size()));
      const uint32_t length = std::min(1 + Below(64), static_cast<uint32_t>(other.size()) - from);
      const uint32_t at = Below(size + 1);
      b.insert(b.begin() + at, other.begin() + from, other.begin() + from + length);
    }
  }
}

std::vector<uint8_t> FuzzMutator::Mutate(const std::vector<uint8_t>& input,
                                         const std::vector<uint8_t>& other) {
  std::vector<uint8_t> b = input;
  for (int m = 1 + static_cast<int>(Below(4)); m > 0; --m) {
    MutateOnce(&b, other);
    if (b.size() > max_size_) b.resize(max_size_);
  }
  return b;
}

}  // namespace fuzz
