// The main window in this process over the shipped skin (resources/), with
// the product configuration pointing at the reference service: what the
// labels say, which page opens, the "ok1" road to a recorded package, the
// customer-service overlay and closing. Clicks are sent to the named
// controls, so the handlers the window binds are the ones that run.
#include "app/basic_form.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>

#include "app/app_directories.h"
#include "app/assistant_texts.h"
#include "app/attribution.h"
#include "app/install_starter.h"
#include "app/installation_pipeline.h"
#include "app/installer_config.h"
#include "app/json_file.h"
#include "app/product_config.h"
#include "app/qr_code_ctrl.h"
#include "app/usage_events.h"
#include "base/message_loop.h"
#include "base/monotonic_clock.h"
#include "tests/app/app_test_service.h"
#include "tests/support/message_pump.h"
#include "tests/support/scoped_temp_dir.h"
#include "ui/control/label.h"
#include "ui/control/rich_edit.h"
#include "ui/control/tab_box.h"
#include "ui/core/global_manager.h"
#include "ui/core/window_builder.h"
#include "ui/render/render.h"
#include "ui/render/render_factory_gdiplus.h"

namespace {

using testing_support::EventCount;
using testing_support::PumpMessagesFor;
using testing_support::PumpMessagesUntil;
using testing_support::ScopedTempDir;
using testing_support::ServiceBase;
using testing_support::WriteBytes;

constexpr wchar_t kIntro[] =
    L"Fernwick \u628A\u7B14\u8BB0\u6574\u7406\u597D\u3002";  // 把笔记整理好。

// The repository's resources folder (APP_TEST_RESOURCES), with backslashes.
std::wstring ResourcesFolder() {
  wchar_t value[MAX_PATH] = {};
  const DWORD length = ::GetEnvironmentVariableW(L"APP_TEST_RESOURCES", value, MAX_PATH);
  std::wstring folder = length == 0 || length >= MAX_PATH ? L"" : std::wstring(value, length);
  for (wchar_t& c : folder) {
    if (c == L'/') c = L'\\';
  }
  return folder;
}

// The skin and the product configuration, as start-up sets them up, but
// read from the repository and a folder of this test. The window keeps its
// InstallerConfig and package where the assistant does (LocalAppData of the
// test prefix, "fernwick_downloader"); each test starts and ends without
// them.
class BasicFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_APP_SERVICE();
    const std::wstring resources = ResourcesFolder();
    ASSERT_FALSE(resources.empty()) << "APP_TEST_RESOURCES is not set";
    ui::SetRenderFactory(std::make_unique<ui::RenderFactory_GdiPlus>());
    ui::GlobalManager::SetResourcePath(resources + L"\\themes\\default");
    ui::WindowBuilder global;
    global.Create(L"global.xml");
    ui::GlobalManager::LoadStringTableFromFile(resources + L"\\lang\\zh_CN\\gdstrings.ini");

