// The frame presenter's dirty area, its repairs of a layered frame, and the
// alpha-only present.
#include "ui/core/frame_presenter.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>

#include "tests/ui/core/window/window_test_support.h"
#include "ui/core/window.h"
#include "ui/render/render.h"

namespace ui {
namespace {

using testing::PumpMessages;

class PlainWindow : public Window {
 public:
  std::wstring ClassName() const override { return L"UiFramePresenterTestWindow"; }
};

struct Frame {
  explicit Frame(bool layered, RECT rect = RECT{0, 0, 100, 80}) {
    hwnd = window.Create(nullptr, L"frame", WS_POPUP, 0, layered, rect);
  }
  ~Frame() { PumpMessages(); }
  PlainWindow window;
  HWND hwnd = nullptr;
};

BYTE AlphaAt(const IRenderContext& context, int x, int y) {
  return reinterpret_cast<const DWORD*>(context.GetBits())[y * context.GetWidth() + x] >> 24;
}

std::unique_ptr<IRenderContext> ClearCanvas(int width, int height) {
  std::unique_ptr<IRenderContext> canvas = GetRenderFactory()->CreateRenderContext();
  canvas->Resize(width, height);
  canvas->FillPixels(RECT{0, 0, width, height}, 0);
  return canvas;
}

TEST(FramePresenterTest, ALayeredWindowKeepsItsDirtyAreaUntilItIsTakenOnce) {
  Frame frame(true);
  ASSERT_NE(frame.hwnd, nullptr);
  FramePresenter presenter(frame.window);
  const RECT first = {10, 10, 20, 20};
  const RECT second = {40, 30, 50, 35};
  presenter.Invalidate(&first);
  presenter.Invalidate(&second);
  // Whatever the system keeps for the window, the presenter's own area holds
  // both rectangles.
  ::ValidateRect(frame.hwnd, nullptr);
  EXPECT_EQ(presenter.TakeDirty(), (RECT{10, 10, 50, 35}));
  EXPECT_EQ(presenter.TakeDirty(), (RECT{0, 0, 0, 0}));
  // The whole client area when no rectangle is named.
  presenter.Invalidate(nullptr);
  ::ValidateRect(frame.hwnd, nullptr);
  EXPECT_EQ(presenter.TakeDirty(), (RECT{0, 0, 100, 80}));

  // A plain window has the system's update region and nothing besides.
  Frame plain(false);
  FramePresenter plain_presenter(plain.window);
  plain_presenter.Invalidate(&first);
  ::ValidateRect(plain.hwnd, nullptr);
  EXPECT_EQ(plain_presenter.TakeDirty(), (RECT{0, 0, 0, 0}));
}

TEST(FramePresenterTest, AnUpdateThatStopsAtTheScreensEdgeReachesTheClientsSide) {
  const int screen_left = ::GetSystemMetrics(SM_XVIRTUALSCREEN);
  const int screen_top = ::GetSystemMetrics(SM_YVIRTUALSCREEN);
  // 30 pixels past the left edge of the virtual screen, 20 past its top.
  Frame frame(true, RECT{screen_left - 30, screen_top - 20, screen_left + 70, screen_top + 60});
  ASSERT_NE(frame.hwnd, nullptr);
  RECT placed;
  ::GetWindowRect(frame.hwnd, &placed);
  if (placed.left != screen_left - 30 || placed.top != screen_top - 20) {
    GTEST_SKIP() << "the window manager keeps windows on the screen";
  }
  FramePresenter presenter(frame.window);
  const RECT client = {0, 0, 100, 80};
  RECT update = {30, 20, 60, 40};
  presenter.ExtendToScreenEdges(update, client);
  EXPECT_EQ(update, (RECT{0, 0, 60, 40}));
  // An update clear of the edge stays as it is.
  update = RECT{31, 21, 60, 40};
  presenter.ExtendToScreenEdges(update, client);
  EXPECT_EQ(update, (RECT{31, 21, 60, 40}));

  // Only a layered window is repaired.
  Frame plain(false, RECT{screen_left - 30, screen_top - 20, screen_left + 70, screen_top + 60});
  FramePresenter plain_presenter(plain.window);
  update = RECT{30, 20, 60, 40};
  plain_presenter.ExtendToScreenEdges(update, client);
  EXPECT_EQ(update, (RECT{30, 20, 60, 40}));
}

// A layered frame's update is cleared to transparent before painting, but
// for what the content is certain to paint over.
TEST(FramePresenterTest, APreparedFrameIsClearedButWhereTheContentCovers) {
  Frame frame(true);
  ASSERT_NE(frame.hwnd, nullptr);
  FramePresenter presenter(frame.window);
  RECT client;
  ::GetClientRect(frame.hwnd, &client);
  auto canvas = ClearCanvas(client.right, client.bottom);
  auto pixel = [&](int x, int y) {
    return reinterpret_cast<const DWORD*>(canvas->GetBits())[y * canvas->GetWidth() + x];
  };
  canvas->FillPixels(client, 0x55);
  RECT update = {10, 10, 60, 50};
  presenter.PrepareBuffer(*canvas, client, false, update, RECT{20, 20, 40, 40});
  EXPECT_EQ(update, (RECT{10, 10, 60, 50}));
  // Dirty, not covered: above, below, left of and right of the cover.
  EXPECT_EQ(pixel(30, 15), 0u);
  EXPECT_EQ(pixel(30, 45), 0u);
  EXPECT_EQ(pixel(15, 30), 0u);
  EXPECT_EQ(pixel(50, 30), 0u);
  EXPECT_EQ(pixel(59, 49), 0u);
  EXPECT_EQ(pixel(30, 30), 0x55555555u);  // covered
  EXPECT_EQ(pixel(39, 39), 0x55555555u);
  EXPECT_EQ(pixel(5, 5), 0x55555555u);  // not dirty
  EXPECT_EQ(pixel(70, 30), 0x55555555u);
  // A cover reaching past the update keeps only what lies inside both.
  canvas->FillPixels(client, 0x55);
  presenter.PrepareBuffer(*canvas, client, false, update, RECT{20, 20, 90, 70});
  EXPECT_EQ(pixel(15, 45), 0u);
  EXPECT_EQ(pixel(59, 49), 0x55555555u);

  // Nothing covered: the whole update is cleared.
  canvas->FillPixels(client, 0x55);
  presenter.PrepareBuffer(*canvas, client, false, update, RECT{0, 0, 0, 0});
  EXPECT_EQ(pixel(30, 30), 0u);
  EXPECT_EQ(pixel(5, 5), 0x55555555u);

  // A plain window's frame is painted over whole, never cleared.
  Frame plain(false);
  FramePresenter plain_presenter(plain.window);
  canvas->FillPixels(client, 0x55);
  plain_presenter.PrepareBuffer(*canvas, client, false, update, RECT{0, 0, 0, 0});
  EXPECT_EQ(pixel(15, 15), 0x55555555u);
}

TEST(FramePresenterTest, AlphaRepairKeepsTheShadowCornersAndTheInsetsTransparent) {
  Frame frame(true);
  ASSERT_NE(frame.hwnd, nullptr);
  FramePresenter presenter(frame.window);
  const RECT everything = {0, 0, 40, 40};

  // With a shadow: opaque but for the padding's corner squares plus a pixel.
  auto canvas = ClearCanvas(40, 40);
  FramePresenter::OpaqueArea shadowed;
  shadowed.inner = everything;
  shadowed.shadow = true;
  shadowed.shadow_padding = RECT{4, 4, 4, 4};
  presenter.RepairAlpha(*canvas, everything, shadowed);
  EXPECT_EQ(AlphaAt(*canvas, 20, 20), 0xff);
  EXPECT_EQ(AlphaAt(*canvas, 2, 20), 0xff);  // an edge, not a corner
  EXPECT_EQ(AlphaAt(*canvas, 4, 4), 0);      // the padding's corner plus one
  EXPECT_EQ(AlphaAt(*canvas, 35, 35), 0);
  EXPECT_EQ(AlphaAt(*canvas, 5, 5), 0xff);

  // Without one: the content less the insets, and only what was painted.
  canvas = ClearCanvas(40, 40);
  FramePresenter::OpaqueArea inset;
  inset.inner = everything;
  inset.insets = RECT{10, 10, 10, 10};
  presenter.RepairAlpha(*canvas, RECT{0, 0, 25, 40}, inset);
  EXPECT_EQ(AlphaAt(*canvas, 5, 5), 0);
  EXPECT_EQ(AlphaAt(*canvas, 20, 20), 0xff);
  EXPECT_EQ(AlphaAt(*canvas, 27, 20), 0);  // not painted this time

  // No insets: GDI's alpha stays as it is.
  canvas = ClearCanvas(40, 40);
  inset.insets = RECT{0, 0, 0, 0};
  presenter.RepairAlpha(*canvas, everything, inset);
  EXPECT_EQ(AlphaAt(*canvas, 20, 20), 0);

  // A plain window's frame is left alone.
  Frame plain(false);
  FramePresenter plain_presenter(plain.window);
  canvas = ClearCanvas(40, 40);
  plain_presenter.RepairAlpha(*canvas, everything, shadowed);
  EXPECT_EQ(AlphaAt(*canvas, 20, 20), 0);
}

TEST(FramePresenterTest, AFirstFrameAtAlphaZeroWaitsForTheFadeAndAFadeOutIsPresented) {
  Frame frame(true);
  ASSERT_NE(frame.hwnd, nullptr);
  ::ShowWindow(frame.hwnd, SW_SHOWNOACTIVATE);
  FramePresenter presenter(frame.window);
  const RECT client = {0, 0, 100, 80};
  auto canvas = ClearCanvas(100, 80);
  // Composed at alpha 0 before anything was shown: held, not presented.
  presenter.Present(nullptr, *canvas, client, 0);
  EXPECT_EQ(presenter.GetPresentCount(), 0u);
  EXPECT_FALSE(presenter.HasShownFrame());
  // The fade's first step presents the held frame without painting.
  EXPECT_TRUE(presenter.RequestAlphaPresent());
  EXPECT_TRUE(presenter.PresentAlphaOnly(*canvas, client, 20));
  EXPECT_EQ(presenter.GetPresentCount(), 1u);
  EXPECT_TRUE(presenter.HasShownFrame());
  EXPECT_FALSE(presenter.NoteWindowShown());  // seen already
  // Once shown, alpha 0 is presented (a window fading out must vanish).
  presenter.Present(nullptr, *canvas, client, 0);
  EXPECT_EQ(presenter.GetPresentCount(), 2u);
  // A dirty part alone, at an unchanged alpha, is presented too.
  presenter.Present(nullptr, *canvas, RECT{10, 10, 20, 20}, 0);
  EXPECT_EQ(presenter.GetPresentCount(), 3u);
}

TEST(FramePresenterTest, AFrameOfAHiddenWindowIsSeenWhenTheWindowShows) {
  Frame frame(true);
  ASSERT_NE(frame.hwnd, nullptr);
  FramePresenter presenter(frame.window);
  const RECT client = {0, 0, 100, 80};
  auto canvas = ClearCanvas(100, 80);
  EXPECT_FALSE(presenter.NoteWindowShown());  // nothing presented yet
  presenter.Present(nullptr, *canvas, client, 128);
  EXPECT_EQ(presenter.GetPresentCount(), 1u);
  EXPECT_FALSE(presenter.HasShownFrame());
  ::ShowWindow(frame.hwnd, SW_SHOWNOACTIVATE);
  EXPECT_TRUE(presenter.NoteWindowShown());
  EXPECT_TRUE(presenter.HasShownFrame());
  EXPECT_FALSE(presenter.NoteWindowShown());  // once

  // A plain window's frames are seen as soon as they are copied to it shown.
  Frame plain(false);
  FramePresenter plain_presenter(plain.window);
  plain_presenter.Present(nullptr, *canvas, RECT{0, 0, 0, 0}, 0);
  EXPECT_FALSE(plain_presenter.HasShownFrame());
  ::ShowWindow(plain.hwnd, SW_SHOWNOACTIVATE);
  plain_presenter.Present(nullptr, *canvas, RECT{0, 0, 0, 0}, 0);
  EXPECT_TRUE(plain_presenter.HasShownFrame());
}

TEST(FramePresenterTest, OnlyAPresentedFrameOfTheClientsSizeIsPresentedAgainForANewAlpha) {
  Frame frame(true);
  ASSERT_NE(frame.hwnd, nullptr);
  FramePresenter presenter(frame.window);
  const RECT client = {0, 0, 100, 80};
  auto canvas = ClearCanvas(100, 80);
  // Nothing presented yet: the window must paint.
  EXPECT_FALSE(presenter.RequestAlphaPresent());
  presenter.Present(nullptr, *canvas, client, 255);
  EXPECT_EQ(presenter.GetPresentCount(), 1u);

  EXPECT_TRUE(presenter.RequestAlphaPresent());
  EXPECT_TRUE(presenter.PresentAlphaOnly(*canvas, client, 128));
  EXPECT_EQ(presenter.GetPresentCount(), 2u);
  // Nothing changed since: nothing to do.
  EXPECT_TRUE(presenter.PresentAlphaOnly(*canvas, client, 128));
  EXPECT_EQ(presenter.GetPresentCount(), 2u);
  // A frame of another size is painted anew.
  EXPECT_TRUE(presenter.RequestAlphaPresent());
  EXPECT_FALSE(presenter.PresentAlphaOnly(*canvas, RECT{0, 0, 120, 80}, 64));
  EXPECT_EQ(presenter.GetPresentCount(), 2u);

  // A plain window is always painted.
  Frame plain(false);
  FramePresenter plain_presenter(plain.window);
  plain_presenter.Present(nullptr, *canvas, RECT{0, 0, 0, 0}, 255);
  EXPECT_FALSE(plain_presenter.RequestAlphaPresent());
}

}  // namespace
}  // namespace ui
