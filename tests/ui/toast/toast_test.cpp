// Toasts in real windows over a test copy of the toast skin: size and place,
// the three-second close, Escape and double click (closing only once), and
// the close button of a skin that has one.
#include "ui/toast/toast.h"

#include <gdiplus.h>
#include <objidl.h>

#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <string>

#include "tests/support/message_pump.h"
#include "tests/ui/animation/fake_timing.h"
#include "ui/control/rich_edit.h"
#include "ui/core/global_manager.h"
#include "ui/core/window_builder.h"
#include "ui/render/render.h"
#include "ui/render/render_factory_gdiplus.h"

namespace ui {
namespace {

testing::FakeTimers& Timers() {
  static testing::FakeTimers* timers = new testing::FakeTimers();
  return *timers;
}

const char kGlobal[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<Global defaultfontcolor=\"ink\" disabledfontcolor=\"light_gray\">\n"
    "  <Font id=\"system_12\" name=\"system\" size=\"12\" default=\"true\"/>\n"
    "  <TextColor name=\"ink\" value=\"#ff202020\"/>\n"
    "  <TextColor name=\"black\" value=\"#ff000000\"/>\n"
    "  <TextColor name=\"light_gray\" value=\"#ffd0d0d0\"/>\n"
    "</Global>\n";

// The toast layout the assistant ships, with an optional close button.
std::string ToastSkin(bool with_close_button) {
  std::string skin =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<Window size=\"120,50\" caption=\"0,0,0,0\" shadowattached=\"false\">\n"
      "  <Box width=\"120\" height=\"auto\" bkcolor=\"black\">\n"
      "    <RichEdit name=\"content\" width=\"120\" height=\"50\" margin=\"0,8,0,0\" "
      "align=\"hcenter\" font=\"system_12\" multiline=\"false\" vscrollbar=\"false\" "
      "autovscroll=\"false\" enabled=\"false\" rich=\"false\" mouse=\"false\" "
      "disabledtextcolor=\"light_gray\"/>\n";
  if (with_close_button) {
    skin +=
        "    <Button name=\"close_btn\" float=\"true\" width=\"10\" height=\"10\" "
        "halign=\"right\" visible=\"false\" bkcolor=\"light_gray\"/>\n";
  }
  return skin + "  </Box>\n</Window>\n";
}

std::wstring TempRoot(const wchar_t* name) {
  wchar_t temp[MAX_PATH];
  ::GetTempPathW(MAX_PATH, temp);
  return std::wstring(temp) + L"toast_test_" + std::to_wstring(::GetCurrentProcessId()) + L"_" +
         name + L"\\";
}

void WriteFile(const std::wstring& path, const std::string& content) {
  std::ofstream out(path.c_str(), std::ios::binary);
  out << content;
}

std::wstring MakeSkinRoot(const wchar_t* name, bool with_close_button) {
  const std::wstring root = TempRoot(name);
  ::CreateDirectoryW(root.c_str(), nullptr);
  ::CreateDirectoryW((root + L"toast").c_str(), nullptr);
  WriteFile(root + L"global.xml", kGlobal);
  WriteFile(root + L"toast\\toast.xml", ToastSkin(with_close_button));
  return root;
}

class ToastSession : public ::testing::Environment {
 public:
  void SetUp() override {
    Gdiplus::GdiplusStartupInput input;
    ASSERT_EQ(Gdiplus::GdiplusStartup(&token_, &input, nullptr), Gdiplus::Ok);
    SetRenderFactory(std::make_unique<RenderFactory_GdiPlus>());
    Control::SetAnimationTimerManager(&Timers().manager);
    GlobalManager::SetResourcePath(MakeSkinRoot(L"plain", false));
    WindowBuilder global;
    global.Create(L"global.xml");
  }
  void TearDown() override {
    GlobalManager::Shutdown();
    SetRenderFactory(nullptr);
    Gdiplus::GdiplusShutdown(token_);
  }

 private:
  ULONG_PTR token_ = 0;
};

const ::testing::Environment* const kSession =
    ::testing::AddGlobalTestEnvironment(new ToastSession);

class ToastTest : public ::testing::Test {
 protected:
  void SetUp() override {
    GlobalManager::SetResourcePath(TempRoot(L"plain"));
    owner_ = ::CreateWindowExW(0, L"STATIC", L"owner", WS_POPUP | WS_VISIBLE, 100, 100, 600, 400,
                               nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(owner_, nullptr);
  }
  void TearDown() override {
    // Whatever is still open closes before the next test.
    if (!alive_.expired()) {
      Timers().PulseFor(3500);
      testing_support::PumpPendingMessages();
    }
    ::DestroyWindow(owner_);
  }

  // Opens a toast and lets its first layout and paint run.
  Toast* Open(const std::wstring& text) {
    Toast* toast = Toast::Open(text, owner_);
    if (toast == nullptr) return nullptr;
    alive_ = toast->GetWeakFlag();
    toast->AttachWindowEvent(kEventWindowClose, [this](const EventArgs&) {
      ++closes_;
      return true;
    });
    ::UpdateWindow(toast->GetHWND());
    testing_support::PumpPendingMessages();
    return toast;
  }
  // Lets a fade-out run and the native window go.
  void FinishClosing() {
    Timers().PulseFor(320);
    testing_support::PumpPendingMessages();
  }

  HWND owner_ = nullptr;
  std::weak_ptr<cbase::WeakFlag> alive_;
  int closes_ = 0;
};

TEST_F(ToastTest, TheToastKeepsItsWidthFollowsItsTextInHeightAndSitsOverItsOwner) {
  Toast* toast = Open(L"\u590d\u5236\u6210\u529f");
  ASSERT_NE(toast, nullptr);
  RichEdit* content = toast->GetContent();
  ASSERT_NE(content, nullptr);
  EXPECT_EQ(content->GetText(), L"\u590d\u5236\u6210\u529f");
  EXPECT_EQ(toast->GetCloseButton(), nullptr);
  const int natural = content->NaturalSize(120);
  EXPECT_GT(natural, 0);
  EXPECT_LT(natural, 50);
  EXPECT_EQ(content->GetFixedHeight(), natural);

  RECT window = {};
  ::GetWindowRect(toast->GetHWND(), &window);
  EXPECT_EQ(window.right - window.left, 120);
  EXPECT_EQ(window.bottom - window.top, natural + 8);
  // Centred on the owner (100..700 × 100..500).
  EXPECT_NEAR((window.left + window.right) / 2, 400, 1);
  // Centred while it still had the skin's height of 50; it then shrinks to
  // its content from the top.
  EXPECT_NEAR(window.top, 300 - 25, 8);
  EXPECT_EQ(::GetWindow(toast->GetHWND(), GW_OWNER), owner_);
}

TEST_F(ToastTest, ItClosesByItselfAfterThreeSeconds) {
  ASSERT_NE(Open(L"bye"), nullptr);
  Timers().PulseFor(2900);
  testing_support::PumpPendingMessages();
  EXPECT_FALSE(alive_.expired());
  Timers().PulseFor(200);
  FinishClosing();
  EXPECT_TRUE(alive_.expired());
  EXPECT_EQ(closes_, 1);
}

TEST_F(ToastTest, ADoubleClickClosesItAndTheTimerLaterDoesNothing) {
  Toast* toast = Open(L"twice");
  ASSERT_NE(toast, nullptr);
  ::SendMessageW(toast->GetHWND(), WM_LBUTTONDBLCLK, 0, MAKELPARAM(5, 5));
  FinishClosing();
  EXPECT_TRUE(alive_.expired());
  Timers().PulseFor(3500);
  testing_support::PumpPendingMessages();
  EXPECT_EQ(closes_, 1);
}

TEST_F(ToastTest, EscapeClosesIt) {
  Toast* toast = Open(L"esc");
  ASSERT_NE(toast, nullptr);
  ::SendMessageW(toast->GetHWND(), WM_KEYDOWN, VK_ESCAPE, 0);
  FinishClosing();
  EXPECT_TRUE(alive_.expired());
  EXPECT_EQ(closes_, 1);
}

TEST_F(ToastTest, SeveralToastsLiveIndependently) {
  Toast* first = Open(L"one");
  ASSERT_NE(first, nullptr);
  std::weak_ptr<cbase::WeakFlag> first_alive = alive_;
  Toast* second = Open(L"two");
  ASSERT_NE(second, nullptr);
  ::SendMessageW(first->GetHWND(), WM_KEYDOWN, VK_ESCAPE, 0);
  FinishClosing();
  EXPECT_TRUE(first_alive.expired());
  EXPECT_FALSE(alive_.expired());
  EXPECT_EQ(second->GetContent()->GetText(), L"two");
}

TEST_F(ToastTest, AToastWithoutACloseButtonIgnoresTheMouseComingAndGoing) {
  Toast* toast = Open(L"plain");
  ASSERT_NE(toast, nullptr);
  ::SendMessageW(toast->GetHWND(), WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
  ::SendMessageW(toast->GetHWND(), WM_MOUSELEAVE, 0, 0);
  testing_support::PumpPendingMessages();
  EXPECT_FALSE(alive_.expired());
}

TEST_F(ToastTest, ACloseButtonAppearsWithTheMouseHidesWhenItLeavesAndCloses) {
  GlobalManager::SetResourcePath(MakeSkinRoot(L"closable", true));
  Toast* toast = Open(L"closable");
  ASSERT_NE(toast, nullptr);
  Control* close = toast->GetCloseButton();
  ASSERT_NE(close, nullptr);
  EXPECT_FALSE(close->IsVisible());
  ::SendMessageW(toast->GetHWND(), WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
  EXPECT_TRUE(close->IsVisible());
  ::SetCursorPos(::GetSystemMetrics(SM_CXSCREEN) - 1, ::GetSystemMetrics(SM_CYSCREEN) - 1);
  ::SendMessageW(toast->GetHWND(), WM_MOUSELEAVE, 0, 0);
  Timers().PulseFor(400);
  EXPECT_FALSE(close->IsVisible());

  toast->SendEvent(close, kEventClick);
  FinishClosing();
  EXPECT_TRUE(alive_.expired());
  EXPECT_EQ(closes_, 1);
}

}  // namespace
}  // namespace ui
