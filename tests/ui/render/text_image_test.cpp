#include "ui/render/text_image.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "tests/ui/render/pixels.h"
#include "ui/render/render_context_gdiplus.h"

namespace ui {
namespace {

using testing::CountPixels;
using testing::Font;
using testing::MakeWhite;
using testing::PixelAt;

constexpr int kWidth = 240;
constexpr int kHeight = 120;

std::vector<DWORD> Pixels(const IRenderContext& context) {
  const DWORD* bits = reinterpret_cast<const DWORD*>(context.GetBits());
  return std::vector<DWORD>(bits, bits + context.GetWidth() * context.GetHeight());
}

int Differences(const std::vector<DWORD>& a, const std::vector<DWORD>& b) {
  if (a.size() != b.size()) return -1;
  int count = 0;
  for (size_t i = 0; i < a.size(); ++i) count += a[i] != b[i] ? 1 : 0;
  return count;
}

struct Case {
  const char* name;
  RECT box;
  const wchar_t* text;
  DWORD color;
  UINT format;
  bool line_limit;
};

class KeptTextTest : public ::testing::Test {
 protected:
  // The pixels of |c| drawn in place on white.
  std::vector<DWORD> InPlace(const Case& c, HFONT font) {
    MakeWhite(direct_, kWidth, kHeight);
    direct_.DrawText(c.box, c.text, c.color, font, c.format, 255, c.line_limit);
    return Pixels(direct_);
  }
  // The pixels of |c| drawn through |image| on white.
  std::vector<DWORD> Kept(const Case& c, HFONT font, TextImage* image) {
    MakeWhite(kept_, kWidth, kHeight);
    kept_.DrawKeptText(c.box, c.text, c.color, font, c.format, c.line_limit, image);
    return Pixels(kept_);
  }

