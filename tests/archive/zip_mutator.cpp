#include "tests/archive/zip_mutator.h"

#include <algorithm>
#include <utility>

namespace archive_test {

namespace {

struct Field {
  size_t offset;
  int width;  // 2 or 4 bytes
};

// The header fields of every record signature found in the bytes.
std::vector<Field> HeaderFields(const std::vector<uint8_t>& b) {
  static const std::pair<int, int> kLocal[] = {{6, 2},  {8, 2},  {14, 4}, {18, 4},
                                               {22, 4}, {26, 2}, {28, 2}};
  static const std::pair<int, int> kCentral[] = {{4, 2},  {8, 2},  {10, 2}, {16, 4},
                                                 {20, 4}, {24, 4}, {28, 2}, {30, 2},
                                                 {32, 2}, {34, 2}, {38, 4}, {42, 4}};
  static const std::pair<int, int> kEnd[] = {{4, 2},  {6, 2},  {8, 2}, {10, 2},
                                             {12, 4}, {16, 4}, {20, 2}};
  std::vector<Field> fields;
  for (size_t i = 0; i + 4 <= b.size(); ++i) {
    if (b[i] != 'P' || b[i + 1] != 'K') continue;
    auto add = [&](const auto& table) {
      for (const auto& f : table) {
        if (i + f.first + f.second <= b.size()) fields.push_back({i + f.first, f.second});
      }
    };
    if (b[i + 2] == 3 && b[i + 3] == 4) add(kLocal);
    if (b[i + 2] == 1 && b[i + 3] == 2) add(kCentral);
    if (b[i + 2] == 5 && b[i + 3] == 6) add(kEnd);
  }
  return fields;
}

}  // namespace

uint64_t ZipMutator::Next() {
  // splitmix64: the same numbers on every compiler and library.
  uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

uint32_t ZipMutator::Below(uint32_t n) { return static_cast<uint32_t>(Next() % n); }

void ZipMutator::SetField(std::vector<uint8_t>* bytes) {
  std::vector<Field> fields = HeaderFields(*bytes);
  if (fields.empty()) return;
  Field f = fields[Below(static_cast<uint32_t>(fields.size()))];
  uint32_t old = 0;
  for (int i = 0; i < f.width; ++i) old |= static_cast<uint32_t>((*bytes)[f.offset + i]) << (8 * i);
  const uint32_t max = f.width == 2 ? 0xFFFFu : 0xFFFFFFFFu;
  const uint32_t size = static_cast<uint32_t>(bytes->size());
  const uint32_t choices[] = {0,
                              1,
                              max,
                              max - 1,
                              max / 2,
                              max / 2 + 1,
                              old + 1,
                              old - 1,
                              size,
                              size - 1,
                              size + 1,
                              old + Below(64) - 32,
                              static_cast<uint32_t>(Next())};
  uint32_t value = choices[Below(sizeof choices / sizeof choices[0])] & max;
  for (int i = 0; i < f.width; ++i) (*bytes)[f.offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

std::vector<uint8_t> ZipMutator::Mutate(const std::vector<uint8_t>& archive) {
  std::vector<uint8_t> b = archive;
  const int count = 1 + static_cast<int>(Below(3));
  for (int m = 0; m < count; ++m) {
    const uint32_t kind = Below(100);
    const uint32_t size = static_cast<uint32_t>(b.size());
    if (kind < 35) {
      SetField(&b);
    } else if (kind < 60) {
      for (uint32_t n = 1 + Below(4); n > 0 && size > 0; --n) {
        b[Below(size)] ^= static_cast<uint8_t>(1 + Below(255));
      }
    } else if (kind < 70) {
      b.resize(Below(size + 1));
    } else if (kind < 80 && size > 0) {
      // Copy a piece over another place (a header where data was, ...).
      uint32_t length = 1 + Below(64);
      uint32_t from = Below(size), to = Below(size);
      length = std::min({length, size - from, size - to});
      std::copy(b.begin() + from, b.begin() + from + length, b.begin() + to);
    } else if (kind < 90) {
      uint32_t at = Below(size + 1);
      std::vector<uint8_t> extra(1 + Below(64));
      for (uint8_t& x : extra) x = static_cast<uint8_t>(Next());
      b.insert(b.begin() + at, extra.begin(), extra.end());
    } else if (size > 0) {
      uint32_t at = Below(size);
      uint32_t length = std::min(1 + Below(64), size - at);
      b.erase(b.begin() + at, b.begin() + at + length);
    }
  }
  return b;
}

}  // namespace archive_test
