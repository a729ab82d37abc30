// ZipCipher: the traditional PKWARE stream cipher of zip entries (three
// 32-bit keys driven by CRC-32 steps). Only decryption is needed here; the
// encrypting direction lives in the tests' archive generator.
//
// One cipher per entry being read; owned by that entry's stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace archive {

class ZipCipher {
 public:
  // Resets the keys and mixes in the password bytes.
  void Init(std::string_view password);

  uint8_t DecryptByte(uint8_t c);
  void Decrypt(uint8_t* data, size_t length);

 private:
  void Update(uint8_t plain);

  uint32_t key0_ = 0;
  uint32_t key1_ = 0;
  uint32_t key2_ = 0;
};

}  // namespace archive
