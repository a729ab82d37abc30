// The window host driven through real native windows and real window
// messages under Wine: skin loading, the shadow, hit testing, the system
// buttons, mouse and keyboard routing, tooltips, closing, and what reaches
// the back buffer.
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/ui/core/window/window_test_support.h"
#include "ui/control/box.h"
#include "ui/control/check_box.h"
#include "ui/control/label.h"
#include "ui/control/rich_edit.h"
#include "ui/control/shadow_box.h"
#include "ui/core/global_manager.h"
#include "ui/core/skin_image.h"
#include "ui/core/window_builder.h"

namespace ui {
namespace {

using testing::ClientPoint;
using testing::PumpMessages;
using testing::SampleWindow;
using testing::ScreenPoint;
using testing::WindowGuard;
using testing::WindowTimers;
using Event = SampleWindow::Event;

constexpr int kShadow = WindowShadow::kDefaultThickness;

Control* Named(Window* window, const wchar_t* name) {
  Control* control = window->FindControlByName(name);
  EXPECT_NE(control, nullptr) << "no control named " << std::string(name, name + wcslen(name));
  return control;
}

void Click(HWND hwnd, const Control* control) {
  const LPARAM point = ClientPoint(control);
  ::SendMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, point);
  ::SendMessageW(hwnd, WM_LBUTTONUP, 0, point);
}

LRESULT HitTest(HWND hwnd, int x, int y) {
  return ::SendMessageW(hwnd, WM_NCHITTEST, 0, ScreenPoint(hwnd, x, y));
}

TEST(WindowHostTest, TheSampleSkinBuildsAShadowedLayeredWindowAndPaintsIt) {
  WindowTimers().PulseFor(10000);  // what earlier tests left running
  ASSERT_FALSE(WindowTimers().log.running);
  ASSERT_FALSE(WindowTimers().manager.pulse_held());
  SampleWindow* window = SampleWindow::Open();
  ASSERT_NE(window, nullptr);
  WindowGuard guard(window);
  HWND hwnd = window->GetHWND();

  EXPECT_EQ(window->skin_loaded, 1);
  RECT rect;
  ::GetWindowRect(hwnd, &rect);
  EXPECT_EQ(rect.right - rect.left, 400 + 2 * kShadow);
  EXPECT_EQ(rect.bottom - rect.top, 300 + 2 * kShadow);
  EXPECT_EQ(::GetWindowLongPtrW(hwnd, GWL_EXSTYLE) & WS_EX_LAYERED, WS_EX_LAYERED);
  EXPECT_EQ(::GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_CAPTION, 0);

  // The tree hangs in the shadow box; the skin's root fills its inside.
  auto* shadow = dynamic_cast<ShadowBox*>(window->GetRoot());
  ASSERT_NE(shadow, nullptr);
  Control* root_box = Named(window, L"root_box");
  EXPECT_EQ(root_box->GetParent(), shadow);
  EXPECT_EQ(root_box->GetRect(), (RECT{kShadow, kShadow, kShadow + 400, kShadow + 300}));
  EXPECT_EQ(root_box->GetBorderRound().cx, 3);

  // The first layout started the fade-in from a transparent window. Its
  // first frame is never presented at alpha 0, nor does it wait for a tick:
  // the test clock has not moved, so the fade still stands at 0, and the
  // frame goes out at the faintest alpha. The animation pulse was held while
  // that frame was made (starting it starts the system's timer thread) and
  // runs once the frame is seen.
  EXPECT_EQ(window->GetWindowAlpha(), 1);
  const RECT filled = Named(window, L"filled")->GetRect();
  EXPECT_EQ(testing::BackBufferPixel(window, filled.left + 5, filled.top + 5) & 0xffffff,
            0xe03020u);
  EXPECT_EQ(window->GetPresentCount(), 1u);
  EXPECT_EQ(window->first_frames_shown, 1);
  EXPECT_FALSE(window->pulse_started_before_first_frame);
  EXPECT_FALSE(WindowTimers().manager.pulse_held());
  EXPECT_TRUE(WindowTimers().manager.pulse_running());
  WindowTimers().PulseFor(400);
  PumpMessages();
  EXPECT_EQ(window->GetWindowAlpha(), 255);
  EXPECT_GT(window->GetPresentCount(), 0u);
  EXPECT_EQ(window->first_frames_shown, 1);
  window->Invalidate(filled);
  PumpMessages();
  EXPECT_EQ(window->first_frames_shown, 1);

  // Window attributes and classes: the global class wins over the window's
  // class of the same name; a class only the window declares still applies.
  EXPECT_EQ(Named(window, L"ok")->GetBkColor(), L"green");
  EXPECT_EQ(Named(window, L"local_class")->GetBkColor(), L"gray");
  EXPECT_EQ(window->GetCaptionRect(), (RECT{0, 0, 0, 40}));
  EXPECT_EQ(window->GetSizeBox(), (RECT{4, 4, 4, 4}));

  // Include with count 3: three rows, in order, inside their box.
  auto* rows = dynamic_cast<Box*>(Named(window, L"rows"));
  ASSERT_NE(rows, nullptr);
  ASSERT_EQ(rows->ChildCount(), 3);
  for (int i = 0; i < 3; ++i) {
    auto* row = dynamic_cast<Label*>(rows->ChildAt(i));
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->GetText(), L"Included row");
    EXPECT_EQ(row->GetRect().top, rows->GetRect().top + 20 * i);
  }
}

