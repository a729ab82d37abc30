#include "ui/render/png_decoder.h"

#include <windows.h>

#include <gdiplus.h>
#include <objidl.h>
#include <zlib.h>

#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

#include "base/com_ptr.h"
#include "tests/ui/render/test_images.h"
#include "ui/render/image_info.h"

namespace ui {
namespace {

using Bytes = std::vector<uint8_t>;

void PutBig(Bytes* out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out->push_back(static_cast<uint8_t>(value >> shift));
}

void PutChunk(Bytes* out, const char* type, const Bytes& body) {
  PutBig(out, static_cast<uint32_t>(body.size()));
  const size_t start = out->size();
  out->insert(out->end(), type, type + 4);
  out->insert(out->end(), body.begin(), body.end());
  PutBig(out, static_cast<uint32_t>(crc32(0L, out->data() + start, out->size() - start)));
}

// A PNG of |rows| (each row its filter byte and samples), with the chunks in
// |extra| (type, body) written between the header and the image data.
struct PngSpec {
  uint32_t width = 0;
  uint32_t height = 0;
  uint8_t depth = 8;
  uint8_t colour = 6;
  uint8_t interlace = 0;
  Bytes rows;
  std::vector<std::pair<const char*, Bytes>> extra;
};

Bytes MakePng(const PngSpec& spec) {
  Bytes png = {137, 80, 78, 71, 13, 10, 26, 10};
  Bytes header;
  PutBig(&header, spec.width);
  PutBig(&header, spec.height);
  header.insert(header.end(), {spec.depth, spec.colour, 0, 0, spec.interlace});
  PutChunk(&png, "IHDR", header);
  for (const auto& chunk : spec.extra) PutChunk(&png, chunk.first, chunk.second);
  uLongf packed_size = compressBound(static_cast<uLong>(spec.rows.size()));
  Bytes packed(packed_size);
  compress(packed.data(), &packed_size, spec.rows.data(), static_cast<uLong>(spec.rows.size()));
  packed.resize(packed_size);
  // Split in two chunks: readers must join them.
  const size_t half = packed.size() / 2;
  PutChunk(&png, "IDAT", Bytes(packed.begin(), packed.begin() + half));
  PutChunk(&png, "IDAT", Bytes(packed.begin() + half, packed.end()));
  PutChunk(&png, "IEND", {});
  return png;
}

// |height| rows of |bytes_per_row| bytes each, with the five filters taken
// in turn from |first_filter| on (the first row has none above it) and
// content that makes each of them matter.
Bytes PatternRows(uint32_t height, size_t bytes_per_row, int first_filter = 0) {
  Bytes rows;
  for (uint32_t y = 0; y < height; ++y) {
    rows.push_back(static_cast<uint8_t>((y + first_filter) % 5));
    for (size_t x = 0; x < bytes_per_row; ++x) {
      rows.push_back(static_cast<uint8_t>((x * 37 + y * 91 + (x * y) % 7) & 0xFF));
    }
  }
  return rows;
}

// What GDI+ makes of |png|: the pixels the image keeps (0xAARRGGBB, top
// down) and whether it has alpha, through the same conversion the image
// cache used before the decoder existed.
struct Decoded {
  std::vector<DWORD> pixels;
  int width = 0;
  bool has_alpha = false;
};

Decoded FromImage(const ImageInfo* image) {
  Decoded result;
  if (!image) return result;
  result.pixels = ReadBitmapPixels(image->GetFrame(0), &result.width);
  result.has_alpha = image->has_alpha();
  return result;
}

Decoded ThroughGdiplus(const Bytes& png) {
  Decoded result;
  HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE, png.size());
  std::memcpy(::GlobalLock(block), png.data(), png.size());
  ::GlobalUnlock(block);
  cbase::ComPtr<IStream> stream;
  if (FAILED(::CreateStreamOnHGlobal(block, TRUE, stream.receive()))) return result;
  Gdiplus::Bitmap bitmap(stream.get());
  return FromImage(ImageInfo::Decode(bitmap, L"gdiplus").get());
}

Decoded ThroughImageInfo(const Bytes& png) {
  return FromImage(
      ImageInfo::LoadFromMemory(std::vector<unsigned char>(png.begin(), png.end()), L"ours").get());
}

void ExpectSameAsGdiplus(const Bytes& png) {
  PngPixels ours;
  ASSERT_EQ(DecodePng(png.data(), png.size(), &ours), PngResult::kDecoded);
  const Decoded reference = ThroughGdiplus(png);
  ASSERT_FALSE(reference.pixels.empty());
  EXPECT_EQ(ours.width, reference.width);
  ASSERT_EQ(ours.pixels.size(), reference.pixels.size());
  size_t differing = 0;
  for (size_t i = 0; i < ours.pixels.size(); ++i) {
    if (ours.pixels[i] != reference.pixels[i] && differing++ < 3) {
      ADD_FAILURE() << "pixel " << i % ours.width << "," << i / ours.width << ": " << std::hex
                    << ours.pixels[i] << " against " << reference.pixels[i];
    }
  }
  EXPECT_EQ(differing, 0u);
  EXPECT_EQ(ours.has_alpha, reference.has_alpha);
  // The image cache's bitmap holds the same pixels.
  const Decoded cached = ThroughImageInfo(png);
  EXPECT_EQ(cached.pixels, reference.pixels);
  EXPECT_EQ(cached.has_alpha, reference.has_alpha);
}

TEST(PngDecoderTest, EveryColourTypeAndFilterGivesGdiplusPixels) {
  struct Case {
    const char* name;
    uint8_t colour;
    uint8_t depth;
    size_t channels;
  } cases[] = {{"rgba", 6, 8, 4},       {"rgb", 2, 8, 3},        {"grey", 0, 8, 1},
               {"grey alpha", 4, 8, 2}, {"grey 1 bit", 0, 1, 1}, {"grey 2 bits", 0, 2, 1},
               {"grey 4 bits", 0, 4, 1}};
  for (const Case& c : cases) {
    for (int first_filter = 0; first_filter < 5; ++first_filter) {
      SCOPED_TRACE(::testing::Message() << c.name << ", first row's filter " << first_filter);
      PngSpec spec;
      spec.width = 13;  // odd, so packed rows end in part of a byte
      spec.height = 11;
      spec.colour = c.colour;
      spec.depth = c.depth;
      spec.rows =
          PatternRows(spec.height, (spec.width * c.channels * c.depth + 7) / 8, first_filter);
      ExpectSameAsGdiplus(MakePng(spec));
    }
  }
}

// Rows of noise, each filtered the same way, in colours of three and four
// bytes a pixel: every choice the Paeth filter makes, and every wrap of a
// byte, in many pixels.
TEST(PngDecoderTest, NoiseUnderEachFilterGivesGdiplusPixels) {
  uint32_t seed = 12345;
  auto next = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return static_cast<uint8_t>(seed >> 16);
  };
  for (const uint8_t colour : {uint8_t{2}, uint8_t{6}}) {
    for (uint8_t filter = 0; filter < 5; ++filter) {
      SCOPED_TRACE(::testing::Message()
                   << "colour type " << int{colour} << ", filter " << int{filter});
      PngSpec spec;
      spec.width = 67;
      spec.height = 9;
      spec.colour = colour;
      spec.depth = 8;
      const size_t bytes = spec.width * (colour == 6 ? 4 : 3);
      for (uint32_t y = 0; y < spec.height; ++y) {
        spec.rows.push_back(filter);
        for (size_t x = 0; x < bytes; ++x) spec.rows.push_back(next());
      }
      ExpectSameAsGdiplus(MakePng(spec));
    }
  }
}

