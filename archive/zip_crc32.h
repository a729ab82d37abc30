// Crc32: the CRC-32 of zip entries (zlib's convention: pass the previous
// value, 0 to start). On x86-64 processors with carry-less multiplication
// it folds 64 bytes per step, several times faster than table lookups, which
// matters because every extracted byte goes through it; elsewhere, and for
// short pieces, it is zlib's crc32.
#pragma once

#include <cstddef>
#include <cstdint>

namespace archive {

uint32_t Crc32(uint32_t crc, const uint8_t* data, size_t length);

}  // namespace archive
