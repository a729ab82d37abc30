// The window's services around the routing: sizing from the skin, centring,
// reflection of child notifications, delayed deletion through the message
// queue, the cursor, and repaints asked for by the window alpha.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "tests/ui/core/window/window_test_support.h"
#include "ui/control/box.h"
#include "ui/control/label.h"
#include "ui/core/global_manager.h"

namespace ui {
namespace {

using testing::ClientPoint;
using testing::PumpMessages;
using testing::SampleWindow;
using testing::WindowGuard;

constexpr int kShadow = WindowShadow::kDefaultThickness;

RECT WorkArea(HWND hwnd) {
  MONITORINFO monitor = {};
  monitor.cbSize = sizeof(monitor);
  ::GetMonitorInfoW(::MonitorFromWindow(hwnd, MONITOR_DEFAULTTONEAREST), &monitor);
  return monitor.rcWork;
}

// Written after the size or before it ("percent_first.xml"), the share
// applies to the size the skin gives.
TEST(WindowServicesTest, HeightPercentTakesItsShareOfTheWorkArea) {
  for (const wchar_t* skin : {L"percent.xml", L"percent_first.xml"}) {
    SampleWindow* window = SampleWindow::Open(skin);
    ASSERT_NE(window, nullptr) << skin;
    WindowGuard guard(window);
    const RECT work = WorkArea(window->GetHWND());
    RECT rect;
    ::GetWindowRect(window->GetHWND(), &rect);
    EXPECT_EQ(rect.right - rect.left, 300 + 2 * kShadow) << skin;
    EXPECT_EQ(rect.bottom - rect.top,
              static_cast<int>((work.bottom - work.top) * 0.5) + 2 * kShadow)
        << skin;
  }
}

TEST(WindowServicesTest, HeightPercentSetWhileMaximisedOrMinimisedAppliesOnRestore) {
  SampleWindow* window = SampleWindow::Open(L"percent.xml");
  ASSERT_NE(window, nullptr);
  WindowGuard guard(window);
  HWND hwnd = window->GetHWND();
  const int work_height = WorkArea(hwnd).bottom - WorkArea(hwnd).top;
  for (int show : {SW_MAXIMIZE, SW_MINIMIZE}) {
    const double share = show == SW_MAXIMIZE ? 0.25 : 0.75;
    ::ShowWindow(hwnd, show);
    PumpMessages();
    window->SetHeightPercent(share);
    ::ShowWindow(hwnd, SW_RESTORE);
    PumpMessages();
    RECT rect;
    ::GetWindowRect(hwnd, &rect);
    EXPECT_EQ(rect.right - rect.left, 300 + 2 * kShadow) << show;
    EXPECT_EQ(rect.bottom - rect.top, static_cast<int>(work_height * share) + 2 * kShadow) << show;
  }
}

TEST(WindowServicesTest, CenterWindowCentresOnTheWorkArea) {
  SampleWindow* window = SampleWindow::Open();
  ASSERT_NE(window, nullptr);
  WindowGuard guard(window);
  window->CenterWindow();
  const RECT work = WorkArea(window->GetHWND());
  RECT rect;
  ::GetWindowRect(window->GetHWND(), &rect);
  EXPECT_LE(std::abs((rect.left + rect.right) - (work.left + work.right)), 2);
  EXPECT_LE(std::abs((rect.top + rect.bottom) - (work.top + work.bottom)), 2);
  // A window larger than the work area is kept at its left and top edges.
  ::SetWindowPos(window->GetHWND(), nullptr, 0, 0, work.right - work.left + 200,
                 work.bottom - work.top + 200, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  window->CenterWindow();
  ::GetWindowRect(window->GetHWND(), &rect);
  EXPECT_EQ(rect.left, work.left - 200);
  EXPECT_EQ(rect.top, work.top - 200);
}

// A child window that answers reflected messages with a marker.
LRESULT CALLBACK ReflectTargetProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_COMMAND + 0x2000) return 0x1234 + static_cast<LRESULT>(wparam);
  if (message == WM_NOTIFY + 0x2000) return 0x4321;
  return ::DefWindowProcW(hwnd, message, wparam, lparam);
}

TEST(WindowServicesTest, ChildNotificationsAreReflectedToTheChild) {
  SampleWindow* window = SampleWindow::Open();
  ASSERT_NE(window, nullptr);
  WindowGuard guard(window);
  WNDCLASSW wc = {};
  wc.lpfnWndProc = &ReflectTargetProc;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.lpszClassName = L"UiReflectTarget";
  ::RegisterClassW(&wc);
  HWND hwnd = window->GetHWND();
  HWND child = ::CreateWindowExW(0, L"UiReflectTarget", L"", WS_CHILD, 0, 0, 10, 10, hwnd, nullptr,
                                 ::GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(child, nullptr);
  EXPECT_EQ(::SendMessageW(hwnd, WM_COMMAND, 2, reinterpret_cast<LPARAM>(child)), 0x1236);
  NMHDR header = {};
  header.hwndFrom = child;
  EXPECT_EQ(::SendMessageW(hwnd, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&header)), 0x4321);
  // Without a header there is nothing to reflect.
  EXPECT_EQ(::SendMessageW(hwnd, WM_NOTIFY, 0, 0), 0);
  ::DestroyWindow(child);
}

TEST(WindowServicesTest, AControlRemovedInItsOwnHandlerIsDeletedFromTheQueue) {
  SampleWindow* window = SampleWindow::Open();
  ASSERT_NE(window, nullptr);
  WindowGuard guard(window);
  Control* ok = window->FindControlByName(L"ok");
  ASSERT_NE(ok, nullptr);
  std::weak_ptr<cbase::WeakFlag> alive = ok->GetWeakFlag();
  ok->AttachClick([ok](const EventArgs&) {
    ok->GetParent()->Remove(ok);
    return true;
  });
  const LPARAM point = ClientPoint(ok);
  ::SendMessageW(window->GetHWND(), WM_LBUTTONDOWN, MK_LBUTTON, point);
  ::SendMessageW(window->GetHWND(), WM_LBUTTONUP, 0, point);
  EXPECT_FALSE(alive.expired());
  EXPECT_EQ(window->DelayedCleanupCount(), 1u);
  EXPECT_EQ(window->FindControlByName(L"ok"), ok);
  PumpMessages();
  EXPECT_TRUE(alive.expired());
  EXPECT_EQ(window->FindControlByName(L"ok"), nullptr);
  EXPECT_EQ(window->GetPressedControl(), nullptr);
}

TEST(WindowServicesTest, SetCursorAsksTheControlUnderTheCursor) {
  SampleWindow* window = SampleWindow::Open(L"sample.xml", {L"ok"});
  ASSERT_NE(window, nullptr);
  WindowGuard guard(window);
  HWND hwnd = window->GetHWND();
  Control* ok = window->FindControlByName(L"ok");
  const RECT& rect = ok->GetRect();
  POINT point = {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
  ::ClientToScreen(hwnd, &point);
  ASSERT_TRUE(::SetCursorPos(point.x, point.y));
  window->events.clear();
  EXPECT_EQ(::SendMessageW(hwnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(hwnd),
                           MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)),
            TRUE);
  ASSERT_EQ(window->events.size(), 1u);
  EXPECT_EQ(window->events[0].type, kEventSetCursor);
  // While a control is pressed the cursor is left alone.
  ::SendMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON,
                 ClientPoint(window->FindControlByName(L"filled")));
  window->events.clear();
  EXPECT_EQ(::SendMessageW(hwnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(hwnd),
                           MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)),
            TRUE);
  EXPECT_TRUE(window->events.empty());
  ::SendMessageW(hwnd, WM_LBUTTONUP, 0, 0);
  testing::ParkCursor();
}

