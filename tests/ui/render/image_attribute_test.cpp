#include "ui/render/image_attribute.h"

#include <gtest/gtest.h>

#include "tests/ui/render/pixels.h"
#include "tests/ui/render/test_images.h"
#include "ui/core/global_manager.h"
#include "ui/core/skin_image.h"
#include "ui/render/render_context_gdiplus.h"

namespace ui {
namespace {

using testing::AlphaOf;
using testing::CountPixels;
using testing::GreenOf;
using testing::PixelAt;
using testing::RedOf;
using testing::ScratchFolder;
using testing::TestImage;
using testing::TestImageFolder;

bool operator==(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

constexpr RECT kUnset = {-1, -1, -1, -1};

// Display scale 200 % for the life of the scope.
class DoubleScale {
 public:
  DoubleScale() { GlobalManager::SetDisplayScale(200, true); }
  ~DoubleScale() { GlobalManager::SetDisplayScale(100, false); }
};

TEST(ImageStringTest, BareFileNameKeepsTheDefaults) {
  ImageAttribute attribute;
  attribute.SetImageString(L"../images/logo.png");
  EXPECT_EQ(attribute.image_string, L"../images/logo.png");
  EXPECT_EQ(attribute.file, L"../images/logo.png");
  EXPECT_TRUE(attribute.dest == kUnset);
  EXPECT_TRUE(attribute.source == kUnset);
  EXPECT_TRUE(attribute.corner == (RECT{0, 0, 0, 0}));
  EXPECT_EQ(attribute.fade, 255);
  EXPECT_FALSE(attribute.xtiled);
  EXPECT_EQ(attribute.play_count, -1);
}

TEST(ImageStringTest, PairsSetTheirFields) {
  ImageAttribute attribute;
  attribute.SetImageString(
      L"file='a.png' source='1,2,3,4' corner='0,8,0,8' fade='128' xtiled='true' "
      L"ytiled='yes' playcount='2'");
  EXPECT_EQ(attribute.file, L"a.png");
  EXPECT_TRUE(attribute.source == (RECT{1, 2, 3, 4}));
  EXPECT_TRUE(attribute.corner == (RECT{0, 8, 0, 8}));
  EXPECT_EQ(attribute.fade, 128);
  EXPECT_TRUE(attribute.xtiled);
  EXPECT_FALSE(attribute.ytiled);  // only "true" is true
  EXPECT_EQ(attribute.play_count, 2);

  attribute.SetImageString(L"res='b.png' unknown='x' file=''");
  EXPECT_EQ(attribute.file, L"b.png");                  // unknown keys and empty values are skipped
  EXPECT_TRUE(attribute.corner == (RECT{0, 0, 0, 0}));  // reset by SetImageString
}

TEST(ImageStringTest, SpacingBetweenPairs) {
  ImageAttribute attribute;
  attribute.SetImageString(L"file='a.png'  corner='0,8,0,8'");
  EXPECT_TRUE(attribute.corner == (RECT{0, 8, 0, 8}));
  attribute.SetImageString(L"  file = 'a.png' corner=\t'1,1,1,1' ");
  EXPECT_EQ(attribute.file, L"a.png");
  EXPECT_TRUE(attribute.corner == (RECT{1, 1, 1, 1}));

  // No space after a closing quote ends the text.
  attribute.SetImageString(L"file='a.png'corner='0,8,0,8'");
  EXPECT_EQ(attribute.file, L"a.png");
  EXPECT_TRUE(attribute.corner == (RECT{0, 0, 0, 0}));
  attribute.SetImageString(L"file='a.png'\tcorner='0,8,0,8'");
  EXPECT_TRUE(attribute.corner == (RECT{0, 0, 0, 0}));
}

TEST(ImageStringTest, MalformedPairsEndParsingAndKeepWhatCameBefore) {
  ImageAttribute attribute;
  attribute.SetImageString(L"fade='10' corner '1,1,1,1' source='1,1,2,2'");  // no "="
  EXPECT_EQ(attribute.fade, 10);
  EXPECT_TRUE(attribute.corner == (RECT{0, 0, 0, 0}));
  EXPECT_TRUE(attribute.source == kUnset);

  attribute.SetImageString(L"fade='10' corner=\"1,1,1,1\"");  // double quotes
  EXPECT_TRUE(attribute.corner == (RECT{0, 0, 0, 0}));
  attribute.SetImageString(L"fade='10' corner='1,1,1,1");  // unterminated
  EXPECT_TRUE(attribute.corner == (RECT{0, 0, 0, 0}));
  EXPECT_EQ(attribute.file, L"fade='10' corner='1,1,1,1");
}

TEST(ImageStringTest, NumbersAndRectangles) {
  ImageAttribute attribute;
  attribute.SetImageString(L"fade='300'");
  EXPECT_EQ(attribute.fade, 44);  // kept to 8 bits
  attribute.SetImageString(L"corner='4;5x6 7' source='-1,2,3,4'");
  EXPECT_TRUE(attribute.corner == (RECT{4, 5, 6, 7}));  // any one separator
  EXPECT_TRUE(attribute.source == (RECT{-1, 2, 3, 4}));
  // Missing numbers read as 0 and parsing never runs past the value.
  attribute.SetImageString(L"corner='3,4' source='9'");
  EXPECT_TRUE(attribute.corner == (RECT{3, 4, 0, 0}));
  EXPECT_TRUE(attribute.source == (RECT{9, 0, 0, 0}));
}

TEST(ImageStringTest, DestIsScaledUnlessDestscaleSaysFalse) {
  DoubleScale scale;
  ImageAttribute attribute;
  attribute.SetImageString(L"dest='0,0,10,10'");
  EXPECT_TRUE(attribute.dest == (RECT{0, 0, 20, 20}));
  attribute.SetImageString(L"destscale='false' dest='0,0,10,10'");
  EXPECT_TRUE(attribute.dest == (RECT{0, 0, 10, 10}));
  // destscale only affects dest pairs after it, and each parse starts afresh.
  attribute.SetImageString(L"dest='1,1,2,2' destscale='false'");
  EXPECT_TRUE(attribute.dest == (RECT{2, 2, 4, 4}));
  attribute.ModifyAttribute(L"dest='1,1,2,2'");
  EXPECT_TRUE(attribute.dest == (RECT{2, 2, 4, 4}));
  attribute.ModifyAttribute(L"destscale='false' dest='1,1,2,2' destscale='true' dest='3,3,4,4'");
  EXPECT_TRUE(attribute.dest == (RECT{6, 6, 8, 8}));
}

TEST(ImagePathTest, RelativeNamesJoinTheResourcePathAndTheWindowFolder) {
  GlobalManager::SetResourcePath(L"resources\\themes\\default");
  EXPECT_EQ(GetFullImagePath(L"basic\\", L"../images/header.png"),
            L"resources\\themes\\default\\basic\\../images/header.png");
  EXPECT_EQ(GetFullImagePath(L"basic\\", L"C:\\skins\\x.png"), L"C:\\skins\\x.png");
  EXPECT_EQ(GetFullImagePath(L"basic\\", L"/abs/x.png"), L"/abs/x.png");
  GlobalManager::SetResourcePath(L"");
}

TEST(ImagePathTest, DisplayScaleVariantIsUsedWhenItExistsOnDisk) {
  ScratchFolder folder(L"image_scale_test");
  const std::wstring plain = folder.path() + L"header.png";
  ::CopyFileW(TestImage(L"opaque.png").c_str(), plain.c_str(), FALSE);
  EXPECT_EQ(GetDisplayScalePath(plain), plain);  // 100 %: never looked for

  GlobalManager::SetDisplayScale(200, true);
  EXPECT_EQ(GetDisplayScalePath(plain), plain);  // no header@2x.png yet
  ::CopyFileW(plain.c_str(), (folder.path() + L"header@2x.png").c_str(), FALSE);
  EXPECT_EQ(GetDisplayScalePath(plain), folder.path() + L"header@2x.png");

  GlobalManager::SetDisplayScale(150, true);
  EXPECT_EQ(GetDisplayScalePath(plain), plain);
  ::CopyFileW(plain.c_str(), (folder.path() + L"header@1.5x.png").c_str(), FALSE);
  EXPECT_EQ(GetDisplayScalePath(plain), folder.path() + L"header@1.5x.png");

  // A name without extension, in a folder whose name has a dot.
  const std::wstring dotted = folder.path() + L"noext";
  ::CopyFileW(plain.c_str(), (dotted + L"@1.5x").c_str(), FALSE);
  EXPECT_EQ(GetDisplayScalePath(dotted), dotted + L"@1.5x");
  GlobalManager::SetDisplayScale(100, false);
}

TEST(ImagePathTest, ScaledImagesComeFromTheNearestVariant) {
  const std::wstring tile = TestImage(L"scaled\\tile.png");  // 8x6, with tile@2x.png
  const std::wstring plain = TestImage(L"opaque.png");       // 8x6, no variants
  struct Case {
    int percent;
    bool adapt;
    const std::wstring& path;
    std::wstring file;
    int file_percent;
    int width;
    int height;
  };
  const Case cases[] = {
      {100, true, tile, tile, 100, 8, 6},
      {200, false, tile, tile, 100, 8, 6},  // lengths do not follow the scale
      {200, true, tile, TestImage(L"scaled\\tile@2x.png"), 200, 16, 12},
      {150, true, tile, TestImage(L"scaled\\tile@2x.png"), 200, 12, 9},  // scaled down
      {250, true, tile, TestImage(L"scaled\\tile@2x.png"), 200, 20, 15},
      {125, true, plain, plain, 100, 10, 8},  // scaled up, rounded
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.percent << "% " << c.adapt);
    GlobalManager::SetDisplayScale(c.percent, c.adapt);
    const ScaledImageFile file = ResolveScaledImage(c.path);
    EXPECT_EQ(file.path, c.file);
    EXPECT_EQ(file.scale.file_percent, c.file_percent);
    std::shared_ptr<ImageInfo> image = GlobalManager::GetImage(file.path, file.scale);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->width(), c.width);
    EXPECT_EQ(image->height(), c.height);
    EXPECT_EQ(image->scale_percent(), c.adapt ? c.percent : 100);
    // It covers the scaled size of its 100 % original on the window.
    const SIZE shown = GetDisplaySize(*image);
    EXPECT_EQ(shown.cx, c.adapt ? ::MulDiv(8, c.percent, 100) : 8);
  }
  GlobalManager::SetDisplayScale(100, false);
}

TEST(ImagePathTest, ImagesDecodedForOneScaleAreNotReusedForAnother) {
  const std::wstring tile = TestImage(L"scaled\\tile.png");
  GlobalManager::SetDisplayScale(200, true);
  ImageAttribute attribute;
  attribute.SetImageString(tile);
  ASSERT_TRUE(LoadAttributeImage(L"", attribute));
  std::shared_ptr<ImageInfo> at_200 = attribute.image;
  EXPECT_EQ(at_200->width(), 16);

  // After a move to a 150 % monitor the attribute gets the resampled copy.
  GlobalManager::SetDisplayScale(150, true);
  ASSERT_TRUE(LoadAttributeImage(L"", attribute));
  EXPECT_NE(attribute.image, at_200);
  EXPECT_EQ(attribute.image->width(), 12);
  EXPECT_NE(attribute.image->path(), at_200->path());
  GlobalManager::SetDisplayScale(100, false);
}

class DrawImageAttributeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    GlobalManager::SetResourcePath(TestImageFolder());
    context_.Resize(40, 40);
    context_.FillPixels(RECT{0, 0, 40, 40}, 255);
    placement_.control_rect = RECT{10, 10, 30, 30};
    placement_.paint_rect = RECT{0, 0, 40, 40};
    placement_.resource_folder = L"skin\\";
  }
  void TearDown() override { GlobalManager::SetResourcePath(L""); }

  RenderContext_GdiPlus context_;
  ImagePlacement placement_;
};