// The shadow's bands are drawn from its image once and kept: a repaint gives
// the pixels the image drawn in place gives, and a new image is drawn anew.
TEST(WindowHostTest, TheKeptShadowMatchesTheShadowDrawnInPlace) {
  SampleWindow* window = SampleWindow::Open();
  ASSERT_NE(window, nullptr);
  WindowGuard guard(window);
  WindowTimers().PulseFor(400);
  PumpMessages();
  auto* shadow = dynamic_cast<ShadowBox*>(window->GetRoot());
  ASSERT_NE(shadow, nullptr);
  Control* root_box = Named(window, L"root_box");
  const RECT whole = shadow->GetRect();
  // The ring around the content, where only the shadow paints.
  auto ring = [&] {
    window->Invalidate(whole);
    PumpMessages();
    std::vector<DWORD> pixels;
    for (int y = whole.top; y < whole.bottom; ++y) {
      for (int x = whole.left; x < whole.right; ++x) {
        if (y < kShadow || y >= whole.bottom - kShadow || x < kShadow ||
            x >= whole.right - kShadow) {
          pixels.push_back(testing::BackBufferPixel(window, x, y));
        }
      }
    }
    return pixels;
  };
  // Content that is not opaque makes the shadow draw its whole image in
  // place.
  auto in_place = [&] {
    root_box->SetAlpha(254);
    std::vector<DWORD> pixels = ring();
    root_box->SetAlpha(255);
    return pixels;
  };
  const std::vector<DWORD> kept = ring();
  ASSERT_GT(std::count_if(kept.begin(), kept.end(), [](DWORD p) { return (p >> 24) != 0; }), 100)
      << "no shadow was drawn";
  EXPECT_EQ(kept, in_place());
  EXPECT_EQ(ring(), kept);
  // A small part of one band, away from its corner, comes from the right
  // place in the kept band.
  const RECT part = {whole.left + 2, whole.top + 100, whole.left + 9, whole.top + 140};
  window->Invalidate(part);
  PumpMessages();
  for (int y = part.top; y < part.bottom; ++y) {
    for (int x = part.left; x < part.right; ++x) {
      const size_t ring_width = static_cast<size_t>(2 * kShadow);
      const size_t row_start = static_cast<size_t>(whole.right - whole.left) * kShadow +
                               static_cast<size_t>(y - whole.top - kShadow) * ring_width;
      ASSERT_EQ(testing::BackBufferPixel(window, x, y), kept[row_start + (x - whole.left)])
          << x << "," << y;
    }
  }

  shadow->SetBkImage(L"file='../public/bk/bk_shadow.png' corner='10,10,10,10'");
  const std::vector<DWORD> other = ring();
  EXPECT_NE(other, kept);
  EXPECT_EQ(other, in_place());
}

// A repaint leaves the last frame's pixels uncleared only under content that
// certainly paints over them: content made translucent, hidden or drawn away
// from its place must not show what was there before.
TEST(WindowHostTest, NothingOfTheLastFrameStaysWhereTheContentNoLongerCovers) {
  SampleWindow* window = SampleWindow::Open();
  ASSERT_NE(window, nullptr);
  WindowGuard guard(window);
  WindowTimers().PulseFor(400);
  PumpMessages();
  Control* root_box = Named(window, L"root_box");
  const RECT whole = window->GetRoot()->GetRect();
  auto repaint = [&] {
    window->Invalidate(whole);
    PumpMessages();
  };
  auto pixel = [&](POINT at) { return testing::BackBufferPixel(window, at.x, at.y); };
  // The content's area is made opaque after every paint: what shows there
  // is the colour, which is the cleared frame's black or whatever was
  // painted over it.
  auto blue = [&](POINT at) { return pixel(at) & 0xffu; };
  // Plain white background, right of the label's text.
  const RECT label = Named(window, L"label")->GetRect();
  const POINT white = {label.right - 5, label.bottom - 3};
  // The title bar, near the content's top.
  const RECT content = root_box->GetRect();
  const POINT bar = {(content.left + content.right) / 2, content.top + 5};
  repaint();
  ASSERT_EQ(pixel(white), 0xffffffffu);
  const DWORD bar_colour = pixel(bar);
  ASSERT_NE(bar_colour & 0xffffffu, 0u);

  // Half-transparent white over a cleared frame is grey; over the last
  // frame it would stay white.
  root_box->SetAlpha(128);
  repaint();
  EXPECT_LT(blue(white), 0xc0u);
  EXPECT_GT(blue(white), 0x40u);
  root_box->SetAlpha(255);
  repaint();
  ASSERT_EQ(pixel(white), 0xffffffffu);

  root_box->SetVisible(false);
  repaint();
  EXPECT_LT(blue(white), 0x80u);
  root_box->SetVisible(true);
  repaint();
  ASSERT_EQ(pixel(white), 0xffffffffu);

  // Moved a whole window's height away: nothing paints the frame now.
  window->SetRenderOffset({0, whole.bottom - whole.top});
  PumpMessages();
  EXPECT_EQ(pixel(bar) & 0xffffffu, 0u);
  window->SetRenderOffset({0, 0});
  PumpMessages();
  EXPECT_EQ(pixel(bar), bar_colour);
}

TEST(WindowHostTest, TheBackBufferHoldsFilledBoxesTextAndTheProgressBar) {
  SampleWindow* window = SampleWindow::Open();
  ASSERT_NE(window, nullptr);
  WindowGuard guard(window);

  const RECT filled = Named(window, L"filled")->GetRect();
  EXPECT_EQ(testing::BackBufferPixel(window, (filled.left + filled.right) / 2,
                                     (filled.top + filled.bottom) / 2),
            0xffe03020u);
  const RECT space = Named(window, L"bar_space")->GetRect();
  EXPECT_EQ(testing::BackBufferPixel(window, (space.left + space.right) / 2, space.top + 2),
            0xff2060c0u);
  // The shadow is translucent; the content inside it is opaque.
  EXPECT_LT(testing::BackBufferPixel(window, 2, 150) >> 24, 0xffu);

  // The label's text leaves dark pixels on the white background.
  const RECT label = Named(window, L"label")->GetRect();
  int dark = 0;
  for (int y = label.top; y < label.bottom; ++y) {
    for (int x = label.left; x < label.left + 150; ++x) {
      const DWORD pixel = testing::BackBufferPixel(window, x, y);
      if ((pixel & 0xff) < 0x80 && (pixel >> 24) == 0xff) ++dark;
    }
  }
  EXPECT_GT(dark, 20);
  // To its right, past the text, the label is plain white.
  EXPECT_EQ(testing::BackBufferPixel(window, label.right - 5, label.bottom - 3), 0xffffffffu);

  // The progress bar is filled to 40 %: green, then its grey background.
  const RECT bar = Named(window, L"progress")->GetRect();
  const int y = (bar.top + bar.bottom) / 2;
  EXPECT_EQ(testing::BackBufferPixel(window, bar.left + 40, y), 0xff20a040u);
  EXPECT_EQ(testing::BackBufferPixel(window, bar.left + 120, y), 0xffd0d0d0u);
}