    std::string config = R"({"product": "fernwick", "channel": "02", "name": "Fernwick", )"
                         R"("intro": "Fernwick \u628A\u7B14\u8BB0\u6574\u7406\u597D\u3002", )";
    const std::wstring base = ServiceBase();
    const std::string service(base.begin(), base.end());
    config += "\"service_url\": \"" + service + "\", \"stats_url\": \"" + service + "\"}";
    ASSERT_TRUE(CreateFolderTree(dir_.Child(L"resources")));
    ASSERT_TRUE(WriteBytes(dir_.Child(L"resources\\config.json"), config));
    ASSERT_TRUE(ProductConfig::Instance().Load(dir_.path() + L"\\"));
    downloader_ = DownloaderDirectory();
    RemoveUserData();
    setup_done_ = true;
  }

  void TearDown() override {
    if (!setup_done_) return;
    if (form_ != nullptr && ::IsWindow(hwnd_)) {
      ::DestroyWindow(hwnd_);
      PumpMessagesFor(50);
    }
    RemoveUserData();
    ui::GlobalManager::Shutdown();
    ui::SetRenderFactory(nullptr);
  }

  void RemoveUserData() {
    ::DeleteFileW((downloader_ + L"\\installer\\fernwick-1.0.zip").c_str());
    ::DeleteFileW((downloader_ + L"\\installer\\fernwick-1.0.zip.part").c_str());
    ::RemoveDirectoryW((downloader_ + L"\\installer").c_str());
    ::DeleteFileW((downloader_ + L"\\config.json").c_str());
    ::RemoveDirectoryW(downloader_.c_str());
  }

  // Opens the window and, with |show|, shows it: the service is asked once
  // its first frame is on the screen.
  void Open(bool show = true) {
    form_ = new BasicForm();
    hwnd_ = form_->Create(nullptr, BasicForm::kWindowName, 0x00CE0000, 0, true);
    ASSERT_NE(nullptr, hwnd_);
    if (show) form_->Show(true, false);
  }

  ui::Control* Find(const wchar_t* name) const { return form_->FindControlByName(name); }
  std::wstring Text(const wchar_t* name) const {
    auto* label = dynamic_cast<ui::Label*>(Find(name));
    return label ? label->GetText() : L"<no label " + std::wstring(name) + L">";
  }
  int Page() const {
    auto* pages = dynamic_cast<ui::TabBox*>(Find(L"pages"));
    return pages ? pages->GetCurrentIndex() : -1;
  }
  void Click(const wchar_t* name) {
    ui::Control* control = Find(name);
    ASSERT_NE(nullptr, control) << name;
    control->SendEvent(ui::kEventClick);
  }
  bool ChannelReady() const { return form_->starter()->channel_info_ready(); }

  ScopedTempDir dir_;
  std::wstring downloader_;
  bool setup_done_ = false;
  BasicForm* form_ = nullptr;
  HWND hwnd_ = nullptr;
};

TEST_F(BasicFormTest, WelcomePageLabelsStartupEventAttributionAndClosing) {
  // An empty "installer" names the folder itself: the welcome page.
  InstallerConfig().Set({{InstallerConfig::kInstaller, L""}});
  const int startups = EventCount("startup");
  Open(false);

  EXPECT_EQ(0, Page());
  EXPECT_EQ(L"Fernwick \u5B98\u65B9\u6B63\u7248", Text(L"p1_lb_name"));  // 官方正版
  EXPECT_EQ(kIntro, Text(L"p1_lb_intro"));
  EXPECT_EQ(L"Fernwick \u5B98\u65B9\u4E2D\u6587\u7248", Text(L"p1_lb_fullname"));  // 官方中文版
  EXPECT_EQ(L"\u67E5\u770B Fernwick \u5B89\u88C5\u6559\u7A0B", Text(L"p3_install_tutorial_text"));
  EXPECT_EQ(
      L"\u70B9\u51FB\u542F\u52A8 Fernwick \u5B89\u88C5\u7A0B\u5E8F\uFF0C\u5C06 Fernwick "
      L"\u5B89\u88C5\u5230\u60A8\u7684\u7535\u8111\u3002",
      Text(L"p3_install_launch_text"));
  EXPECT_EQ(L"\u5F00\u59CB\u52A0\u8F7D Fernwick \u8D44\u6E90", Text(L"install_lb_status"));
  auto* location = dynamic_cast<ui::RichEdit*>(Find(L"p1_et_location"));
  ASSERT_NE(nullptr, location);
  EXPECT_EQ(LocalAppDataDirectory() + L"fernwick", location->GetText());
  EXPECT_NE(nullptr, dynamic_cast<QRCodeCtrl*>(Find(L"support_qr")));

  // Nothing goes out before the first frame: a hidden window has none.
  PumpMessagesFor(300);
  EXPECT_TRUE(WaitForPendingEvents(10000));
  EXPECT_EQ(startups, EventCount("startup"));
  EXPECT_FALSE(ChannelReady());
  form_->Show(true, false);

  // Then "startup" reaches the service; the id this program's name carries,
  // if any, is kept (else the service was asked for one).
  EXPECT_TRUE(PumpMessagesUntil([&] { return EventCount("startup") > startups; }, 20000));
  wchar_t path[MAX_PATH] = {};
  const std::wstring module(path, ::GetModuleFileNameW(nullptr, path, MAX_PATH));
  const std::wstring from_name = AttributionIdFromFileName(module.substr(module.rfind(L'\\') + 1));
  ASSERT_TRUE(PumpMessagesUntil(
      [] { return !InstallerConfig().Get(InstallerConfig::kAttributionId).empty(); }, 20000));
  if (!from_name.empty()) {
    EXPECT_EQ(from_name, InstallerConfig().Get(InstallerConfig::kAttributionId));
  }

  // The close button ends the loop with exit code 0 and the window goes.
  ASSERT_TRUE(PumpMessagesUntil([&] { return ChannelReady(); }, 20000));
  EXPECT_EQ("welcome", form_->ShowingPageName());
  const int closes = EventCount("closed");
  int quit = -1;
  Click(L"btn_close");
  EXPECT_TRUE(PumpMessagesUntil([&] { return !::IsWindow(hwnd_) && quit != -1; }, 10000, &quit));
  EXPECT_EQ(0, quit);
  form_ = nullptr;
  // "closed" went out once, while the window closed.
  EXPECT_TRUE(WaitForPendingEvents(20000));
  EXPECT_EQ(closes + 1, EventCount("closed"));
}

