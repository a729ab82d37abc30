#include "ui/render/image_info.h"

#include <algorithm>
#include <cstring>

#include "base/com_ptr.h"
#include "base/scoped_gdi_object.h"
#include "base/scoped_handle.h"
#include "base/scoped_hglobal.h"
#include "ui/render/gdi_bitmap.h"
#include "ui/render/png_decoder.h"

namespace ui {

namespace {

constexpr PROPID kFrameDelayProperty = 0x5100;

// The GDI+ time dimension of animated images.
const GUID kFrameDimensionTime = {
    0x6AEDBD6D, 0x3FB5, 0x418A, {0x83, 0xA6, 0x7F, 0x45, 0x22, 0x9D, 0xC8, 0x72}};

// Whether any pixel of a 32-bit bitmap is not fully opaque.
bool FrameHasAlpha(HBITMAP frame) {
  DIBSECTION section = {};
  if (::GetObjectW(frame, sizeof(section), &section) == sizeof(section) && section.dsBm.bmBits &&
      section.dsBm.bmBitsPixel == 32) {
    const BYTE* row = static_cast<const BYTE*>(section.dsBm.bmBits);
    const int height = section.dsBm.bmHeight < 0 ? -section.dsBm.bmHeight : section.dsBm.bmHeight;
    for (int y = 0; y < height; ++y, row += section.dsBm.bmWidthBytes) {
      for (int x = 0; x < section.dsBm.bmWidth; ++x) {
        if (row[x * 4 + 3] != 255) return true;
      }
    }
    return false;
  }
  // Not a DIB section: read the pixels out.
  for (DWORD pixel : ReadBitmapPixels(frame, nullptr)) {
    if ((pixel >> 24) != 255) return true;
  }
  return false;
}

// The active frame of |bitmap| redrawn at |width| × |height| with the best
// filter GDI+ has; edge pixels are mirrored so borders do not fade in.
std::unique_ptr<Gdiplus::Bitmap> Resample(Gdiplus::Bitmap& bitmap, int width, int height) {
  auto scaled = std::make_unique<Gdiplus::Bitmap>(width, height, PixelFormat32bppARGB);
  if (scaled->GetLastStatus() != Gdiplus::Ok) return nullptr;
  Gdiplus::Graphics graphics(scaled.get());
  graphics.SetCompositingMode(Gdiplus::CompositingModeSourceCopy);
  graphics.SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBicubic);
  graphics.SetPixelOffsetMode(Gdiplus::PixelOffsetModeHighQuality);
  Gdiplus::ImageAttributes edges;
  edges.SetWrapMode(Gdiplus::WrapModeTileFlipXY);
  const Gdiplus::Status drawn = graphics.DrawImage(
      &bitmap, Gdiplus::Rect(0, 0, width, height), 0, 0, static_cast<INT>(bitmap.GetWidth()),
      static_cast<INT>(bitmap.GetHeight()), Gdiplus::UnitPixel, &edges);
  if (drawn != Gdiplus::Ok) return nullptr;
  return scaled;
}

// |scale| with an unset percentage taken as drawing the file as it is.
ImageScale Normalised(ImageScale scale) {
  return scale.file_percent <= 0 || scale.target_percent <= 0 ? ImageScale() : scale;
}

// The bytes of |file| when it is a PNG file of a size worth reading whole;
// empty otherwise (GDI+ then opens it itself).
std::vector<unsigned char> ReadPngFile(const std::wstring& file) {
  constexpr LONGLONG kLargest = 64 << 20;
  cbase::ScopedHandle handle(::CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size = {};
  if (!handle || !::GetFileSizeEx(handle.get(), &size) || size.QuadPart < 8 ||
      size.QuadPart > kLargest) {
    return {};
  }
  // The signature first: other formats are neither held nor read twice.
  unsigned char signature[8] = {};
  DWORD read = 0;
  if (!::ReadFile(handle.get(), signature, sizeof(signature), &read, nullptr) ||
      read != sizeof(signature) || !LooksLikePng(signature, sizeof(signature))) {
    return {};
  }
  std::vector<unsigned char> data(signature, signature + sizeof(signature));
  data.resize(static_cast<size_t>(size.QuadPart));
  if (!::ReadFile(handle.get(), data.data() + sizeof(signature),
                  static_cast<DWORD>(data.size() - sizeof(signature)), &read, nullptr) ||
      read != data.size() - sizeof(signature)) {
    return {};
  }
  return data;
}

}  // namespace

std::vector<DWORD> ReadBitmapPixels(HBITMAP bitmap, int* width) {
  BITMAP info = {};
  if (!bitmap || !::GetObjectW(bitmap, sizeof(info), &info)) return {};
  BITMAPINFO format = {};
  format.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  format.bmiHeader.biWidth = info.bmWidth;
  format.bmiHeader.biHeight = -info.bmHeight;
  format.bmiHeader.biPlanes = 1;
  format.bmiHeader.biBitCount = 32;
  format.bmiHeader.biCompression = BI_RGB;
  std::vector<DWORD> pixels(static_cast<size_t>(info.bmWidth) * info.bmHeight);
  cbase::ScopedGetDC screen(nullptr);
  const int rows =
      ::GetDIBits(screen.get(), bitmap, 0, info.bmHeight, pixels.data(), &format, DIB_RGB_COLORS);
  if (rows <= 0) return {};
  if (width) *width = info.bmWidth;
  return pixels;
}

ImageInfo::~ImageInfo() = default;

std::unique_ptr<ImageInfo> ImageInfo::Decode(Gdiplus::Bitmap& bitmap, const std::wstring& path,
                                             ImageScale scale) {
  if (bitmap.GetLastStatus() != Gdiplus::Ok) return nullptr;
  scale = Normalised(scale);
  const int file_width = static_cast<int>(bitmap.GetWidth());
  const int file_height = static_cast<int>(bitmap.GetHeight());
  const bool resample = scale.file_percent != scale.target_percent;
  const int width =
      resample ? std::max(1, ::MulDiv(file_width, scale.target_percent, scale.file_percent))
               : file_width;
  const int height =
      resample ? std::max(1, ::MulDiv(file_height, scale.target_percent, scale.file_percent))
               : file_height;

  UINT frame_count = 1;
  const UINT dimension_count = bitmap.GetFrameDimensionsCount();
  if (dimension_count > 0) {
    std::vector<GUID> dimensions(dimension_count);
    if (bitmap.GetFrameDimensionsList(dimensions.data(), dimension_count) == Gdiplus::Ok) {
      frame_count = bitmap.GetFrameCount(&dimensions[0]);
    }
  }

  auto image = std::make_unique<ImageInfo>();
  if (frame_count > 1) {
    const UINT size = bitmap.GetPropertyItemSize(kFrameDelayProperty);
    if (size < sizeof(Gdiplus::PropertyItem)) return nullptr;
    std::vector<BYTE> buffer(size);
    Gdiplus::PropertyItem* item = reinterpret_cast<Gdiplus::PropertyItem*>(buffer.data());
    if (bitmap.GetPropertyItem(kFrameDelayProperty, size, item) != Gdiplus::Ok) return nullptr;
    image->frame_delays_.resize(item->length / sizeof(UINT));
    std::memcpy(image->frame_delays_.data(), item->value,
                image->frame_delays_.size() * sizeof(UINT));
  }

  for (UINT i = 0; i < frame_count; ++i) {
    // Still images have no time dimension; only animations select frames.
    if (frame_count > 1 && bitmap.SelectActiveFrame(&kFrameDimensionTime, i) != Gdiplus::Ok) {
      break;
    }
    std::unique_ptr<Gdiplus::Bitmap> scaled;
    if (resample && !(scaled = Resample(bitmap, width, height))) break;
    Gdiplus::Bitmap& source = scaled ? *scaled : bitmap;
    HBITMAP frame = nullptr;
    if (source.GetHBITMAP(Gdiplus::Color(0xFF000000), &frame) != Gdiplus::Ok || !frame) break;
    image->frames_.emplace_back(frame);
  }
  if (image->frames_.empty()) return nullptr;

  image->width_ = width;
  image->height_ = height;
  image->path_ = path;
  image->scale_percent_ = scale.target_percent;

  const Gdiplus::PixelFormat format = bitmap.GetPixelFormat();
  if (format == PixelFormat32bppARGB) {
    // Many encoders write an alpha channel that is opaque everywhere; such
    // images are blitted without blending.
    for (const cbase::ScopedBitmap& frame : image->frames_) {
      if (FrameHasAlpha(frame.get())) {
        image->has_alpha_ = true;
        break;
      }
    }
  } else if (Gdiplus::IsIndexedPixelFormat(format)) {
    const INT palette_size = bitmap.GetPaletteSize();
    if (palette_size >= static_cast<INT>(sizeof(Gdiplus::ColorPalette))) {
      std::vector<BYTE> buffer(palette_size);
      Gdiplus::ColorPalette* palette = reinterpret_cast<Gdiplus::ColorPalette*>(buffer.data());
      if (bitmap.GetPalette(palette, palette_size) == Gdiplus::Ok) {
        image->has_alpha_ = (palette->Flags & Gdiplus::PaletteFlagsHasAlpha) != 0;
      }
    }
  } else {
    image->has_alpha_ = Gdiplus::IsAlphaPixelFormat(format) != FALSE;
  }
  // An image without alpha is copied rather than blended where it is drawn
  // at its own size: its pixels must all be opaque.
  if (!image->has_alpha_ && format != PixelFormat32bppARGB) {
    for (const cbase::ScopedBitmap& frame : image->frames_) {
      if (FrameHasAlpha(frame.get())) {
        image->has_alpha_ = true;
        break;
      }
    }
  }
  return image;
}

ImageInfo::DecodedPng ImageInfo::DecodePngData(const unsigned char* data, size_t size) {
  // The pixels are decoded straight into the bitmap the image keeps.
  DecodedPng decoded;
  const PngResult result = DecodePng(
      data, size,
      [&](int w, int h) {
        void* bits = nullptr;
        decoded.frame = MakeTopDownBitmap(w, h, &bits);
        decoded.width = w;
        decoded.height = h;
        return static_cast<uint32_t*>(bits);
      },
      &decoded.has_alpha);
  if (result != PngResult::kDecoded) decoded.frame.reset();
  return decoded;
}

ImageInfo::DecodedPng ImageInfo::DecodePngFile(const std::wstring& file) {
  const std::vector<unsigned char> data = ReadPngFile(file);
  return DecodePngData(data.data(), data.size());
}

std::unique_ptr<ImageInfo> ImageInfo::FromDecodedPng(DecodedPng decoded, const std::wstring& path,
                                                     ImageScale scale) {
  if (!decoded.frame) return nullptr;
  auto image = std::make_unique<ImageInfo>();
  image->frames_.push_back(std::move(decoded.frame));
  image->width_ = decoded.width;
  image->height_ = decoded.height;
  image->path_ = path;
  image->scale_percent_ = Normalised(scale).target_percent;
  image->has_alpha_ = decoded.has_alpha;
  return image;
}

std::unique_ptr<ImageInfo> ImageInfo::DecodePngAsIs(const unsigned char* data, size_t size,
                                                    const std::wstring& path, ImageScale scale) {
  if (!scale.KeepsPixels()) return nullptr;  // GDI+ resamples
  return FromDecodedPng(DecodePngData(data, size), path, scale);
}

std::unique_ptr<ImageInfo> ImageInfo::LoadFromFile(const std::wstring& file,
                                                   const std::wstring& path, ImageScale scale) {
  // A file GDI+ resamples anyway is not read here first.
  if (scale.KeepsPixels()) {
    const std::vector<unsigned char> data = ReadPngFile(file);
    if (auto image = DecodePngAsIs(data.data(), data.size(), path, scale)) return image;
  }
  Gdiplus::Bitmap bitmap(file.c_str());
  return Decode(bitmap, path, scale);
}

std::unique_ptr<ImageInfo> ImageInfo::LoadFromMemory(const std::vector<unsigned char>& data,
                                                     const std::wstring& path, ImageScale scale) {
  if (data.empty()) return nullptr;
  if (auto image = DecodePngAsIs(data.data(), data.size(), path, scale)) return image;
  // GDI+ reads from a stream; the stream reads from a movable block.
  cbase::ScopedHGlobal block(::GlobalAlloc(GMEM_MOVEABLE, data.size()));
  if (!block) return nullptr;
  {
    cbase::ScopedGlobalLock bytes(block.get());
    if (!bytes) return nullptr;
    std::memcpy(bytes.get(), data.data(), data.size());
  }
  cbase::ComPtr<IStream> stream;
  if (FAILED(::CreateStreamOnHGlobal(block.get(), FALSE, stream.receive())) || !stream) {
    return nullptr;
  }
  // The bitmap reads the stream until it is destroyed, so it goes first.
  Gdiplus::Bitmap bitmap(stream.get());
  return Decode(bitmap, path, scale);
}

HBITMAP ImageInfo::GetFrame(int index) const {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  if (index < 0 || index >= GetFrameCount()) return nullptr;
  return frames_[index].get();
}

int ImageInfo::GetFrameInterval(int index) const {
  if (index < 0 || static_cast<size_t>(index) >= frame_delays_.size()) return 0;
  const int interval = static_cast<int>(frame_delays_[index]) * 10;
  if (interval <= 28) return 100;
  if (interval <= 48) return 50;
  return interval;
}

}  // namespace ui
