// MakeStoredZip: a zip archive in memory whose entries are stored without
// compression, for tests that need an archive with given members. Header-only.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace testing_support {

inline uint32_t Crc32(const std::string& data) {
  uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char byte : data) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

// |entries|: (member name in UTF-8 with "/" separators, content).
inline std::string MakeStoredZip(const std::vector<std::pair<std::string, std::string>>& entries) {
  auto put16 = [](std::string& out, uint32_t v) {
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>((v >> 8) & 0xFF));
  };
  auto put32 = [&](std::string& out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
  };
  const uint32_t dos_time = (2024u - 1980u) << 25 | 1u << 21 | 1u << 16;  // 2024-01-01
  std::string archive;
  std::string directory;
  for (const auto& entry : entries) {
    const uint32_t offset = static_cast<uint32_t>(archive.size());
    const uint32_t crc = Crc32(entry.second);
    const uint32_t size = static_cast<uint32_t>(entry.second.size());
    put32(archive, 0x04034b50);
    put16(archive, 10);     // version needed
    put16(archive, 0x800);  // UTF-8 names
    put16(archive, 0);      // stored
    put32(archive, dos_time);
    put32(archive, crc);
    put32(archive, size);
    put32(archive, size);
    put16(archive, static_cast<uint32_t>(entry.first.size()));
    put16(archive, 0);
    archive += entry.first;
    archive += entry.second;

    put32(directory, 0x02014b50);
    put16(directory, 20);  // made by: DOS attributes
    put16(directory, 10);
    put16(directory, 0x800);
    put16(directory, 0);
    put32(directory, dos_time);
    put32(directory, crc);
    put32(directory, size);
    put32(directory, size);
    put16(directory, static_cast<uint32_t>(entry.first.size()));
    put16(directory, 0);     // extra
    put16(directory, 0);     // comment
    put16(directory, 0);     // disk
    put16(directory, 0);     // internal attributes
    put32(directory, 0x20);  // archive bit
    put32(directory, offset);
    directory += entry.first;
  }
  const uint32_t directory_offset = static_cast<uint32_t>(archive.size());
  archive += directory;
  put32(archive, 0x06054b50);
  put16(archive, 0);
  put16(archive, 0);
  put16(archive, static_cast<uint32_t>(entries.size()));
  put16(archive, static_cast<uint32_t>(entries.size()));
  put32(archive, static_cast<uint32_t>(directory.size()));
  put32(archive, directory_offset);
  put16(archive, 0);
  return archive;
}

}  // namespace testing_support
