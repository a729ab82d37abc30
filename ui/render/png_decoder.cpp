#include "ui/render/png_decoder.h"

#include <zlib.h>

#include <cstring>
#include <utility>

namespace ui {
namespace {

constexpr uint8_t kSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};

enum ColourType : uint8_t { kGrey = 0, kRgb = 2, kPalette = 3, kGreyAlpha = 4, kRgba = 6 };

uint32_t ReadBig(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

bool IsType(const uint8_t* type, const char* name) { return std::memcmp(type, name, 4) == 0; }

uint32_t Premultiplied(uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
  if (a != 255) {
    r = (r * a + 127) / 255;
    g = (g * a + 127) / 255;
    b = (b * a + 127) / 255;
  }
  return (a << 24) | (r << 16) | (g << 8) | b;
}

// Written without branches: the choice follows the image, not a pattern a
// branch predictor could learn.
inline int Paeth(int a, int b, int c) {
  const int to_b = b - c;  // p - a, with p = a + b - c
  const int to_a = a - c;  // p - b
  const int pa = to_b < 0 ? -to_b : to_b;
  const int pb = to_a < 0 ? -to_a : to_a;
  const int sum = to_a + to_b;  // p - c
  const int pc = sum < 0 ? -sum : sum;
  const int nearer = pa <= pb ? a : b;
  const int nearest = pa <= pb ? pa : pb;
  return nearest <= pc ? nearer : c;
}

// Undoes the filter of one row in place, given the row above (all zeros
// for the first). False for an unknown filter.
bool Unfilter(uint8_t filter, uint8_t* row, const uint8_t* up, size_t stride, size_t bpp) {
  const size_t first = bpp < stride ? bpp : stride;  // bytes without a left neighbour
  switch (filter) {
    case 0:
      return true;
    case 1:
      for (size_t x = bpp; x < stride; ++x) row[x] = static_cast<uint8_t>(row[x] + row[x - bpp]);
      return true;
    case 2:
      for (size_t x = 0; x < stride; ++x) row[x] = static_cast<uint8_t>(row[x] + up[x]);
      return true;
    case 3:
      for (size_t x = 0; x < first; ++x) row[x] = static_cast<uint8_t>(row[x] + (up[x] >> 1));
      for (size_t x = bpp; x < stride; ++x) {
        row[x] = static_cast<uint8_t>(row[x] + ((row[x - bpp] + up[x]) >> 1));
      }
      return true;
    case 4:
      for (size_t x = 0; x < first; ++x) row[x] = static_cast<uint8_t>(row[x] + up[x]);
      for (size_t x = bpp; x < stride; ++x) {
        row[x] = static_cast<uint8_t>(row[x] + Paeth(row[x - bpp], up[x], up[x - bpp]));
      }
      return true;
    default:
      return false;
  }
}

struct Chunk {
  const uint8_t* body;
  uint32_t length;
};

// What the chunks say, read and checked before any pixel is made.
struct Image {
  uint32_t width = 0;
  uint32_t height = 0;
  uint8_t depth = 0;
  uint8_t colour = 0;
  size_t channels = 0;
  size_t stride = 0;           // bytes of one row's samples
  uint32_t palette[256] = {};  // 0xAARRGGBB, opaque until tRNS says otherwise
  size_t palette_size = 0;
  int grey_key = -1;         // the grey sample tRNS makes transparent
  bool has_rgb_key = false;  // and the RGB colour
  uint32_t rgb_key = 0;
  std::vector<Chunk> data;  // the IDAT chunks, in order
};

PngResult ReadHeader(const uint8_t* body, uint32_t length, Image* image) {
  if (length != 13) return PngResult::kDamaged;
  image->width = ReadBig(body);
  image->height = ReadBig(body + 4);
  image->depth = body[8];
  image->colour = body[9];
  const uint8_t interlace = body[12];
  if (image->width == 0 || image->height == 0 || image->width > 0x7FFFFFFFu ||
      image->height > 0x7FFFFFFFu || body[10] != 0 || body[11] != 0 || interlace > 1) {
    return PngResult::kDamaged;
  }
  const uint8_t d = image->depth;
  switch (image->colour) {
    case kGrey:
      image->channels = 1;
      if (d != 1 && d != 2 && d != 4 && d != 8 && d != 16) return PngResult::kDamaged;
      break;
    case kPalette:
      image->channels = 1;
      if (d != 1 && d != 2 && d != 4 && d != 8) return PngResult::kDamaged;
      break;
    case kRgb:
    case kGreyAlpha:
    case kRgba:
      image->channels = image->colour == kRgb ? 3 : image->colour == kRgba ? 4 : 2;
      if (d != 8 && d != 16) return PngResult::kDamaged;
      break;
    default:
      return PngResult::kDamaged;
  }
  if (d == 16 || interlace != 0 || image->width > kPngMaxSide || image->height > kPngMaxSide ||
      uint64_t{image->width} * image->height > kPngMaxPixels) {
    return PngResult::kUnsupported;
  }
  image->stride = (size_t{image->width} * image->channels * d + 7) / 8;
  return PngResult::kDecoded;
}

PngResult ReadChunks(const uint8_t* data, size_t size, Image* image) {
  bool have_header = false;
  bool data_ended = false;
  bool have_transparency = false;
  uint64_t compressed = 0;
  size_t pos = sizeof(kSignature);
  for (;;) {
    if (size - pos < 12) return PngResult::kDamaged;  // no IEND
    const uint32_t length = ReadBig(data + pos);
    if (length > size - pos - 12) return PngResult::kDamaged;
    const uint8_t* type = data + pos + 4;
    const uint8_t* body = type + 4;
    const uint32_t crc = static_cast<uint32_t>(crc32(0L, type, length + 4));
    if (crc != ReadBig(body + length)) return PngResult::kDamaged;
    pos += 12 + size_t{length};

    if (!have_header) {
      if (!IsType(type, "IHDR")) return PngResult::kDamaged;
      const PngResult read = ReadHeader(body, length, image);
      if (read != PngResult::kDecoded) return read;
      have_header = true;
      continue;
    }
    if (IsType(type, "IEND")) break;
    if (IsType(type, "IDAT")) {
      if (data_ended) return PngResult::kDamaged;  // IDAT chunks follow one another
      if (image->colour == kPalette && image->palette_size == 0) return PngResult::kDamaged;
      image->data.push_back({body, length});
      compressed += length;
      continue;
    }
    if (!image->data.empty()) data_ended = true;
    if (IsType(type, "PLTE")) {
      if (length == 0 || length % 3 != 0 || length / 3 > 256 || image->palette_size != 0 ||
          !image->data.empty()) {
        return PngResult::kDamaged;
      }
      image->palette_size = length / 3;
      for (size_t i = 0; i < image->palette_size; ++i) {
        image->palette[i] = 0xFF000000u | (uint32_t{body[i * 3]} << 16) |
                            (uint32_t{body[i * 3 + 1]} << 8) | body[i * 3 + 2];
      }
    } else if (IsType(type, "tRNS")) {
      // Readers ignore a second one, or one after the data: left to them.
      if (have_transparency || !image->data.empty()) return PngResult::kUnsupported;
      have_transparency = true;
      if (image->colour == kPalette) {
        if (length > image->palette_size) return PngResult::kDamaged;
        for (size_t i = 0; i < length; ++i) {
          image->palette[i] = (image->palette[i] & 0x00FFFFFFu) | (uint32_t{body[i]} << 24);
        }
      } else if (image->colour == kGrey && length == 2) {
        image->grey_key = static_cast<int>((uint32_t{body[0]} << 8) | body[1]);
        // Readers differ over keys beyond the sample's bits: left to GDI+.
        if (image->grey_key >= (1 << image->depth)) return PngResult::kUnsupported;
      } else if (image->colour == kRgb && length == 6) {
        if (body[0] != 0 || body[2] != 0 || body[4] != 0) return PngResult::kUnsupported;
        image->rgb_key = (uint32_t{body[1]} << 16) | (uint32_t{body[3]} << 8) | body[5];
        image->has_rgb_key = true;
      } else {
        return PngResult::kDamaged;
      }
    } else if (IsType(type, "gAMA") || IsType(type, "iCCP") || IsType(type, "cHRM")) {
      return PngResult::kUnsupported;  // colour handling is left to the system
    } else if ((type[0] & 0x20) == 0) {
      return PngResult::kUnsupported;  // a critical chunk we do not know
    }
  }
  if (!have_header || image->data.empty()) return PngResult::kDamaged;
  // Deflate makes at most 1032 bytes of one: data too short for the rows the
  // header claims is refused before memory is taken for them.
  if (compressed * 1032 < (1 + uint64_t{image->stride}) * image->height) {
    return PngResult::kDamaged;
  }
  return PngResult::kDecoded;
}

// The image data, inflated one row at a time across the IDAT chunks. Data
// after the last row, or after the end of the stream, is ignored, as other
// readers do.
class RowReader {
 public:
  explicit RowReader(const std::vector<Chunk>& chunks) : chunks_(chunks) {
    std::memset(&stream_, 0, sizeof(stream_));
    ready_ = inflateInit(&stream_) == Z_OK;
    // Every chunk's CRC has been checked: the stream's own Adler-32 would
    // check the same bytes again, at a tenth of a decode.
    if (ready_) inflateValidate(&stream_, 0);
  }
  ~RowReader() {
    if (ready_) inflateEnd(&stream_);
  }
  RowReader(const RowReader&) = delete;
  RowReader& operator=(const RowReader&) = delete;

  // Fills |row| with the next |size| bytes; false when the data ends first
  // or is broken.
  bool Read(uint8_t* row, size_t size) {
    if (!ready_) return false;
    stream_.next_out = row;
    stream_.avail_out = static_cast<uInt>(size);
    while (stream_.avail_out > 0) {
      if (stream_.avail_in == 0) {
        if (ended_ || next_chunk_ == chunks_.size()) return false;
        stream_.next_in = const_cast<Bytef*>(chunks_[next_chunk_].body);
        stream_.avail_in = chunks_[next_chunk_].length;
        ++next_chunk_;
        continue;
      }
      const int status = inflate(&stream_, Z_NO_FLUSH);
      if (status == Z_STREAM_END) {
        ended_ = true;
        return stream_.avail_out == 0;
      }
      if (status != Z_OK && status != Z_BUF_ERROR) return false;
    }
    return true;
  }

 private:
  const std::vector<Chunk>& chunks_;
  size_t next_chunk_ = 0;
  z_stream stream_;
  bool ready_ = false;
  bool ended_ = false;
};

// One unfiltered row as pixels; false for a palette index beyond the palette.
bool ConvertRow(const Image& image, const uint32_t* lookup, size_t lookup_size, const uint8_t* row,
                uint32_t* pixel, uint32_t* alpha_and) {
  const size_t width = image.width;
  const uint8_t depth = image.depth;
  uint32_t all = *alpha_and;
  switch (image.colour) {
    case kGrey:
    case kPalette:
      for (size_t x = 0; x < width; ++x) {
        const size_t bit = x * depth;
        const uint32_t sample =
            depth == 8 ? row[x] : (row[bit / 8] >> (8 - depth - bit % 8)) & ((1u << depth) - 1);
        if (sample >= lookup_size) return false;
        pixel[x] = lookup[sample];
        all &= pixel[x];
      }
      break;
    case kGreyAlpha:
      for (size_t x = 0; x < width; ++x) {
        const uint8_t* p = row + x * 2;
        pixel[x] = Premultiplied(p[0], p[0], p[0], p[1]);
        all &= pixel[x];
      }
      break;
    case kRgb:
      for (size_t x = 0; x < width; ++x) {
        const uint8_t* p = row + x * 3;
        pixel[x] = 0xFF000000u | (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
        if (image.has_rgb_key && (pixel[x] & 0x00FFFFFFu) == image.rgb_key) pixel[x] = 0;
        all &= pixel[x];
      }
      break;
    default:
      for (size_t x = 0; x < width; ++x) {
        const uint8_t* p = row + x * 4;
        pixel[x] = Premultiplied(p[0], p[1], p[2], p[3]);
        all &= pixel[x];
      }
      break;
  }
  *alpha_and = all;
  return true;
}

}  // namespace

bool LooksLikePng(const uint8_t* data, size_t size) {
  return data != nullptr && size >= sizeof(kSignature) &&
         std::memcmp(data, kSignature, sizeof(kSignature)) == 0;
}

PngResult DecodePng(const uint8_t* data, size_t size, const PngAllocator& allocate,
                    bool* has_alpha) {
  if (!LooksLikePng(data, size)) return PngResult::kNotPng;
  Image image;
  const PngResult read = ReadChunks(data, size, &image);
  if (read != PngResult::kDecoded) return read;

  // Grey levels and palette entries as pixels, looked up by sample.
  uint32_t lookup[256];
  size_t lookup_size = 0;
  if (image.colour == kGrey) {
    const uint32_t max_sample = (1u << image.depth) - 1;
    for (uint32_t sample = 0; sample <= max_sample; ++sample) {
      const uint32_t g = sample * 255 / max_sample;
      lookup[sample] = Premultiplied(g, g, g, static_cast<int>(sample) == image.grey_key ? 0 : 255);
    }
    lookup_size = size_t{max_sample} + 1;
  } else if (image.colour == kPalette) {
    for (size_t i = 0; i < image.palette_size; ++i) {
      const uint32_t c = image.palette[i];
      lookup[i] = Premultiplied((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF, c >> 24);
    }
    lookup_size = image.palette_size;
  }

  uint32_t* pixels = allocate(static_cast<int>(image.width), static_cast<int>(image.height));
  if (!pixels) return PngResult::kUnsupported;
  // Two rows of scratch, each with its filter byte: the one being read and
  // the one above it (zeros above the first).
  std::vector<uint8_t> rows(2 * (1 + image.stride), 0);
  uint8_t* current = rows.data();
  uint8_t* above = rows.data() + 1 + image.stride;
  const size_t bpp = (image.channels * image.depth + 7) / 8;
  RowReader reader(image.data);
  uint32_t alpha_and = 0xFFFFFFFFu;
  for (uint32_t y = 0; y < image.height; ++y) {
    if (!reader.Read(current, 1 + image.stride) ||
        !Unfilter(current[0], current + 1, above + 1, image.stride, bpp) ||
        !ConvertRow(image, lookup, lookup_size, current + 1, pixels + size_t{y} * image.width,
                    &alpha_and)) {
      return PngResult::kDamaged;
    }
    std::swap(current, above);
  }
  if (has_alpha) *has_alpha = (alpha_and >> 24) != 0xFF;
  return PngResult::kDecoded;
}

PngResult DecodePng(const uint8_t* data, size_t size, PngPixels* out) {
  PngPixels result;
  const PngResult decoded = DecodePng(
      data, size,
      [&result](int width, int height) {
        result.width = width;
        result.height = height;
        result.pixels.resize(static_cast<size_t>(width) * height);
        return result.pixels.data();
      },
      &result.has_alpha);
  if (decoded == PngResult::kDecoded) *out = std::move(result);
  return decoded;
}

}  // namespace ui
