#include "app/channel_info.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "app/install_starter.h"
#include "tests/app/app_test_service.h"
#include "tests/app/test_ui_thread.h"

namespace {

using testing_support::ServiceBase;
using testing_support::TestUiThread;

const std::wstring kLoading = L"\u52A0\u8F7D\u4E2D...";  // 加载中...
const std::wstring kNext = L"\u4E0B\u4E00\u6B65";        // 下一步

ServiceReply Reply(DWORD status, const std::string& body) {
  ServiceReply reply;
  reply.status = status;
  reply.body = body;
  return reply;
}

TEST(ApplyChannelReplyTest, ReadsTheThreeFieldsWhenTheyHaveTheirTypes) {
  ChannelInfo info;
  std::wstring message = L"untouched";
  EXPECT_EQ(ChannelReplyOutcome::kHandled,
            ApplyChannelReply(Reply(200, R"({"custom_service": "https://cs/02",
                "custom_service_qq": "800800202", "extra": 1,
                "product": {"display_name": "Fernwick", "help_url": "https://help"}})"),
                              info, &message));
  EXPECT_EQ("https://cs/02", info.custom_service);
  EXPECT_EQ("800800202", info.custom_service_qq);
  EXPECT_EQ("https://help", info.help_url);
  EXPECT_EQ(L"untouched", message);

  // Absent or mistyped members leave their fields; "product" counts only with
  // a display name, and then a missing help address empties the field.
  EXPECT_EQ(ChannelReplyOutcome::kHandled, ApplyChannelReply(Reply(204, R"({"custom_service": 5,
                "product": {"help_url": "https://other"}})"),
                                                             info, nullptr));
  EXPECT_EQ("https://cs/02", info.custom_service);
  EXPECT_EQ("https://help", info.help_url);
  ApplyChannelReply(Reply(200, R"({"custom_service_qq": "1", "product": {"display_name": "F"}})"),
                    info, nullptr);
  EXPECT_EQ("1", info.custom_service_qq);
  EXPECT_EQ("", info.help_url);
}

TEST(ApplyChannelReplyTest, FailuresGiveTheirMessagesAndChangeNothing) {
  ChannelInfo info;
  info.custom_service = "kept";
  std::wstring message;
  EXPECT_EQ(ChannelReplyOutcome::kHttpFailure,
            ApplyChannelReply(Reply(404, "{\"error\": \"\xE6\x9C\xAA\"}"), info, &message));
  EXPECT_EQ(
      L"\u8BF7\u6C42\u5931\u8D25\uFF0CHTTP \u72B6\u6001\u7801\uFF1A404\n{\"error\": \"\u672A\"}",
      message);
  EXPECT_EQ(ChannelReplyOutcome::kHttpFailure, ApplyChannelReply(Reply(0, ""), info, &message));
  EXPECT_EQ(L"\u8BF7\u6C42\u5931\u8D25\uFF0CHTTP \u72B6\u6001\u7801\uFF1A0\n", message);
  EXPECT_EQ(ChannelReplyOutcome::kNotJson,
            ApplyChannelReply(Reply(200, R"({"custom_service": "x")"), info, &message));
  EXPECT_EQ(L"JSON \u89E3\u6790\u5931\u8D25\uFF01", message);
  EXPECT_EQ("kept", info.custom_service);
}

TEST(ChannelInfoAddressTest, ChannelComesBeforeProduct) {
  EXPECT_EQ(L"http://h:1/api/channel?channel=02&product=fern+wick",
            ChannelInfoAddress(L"http://h:1/", L"fern wick", L"02"));
}

// One welcome page: the starter with recording hooks.
struct Welcome {
  TestUiThread ui;
  std::vector<std::pair<bool, std::wstring>> button;
  std::vector<std::wstring> errors;
  std::vector<InstallationDetails> started;
  InstallStarter starter;

  Welcome(const std::wstring& channel_address, const std::wstring& details_address)
      : starter(channel_address, details_address, ui.poster(),
                {[this](bool enabled, const std::wstring& text) {
                   button.push_back({enabled, text});
                 },
                 [this](const std::wstring& text) { errors.push_back(text); },
                 [this](const InstallationDetails& details) { started.push_back(details); }}) {}