  RenderContext_GdiPlus direct_;
  RenderContext_GdiPlus kept_;
};

// Kept text is the same text: every pixel of the first drawing (in place),
// of the second (drawn aside and kept) and of the later ones (blended from
// what was kept) matches drawing in place, whatever the layout.
TEST_F(KeptTextTest, EveryDrawingMatchesDrawingInPlace) {
  Font latin(L"DejaVu Sans", 15);
  Font chinese(L"WenQuanYi Zen Hei", 14, FW_BOLD);
  const UINT one_line = DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOCLIP;
  const Case cases[] = {
      {"left", {10, 10, 200, 30}, L"Fernwick 1.0.3", 0xFF1F2329, one_line, false},
      {"centred",
       {13, 7, 231, 49},
       L"Centred, both ways",
       0xFF1F6FEB,
       one_line | DT_CENTER | DT_VCENTER,
       false},
      {"right, bottom",
       {0, 0, 237, 111},
       L"45%  12.4 MB / 27.5 MB",
       0xFF86909C,
       DT_SINGLELINE | DT_RIGHT | DT_BOTTOM,
       false},
      {"ellipsis",
       {20, 40, 120, 60},
       L"C:\\Users\\Public\\AppData\\Local\\Fernwick\\Downloader",
       0xFF4E5969,
       one_line,
       false},
      {"translucent",
       {5, 60, 230, 80},
       L"Welcome \x00B7 \x6B22\x8FCE",
       0xE6203040,
       one_line,
       false},
      {"taller than its box",
       {30, 50, 200, 56},
       L"Ag\x00C9j",
       0xFF000000,
       one_line | DT_VCENTER,
       false},
      {"wrapped",
       {10, 10, 130, 110},
       L"Fast, light and friendly; keeps your files in order, always.",
       0xFF4E5969,
       DT_END_ELLIPSIS,
       false},
      {"whole lines",
       {10, 10, 130, 50},
       L"Fast, light and friendly; keeps your files in order, always.",
       0xFF4E5969,
       0,
       true},
      // Wrapped lines that are not clipped reach below their box; what is
      // kept reaches as far as they do.
      {"running past the box",
       {10, 10, 100, 20},
       L"Wrapped lines that are not clipped run on below their box.",
       0xFF000000,
       DT_NOCLIP,
       false},
      // A wrapped label as skins make it, a line and a half tall.
      {"a label's wrapped lines",
       {10, 10, 120, 36},
       L"Wrapped lines that are not clipped run on below their box.",
       0xFF4E5969,
       DT_NOCLIP | DT_END_ELLIPSIS,
       false},
  };
  for (HFONT font : {latin.get(), chinese.get()}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(c.name);
      const std::vector<DWORD> expected = InPlace(c, font);
      ASSERT_GT(Differences(expected, std::vector<DWORD>(expected.size(), 0xFFFFFFFF)), 0);
      if ((c.format & DT_NOCLIP) && !(c.format & DT_SINGLELINE)) {
        // The case is what it says: the lines reach below the box.
        const RECT below = {0, c.box.bottom, kWidth, kHeight};
        ASSERT_GT(CountPixels(direct_, below, [](DWORD p) { return p != 0xFFFFFFFF; }), 0);
      }
      TextImage image;
      for (int drawing = 1; drawing <= 3; ++drawing) {
        EXPECT_EQ(Differences(Kept(c, font, &image), expected), 0) << "drawing " << drawing;
        EXPECT_EQ(image.IsKept(), drawing >= 2) << "drawing " << drawing;
      }
      // Only the pixels the text touched are held.
      EXPECT_GT(image.bytes(), 0u);
      EXPECT_LT(image.bytes(), static_cast<size_t>(kWidth) * kHeight * 4);
    }
  }
}

// The kept pixels go where the box is now and stay inside the clip.
TEST_F(KeptTextTest, KeptPixelsFollowTheBoxAndTheClip) {
  Font font(L"DejaVu Sans", 15);
  Case c = {"", {10, 10, 200, 30}, L"\x2588\x2588\x2588 moving", 0xFF000000, DT_SINGLELINE, false};
  TextImage image;
  Kept(c, font.get(), &image);
  Kept(c, font.get(), &image);
  ASSERT_TRUE(image.IsKept());

  // Moved by whole pixels, the same size: still kept, drawn at the new place.
  c.box = RECT{40, 70, 230, 90};
  const std::vector<DWORD> moved = Kept(c, font.get(), &image);
  EXPECT_TRUE(image.IsKept());
  EXPECT_EQ(Differences(moved, InPlace(c, font.get())), 0);

  // Under a clip nothing lands outside it.
  MakeWhite(kept_, kWidth, kHeight);
  {
    AutoClip clip(&kept_, RECT{40, 70, 60, 90});
    kept_.DrawKeptText(c.box, c.text, c.color, font.get(), c.format, false, &image);
  }
  const RECT outside = {60, 0, kWidth, kHeight};
  EXPECT_EQ(CountPixels(kept_, outside, [](DWORD p) { return p != 0xFFFFFFFF; }), 0);
  EXPECT_GT(CountPixels(kept_, RECT{40, 70, 60, 90}, [](DWORD p) { return p != 0xFFFFFFFF; }), 0);
}

// Whatever the pixels depend on starts over: the new look is drawn in place
// at once (never the old pixels), and kept from its second drawing.
TEST_F(KeptTextTest, AChangeIsDrawnAtOnceAndKeptFromItsSecondDrawing) {
  Font font(L"DejaVu Sans", 15);
  Font bigger(L"DejaVu Sans", 17);
  const Case first = {"", {10, 10, 200, 30}, L"12 %", 0xFF000000, DT_SINGLELINE, false};
  TextImage image;
  Kept(first, font.get(), &image);
  Kept(first, font.get(), &image);
  ASSERT_TRUE(image.IsKept());

  Case text = first;
  text.text = L"13 %";
  Case color = first;
  color.color = 0xFFFF0000;
  Case width = first;
  width.box.right += 1;
  Case format = first;
  format.format |= DT_RIGHT;
  for (const Case& changed : {text, color, width, format}) {
    EXPECT_EQ(Differences(Kept(changed, font.get(), &image), InPlace(changed, font.get())), 0);
    EXPECT_FALSE(image.IsKept());
    EXPECT_EQ(Differences(Kept(changed, font.get(), &image), InPlace(changed, font.get())), 0);
    EXPECT_TRUE(image.IsKept());
  }
  EXPECT_EQ(Differences(Kept(first, bigger.get(), &image), InPlace(first, bigger.get())), 0);
  EXPECT_FALSE(image.IsKept());
}

// Blank text is drawn (not at all) without holding pixels.
TEST_F(KeptTextTest, BlankTextHoldsNoPixels) {
  Font font(L"DejaVu Sans", 15);
  TextImage image;
  const Case blank = {"", {10, 10, 100, 30}, L"   ", 0xFF000000, DT_SINGLELINE, false};
  Kept(blank, font.get(), &image);
  const std::vector<DWORD> drawn = Kept(blank, font.get(), &image);
  EXPECT_TRUE(image.IsKept());
  EXPECT_EQ(image.bitmap(), nullptr);
  EXPECT_EQ(image.bytes(), 0u);
  EXPECT_EQ(Differences(drawn, InPlace(blank, font.get())), 0);
}

}  // namespace
}  // namespace ui
