#include "ui/render/render_context_gdiplus.h"

#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "base/check.h"
#include "tests/ui/render/pixels.h"
#include "ui/render/display_scale.h"
#include "ui/render/gdi_clip.h"
#include "ui/render/render_factory_gdiplus.h"

namespace ui {
namespace {

using testing::AlphaOf;
using testing::BlueOf;
using testing::CountPixels;
using testing::Font;
using testing::GreenOf;
using testing::MakeWhite;
using testing::PaintBitmap;
using testing::PixelAt;
using testing::RedOf;

constexpr DWORD kRed = 0xFFFF0000;
constexpr DWORD kGreen = 0xFF00FF00;
constexpr DWORD kBlue = 0xFF0000FF;
constexpr DWORD kWhite = 0xFFFFFFFF;

// StretchBlt keeps colours but not alpha; the window host makes its frame
// opaque again after painting.
DWORD Rgb(DWORD pixel) { return pixel & 0xFFFFFF; }

bool IsInk(DWORD pixel) { return RedOf(pixel) < 128; }

// The first and last rows that hold ink in |rc|; -1 when there is none.
std::pair<int, int> InkRows(const IRenderContext& context, const RECT& rc) {
  int first = -1, last = -1;
  for (int y = rc.top; y < rc.bottom; ++y) {
    for (int x = rc.left; x < rc.right; ++x) {
      if (IsInk(PixelAt(context, x, y))) {
        if (first < 0) first = y;
        last = y;
        break;
      }
    }
  }
  return {first, last};
}

TEST(RenderContextTest, ResizeRecreatesOnlyOnASizeChange) {
  RenderContext_GdiPlus context;
  EXPECT_FALSE(context.Resize(0, 0));  // no pixels yet, and none asked for
  EXPECT_TRUE(context.Resize(30, 20));
  context.FillPixels(RECT{0, 0, 30, 20}, 0x55);
  EXPECT_FALSE(context.Resize(30, 20));
  EXPECT_EQ(PixelAt(context, 29, 19), 0x55555555u);  // kept
  EXPECT_TRUE(context.Resize(31, 20));
  EXPECT_EQ(context.GetWidth(), 31);
  context.Clear();
  EXPECT_EQ(CountPixels(context, RECT{0, 0, 31, 20}, [](DWORD p) { return p == 0; }), 620);
}

#ifndef NDEBUG
int g_check_failures = 0;

TEST(RenderContextTest, UseFromAnotherThreadIsReportedInDebugBuilds) {
  RenderContext_GdiPlus context;
  context.Resize(4, 4);
  g_check_failures = 0;
  cbase::CheckFailureHandler old =
      cbase::SetCheckFailureHandler([](const char*, const char*, int) { ++g_check_failures; });
  std::thread([&] { context.FillPixels(RECT{0, 0, 4, 4}, 1); }).join();
  cbase::SetCheckFailureHandler(old);
  // The context and the bitmap under it each tell.
  EXPECT_EQ(g_check_failures, 2);
}

TEST(RenderContextTest, EveryDrawingObjectReportsUseFromAnotherThread) {
  RenderFactory_GdiPlus factory;
  std::unique_ptr<IPen> pen = factory.CreatePen(0xFF000000, 1);
  std::unique_ptr<IPath> path = factory.CreatePath();
  std::unique_ptr<IMatrix> matrix = factory.CreateMatrix();
  GdiClip clip;
  std::unique_ptr<IBitmap> bitmap = factory.CreateBitmap();
  HDC screen = ::GetDC(nullptr);
  const std::vector<std::pair<const char*, std::function<void()>>> uses = {
      {"pen", [&] { pen->SetWidth(2); }},
      {"path", [&] { path->AddLine(0, 0, 4, 4); }},
      {"matrix", [&] { matrix->Translate(1, 1); }},
      {"clip", [&] { clip.ClearClip(screen); }},
      {"bitmap", [&] { bitmap->Init(screen, 4, 4, true); }},
  };
  for (const auto& use : uses) {
    g_check_failures = 0;
    cbase::CheckFailureHandler old =
        cbase::SetCheckFailureHandler([](const char*, const char*, int) { ++g_check_failures; });
    std::thread(use.second).join();
    cbase::SetCheckFailureHandler(old);
    EXPECT_EQ(g_check_failures, 1) << use.first;
    use.second();  // and not from its own thread
    EXPECT_EQ(g_check_failures, 1) << use.first;
  }
  ::ReleaseDC(nullptr, screen);
}
#endif

TEST(RenderContextTest, CloneCopiesThePixelsAndDetachEmptiesTheContext) {
  RenderContext_GdiPlus context;
  MakeWhite(context, 16, 8);
  context.FillPixels(RECT{4, 2, 6, 3}, 0x33);
  std::unique_ptr<IRenderContext> copy = context.Clone();
  ASSERT_EQ(copy->GetWidth(), 16);
  ASSERT_EQ(copy->GetHeight(), 8);
  EXPECT_EQ(PixelAt(*copy, 5, 2), 0x33333333u);
  EXPECT_EQ(PixelAt(*copy, 0, 0), kWhite);

  HBITMAP detached = context.DetachBitmap();
  ASSERT_NE(detached, nullptr);
  EXPECT_EQ(context.GetBits(), nullptr);
  EXPECT_EQ(context.GetWidth(), 0);
  ::DeleteObject(detached);
  // A detached context takes a new bitmap again.
  EXPECT_TRUE(context.Resize(16, 8));
}

TEST(RenderContextTest, FadedColourFills) {
  RenderContext_GdiPlus context;
  MakeWhite(context, 40, 10);
  context.DrawColor(RECT{0, 0, 10, 10}, kRed, 128);         // alpha 255 at fade 128: 128
  context.DrawColor(RECT{10, 0, 20, 10}, 0xC8FF0000, 100);  // alpha 200 at fade 100: 78
  context.DrawColor(RECT{20, 0, 30, 10}, 0x800000FF);       // fade 255 keeps alpha 128
  // Over white, alpha a leaves 255 - a in the channels the colour lacks.
  EXPECT_EQ(PixelAt(context, 5, 5), 0xFFFF7F7Fu);
  EXPECT_EQ(PixelAt(context, 15, 5), 0xFFFFB1B1u);  // 255 - 78 = 177
  EXPECT_EQ(PixelAt(context, 25, 5), 0xFF7F7FFFu);
  EXPECT_EQ(PixelAt(context, 35, 5), kWhite);

  // Onto transparent pixels the colour lands with the faded alpha.
  context.Clear();
  context.DrawColor(RECT{0, 0, 10, 10}, kRed, 128);
  EXPECT_EQ(AlphaOf(PixelAt(context, 5, 5)), 128);
  EXPECT_EQ(FadeColor(0xC8123456, 100), 0x4E123456u);
  EXPECT_EQ(FadeColor(0xC8123456, 255), 0xC8123456u);
}

TEST(RenderContextTest, NestedAutoClipsRestoreTheOuterClip) {
  RenderContext_GdiPlus context;
  MakeWhite(context, 40, 40);
  {
    AutoClip outer(&context, RECT{0, 0, 20, 20});
    {
      AutoClip inner(&context, RECT{10, 10, 30, 30});
      context.DrawColor(RECT{0, 0, 40, 40}, kRed);
    }
    context.DrawColor(RECT{0, 0, 40, 40}, kGreen);
    {
      AutoClip disabled(&context, RECT{0, 0, 1, 1}, false);
      context.DrawColor(RECT{0, 0, 40, 40}, kBlue);
    }
  }
  // The inner scope met the outer clip in (10,10)-(20,20); every later fill
  // covered the outer clip only.
  EXPECT_EQ(PixelAt(context, 15, 15), kBlue);
  EXPECT_EQ(PixelAt(context, 5, 5), kBlue);
  EXPECT_EQ(PixelAt(context, 25, 25), kWhite);
  EXPECT_EQ(PixelAt(context, 25, 5), kWhite);

  context.DrawColor(RECT{0, 0, 40, 40}, kGreen);  // all clips gone
  EXPECT_EQ(PixelAt(context, 39, 39), kGreen);
}

TEST(RenderContextTest, ClipsFollowTheOriginAndRoundClipsCutTheCorners) {
  RenderContext_GdiPlus context;
  MakeWhite(context, 40, 40);
  EXPECT_EQ(context.SetOrigin(-10, -10).x, 0);  // logical (0,0) is device (10,10)
  {
    AutoClip clip(&context, RECT{0, 0, 20, 20}, 10, 10);
    context.DrawColor(RECT{-10, -10, 30, 30}, kRed);
  }
  context.SetOrigin(0, 0);
  EXPECT_EQ(PixelAt(context, 20, 20), kRed);
  EXPECT_EQ(PixelAt(context, 10, 20), kRed);    // left edge, halfway down
  EXPECT_EQ(PixelAt(context, 10, 10), kWhite);  // rounded corner
  EXPECT_EQ(PixelAt(context, 9, 20), kWhite);
  EXPECT_EQ(PixelAt(context, 31, 20), kWhite);
}

TEST(RenderContextTest, OriginMovesAndRestoreUndoesIt) {
  RenderContext_GdiPlus context;
  MakeWhite(context, 20, 20);
  context.Save();
  POINT old = context.OffsetOrigin(-3, -4);
  EXPECT_EQ(old.x, 0);
  old = context.OffsetOrigin(-2, 0);
  EXPECT_EQ(old.x, -3);
  EXPECT_EQ(old.y, -4);
  EXPECT_EQ(context.GetOrigin().x, -5);
  context.DrawColor(RECT{0, 0, 1, 1}, kRed);
  EXPECT_EQ(PixelAt(context, 5, 4), kRed);
  context.Restore();
  EXPECT_EQ(context.GetOrigin().x, 0);
  EXPECT_EQ(context.GetOrigin().y, 0);
}

TEST(RenderContextTest, BlitsBetweenContexts) {
  RenderContext_GdiPlus source;
  ASSERT_TRUE(source.Resize(10, 10));
  source.Clear();
  source.FillPixels(RECT{0, 0, 5, 10}, 255);         // left half opaque white
  source.DrawColor(RECT{5, 0, 10, 10}, 0x80FF0000);  // right half half-transparent red

  RenderContext_GdiPlus target;
  ASSERT_TRUE(target.Resize(30, 10));
  target.FillPixels(RECT{0, 0, 30, 10}, 0);
  target.DrawColor(RECT{0, 0, 30, 10}, kBlue);
  EXPECT_TRUE(target.BitBlt(0, 0, 10, 10, &source, 0, 0));
  EXPECT_EQ(PixelAt(target, 2, 2), kWhite);
  EXPECT_EQ(PixelAt(target, 7, 2), 0x80800000u);  // copied as is

  EXPECT_TRUE(target.AlphaBlend(10, 0, 10, 10, &source, 0, 0, 10, 10, 255));
  EXPECT_EQ(PixelAt(target, 12, 2), kWhite);
  EXPECT_EQ(PixelAt(target, 17, 2), 0xFF80007Fu);  // red over blue, half each

  EXPECT_TRUE(target.AlphaBlend(20, 0, 10, 10, &source, 0, 0, 10, 10, 0));
  EXPECT_EQ(PixelAt(target, 22, 2), kBlue);  // constant alpha 0 draws nothing
  EXPECT_FALSE(target.BitBlt(0, 0, 10, 10, nullptr, 0, 0));
  EXPECT_FALSE(target.SetAlphaBlit(true));
  EXPECT_TRUE(target.IsAlphaBlit());
}

// A premultiplied pixel that may be clear, solid or anything between.
DWORD MixedPixel(unsigned seed) {
  seed = seed * 2654435761u + 12345u;
  const DWORD alpha = (seed >> 7) % 3 == 0 ? 0 : ((seed >> 9) % 3 == 0 ? 255 : (seed >> 11) & 0xFF);
  auto channel = [&](int shift) {
    return alpha == 0 ? 0u : ((seed >> shift) & 0xFF) % (alpha + 1);
  };
  return (alpha << 24) | (channel(3) << 16) | (channel(13) << 8) | channel(21);
}

void FillMixed(IRenderContext& context, unsigned seed) {
  auto* bits = reinterpret_cast<DWORD*>(context.GetBits());
  for (int i = 0; i < context.GetWidth() * context.GetHeight(); ++i) bits[i] = MixedPixel(seed + i);
}

// A blend of the context's own kind is written straight into the bits; it
// must leave the pixels the system's AlphaBlend leaves, through a clip and a
// moved origin, and touch nothing else.
TEST(RenderContextTest, DirectBlendsLeaveTheSystemsPixels) {
  RenderContext_GdiPlus source;
  ASSERT_TRUE(source.Resize(23, 17));
  FillMixed(source, 7);
  RenderContext_GdiPlus ours;
  RenderContext_GdiPlus system;
  for (RenderContext_GdiPlus* target : {&ours, &system}) {
    ASSERT_TRUE(target->Resize(40, 30));
    FillMixed(*target, 1000);
    target->OffsetOrigin(-3, -2);  // logical (0,0) is at device (3,2)
    target->SetClip(RECT{6, 5, 20, 40});
  }
  const RECT clip_in_device = {9, 7, 23, 30};
  // The direct path itself, not the system's blend behind it.
  EXPECT_TRUE(ours.BlendDirect(reinterpret_cast<const DWORD*>(source.GetBits()), 23, 17,
                               POINT{2, 1}, RECT{4, 1, 24, 16}));
  const BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  ASSERT_TRUE(::AlphaBlend(system.DeviceContext(), 4, 1, 20, 15, source.DeviceContext(), 2, 1, 20,
                           15, blend));
  ::GdiFlush();
  int changed = 0;
  for (int y = 0; y < 30; ++y) {
    for (int x = 0; x < 40; ++x) {
      ASSERT_EQ(PixelAt(ours, x, y), PixelAt(system, x, y)) << "at " << x << "," << y;
      const POINT p = {x, y};
      const bool inside = ::PtInRect(&clip_in_device, p) && x >= 7 && x < 27 && y >= 3 && y < 18;
      if (PixelAt(ours, x, y) != MixedPixel(1000 + y * 40 + x)) {
        EXPECT_TRUE(inside) << "drawn outside at " << x << "," << y;
        ++changed;
      }
    }
  }
  EXPECT_GT(changed, 100);

  // Blending between contexts takes the same path; a source reaching past
  // its pixels does not.
  FillMixed(ours, 1000);
  EXPECT_TRUE(ours.AlphaBlend(4, 1, 20, 15, &source, 2, 1, 20, 15, 255));
  for (int y = 0; y < 30; ++y) {
    for (int x = 0; x < 40; ++x) ASSERT_EQ(PixelAt(ours, x, y), PixelAt(system, x, y));
  }
  EXPECT_FALSE(ours.BlendDirect(reinterpret_cast<const DWORD*>(source.GetBits()), 23, 17,
                                POINT{4, 3}, RECT{4, 1, 24, 16}));
}

// The nine zones of a 12 x 12 image with 4-pixel corners, each its own colour.
DWORD ZoneColour(int x, int y) {
  static const DWORD kZones[3][3] = {{0xFF000001, 0xFF000002, 0xFF000003},
                                     {0xFF000004, 0xFF000005, 0xFF000006},
                                     {0xFF000007, 0xFF000008, 0xFF000009}};
  return kZones[y < 4 ? 0 : (y < 8 ? 1 : 2)][x < 4 ? 0 : (x < 8 ? 1 : 2)];
}

TEST(DrawImageTest, NineGridKeepsCornersAndStretchesTheRest) {
  GdiBitmap image;
  PaintBitmap(image, 12, 12, ZoneColour);
  RenderContext_GdiPlus context;
  ASSERT_TRUE(context.Resize(100, 100));
  context.Clear();
  const RECT dest = {10, 20, 60, 90};
  context.DrawImage(RECT{0, 0, 100, 100}, image.GetBitmap(), false, dest, RECT{0, 0, 12, 12},
                    RECT{4, 4, 4, 4}, RECT{4, 4, 4, 4});

  // Corners keep 4 pixels and are blended at their natural size; edges and
  // centre are stretched over the rest.
  EXPECT_EQ(PixelAt(context, 10, 20), 0xFF000001u);
  EXPECT_EQ(PixelAt(context, 13, 23), 0xFF000001u);
  EXPECT_EQ(Rgb(PixelAt(context, 14, 20)), 2u);
  EXPECT_EQ(Rgb(PixelAt(context, 55, 20)), 2u);
  EXPECT_EQ(PixelAt(context, 56, 23), 0xFF000003u);
  EXPECT_EQ(Rgb(PixelAt(context, 10, 50)), 4u);
  EXPECT_EQ(Rgb(PixelAt(context, 35, 50)), 5u);
  EXPECT_EQ(Rgb(PixelAt(context, 59, 24)), 6u);
  EXPECT_EQ(PixelAt(context, 13, 86), 0xFF000007u);
  EXPECT_EQ(Rgb(PixelAt(context, 14, 89)), 8u);
  EXPECT_EQ(PixelAt(context, 59, 89), 0xFF000009u);
  // Nothing outside the destination.
  EXPECT_EQ(PixelAt(context, 9, 50), 0u);
  EXPECT_EQ(PixelAt(context, 60, 50), 0u);
  EXPECT_EQ(PixelAt(context, 35, 19), 0u);
  EXPECT_EQ(PixelAt(context, 35, 90), 0u);
}

TEST(DrawImageTest, SourceCornersStretchToTheDestinationCorners) {
  GdiBitmap image;
  PaintBitmap(image, 12, 12, ZoneColour);
  RenderContext_GdiPlus context;
  ASSERT_TRUE(context.Resize(100, 100));
  context.Clear();
  context.DrawImage(RECT{0, 0, 100, 100}, image.GetBitmap(), false, RECT{0, 0, 40, 40},
                    RECT{0, 0, 12, 12}, RECT{4, 4, 4, 4}, RECT{8, 8, 8, 8});
  // 4 image pixels of corner cover 8 pixels of the context.
  EXPECT_EQ(Rgb(PixelAt(context, 7, 7)), 1u);
  EXPECT_EQ(Rgb(PixelAt(context, 8, 8)), 5u);
  EXPECT_EQ(Rgb(PixelAt(context, 32, 32)), 9u);
  EXPECT_EQ(Rgb(PixelAt(context, 31, 31)), 5u);
}

TEST(DrawImageTest, TopAndBottomCornersOnlyDrawCentreAndTheTwoEdges) {
  // Rows: 8 red, 8 green, 8 blue; the left half of every row is darker, so a
  // piece taken from the wrong columns shows.
  GdiBitmap image;
  PaintBitmap(image, 10, 24, [](int x, int y) {
    const DWORD colour = y < 8 ? kRed : (y < 16 ? kGreen : kBlue);
    return x < 5 ? (colour & 0xFF7F7F7F) : colour;
  });
  RenderContext_GdiPlus context;
  ASSERT_TRUE(context.Resize(100, 100));
  context.Clear();
  const RECT dest = {10, 10, 90, 90};
  context.DrawImage(RECT{0, 0, 100, 100}, image.GetBitmap(), false, dest, RECT{0, 0, 10, 24},
                    RECT{0, 8, 0, 8}, RECT{0, 8, 0, 8});

  EXPECT_EQ(CountPixels(context, RECT{10, 10, 90, 18}, [](DWORD p) { return RedOf(p) >= 127; }),
            80 * 8);
  EXPECT_EQ(CountPixels(context, RECT{10, 18, 90, 82}, [](DWORD p) { return GreenOf(p) >= 127; }),
            80 * 64);
  EXPECT_EQ(CountPixels(context, RECT{10, 82, 90, 90}, [](DWORD p) { return BlueOf(p) >= 127; }),
            80 * 8);
  // The edges are stretched along their length only: dark left half, bright
  // right half, in every band.
  EXPECT_EQ(Rgb(PixelAt(context, 12, 12)), 0x7F0000u);
  EXPECT_EQ(Rgb(PixelAt(context, 88, 12)), 0xFF0000u);
  EXPECT_EQ(Rgb(PixelAt(context, 12, 86)), 0x00007Fu);
  EXPECT_EQ(Rgb(PixelAt(context, 88, 86)), 0x0000FFu);
  EXPECT_EQ(CountPixels(context, RECT{0, 0, 100, 100}, [](DWORD p) { return Rgb(p) == 0; }),
            100 * 100 - 80 * 80);
}

TEST(DrawImageTest, PiecesOutsideThePaintRectAreSkipped) {
  GdiBitmap image;
  PaintBitmap(image, 12, 12, ZoneColour);
  RenderContext_GdiPlus context;
  ASSERT_TRUE(context.Resize(100, 100));
  context.Clear();
  // The paint rect meets the top row of pieces only, but each is drawn whole.
  context.DrawImage(RECT{0, 0, 100, 12}, image.GetBitmap(), false, RECT{10, 10, 60, 90},
                    RECT{0, 0, 12, 12}, RECT{4, 4, 4, 4}, RECT{4, 4, 4, 4});
  EXPECT_EQ(PixelAt(context, 10, 13), 0xFF000001u);
  EXPECT_EQ(Rgb(PixelAt(context, 30, 13)), 2u);
  EXPECT_EQ(PixelAt(context, 59, 13), 0xFF000003u);
  EXPECT_EQ(PixelAt(context, 30, 14), 0u);  // centre
  EXPECT_EQ(PixelAt(context, 10, 50), 0u);  // left edge
  EXPECT_EQ(PixelAt(context, 30, 89), 0u);  // bottom edge

  // A destination that misses the paint rect draws nothing at all.
  context.Clear();
  context.DrawImage(RECT{0, 0, 5, 5}, image.GetBitmap(), false, RECT{10, 10, 60, 90},
                    RECT{0, 0, 12, 12}, RECT{4, 4, 4, 4}, RECT{4, 4, 4, 4});
  EXPECT_EQ(CountPixels(context, RECT{0, 0, 100, 100}, [](DWORD p) { return p == 0; }), 10000);
}

TEST(DrawImageTest, TilesRepeatFromTheTopLeftAndCutTheLastOne) {
  // 12 x 12: left six columns red, right six blue; top six rows full alpha,
  // the rest dark.
  GdiBitmap image;
  PaintBitmap(image, 12, 12, [](int x, int y) {
    const DWORD colour = x < 6 ? kRed : kBlue;
    return y < 6 ? colour : (colour & 0xFF7F7F7F);
  });
  RenderContext_GdiPlus context;
  ASSERT_TRUE(context.Resize(100, 100));
  context.Clear();
  // Both directions: 30 x 30 holds 2.5 x 2.5 tiles.
  context.DrawImage(RECT{0, 0, 100, 100}, image.GetBitmap(), false, RECT{0, 0, 30, 30},
                    RECT{0, 0, 12, 12}, RECT{}, RECT{}, 255, true, true);
  for (int y : {0, 12, 24}) {
    for (int x : {0, 12, 24}) {
      EXPECT_EQ(PixelAt(context, x, y), kRed) << x << "," << y;
      EXPECT_EQ(PixelAt(context, x + 5, y + 5), kRed);
      if (x < 24) {
        EXPECT_EQ(PixelAt(context, x + 6, y), kBlue) << x << "," << y;
      }
      if (y < 24) {
        EXPECT_EQ(PixelAt(context, x, y + 6), 0xFF7F0000u) << x << "," << y;
      }
    }
  }
  EXPECT_EQ(PixelAt(context, 30, 0), 0u);  // the cut tiles stop at the edge
  EXPECT_EQ(PixelAt(context, 0, 30), 0u);

  // Across only: columns of 12 stretched to the full height (2x here).
  context.Clear();
  context.DrawImage(RECT{0, 0, 100, 100}, image.GetBitmap(), false, RECT{0, 40, 30, 64},
                    RECT{0, 0, 12, 12}, RECT{}, RECT{}, 255, true, false);
  EXPECT_EQ(Rgb(PixelAt(context, 12, 40)), 0xFF0000u);
  EXPECT_EQ(Rgb(PixelAt(context, 18, 50)), 0x0000FFu);
  EXPECT_EQ(Rgb(PixelAt(context, 24, 63)), 0x7F0000u);
  EXPECT_EQ(Rgb(PixelAt(context, 29, 40)), 0xFF0000u);  // cut column: source columns 0..5
  EXPECT_EQ(PixelAt(context, 30, 50), 0u);

  // Down only: rows of 12 stretched across (30 / 12).
  context.Clear();
  context.DrawImage(RECT{0, 0, 100, 100}, image.GetBitmap(), false, RECT{0, 0, 30, 30},
                    RECT{0, 0, 12, 12}, RECT{}, RECT{}, 255, false, true);
  EXPECT_EQ(Rgb(PixelAt(context, 0, 12)), 0xFF0000u);
  EXPECT_EQ(Rgb(PixelAt(context, 29, 12)), 0x0000FFu);
  EXPECT_EQ(Rgb(PixelAt(context, 29, 18)), 0x00007Fu);
  EXPECT_EQ(Rgb(PixelAt(context, 29, 29)), 0x0000FFu);  // cut row: source rows 0..5
  EXPECT_EQ(PixelAt(context, 0, 30), 0u);
}

TEST(DrawImageTest, OpaquePiecesAreCopiedAndEverythingElseBlended) {
  // Transparent black, though said to be opaque: a blend leaves the white
  // background, a copy of the colour makes it black.
  GdiBitmap image;
  PaintBitmap(image, 4, 4, [](int, int) { return 0u; });
  RenderContext_GdiPlus context;
  MakeWhite(context, 40, 10);
  const RECT paint = {0, 0, 40, 10};
  const RECT source = {0, 0, 4, 4};
  const RECT none = {};
  context.DrawImage(paint, image.GetBitmap(), false, RECT{0, 0, 8, 8}, source, none,
                    none);  // scaled
  context.DrawImage(paint, image.GetBitmap(), false, RECT{10, 0, 14, 4}, source, none,
                    none);  // 1:1
  context.DrawImage(paint, image.GetBitmap(), true, RECT{20, 0, 28, 8}, source, none, none);
  context.DrawImage(paint, image.GetBitmap(), false, RECT{30, 0, 38, 8}, source, none, none, 254);
  EXPECT_EQ(Rgb(PixelAt(context, 4, 4)), 0u);
  EXPECT_EQ(Rgb(PixelAt(context, 12, 2)), 0u);
  EXPECT_EQ(PixelAt(context, 24, 4), kWhite);
  EXPECT_EQ(PixelAt(context, 34, 4), kWhite);

  // With the alpha-blit flag (a window without drawn shadow) everything blends.
  context.SetAlphaBlit(true);
  context.DrawImage(paint, image.GetBitmap(), false, RECT{0, 0, 8, 8}, source, none, none);
  context.FillPixels(RECT{0, 0, 8, 8}, 255);
  context.DrawImage(paint, image.GetBitmap(), false, RECT{0, 0, 8, 8}, source, none, none);
  EXPECT_EQ(PixelAt(context, 4, 4), kWhite);
}

TEST(DrawImageTest, FadeAppliesToImages) {
  GdiBitmap image;
  PaintBitmap(image, 4, 4, [](int, int) { return kRed; });
  RenderContext_GdiPlus context;
  MakeWhite(context, 10, 10);
  context.DrawImage(RECT{0, 0, 10, 10}, image.GetBitmap(), false, RECT{0, 0, 8, 8},
                    RECT{0, 0, 4, 4}, RECT{}, RECT{}, 128);
  const DWORD pixel = PixelAt(context, 4, 4);
  EXPECT_EQ(RedOf(pixel), 255);
  EXPECT_NEAR(GreenOf(pixel), 127, 1);
  // No bitmap: nothing.
  context.DrawImage(RECT{0, 0, 10, 10}, nullptr, false, RECT{0, 0, 8, 8}, RECT{0, 0, 4, 4}, RECT{},
                    RECT{});
  EXPECT_EQ(PixelAt(context, 9, 9), kWhite);
}

TEST(DrawTextTest, OpaqueBlackTextIsDrawnWithAlpha254) {
  RenderContext_GdiPlus context;
  MakeWhite(context, 120, 40);
  Font font(L"DejaVu Sans", 28);
  context.DrawText(RECT{0, 0, 120, 40}, L"\x2588\x2588", 0xFF000000, font.get(), DT_SINGLELINE);
  // Full coverage of black at alpha 254 over white leaves 1 in every channel.
  const RECT all = {0, 0, 120, 40};
  EXPECT_GT(CountPixels(context, all, [](DWORD p) { return p == 0xFF010101u; }), 100);
  EXPECT_EQ(CountPixels(context, all, [](DWORD p) { return (p & 0xFFFFFF) == 0; }), 0);

  // Fade multiplies the alpha of the text colour.
  MakeWhite(context, 120, 40);
  context.DrawText(all, L"\x2588\x2588", 0xFF000000, font.get(), DT_SINGLELINE, 128);
  int darkest = 255;
  CountPixels(context, all, [&](DWORD p) {
    darkest = std::min<int>(darkest, RedOf(p));
    return false;
  });
  EXPECT_EQ(darkest, 127);

  // Empty text draws nothing.
  MakeWhite(context, 120, 40);
  context.DrawText(all, L"", 0xFF000000, font.get(), 0);
  EXPECT_EQ(CountPixels(context, all, [](DWORD p) { return p != kWhite; }), 0);
}

TEST(DrawTextTest, AlignmentAndWrapping) {
  RenderContext_GdiPlus context;
  Font font(L"DejaVu Sans", 14);
  const RECT box = {0, 0, 200, 60};
  const RECT left_half = {0, 0, 100, 60};
  const RECT right_half = {100, 0, 200, 60};

  MakeWhite(context, 200, 60);
  context.DrawText(box, L"Go", 0xFF000000, font.get(), DT_SINGLELINE);
  EXPECT_GT(CountPixels(context, left_half, IsInk), 0);
  EXPECT_EQ(CountPixels(context, right_half, IsInk), 0);
  EXPECT_LT(InkRows(context, box).second, 20);  // top

  MakeWhite(context, 200, 60);
  context.DrawText(box, L"Go", 0xFF000000, font.get(), DT_SINGLELINE | DT_RIGHT | DT_BOTTOM);
  EXPECT_EQ(CountPixels(context, left_half, IsInk), 0);
  EXPECT_GT(CountPixels(context, right_half, IsInk), 0);
  EXPECT_GT(InkRows(context, box).first, 40);  // bottom

  MakeWhite(context, 200, 60);
  context.DrawText(box, L"Go", 0xFF000000, font.get(), DT_SINGLELINE | DT_CENTER | DT_VCENTER);
  EXPECT_EQ(CountPixels(context, RECT{0, 0, 80, 60}, IsInk), 0);
  EXPECT_EQ(CountPixels(context, RECT{120, 0, 200, 60}, IsInk), 0);
  const std::pair<int, int> rows = InkRows(context, box);
  EXPECT_GT(rows.first, 15);
  EXPECT_LT(rows.second, 45);

  // A long text wraps onto a second line unless it is single-line.
  const std::wstring words = L"one two three four five six seven";
  MakeWhite(context, 200, 60);
  context.DrawText(RECT{0, 0, 100, 60}, words, 0xFF000000, font.get(), 0);
  EXPECT_GT(CountPixels(context, RECT{0, 25, 100, 60}, IsInk), 0);
  MakeWhite(context, 200, 60);
  context.DrawText(RECT{0, 0, 100, 60}, words, 0xFF000000, font.get(), DT_SINGLELINE);
  EXPECT_EQ(CountPixels(context, RECT{0, 25, 200, 60}, IsInk), 0);
  EXPECT_EQ(CountPixels(context, RECT{100, 0, 200, 60}, IsInk), 0);  // clipped to the box
}

TEST(DrawTextTest, LineLimitShowsOnlyWholeLines) {
  // Wine's GDI+ ignores ellipsis trimming and the no-clip flag, so only the
  // line limit can be checked by its pixels here.
  RenderContext_GdiPlus context;
  Font font(L"DejaVu Sans", 14);
  const std::wstring words = L"one two three four five six seven";
  const RECT box = {0, 0, 100, 25};  // one and a half lines
  MakeWhite(context, 100, 40);
  context.DrawText(box, words, 0xFF000000, font.get(), 0, 255, false);
  EXPECT_GT(CountPixels(context, RECT{0, 18, 100, 25}, IsInk), 0);
  MakeWhite(context, 100, 40);
  context.DrawText(box, words, 0xFF000000, font.get(), 0, 255, true);
  EXPECT_GT(CountPixels(context, box, IsInk), 0);
  EXPECT_EQ(CountPixels(context, RECT{0, 18, 100, 40}, IsInk), 0);
}

TEST(DrawTextTest, ChineseFaceNamesReachTheFontMapper) {
  // The skins ask for Microsoft YaHei; this machine maps that face to
  // WenQuanYi Micro Hei. Only a font made from the wide logical font keeps
  // the face name, so both must draw the same pixels.
  RenderContext_GdiPlus context;
  const RECT box = {0, 0, 120, 40};
  const std::wstring text = L"\x6D4B\x8BD5 Ag";
  Font yahei(L"\x5FAE\x8F6F\x96C5\x9ED1", 20);
  Font wenquanyi(L"WenQuanYi Micro Hei", 20);

  MakeWhite(context, 120, 40);
  context.DrawText(box, text, 0xFF000000, wenquanyi.get(), DT_SINGLELINE);
  std::unique_ptr<IRenderContext> expected = context.Clone();
  ASSERT_GT(CountPixels(*expected, box, IsInk), 20);

  MakeWhite(context, 120, 40);
  context.DrawText(box, text, 0xFF000000, yahei.get(), DT_SINGLELINE);
  EXPECT_EQ(CountPixels(context, box, [&](DWORD) { return true; }), 120 * 40);
  int differing = 0;
  for (int y = 0; y < 40; ++y) {
    for (int x = 0; x < 120; ++x) differing += PixelAt(context, x, y) != PixelAt(*expected, x, y);
  }
  EXPECT_EQ(differing, 0);
}

TEST(DrawTextTest, WithoutAFontTheSelectedFontIsUsed) {
  RenderContext_GdiPlus context;
  const RECT box = {0, 0, 120, 40};
  Font big(L"DejaVu Sans", 26);
  MakeWhite(context, 120, 40);
  context.DrawText(box, L"Ag", 0xFF000000, big.get(), DT_SINGLELINE);
  std::unique_ptr<IRenderContext> expected = context.Clone();

  HGDIOBJ old = ::SelectObject(context.DeviceContext(), big.get());
  MakeWhite(context, 120, 40);
  context.DrawText(box, L"Ag", 0xFF000000, nullptr, DT_SINGLELINE);
  ::SelectObject(context.DeviceContext(), old);
  int differing = 0;
  for (int y = 0; y < 40; ++y) {
    for (int x = 0; x < 120; ++x) differing += PixelAt(context, x, y) != PixelAt(*expected, x, y);
  }
  EXPECT_EQ(differing, 0);
  EXPECT_GT(CountPixels(context, box, IsInk), 50);
}

TEST(DrawTextTest, NSimSunMovesDownOnePixelWhenCentredVertically) {
  // Both faces map to the same font here; only the name differs.
  Font nsimsun(L"\x65B0\x5B8B\x4F53", 14);
  Font simsun(L"\x5B8B\x4F53", 14);
  RenderContext_GdiPlus context;
  const RECT box = {0, 0, 100, 40};
  auto ink_rows = [&](HFONT font, UINT format, const RECT& rc) {
    MakeWhite(context, 100, 40);
    context.DrawText(rc, L"\x6D4B\x8BD5", 0xFF000000, font, format);
    return InkRows(context, box);
  };
  const UINT centred = DT_SINGLELINE | DT_VCENTER;
  const std::pair<int, int> moved = ink_rows(nsimsun.get(), centred, box);
  const std::pair<int, int> plain = ink_rows(simsun.get(), centred, box);
  ASSERT_GE(plain.first, 0);
  EXPECT_EQ(moved.first, plain.first + 1);
  EXPECT_EQ(moved.second, plain.second + 1);
  // Not when the box is too low for the extra pixel, nor without centring.
  const RECT tight = {0, 0, 100, 15};
  EXPECT_EQ(ink_rows(nsimsun.get(), centred, tight), ink_rows(simsun.get(), centred, tight));
  EXPECT_EQ(ink_rows(nsimsun.get(), DT_SINGLELINE, box),
            ink_rows(simsun.get(), DT_SINGLELINE, box));
}

TEST(MeasureTextTest, AddsOnePixelAndUsesTheCjkHeightForSingleLines) {
  RenderContext_GdiPlus context;
  ASSERT_TRUE(context.Resize(10, 10));
  Font font(L"WenQuanYi Micro Hei", 16);
  const RECT free_latin = context.MeasureText(L"abc", font.get(), 0, -1);
  const RECT free_cjk = context.MeasureText(L"\x6D4B\x8BD5", font.get(), 0, -1);
  EXPECT_EQ(free_latin.left, 0);
  EXPECT_EQ(free_latin.top, 0);
  EXPECT_GT(free_latin.right, 10);
  EXPECT_GT(free_latin.bottom, 10);

  // Single line in a width: the height is that of the CJK probe.
  const RECT single = context.MeasureText(L"abc", font.get(), DT_SINGLELINE, 200);
  EXPECT_EQ(single.bottom, free_cjk.bottom);
  EXPECT_EQ(single.right, free_latin.right);

  // A long text in a narrow width wraps to more lines unless single-line.
  const std::wstring words = L"one two three four five six seven";
  const RECT wrapped = context.MeasureText(words, font.get(), 0, 80);
  const RECT one_line = context.MeasureText(words, font.get(), DT_SINGLELINE, 80);
  EXPECT_LE(wrapped.right, 81);
  EXPECT_GT(wrapped.bottom, 2 * (single.bottom - 1));
  EXPECT_EQ(one_line.bottom, single.bottom);
  // Each font has a line height of its own.
  Font larger(L"WenQuanYi Micro Hei", 24);
  const RECT larger_cjk = context.MeasureText(L"\x6D4B\x8BD5", larger.get(), 0, -1);
  EXPECT_GT(larger_cjk.bottom, free_cjk.bottom);
  EXPECT_EQ(context.MeasureText(L"abc", larger.get(), DT_SINGLELINE, 200).bottom,
            larger_cjk.bottom);
}

TEST(ShapesTest, RoundedRectanglesLeaveTheCornersAlone) {
  RenderContext_GdiPlus context;
  MakeWhite(context, 60, 60);
  context.FillRoundRect(RECT{10, 10, 50, 50}, SIZE{16, 16}, kRed);
  EXPECT_EQ(PixelAt(context, 30, 30), kRed);
  EXPECT_EQ(PixelAt(context, 30, 11), kRed);  // top edge between the arcs
  EXPECT_EQ(PixelAt(context, 11, 30), kRed);
  EXPECT_EQ(PixelAt(context, 10, 10), kWhite);  // corners cut
  EXPECT_EQ(PixelAt(context, 49, 49), kWhite);
  EXPECT_EQ(PixelAt(context, 9, 30), kWhite);

  MakeWhite(context, 60, 60);
  context.FillRoundRect(RECT{10, 10, 50, 50}, SIZE{16, 16}, kRed, 128);
  EXPECT_EQ(PixelAt(context, 30, 30), 0xFFFF7F7Fu);

  MakeWhite(context, 60, 60);
  context.DrawRoundRect(RECT{10, 10, 50, 50}, SIZE{16, 16}, 2, kBlue);
  EXPECT_EQ(PixelAt(context, 30, 30), kWhite);  // outline only
  EXPECT_LT(RedOf(PixelAt(context, 30, 10)), 128);
  EXPECT_LT(RedOf(PixelAt(context, 50, 30)), 128);
  EXPECT_EQ(PixelAt(context, 10, 10), kWhite);

  // A pill, corners as high as the shape: nothing but its outline, and its
  // round ends stay round (no side drawn across them).
  MakeWhite(context, 60, 60);
  context.DrawRoundRect(RECT{10, 20, 50, 32}, SIZE{12, 12}, 1, kBlue);
  EXPECT_EQ(PixelAt(context, 30, 26), kWhite);
  for (const POINT corner :
       {POINT{10, 20}, POINT{49, 20}, POINT{10, 31}, POINT{49, 31}, POINT{50, 21}, POINT{50, 30}}) {
    EXPECT_EQ(PixelAt(context, corner.x, corner.y), kWhite) << corner.x << "," << corner.y;
  }
  EXPECT_LT(RedOf(PixelAt(context, 30, 20)), 128);  // the straight sides are there
  EXPECT_LT(RedOf(PixelAt(context, 30, 32)), 128);
}

// Paints with |paint| on a clear top-down bitmap, where large opaque fills
// take their shortcut, and on a bottom-up one, where GDI+ fills alone; the
// number of pixels that differ. |fast| keeps the top-down result.
int DifferencesFromGdiPlusAlone(RenderContext_GdiPlus& fast, int width, int height,
                                const std::function<void(RenderContext_GdiPlus&)>& paint) {
  RenderContext_GdiPlus plain;
  for (const bool top_down : {true, false}) {
    RenderContext_GdiPlus& context = top_down ? fast : plain;
    context.Resize(width, height, top_down);
    context.FillPixels(RECT{0, 0, width, height}, 0);
    paint(context);
  }
  const auto* bottom_up = reinterpret_cast<const DWORD*>(plain.GetBits());
  int differing = 0;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      if (PixelAt(fast, x, y) != bottom_up[(height - 1 - y) * width + x]) ++differing;
    }
  }
  return differing;
}