// "startup" goes out with the first frame, not behind the service's slow
// answers: a window closed at once still reports its start.
TEST_F(BasicFormTest, AWindowClosedBeforeTheServiceAnswersStillReportsItsStart) {
  InstallerConfig().Set({{InstallerConfig::kInstaller, L""}});
  ASSERT_TRUE(testing_support::QueueFault(L"/api/get-bdvid", {{"delay", 3000}}, 1));
  ASSERT_TRUE(testing_support::QueueFault(L"/api/channel", {{"delay", 3000}}, 1));
  const int startups = EventCount("startup");
  const int closes = EventCount("closed");
  Open();
  ASSERT_TRUE(PumpMessagesUntil([&] { return form_->GetPresentCount() > 0; }, 10000));
  int quit = -1;
  Click(L"btn_close");
  EXPECT_TRUE(PumpMessagesUntil([&] { return !::IsWindow(hwnd_) && quit != -1; }, 10000, &quit));
  form_ = nullptr;
  // The questions the closed window never asked leave their faults behind.
  testing_support::ClearFaults();
  EXPECT_TRUE(WaitForPendingEvents(20000));
  EXPECT_EQ(startups + 1, EventCount("startup"));
  EXPECT_EQ(closes + 1, EventCount("closed"));
}

// A window started minimised draws no frame until it is restored: the
// service is asked anyway once the deadline has passed.
TEST_F(BasicFormTest, WithoutAFrameTheServiceIsAskedAtTheDeadline) {
  cbase::UIMessageLoop loop;
  Open(false);
  loop.PostDelayedTask([&loop] { loop.QuitWhenIdle(); },
                       cbase::Milliseconds(BasicForm::kFirstFrameDeadlineMs + 200));
  loop.Run();
  EXPECT_FALSE(::IsWindowVisible(hwnd_));
  EXPECT_TRUE(PumpMessagesUntil([&] { return ChannelReady(); }, 20000));
}

