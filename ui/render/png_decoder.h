// DecodePng: reads the PNG files skins are made of straight into the 32-bit
// premultiplied pixels GDI draws, without GDI+.
//
// Why: GDI+ decodes through the system's imaging codecs, which the first
// frame then loads, and hands back a bitmap that is converted once more; for
// the images of the first page that was the largest part of its paint.
//
// What it reads: images that are not interlaced, with 8-bit samples (grey,
// grey with alpha, RGB, RGBA) or palettes of 1 to 8 bits, with or without a
// transparency chunk. Everything else (16-bit samples, interlacing, gamma or
// colour profiles, unknown critical chunks, a transparency chunk out of
// place) is answered kUnsupported, and anything damaged kDamaged: the caller
// hands both to GDI+, which keeps whatever it did with them before. Input is
// untrusted: lengths, CRCs, sizes and palette indexes are checked before
// use, and memory for the pixels is asked for only when the data can fill it.
//
// Pure code, any thread.
#ifndef UI_RENDER_PNG_DECODER_H_
#define UI_RENDER_PNG_DECODER_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace ui {

struct PngPixels {
  int width = 0;
  int height = 0;
  // Rows top down, each pixel 0xAARRGGBB with the colour multiplied by the
  // alpha (B, G, R, A in memory, as a 32-bit DIB holds them).
  std::vector<uint32_t> pixels;
  // False only when every pixel is opaque.
  bool has_alpha = false;
};

enum class PngResult {
  kDecoded,
  kNotPng,       // no PNG signature
  kUnsupported,  // a PNG this decoder leaves to others
  kDamaged,      // broken: a bad length, CRC, size, filter or index, or data missing
};

// Largest width or height, and number of pixels, decoded here.
constexpr uint32_t kPngMaxSide = 16384;
constexpr uint64_t kPngMaxPixels = uint64_t{1} << 24;

// True when |data| starts with the PNG signature.
bool LooksLikePng(const uint8_t* data, size_t size);

// Answers where the pixels of a |width| × |height| image go: width × height
// values, rows top down; nullptr gives up (kUnsupported). Called once, only
// after every chunk has been read and checked. When decoding fails later the
// memory holds part of the image, and is the caller's to free.
using PngAllocator = std::function<uint32_t*(int width, int height)>;

// Decodes into the memory |allocate| answers: the rows are inflated, unfiltered
// and converted one at a time, so no other buffer of the image's size is
// made. |has_alpha| (may be null) is set on success.
PngResult DecodePng(const uint8_t* data, size_t size, const PngAllocator& allocate,
                    bool* has_alpha);
// The same into |out|, which is left as it was unless the result is kDecoded.
PngResult DecodePng(const uint8_t* data, size_t size, PngPixels* out);

}  // namespace ui

#endif  // UI_RENDER_PNG_DECODER_H_