TEST_F(DrawImageAttributeTest, FillsTheControlOrItsDest) {
  ImageAttribute attribute;
  attribute.SetImageString(L"..\\opaque.png");
  EXPECT_TRUE(DrawImage(&context_, attribute, placement_));
  ASSERT_NE(attribute.image, nullptr);
  EXPECT_EQ(CountPixels(context_, RECT{10, 10, 30, 30},
                        [](DWORD p) { return (p & 0xFFFFFF) == 0xFF0000; }),
            400);
  EXPECT_EQ(PixelAt(context_, 9, 9), 0xFFFFFFFFu);
  EXPECT_EQ(PixelAt(context_, 30, 30), 0xFFFFFFFFu);

  // A modifier string places the image without changing the attribute.
  context_.FillPixels(RECT{0, 0, 40, 40}, 255);
  std::shared_ptr<ImageInfo> held = attribute.image;
  EXPECT_TRUE(DrawImage(&context_, attribute, placement_,
                        L"destscale='false' dest='2,2,6,6' source='0,0,4,4'"));
  EXPECT_EQ(attribute.image, held);  // not decoded again
  EXPECT_TRUE(attribute.dest == kUnset);
  EXPECT_EQ(
      CountPixels(context_, RECT{0, 0, 40, 40}, [](DWORD p) { return (p & 0xFFFFFF) == 0xFF0000; }),
      16);
  EXPECT_EQ(PixelAt(context_, 12, 12), 0xFFFF0000u);  // 4x4 of 4x4: blended 1:1
}

