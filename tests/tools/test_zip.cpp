#include "tests/tools/test_zip.h"

#include <windows.h>

#include <cstdint>

namespace brand_test {

namespace {

uint32_t Crc32(const std::string& data) {
  uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char byte : data) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

void Put16(std::string* out, uint32_t v) {
  out->push_back(static_cast<char>(v & 0xFF));
  out->push_back(static_cast<char>((v >> 8) & 0xFF));
}

void Put32(std::string* out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

}  // namespace

std::string MakeZip(const Members& members, const std::string& comment) {
  std::string zip, directory;
  for (const auto& member : members) {
    const std::string& name = member.first;
    const std::string& data = member.second;
    const uint32_t offset = static_cast<uint32_t>(zip.size());
    const uint32_t crc = Crc32(data);
    Put32(&zip, 0x04034b50);
    Put16(&zip, 10);          // version needed
    Put16(&zip, 0);           // flags
    Put16(&zip, 0);           // stored
    Put32(&zip, 0x00210000);  // 1980-01-01 00:00
    Put32(&zip, crc);
    Put32(&zip, static_cast<uint32_t>(data.size()));
    Put32(&zip, static_cast<uint32_t>(data.size()));
    Put16(&zip, static_cast<uint32_t>(name.size()));
    Put16(&zip, 0);
    zip += name + data;

    Put32(&directory, 0x02014b50);
    Put16(&directory, 20);  // made by: MS-DOS
    Put16(&directory, 10);
    Put16(&directory, 0);
    Put16(&directory, 0);
    Put32(&directory, 0x00210000);
    Put32(&directory, crc);
    Put32(&directory, static_cast<uint32_t>(data.size()));
    Put32(&directory, static_cast<uint32_t>(data.size()));
    Put16(&directory, static_cast<uint32_t>(name.size()));
    Put16(&directory, 0);  // extra
    Put16(&directory, 0);  // comment
    Put16(&directory, 0);  // disk
    Put16(&directory, 0);  // internal attributes
    Put32(&directory, 0x20);
    Put32(&directory, offset);
    directory += name;
  }
  const uint32_t directory_offset = static_cast<uint32_t>(zip.size());
  zip += directory;
  Put32(&zip, 0x06054b50);
  Put16(&zip, 0);
  Put16(&zip, 0);
  Put16(&zip, static_cast<uint32_t>(members.size()));
  Put16(&zip, static_cast<uint32_t>(members.size()));
  Put32(&zip, static_cast<uint32_t>(directory.size()));
  Put32(&zip, directory_offset);
  Put16(&zip, static_cast<uint32_t>(comment.size()));
  zip += comment;
  return zip;
}

std::string MakeThemeZip(const std::string& product) {
  return MakeZip({{"resources/config.json", "{\"product\": \"" + product + "\"}"},
                  {"resources/themes/default/global.xml", "<Global/>"},
                  {"resources/themes/default/basic/basic.xml", "<Window/>"}});
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
            written == bytes.size();
  CloseHandle(file);
  return ok;
}

}  // namespace brand_test
