#include "app/desktop_shell.h"

#include <gtest/gtest.h>
#include <thread>

namespace {

// The one test that lets the system show a real box: it must appear as a
// window with the assistant's caption and text, and end when answered.
TEST(DesktopShellTest, ErrorBoxIsARealWindowWithCaptionAndText) {
  const std::wstring text = L"\u4E0B\u8F7D\u5931\u8D25\uFF01 (test)";
  std::thread shower([&] { ShowError(DesktopShell::System(), nullptr, text); });
  HWND box = nullptr;
  for (int i = 0; i < 400 && box == nullptr; ++i) {
    box = ::FindWindowW(L"#32770", L"\u9519\u8BEF");
    if (box == nullptr) ::Sleep(25);
  }
  ASSERT_NE(nullptr, box) << "no message box window appeared";
  wchar_t shown[256] = {};
  ::GetDlgItemTextW(box, 0xFFFF, shown, 256);  // the box's text control
  EXPECT_EQ(text, shown);
  ::PostMessageW(box, WM_COMMAND, IDOK, 0);
  shower.join();
  EXPECT_FALSE(::IsWindow(box));
}

}  // namespace