TEST_F(DrawImageAttributeTest, OpaqueImagesAreCopiedAndTransparentOnesBlended) {
  // Stretched, an opaque PNG goes through StretchBlt, which leaves alpha 0;
  // one transparent pixel makes the whole image blend, keeping alpha.
  ImageAttribute opaque;
  opaque.SetImageString(L"..\\opaque.png");
  ImageAttribute one;
  one.SetImageString(L"..\\one_transparent.png");
  ASSERT_TRUE(DrawImage(&context_, opaque, placement_));
  EXPECT_EQ(PixelAt(context_, 20, 20), 0x00FF0000u);

  context_.FillPixels(RECT{0, 0, 40, 40}, 255);
  ASSERT_TRUE(DrawImage(&context_, one, placement_, L"destscale='false' dest='0,0,16,12'"));
  EXPECT_EQ(PixelAt(context_, 20, 20), 0xFFFF0000u);
  // Pixel (1,1) of the image, doubled: (12..13, 12..13) shows the white below.
  EXPECT_EQ(PixelAt(context_, 12, 12), 0xFFFFFFFFu);
  EXPECT_EQ(PixelAt(context_, 13, 13), 0xFFFFFFFFu);
}

TEST_F(DrawImageAttributeTest, HalfTransparentImagesBlendAndFadesMultiply) {
  ImageAttribute translucent;
  translucent.SetImageString(L"..\\translucent.png");
  ASSERT_TRUE(DrawImage(&context_, translucent, placement_));
  DWORD pixel = PixelAt(context_, 20, 20);
  EXPECT_EQ(RedOf(pixel), 255);
  EXPECT_NEAR(GreenOf(pixel), 127, 2);

  ImageAttribute faded;
  faded.SetImageString(L"file='..\\blue.png' fade='100'");
  context_.FillPixels(RECT{0, 0, 40, 40}, 255);
  ASSERT_TRUE(DrawImage(&context_, faded, placement_));
  EXPECT_NEAR(RedOf(PixelAt(context_, 20, 20)), 155, 1);
  // The fade argument overrides the attribute's.
  context_.FillPixels(RECT{0, 0, 40, 40}, 255);
  ASSERT_TRUE(DrawImage(&context_, faded, placement_, L"", 0));
  EXPECT_EQ(PixelAt(context_, 20, 20), 0xFFFFFFFFu);
}