TEST_F(BasicFormTest, ProceedBeforeTheReplyWaitsThenRecordsThePackage) {
  Open();
  // The channel reply is still on its way (it is posted to this thread).
  Click(L"ok1");
  ui::Control* ok = Find(L"ok1");
  EXPECT_FALSE(ok->IsEnabled());
  EXPECT_EQ(kProceedWaitingText, Text(L"ok1"));

  ASSERT_TRUE(PumpMessagesUntil(
      [&] {
        return !InstallerConfig().Get(InstallerConfig::kInstaller).empty() &&
               !form_->pipeline()->downloading();
      },
      60000));
  EXPECT_EQ(L"installer\\fernwick-1.0.zip", InstallerConfig().Get(InstallerConfig::kInstaller));
  EXPECT_EQ(L"{target_dir}\\Fernwick\\Fernwick.exe",
            InstallerConfig().Get(InstallerConfig::kLaunchCommand));
  EXPECT_TRUE(ok->IsEnabled());
  EXPECT_EQ(kProceedText, Text(L"ok1"));
  EXPECT_EQ(form_->InstallPageIndex(), Page());
  EXPECT_FALSE(Find(L"install")->IsVisible());
  EXPECT_EQ("install", form_->ShowingPageName());
  form_->SetVisibleByName(L"install", true);
  EXPECT_EQ("install_overlay", form_->ShowingPageName());
}

TEST_F(BasicFormTest, RecordedPackageOpensTheInstallPageAndTheSupportOverlayCopiesTheNumber) {
  ASSERT_TRUE(CreateFolderTree(downloader_ + L"\\installer"));
  ASSERT_TRUE(WriteBytes(downloader_ + L"\\installer\\fernwick-1.0.zip", "PK\x05\x06"));
  InstallerConfig().Set({{InstallerConfig::kInstaller, L"installer\\fernwick-1.0.zip"}});
  Open();
  EXPECT_EQ(1, form_->InstallPageIndex());
  EXPECT_EQ(1, Page());
  EXPECT_EQ("install", form_->ShowingPageName());

  ASSERT_TRUE(PumpMessagesUntil([&] { return ChannelReady(); }, 20000));
  ui::Control* support = Find(L"support");
  ASSERT_NE(nullptr, support);
  EXPECT_FALSE(support->IsVisible());
  Click(L"p3_support");
  EXPECT_TRUE(support->IsVisible());
  EXPECT_EQ("support_overlay", form_->ShowingPageName());
  EXPECT_EQ(L"800800202", Text(L"support_qq"));
  // The channel's text at the skin's level ("errlevel" 1: medium).
  auto* qr = dynamic_cast<QRCodeCtrl*>(Find(L"support_qr"));
  ASSERT_NE(nullptr, qr);
  QRCodeCtrl expected;
  expected.SetAttribute(L"errlevel", L"1");
  ASSERT_TRUE(expected.SetQrText("https://fernwick.example/support?channel=02"));
  ASSERT_EQ(expected.symbol_size(), qr->symbol_size());
  for (int y = 0; y < expected.symbol_size(); ++y) {
    for (int x = 0; x < expected.symbol_size(); ++x) {
      ASSERT_EQ(expected.IsDark(x, y), qr->IsDark(x, y)) << x << "," << y;
    }
  }
  // The QQ number goes to the clipboard, and a toast over the window says so.
  ASSERT_TRUE(::OpenClipboard(nullptr));
  ::EmptyClipboard();
  ::CloseClipboard();
  Click(L"support_qq_link");
  ASSERT_TRUE(::OpenClipboard(nullptr));
  HANDLE data = ::GetClipboardData(CF_UNICODETEXT);
  const auto* copied = data ? static_cast<const wchar_t*>(::GlobalLock(data)) : nullptr;
  EXPECT_EQ(L"800800202", std::wstring(copied ? copied : L"<nothing>"));
  if (copied) ::GlobalUnlock(data);
  ::CloseClipboard();
  HWND toast = ::FindWindowW(L"Toast", nullptr);
  ASSERT_NE(nullptr, toast);
  EXPECT_EQ(hwnd_, ::GetWindow(toast, GW_OWNER));
  EXPECT_TRUE(::IsWindowVisible(toast));

  Click(L"support_ok");
  EXPECT_FALSE(support->IsVisible());
  Click(L"p3_support");
  Click(L"support_close");
  EXPECT_FALSE(support->IsVisible());
}

}  // namespace