TEST(PngDecoderTest, PalettesAndTransparencyChunksGiveGdiplusPixels) {
  for (uint8_t depth : {1, 2, 4, 8}) {
    SCOPED_TRACE(::testing::Message() << "palette of " << int{depth} << " bits");
    const size_t colours = size_t{1} << depth;
    PngSpec spec;
    spec.width = 9;
    spec.height = 7;
    spec.colour = 3;
    spec.depth = depth;
    Bytes palette, alphas;
    for (size_t i = 0; i < colours; ++i) {
      palette.insert(palette.end(), {static_cast<uint8_t>(i * 53), static_cast<uint8_t>(255 - i),
                                     static_cast<uint8_t>(i * 7)});
    }
    // Fewer alphas than colours: the rest stay opaque.
    for (size_t i = 0; i < colours / 2 + 1 && i < colours; ++i) {
      alphas.push_back(static_cast<uint8_t>(i * 97));
    }
    spec.extra = {{"PLTE", palette}, {"tRNS", alphas}};
    for (uint32_t y = 0; y < spec.height; ++y) {
      Bytes indexes((spec.width * depth + 7) / 8);
      for (uint32_t x = 0; x < spec.width; ++x) {
        const uint32_t index = (x + y * 3) % colours;
        const size_t bit = x * depth;
        indexes[bit / 8] |= static_cast<uint8_t>(index << (8 - depth - bit % 8));
      }
      // No filter and the left filter in turn: filters work on packed bytes.
      const uint8_t filter = static_cast<uint8_t>(y % 2);
      spec.rows.push_back(filter);
      for (size_t i = 0; i < indexes.size(); ++i) {
        const uint8_t left = filter == 1 && i > 0 ? indexes[i - 1] : 0;
        spec.rows.push_back(static_cast<uint8_t>(indexes[i] - left));
      }
    }
    ExpectSameAsGdiplus(MakePng(spec));
  }
  {
    SCOPED_TRACE("rgb with a transparent colour");
    PngSpec spec;
    spec.width = 4;
    spec.height = 2;
    spec.colour = 2;
    spec.rows = {0, 10, 20, 30, 1,  2,  3,  10, 20, 30, 200, 100, 50,
                 0, 1,  2,  3,  10, 20, 30, 9,  9,  9,  10,  20,  30};
    spec.extra = {{"tRNS", {0, 10, 0, 20, 0, 30}}};
    ExpectSameAsGdiplus(MakePng(spec));
  }
  {
    SCOPED_TRACE("grey with a transparent level");
    PngSpec spec;
    spec.width = 5;
    spec.height = 1;
    spec.colour = 0;
    spec.rows = {0, 0, 77, 255, 77, 12};
    spec.extra = {{"tRNS", {0, 77}}};
    ExpectSameAsGdiplus(MakePng(spec));
  }
  {
    // The key is a sample (1 of 0..3), not the grey level it shows (85).
    SCOPED_TRACE("2-bit grey with a transparent level");
    PngSpec spec;
    spec.width = 4;
    spec.height = 1;
    spec.colour = 0;
    spec.depth = 2;
    spec.rows = {0, 0x1B};  // samples 0, 1, 2, 3
    spec.extra = {{"tRNS", {0, 1}}};
    ExpectSameAsGdiplus(MakePng(spec));
    PngPixels pixels;
    const Bytes png = MakePng(spec);
    ASSERT_EQ(DecodePng(png.data(), png.size(), &pixels), PngResult::kDecoded);
    EXPECT_EQ(pixels.pixels, (std::vector<uint32_t>{0xFF000000u, 0, 0xFFAAAAAAu, 0xFFFFFFFFu}));
  }
}