TEST(WindowServicesTest, WindowAlphaAndInvalidationRepaintTheLayeredWindow) {
  SampleWindow* window = SampleWindow::Open();
  ASSERT_NE(window, nullptr);
  WindowGuard guard(window);
  PumpMessages();
  const unsigned presented = window->GetPresentCount();
  // A new alpha presents the frame already composed: a mark left in the back
  // buffer survives it.
  const RECT& label = window->FindControlByName(L"label")->GetRect();
  auto* back = reinterpret_cast<DWORD*>(window->GetRenderContext()->GetBits());
  const int stride = window->GetRenderContext()->GetWidth();
  back[label.top * stride + label.left] = 0xff123456u;
  window->SetWindowAlpha(128);
  PumpMessages();
  EXPECT_EQ(window->GetWindowAlpha(), 128);
  EXPECT_EQ(window->GetPresentCount(), presented + 1);
  EXPECT_EQ(testing::BackBufferPixel(window, label.left, label.top), 0xff123456u);
  // Several invalidations before the queue runs make one paint.
  window->FindControlByName(L"filled")->SetBkColor(L"green");
  window->FindControlByName(L"label")->Invalidate();
  PumpMessages();
  EXPECT_EQ(window->GetPresentCount(), presented + 2);
  EXPECT_NE(testing::BackBufferPixel(window, label.left, label.top), 0xff123456u);
  const RECT& filled = window->FindControlByName(L"filled")->GetRect();
  EXPECT_EQ(testing::BackBufferPixel(window, filled.left + 3, filled.top + 3), 0xff20a040u);
  // A change of size lays out and paints in one go.
  auto* title = dynamic_cast<Label*>(window->FindControlByName(L"title"));
  ASSERT_NE(title, nullptr);
  const int width = title->GetWidth();
  title->SetText(L"A much longer title of the sample window");
  PumpMessages();
  EXPECT_GT(title->GetWidth(), width);
  EXPECT_EQ(window->GetPresentCount(), presented + 3);
}