// A large opaque rounded fill (a window's background) takes a shortcut on a
// top-down bitmap; a bottom-up one is filled by GDI+ alone. Both must give
// the same pixels, under a clip and a moved origin too.
TEST(ShapesTest, LargeOpaqueRoundedFillsMatchGdiPlusExactly) {
  constexpr int kWidth = 240;
  constexpr int kHeight = 180;
  auto paint = [](RenderContext_GdiPlus& context) {
    context.FillRoundRect(RECT{4, 6, 120, 170}, SIZE{3, 3}, kWhite);
    context.FillRoundRect(RECT{4, 6, 120, 170}, SIZE{20, 20}, kRed, 200);  // translucent
    AutoClip clip(&context, RECT{130, 10, 230, 160}, 30, 30);
    const POINT origin = context.OffsetOrigin(-5, 3);
    context.FillRoundRect(RECT{120, 0, 236, 150}, SIZE{12, 8}, kGreen);
    context.SetOrigin(origin.x, origin.y);
  };
  RenderContext_GdiPlus fast;
  EXPECT_EQ(DifferencesFromGdiPlusAlone(fast, kWidth, kHeight, paint), 0);
  // The clip held: nothing green outside it, the middle of the clip filled.
  EXPECT_EQ(PixelAt(fast, 128, 80) & 0xFFFFFF, 0u);
  EXPECT_EQ(PixelAt(fast, 180, 80) & 0xFFFFFF, kGreen & 0xFFFFFF);
  EXPECT_EQ(PixelAt(fast, 180, 165) & 0xFFFFFF, 0u);
}

