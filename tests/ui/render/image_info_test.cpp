#include "ui/render/image_info.h"

#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

#include "tests/ui/render/test_images.h"
#include "ui/core/global_manager.h"
#include "ui/core/skin_image.h"

namespace ui {
namespace {

using testing::ScratchFolder;
using testing::TestImage;

// Pixel (x, y) of a frame, 0xAARRGGBB.
DWORD FramePixel(HBITMAP frame, int x, int y) {
  int width = 0;
  const std::vector<DWORD> pixels = ReadBitmapPixels(frame, &width);
  return pixels.at(static_cast<size_t>(y) * width + x);
}

std::vector<char> ReadFile(const std::wstring& path) {
  std::vector<char> bytes;
  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return bytes;
  bytes.resize(::GetFileSize(file, nullptr));
  DWORD read = 0;
  ::ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
  ::CloseHandle(file);
  bytes.resize(read);
  return bytes;
}

void WriteFile(const std::wstring& path, const std::vector<char>& bytes) {
  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  ::CloseHandle(file);
}

TEST(ImageInfoTest, DecodesStillImagesOfEveryFormat) {
  struct Case {
    const wchar_t* name;
    DWORD colour;
  } cases[] = {{L"opaque.png", 0xFF0000}, {L"blue.jpg", 0x0000FF}, {L"green.bmp", 0x008000}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.name);
    std::unique_ptr<ImageInfo> image = ImageInfo::LoadFromFile(TestImage(c.name), L"key");
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->width(), 8);
    EXPECT_EQ(image->height(), 6);
    EXPECT_EQ(image->path(), L"key");
    EXPECT_EQ(image->GetFrameCount(), 1);
    EXPECT_EQ(image->GetFrameInterval(0), 0);  // still
    EXPECT_FALSE(image->has_alpha());
    EXPECT_FALSE(image->cached());
    const DWORD pixel = FramePixel(image->GetFrame(0), 3, 3);
    EXPECT_NEAR(static_cast<int>((pixel >> 16) & 0xFF), static_cast<int>((c.colour >> 16) & 0xFF),
                2);
    EXPECT_NEAR(static_cast<int>((pixel >> 8) & 0xFF), static_cast<int>((c.colour >> 8) & 0xFF), 2);
    EXPECT_NEAR(static_cast<int>(pixel & 0xFF), static_cast<int>(c.colour & 0xFF), 2);
    EXPECT_EQ(image->GetFrame(1), nullptr);
    EXPECT_EQ(image->GetFrame(-1), nullptr);
  }
}

TEST(ImageInfoTest, OneTransparentPixelTurnsBlendingOn) {
  std::unique_ptr<ImageInfo> opaque = ImageInfo::LoadFromFile(TestImage(L"opaque.png"), L"");
  std::unique_ptr<ImageInfo> one = ImageInfo::LoadFromFile(TestImage(L"one_transparent.png"), L"");
  std::unique_ptr<ImageInfo> palette = ImageInfo::LoadFromFile(TestImage(L"transparent.gif"), L"");
  ASSERT_TRUE(opaque && one && palette);
  EXPECT_FALSE(opaque->has_alpha());
  EXPECT_TRUE(one->has_alpha());
  EXPECT_TRUE(palette->has_alpha());
  EXPECT_EQ(FramePixel(one->GetFrame(0), 1, 1) >> 24, 0u);
  EXPECT_EQ(FramePixel(one->GetFrame(0), 2, 1) >> 24, 255u);
}

TEST(ImageInfoTest, AnimatedGifKeepsEveryFrameAndItsInterval) {
  std::unique_ptr<ImageInfo> image = ImageInfo::LoadFromFile(TestImage(L"three.gif"), L"gif");
  ASSERT_NE(image, nullptr);
  ASSERT_EQ(image->GetFrameCount(), 3);
  EXPECT_EQ(image->width(), 4);
  // Delays 0, 3 and 10 hundredths: very short delays are slowed down.
  EXPECT_EQ(image->GetFrameInterval(0), 100);
  EXPECT_EQ(image->GetFrameInterval(1), 50);
  EXPECT_EQ(image->GetFrameInterval(2), 100);
  EXPECT_EQ(image->GetFrameInterval(3), 0);
  EXPECT_EQ(image->GetFrameInterval(-1), 0);
  EXPECT_EQ(FramePixel(image->GetFrame(0), 0, 0) & 0xFFFFFF, 0xFF0000u);
  EXPECT_EQ(FramePixel(image->GetFrame(1), 0, 0) & 0xFFFFFF, 0x00FF00u);
  EXPECT_EQ(FramePixel(image->GetFrame(2), 0, 0) & 0xFFFFFF, 0x0000FFu);
}

