// A decoded image of the skin: one 32-bit GDI bitmap per frame (animated GIFs
// have several), ready for the render context's DrawImage.
//
// Ownership: shared between every image attribute that names the same file
// (GlobalManager's image cache holds only weak references); the frames are
// deleted with the ImageInfo. UI thread only.
#ifndef UI_RENDER_IMAGE_INFO_H_
#define UI_RENDER_IMAGE_INFO_H_

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "base/scoped_gdi_object.h"
#include "base/thread_checker.h"
#include "ui/render/gdiplus_fwd.h"

namespace ui {

// The display scale a file's pixels are drawn for, and the one to decode it
// at: a "@2x" file decoded for 150 % is resampled to three quarters of its
// size, a plain file decoded for 125 % to five quarters. Equal percentages
// keep the pixels as they are.
struct ImageScale {
  int file_percent = 100;
  int target_percent = 100;
  // Whether the file's pixels are drawn as they are (an unset percentage
  // counts as that).
  bool KeepsPixels() const {
    return file_percent <= 0 || target_percent <= 0 || file_percent == target_percent;
  }
};

class ImageInfo {
 public:
  ImageInfo() = default;
  ~ImageInfo();
  ImageInfo(const ImageInfo&) = delete;
  ImageInfo& operator=(const ImageInfo&) = delete;

  // Converts every frame of |bitmap| (as GDI+ loaded it from a file or a
  // stream), resampled smoothly when |scale| asks for it; nullptr when GDI+
  // failed to load it, when an animated image has no frame delays, or when no
  // frame converts.
  static std::unique_ptr<ImageInfo> Decode(Gdiplus::Bitmap& bitmap, const std::wstring& path,
                                           ImageScale scale = ImageScale());
  static std::unique_ptr<ImageInfo> LoadFromFile(const std::wstring& file, const std::wstring& path,
                                                 ImageScale scale = ImageScale());
  // |data| holds the encoded image. PNG files drawn at their own scale are
  // read without GDI+ (png_decoder.h) when that decoder takes them.
  static std::unique_ptr<ImageInfo> LoadFromMemory(const std::vector<unsigned char>& data,
                                                   const std::wstring& path,
                                                   ImageScale scale = ImageScale());

  // A PNG's pixels decoded without GDI+ (png_decoder.h) into a bitmap of
  // their own, for an image kept at the file's own scale: the first half of
  // LoadFromMemory and LoadFromFile, which may run on any thread, so that a
  // window can have its pictures decoded while it is being made. An empty
  // frame when the bytes are not a PNG the decoder takes (GDI+ is then left
  // to try).
  struct DecodedPng {
    cbase::ScopedBitmap frame;
    int width = 0;
    int height = 0;
    bool has_alpha = false;
  };
  static DecodedPng DecodePngData(const unsigned char* data, size_t size);
  // The same for a file on disk.
  static DecodedPng DecodePngFile(const std::wstring& file);
  // The second half, on the UI thread: the image of |decoded| for |path|;
  // nullptr when it has no frame. |scale| must keep the file's pixels as
  // they are.
  static std::unique_ptr<ImageInfo> FromDecodedPng(DecodedPng decoded, const std::wstring& path,
                                                   ImageScale scale);

  int width() const { return width_; }
  int height() const { return height_; }
  const std::wstring& path() const { return path_; }
  // The display scale, in percent, the pixels are drawn for: lengths the
  // skin gives in image pixels at 100 % (source rectangles, corners) are
  // multiplied by it.
  int scale_percent() const { return scale_percent_; }
  // False only when every pixel of every frame is opaque.
  bool has_alpha() const { return has_alpha_; }
  bool cached() const { return cached_; }
  void set_cached(bool cached) { cached_ = cached; }

  int GetFrameCount() const { return static_cast<int>(frames_.size()); }
  // nullptr out of range.
  HBITMAP GetFrame(int index) const;
  // How long frame |index| stays up, in milliseconds: its delay, with very
  // short delays (which browsers also slow down) raised to 50 or 100 ms. 0 for
  // a still image or an index out of range.
  int GetFrameInterval(int index) const;

 private:
  // The image of a PNG kept at its own size, decoded without GDI+; nullptr
  // when it needs resampling or the decoder leaves it to GDI+.
  static std::unique_ptr<ImageInfo> DecodePngAsIs(const unsigned char* data, size_t size,
                                                  const std::wstring& path, ImageScale scale);

  cbase::ThreadChecker thread_checker_;
  int width_ = 0;
  int height_ = 0;
  std::wstring path_;
  int scale_percent_ = 100;
  std::vector<cbase::ScopedBitmap> frames_;
  std::vector<UINT> frame_delays_;  // hundredths of a second, animated images only
  bool has_alpha_ = false;
  bool cached_ = false;
};

// The pixels of |bitmap| as top-down 32-bit values (0xAARRGGBB), with its
// width in |width| when given; empty when they cannot be read.
std::vector<DWORD> ReadBitmapPixels(HBITMAP bitmap, int* width);

}  // namespace ui

#endif  // UI_RENDER_IMAGE_INFO_H_