// A large opaque fill's first drawing, rim band by band, gives GDI+'s pixels
// for round and elliptic corners of odd and even sizes, at odd places and
// under a moved origin. (GDI+ rounds an arc's points by where the arc lies:
// a rim copied out of the same shape drawn small at the origin gave a few
// pixels of elliptic corners otherwise.) The straight sides repeat one row,
// the top band's last or one drawn alone: also where a clip, straight or
// rounded, cuts the sides but not the top, or cuts the top.
TEST(ShapesTest, LargeFillsOfManyCornersMatchGdiPlusExactly) {
  constexpr int kWidth = 300;
  constexpr int kHeight = 300;
  const SIZE corners[] = {{1, 1}, {2, 2}, {5, 5}, {6, 9}, {11, 4}, {16, 16}, {25, 25}, {40, 30}};
  for (const SIZE& corner : corners) {
    SCOPED_TRACE(::testing::Message() << corner.cx << "x" << corner.cy);
    auto paint = [&corner](RenderContext_GdiPlus& context) {
      context.DrawColor(RECT{0, 0, kWidth, kHeight}, 0xFF102030);
      context.FillRoundRect(RECT{3, 5, 151, 121}, corner, kWhite);
      context.FillRoundRect(RECT{160, 7, 297, 96}, corner, 0xFFE0F0E8);
      const POINT origin = context.OffsetOrigin(-7, 11);
      context.FillRoundRect(RECT{20, 120, 250, 201}, corner, kGreen);
      context.SetOrigin(origin.x, origin.y);
      {
        AutoClip straight(&context, RECT{0, 200, 150, 260});
        context.FillRoundRect(RECT{9, 203, 141, 297}, corner, kWhite);
        context.FillRoundRect(RECT{20, 150, 130, 290}, corner, kBlue);
      }
      AutoClip rounded(&context, RECT{150, 150, 300, 280}, 40, 40);
      context.FillRoundRect(RECT{153, 214, 297, 297}, corner, kRed);
      // The window's own background: its clip's corners cut the top band.
      AutoClip window(&context, RECT{160, 220, 290, 296}, 24, 24);
      context.FillRoundRect(RECT{160, 220, 290, 296}, corner, kGreen);
    };
    RenderContext_GdiPlus fast;
    EXPECT_EQ(DifferencesFromGdiPlusAlone(fast, kWidth, kHeight, paint), 0);
    EXPECT_EQ(PixelAt(fast, 77, 60), kWhite);
  }
}