TEST(ImageInfoTest, DecodesFromBytes) {
  const std::vector<char> file = ReadFile(TestImage(L"three.gif"));
  ASSERT_FALSE(file.empty());
  const std::vector<unsigned char> bytes(file.begin(), file.end());
  std::unique_ptr<ImageInfo> image = ImageInfo::LoadFromMemory(bytes, L"member.gif");
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->GetFrameCount(), 3);
  EXPECT_EQ(image->path(), L"member.gif");
  EXPECT_EQ(FramePixel(image->GetFrame(2), 0, 0) & 0xFFFFFF, 0x0000FFu);
  EXPECT_EQ(ImageInfo::LoadFromMemory({}, L"x"), nullptr);
  // A cut image does not decode (or decodes to what was there), and never
  // reads past its bytes.
  const std::vector<unsigned char> cut(bytes.begin(), bytes.begin() + bytes.size() / 3);
  std::unique_ptr<ImageInfo> partial = ImageInfo::LoadFromMemory(cut, L"cut.gif");
  if (partial != nullptr) {
    EXPECT_LE(partial->GetFrameCount(), 3);
  }
}

TEST(ImageInfoTest, UndecodableDataGivesNoImage) {
  ScratchFolder folder(L"image_info_test");
  WriteFile(folder.path() + L"garbage.png", std::vector<char>{'n', 'o', 't', ' ', 'a', 'n'});
  EXPECT_EQ(ImageInfo::LoadFromFile(folder.path() + L"garbage.png", L""), nullptr);
  EXPECT_EQ(ImageInfo::LoadFromFile(folder.path() + L"missing.png", L""), nullptr);
  // A GIF cut short in its second frame gives nothing or what could be read,
  // never a crash.
  std::vector<char> bytes = ReadFile(TestImage(L"three.gif"));
  bytes.resize(bytes.size() / 2);
  WriteFile(folder.path() + L"cut.gif", bytes);
  std::unique_ptr<ImageInfo> cut = ImageInfo::LoadFromFile(folder.path() + L"cut.gif", L"");
  if (cut) {
    EXPECT_EQ(cut->width(), 4);
  }
}

TEST(ImageCacheTest, SharesAnImageWhileHeldAndDecodesAgainAfterRelease) {
  ScratchFolder folder(L"image_cache_test");
  const std::wstring path = folder.path() + L"logo.png";
  WriteFile(path, ReadFile(TestImage(L"opaque.png")));  // red

  std::shared_ptr<ImageInfo> first = GlobalManager::GetImage(path);
  ASSERT_NE(first, nullptr);
  EXPECT_TRUE(first->cached());
  EXPECT_EQ(first->path(), GlobalManager::GetImageCacheKey(path));

  // The file changes on disk, but the held image is what every request gets,
  // whichever way the path is written.
  WriteFile(path, ReadFile(TestImage(L"blue.png")));
  std::wstring slashed = path;
  for (wchar_t& c : slashed) {
    if (c == L'\\') c = L'/';
  }
  std::shared_ptr<ImageInfo> second = GlobalManager::GetImage(slashed);
  std::shared_ptr<ImageInfo> third = GlobalManager::GetImage(folder.path() + L"\\logo.png");
  EXPECT_EQ(second.get(), first.get());
  EXPECT_EQ(third.get(), first.get());
  EXPECT_EQ(FramePixel(second->GetFrame(0), 0, 0) & 0xFFFFFF, 0xFF0000u);

  // Once every holder let go, the next request decodes the file again.
  std::weak_ptr<ImageInfo> watch = first;
  first.reset();
  second.reset();
  EXPECT_FALSE(watch.expired());
  third.reset();
  EXPECT_TRUE(watch.expired());
  std::shared_ptr<ImageInfo> fresh = GlobalManager::GetImage(path);
  ASSERT_NE(fresh, nullptr);
  EXPECT_EQ(FramePixel(fresh->GetFrame(0), 0, 0) & 0xFFFFFF, 0x0000FFu);
}

TEST(ImageCacheTest, MissingAndBrokenFilesGiveNothingAndAreNotCached) {
  ScratchFolder folder(L"image_cache_broken");
  const std::wstring path = folder.path() + L"late.png";
  EXPECT_EQ(GlobalManager::GetImage(path), nullptr);
  WriteFile(path, ReadFile(TestImage(L"opaque.png")));
  EXPECT_NE(GlobalManager::GetImage(path), nullptr);  // no negative caching
}

