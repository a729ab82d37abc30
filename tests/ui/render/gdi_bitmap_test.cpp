#include "ui/render/gdi_bitmap.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <vector>

#include "tests/ui/render/pixels.h"
#include "ui/render/render_context_gdiplus.h"

namespace ui {
namespace {

using testing::AlphaOf;
using testing::CountPixels;
using testing::PixelAt;

class ScreenDC {
 public:
  ScreenDC() : hdc_(::GetDC(nullptr)) {}
  ~ScreenDC() { ::ReleaseDC(nullptr, hdc_); }
  HDC get() const { return hdc_; }

 private:
  HDC hdc_;
};

TEST(GdiBitmapTest, NoBitmapOfZeroSizeOrWithoutDeviceContext) {
  ScreenDC screen;
  GdiBitmap bitmap;
  EXPECT_FALSE(bitmap.Init(screen.get(), 0, 10, true));
  EXPECT_FALSE(bitmap.Init(screen.get(), 10, -1, true));
  EXPECT_FALSE(bitmap.Init(nullptr, 10, 10, true));
  EXPECT_EQ(bitmap.GetBitmap(), nullptr);
  EXPECT_EQ(bitmap.GetBits(), nullptr);
  // Pixel operations on a missing bitmap do nothing.
  bitmap.FillPixels(RECT{0, 0, 10, 10}, 255);
  bitmap.MakeOpaque(RECT{0, 0, 10, 10}, RECT{}, 0);
  bitmap.Clear();
}

TEST(GdiBitmapTest, ReinitReplacesTheBitmapAndDetachHandsItOver) {
  ScreenDC screen;
  GdiBitmap bitmap;
  ASSERT_TRUE(bitmap.Init(screen.get(), 4, 3, true));
  EXPECT_EQ(bitmap.GetWidth(), 4);
  EXPECT_EQ(bitmap.GetHeight(), 3);
  ASSERT_TRUE(bitmap.Init(screen.get(), 7, 5, true));
  EXPECT_EQ(bitmap.GetWidth(), 7);

  HBITMAP handle = bitmap.DetachBitmap();
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(bitmap.GetBitmap(), nullptr);
  EXPECT_EQ(bitmap.GetBits(), nullptr);
  EXPECT_EQ(bitmap.GetWidth(), 0);
  BITMAP info = {};
  ASSERT_EQ(::GetObjectW(handle, sizeof(info), &info), static_cast<int>(sizeof(info)));
  EXPECT_EQ(info.bmWidth, 7);
  EXPECT_EQ(info.bmBitsPixel, 32);
  ::DeleteObject(handle);
}

TEST(GdiBitmapTest, FlippedRowsRunTopDown) {
  RenderContext_GdiPlus context;
  ASSERT_TRUE(context.Resize(4, 4, true));
  context.Clear();
  // GDI paints the top row; it must be the first row of the bits.
  RECT top = {0, 0, 4, 1};
  HBRUSH brush = ::CreateSolidBrush(RGB(255, 0, 0));
  ::FillRect(context.DeviceContext(), &top, brush);
  ::DeleteObject(brush);
  EXPECT_EQ(PixelAt(context, 0, 0) & 0xFFFFFF, 0xFF0000u);
  EXPECT_EQ(PixelAt(context, 0, 3) & 0xFFFFFF, 0u);
}

TEST(GdiBitmapTest, FillPixelsFillsOnlyTheInsidePart) {
  RenderContext_GdiPlus context;
  ASSERT_TRUE(context.Resize(10, 8));
  context.Clear();

  context.FillPixels(RECT{-5, 6, 3, 20}, 0xAB);  // sticks out left and below
  const RECT all = {0, 0, 10, 8};
  EXPECT_EQ(CountPixels(context, all, [](DWORD p) { return p == 0xABABABABu; }), 3 * 2);
  EXPECT_EQ(PixelAt(context, 2, 7), 0xABABABABu);
  EXPECT_EQ(PixelAt(context, 3, 7), 0u);
  EXPECT_EQ(PixelAt(context, 2, 5), 0u);

  context.FillPixels(RECT{10, 0, 30, 8}, 0xFF);  // entirely to the right
  context.FillPixels(RECT{4, 3, 4, 5}, 0xFF);    // empty
  context.FillPixels(RECT{6, 2, 2, 5}, 0xFF);    // inverted
  EXPECT_EQ(CountPixels(context, all, [](DWORD p) { return p == 0xFFFFFFFFu; }), 0);

  context.FillPixels(RECT{0, 0, 10, 8}, 0);  // zero gives transparent black everywhere
  EXPECT_EQ(CountPixels(context, all, [](DWORD p) { return p == 0; }), 80);
}

TEST(GdiBitmapTest, MakeOpaqueLeavesTheCornerZones) {
  RenderContext_GdiPlus context;
  ASSERT_TRUE(context.Resize(100, 100));
  context.FillPixels(RECT{0, 0, 100, 100}, 0x10);
  context.MakeOpaque(RECT{0, 0, 100, 100}, RECT{15, 15, 15, 15}, 0);

  const RECT corners[] = {{0, 0, 15, 15}, {85, 0, 100, 15}, {0, 85, 15, 100}, {85, 85, 100, 100}};
  for (const RECT& corner : corners) {
    EXPECT_EQ(CountPixels(context, corner, [](DWORD p) { return p == 0x10101010u; }), 225);
  }
  const int opaque =
      CountPixels(context, RECT{0, 0, 100, 100}, [](DWORD p) { return AlphaOf(p) == 255; });
  EXPECT_EQ(opaque, 100 * 100 - 4 * 225);
  // Only the alpha byte changes.
  EXPECT_EQ(PixelAt(context, 15, 0), 0xFF101010u);
  EXPECT_EQ(PixelAt(context, 50, 50), 0xFF101010u);
  EXPECT_EQ(PixelAt(context, 0, 85), 0x10101010u);
  EXPECT_EQ(PixelAt(context, 0, 84), 0xFF101010u);
}

TEST(GdiBitmapTest, MakeOpaqueKeysOutOneAlphaAndStaysInsideItsRect) {
  RenderContext_GdiPlus context;
  ASSERT_TRUE(context.Resize(20, 20));
  context.FillPixels(RECT{0, 0, 20, 20}, 0x40);
  context.FillPixels(RECT{0, 0, 20, 1}, 0x7F);
  context.MakeOpaque(RECT{-3, 0, 10, 40}, RECT{}, 0x7F);

  EXPECT_EQ(AlphaOf(PixelAt(context, 5, 0)), 0);    // key alpha: transparent
  EXPECT_EQ(AlphaOf(PixelAt(context, 5, 1)), 255);  // anything else: opaque
  EXPECT_EQ(AlphaOf(PixelAt(context, 9, 19)), 255);
  EXPECT_EQ(AlphaOf(PixelAt(context, 10, 5)), 0x40);  // outside the rect
  EXPECT_EQ(AlphaOf(PixelAt(context, 15, 0)), 0x7F);
}

// Every source alpha over a few backgrounds: the same pixels as the system's
// AlphaBlend with per-pixel alpha, rounding included.
TEST(GdiBitmapTest, BlendPixelsOverMatchesTheSystemsBlend) {
  constexpr int kWidth = 256;
  constexpr int kRows = 4;
  const DWORD backgrounds[kRows] = {0xFF0000FF, 0xFFFFFFFF, 0x80402010, 0x00000000};
  std::vector<DWORD> source(kWidth * kRows);
  for (int y = 0; y < kRows; ++y) {
    for (int a = 0; a < kWidth; ++a) {
      // Premultiplied: every channel at most the alpha.
      source[y * kWidth + a] = (static_cast<DWORD>(a) << 24) | ((a * 3 / 4) << 16) |
                               ((a / (y + 1)) << 8) | (y == 3 ? a : a / 5);
    }
  }
  std::vector<DWORD> ours(kWidth * kRows);
  for (int y = 0; y < kRows; ++y) {
    std::fill(ours.begin() + y * kWidth, ours.begin() + (y + 1) * kWidth, backgrounds[y]);
  }
  RenderContext_GdiPlus system;
  RenderContext_GdiPlus from;
  ASSERT_TRUE(system.Resize(kWidth, kRows));
  ASSERT_TRUE(from.Resize(kWidth, kRows));
  std::copy(ours.begin(), ours.end(), reinterpret_cast<DWORD*>(system.GetBits()));
  std::copy(source.begin(), source.end(), reinterpret_cast<DWORD*>(from.GetBits()));

  BlendPixelsOver(ours.data(), kWidth, source.data(), kWidth, kWidth, kRows);
  const BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  ASSERT_TRUE(::GdiAlphaBlend(system.DeviceContext(), 0, 0, kWidth, kRows, from.DeviceContext(), 0,
                              0, kWidth, kRows, blend));
  ::GdiFlush();
  for (int y = 0; y < kRows; ++y) {
    for (int a = 0; a < kWidth; ++a) {
      ASSERT_EQ(ours[y * kWidth + a], PixelAt(system, a, y)) << "alpha " << a << ", row " << y;
    }
  }
  // Clear pixels leave the background, solid ones replace it.
  EXPECT_EQ(ours[0], backgrounds[0]);
  EXPECT_EQ(ours[255], source[255]);
}

// Every source alpha over every value of every destination channel, each
// channel rounded on its own: (s + d * (255 - alpha) / 255), rounded half up.
TEST(GdiBitmapTest, BlendPixelsOverRoundsEachChannelOnItsOwn) {
  std::vector<DWORD> source, ours, expected;
  for (DWORD alpha = 1; alpha < 255; ++alpha) {
    for (DWORD v = 0; v < 256; ++v) {
      const DWORD d[4] = {v, 255 - v, v ^ 0x5A, (v * 7) & 0xFF};
      const DWORD s[4] = {alpha, alpha / 2, alpha / 3, (alpha * v) / 255};  // a, r, g, b
      DWORD src = 0, dst = 0, want = 0;
      for (int c = 0; c < 4; ++c) {
        const int shift = 24 - 8 * c;
        src |= s[c] << shift;
        dst |= d[c] << shift;
        want |= (s[c] + (d[c] * (255 - alpha) + 127) / 255) << shift;
      }
      source.push_back(src);
      ours.push_back(dst);
      expected.push_back(want);
    }
  }
  BlendPixelsOver(ours.data(), 256, source.data(), 256, 256, static_cast<int>(ours.size() / 256));
  for (size_t i = 0; i < ours.size(); ++i) {
    ASSERT_EQ(ours[i], expected[i]) << "source " << std::hex << source[i];
  }
}

// Strides let a piece of one bitmap blend into a piece of another.
TEST(GdiBitmapTest, BlendPixelsOverKeepsToItsRectangle) {
  std::vector<DWORD> dst(6 * 4, 0xFF112233);
  const std::vector<DWORD> src(5 * 3, 0xFFAABBCC);
  BlendPixelsOver(dst.data() + 1 * 6 + 2, 6, src.data() + 5 + 1, 5, 3, 2);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 6; ++x) {
      const bool inside = x >= 2 && x < 5 && y >= 1 && y < 3;
      EXPECT_EQ(dst[y * 6 + x], inside ? 0xFFAABBCCu : 0xFF112233u) << x << "," << y;
    }
  }
}

}  // namespace
}  // namespace ui