// Rounded fills and outlines drawn again are blended from the pixels kept
// from before, wherever they are drawn: each drawing gives what GDI+ alone
// gives, for opaque and translucent colours, with and without an even
// middle, under a round clip and a moved origin.
TEST(ShapesTest, RoundedShapesDrawnAgainMatchGdiPlusExactly) {
  constexpr int kWidth = 260;
  constexpr int kHeight = 200;
  auto paint = [](RenderContext_GdiPlus& context) {
    context.DrawColor(RECT{0, 0, kWidth, kHeight}, 0xFF202830);
    for (int drawing = 0; drawing < 3; ++drawing) {
      const int dx = drawing * 7, dy = drawing * 5;
      context.FillRoundRect(RECT{4 + dx, 6 + dy, 124 + dx, 96 + dy}, SIZE{12, 12}, kWhite);
      // Translucent, without an even middle.
      context.FillRoundRect(RECT{10 + dx, 100 + dy, 110 + dx, 130 + dy}, SIZE{30, 30}, 0x96FF0000);
      // Fading: drawn in place every time.
      context.FillRoundRect(RECT{130 + dx, 150 + dy, 170 + dx, 190 + dy}, SIZE{10, 10}, kBlue,
                            static_cast<BYTE>(100 + drawing * 60));
      context.DrawRoundRect(RECT{20 + dx, 20 + dy, 120 + dx, 50 + dy}, SIZE{6, 6}, 1, kBlue);
      context.DrawRoundRect(RECT{8 + dx, 140 + dy, 118 + dx, 190 + dy}, SIZE{10, 8}, 2, 0x80FFFF00);
      // Slim shapes are kept from one drawing, large ones band by band.
      context.DrawRoundRect(RECT{1, 1, 259, 199}, SIZE{16, 16}, 1, kRed);
      AutoClip clip(&context, RECT{140, 10, 250, 190}, 30, 30);
      const POINT origin = context.OffsetOrigin(-5 + dx, 3 + dy);
      context.FillRoundRect(RECT{130, 0, 246, 150}, SIZE{48, 48}, kGreen);
      context.DrawRoundRect(RECT{150, 20, 240, 60}, SIZE{6, 6}, 1, kWhite);
      context.SetOrigin(origin.x, origin.y);
    }
  };
  RenderContext_GdiPlus fast;
  EXPECT_EQ(DifferencesFromGdiPlusAlone(fast, kWidth, kHeight, paint), 0);
  // Each drawing landed where it was asked to.
  EXPECT_EQ(PixelAt(fast, 60, 75) & 0xFFFFFF, kWhite & 0xFFFFFF);
  EXPECT_EQ(PixelAt(fast, 20 + 14 + 50, 20 + 10) & 0xFFFFFF, kBlue & 0xFFFFFF);
  EXPECT_EQ(PixelAt(fast, 140, 12) & 0xFFFFFF, 0x202830u);  // outside the round clip
}

