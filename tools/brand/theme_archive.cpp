#include "tools/brand/theme_archive.h"

#include <cstdint>

namespace brand {

const char* const kRequiredThemeMembers[2] = {"resources/config.json",
                                              "resources/themes/default/global.xml"};

namespace {

constexpr uint32_t kEndSignature = 0x06054b50;
constexpr uint32_t kCentralSignature = 0x02014b50;
constexpr size_t kEndRecordSize = 22;
constexpr size_t kCentralHeaderSize = 46;
constexpr size_t kMaxCommentSize = 0xFFFF;

uint32_t Read16(const std::string& b, size_t at) {
  return static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8;
}

uint32_t Read32(const std::string& b, size_t at) { return Read16(b, at) | Read16(b, at + 2) << 16; }

bool EqualsIgnoringAsciiCase(const std::string& a, const char* b) {
  size_t i = 0;
  for (; i < a.size() && b[i]; ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return i == a.size() && !b[i];
}

ThemeArchiveCheck Fail(std::string problem) {
  ThemeArchiveCheck check;
  check.problem = std::move(problem);
  return check;
}

}  // namespace

ThemeArchiveCheck CheckThemeArchive(const std::string& zip) {
  if (zip.size() < kEndRecordSize) return Fail("not a zip archive (too short)");

  // The end record is the last signature within the final 64 KiB + 22 bytes.
  size_t end = std::string::npos;
  size_t lowest = zip.size() > kEndRecordSize + kMaxCommentSize
                      ? zip.size() - kEndRecordSize - kMaxCommentSize
                      : 0;
  for (size_t at = zip.size() - kEndRecordSize + 1; at-- > lowest;) {
    if (Read32(zip, at) == kEndSignature) {
      end = at;
      break;
    }
  }
  if (end == std::string::npos) return Fail("not a zip archive (no end of central directory)");

  const uint32_t disk = Read16(zip, end + 4);
  const uint32_t directory_disk = Read16(zip, end + 6);
  const uint32_t entries_here = Read16(zip, end + 8);
  const uint32_t entries = Read16(zip, end + 10);
  const uint64_t directory_size = Read32(zip, end + 12);
  const uint64_t directory_offset = Read32(zip, end + 16);
  if (disk != 0 || directory_disk != 0 || entries_here != entries)
    return Fail("multi-part zip archives are not supported");
  if (directory_offset + directory_size > end)
    return Fail("damaged zip archive (central directory past its end record)");
  // Data in front of the archive shifts every stored offset by this much.
  const size_t shift = static_cast<size_t>(end - directory_offset - directory_size);

  ThemeArchiveCheck check;
  size_t at = shift + static_cast<size_t>(directory_offset);
  const size_t directory_end = at + static_cast<size_t>(directory_size);
  for (uint32_t i = 0; i < entries; ++i) {
    if (at + kCentralHeaderSize > directory_end || Read32(zip, at) != kCentralSignature)
      return Fail("damaged zip archive (central directory entry " + std::to_string(i) + ")");
    const size_t name_size = Read16(zip, at + 28);
    const size_t extra_size = Read16(zip, at + 30);
    const size_t comment_size = Read16(zip, at + 32);
    const size_t next = at + kCentralHeaderSize + name_size + extra_size + comment_size;
    if (next > directory_end)
      return Fail("damaged zip archive (central directory entry " + std::to_string(i) + ")");
    check.members.push_back(zip.substr(at + kCentralHeaderSize, name_size));
    at = next;
  }

  for (const char* required : kRequiredThemeMembers) {
    bool found = false;
    for (const std::string& member : check.members)
      found = found || EqualsIgnoringAsciiCase(member, required);
    if (!found) {
      check.problem = std::string("the archive has no member \"") + required +
                      "\" (members must be named resources/..., as tools/pack_resources.py "
                      "writes them)";
      return check;
    }
  }
  check.ok = true;
  return check;
}

}  // namespace brand
