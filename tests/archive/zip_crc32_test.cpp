#include "archive/zip_crc32.h"

#include <zlib.h>

#include <gtest/gtest.h>
#include <vector>

namespace archive {
namespace {

TEST(ZipCrc32Test, AgreesWithZlibForEveryLengthAlignmentAndStartValue) {
  std::vector<uint8_t> data(5000);
  uint32_t x = 12345;
  for (uint8_t& b : data) b = static_cast<uint8_t>((x = x * 1103515245 + 12345) >> 16);
  for (size_t length = 0; length < 1200; ++length) {
    for (size_t offset : {0, 1, 7, 16}) {
      uint32_t start = static_cast<uint32_t>(length * 2654435761u);
      ASSERT_EQ(Crc32(start, data.data() + offset, length),
                crc32(start, data.data() + offset, static_cast<uInt>(length)))
          << "length " << length << " offset " << offset;
    }
  }
  // Piece by piece equals all at once.
  uint32_t pieces = 0;
  for (size_t at = 0; at < data.size(); at += 777) {
    pieces = Crc32(pieces, data.data() + at, std::min<size_t>(777, data.size() - at));
  }
  EXPECT_EQ(pieces, crc32(0, data.data(), static_cast<uInt>(data.size())));
  EXPECT_EQ(Crc32(0, reinterpret_cast<const uint8_t*>("123456789"), 9), 0xCBF43926u);
}

}  // namespace
}  // namespace archive