// Opaque rectangles of any size are written without GDI+ and give its
// pixels: the background of a window repainted in a dirty rectangle, under a
// round clip, a moved origin and a clip whose left column is not the
// rectangle's; a thin bar; a single pixel.
TEST(ShapesTest, OpaqueColourFillsMatchGdiPlusExactly) {
  constexpr int kWidth = 200;
  constexpr int kHeight = 160;
  auto paint = [](RenderContext_GdiPlus& context) {
    context.DrawColor(RECT{0, 0, 90, 150}, kWhite);
    context.DrawColor(RECT{10, 10, 80, 140}, kRed, 200);  // faded: GDI+ blends it
    context.DrawColor(RECT{92, 2, 197, 5}, 0xFF123456);
    context.DrawColor(RECT{95, 152, 96, 153}, 0xFFFEDCBA);
    {
      AutoClip clip(&context, RECT{100, 20, 190, 150}, 16, 16);
      const POINT origin = context.OffsetOrigin(-4, 6);
      context.DrawColor(RECT{60, 0, 300, 300}, kGreen);
      context.SetOrigin(origin.x, origin.y);
    }
    AutoClip dirty(&context, RECT{30, 40, 70, 90});
    context.DrawColor(RECT{0, 0, 90, 150}, kBlue);
  };
  RenderContext_GdiPlus fast;
  EXPECT_EQ(DifferencesFromGdiPlusAlone(fast, kWidth, kHeight, paint), 0);
  // Each fill kept to its clip.
  EXPECT_EQ(PixelAt(fast, 50, 60) & 0xFFFFFF, kBlue & 0xFFFFFF);
  EXPECT_NE(PixelAt(fast, 50, 30) & 0xFFFFFF, kBlue & 0xFFFFFF);
  EXPECT_EQ(PixelAt(fast, 150, 80) & 0xFFFFFF, kGreen & 0xFFFFFF);
  EXPECT_EQ(PixelAt(fast, 101, 21), 0u);  // cut off by the clip's round corner
  EXPECT_EQ(PixelAt(fast, 195, 80), 0u);
}