TEST(WindowHostTest, HitTestsDragOnTheCaptionAndResizeOnlyInsideTheShadow) {
  SampleWindow* window = SampleWindow::Open();
  ASSERT_NE(window, nullptr);
  WindowGuard guard(window);
  HWND hwnd = window->GetHWND();
  const int left = kShadow, top = kShadow, right = kShadow + 400, bottom = kShadow + 300;

  // The shadow neither drags nor resizes.
  EXPECT_EQ(HitTest(hwnd, 2, 150), HTCLIENT);
  EXPECT_EQ(HitTest(hwnd, 150, 2), HTCLIENT);
  EXPECT_EQ(HitTest(hwnd, right + 5, 150), HTCLIENT);
  EXPECT_EQ(HitTest(hwnd, 150, bottom + 5), HTCLIENT);
  // The 4-pixel size box just inside it.
  EXPECT_EQ(HitTest(hwnd, left + 1, top + 1), HTTOPLEFT);
  EXPECT_EQ(HitTest(hwnd, 150, top + 1), HTTOP);
  EXPECT_EQ(HitTest(hwnd, right - 1, top + 1), HTTOPRIGHT);
  EXPECT_EQ(HitTest(hwnd, left + 1, 150), HTLEFT);
  EXPECT_EQ(HitTest(hwnd, right - 1, 150), HTRIGHT);
  EXPECT_EQ(HitTest(hwnd, left + 1, bottom - 1), HTBOTTOMLEFT);
  EXPECT_EQ(HitTest(hwnd, 150, bottom - 1), HTBOTTOM);
  EXPECT_EQ(HitTest(hwnd, right - 1, bottom - 1), HTBOTTOMRIGHT);

  // The caption (40 pixels) drags on empty space and on labels, not on buttons.
  const RECT space = Named(window, L"bar_space")->GetRect();
  EXPECT_EQ(HitTest(hwnd, (space.left + space.right) / 2, top + 20), HTCAPTION);
  const RECT title = Named(window, L"title")->GetRect();
  EXPECT_EQ(HitTest(hwnd, (title.left + title.right) / 2, (title.top + title.bottom) / 2),
            HTCAPTION);
  for (const wchar_t* name : {L"minbtn", L"maxbtn", L"closebtn"}) {
    const RECT button = Named(window, name)->GetRect();
    EXPECT_EQ(HitTest(hwnd, (button.left + button.right) / 2, (button.top + button.bottom) / 2),
              HTCLIENT);
  }
  // Below the caption everything is client area.
  EXPECT_EQ(HitTest(hwnd, 150, top + 41), HTCLIENT);
}

TEST(WindowHostTest, TheSkinsPicturesAreDecodingFromTheWindowsCreationUntilItsFirstPaint) {
  auto* window = new SampleWindow(L"accessible.xml");
  ASSERT_NE(window->Create(nullptr, L"Sample", WS_POPUP, 0), nullptr);
  WindowGuard guard(window);
  const ScaledImageFile logo = ResolveScaledImage(
      GetFullImagePath(window->GetResourcePath(), L"../public/bk/bk_shadow.png"));
  EXPECT_TRUE(GlobalManager::IsImagePrefetched(logo.path, logo.scale));
  window->Show(true, false);
  ::UpdateWindow(window->GetHWND());
  PumpMessages();
  EXPECT_FALSE(GlobalManager::IsImagePrefetched(logo.path, logo.scale));
}