TEST(WindowServicesTest, LosingTheFocusEndsTheDragOfAControlThatAsksForIt) {
  SampleWindow* window = SampleWindow::Open(L"sample.xml", {L"dragger", L"ok"});
  ASSERT_NE(window, nullptr);
  WindowGuard guard(window);
  HWND hwnd = window->GetHWND();
  for (const wchar_t* name : {L"ok", L"dragger"}) {
    Control* control = window->FindControlByName(name);
    ::SendMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, ClientPoint(control));
    window->events.clear();
    ::SendMessageW(hwnd, WM_KILLFOCUS, 0, 0);
    if (std::wstring(name) == L"dragger") {
      EXPECT_EQ(window->GetPressedControl(), nullptr);
      ASSERT_EQ(window->events.size(), 1u);
      EXPECT_EQ(window->events[0].type, kEventMouseButtonUp);
    } else {
      // A plain control keeps its press.
      EXPECT_EQ(window->GetPressedControl(), control);
      EXPECT_TRUE(window->events.empty());
      ::SendMessageW(hwnd, WM_LBUTTONUP, 0, ClientPoint(control));
    }
  }
}

TEST(WindowServicesTest, WmCloseEndsHoverAndPressAndDestroysTheWindow) {
  SampleWindow* window = SampleWindow::Open();
  ASSERT_NE(window, nullptr);
  bool deleted = false;
  window->on_destroyed = [&] { deleted = true; };
  HWND hwnd = window->GetHWND();
  std::vector<EventType> seen;
  Control* ok = window->FindControlByName(L"ok");
  ok->AttachAll([&](const EventArgs& args) {
    seen.push_back(args.type);
    return true;
  });
  ::SendMessageW(hwnd, WM_MOUSEMOVE, 0, ClientPoint(ok));
  ::SendMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, ClientPoint(ok));
  seen.clear();
  ::SendMessageW(hwnd, WM_CLOSE, 0, 0);
  EXPECT_FALSE(::IsWindow(hwnd));
  EXPECT_TRUE(deleted);
  // The release still counts where the mouse last was: over the button.
  EXPECT_EQ(seen, (std::vector<EventType>{kEventMouseLeave, kEventMouseButtonUp, kEventClick,
                                          kEventKillFocus}));
}