// A translucent layer over the whole window, repainted under a small clip,
// gives there what the layer filled to the clip's size gives.
TEST(ShapesTest, ATranslucentFillUnderAClipMatchesTheClippedFill) {
  RenderContext_GdiPlus clipped;
  RenderContext_GdiPlus exact;
  for (RenderContext_GdiPlus* context : {&clipped, &exact}) {
    context->Resize(100, 80);
    context->FillPixels(RECT{0, 0, 100, 80}, 0);
    context->DrawColor(RECT{0, 0, 100, 80}, kWhite);
  }
  {
    AutoClip clip(&clipped, RECT{30, 20, 70, 50});
    clipped.DrawColor(RECT{0, 0, 100, 80}, 0x80204060);
  }
  exact.DrawColor(RECT{30, 20, 70, 50}, 0x80204060);
  int differing = 0;
  for (int y = 0; y < 80; ++y) {
    for (int x = 0; x < 100; ++x) {
      if (PixelAt(clipped, x, y) != PixelAt(exact, x, y)) ++differing;
    }
  }
  EXPECT_EQ(differing, 0);
  EXPECT_NE(PixelAt(clipped, 40, 30), PixelAt(clipped, 10, 10));
}

// Lines, rectangles, ellipses and small rounded shapes are drawn on pixels
// of their own and blended in: each gives what GDI+ alone gives, opaque and
// translucent, thin and thick, the wrong way round, under a clip with and
// without a moved origin, and (drawn in place) crossing a round clip.
TEST(ShapesTest, LinesRectanglesAndEllipsesMatchGdiPlusExactly) {
  constexpr int kWidth = 160;
  constexpr int kHeight = 120;
  auto paint = [](RenderContext_GdiPlus& context) {
    context.DrawColor(RECT{0, 0, 80, kHeight}, 0xFF202830);
    context.DrawLine(RECT{2, 5, 150, 5}, 1, kRed);
    context.DrawLine(RECT{10, 100, 140, 20}, 3, 0x8000FF00);
    context.DrawRect(RECT{20, 20, 70, 60}, 2, 0xC00000FF);
    context.DrawEllipse(RECT{60, 30, 120, 90}, 3, kBlue);
    context.FillEllipse(RECT{70, 40, 110, 80}, 0x96FF0000);
    // Drawn the wrong way round, and with corners larger than the shape.
    context.DrawEllipse(RECT{150, 118, 130, 96}, 1, kRed);
    context.FillRoundRect(RECT{4, 100, 8, 116}, SIZE{16, 16}, kBlue);
    {
      AutoClip dirty(&context, RECT{30, 70, 75, 115});
      context.DrawEllipse(RECT{20, 60, 90, 118}, 2, 0xC0FFFF00);
      const POINT moved = context.OffsetOrigin(-7, 4);
      context.DrawLine(RECT{30, 80, 90, 100}, 3, kWhite);
      context.FillRoundRect(RECT{40, 70, 70, 100}, SIZE{10, 10}, 0x9600FF00);
      context.SetOrigin(moved.x, moved.y);
    }
    AutoClip clip(&context, RECT{90, 10, 150, 110}, 24, 24);
    const POINT origin = context.OffsetOrigin(5, -3);
    context.FillEllipse(RECT{80, 0, 160, 70}, kGreen);
    context.DrawRect(RECT{95, 50, 140, 100}, 1, kWhite);
    context.SetOrigin(origin.x, origin.y);
  };
  RenderContext_GdiPlus fast;
  EXPECT_EQ(DifferencesFromGdiPlusAlone(fast, kWidth, kHeight, paint), 0);
  EXPECT_EQ(PixelAt(fast, 60, 5), kRed);
  EXPECT_EQ(PixelAt(fast, 91, 11) & 0xFFFFFF, 0u);  // cut off by the clip's round corner
  EXPECT_EQ(PixelAt(fast, 120, 30) & 0xFFFFFF, kGreen & 0xFFFFFF);
}