  static std::wstring Channel(const std::wstring& extra = L"") {
    return ChannelInfoAddress(ServiceBase(), L"fernwick", L"02") + extra;
  }
  static std::wstring Details(const std::wstring& extra = L"") {
    return InstallationDetailsAddress(ServiceBase(), L"fernwick", L"02") + extra;
  }
};

TEST(InstallStarterTest, ClickBeforeTheReplyWaitsAndStartsOnceAfterIt) {
  REQUIRE_APP_SERVICE();
  Welcome w(Welcome::Channel(L"&fault_delay=300"), Welcome::Details());
  w.starter.RequestChannelInfo();
  w.starter.OnProceed();
  w.starter.OnProceed();  // a second click while waiting changes nothing
  EXPECT_TRUE(w.starter.start_waiting());
  ASSERT_EQ(1u, w.button.size());
  EXPECT_EQ(std::make_pair(false, kLoading), w.button[0]);

  ASSERT_TRUE(w.ui.RunUntil([&] { return !w.started.empty(); }));
  w.ui.RunFor(50);
  ASSERT_EQ(1u, w.started.size());
  EXPECT_TRUE(w.errors.empty());
  EXPECT_TRUE(w.starter.channel_info_ready());
  EXPECT_FALSE(w.starter.start_waiting());
  EXPECT_EQ("800800202", w.starter.channel_info().custom_service_qq);
  EXPECT_EQ(std::make_pair(true, kNext), w.button.back());
  EXPECT_EQ(ServiceBase() + L"/packages/fernwick-1.0.zip", w.started[0].download_url);
  EXPECT_EQ(L"{target_dir}\\Fernwick\\Fernwick.exe", w.started[0].launch_cmd);
  EXPECT_EQ(L"https://fernwick.example/tutorial", w.started[0].tutorial_url);
}

TEST(InstallStarterTest, ClickAfterTheReplyStartsAtOnceWithTheHelpAddressAsTutorial) {
  REQUIRE_APP_SERVICE();
  Welcome w(Welcome::Channel(), ServiceBase() + L"/test/echo");
  w.starter.RequestChannelInfo();
  ASSERT_TRUE(w.ui.RunUntil([&] { return w.starter.channel_info_ready(); }));
  EXPECT_EQ("https://fernwick.example/help", w.starter.channel_info().help_url);
  EXPECT_TRUE(w.button.empty());
  w.starter.OnProceed();
  // /test/echo answers an object without "download_url": that is no package.
  ASSERT_TRUE(w.ui.RunUntil([&] { return !w.errors.empty(); }));
  EXPECT_EQ(L"\u83B7\u53D6\u5B89\u88C5\u4FE1\u606F\u5931\u8D25\uFF01", w.errors[0]);
  EXPECT_EQ(std::make_pair(true, kNext), w.button.back());
  EXPECT_TRUE(w.started.empty());
}

