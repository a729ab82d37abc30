#include "app/attribution.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "app/installer_config.h"
#include "tests/app/app_test_service.h"
#include "tests/app/test_ui_thread.h"
#include "tests/support/scoped_temp_dir.h"

namespace {

using testing_support::ScopedTempDir;
using testing_support::TestUiThread;
using testing_support::WriteBytes;

TEST(AttributionIdFromFileNameTest, MiddleOfExactlyThreePieces) {
  EXPECT_EQ(L"0a1b2c", AttributionIdFromFileName(L"fernwick_0a1b2c_downloader.exe"));
  // Runs of "_" and leading or trailing ones make no empty pieces.
  EXPECT_EQ(L"b", AttributionIdFromFileName(L"a__b_c.exe"));
  EXPECT_EQ(L"b", AttributionIdFromFileName(L"_a_b_c.exe_"));
  EXPECT_EQ(L"", AttributionIdFromFileName(L"setup.exe"));
  EXPECT_EQ(L"", AttributionIdFromFileName(L"a_b.exe"));
  EXPECT_EQ(L"", AttributionIdFromFileName(L"a_b_c_d.exe"));
  EXPECT_EQ(L"", AttributionIdFromFileName(L""));
}

TEST(AttributionIdFromFileNameTest, OnlyPlainPrintableIdsOfUpTo128Characters) {
  EXPECT_EQ(std::wstring(128, L'x'),
            AttributionIdFromFileName(L"a_" + std::wstring(128, L'x') + L"_c.exe"));
  EXPECT_EQ(L"", AttributionIdFromFileName(L"a_" + std::wstring(129, L'x') + L"_c.exe"));
  EXPECT_EQ(L"id-1.2~ok", AttributionIdFromFileName(L"a_id-1.2~ok_c.exe"));
  for (const wchar_t* bad : {L"a_i\"d_c.exe", L"a_i'd_c.exe", L"a_i\\d_c.exe", L"a_i/d_c.exe",
                             L"a_i\td_c.exe", L"a_\u6D4B\u8BD5_c.exe", L"a_i\x7F_c.exe"}) {
    EXPECT_EQ(L"", AttributionIdFromFileName(bad)) << bad;
  }
}

// The sources for one test: a config file of its own, and a request address
// that is never reachable unless a test names the service.
struct Sources {
  ScopedTempDir dir;
  AttributionSources sources;
  explicit Sources(const std::wstring& executable) {
    sources.executable_name = executable;
    sources.config_path = dir.Child(L"config.json");
    sources.request_url = L"unsupported://nowhere/api/get-bdvid";
  }
  std::wstring Stored() const {
    return InstallerConfig(sources.config_path).Get(InstallerConfig::kAttributionId);
  }
};

TEST(ResolveAttributionTest, FileNameIdIsStoredAndReportedTwiceWithoutRequest) {
  Sources s(L"fernwick_0a1b2c_downloader.exe");
  ASSERT_TRUE(WriteBytes(s.sources.config_path, R"({"bd_vid": "old", "installer": "x"})"));
  TestUiThread ui;
  std::vector<std::wstring> found;
  int ended = 0;
  ResolveAttribution(
      s.sources, ui.poster(), [&](const std::wstring& id) { found.push_back(id); },
      [&] { ++ended; });
  EXPECT_EQ((std::vector<std::wstring>{L"0a1b2c", L"0a1b2c"}), found);
  EXPECT_EQ(1, ended);
  EXPECT_EQ(L"0a1b2c", s.Stored());
  EXPECT_EQ(L"x", InstallerConfig(s.sources.config_path).Get(InstallerConfig::kInstaller));
  // Every request, even one that fails at once, would post its reply.
  ui.RunFor(50);
  EXPECT_EQ(0, ui.posted());
}

TEST(ResolveAttributionTest, StoredIdIsUsedWhenTheNameHasNone) {
  Sources s(L"setup.exe");
  ASSERT_TRUE(WriteBytes(s.sources.config_path, R"({"bd_vid": "kept"})"));
  TestUiThread ui;
  std::vector<std::wstring> found;
  int ended = 0;
  ResolveAttribution(
      s.sources, ui.poster(), [&](const std::wstring& id) { found.push_back(id); },
      [&] { ++ended; });
  EXPECT_EQ(std::vector<std::wstring>{L"kept"}, found);
  EXPECT_EQ(1, ended);
  EXPECT_EQ(0, ui.posted());
}

TEST(ResolveAttributionTest, UnusableNameOrEmptyStoredIdAsksTheService) {
  Sources s(L"fernwick_bad\"id_downloader.exe");
  ASSERT_TRUE(WriteBytes(s.sources.config_path, R"({"bd_vid": ""})"));
  TestUiThread ui;
  int calls = 0;
  int ended = 0;
  ResolveAttribution(
      s.sources, ui.poster(), [&](const std::wstring&) { ++calls; }, [&] { ++ended; });
  EXPECT_EQ(0, ended);
  // The unreachable address fails at once and is answered through the poster.
  EXPECT_TRUE(ui.RunUntil([&] { return ui.posted() == 1; }, 5000));
  ui.RunFor(20);
  EXPECT_EQ(0, calls);
  // Nothing was found, and nothing more will be.
  EXPECT_EQ(1, ended);
  EXPECT_EQ(L"", s.Stored());
}

TEST(ResolveAttributionTest, ServiceIdIsStoredAndReported) {
  REQUIRE_APP_SERVICE();
  Sources s(L"setup.exe");
  s.sources.request_url = testing_support::ServiceBase() + L"/api/get-bdvid";
  TestUiThread ui;
  std::vector<std::wstring> found;
  int ended = 0;
  ResolveAttribution(
      s.sources, ui.poster(),
      [&](const std::wstring& id) {
        EXPECT_EQ(0, ended);  // the id first
        found.push_back(id);
      },
      [&] { ++ended; });
  ASSERT_TRUE(ui.RunUntil([&] { return ended == 1; }));
  ASSERT_EQ(1u, found.size());
  EXPECT_EQ(16u, found[0].size());
  EXPECT_EQ(found[0], s.Stored());

  // The next start takes the stored id and asks nobody.
  TestUiThread next;
  found.clear();
  ResolveAttribution(s.sources, next.poster(),
                     [&](const std::wstring& id) { found.push_back(id); });
  EXPECT_EQ(1u, found.size());
  EXPECT_EQ(0, next.posted());
}

TEST(HandleAttributionReplyTest, OnlySuccessWithAStringIdCounts) {
  ScopedTempDir dir;
  const std::wstring config = dir.Child(L"config.json");
  std::vector<std::wstring> found;
  const AttributionCallback record = [&](const std::wstring& id) { found.push_back(id); };
  for (const char* ignored :
       {R"({"success": true, "bdvid": 42})", R"({"success": false, "bdvid": "x"})",
        R"({"success": "true", "bdvid": "x"})", R"({"bdvid": "x"})", R"({"success": true, "bd)", "",
        "[]"}) {
    HandleAttributionReply(ignored, config, record);
    EXPECT_TRUE(found.empty()) << ignored;
  }
  EXPECT_EQ(L"", InstallerConfig(config).Get(InstallerConfig::kAttributionId));
  HandleAttributionReply(R"({"success": true, "bdvid": "abc"})", config, record);
  EXPECT_EQ(std::vector<std::wstring>{L"abc"}, found);
  EXPECT_EQ(L"abc", InstallerConfig(config).Get(InstallerConfig::kAttributionId));
}

}  // namespace