TEST(WindowHostTest, TrackSizesIncludeTheShadow) {
  SampleWindow* window = SampleWindow::Open();
  ASSERT_NE(window, nullptr);
  WindowGuard guard(window);
  MINMAXINFO info = {};
  ::SendMessageW(window->GetHWND(), WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
  EXPECT_EQ(info.ptMinTrackSize.x, 200);
  EXPECT_EQ(info.ptMinTrackSize.y, 150 + 2 * kShadow);
  EXPECT_EQ(info.ptMaxTrackSize.x, 900);
  EXPECT_EQ(info.ptMaxTrackSize.y, 700 + 2 * kShadow);
  MONITORINFO monitor = {};
  monitor.cbSize = sizeof(monitor);
  ::GetMonitorInfoW(::MonitorFromWindow(window->GetHWND(), MONITOR_DEFAULTTONEAREST), &monitor);
  EXPECT_EQ(info.ptMaxSize.x, monitor.rcWork.right - monitor.rcWork.left);
  EXPECT_EQ(info.ptMaxSize.y, monitor.rcWork.bottom - monitor.rcWork.top);
}

TEST(WindowHostTest, MaxAndRestoreButtonsSwapAndTheShadowComesAndGoes) {
  SampleWindow* window = SampleWindow::Open();
  ASSERT_NE(window, nullptr);
  WindowGuard guard(window);
  HWND hwnd = window->GetHWND();
  Control* max = Named(window, L"maxbtn");
  Control* restore = Named(window, L"restorebtn");
  auto* shadow = dynamic_cast<ShadowBox*>(window->GetRoot());
  ASSERT_NE(shadow, nullptr);
  Control* root_box = Named(window, L"root_box");

  Click(hwnd, max);
  PumpMessages();
  EXPECT_TRUE(::IsZoomed(hwnd));
  EXPECT_FALSE(max->IsVisible());
  EXPECT_TRUE(restore->IsVisible());
  EXPECT_EQ(shadow->GetLayout()->GetPadding(), (RECT{0, 0, 0, 0}));
  EXPECT_EQ(root_box->GetBorderRound().cx, 0);
  // Maximised, the size box is off: the top edge is plain client area.
  ::UpdateWindow(hwnd);
  EXPECT_EQ(HitTest(hwnd, 300, 1), HTCAPTION);

  Click(hwnd, restore);
  PumpMessages();
  EXPECT_FALSE(::IsZoomed(hwnd));
  EXPECT_TRUE(max->IsVisible());
  EXPECT_FALSE(restore->IsVisible());
  EXPECT_EQ(shadow->GetLayout()->GetPadding(), (RECT{kShadow, kShadow, kShadow, kShadow}));
  EXPECT_EQ(root_box->GetBorderRound().cx, 3);
}

// A repaint of a corner of rounded content draws the shadow there again,
// as the whole frame did: the frame is the same pixel for pixel.
TEST(WindowHostTest, RepaintingARoundedCornerKeepsTheShadowUnderIt) {
  SampleWindow* window = SampleWindow::Open();
  ASSERT_NE(window, nullptr);
  WindowGuard guard(window);
  HWND hwnd = window->GetHWND();
  Named(window, L"root_box")->SetBorderRound(SIZE{12, 12});
  ::InvalidateRect(hwnd, nullptr, FALSE);
  ::UpdateWindow(hwnd);
  PumpMessages();
  IRenderContext* buffer = window->GetRenderContext();
  const int w = buffer->GetWidth(), h = buffer->GetHeight();
  const auto* bits = reinterpret_cast<const DWORD*>(buffer->GetBits());
  const std::vector<DWORD> whole(bits, bits + w * h);
  // Inside the shadow's padding, across the bottom left corner's curve.
  ASSERT_LT(testing::BackBufferPixel(window, kShadow, h - 1 - kShadow) >> 24, 0xffu);
  ASSERT_GT(testing::BackBufferPixel(window, kShadow, h - 1 - kShadow) >> 24, 0u);
  const RECT corner = {kShadow, h - kShadow - 8, kShadow + 8, h - kShadow};
  window->Invalidate(corner);
  ::UpdateWindow(hwnd);
  PumpMessages();
  bits = reinterpret_cast<const DWORD*>(window->GetRenderContext()->GetBits());
  int differing = 0;
  for (int i = 0; i < w * h; ++i) differing += bits[i] != whole[i] ? 1 : 0;
  EXPECT_EQ(differing, 0);
}

TEST(WindowHostTest, AMaximisedLayeredWindowIsOpaqueIntoItsCorners) {
  SampleWindow* window = SampleWindow::Open();
  ASSERT_NE(window, nullptr);
  WindowGuard guard(window);
  HWND hwnd = window->GetHWND();

  // Painted over the whole client area while maximised.
  auto repaint = [hwnd] {
    ::InvalidateRect(hwnd, nullptr, FALSE);
    ::UpdateWindow(hwnd);
    PumpMessages();
  };
  auto alpha = [window](int x, int y) { return testing::BackBufferPixel(window, x, y) >> 24; };

  // Translucent colours leave alpha below 255 until the window repairs it,
  // so every pixel the repair misses shows.
  GlobalManager::AddTextColor(L"half_bar", 0x802060c0);
  GlobalManager::AddTextColor(L"half_white", 0x80ffffff);
  Named(window, L"bar")->SetBkColor(L"half_bar");
  Named(window, L"root_box")->SetBkColor(L"half_white");

  Click(hwnd, Named(window, L"maxbtn"));
  PumpMessages();
  ASSERT_TRUE(::IsZoomed(hwnd));
  EXPECT_EQ(window->GetShadowPadding(), (RECT{0, 0, 0, 0}));
  repaint();
  RECT client;
  ::GetClientRect(hwnd, &client);
  const int w = client.right, h = client.bottom;
  ASSERT_EQ(window->GetRenderContext()->GetWidth(), w);
  ASSERT_EQ(window->GetRenderContext()->GetHeight(), h);
  // Only the outermost corner pixel is left to the frame; the rest of each
  // corner, where the shadow would lie when restored, is content.
  const POINT corners[] = {{1, 1},           {kShadow, kShadow},
                           {w - 2, 1},       {w - 1 - kShadow, kShadow},
                           {1, h - 2},       {kShadow, h - 1 - kShadow},
                           {w - 2, h - 2},   {w - 1 - kShadow, h - 1 - kShadow},
                           {kShadow / 2, 1}, {1, h - 1 - kShadow / 2}};
  for (const POINT& p : corners) {
    EXPECT_EQ(alpha(p.x, p.y), 0xffu) << "at " << p.x << "," << p.y;
  }
  // The caption bar reaches the window's top left corner.
  EXPECT_EQ(testing::BackBufferPixel(window, 1, 1), testing::BackBufferPixel(window, 1, 30));

  Click(hwnd, Named(window, L"restorebtn"));
  PumpMessages();
  ASSERT_FALSE(::IsZoomed(hwnd));
  EXPECT_EQ(window->GetShadowPadding(), (RECT{kShadow, kShadow, kShadow, kShadow}));
  repaint();
  // Restored, the corners are the shadow's again.
  EXPECT_LT(alpha(1, 1), 0xffu);
  EXPECT_LT(alpha(kShadow / 2, kShadow / 2), 0xffu);
}

TEST(WindowHostTest, MinimiseButtonMinimises) {
  SampleWindow* window = SampleWindow::Open();
  ASSERT_NE(window, nullptr);
  WindowGuard guard(window);
  Click(window->GetHWND(), Named(window, L"minbtn"));
  PumpMessages();
  EXPECT_TRUE(::IsIconic(window->GetHWND()));
}

TEST(WindowHostTest, RightButtonThenContextMenuDeliversTheMenuEvent) {
  SampleWindow* window = SampleWindow::Open(L"sample.xml", {L"menu_target"});
  ASSERT_NE(window, nullptr);
  WindowGuard guard(window);
  HWND hwnd = window->GetHWND();
  Control* target = Named(window, L"menu_target");
  const LPARAM point = ClientPoint(target);
  ::SendMessageW(hwnd, WM_RBUTTONDOWN, MK_RBUTTON, point);
  EXPECT_EQ(window->GetPressedControl(), target);
  ::SendMessageW(hwnd, WM_RBUTTONUP, 0, point);
  // The default procedure turns the release into WM_CONTEXTMENU.
  PumpMessages();
  EXPECT_EQ(window->GetPressedControl(), nullptr);
  std::vector<EventType> types;
  for (const Event& event : window->events) types.push_back(event.type);
  // The press takes the focus first.
  EXPECT_EQ(types, (std::vector<EventType>{kEventSetFocus, kEventMouseRightButtonDown,
                                           kEventMouseRightButtonUp, kEventMouseMenu}));
}

TEST(WindowHostTest, MouseRoutingEntersLeavesAndClicks) {
  SampleWindow* window = SampleWindow::Open(L"sample.xml", {L"ok", L"opt_b"});
  ASSERT_NE(window, nullptr);
  WindowGuard guard(window);
  HWND hwnd = window->GetHWND();
  Control* ok = Named(window, L"ok");

  ::SendMessageW(hwnd, WM_MOUSEMOVE, 0, ClientPoint(ok));
  EXPECT_EQ(window->GetHoverControl(), ok);
  EXPECT_EQ(window->GetEnteredControl(), ok);
  EXPECT_EQ(ok->GetState(), kControlStateHot);
  // Leaving the window: WM_MOUSELEAVE becomes a move to nowhere.
  ::SendMessageW(hwnd, WM_MOUSELEAVE, 0, 0);
  EXPECT_EQ(window->GetEnteredControl(), nullptr);
  EXPECT_EQ(ok->GetState(), kControlStateNormal);
  std::vector<EventType> ok_types;
  for (const Event& event : window->events) ok_types.push_back(event.type);
  EXPECT_EQ(ok_types,
            (std::vector<EventType>{kEventMouseEnter, kEventMouseMove, kEventMouseLeave}));

  // The move with lParam -1 alone also ends the hover.
  window->events.clear();
  ::SendMessageW(hwnd, WM_MOUSEMOVE, 0, ClientPoint(ok));
  ::SendMessageW(hwnd, WM_MOUSEMOVE, 0, static_cast<LPARAM>(-1));
  ASSERT_FALSE(window->events.empty());
  EXPECT_EQ(window->events.back(), (Event{L"ok", kEventMouseLeave}));

  // A click on an option selects it and clears the other of its group.
  auto* alpha = dynamic_cast<CheckBox*>(Named(window, L"opt_a"));
  auto* beta = dynamic_cast<CheckBox*>(Named(window, L"opt_b"));
  ASSERT_NE(alpha, nullptr);
  ASSERT_NE(beta, nullptr);
  EXPECT_TRUE(alpha->IsSelected());
  window->events.clear();
  Click(hwnd, beta);
  EXPECT_TRUE(beta->IsSelected());
  EXPECT_FALSE(alpha->IsSelected());
  EXPECT_EQ(window->GetFocusControl(), beta);
  std::vector<EventType> beta_types;
  for (const Event& event : window->events) {
    if (event.control == L"opt_b") beta_types.push_back(event.type);
  }
  EXPECT_EQ(beta_types, (std::vector<EventType>{kEventSetFocus, kEventMouseButtonDown,
                                                kEventMouseButtonUp, kEventClick, kEventSelect}));
}

TEST(WindowHostTest, MarkupEventWithTwoTypesAndTwoReceivers) {
  SampleWindow* window = SampleWindow::Open();
  ASSERT_NE(window, nullptr);
  WindowGuard guard(window);
  HWND hwnd = window->GetHWND();
  Control* events = Named(window, L"events");
  Control* a = Named(window, L"ev_a");
  Control* b = Named(window, L"ev_b");
  EXPECT_EQ(a->GetBkColor(), L"");
  ::SendMessageW(hwnd, WM_MOUSEMOVE, 0, ClientPoint(events));
  EXPECT_EQ(a->GetBkColor(), L"hot");
  EXPECT_EQ(b->GetBkColor(), L"hot");
  a->SetBkColor(L"gray");
  b->SetBkColor(L"gray");
  ::SendMessageW(hwnd, WM_MOUSEMOVE, 0, ClientPoint(Named(window, L"filled")));
  EXPECT_EQ(a->GetBkColor(), L"hot");
  EXPECT_EQ(b->GetBkColor(), L"hot");
}

TEST(WindowHostTest, WheelGoesToTheControlUnderTheScreenPoint) {
  SampleWindow* window = SampleWindow::Open(L"sample.xml", {L"menu_target"});
  ASSERT_NE(window, nullptr);
  WindowGuard guard(window);
  std::vector<int> deltas;
  Named(window, L"menu_target")->AttachEvent(kEventMouseScrollWheel, [&](const EventArgs& args) {
    deltas.push_back(static_cast<int>(args.wparam));
    return true;
  });
  HWND hwnd = window->GetHWND();
  ::SendMessageW(hwnd, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-120)),
                 ScreenPoint(hwnd, Named(window, L"menu_target")));
  ::SendMessageW(hwnd, WM_MOUSEWHEEL, MAKEWPARAM(0, 240),
                 ScreenPoint(hwnd, Named(window, L"filled")));
  EXPECT_EQ(deltas, (std::vector<int>{-120}));
}