TEST(InstallStarterTest, HelpAddressStandsInForAMissingTutorial) {
  REQUIRE_APP_SERVICE();
  const std::wstring details = testing_support::PublishPackage(
      L"details_without_tutorial.json", R"({"download_url": "http://h/p.zip", "launch_cmd": ""})");
  Welcome w(Welcome::Channel(), details);
  w.starter.RequestChannelInfo();
  ASSERT_TRUE(w.ui.RunUntil([&] { return w.starter.channel_info_ready(); }));
  w.starter.OnProceed();
  ASSERT_TRUE(w.ui.RunUntil([&] { return !w.started.empty(); }));
  EXPECT_TRUE(w.started[0].has_tutorial_url);
  EXPECT_EQ(L"https://fernwick.example/help", w.started[0].tutorial_url);
}

TEST(InstallStarterTest, FailedRequestShowsStatusAndBodyAndTheNextClickAsksAgain) {
  REQUIRE_APP_SERVICE();
  Welcome w(ChannelInfoAddress(ServiceBase(), L"nosuchproduct", L"02"), Welcome::Details());
  w.starter.RequestChannelInfo();
  w.starter.OnProceed();
  ASSERT_TRUE(w.ui.RunUntil([&] { return !w.errors.empty(); }));
  const std::wstring prefix = L"\u8BF7\u6C42\u5931\u8D25\uFF0CHTTP \u72B6\u6001\u7801\uFF1A404\n";
  EXPECT_EQ(prefix, w.errors[0].substr(0, prefix.size()));
  EXPECT_NE(std::wstring::npos, w.errors[0].find(L"error")) << w.errors[0];
  EXPECT_FALSE(w.starter.start_waiting());
  EXPECT_FALSE(w.starter.channel_info_ready());
  EXPECT_EQ(std::make_pair(true, kNext), w.button.back());

  // The next click waits again and asks the service again.
  w.starter.OnProceed();
  EXPECT_EQ(std::make_pair(false, kLoading), w.button.back());
  ASSERT_TRUE(w.ui.RunUntil([&] { return w.errors.size() == 2; }));
  EXPECT_EQ(std::make_pair(true, kNext), w.button.back());
}

TEST(InstallStarterTest, ReplyThatIsNotJsonGivesTheButtonBack) {
  REQUIRE_APP_SERVICE();
  Welcome w(Welcome::Channel(L"&fault_malformed=1"), Welcome::Details());
  w.starter.RequestChannelInfo();
  w.starter.OnProceed();
  ASSERT_TRUE(w.ui.RunUntil([&] { return !w.errors.empty(); }));
  EXPECT_EQ(L"JSON \u89E3\u6790\u5931\u8D25\uFF01", w.errors[0]);
  EXPECT_FALSE(w.starter.channel_info_ready());
  EXPECT_EQ(std::make_pair(true, kNext), w.button.back());
  EXPECT_TRUE(w.started.empty());
}

// The start's request: its answer comes once, before the error it brings;
// it joins a click's request rather than asking twice, and after an answer
// it does not ask again (a click does).
TEST(InstallStarterTest, TheStartsRequestIsAnsweredOnceAndNeverAsksTwice) {
  REQUIRE_APP_SERVICE();
  Welcome w(ChannelInfoAddress(ServiceBase(), L"nosuchproduct", L"02"), Welcome::Details());
  int answered = 0;
  size_t errors_when_answered = 99;
  auto note = [&] {
    ++answered;
    errors_when_answered = w.errors.size();
  };
  w.starter.RequestChannelInfoAtStart(note);
  EXPECT_EQ(0, answered);
  ASSERT_TRUE(w.ui.RunUntil([&] { return !w.errors.empty(); }));
  EXPECT_EQ(1, answered);
  EXPECT_EQ(0u, errors_when_answered);

  // Answered already: at once, and no second request (or error).
  w.starter.RequestChannelInfoAtStart(note);
  EXPECT_EQ(2, answered);
  w.ui.RunFor(300);
  EXPECT_EQ(1u, w.errors.size());

  // A click asks again; a start's request made meanwhile waits for that
  // reply instead of sending its own.
  Welcome clicked(Welcome::Channel(L"&fault_delay=300"), Welcome::Details());
  int joined = 0;
  clicked.starter.OnProceed();
  clicked.starter.RequestChannelInfoAtStart([&] { ++joined; });
  EXPECT_EQ(0, joined);
  ASSERT_TRUE(clicked.ui.RunUntil([&] { return !clicked.started.empty(); }));
  EXPECT_EQ(1, joined);
  EXPECT_EQ(1u, clicked.started.size());
  EXPECT_TRUE(clicked.errors.empty());
}

TEST(InstallStarterTest, ReplyAfterTheWindowClosedDoesNothing) {
  REQUIRE_APP_SERVICE();
  auto w = std::make_unique<Welcome>(Welcome::Channel(L"&fault_delay=200"), Welcome::Details());
  w->starter.RequestChannelInfo();
  w->starter.OnProceed();
  TestUiThread& ui = w->ui;
  ui.Close();
  w.reset();  // the starter is gone with its window; its reply must not run
  // The reply arrives within this time and finds nobody (a crash otherwise).
  TestUiThread other;
  other.RunFor(600);
  EXPECT_EQ(0, other.posted());
}

}  // namespace