TEST(ImageCacheTest, APrefetchedPictureIsTakenOnceByGetImage) {
  ScratchFolder folder(L"image_prefetch_test");
  const std::wstring path = folder.path() + L"logo.png";
  WriteFile(path, ReadFile(TestImage(L"opaque.png")));  // red

  GlobalManager::PrefetchImage(path);
  EXPECT_TRUE(GlobalManager::IsImagePrefetched(path));
  GlobalManager::PrefetchImage(path);  // once is enough
  std::shared_ptr<ImageInfo> logo = GlobalManager::GetImage(path);
  ASSERT_NE(logo, nullptr);
  EXPECT_FALSE(GlobalManager::IsImagePrefetched(path)) << "the decoding was not taken";
  EXPECT_TRUE(logo->cached());
  EXPECT_EQ(logo->path(), GlobalManager::GetImageCacheKey(path));
  EXPECT_EQ(logo->width(), 8);
  EXPECT_EQ(logo->height(), 6);
  EXPECT_EQ(logo->scale_percent(), 100);
  EXPECT_FALSE(logo->has_alpha());
  EXPECT_EQ(FramePixel(logo->GetFrame(0), 3, 2) & 0xFFFFFF, 0xFF0000u);

  // A picture someone holds is not decoded again.
  GlobalManager::PrefetchImage(path);
  EXPECT_FALSE(GlobalManager::IsImagePrefetched(path));

  // Once dropped, a decoding is not used: GetImage reads the file as it is.
  logo.reset();
  GlobalManager::PrefetchImage(path);
  EXPECT_TRUE(GlobalManager::IsImagePrefetched(path));
  GlobalManager::DropPrefetchedImages();
  EXPECT_FALSE(GlobalManager::IsImagePrefetched(path));
  WriteFile(path, ReadFile(TestImage(L"blue.png")));
  logo = GlobalManager::GetImage(path);
  ASSERT_NE(logo, nullptr);
  EXPECT_EQ(FramePixel(logo->GetFrame(0), 3, 2) & 0xFFFFFF, 0x0000FFu);
}

TEST(ImageCacheTest, PrefetchingLeavesWhatItCannotDecodeToTheUsualWay) {
  ScratchFolder folder(L"image_prefetch_others");
  // Not PNG files: decoding ahead gives nothing, GDI+ decodes them as before.
  for (const wchar_t* name : {L"blue.jpg", L"three.gif"}) {
    SCOPED_TRACE(::testing::Message() << name);
    const std::wstring path = folder.path() + name;
    WriteFile(path, ReadFile(TestImage(name)));
    GlobalManager::PrefetchImage(path);
    std::shared_ptr<ImageInfo> image = GlobalManager::GetImage(path);
    ASSERT_NE(image, nullptr);
    EXPECT_GT(image->width(), 0);
  }
  std::shared_ptr<ImageInfo> gif = GlobalManager::GetImage(folder.path() + L"three.gif");
  EXPECT_EQ(gif->GetFrameCount(), 3);

  // Broken and missing files still give nothing, and are not kept.
  WriteFile(folder.path() + L"broken.png", std::vector<char>{'\x89', 'P', 'N', 'G', 'x'});
  for (const wchar_t* name : {L"broken.png", L"missing.png"}) {
    SCOPED_TRACE(::testing::Message() << name);
    GlobalManager::PrefetchImage(folder.path() + name);
    EXPECT_EQ(GlobalManager::GetImage(folder.path() + name), nullptr);
    EXPECT_FALSE(GlobalManager::IsImagePrefetched(folder.path() + name));
  }

  // A picture GDI+ resamples is not decoded ahead.
  const std::wstring red = folder.path() + L"red.png";
  WriteFile(red, ReadFile(TestImage(L"opaque.png")));
  const ImageScale resampled{100, 150};
  GlobalManager::PrefetchImage(red, resampled);
  EXPECT_FALSE(GlobalManager::IsImagePrefetched(red, resampled));
  std::shared_ptr<ImageInfo> larger = GlobalManager::GetImage(red, resampled);
  ASSERT_NE(larger, nullptr);
  EXPECT_EQ(larger->width(), 12);
}

// The skin archive opened from memory, with relative paths resolved against
// the image folder; both undone at the end of the scope.
class ArchiveScope {
 public:
  ArchiveScope() : bytes_(ReadFile(TestImage(L"skin.zip"))) {
    ::GetCurrentDirectoryW(MAX_PATH, old_directory_);
    ::SetCurrentDirectoryW(testing::TestImageFolder().c_str());
    opened_ = !bytes_.empty() && GlobalManager::OpenResourceArchive(bytes_.data(), bytes_.size());
  }
  ~ArchiveScope() {
    GlobalManager::CloseResourceArchive();
    ::SetCurrentDirectoryW(old_directory_);
  }
  bool opened() const { return opened_; }