TEST(WindowServicesTest, ImeCompositionEventsGoToTheFocusControl) {
  SampleWindow* window = SampleWindow::Open(L"sample.xml", {L"ok"});
  ASSERT_NE(window, nullptr);
  WindowGuard guard(window);
  window->SetFocusControl(window->FindControlByName(L"ok"));
  window->events.clear();
  ::SendMessageW(window->GetHWND(), WM_IME_STARTCOMPOSITION, 0, 0);
  ::SendMessageW(window->GetHWND(), WM_IME_ENDCOMPOSITION, 0, 0);
  ASSERT_EQ(window->events.size(), 2u);
  EXPECT_EQ(window->events[0].type, kEventImeStartComposition);
  EXPECT_EQ(window->events[1].type, kEventImeEndComposition);
}

TEST(WindowServicesTest, DpiChangeMovesTheWindowToTheSuggestedRectangle) {
  SampleWindow* window = SampleWindow::Open();
  ASSERT_NE(window, nullptr);
  WindowGuard guard(window);
  RECT suggested = {50, 60, 50 + 500, 60 + 400};
  ::SendMessageW(window->GetHWND(), WM_DPICHANGED, MAKEWPARAM(96, 96),
                 reinterpret_cast<LPARAM>(&suggested));
  RECT rect;
  ::GetWindowRect(window->GetHWND(), &rect);
  EXPECT_EQ(rect, suggested);
  // Scaling stays off: sizes and the shadow are unchanged.
  EXPECT_EQ(GlobalManager::GetDpiScale(), 100);
  EXPECT_EQ(window->GetShadowThickness(), (RECT{kShadow, kShadow, kShadow, kShadow}));
  ::UpdateWindow(window->GetHWND());
  PumpMessages();
  EXPECT_EQ(window->FindControlByName(L"root_box")->GetRect(),
            (RECT{kShadow, kShadow, 500 - kShadow, 400 - kShadow}));
}