class ShiftKey {
 public:
  explicit ShiftKey(bool down) {
    ::GetKeyboardState(saved_);
    BYTE keys[256];
    ::GetKeyboardState(keys);
    keys[VK_SHIFT] = down ? 0x80 : 0;
    ::SetKeyboardState(keys);
  }
  ~ShiftKey() { ::SetKeyboardState(saved_); }

 private:
  BYTE saved_[256];
};

TEST(WindowHostTest, TabAndShiftTabMoveAmongActionableControlsAndWrap) {
  SampleWindow* window = SampleWindow::Open();
  ASSERT_NE(window, nullptr);
  WindowGuard guard(window);
  HWND hwnd = window->GetHWND();
  Control* first = Named(window, L"minbtn");
  Control* last = Named(window, L"events");  // a button box; the rows are only labels

  {
    // Without a focus control Tab starts at the first stop, Shift+Tab at the
    // last.
    ShiftKey shift(false);
    ::SendMessageW(hwnd, WM_KEYDOWN, VK_TAB, 0);
    EXPECT_EQ(window->GetFocusControl(), first);
    EXPECT_TRUE(window->IsFocusRingShown());
  }
  window->SetFocusControl(nullptr);
  {
    ShiftKey shift(true);
    ::SendMessageW(hwnd, WM_KEYDOWN, VK_TAB, 0);
    EXPECT_EQ(window->GetFocusControl(), last);
  }
  window->SetFocusControl(Named(window, L"check"));
  {
    // Plain controls, labels and the progress bar are passed over.
    ShiftKey shift(false);
    ::SendMessageW(hwnd, WM_KEYDOWN, VK_TAB, 0);
    EXPECT_EQ(window->GetFocusControl(), Named(window, L"ok"));
    ::SendMessageW(hwnd, WM_KEYDOWN, VK_TAB, 0);
    EXPECT_EQ(window->GetFocusControl(), last);
    ::SendMessageW(hwnd, WM_KEYDOWN, VK_TAB, 0);
    EXPECT_EQ(window->GetFocusControl(), first);
  }
  {
    ShiftKey shift(true);
    ::SendMessageW(hwnd, WM_KEYDOWN, VK_TAB, 0);
    EXPECT_EQ(window->GetFocusControl(), last);
    ::SendMessageW(hwnd, WM_KEYDOWN, VK_TAB, 0);
    EXPECT_EQ(window->GetFocusControl(), Named(window, L"ok"));
  }
  // A mouse press hides the ring again.
  ::SendMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, ClientPoint(Named(window, L"label")));
  ::SendMessageW(hwnd, WM_LBUTTONUP, 0, ClientPoint(Named(window, L"label")));
  EXPECT_FALSE(window->IsFocusRingShown());
  // Other keys go to the focus control, and the release to the same one.
  Control* ok = Named(window, L"ok");
  window->SetFocusControl(ok);
  std::vector<EventType> keys;
  ok->AttachAll([&](const EventArgs& args) {
    keys.push_back(args.type);
    return true;
  });
  ::SendMessageW(hwnd, WM_KEYDOWN, 'A', 0);
  ::SendMessageW(hwnd, WM_CHAR, 'a', 0);
  ::SendMessageW(hwnd, WM_KEYUP, 'A', 0);
  EXPECT_EQ(keys, (std::vector<EventType>{kEventKeyDown, kEventChar, kEventKeyUp}));
  EXPECT_EQ(window->GetKeyControl(), nullptr);
}