// Text is drawn on clear pixels of its own and blended on a top-down
// bitmap, and by GDI+ on the device context otherwise: the same pixels for
// labels, glyphs that overhang their box, centred, wrapped and whole-line
// text, translucent and fading colours, Chinese faces, under a clip that
// cuts through the text, a round clip and a moved origin. Text running past
// its box unclipped is drawn in place.
TEST(DrawTextTest, TextMatchesGdiPlusExactly) {
  constexpr int kWidth = 260;
  constexpr int kHeight = 220;
  Font latin(L"DejaVu Sans", 15);
  Font chinese(L"WenQuanYi Zen Hei", 14, FW_BOLD);
  Font nsimsun(L"\x65B0\x5B8B\x4F53", 14);
  const UINT label = DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOCLIP;
  const wchar_t kWrapped[] = L"Fast, light and friendly; keeps your files in order, always.";
  auto paint = [&](RenderContext_GdiPlus& context) {
    context.DrawColor(RECT{0, 0, 130, kHeight}, 0xFFF5F7FA);
    context.DrawText(RECT{10, 4, 200, 24}, L"Fernwick 1.0.3 \x00B7 Ag\x00C9j", 0xFF1F2329,
                     latin.get(), label);
    context.DrawText(RECT{40, 26, 120, 44}, L"\x2588\x2588 overhang", 0xFF000000, latin.get(),
                     DT_SINGLELINE);
    context.DrawText(RECT{5, 46, 255, 80}, L"\x6B22\x8FCE\x4F7F\x7528 centred", 0xE6203040,
                     chinese.get(), label | DT_CENTER | DT_VCENTER);
    context.DrawText(RECT{10, 82, 130, 140}, kWrapped, 0xFF4E5969, latin.get(), DT_END_ELLIPSIS);
    context.DrawText(RECT{135, 82, 255, 118}, kWrapped, 0xFF4E5969, latin.get(), 0, 255, true);
    context.DrawText(RECT{135, 120, 255, 140}, L"faded 45%", kRed, latin.get(), label, 120);
    context.DrawText(RECT{135, 142, 255, 170}, L"\x4E0B\x8F7D", kBlue, nsimsun.get(),
                     label | DT_VCENTER);
    // Unclipped wrapped lines run on below their box.
    context.DrawText(RECT{10, 142, 120, 150}, kWrapped, 0xFF000000, latin.get(), DT_NOCLIP);
    {
      AutoClip dirty(&context, RECT{20, 180, 70, 200});
      const POINT moved = context.OffsetOrigin(-6, 3);
      context.DrawText(RECT{10, 172, 200, 196}, L"cut by the clip", 0xFF000000, latin.get(), label);
      context.SetOrigin(moved.x, moved.y);
    }
    AutoClip round(&context, RECT{150, 175, 250, 215}, 20, 20);
    context.DrawText(RECT{145, 178, 255, 212}, L"round clip", kGreen, chinese.get(),
                     label | DT_CENTER | DT_VCENTER);
  };
  RenderContext_GdiPlus fast;
  EXPECT_EQ(DifferencesFromGdiPlusAlone(fast, kWidth, kHeight, paint), 0);
  // Each text was drawn, and the clip held.
  auto inked = [&fast](const RECT& area) {
    return CountPixels(fast, area, [](DWORD p) { return p != 0 && p != 0xFFF5F7FA; });
  };
  for (const RECT& area :
       {RECT{10, 4, 200, 24}, RECT{40, 26, 120, 44}, RECT{5, 46, 255, 80}, RECT{10, 82, 130, 140},
        RECT{135, 82, 255, 118}, RECT{135, 120, 255, 140}, RECT{135, 142, 255, 170},
        RECT{10, 150, 130, 172}, RECT{20, 180, 70, 200}, RECT{150, 175, 250, 215}}) {
    EXPECT_GT(inked(area), 0) << area.left << "," << area.top;
  }
  EXPECT_EQ(inked(RECT{70, 172, 130, 200}), 0);
  EXPECT_EQ(inked(RECT{0, 200, 130, kHeight}), 0);
}