TEST_F(DrawImageAttributeTest, MissingImagesResetTheAttribute) {
  ImageAttribute attribute;
  attribute.SetImageString(L"file='..\\missing.png' corner='1,1,1,1'");
  EXPECT_FALSE(DrawImage(&context_, attribute, placement_));
  EXPECT_TRUE(attribute.file.empty());
  EXPECT_TRUE(attribute.corner == (RECT{0, 0, 0, 0}));
  EXPECT_FALSE(DrawImage(&context_, attribute, placement_));  // not tried again
  EXPECT_EQ(CountPixels(context_, RECT{0, 0, 40, 40}, [](DWORD p) { return p != 0xFFFFFFFF; }), 0);
}

TEST_F(DrawImageAttributeTest, AChangedFileIsLoadedAgain) {
  ImageAttribute attribute;
  attribute.SetImageString(L"..\\opaque.png");
  ASSERT_TRUE(DrawImage(&context_, attribute, placement_));
  std::shared_ptr<ImageInfo> red = attribute.image;
  attribute.file = L"..\\blue.png";
  ASSERT_TRUE(DrawImage(&context_, attribute, placement_));
  EXPECT_NE(attribute.image, red);
  EXPECT_EQ(PixelAt(context_, 20, 20) & 0xFFFFFF, 0x0000FFu);
}

TEST_F(DrawImageAttributeTest, AnimatedBackgroundStartsPlayingInsteadOfDrawing) {
  ImageAttribute background;
  background.SetImageString(L"..\\three.gif");
  ASSERT_TRUE(LoadAttributeImage(placement_.resource_folder, background));
  int started = 0;
  placement_.background = &background;
  placement_.start_background = [&] {
    ++started;
    background.playing = StartPlaying(background) > 0;
  };
  EXPECT_FALSE(DrawImage(&context_, background, placement_));
  EXPECT_EQ(started, 1);
  EXPECT_EQ(PixelAt(context_, 20, 20), 0xFFFFFFFFu);

  // Playing: the current frame is drawn.
  background.current_frame = 2;
  EXPECT_TRUE(DrawImage(&context_, background, placement_));
  EXPECT_EQ(started, 1);
  EXPECT_EQ(PixelAt(context_, 20, 20) & 0xFFFFFF, 0x0000FFu);

  // Play count 0 never starts by itself.
  ImageAttribute manual;
  manual.SetImageString(L"file='..\\three.gif' playcount='0'");
  ASSERT_TRUE(LoadAttributeImage(placement_.resource_folder, manual));
  EXPECT_FALSE(ShouldStartPlaying(manual));
}