TEST(WindowHostTest, HoverShowsTheControlsTooltip) {
  SampleWindow* window = SampleWindow::Open();
  ASSERT_NE(window, nullptr);
  WindowGuard guard(window);
  HWND hwnd = window->GetHWND();
  // A control without a tooltip text makes no tooltip window.
  Control* ok = Named(window, L"ok");
  ASSERT_TRUE(ok->GetToolTipText().empty());
  ::SendMessageW(hwnd, WM_MOUSEMOVE, 0, ClientPoint(ok));
  ::SendMessageW(hwnd, WM_MOUSEHOVER, 0, ClientPoint(ok));
  EXPECT_EQ(window->GetTooltipWindow(), nullptr);
  Control* close = Named(window, L"closebtn");
  ::SendMessageW(hwnd, WM_MOUSEMOVE, 0, ClientPoint(close));
  EXPECT_EQ(::SendMessageW(hwnd, WM_MOUSEHOVER, 0, ClientPoint(close)), 0);
  HWND tooltip = window->GetTooltipWindow();
  ASSERT_NE(tooltip, nullptr);
  wchar_t class_name[64] = {};
  ::GetClassNameW(tooltip, class_name, 64);
  EXPECT_STREQ(class_name, L"tooltips_class32");
  EXPECT_EQ(::GetWindow(tooltip, GW_OWNER), hwnd);
  wchar_t text[64] = {};
  TOOLINFOW tool = {};
  tool.cbSize = sizeof(tool);
  tool.hwnd = hwnd;
  tool.uId = reinterpret_cast<UINT_PTR>(hwnd);
  tool.lpszText = text;
  ::SendMessageW(tooltip, TTM_GETTEXTW, 64, reinterpret_cast<LPARAM>(&tool));
  EXPECT_STREQ(text, L"Close");
  EXPECT_TRUE(::IsWindowVisible(tooltip));
  // A hover over one without a text then hides the close button's (no move
  // first: leaving the button would hide it anyway).
  ::SendMessageW(hwnd, WM_MOUSEHOVER, 0, ClientPoint(ok));
  EXPECT_FALSE(::IsWindowVisible(tooltip));
}

TEST(WindowHostTest, CloseFadesOutAndDestroysTheWindowThreeHundredMillisecondsLater) {
  bool deleted = false;
  SampleWindow* window = SampleWindow::Open();
  ASSERT_NE(window, nullptr);
  WindowGuard guard(window);
  window->on_destroyed = [&] { deleted = true; };
  std::vector<EventType> closing;
  window->AttachWindowEvent(kEventWindowClose, [&](const EventArgs& args) {
    closing.push_back(args.type);
    return true;
  });
  HWND hwnd = window->GetHWND();
  WindowTimers().PulseFor(400);
  PumpMessages();
  ASSERT_EQ(window->GetWindowAlpha(), 255);
  Control* root = window->GetRoot();

  Click(hwnd, Named(window, L"closebtn"));
  WindowTimers().PulseFor(288);
  PumpMessages();
  ASSERT_TRUE(::IsWindow(hwnd));
  // The fade has taken the window's alpha down and hidden the root.
  EXPECT_EQ(window->GetWindowAlpha(), 0);
  EXPECT_FALSE(root->IsVisible());
  EXPECT_FALSE(deleted);

  WindowTimers().PulseFor(16);
  PumpMessages();
  EXPECT_FALSE(::IsWindow(hwnd));
  EXPECT_TRUE(deleted);
  EXPECT_EQ(closing, (std::vector<EventType>{kEventWindowClose}));
}