// A move to a 200 % monitor and back, with lengths following the scale:
// every length of the skin (the window's, the root's, the global classes',
// margins and paddings) doubles and comes back exactly.
TEST(WindowServicesTest, DpiChangeAppliesEveryLengthOfTheSkinAgain) {
  GlobalManager::SetDisplayScale(100, true);
  SampleWindow* window = SampleWindow::Open();
  ASSERT_NE(window, nullptr);
  WindowGuard guard(window);
  HWND hwnd = window->GetHWND();
  auto width_of = [window](const wchar_t* name) {
    const RECT rect = window->FindControlByName(name)->GetRect();
    return rect.right - rect.left;
  };
  auto change_dpi = [hwnd](int dpi, int width, int height) {
    RECT suggested = {40, 30, 40 + width, 30 + height};
    ::SendMessageW(hwnd, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
    ::UpdateWindow(hwnd);
    PumpMessages();
  };
  const int outer_w = 400 + 2 * kShadow;
  const int outer_h = 300 + 2 * kShadow;

  change_dpi(192, 2 * outer_w, 2 * outer_h);
  EXPECT_EQ(GlobalManager::GetDpiScale(), 200);
  const int shadow = 2 * kShadow;
  EXPECT_EQ(window->GetShadowThickness(), (RECT{shadow, shadow, shadow, shadow}));
  EXPECT_EQ(window->FindControlByName(L"root_box")->GetRect(),
            (RECT{shadow, shadow, shadow + 800, shadow + 600}));
  EXPECT_EQ(width_of(L"ok"), 160);       // width="80"
  EXPECT_EQ(width_of(L"closebtn"), 60);  // the global class "sysbtn"
  EXPECT_EQ(window->FindControlByName(L"bar")->GetRect().bottom, shadow + 80);
  EXPECT_EQ(window->FindControlByName(L"progress")->GetRect().left, shadow + 20);
  EXPECT_EQ(window->GetCaptionRect(), (RECT{0, 0, 0, 80}));
  EXPECT_EQ(window->GetSizeBox(), (RECT{8, 8, 8, 8}));
  EXPECT_EQ(window->GetInitialSize().cx, 800 + 2 * shadow);

  change_dpi(96, outer_w, outer_h);
  EXPECT_EQ(window->FindControlByName(L"root_box")->GetRect(),
            (RECT{kShadow, kShadow, kShadow + 400, kShadow + 300}));
  EXPECT_EQ(width_of(L"ok"), 80);
  EXPECT_EQ(width_of(L"closebtn"), 30);
  EXPECT_EQ(window->FindControlByName(L"progress")->GetRect().left, kShadow + 10);
  EXPECT_EQ(window->GetCaptionRect(), (RECT{0, 0, 0, 40}));
  GlobalManager::SetDisplayScale(100, false);
}

TEST(WindowServicesTest, WindowAttributesWithoutShadow) {
  const std::string strings = "STRID_TITLE = Attribute title\n";
  ASSERT_TRUE(GlobalManager::LoadStringTableFromMemory(
      std::vector<unsigned char>(strings.begin(), strings.end())));

  SampleWindow* window = SampleWindow::Open(L"attributes.xml");
  ASSERT_NE(window, nullptr);
  WindowGuard guard(window);
  HWND hwnd = window->GetHWND();
  RECT rect;
  ::GetWindowRect(hwnd, &rect);
  EXPECT_EQ(rect.right - rect.left, 200);
  EXPECT_EQ(rect.bottom - rect.top, 100);
  wchar_t title[64] = {};
  ::GetWindowTextW(hwnd, title, 64);
  EXPECT_STREQ(title, L"Attribute title");
  // The rounded corners cut the window's region.
  HRGN region = ::CreateRectRgn(0, 0, 0, 0);
  EXPECT_NE(::GetWindowRgn(hwnd, region), ERROR);
  EXPECT_FALSE(::PtInRegion(region, 0, 0));
  EXPECT_TRUE(::PtInRegion(region, 100, 50));
  ::DeleteObject(region);
  // Nothing is drawn, yet the alpha repair makes the inside opaque and
  // leaves the 2-pixel edge transparent.
  EXPECT_EQ(testing::BackBufferPixel(window, 100, 50), 0xff000000u);
  EXPECT_EQ(testing::BackBufferPixel(window, 1, 50), 0u);
  EXPECT_EQ(testing::BackBufferPixel(window, 100, 98), 0u);
  GlobalManager::LoadStringTableFromMemory({});
}

TEST(WindowServicesTest, AShadowOfTheSkinsOwnLeavesTheRootsCornersAlone) {
  SampleWindow* window = SampleWindow::Open(L"shadow.xml");
  ASSERT_NE(window, nullptr);
  WindowGuard guard(window);
  RECT rect;
  ::GetWindowRect(window->GetHWND(), &rect);
  EXPECT_EQ(rect.right - rect.left, 200 + 5 + 7);
  EXPECT_EQ(rect.bottom - rect.top, 100 + 6 + 8);
  Control* inner = window->FindControlByName(L"inner");
  EXPECT_EQ(inner->GetRect(), (RECT{5, 6, 205, 106}));
  EXPECT_EQ(inner->GetBorderRound().cx, 0);
  EXPECT_EQ(testing::BackBufferPixel(window, 100, 50), 0xffffffffu);
  EXPECT_LT(testing::BackBufferPixel(window, 2, 50) >> 24, 0xffu);
}

TEST(WindowServicesTest, AModalWindowDisablesItsOwnerUntilItCloses) {
  SampleWindow* owner = SampleWindow::Open();
  ASSERT_NE(owner, nullptr);
  WindowGuard owner_guard(owner);
  auto* dialog = new SampleWindow(L"attributes.xml");
  ASSERT_NE(dialog->Create(owner->GetHWND(), L"dialog", WS_POPUP, 0), nullptr);
  WindowGuard dialog_guard(dialog);
  HWND hwnd = dialog->GetHWND();
  dialog->ShowModal();
  EXPECT_FALSE(::IsWindowEnabled(owner->GetHWND()));
  dialog->Close(IDCANCEL);
  EXPECT_TRUE(::IsWindowEnabled(owner->GetHWND()));
  testing::WindowTimers().PulseFor(400);
  PumpMessages();
  EXPECT_FALSE(::IsWindow(hwnd));
}

}  // namespace
}  // namespace ui
