#include "app/installer_config.h"

#include <gtest/gtest.h>

#include "app/installation_details.h"
#include "tests/support/scoped_temp_dir.h"

namespace {

using testing_support::ReadBytes;
using testing_support::ScopedTempDir;
using testing_support::WriteBytes;

TEST(InstallerConfigTest, FirstRunReadsEmptyAndWritesCreateTheFolder) {
  ScopedTempDir dir;
  const InstallerConfig config(dir.Child(L"fernwick_downloader\\config.json"));
  EXPECT_EQ(L"", config.Get(InstallerConfig::kInstaller));
  ASSERT_TRUE(config.Set({{InstallerConfig::kLaunchCommand, L"{installer} /S"},
                          {InstallerConfig::kTutorialUrl, L"https://t/\u6559\u7A0B"}}));
  EXPECT_EQ(L"{installer} /S", config.Get(InstallerConfig::kLaunchCommand));
  EXPECT_EQ(L"https://t/\u6559\u7A0B", config.Get(InstallerConfig::kTutorialUrl));
  ASSERT_TRUE(config.Set({{InstallerConfig::kInstaller, L"installer\\setup.exe"}}));
  EXPECT_EQ(
      "{\"installer\": \"installer\\\\setup.exe\", \"launch_cmd\": \"{installer} /S\", "
      "\"tutorial_url\": \"https://t/\xE6\x95\x99\xE7\xA8\x8B\"}",
      ReadBytes(config.path()));
}

TEST(InstallerConfigTest, MistypedOrMalformedValuesReadEmpty) {
  ScopedTempDir dir;
  const InstallerConfig config(dir.Child(L"config.json"));
  ASSERT_TRUE(
      WriteBytes(config.path(), "{\"installer\": 3, \"bd_vid\": \"\xC0\xAF\", \"x\": \"y\"}"));
  EXPECT_EQ(L"", config.Get(InstallerConfig::kInstaller));
  EXPECT_EQ(L"", config.Get(InstallerConfig::kAttributionId));
  ASSERT_TRUE(WriteBytes(config.path(), "{\"installer\": "));
  EXPECT_EQ(L"", config.Get(InstallerConfig::kInstaller));
}

TEST(InstallationDetailsTest, HelpUrlStandsInForAMissingTutorial) {
  InstallationDetails details = InstallationDetails::FromJson(ParseJson(
      R"({"download_url": "https://h/pkg/setup.zip", "launch_cmd": "{target_dir}\\run.exe",
          "help_url": "https://h/help"})"));
  EXPECT_EQ(L"https://h/pkg/setup.zip", details.download_url);
  EXPECT_EQ(L"{target_dir}\\run.exe", details.launch_cmd);
  EXPECT_EQ(L"https://h/help", details.tutorial_url);

  details = InstallationDetails::FromJson(
      ParseJson(R"({"tutorial_url": "https://h/t", "help_url": "https://h/help"})"));
  EXPECT_EQ(L"https://h/t", details.tutorial_url);
  EXPECT_EQ(L"", details.download_url);
  details = InstallationDetails::FromJson(ParseJson(R"({"tutorial_url": 1, "help_url": 2})"));
  EXPECT_EQ(L"", details.tutorial_url);
}

}  // namespace