TEST(WindowHostTest, AMissingOrBrokenSkinShowsTheErrorBoxAndMakesNoWindow) {
  for (const wchar_t* file : {L"missing.xml", L"broken.xml"}) {
    std::atomic<bool> done{false};
    std::wstring seen_text;
    std::thread closer([&] {
      for (int i = 0; i < 500 && !done; ++i) {
        HWND box = ::FindWindowW(L"#32770", L"Tessaly");
        if (box != nullptr) {
          wchar_t text[300] = {};
          ::GetDlgItemTextW(box, 0xFFFF, text, 300);
          seen_text = text;
          ::PostMessageW(box, WM_COMMAND, IDOK, 0);
          return;
        }
        ::Sleep(10);
      }
    });
    bool deleted = false;
    auto* window = new SampleWindow(file);
    window->on_destroyed = [&] { deleted = true; };
    HWND hwnd = window->Create(nullptr, L"Sample", WS_POPUP, 0);
    done = true;
    closer.join();
    EXPECT_EQ(hwnd, nullptr);
    EXPECT_TRUE(deleted);
    EXPECT_EQ(::FindWindowW(L"UiSampleWindow", nullptr), nullptr);
    const std::wstring expected = std::wstring(L"Failed to load xml file ") + L"sample\\" + file;
    EXPECT_EQ(seen_text, expected);
  }
}

TEST(WindowHostTest, ARootSizedByContentSizesTheWindowAndCustomElementsUseTheHook) {
  SampleWindow* window = SampleWindow::Open(L"auto.xml");
  ASSERT_NE(window, nullptr);
  WindowGuard guard(window);
  RECT rect;
  ::GetWindowRect(window->GetHWND(), &rect);
  EXPECT_EQ(rect.right - rect.left, 120);
  EXPECT_EQ(rect.bottom - rect.top, 90);
  EXPECT_NE(window->FindControlByName(L"custom"), nullptr);
  // No shadow: the root is the skin's own box.
  EXPECT_EQ(dynamic_cast<ShadowBox*>(window->GetRoot()), nullptr);
  EXPECT_EQ(testing::BackBufferPixel(window, 60, 40), 0xffe03020u);
}

TEST(WindowHostTest, AWindowThatFadedInHiddenHasItsFirstFrameSeenWhenItShows) {
  auto* window = new SampleWindow();
  ASSERT_NE(window->Create(nullptr, L"Sample", WS_POPUP, 0), nullptr);
  WindowGuard guard(window);
  // Hidden, it still lays out, paints and fades in: nobody sees it.
  PumpMessages();
  WindowTimers().PulseFor(400);
  PumpMessages();
  EXPECT_EQ(window->GetWindowAlpha(), 255);
  EXPECT_GT(window->GetPresentCount(), 0u);
  EXPECT_EQ(window->first_frames_shown, 0);
  window->Show(true, false);
  PumpMessages();
  EXPECT_EQ(window->first_frames_shown, 1);
  window->Show(false);
  window->Show(true, false);
  PumpMessages();
  EXPECT_EQ(window->first_frames_shown, 1);
}