// A window's round clip holds every control's drawing but those in its
// corners: drawings inside it, and those its corners cut, give the pixels
// GDI+ gives under that clip.
TEST(ShapesTest, DrawingsUnderAWindowsRoundClipMatchGdiPlusExactly) {
  constexpr int kWidth = 240;
  constexpr int kHeight = 160;
  Font font(L"DejaVu Sans", 15);
  auto paint = [&font](RenderContext_GdiPlus& context) {
    AutoClip window(&context, RECT{0, 0, kWidth, kHeight}, 24, 24);
    context.FillRoundRect(RECT{0, 0, kWidth, kHeight}, SIZE{24, 24}, 0xFFF5F7FA);
    context.FillRoundRect(RECT{40, 100, 200, 140}, SIZE{8, 8}, 0xFF1F6FEB);
    context.DrawRoundRect(RECT{30, 20, 210, 90}, SIZE{10, 10}, 1, 0xFFDCDFE6);
    context.FillEllipse(RECT{150, 30, 180, 60}, 0x96FF0000);
    context.DrawText(RECT{40, 100, 200, 140}, L"Install now", 0xFFFFFFFF, font.get(),
                     DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOCLIP | DT_CENTER | DT_VCENTER);
    context.DrawText(RECT{40, 30, 140, 50}, L"Fernwick", 0xFF1F2329, font.get(),
                     DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOCLIP);
    // Into the corners.
    context.FillEllipse(RECT{-10, -10, 20, 20}, kGreen);
    context.DrawText(RECT{0, 140, 120, 160}, L"cornered", kRed, font.get(), DT_SINGLELINE);
  };
  RenderContext_GdiPlus fast;
  EXPECT_EQ(DifferencesFromGdiPlusAlone(fast, kWidth, kHeight, paint), 0);
  EXPECT_EQ(PixelAt(fast, 60, 104), 0xFF1F6FEB);
  EXPECT_EQ(PixelAt(fast, 0, 0), 0u);  // cut off by the window's corner
  EXPECT_GT(CountPixels(fast, RECT{40, 30, 140, 50}, [](DWORD p) { return p != 0xFFF5F7FA; }), 0);
}

TEST(ShapesTest, LinesRectanglesAndEllipses) {
  RenderContext_GdiPlus context;
  MakeWhite(context, 60, 60);
  context.DrawLine(RECT{0, 5, 60, 5}, 1, kRed);  // not anti-aliased: one crisp row
  EXPECT_EQ(CountPixels(context, RECT{0, 0, 60, 60}, [](DWORD p) { return p == kRed; }), 60);
  EXPECT_EQ(PixelAt(context, 30, 5), kRed);

  MakeWhite(context, 60, 60);
  context.DrawRect(RECT{10, 10, 30, 30}, 1, kBlue);
  EXPECT_EQ(PixelAt(context, 10, 20), kBlue);
  EXPECT_EQ(PixelAt(context, 20, 10), kBlue);
  EXPECT_EQ(PixelAt(context, 20, 20), kWhite);

  MakeWhite(context, 60, 60);
  context.FillEllipse(RECT{10, 10, 50, 50}, kGreen);
  EXPECT_EQ(PixelAt(context, 30, 30), kGreen);
  EXPECT_EQ(PixelAt(context, 12, 12), kWhite);
  context.DrawEllipse(RECT{10, 10, 50, 50}, 3, kBlue);
  EXPECT_EQ(PixelAt(context, 30, 30), kGreen);
  EXPECT_LT(RedOf(PixelAt(context, 30, 10)), 64);
  EXPECT_LT(GreenOf(PixelAt(context, 30, 10)), 128);

  RenderFactory_GdiPlus factory;
  std::unique_ptr<IPen> pen = factory.CreatePen(kRed, 3);
  MakeWhite(context, 60, 60);
  context.DrawLine(pen.get(), 0, 30, 60, 30);
  context.DrawBezier(pen.get(), 0, 50, 20, 40, 40, 40, 60, 50);
  EXPECT_EQ(PixelAt(context, 30, 30), kRed);
  EXPECT_EQ(PixelAt(context, 30, 20), kWhite);
  EXPECT_GT(CountPixels(context, RECT{20, 40, 40, 48}, [](DWORD p) { return p == kRed; }), 10);
}

}  // namespace
}  // namespace ui
