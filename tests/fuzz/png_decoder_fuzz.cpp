// Robustness harness for the skin's PNG decoder (ui/render/png_decoder.h); see
// fuzz_driver.h for how it runs. Per input:
// - no crash, no read outside the input, no unbounded allocation;
// - an input without the signature is never taken for a PNG;
// - a decoded image is within the size limits and holds exactly its pixels,
//   every one premultiplied (no colour above its alpha), and has_alpha says
//   whether any pixel is not opaque;
// - decoding is deterministic, and refusals leave the output untouched.
// Each input runs twice: as it is, and with every chunk's CRC made right, so
// that mutations get past the checksums into the chunks and the pixels.
#include <zlib.h>

#include <cstring>
#include <vector>

#include "tests/fuzz/fuzz_driver.h"
#include "ui/render/png_decoder.h"

namespace {

using fuzz::FuzzCheck;

constexpr uint8_t kSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};

void CheckDecoded(const ui::PngPixels& png) {
  FuzzCheck(png.width > 0 && png.height > 0, "an empty image is decoded");
  FuzzCheck(static_cast<uint32_t>(png.width) <= ui::kPngMaxSide &&
                static_cast<uint32_t>(png.height) <= ui::kPngMaxSide &&
                static_cast<uint64_t>(png.width) * png.height <= ui::kPngMaxPixels,
            "an image beyond the limits is decoded");
  FuzzCheck(png.pixels.size() == static_cast<size_t>(png.width) * png.height,
            "the pixels do not match the size");
  bool any_translucent = false;
  for (uint32_t pixel : png.pixels) {
    const uint32_t a = pixel >> 24;
    FuzzCheck(((pixel >> 16) & 0xFF) <= a && ((pixel >> 8) & 0xFF) <= a && (pixel & 0xFF) <= a,
              "a colour exceeds its alpha");
    any_translucent |= a != 255;
  }
  FuzzCheck(png.has_alpha == any_translucent, "has_alpha is wrong");
}

void CheckInput(const uint8_t* data, size_t size) {
  ui::PngPixels first;
  first.width = -1;  // marks an untouched output
  const ui::PngResult result = ui::DecodePng(data, size, &first);
  if (size < sizeof(kSignature) || std::memcmp(data, kSignature, sizeof(kSignature)) != 0) {
    FuzzCheck(result == ui::PngResult::kNotPng, "a file without the signature is read");
  }
  if (result != ui::PngResult::kDecoded) {
    FuzzCheck(first.width == -1 && first.pixels.empty(), "a refusal changed the output");
    return;
  }
  CheckDecoded(first);
  ui::PngPixels second;
  FuzzCheck(ui::DecodePng(data, size, &second) == ui::PngResult::kDecoded &&
                second.width == first.width && second.height == first.height &&
                second.pixels == first.pixels,
            "decoding twice differs");
}

// |data| with the CRC of every whole chunk recomputed.
std::vector<uint8_t> WithGoodCrcs(const uint8_t* data, size_t size) {
  std::vector<uint8_t> fixed(data, data + size);
  size_t pos = sizeof(kSignature);
  while (size >= 12 && pos <= size - 12) {
    const uint32_t length = (uint32_t{fixed[pos]} << 24) | (uint32_t{fixed[pos + 1]} << 16) |
                            (uint32_t{fixed[pos + 2]} << 8) | fixed[pos + 3];
    if (length > size - pos - 12) break;
    const uint32_t crc = static_cast<uint32_t>(crc32(0L, fixed.data() + pos + 4, length + 4));
    uint8_t* at = fixed.data() + pos + 8 + length;
    for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
    pos += 12 + size_t{length};
  }
  return fixed;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CheckInput(data, size);
  if (size >= sizeof(kSignature)) {
    const std::vector<uint8_t> fixed = WithGoodCrcs(data, size);
    CheckInput(fixed.data(), fixed.size());
  }
  return 0;
}