// The fade starts from clear and speeds up slowly, so the first frame goes
// out nearly clear. The work waiting for that frame comes after the step the
// fade reached while it was presented: a window does not stay at its
// faintest while its start-up work runs.
TEST(WindowHostTest, TheFadesNextStepGoesOutBeforeTheWorkThatWaitedForTheFirstFrame) {
  auto* window = new SampleWindow();
  ASSERT_NE(window->Create(nullptr, L"Sample", WS_POPUP, 0), nullptr);
  WindowGuard guard(window);
  unsigned presents_when_left_work_ran = 0;
  window->AfterFirstFrame([&] { presents_when_left_work_ran = window->GetPresentCount(); });
  window->Show(true, false);
  MSG msg;
  while (window->GetPresentCount() == 0 && ::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  ASSERT_EQ(window->GetPresentCount(), 1u);
  EXPECT_EQ(window->GetWindowAlpha(), 1);
  // Nothing of the first frame's work has run under the paint that
  // presented it, and work handed over now still waits for it.
  EXPECT_EQ(window->first_frames_shown, 0);
  EXPECT_EQ(presents_when_left_work_ran, 0u);
  int first_frames_when_handed_work_ran = -1;
  window->AfterFirstFrame([&] { first_frames_when_handed_work_ran = window->first_frames_shown; });
  EXPECT_EQ(first_frames_when_handed_work_ran, -1);

  // Presenting it took 30 ms.
  WindowTimers().clock.AdvanceMs(30);
  PumpMessages();
  EXPECT_EQ(window->first_frames_shown, 1);
  EXPECT_EQ(window->presents_at_first_frame_shown, 2u);
  EXPECT_GT(window->alpha_at_first_frame_shown, 1);
  EXPECT_LT(window->alpha_at_first_frame_shown, 255);
  EXPECT_EQ(presents_when_left_work_ran, 2u);
  EXPECT_EQ(first_frames_when_handed_work_ran, 1);
  // The fade goes on from there.
  WindowTimers().PulseFor(400);
  PumpMessages();
  EXPECT_EQ(window->GetWindowAlpha(), 255);
  EXPECT_EQ(window->first_frames_shown, 1);

  // A window that is not layered shows no alpha: nothing is presented again.
  auto* plain = new SampleWindow();
  ASSERT_NE(plain->Create(nullptr, L"Plain", WS_POPUP, 0, false), nullptr);
  WindowGuard plain_guard(plain);
  plain->Show(true, false);
  while (plain->GetPresentCount() == 0 && ::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  ASSERT_EQ(plain->GetPresentCount(), 1u);
  WindowTimers().clock.AdvanceMs(30);
  PumpMessages();
  EXPECT_EQ(plain->first_frames_shown, 1);
  EXPECT_EQ(plain->presents_at_first_frame_shown, 1u);
}

TEST(WindowHostTest, WorkLeftForTheFirstFrameRunsOnceTheUserSeesIt) {
  auto* window = new SampleWindow(L"accessible.xml");
  ASSERT_NE(window->Create(nullptr, L"Sample", WS_POPUP, 0), nullptr);
  WindowGuard guard(window);
  auto* field = dynamic_cast<RichEdit*>(Named(window, L"field"));
  ASSERT_NE(field, nullptr);
  // The read-only one-line field draws itself until then.
  EXPECT_TRUE(field->IsWaitingForFirstFrame());
  int runs = 0;
  window->AfterFirstFrame([&runs] { ++runs; });
  // Painted and faded in while hidden: nobody has seen it.
  PumpMessages();
  WindowTimers().PulseFor(400);
  PumpMessages();
  EXPECT_EQ(runs, 0);
  EXPECT_TRUE(field->IsWaitingForFirstFrame());
  window->Show(true, false);
  PumpMessages();
  EXPECT_EQ(runs, 1);
  EXPECT_FALSE(field->IsWaitingForFirstFrame());
  EXPECT_TRUE(field->HasTextServices());
  // Once seen, work handed over runs at once, and only once.
  window->AfterFirstFrame([&runs] { ++runs; });
  EXPECT_EQ(runs, 2);
  window->Show(false);
  window->Show(true, false);
  PumpMessages();
  EXPECT_EQ(runs, 2);
}

TEST(WindowHostTest, AWindowClosedByWhatItsFirstFrameStartsDropsTheWorkLeftForIt) {
  // The owner's first-frame work closes the window before the work left for
  // the first frame has run.
  struct Closing : SampleWindow {
    void OnFirstFrameShown() override { ::DestroyWindow(GetHWND()); }
  };
  auto* window = new Closing();
  ASSERT_NE(window->Create(nullptr, L"Sample", WS_POPUP, 0), nullptr);
  const HWND hwnd = window->GetHWND();
  bool ran = false;
  window->AfterFirstFrame([&ran] { ran = true; });
  // Faded in while hidden; seen as it shows.
  PumpMessages();
  WindowTimers().PulseFor(400);
  PumpMessages();
  window->Show(true, false);
  PumpMessages();
  EXPECT_FALSE(::IsWindow(hwnd));
  EXPECT_FALSE(ran);
}

TEST(WindowHostTest, AWindowThatIsNotLayeredCopiesToTheScreen) {
  auto* window = new SampleWindow();
  ASSERT_NE(window->Create(nullptr, L"Sample", WS_POPUP, 0, false), nullptr);
  WindowGuard guard(window);
  window->Show(true, false);
  ::UpdateWindow(window->GetHWND());
  PumpMessages();
  EXPECT_EQ(::GetWindowLongPtrW(window->GetHWND(), GWL_EXSTYLE) & WS_EX_LAYERED, 0);
  EXPECT_GT(window->GetPresentCount(), 0u);
  const RECT filled = Named(window, L"filled")->GetRect();
  EXPECT_EQ(testing::BackBufferPixel(window, filled.left + 5, filled.top + 5) & 0xffffff,
            0xe03020u);
}

TEST(WindowHostTest, MessageFiltersSeeMessagesFirst) {
  SampleWindow* window = SampleWindow::Open(L"sample.xml", {L"ok"});
  ASSERT_NE(window, nullptr);
  WindowGuard guard(window);
  struct Filter : IUIMessageFilter {
    LRESULT MessageHandler(UINT message, WPARAM, LPARAM, bool& handled) override {
      seen.push_back(message);
      handled = message == WM_MOUSEMOVE || message == WM_KEYDOWN;
      return 5;
    }
    std::vector<UINT> seen;
  } filter;
  window->AddMessageFilter(&filter);
  HWND hwnd = window->GetHWND();
  window->SetFocusControl(Named(window, L"ok"));
  window->events.clear();
  // A claimed mouse move still reaches the controls; a claimed key does not.
  ::SendMessageW(hwnd, WM_MOUSEMOVE, 0, ClientPoint(Named(window, L"ok")));
  EXPECT_EQ(window->GetHoverControl(), Named(window, L"ok"));
  ::SendMessageW(hwnd, WM_KEYDOWN, 'A', 0);
  for (const Event& event : window->events) EXPECT_NE(event.type, kEventKeyDown);
  window->RemoveMessageFilter(&filter);
  const size_t seen = filter.seen.size();
  ::SendMessageW(hwnd, WM_KEYDOWN, 'A', 0);
  EXPECT_EQ(filter.seen.size(), seen);
}

TEST(WindowHostTest, RichEditsTakeCaptionClicksAndMayKeepTheTabKey) {
  SampleWindow* window = SampleWindow::Open(L"edits.xml", {L"tabbed"});
  ASSERT_NE(window, nullptr);
  WindowGuard guard(window);
  HWND hwnd = window->GetHWND();
  const RECT edit = Named(window, L"caption_edit")->GetRect();
  EXPECT_EQ(HitTest(hwnd, (edit.left + edit.right) / 2, (edit.top + edit.bottom) / 2), HTCLIENT);
  EXPECT_EQ(HitTest(hwnd, 250, 10), HTCAPTION);  // the box beside it

  Control* tabbed = Named(window, L"tabbed");
  window->SetFocusControl(tabbed);
  window->events.clear();
  ::SendMessageW(hwnd, WM_KEYDOWN, VK_TAB, 0);
  EXPECT_EQ(window->GetFocusControl(), tabbed);
  ASSERT_FALSE(window->events.empty());
  EXPECT_EQ(window->events[0].type, kEventKeyDown);

  Control* plain = Named(window, L"plain");
  window->SetFocusControl(plain);
  // While a layout pass is pending, Tab waits for it.
  Named(window, L"after")->SetFixedHeight(31);
  ASSERT_TRUE(window->IsLayoutPending());
  ::SendMessageW(hwnd, WM_KEYDOWN, VK_TAB, 0);
  EXPECT_EQ(window->GetFocusControl(), plain);
  PumpMessages();
  EXPECT_EQ(window->GetFocusControl(), Named(window, L"after"));
}

}  // namespace
}  // namespace ui