TEST_F(DrawImageAttributeTest, FramesAdvanceWithTheirIntervalsAndCountLoops) {
  ImageAttribute gif;
  gif.SetImageString(L"file='..\\three.gif' playcount='2'");
  ASSERT_TRUE(LoadAttributeImage(placement_.resource_folder, gif));
  EXPECT_EQ(StartPlaying(gif), 100);
  EXPECT_TRUE(gif.playing);

  FrameStep step = AdvanceFrame(gif);  // frame 1: 50 ms
  EXPECT_EQ(gif.current_frame, 1);
  EXPECT_TRUE(step.keep_playing && step.repaint);
  EXPECT_EQ(step.restart_interval, 50);
  step = AdvanceFrame(gif);  // frame 2: 100 ms
  EXPECT_EQ(step.restart_interval, 100);
  step = AdvanceFrame(gif);  // back to frame 0, one loop: 100 ms again
  EXPECT_EQ(gif.current_frame, 0);
  EXPECT_EQ(gif.loops_played, 1);
  EXPECT_TRUE(step.keep_playing && step.repaint);
  EXPECT_EQ(step.restart_interval, 0);  // same interval: the timer stays
  AdvanceFrame(gif);
  AdvanceFrame(gif);
  step = AdvanceFrame(gif);  // second loop done: stop on the last frame and repaint it
  EXPECT_FALSE(step.keep_playing);
  EXPECT_TRUE(step.repaint);
  EXPECT_FALSE(gif.playing);
  EXPECT_EQ(gif.current_frame, 2);
  EXPECT_EQ(gif.loops_played, 2);
  EXPECT_EQ(StartPlaying(gif), 0);  // exhausted
  // Later paints draw that frame (blue) and do not ask to play again.
  int started = 0;
  placement_.background = &gif;
  placement_.start_background = [&] { ++started; };
  EXPECT_FALSE(ShouldStartPlaying(gif));
  for (int i = 0; i < 2; ++i) {
    EXPECT_TRUE(DrawImage(&context_, gif, placement_));
    EXPECT_EQ(PixelAt(context_, 20, 20) & 0xFFFFFF, 0x0000FFu);
  }
  EXPECT_EQ(started, 0);

  // Play count 0 runs only while the playing flag stays set.
  ImageAttribute manual;
  manual.SetImageString(L"file='..\\three.gif' playcount='0'");
  ASSERT_TRUE(LoadAttributeImage(placement_.resource_folder, manual));
  EXPECT_EQ(StartPlaying(manual), 100);
  EXPECT_TRUE(AdvanceFrame(manual).keep_playing);
  manual.playing = false;
  step = AdvanceFrame(manual);
  EXPECT_FALSE(step.keep_playing);
  EXPECT_FALSE(step.repaint);
  EXPECT_EQ(manual.current_frame, 1);

  // Still images never play.
  ImageAttribute still;
  still.SetImageString(L"..\\opaque.png");
  ASSERT_TRUE(LoadAttributeImage(placement_.resource_folder, still));
  EXPECT_EQ(StartPlaying(still), 0);
  EXPECT_FALSE(still.playing);
  EXPECT_FALSE(AdvanceFrame(still).keep_playing);
  EXPECT_EQ(still.GetFrameInterval(), 0);
}

TEST_F(DrawImageAttributeTest, SourceRectanglesAreReadAtTheImagesScale) {
  // At 200 % the "@2x" tile is drawn; the skin's source='4,0,8,6' (its right
  // half at 100 %) is pixels 8..16 of it: green. Read unscaled it would be
  // pixels 4..8: blue.
  DoubleScale scale;
  context_.Resize(80, 80);
  context_.FillPixels(RECT{0, 0, 80, 80}, 255);
  placement_.control_rect = RECT{0, 0, 8, 12};
  placement_.paint_rect = RECT{0, 0, 80, 80};
  ImageAttribute attribute;
  attribute.SetImageString(L"file='..\\scaled\\tile.png' source='4,0,8,6'");
  ASSERT_TRUE(DrawImage(&context_, attribute, placement_));
  EXPECT_EQ(attribute.image->scale_percent(), 200);
  EXPECT_EQ(PixelAt(context_, 0, 0) & 0xFFFFFF, 0x00FF00u);
  EXPECT_EQ(PixelAt(context_, 7, 11) & 0xFFFFFF, 0x00FF00u);
}

}  // namespace
}  // namespace ui
