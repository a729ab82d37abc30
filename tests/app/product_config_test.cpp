#include "app/product_config.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "tests/support/scoped_temp_dir.h"
#include "tests/support/stored_zip.h"
#include "ui/core/global_manager.h"

namespace {

using testing_support::MakeStoredZip;
using testing_support::ScopedTempDir;
using testing_support::WriteBytes;

class ProductConfigTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(::CreateDirectoryW(dir_.Child(L"resources").c_str(), nullptr));
    directory_ = dir_.path() + L"\\";
  }
  void TearDown() override { ui::GlobalManager::CloseResourceArchive(); }

  bool LoadFromDisk(const std::string& text) {
    EXPECT_TRUE(WriteBytes(dir_.Child(L"resources\\config.json"), text));
    return config_.Load(directory_);
  }

  ScopedTempDir dir_;
  std::wstring directory_;
  ProductConfig config_;
};

TEST_F(ProductConfigTest, ReadsAllFourStringsFromDisk) {
  ASSERT_TRUE(
      LoadFromDisk("{\"product\": \"fernwick\", \"channel\": \"02\", \"name\": \"Fernwick\", "
                   "\"intro\": \"\xE4\xB8\x80\xE6\xAC\xBE\\n\xF0\x9F\x98\x80\"}"));
  EXPECT_EQ(directory_, config_.directory());
  EXPECT_EQ(L"fernwick", config_.product());
  EXPECT_EQ(L"02", config_.channel());
  EXPECT_EQ(L"Fernwick", config_.name());
  EXPECT_EQ(L"\u4E00\u6B3E\n\xD83D\xDE00", config_.intro());
}

TEST_F(ProductConfigTest, MissingOrMistypedKeysLeaveFieldsAlone) {
  ASSERT_TRUE(LoadFromDisk("{\"product\":\"x\"}"));
  EXPECT_EQ(L"x", config_.product());
  EXPECT_EQ(L"", config_.name());
  EXPECT_EQ(L"", config_.channel());
  EXPECT_EQ(L"", config_.intro());

  // A later load only replaces what it holds as strings.
  ASSERT_TRUE(LoadFromDisk("{\"name\": 5, \"channel\": \"07\", \"product\": null}"));
  EXPECT_EQ(L"x", config_.product());
  EXPECT_EQ(L"", config_.name());
  EXPECT_EQ(L"07", config_.channel());
}

TEST_F(ProductConfigTest, DeploymentSettingsDefaultToTheBuildsAndFollowTheFile) {
  ASSERT_TRUE(LoadFromDisk("{\"product\": \"x\"}"));
  EXPECT_EQ(ProductConfig::kDefaultServiceUrl, config_.service_url());
  EXPECT_EQ(ProductConfig::kDefaultStatsUrl, config_.stats_url());
  EXPECT_EQ(ProductConfig::kDefaultStatsHostname, config_.stats_hostname());
  EXPECT_NE(L"", config_.service_url());

  ASSERT_TRUE(LoadFromDisk(
      "{\"service_url\": \"https://ops.example\", \"stats_url\": \"https://stats.example/t\", "
      "\"stats_hostname\": \"fernwick.example\"}"));
  EXPECT_EQ(L"https://ops.example", config_.service_url());
  EXPECT_EQ(L"https://stats.example/t", config_.stats_url());
  EXPECT_EQ(L"fernwick.example", config_.stats_hostname());
}

TEST_F(ProductConfigTest, OutcomeEventsAreOnUnlessTheFileSaysFalse) {
  ASSERT_TRUE(LoadFromDisk("{\"product\": \"x\"}"));
  EXPECT_TRUE(config_.outcome_events());
  ASSERT_TRUE(LoadFromDisk("{\"outcome_events\": false}"));
  EXPECT_FALSE(config_.outcome_events());
  // Only a boolean changes it: "false" or 0 is no switch.
  ASSERT_TRUE(LoadFromDisk("{\"outcome_events\": \"true\"}"));
  EXPECT_FALSE(config_.outcome_events());
  ASSERT_TRUE(LoadFromDisk("{\"outcome_events\": true}"));
  EXPECT_TRUE(config_.outcome_events());
  ASSERT_TRUE(LoadFromDisk("{\"outcome_events\": 0}"));
  EXPECT_TRUE(config_.outcome_events());
}

TEST_F(ProductConfigTest, InvalidUtf8ValueBecomesEmpty) {
  ASSERT_TRUE(LoadFromDisk("{\"product\": \"p\", \"name\": \"bad \xC0\xAF name\"}"));
  EXPECT_EQ(L"p", config_.product());
  EXPECT_EQ(L"", config_.name());
}

TEST_F(ProductConfigTest, EmptyMalformedOrMissingFileFails) {
  EXPECT_FALSE(LoadFromDisk(""));
  EXPECT_FALSE(LoadFromDisk("{\"product\": "));
  EXPECT_FALSE(LoadFromDisk("product=x"));
  EXPECT_FALSE(config_.Load(dir_.Child(L"elsewhere\\")));
}

TEST_F(ProductConfigTest, ReadsAFileOthersHoldOpenForWriting) {
  const std::wstring path = dir_.Child(L"resources\\config.json");
  ASSERT_TRUE(WriteBytes(path, "{\"product\": \"held\"}"));
  HANDLE writer = ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, writer);
  EXPECT_TRUE(config_.Load(directory_));
  ::CloseHandle(writer);
  EXPECT_EQ(L"held", config_.product());
}

TEST_F(ProductConfigTest, ArchiveWinsAndHasNoDiskFallback) {
  ASSERT_TRUE(WriteBytes(dir_.Child(L"resources\\config.json"), "{\"product\": \"disk\"}"));
  const std::string zip =
      MakeStoredZip({{"resources/config.json", "{\"product\": \"archived\", \"channel\": \"02\"}"},
                     {"resources/other.txt", "x"}});
  ASSERT_TRUE(ui::GlobalManager::OpenResourceArchive(zip.data(), zip.size()));
  ASSERT_TRUE(config_.Load(directory_));
  EXPECT_EQ(L"archived", config_.product());
  EXPECT_EQ(L"02", config_.channel());

  const std::string without = MakeStoredZip({{"resources/other.txt", "x"}});
  ASSERT_TRUE(ui::GlobalManager::OpenResourceArchive(without.data(), without.size()));
  EXPECT_FALSE(config_.Load(directory_));
}

TEST(ProductConfigInstanceTest, IsOneProcessWideRecord) {
  EXPECT_EQ(&ProductConfig::Instance(), &ProductConfig::Instance());
}

}  // namespace