 private:
  std::vector<char> bytes_;
  wchar_t old_directory_[MAX_PATH] = {};
  bool opened_ = false;
};

TEST(ImageCacheTest, ArchiveMembersComeFirstThenTheDisk) {
  ArchiveScope archive;
  ASSERT_TRUE(archive.opened());
  // Keys are archive member names while the archive is open.
  EXPECT_EQ(GlobalManager::GetImageCacheKey(L"pair\\sub\\..\\logo.png"), L"pair/logo.png");

  std::shared_ptr<ImageInfo> logo = GlobalManager::GetImage(L"pair\\sub\\..\\logo.png");
  ASSERT_NE(logo, nullptr);
  EXPECT_EQ(logo->path(), L"pair/logo.png");
  EXPECT_EQ(FramePixel(logo->GetFrame(0), 0, 0) & 0xFFFFFF, 0x0000FFu);  // the member
  EXPECT_EQ(GlobalManager::GetImage(L"./pair/logo.png").get(), logo.get());

  // A member that does not decode is not looked for on disk; a file the
  // archive lacks is.
  EXPECT_EQ(GlobalManager::GetImage(L"pair\\broken.png"), nullptr);
  std::shared_ptr<ImageInfo> disk_only = GlobalManager::GetImage(L"pair\\disk_only.png");
  ASSERT_NE(disk_only, nullptr);
  EXPECT_EQ(FramePixel(disk_only->GetFrame(0), 0, 0) & 0xFFFFFF, 0xFF0000u);

  // With the archive closed, the same name is the file on disk.
  logo.reset();
  GlobalManager::CloseResourceArchive();
  std::shared_ptr<ImageInfo> from_disk = GlobalManager::GetImage(L"pair\\logo.png");
  ASSERT_NE(from_disk, nullptr);
  EXPECT_EQ(from_disk->path(), L"pair\\logo.png");
  EXPECT_EQ(FramePixel(from_disk->GetFrame(0), 0, 0) & 0xFFFFFF, 0xFF0000u);
}

TEST(ImageCacheTest, PrefetchingReadsArchiveMembersFirst) {
  ArchiveScope archive;
  ASSERT_TRUE(archive.opened());
  // pair/logo.png is blue in the archive and red on disk.
  GlobalManager::PrefetchImage(L"pair\\logo.png");
  EXPECT_TRUE(GlobalManager::IsImagePrefetched(L"./pair/logo.png"));
  std::shared_ptr<ImageInfo> logo = GlobalManager::GetImage(L"pair\\logo.png");
  ASSERT_NE(logo, nullptr);
  EXPECT_EQ(logo->path(), L"pair/logo.png");
  EXPECT_EQ(FramePixel(logo->GetFrame(0), 0, 0) & 0xFFFFFF, 0x0000FFu);
  // A member the archive lacks comes from the disk.
  GlobalManager::PrefetchImage(L"pair\\disk_only.png");
  std::shared_ptr<ImageInfo> disk_only = GlobalManager::GetImage(L"pair\\disk_only.png");
  ASSERT_NE(disk_only, nullptr);
  EXPECT_EQ(FramePixel(disk_only->GetFrame(0), 0, 0) & 0xFFFFFF, 0xFF0000u);
  // A member that does not decode is not looked for on disk.
  GlobalManager::PrefetchImage(L"pair\\broken.png");
  EXPECT_EQ(GlobalManager::GetImage(L"pair\\broken.png"), nullptr);
}

TEST(ImageCacheTest, ScaleVariantsAreFoundInTheArchive) {
  ArchiveScope archive;
  ASSERT_TRUE(archive.opened());
  GlobalManager::SetDisplayScale(200, true);
  // pair/logo@2x.png exists only as a member.
  const ScaledImageFile file = ResolveScaledImage(L"pair\\logo.png");
  EXPECT_EQ(file.path, L"pair\\logo@2x.png");
  std::shared_ptr<ImageInfo> logo = GlobalManager::GetImage(file.path, file.scale);
  GlobalManager::SetDisplayScale(100, false);
  ASSERT_NE(logo, nullptr);
  EXPECT_EQ(logo->width(), 16);
  EXPECT_EQ(logo->scale_percent(), 200);
}

}  // namespace
}  // namespace ui
