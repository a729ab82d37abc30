// ZipStatus: what every operation of the zip reader answers. The reader never
// throws; callers compare against these values. Plain constants, shared by the
// platform-free format code and the Windows file layer.
#pragma once

#include <cstdint>

using ZipStatus = uint32_t;

constexpr ZipStatus kZipOk = 0;
// A file could not be opened or created, the archive could not be opened, or
// an entry's name would land outside the target folder.
constexpr ZipStatus kZipCannotOpen = 0x200;
constexpr ZipStatus kZipWriteFailed = 0x400;
constexpr ZipStatus kZipNotFound = 0x500;
// The memory buffer is full and the entry has more: call again with the same
// index to continue.
constexpr ZipStatus kZipMore = 0x600;
// The entry's headers are inconsistent (local header against central record).
constexpr ZipStatus kZipCorrupt = 0x700;
constexpr ZipStatus kZipReadFailed = 0x800;
// All data of the entry came out, but its CRC-32 differs from the recorded
// one. The data is left as written.
constexpr ZipStatus kZipCrcMismatch = 0x900;
constexpr ZipStatus kZipWrongPassword = 0x1000;
constexpr ZipStatus kZipBadArgument = 0x10000;
constexpr ZipStatus kZipNotReader = 0x80000;
constexpr ZipStatus kZipAlreadyOpen = 0x1000000;
constexpr ZipStatus kZipCannotSeek = 0x2000000;
// Decompression failed or the entry's data ended early.
constexpr ZipStatus kZipDataError = 0x5000000;

// True for the values above (robustness checks use it).
constexpr bool IsKnownZipStatus(ZipStatus s) {
  return s == kZipOk || s == kZipCannotOpen || s == kZipWriteFailed || s == kZipNotFound ||
         s == kZipMore || s == kZipCorrupt || s == kZipReadFailed || s == kZipCrcMismatch ||
         s == kZipWrongPassword || s == kZipBadArgument || s == kZipNotReader ||
         s == kZipAlreadyOpen || s == kZipCannotSeek || s == kZipDataError;
}
