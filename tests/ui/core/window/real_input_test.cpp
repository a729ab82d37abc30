// Real X input: xdotool moves and clicks the pointer of the test display, and
// the system turns that into the window messages the routing sees (moves,
// hover and leave tracking, clicks, and the caption drag that the hit test
// starts).
#include <windows.h>

#include <gtest/gtest.h>
#include <string>

#include "tests/ui/core/window/window_test_support.h"
#include "ui/control/check_box.h"

namespace ui {
namespace {

using testing::PumpMessages;
using testing::SampleWindow;
using testing::WindowGuard;

// Starts xdotool (a program of the X display, not of Wine) with |arguments|;
// it runs on its own and the window sees its input as it arrives.
bool StartXdotool(const std::wstring& arguments) {
  if (::GetFileAttributesW(L"Z:\\usr\\bin\\xdotool") == INVALID_FILE_ATTRIBUTES) return false;
  std::wstring command = L"Z:\\usr\\bin\\xdotool " + arguments;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
    return false;
  }
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  return true;
}

// Pumps messages until |done| holds or five seconds pass.
template <typename Condition>
bool PumpUntil(Condition done) {
  const DWORD start = ::GetTickCount();
  while (!done()) {
    if (::GetTickCount() - start > 5000) return false;
    PumpMessages();
    ::Sleep(10);
  }
  return true;
}

std::wstring At(HWND hwnd, const Control* control, int dx = 0, int dy = 0) {
  const RECT& rect = control->GetRect();
  POINT point = {(rect.left + rect.right) / 2 + dx, (rect.top + rect.bottom) / 2 + dy};
  ::ClientToScreen(hwnd, &point);
  return std::to_wstring(point.x) + L" " + std::to_wstring(point.y);
}

TEST(RealInputTest, PointerMovesClicksLeavesAndDragsTheCaption) {
  SampleWindow* window = SampleWindow::Open();
  ASSERT_NE(window, nullptr);
  WindowGuard guard(window);
  HWND hwnd = window->GetHWND();
  // A transparent layered window lets the pointer through: fade in first.
  testing::WindowTimers().PulseFor(400);
  PumpMessages();
  Control* ok = window->FindControlByName(L"ok");
  auto* beta = dynamic_cast<CheckBox*>(window->FindControlByName(L"opt_b"));
  ASSERT_NE(beta, nullptr);

  if (!StartXdotool(L"mousemove " + At(hwnd, ok))) GTEST_SKIP() << "xdotool is not available";
  EXPECT_TRUE(PumpUntil([&] { return window->GetHoverControl() == ok; }));
  EXPECT_EQ(ok->GetState(), kControlStateHot);

  ASSERT_TRUE(StartXdotool(L"mousemove " + At(hwnd, beta) + L" click 1"));
  EXPECT_TRUE(PumpUntil([&] { return beta->IsSelected(); }));

  // Off the window: the system's WM_MOUSELEAVE ends the hover.
  ASSERT_TRUE(StartXdotool(L"mousemove 1270 1010"));
  EXPECT_TRUE(PumpUntil([&] { return window->GetEnteredControl() == nullptr; }));
  EXPECT_EQ(beta->GetState(), kControlStateNormal);

  // Pressing on the caption's title label and moving drags the window.
  RECT before;
  ::GetWindowRect(hwnd, &before);
  Control* title = window->FindControlByName(L"title");
  ASSERT_TRUE(StartXdotool(L"mousemove " + At(hwnd, title) + L" mousedown 1 sleep 0.2 mousemove " +
                           At(hwnd, title, 60, 40) + L" sleep 0.2 mouseup 1"));
  RECT after = before;
  EXPECT_TRUE(PumpUntil([&] {
    ::GetWindowRect(hwnd, &after);
    return after.left != before.left;
  }));
  EXPECT_EQ(after.left - before.left, 60);
  EXPECT_EQ(after.top - before.top, 40);
  testing::ParkCursor();
  PumpMessages();
}

}  // namespace
}  // namespace ui
