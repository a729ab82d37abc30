// The floor for the extraction benchmark: only the work no extractor can
// avoid. Reads the central directory once, and for each entry inflates its
// data with zlib in 16 KiB pieces and writes it with CreateFileW/WriteFile.
// No checks of any kind (no CRC, no name sanitising, no header comparison,
// no times or attributes); each folder is created once.
//
//   zip_floor_extract ARCHIVE.zip TARGET_FOLDER
#include <windows.h>

#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <unordered_set>
#include <vector>

namespace {

constexpr DWORD kPiece = 16384;

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Le32(const uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

bool ReadAt(HANDLE file, uint64_t offset, void* buffer, DWORD length) {
  OVERLAPPED at = {};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD got = 0;
  return ReadFile(file, buffer, length, &got, &at) && got == length;
}

std::wstring Widen(const std::string& utf8) {
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(n, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &wide[0], n);
  for (wchar_t& c : wide) {
    if (c == L'/') c = L'\\';
  }
  return wide;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: zip_floor_extract ARCHIVE.zip TARGET_FOLDER\n");
    return 2;
  }
  LARGE_INTEGER start, stop, frequency;
  QueryPerformanceCounter(&start);
  HANDLE zip =
      CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (zip == INVALID_HANDLE_VALUE) return 1;
  LARGE_INTEGER size;
  GetFileSizeEx(zip, &size);
  uint8_t end[22];
  if (!ReadAt(zip, size.QuadPart - 22, end, 22)) return 1;  // no archive comment
  const uint32_t count = Le16(end + 10);
  std::vector<uint8_t> directory(Le32(end + 12));
  if (!ReadAt(zip, Le32(end + 16), directory.data(), static_cast<DWORD>(directory.size())))
    return 1;

  const std::wstring target = std::wstring(argv[2]) + L"\\";
  std::unordered_set<std::wstring> made;
  auto make_folders = [&](const std::wstring& path) {
    for (size_t at = target.size(); (at = path.find(L'\\', at)) != std::wstring::npos; ++at) {
      std::wstring folder = path.substr(0, at);
      if (made.insert(folder).second) CreateDirectoryW(folder.c_str(), nullptr);
    }
  };
  CreateDirectoryW(argv[2], nullptr);

  std::vector<uint8_t> in(kPiece), out(kPiece);
  z_stream z = {};
  inflateInit2(&z, -MAX_WBITS);
  uint64_t written_total = 0;
  const uint8_t* record = directory.data();
  for (uint32_t i = 0; i < count; ++i) {
    const uint16_t method = Le16(record + 10);
    uint32_t remaining = Le32(record + 20);
    const uint16_t name_length = Le16(record + 28);
    const std::wstring path =
        target + Widen(std::string(reinterpret_cast<const char*>(record + 46), name_length));
    const uint64_t local = Le32(record + 42);
    record += 46 + name_length + Le16(record + 30) + Le16(record + 32);
    make_folders(path);
    if (path.back() == L'\\') continue;

    uint8_t header[30];
    ReadAt(zip, local, header, 30);
    uint64_t position = local + 30 + Le16(header + 26) + Le16(header + 28);
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) continue;
    DWORD written;
    if (method == 0) {
      while (remaining > 0) {
        DWORD n = remaining < kPiece ? remaining : kPiece;
        ReadAt(zip, position, in.data(), n);
        WriteFile(file, in.data(), n, &written, nullptr);
        position += n;
        remaining -= n;
        written_total += n;
      }
    } else {
      // Whole 16 KiB pieces out: refill the input until the output piece is
      // full or the stream ends, then write it.
      inflateReset(&z);
      int ret = Z_OK;
      while (ret != Z_STREAM_END) {
        z.next_out = out.data();
        z.avail_out = kPiece;
        while (z.avail_out > 0 && ret != Z_STREAM_END) {
          if (z.avail_in == 0) {
            if (remaining == 0) break;
            DWORD n = remaining < kPiece ? remaining : kPiece;
            ReadAt(zip, position, in.data(), n);
            position += n;
            remaining -= n;
            z.next_in = in.data();
            z.avail_in = n;
          }
          ret = inflate(&z, Z_NO_FLUSH);
          if (ret != Z_OK && ret != Z_STREAM_END) break;
        }
        DWORD n = kPiece - z.avail_out;
        if (n == 0) break;
        WriteFile(file, out.data(), n, &written, nullptr);
        written_total += n;
        if (ret != Z_OK && ret != Z_STREAM_END) break;
      }
    }
    CloseHandle(file);
  }
  inflateEnd(&z);
  CloseHandle(zip);
  QueryPerformanceCounter(&stop);
  QueryPerformanceFrequency(&frequency);
  std::printf("floor: %u entries, %llu bytes, %.3f s inside the process\n", count,
              static_cast<unsigned long long>(written_total),
              static_cast<double>(stop.QuadPart - start.QuadPart) / frequency.QuadPart);
  return 0;
}
