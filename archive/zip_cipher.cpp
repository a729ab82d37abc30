#include "archive/zip_cipher.h"

#include <zlib.h>

namespace archive {

namespace {

inline uint32_t CrcStep(uint32_t crc, uint8_t b) {
  static const z_crc_t* const table = get_crc_table();
  return static_cast<uint32_t>(table[(crc ^ b) & 0xFF]) ^ (crc >> 8);
}

}  // namespace

void ZipCipher::Init(std::string_view password) {
  key0_ = 0x12345678;
  key1_ = 0x23456789;
  key2_ = 0x34567890;
  for (char c : password) Update(static_cast<uint8_t>(c));
}

void ZipCipher::Update(uint8_t plain) {
  key0_ = CrcStep(key0_, plain);
  key1_ = (key1_ + (key0_ & 0xFF)) * 134775813u + 1;
  key2_ = CrcStep(key2_, static_cast<uint8_t>(key1_ >> 24));
}

uint8_t ZipCipher::DecryptByte(uint8_t c) {
  uint32_t t = (key2_ | 2) & 0xFFFF;
  uint8_t plain = c ^ static_cast<uint8_t>((t * (t ^ 1)) >> 8);
  Update(plain);
  return plain;
}

void ZipCipher::Decrypt(uint8_t* data, size_t length) {
  for (size_t i = 0; i < length; ++i) data[i] = DecryptByte(data[i]);
}

}  // namespace archive