TEST(PngDecoderTest, TheThemesImagesGiveGdiplusPixels) {
  const std::wstring folder = testing::TestImageFolder() + L"theme\\";
  WIN32_FIND_DATAW found = {};
  HANDLE search = ::FindFirstFileW((folder + L"*.png").c_str(), &found);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  int files = 0;
  do {
    SCOPED_TRACE(::testing::Message()
                 << "theme image "
                 << std::string(found.cFileName, found.cFileName + wcslen(found.cFileName)));
    HANDLE file = ::CreateFileW((folder + found.cFileName).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    Bytes png(::GetFileSize(file, nullptr));
    DWORD read = 0;
    ::ReadFile(file, png.data(), static_cast<DWORD>(png.size()), &read, nullptr);
    ::CloseHandle(file);
    ExpectSameAsGdiplus(png);
    ++files;
  } while (::FindNextFileW(search, &found));
  ::FindClose(search);
  EXPECT_GT(files, 20);
}

TEST(PngDecoderTest, DamagedFilesAreRefusedAndUnusualOnesLeftToGdiplus) {
  PngSpec spec;
  spec.width = 3;
  spec.height = 2;
  spec.rows = PatternRows(2, 12);
  const Bytes good = MakePng(spec);
  PngPixels pixels;
  ASSERT_EQ(DecodePng(good.data(), good.size(), &pixels), PngResult::kDecoded);

  EXPECT_EQ(DecodePng(good.data(), 7, &pixels), PngResult::kNotPng);
  Bytes jpeg = {0xFF, 0xD8, 0xFF, 0xE0, 0, 0x10, 'J', 'F', 'I', 'F'};
  EXPECT_EQ(DecodePng(jpeg.data(), jpeg.size(), &pixels), PngResult::kNotPng);
  EXPECT_EQ(DecodePng(nullptr, 0, &pixels), PngResult::kNotPng);

  // Cut anywhere: never decoded.
  for (size_t size = 8; size < good.size(); ++size) {
    EXPECT_NE(DecodePng(good.data(), size, &pixels), PngResult::kDecoded) << size;
  }
  Bytes bad_crc = good;
  bad_crc[8 + 8 + 5] ^= 1;  // a byte of the header's body
  EXPECT_EQ(DecodePng(bad_crc.data(), bad_crc.size(), &pixels), PngResult::kDamaged);

  PngSpec bad_filter = spec;
  bad_filter.rows[0] = 5;
  const Bytes filter = MakePng(bad_filter);
  EXPECT_EQ(DecodePng(filter.data(), filter.size(), &pixels), PngResult::kDamaged);

  PngSpec short_data = spec;
  short_data.rows.pop_back();
  const Bytes missing = MakePng(short_data);
  EXPECT_EQ(DecodePng(missing.data(), missing.size(), &pixels), PngResult::kDamaged);

  PngSpec out_of_palette;
  out_of_palette.width = 2;
  out_of_palette.height = 1;
  out_of_palette.colour = 3;
  out_of_palette.rows = {0, 0, 2};
  out_of_palette.extra = {{"PLTE", {1, 2, 3, 4, 5, 6}}};
  const Bytes index = MakePng(out_of_palette);
  EXPECT_EQ(DecodePng(index.data(), index.size(), &pixels), PngResult::kDamaged);

  // A header claiming more pixels than the data could ever inflate to is
  // refused before any memory is asked for them.
  PngSpec huge = spec;
  huge.width = kPngMaxSide;
  huge.height = 1024;
  const Bytes claims = MakePng(huge);
  int allocations = 0;
  EXPECT_EQ(DecodePng(
                claims.data(), claims.size(),
                [&allocations](int, int) -> uint32_t* {
                  ++allocations;
                  return nullptr;
                },
                nullptr),
            PngResult::kDamaged);
  EXPECT_EQ(allocations, 0);
  huge.width = kPngMaxSide + 1;
  const Bytes wider = MakePng(huge);
  EXPECT_EQ(DecodePng(wider.data(), wider.size(), &pixels), PngResult::kUnsupported);

  PngSpec deep = spec;
  deep.depth = 16;
  deep.rows = PatternRows(2, 24);
  PngSpec gamma = spec;
  gamma.extra = {{"gAMA", {0, 1, 0x86, 0xA0}}};
  PngSpec unknown = spec;
  unknown.extra = {{"ABCD", {1}}};
  for (const PngSpec* s : {&deep, &gamma, &unknown}) {
    const Bytes png = MakePng(*s);
    EXPECT_EQ(DecodePng(png.data(), png.size(), &pixels), PngResult::kUnsupported);
  }
  // A transparency chunk after the data, or a second one, is left to GDI+.
  PngSpec rgb = spec;
  rgb.colour = 2;
  rgb.rows = PatternRows(2, 9);
  Bytes late = MakePng(rgb);
  Bytes trns;
  PutChunk(&trns, "tRNS", {0, 1, 0, 2, 0, 3});
  late.insert(late.end() - 12, trns.begin(), trns.end());  // before IEND
  EXPECT_EQ(DecodePng(late.data(), late.size(), &pixels), PngResult::kUnsupported);
  rgb.extra = {{"tRNS", {0, 1, 0, 2, 0, 3}}, {"tRNS", {0, 1, 0, 2, 0, 3}}};
  const Bytes twice = MakePng(rgb);
  EXPECT_EQ(DecodePng(twice.data(), twice.size(), &pixels), PngResult::kUnsupported);
  // So is a transparent colour no 8-bit sample can have (readers differ).
  rgb.extra = {{"tRNS", {1, 10, 0, 20, 0, 30}}};
  const Bytes wide_key = MakePng(rgb);
  EXPECT_EQ(DecodePng(wide_key.data(), wide_key.size(), &pixels), PngResult::kUnsupported);

  // Unknown ancillary chunks are skipped.
  PngSpec note = spec;
  note.extra = {{"tEXt", {'a', 0, 'b'}}};
  const Bytes text = MakePng(note);
  EXPECT_EQ(DecodePng(text.data(), text.size(), &pixels), PngResult::kDecoded);
}

TEST(PngDecoderTest, ImagesTheDecoderLeavesAloneStillLoadThroughGdiplus) {
  // 16-bit samples and interlacing: ImageMagick writes them, GDI+ reads them.
  for (const wchar_t* name : {L"deep.png", L"interlaced.png"}) {
    SCOPED_TRACE(::testing::Message() << std::string(name, name + wcslen(name)));
    std::unique_ptr<ImageInfo> image = ImageInfo::LoadFromFile(testing::TestImage(name), L"key");
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->width(), 8);
    EXPECT_EQ(image->height(), 6);
    int width = 0;
    const std::vector<DWORD> pixels = ReadBitmapPixels(image->GetFrame(0), &width);
    ASSERT_EQ(pixels.size(), 48u);
    EXPECT_EQ(pixels[0], 0xFF0000FFu);
    EXPECT_FALSE(image->has_alpha());
  }
}

}  // namespace
}  // namespace ui
