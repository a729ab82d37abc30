#include "app/installation_pipeline.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

#include "app/file_hash.h"
#include "app/installer_config.h"
#include "app/json_file.h"
#include "app/package_file_name.h"
#include "app/usage_events.h"
#include "tests/app/app_test_service.h"
#include "tests/app/recording_shell.h"
#include "tests/app/test_ui_thread.h"
#include "tests/support/scoped_temp_dir.h"
#include "tests/support/stored_zip.h"

namespace {

using testing_support::FileBytes;
using testing_support::PublishPackage;
using testing_support::RecordingShell;
using testing_support::ScopedTempDir;
using testing_support::ServiceBase;
using testing_support::TestUiThread;
using testing_support::WriteBytes;

const std::wstring kError = L"\u9519\u8BEF";                             // 错误
const std::wstring kDownloadFailed = L"\u4E0B\u8F7D\u5931\u8D25\uFF01";  // 下载失败！
const std::wstring kLaunchFailed = L"\u542F\u52A8\u5B89\u88C5\u7A0B\u5E8F\u5931\u8D25\uFF01";

std::string Pattern(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 251) % 256);
  return bytes;
}

bool Exists(const std::wstring& path) {
  return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Files in |folder| that hold a config text not yet in place.
int WaitingConfigTexts(const std::wstring& folder) {
  int count = 0;
  WIN32_FIND_DATAW data;
  HANDLE find = ::FindFirstFileW((folder + L"\\cfg*.tmp").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return 0;
  do {
    ++count;
  } while (::FindNextFileW(find, &data));
  ::FindClose(find);
  return count;
}

InstallationDetails Details(const std::wstring& url, const std::wstring& launch = L"") {
  InstallationDetails details;
  details.download_url = url;
  details.launch_cmd = launch;
  return details;
}

// One main window's worth of pipeline: recording view hooks and shell, a
// local application-data folder of its own and retries without waiting.
class PipelineTest : public ::testing::Test {
 protected:
  void Make(const std::wstring& local_folder = L"local") {
    local_ = dir_.Child(local_folder) + L"\\";
    CreateFolderTree(local_);
    InstallationPipeline::Environment env;
    env.post = ui_.poster();
    env.shell = &shell_;
    env.owner = [] { return static_cast<HWND>(nullptr); };
    env.local_app_data = local_;
    env.downloader_directory = local_ + L"fernwick_downloader";
    env.product = L"fernwick";
    env.report_event = [this](const std::string& name, const Json& data) {
      reported_.push_back({name, data});
      if (IsFunnelEvent(name)) events_.push_back(name);
    };
    env.retry_scheduler = [this](DWORD delay, UiTask task) {
      delays_.push_back(delay);
      if (before_retry_) before_retry_();
      ui_.poster()(std::move(task));
    };
    InstallationPipeline::View view;
    view.show_installing = [this] { ++shown_; };
    view.set_progress = [this](int percent) { progress_.push_back(percent); };
    view.hide_installing = [this] { ++hidden_; };
    view.set_status = [this](const std::wstring& text) { statuses_.push_back(text); };
    if (adjust_) adjust_(env);
    pipeline_ = std::make_unique<InstallationPipeline>(env, view);
  }

  bool Download(const InstallationDetails& details) {
    pipeline_->StartInstallation(details);
    return ui_.RunUntil([&] { return !pipeline_->downloading(); }, 60000);
  }

  // Clicks the launch button and waits for the worker's check, unpacking and
  // start to come back.
  bool Launch() {
    pipeline_->LaunchInstaller();
    return ui_.RunUntil([&] { return !pipeline_->launching(); }, 60000);
  }

  std::wstring Installer(const std::wstring& name) const {
    return pipeline_->installer_folder() + L"\\" + name;
  }
  std::wstring Config(const char* key) const {
    return InstallerConfig(pipeline_->config_path()).Get(key);
  }
  // Points the marker program's output at a fresh file of this test.
  std::wstring ExpectMarker(const std::wstring& name) {
    const std::wstring marker = dir_.Child(name);
    ::SetEnvironmentVariableW(L"APP_TEST_MARKER", marker.c_str());
    return marker;
  }
  // The facts of the last event named |name| as they are written, "seconds"
  // left out once checked to be a number of at least 0; "<none>" when no
  // such event was reported.
  std::string Facts(const std::string& name) const {
    for (auto it = reported_.rbegin(); it != reported_.rend(); ++it) {
      if (it->name != name) continue;
      Json data = it->data;
      if (data.is_object() && data.contains("seconds")) {
        EXPECT_TRUE(data["seconds"].is_number() && data["seconds"].get<double>() >= 0) << name;
        data.erase("seconds");
      }
      return DumpJson(data);
    }
    return "<none>";
  }
  // The names of the events reported since the last call, in order.
  std::vector<std::string> TakeNames() {
    std::vector<std::string> names;
    for (const Reported& event : reported_) names.push_back(event.name);
    reported_.clear();
    return names;
  }
  using Names = std::vector<std::string>;

  void ExpectOnlyError(const std::wstring& text) {
    ASSERT_EQ(1u, shell_.messages.size());
    EXPECT_EQ(text, shell_.messages[0].text);
    EXPECT_EQ(kError, shell_.messages[0].caption);
    EXPECT_EQ(static_cast<UINT>(MB_ICONERROR), shell_.messages[0].icon);
  }

  ScopedTempDir dir_;
  std::wstring local_;
  TestUiThread ui_;
  RecordingShell shell_;
  struct Reported {
    std::string name;
    Json data;
  };
  std::vector<Reported> reported_;
  // The funnel events alone.
  std::vector<std::string> events_;
  std::vector<int> progress_;
  std::vector<DWORD> delays_;
  std::vector<std::wstring> statuses_;
  std::function<void()> before_retry_;
  std::function<void(InstallationPipeline::Environment&)> adjust_;
  int shown_ = 0;
  int hidden_ = 0;
  std::unique_ptr<InstallationPipeline> pipeline_;
};

TEST_F(PipelineTest, ZipPackageIsRecordedThenExtractedUnderTheProductAndLaunched) {
  REQUIRE_APP_SERVICE();
  Make();
  const std::string zip = testing_support::MakeStoredZip(
      {{"Fernwick/marker.exe", FileBytes(testing_support::MarkerProgramPath())},
       {"Fernwick/readme.txt", "hello"}});
  ASSERT_GT(zip.size(), 10000u);
  InstallerConfig(pipeline_->config_path()).Set({{InstallerConfig::kAttributionId, L"keep"}});

  InstallationDetails details =
      Details(PublishPackage(L"app_zip.zip", zip), L"{target_dir}\\Fernwick\\marker.exe");
  details.tutorial_url = L"https://t/tutorial";
  details.has_tutorial_url = true;
  pipeline_->StartInstallation(details);
  EXPECT_EQ(1, shown_);
  EXPECT_EQ(L"{target_dir}\\Fernwick\\marker.exe", Config(InstallerConfig::kLaunchCommand));
  EXPECT_EQ(L"", Config(InstallerConfig::kInstaller));
  // The record waits, written ahead; a key written while the package is on
  // its way must survive it.
  const std::wstring folder = local_ + L"fernwick_downloader";
  EXPECT_EQ(1, WaitingConfigTexts(folder));
  InstallerConfig(pipeline_->config_path()).Set({{"written_meanwhile", L"yes"}});
  ASSERT_TRUE(ui_.RunUntil([&] { return !pipeline_->downloading(); }));

  EXPECT_TRUE(shell_.messages.empty());
  EXPECT_EQ(1, hidden_);
  EXPECT_EQ(L"yes", Config("written_meanwhile"));
  EXPECT_EQ(0, WaitingConfigTexts(folder));
  ASSERT_FALSE(progress_.empty());
  EXPECT_EQ(100, progress_.back());
  for (size_t i = 1; i < progress_.size(); ++i) EXPECT_LE(progress_[i - 1], progress_[i]);
  EXPECT_EQ(zip, FileBytes(Installer(L"app_zip.zip")));
  EXPECT_FALSE(Exists(Installer(L"app_zip.zip.part")));
  EXPECT_EQ(L"installer\\app_zip.zip", Config(InstallerConfig::kInstaller));
  EXPECT_EQ(L"https://t/tutorial", Config(InstallerConfig::kTutorialUrl));
  EXPECT_EQ(L"keep", Config(InstallerConfig::kAttributionId));
  EXPECT_TRUE(pipeline_->HasDownloadedPackage());
  EXPECT_EQ("{\"host\": \"127.0.0.1\", \"recorded\": false}", Facts("download_start"));
  EXPECT_EQ("{\"bytes\": " + std::to_string(zip.size()) + ", \"resumed\": false, \"retries\": 0}",
            Facts("download_done"));
  EXPECT_EQ((Names{"download_start", "download_done"}), TakeNames());

  shell_.run_commands = true;
  const std::wstring marker = ExpectMarker(L"zip_marker.txt");
  progress_.clear();
  ASSERT_TRUE(Launch());
  ASSERT_EQ(1u, shell_.commands.size());
  const std::wstring program = local_ + L"fernwick\\Fernwick\\marker.exe";
  EXPECT_EQ(program, shell_.commands[0].file);
  EXPECT_EQ(L"", shell_.commands[0].parameters);
  EXPECT_EQ(SW_SHOWNORMAL, shell_.commands[0].show);
  EXPECT_EQ("hello", FileBytes(local_ + L"fernwick\\Fernwick\\readme.txt"));
  EXPECT_FALSE(testing_support::WaitForFile(marker).empty());
  EXPECT_TRUE(events_.empty());  // no funnel launch for a zip: its install is the unpacking
  const size_t unpacked = FileBytes(testing_support::MarkerProgramPath()).size() + 5;
  EXPECT_EQ("{\"bytes\": " + std::to_string(unpacked) + ", \"entries\": 2}", Facts("unpack_done"));
  EXPECT_EQ(Names{"unpack_done"}, TakeNames());
  EXPECT_TRUE(shell_.messages.empty());
  // The overlay showed the unpacking with its own status and progress, and
  // went away with the skin's status back.
  EXPECT_EQ(2, shown_);
  EXPECT_EQ(2, hidden_);
  ASSERT_FALSE(progress_.empty());
  EXPECT_EQ(100, progress_.back());
  ASSERT_GE(statuses_.size(), 3u);
  EXPECT_EQ(L"", statuses_.back());
}

// A zip's launch command is split by the command-line rules: the program
// (its substituted folder quoted, so a blank in the profile does not split
// it) and the arguments as written.
TEST_F(PipelineTest, ZipLaunchCommandWithArgumentsRunsTheProgramWithThem) {
  REQUIRE_APP_SERVICE();
  Make(L"Local Data");
  const std::string zip = testing_support::MakeStoredZip(
      {{"Fernwick/bin/app.exe", FileBytes(testing_support::MarkerProgramPath())}});
  ASSERT_TRUE(Download(Details(PublishPackage(L"app_args.zip", zip),
                               L"{target_dir}\\Fernwick\\bin\\app.exe --flag \"two words\"")));
  shell_.run_commands = true;
  const std::wstring marker = ExpectMarker(L"args_marker.txt");
  ASSERT_TRUE(Launch());
  ASSERT_EQ(1u, shell_.commands.size());
  EXPECT_EQ(local_ + L"fernwick\\Fernwick\\bin\\app.exe", shell_.commands[0].file);
  EXPECT_EQ(L"--flag \"two words\"", shell_.commands[0].parameters);
  EXPECT_TRUE(shell_.messages.empty());
  const std::string written = testing_support::WaitForFile(marker);
  const size_t first_line = written.find('\n');
  ASSERT_NE(std::string::npos, first_line) << written;
  EXPECT_EQ(first_line + 1, written.find("--flag\ntwo words\n", first_line + 1)) << written;

  // A program the package does not hold: the user is told.
  InstallerConfig(pipeline_->config_path())
      .Set({{InstallerConfig::kLaunchCommand, L"{target_dir}\\Fernwick\\missing.exe"}});
  ASSERT_TRUE(Launch());
  ExpectOnlyError(kLaunchFailed);
  EXPECT_TRUE(events_.empty());
}

// A package beyond the unpacking bounds, or beyond the free space, is taken
// back whole and its command never runs.
TEST_F(PipelineTest, ZipBeyondItsBoundsIsRefusedAndNothingRuns) {
  REQUIRE_APP_SERVICE();
  uint64_t free_space = 1u << 30;
  adjust_ = [&](InstallationPipeline::Environment& env) {
    env.extraction.max_total_bytes = 1u << 20;
    env.extraction.free_space = [&](const std::wstring&) { return free_space; };
  };
  Make();
  const std::string zip = testing_support::MakeStoredZip(
      {{"Fernwick/a.bin", Pattern(600000)}, {"Fernwick/b.bin", Pattern(600000)}});
  ASSERT_TRUE(Download(Details(PublishPackage(L"app_big.zip", zip), L"{target_dir}\\x.exe")));
  TakeNames();
  ASSERT_TRUE(Launch());
  ExpectOnlyError(L"\u89E3\u538B\u5B89\u88C5\u5305\u5931\u8D25\uFF01");
  EXPECT_TRUE(shell_.commands.empty());
  EXPECT_FALSE(Exists(local_ + L"fernwick\\Fernwick\\a.bin"));
  EXPECT_FALSE(Exists(local_ + L"fernwick\\Fernwick\\b.bin"));
  EXPECT_EQ("{\"status\": \"kTooLarge\"}", Facts("unpack_failed"));
  EXPECT_EQ("{\"key\": \"unpack_failed\"}", Facts("error_shown"));
  EXPECT_EQ((Names{"unpack_failed", "error_shown"}), TakeNames());

  const std::string small = testing_support::MakeStoredZip({{"Fernwick/a.bin", Pattern(60000)}});
  ASSERT_TRUE(Download(Details(PublishPackage(L"app_small.zip", small), L"{target_dir}\\x.exe")));
  free_space = 1000;
  shell_.messages.clear();
  ASSERT_TRUE(Launch());
  ExpectOnlyError(
      L"\u78C1\u76D8\u7A7A\u95F4\u4E0D\u8DB3\uFF0C\u65E0\u6CD5\u89E3\u538B\u5B89\u88C5\u5305"
      L"\uFF01");
  EXPECT_EQ("{\"status\": \"kNoSpace\"}", Facts("unpack_failed"));
  EXPECT_EQ("{\"key\": \"not_enough_space\"}", Facts("error_shown"));
  EXPECT_TRUE(shell_.commands.empty());
  EXPECT_FALSE(Exists(local_ + L"fernwick\\Fernwick\\a.bin"));
  EXPECT_FALSE(pipeline_->launching());
}

// A package the reader cannot read never counts as unpacked: its command is
// not run.
TEST_F(PipelineTest, AZipThatCannotBeReadIsNotLaunched) {
  REQUIRE_APP_SERVICE();
  Make();
  ASSERT_TRUE(Download(
      Details(PublishPackage(L"app_junk.zip", Pattern(30000)), L"{target_dir}\\Fernwick\\x.exe")));
  ASSERT_TRUE(Launch());
  ExpectOnlyError(L"\u89E3\u538B\u5B89\u88C5\u5305\u5931\u8D25\uFF01");
  EXPECT_EQ("{\"status\": \"kCannotOpen\"}", Facts("unpack_failed"));
  EXPECT_TRUE(shell_.commands.empty());
  EXPECT_FALSE(pipeline_->launching());
}

// The window closing in the middle of unpacking stops the worker; nothing
// comes back to a pipeline that is gone.
TEST_F(PipelineTest, ClosingWhileUnpackingStopsTheWork) {
  REQUIRE_APP_SERVICE();
  Make();
  std::vector<std::pair<std::string, std::string>> entries;
  for (int i = 0; i < 200; ++i) entries.push_back({"F/" + std::to_string(i), Pattern(20000)});
  ASSERT_TRUE(
      Download(Details(PublishPackage(L"app_many.zip", testing_support::MakeStoredZip(entries)),
                       L"{target_dir}\\F\\0")));
  pipeline_->LaunchInstaller();
  EXPECT_TRUE(pipeline_->launching());
  pipeline_.reset();  // waits for the worker
  ui_.RunFor(200);
  EXPECT_TRUE(shell_.commands.empty());
  EXPECT_TRUE(shell_.messages.empty());
}

TEST_F(PipelineTest, ExecutableRunsDirectlyAndReportsTheLaunch) {
  REQUIRE_APP_SERVICE();
  Make();
  const std::string program = FileBytes(testing_support::MarkerProgramPath());
  ASSERT_TRUE(Download(Details(PublishPackage(L"app_direct.exe", program))));
  ASSERT_TRUE(shell_.messages.empty());
  shell_.run_commands = true;
  const std::wstring marker = ExpectMarker(L"direct_marker.txt");
  ASSERT_TRUE(Launch());
  ASSERT_EQ(1u, shell_.commands.size());
  EXPECT_EQ(Installer(L"app_direct.exe"), shell_.commands[0].file);
  EXPECT_EQ(L"", shell_.commands[0].parameters);
  EXPECT_EQ(SW_SHOWNORMAL, shell_.commands[0].show);
  EXPECT_EQ(std::vector<std::string>{"installer_launch"}, events_);
  const std::string written = testing_support::WaitForFile(marker);
  EXPECT_NE(std::string::npos, written.find("app_direct.exe")) << written;
}

// The command goes to the system's command processor by its full path, in
// one more pair of quotes, with the installer's path quoted: blanks and
// characters the processor treats specially ("&") stay inside the path.
TEST_F(PipelineTest, ExecutableRunsThroughCmdWithTheInstallerQuotedInAnAwkwardFolder) {
  REQUIRE_APP_SERVICE();
  Make(L"Local \u5F20 A&B (x86)");
  const std::string program = FileBytes(testing_support::MarkerProgramPath());
  ASSERT_TRUE(Download(Details(PublishPackage(L"app_cmd.exe", program), L"{installer} /S")));
  shell_.run_commands = true;
  const std::wstring marker = ExpectMarker(L"cmd_marker.txt");
  ASSERT_TRUE(Launch());
  ASSERT_EQ(1u, shell_.commands.size());
  const std::wstring path = Installer(L"app_cmd.exe");
  EXPECT_EQ(DesktopShell::CommandProcessorPath(), shell_.commands[0].file);
  EXPECT_NE(std::wstring::npos, shell_.commands[0].file.find(L":\\"));
  EXPECT_EQ(L"/S /C \"\"" + path + L"\" /S\"", shell_.commands[0].parameters);
  EXPECT_EQ(SW_HIDE, shell_.commands[0].show);
  EXPECT_TRUE(shell_.messages.empty());
  EXPECT_EQ(std::vector<std::string>{"installer_launch"}, events_);
  // The program got its own path as one piece, then the switch.
  const std::string written = testing_support::WaitForFile(marker);
  const size_t first_line = written.find('\n');
  ASSERT_NE(std::string::npos, first_line) << written;
  const std::string args = written.substr(first_line + 1);
  EXPECT_EQ(0u, args.find("/S\n")) << written;
}

// The processor is started, but the command names nothing that runs: that
// is no launch.
TEST_F(PipelineTest, ACommandThatStartsNothingIsAFailure) {
  REQUIRE_APP_SERVICE();
  Make();
  const std::string program = FileBytes(testing_support::MarkerProgramPath());
  ASSERT_TRUE(
      Download(Details(PublishPackage(L"app_none.exe", program), L"{installer}.missing.exe /S")));
  shell_.run_commands = true;
  ASSERT_TRUE(Launch());
  ASSERT_EQ(1u, shell_.commands.size());
  ExpectOnlyError(kLaunchFailed);
  EXPECT_TRUE(events_.empty());
  // The processor's own exit code: it could not find the program.
  const Json failed = reported_.size() >= 2 ? reported_[reported_.size() - 2].data : Json();
  EXPECT_EQ("exit_code", JsonString(failed, "reason"));
  EXPECT_TRUE(JsonMember(failed, "code").is_number_unsigned());
  EXPECT_NE(0, JsonMember(failed, "code").get<int>()) << DumpJson(failed);
  EXPECT_EQ("{\"key\": \"launch_failed\"}", Facts("error_shown"));

  // What the processor answers decides, whatever it was asked.
  shell_.run_commands = false;
  shell_.messages.clear();
  shell_.command_outcome = CommandOutcome::kNotRun;
  shell_.command_code = ERROR_ACCESS_DENIED;
  TakeNames();
  ASSERT_TRUE(Launch());
  ExpectOnlyError(kLaunchFailed);
  EXPECT_EQ("{\"code\": 5, \"reason\": \"shell_error\"}", Facts("launch_failed"));
  EXPECT_EQ((Names{"launch_failed", "error_shown"}), TakeNames());
  shell_.messages.clear();
  shell_.command_outcome = CommandOutcome::kStarted;
  ASSERT_TRUE(Launch());
  EXPECT_TRUE(shell_.messages.empty());
  EXPECT_EQ(std::vector<std::string>{"installer_launch"}, events_);
}

// "%" is expanded by the processor even inside quotes: a path holding it is
// passed in its short form when that has none, else not at all.
TEST_F(PipelineTest, APathTheProcessorWouldExpandIsNeverHandedToIt) {
  REQUIRE_APP_SERVICE();
  Make(L"50%PATH%off");
  const std::string program = FileBytes(testing_support::MarkerProgramPath());
  ASSERT_TRUE(Download(Details(PublishPackage(L"app_pct.exe", program), L"{installer} /S")));
  ASSERT_TRUE(Launch());
  const std::wstring short_path = ShortPathForCommandProcessor(Installer(L"app_pct.exe"));
  if (short_path.empty()) {
    EXPECT_TRUE(shell_.commands.empty());
    ExpectOnlyError(kLaunchFailed);
    EXPECT_TRUE(events_.empty());
  } else {
    ASSERT_EQ(1u, shell_.commands.size());
    EXPECT_EQ(L"/S /C \"\"" + short_path + L"\" /S\"", shell_.commands[0].parameters);
    EXPECT_EQ(std::wstring::npos, shell_.commands[0].parameters.find(L'%'));
  }
}

TEST_F(PipelineTest, WithoutContentLengthTheBarKeepsItsSkinValue) {
  REQUIRE_APP_SERVICE();
  Make();
  const std::string bytes = Pattern(200000);
  const std::wstring url = PublishPackage(L"app_chunked.exe", bytes) + L"?fault_chunked=1";
  ASSERT_TRUE(Download(Details(url)));
  EXPECT_TRUE(shell_.messages.empty());
  EXPECT_TRUE(progress_.empty());
  EXPECT_EQ(bytes, FileBytes(Installer(L"app_chunked.exe")));
  EXPECT_EQ(1, hidden_);
}

TEST_F(PipelineTest, NotFoundLeavesTheRecordedPackageIntact) {
  REQUIRE_APP_SERVICE();
  Make();
  const std::string first = Pattern(5000);
  const std::wstring url = PublishPackage(L"app_keep.exe", first);
  ASSERT_TRUE(Download(Details(url)));
  ASSERT_EQ(L"installer\\app_keep.exe", Config(InstallerConfig::kInstaller));

  TakeNames();
  ASSERT_TRUE(Download(Details(url + L"?fault_status=404")));
  ExpectOnlyError(kDownloadFailed);
  EXPECT_EQ("{\"host\": \"127.0.0.1\", \"recorded\": true}", Facts("download_start"));
  EXPECT_EQ("{\"bytes\": 0, \"error\": 0, \"retries\": 0, \"status\": 404}",
            Facts("download_failed"));
  EXPECT_EQ("{\"key\": \"download_failed\"}", Facts("error_shown"));
  EXPECT_EQ((Names{"download_start", "download_failed", "error_shown"}), TakeNames());
  EXPECT_TRUE(delays_.empty());  // a missing package does not come back by waiting
  EXPECT_EQ(first, FileBytes(Installer(L"app_keep.exe")));
  EXPECT_FALSE(Exists(Installer(L"app_keep.exe.part")));
  EXPECT_EQ(L"installer\\app_keep.exe", Config(InstallerConfig::kInstaller));
  EXPECT_EQ(0, WaitingConfigTexts(local_ + L"fernwick_downloader"));
  EXPECT_EQ(1, hidden_);  // the overlay stays after the failure
  EXPECT_EQ(2, shown_);
}

TEST_F(PipelineTest, DroppedConnectionIsResumedFromTheKeptBytes) {
  REQUIRE_APP_SERVICE();
  Make();
  const std::string bytes = Pattern(300000);
  const std::wstring url = PublishPackage(L"app_resume.bin", bytes);
  ASSERT_TRUE(testing_support::QueueFault(L"/packages/app_resume.bin", {{"drop", 100000}}, 1));
  int64_t kept = -1;
  size_t reports_before_retry = 0;
  before_retry_ = [&] {
    kept = static_cast<int64_t>(FileBytes(Installer(L"app_resume.bin.part")).size());
    reports_before_retry = progress_.size();
  };
  ASSERT_TRUE(Download(Details(url)));
  testing_support::ClearFaults();
  EXPECT_TRUE(shell_.messages.empty());
  EXPECT_EQ(std::vector<DWORD>{1000}, delays_);
  EXPECT_EQ(100000, kept);
  EXPECT_EQ(bytes, FileBytes(Installer(L"app_resume.bin")));
  EXPECT_FALSE(Exists(Installer(L"app_resume.bin.part")));
  EXPECT_FALSE(Exists(Installer(L"app_resume.bin.part.resume")));
  EXPECT_EQ("{\"bytes\": 300000, \"resumed\": true, \"retries\": 1}", Facts("download_done"));
  // After the retry the bar went on from the kept third instead of from 0.
  ASSERT_LT(reports_before_retry, progress_.size());
  for (size_t i = reports_before_retry; i < progress_.size(); ++i) EXPECT_GE(progress_[i], 33);
  EXPECT_EQ(100, progress_.back());
}

TEST_F(PipelineTest, DropsThatEachLeaveMoreBytesDoNotUseUpTheRetries) {
  REQUIRE_APP_SERVICE();
  Make();
  // Five drops, each after 60,000 more bytes: more than the retries in a
  // row, but every attempt brings bytes the next one resumes from.
  const std::string bytes = Pattern(400000);
  const std::wstring url = PublishPackage(L"app_drops.bin", bytes);
  ASSERT_TRUE(testing_support::QueueFault(L"/packages/app_drops.bin", {{"drop", 60000}}, 5));
  std::vector<int64_t> kept;
  before_retry_ = [&] { kept.push_back(FileBytes(Installer(L"app_drops.bin.part")).size()); };
  ASSERT_TRUE(Download(Details(url)));
  testing_support::ClearFaults();
  EXPECT_TRUE(shell_.messages.empty());
  EXPECT_EQ((std::vector<DWORD>(5, 1000)), delays_);
  EXPECT_EQ((std::vector<int64_t>{60000, 120000, 180000, 240000, 300000}), kept);
  EXPECT_EQ("{\"bytes\": 400000, \"resumed\": true, \"retries\": 5}", Facts("download_done"));
  EXPECT_EQ(bytes, FileBytes(Installer(L"app_drops.bin")));
}

TEST_F(PipelineTest, WithoutAValidatorEachRetryStartsOverAndTheLastFailureIsShown) {
  REQUIRE_APP_SERVICE();
  Make();
  // /test/bytes sends no ETag or Last-Modified, so nothing may be resumed.
  std::vector<int64_t> kept;
  before_retry_ = [&] { kept.push_back(FileBytes(Installer(L"bytes.part")).size()); };
  ASSERT_TRUE(Download(Details(ServiceBase() + L"/test/bytes?size=50000&fault_drop=20000")));
  EXPECT_EQ((std::vector<DWORD>{1000, 2000, 4000}), delays_);
  EXPECT_EQ((std::vector<int64_t>{20000, 20000, 20000}), kept);
  ExpectOnlyError(kDownloadFailed);
  // Four cut answers of 20,000 bytes each; the last one's status and error.
  const Json failed = ParseJson(Facts("download_failed"));
  EXPECT_EQ(80000, JsonMember(failed, "bytes").get<int>()) << DumpJson(failed);
  EXPECT_EQ(3, JsonMember(failed, "retries").get<int>());
  EXPECT_EQ(200, JsonMember(failed, "status").get<int>());
  EXPECT_NE(0, JsonMember(failed, "error").get<int>());
  EXPECT_FALSE(Exists(Installer(L"bytes")));
  EXPECT_EQ(L"", Config(InstallerConfig::kInstaller));
}

TEST_F(PipelineTest, ServerErrorsAreRetriedButNotStartFailures) {
  REQUIRE_APP_SERVICE();
  Make();
  ASSERT_TRUE(Download(Details(PublishPackage(L"app_busy.exe", "x") + L"?fault_status=503")));
  EXPECT_EQ((std::vector<DWORD>{1000, 2000, 4000}), delays_);
  ExpectOnlyError(kDownloadFailed);
  EXPECT_EQ("{\"bytes\": 0, \"error\": 0, \"retries\": 3, \"status\": 503}",
            Facts("download_failed"));

  for (const wchar_t* url : {L"ftp://127.0.0.1/app.exe", L"http://127.0.0.1:99999999999/app.exe"}) {
    shell_.messages.clear();
    delays_.clear();
    ASSERT_TRUE(Download(Details(url))) << url;
    EXPECT_TRUE(delays_.empty()) << url;
    ExpectOnlyError(kDownloadFailed);
    EXPECT_EQ("{\"bytes\": 0, \"error\": 0, \"retries\": 0, \"status\": 0}",
              Facts("download_failed"));
  }
  EXPECT_EQ("{\"host\": \"\", \"recorded\": false}", Facts("download_start"));
}

TEST_F(PipelineTest, ExpectedHashIsCheckedAfterTheDownloadAndBeforeTheLaunch) {
  REQUIRE_APP_SERVICE();
  Make();
  const std::string bytes = Pattern(70000);
  InstallationDetails details = Details(PublishPackage(L"app_hashed.exe", bytes));
  details.sha256 = std::string(64, '0');
  ASSERT_TRUE(Download(details));
  ExpectOnlyError(kDownloadFailed);
  EXPECT_FALSE(Exists(Installer(L"app_hashed.exe")));
  EXPECT_FALSE(Exists(Installer(L"app_hashed.exe.part")));
  EXPECT_EQ(L"", Config(InstallerConfig::kInstaller));

  shell_.messages.clear();
  ScopedTempDir scratch;
  ASSERT_TRUE(WriteBytes(scratch.Child(L"copy"), bytes));
  details.sha256 = Sha256OfFile(scratch.Child(L"copy"));
  ASSERT_EQ(64u, details.sha256.size());
  ASSERT_TRUE(Download(details));
  EXPECT_TRUE(shell_.messages.empty());
  EXPECT_EQ(std::wstring(details.sha256.begin(), details.sha256.end()),
            InstallerConfig(pipeline_->config_path()).Get("sha256"));
  // Held since it matched: it cannot be replaced before the launch, which
  // therefore starts it without reading it again.
  EXPECT_FALSE(WriteBytes(Installer(L"app_hashed.exe"), bytes + "!"));
  EXPECT_EQ(0u, ::MoveFileExW(Installer(L"app_hashed.exe").c_str(), dir_.Child(L"moved").c_str(),
                              MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED));
  ASSERT_TRUE(Launch());
  EXPECT_EQ(1u, shell_.commands.size());
  const std::wstring checking = L"\u6B63\u5728\u6821\u9A8C\u5B89\u88C5\u5305...";
  ASSERT_GE(statuses_.size(), 2u);
  EXPECT_EQ(L"\u6B63\u5728\u542F\u52A8\u5B89\u88C5\u7A0B\u5E8F...",
            statuses_[statuses_.size() - 2]);

  // The hold ends with that launch: the next one checks the file again.
  ASSERT_TRUE(Launch());
  EXPECT_EQ(2u, shell_.commands.size());
  EXPECT_EQ(checking, statuses_[statuses_.size() - 2]);

  // Replaced after the download: nothing runs.
  ASSERT_TRUE(WriteBytes(Installer(L"app_hashed.exe"), bytes + "!"));
  ASSERT_TRUE(Launch());
  EXPECT_EQ(2u, shell_.commands.size());
  ExpectOnlyError(kLaunchFailed);
  EXPECT_EQ(2u, events_.size());
  EXPECT_EQ("{\"code\": 0, \"reason\": \"missing_file\"}", Facts("launch_failed"));

  // A later package without a hash is not held to the old one.
  shell_.messages.clear();
  ASSERT_TRUE(Download(Details(PublishPackage(L"app_unhashed.exe", bytes))));
  EXPECT_EQ(L"", InstallerConfig(pipeline_->config_path()).Get("sha256"));
  ASSERT_TRUE(Launch());
  EXPECT_EQ(3u, shell_.commands.size());
  EXPECT_TRUE(shell_.messages.empty());
}

TEST_F(PipelineTest, LaunchFailuresTellTheUser) {
  Make();
  // Each failure is reported with its reason, then the box with its key.
  const auto expect_reported = [this](const std::string& facts, const std::string& key) {
    EXPECT_EQ(facts, Facts("launch_failed")) << key;
    EXPECT_EQ("{\"key\": \"" + key + "\"}", Facts("error_shown"));
    EXPECT_EQ((Names{"launch_failed", "error_shown"}), TakeNames()) << key;
  };
  const std::wstring config = pipeline_->config_path();
  pipeline_->LaunchInstaller();
  ExpectOnlyError(
      L"\u914D\u7F6E\u6587\u4EF6\u4E0D\u5B58\u5728\u6216\u683C\u5F0F\u9519\u8BEF\uFF01");
  const std::string missing = "{\"code\": 0, \"reason\": \"missing_file\"}";
  expect_reported(missing, "config_missing");

  CreateFolderTree(pipeline_->installer_folder());
  ASSERT_TRUE(WriteBytes(config, "{\"installer\": "));
  shell_.messages.clear();
  pipeline_->LaunchInstaller();
  ExpectOnlyError(
      L"\u914D\u7F6E\u6587\u4EF6\u4E0D\u5B58\u5728\u6216\u683C\u5F0F\u9519\u8BEF\uFF01");
  expect_reported(missing, "config_missing");

  ASSERT_TRUE(WriteBytes(config, R"({"launch_cmd": "{installer}", "bd_vid": "x"})"));
  shell_.messages.clear();
  pipeline_->LaunchInstaller();
  ExpectOnlyError(L"\u5B89\u88C5\u6587\u4EF6\u8DEF\u5F84\u4E0D\u5B58\u5728\uFF01");
  expect_reported(missing, "installer_not_recorded");

  InstallerConfig(config).Set({{InstallerConfig::kInstaller, L"installer\\gone.exe"}});
  shell_.messages.clear();
  pipeline_->LaunchInstaller();
  ExpectOnlyError(L"\u5B89\u88C5\u6587\u4EF6\u4E0D\u5B58\u5728\uFF01\n\u8DEF\u5F84\uFF1A" +
                  Installer(L"gone.exe"));
  expect_reported(missing, "installer_missing");
  EXPECT_FALSE(pipeline_->HasDownloadedPackage());

  // Extensions are compared without regard to case, on the file name only;
  // a package that is neither a zip nor a program says so.
  ASSERT_TRUE(WriteBytes(Installer(L"SETUP.EXE"), "MZ"));
  InstallerConfig(config).Set({{InstallerConfig::kInstaller, L"installer\\SETUP.EXE"}});
  shell_.messages.clear();
  ASSERT_TRUE(Launch());
  EXPECT_TRUE(shell_.messages.empty());
  EXPECT_EQ(1u, shell_.commands.size());
  EXPECT_TRUE(pipeline_->HasDownloadedPackage());
  EXPECT_EQ(Names{"installer_launch"}, TakeNames());
  CreateFolderTree(pipeline_->installer_folder() + L"\\v1.2");
  for (const wchar_t* name : {L"setup.msi", L"setup", L"v1.2\\setup"}) {
    ASSERT_TRUE(WriteBytes(Installer(name), "MZ"));
    InstallerConfig(config).Set(
        {{InstallerConfig::kInstaller, L"installer\\" + std::wstring(name)}});
    shell_.messages.clear();
    pipeline_->LaunchInstaller();
    EXPECT_FALSE(pipeline_->launching());
    ExpectOnlyError(kLaunchFailed);
    expect_reported("{\"code\": 0, \"reason\": \"extension\"}", "launch_failed");
  }
  EXPECT_EQ(1u, shell_.commands.size());
  events_.clear();

  // A file that is no program: the system refuses it.
  ASSERT_TRUE(WriteBytes(Installer(L"broken.exe"), "not a program"));
  InstallerConfig(config).Set({{InstallerConfig::kInstaller, L"installer\\broken.exe"},
                               {InstallerConfig::kLaunchCommand, L""}});
  shell_.run_commands = true;
  shell_.messages.clear();
  ASSERT_TRUE(Launch());
  ExpectOnlyError(kLaunchFailed);
  EXPECT_TRUE(events_.empty());
  EXPECT_EQ("shell_error", JsonString(ParseJson(Facts("launch_failed")), "reason"));

  // A program the shell cannot find counts as a missing file, with the
  // system's error number.
  shell_.run_commands = false;
  shell_.execute_result = false;
  shell_.execute_error = ERROR_FILE_NOT_FOUND;
  shell_.messages.clear();
  TakeNames();
  ASSERT_TRUE(Launch());
  ExpectOnlyError(kLaunchFailed);
  expect_reported("{\"code\": 2, \"reason\": \"missing_file\"}", "launch_failed");
}

TEST_F(PipelineTest, TutorialAndFolderGoToTheShell) {
  REQUIRE_APP_SERVICE();
  Make();
  pipeline_->OpenTutorial();  // no configuration yet
  EXPECT_TRUE(shell_.opened.empty());

  // The channel's help address stands until details name a tutorial; one
  // that asks for it is opened at once.
  pipeline_->set_tutorial_url(L"https://help/?auto_open=1");
  ASSERT_TRUE(Download(Details(PublishPackage(L"app_tutorial.exe", "x"))));
  ASSERT_EQ(std::vector<std::wstring>{L"https://help/?auto_open=1"}, shell_.opened);
  EXPECT_EQ(L"https://help/?auto_open=1", Config(InstallerConfig::kTutorialUrl));
  pipeline_->OpenTutorial();
  EXPECT_EQ(2u, shell_.opened.size());

  InstallationDetails details = Details(PublishPackage(L"app_tutorial.exe", "x"));
  details.tutorial_url = L"https://t/plain";
  details.has_tutorial_url = true;
  shell_.opened.clear();
  ASSERT_TRUE(Download(details));
  EXPECT_TRUE(shell_.opened.empty());
  pipeline_->OpenTutorial();
  pipeline_->OpenInstallerFolder();
  EXPECT_EQ(
      (std::vector<std::wstring>{L"https://t/plain", local_ + L"fernwick_downloader\\installer"}),
      shell_.opened);

  // Whatever the service names that is no web address is never opened, not
  // even with "auto_open".
  for (const wchar_t* url :
       {L"C:\\Windows\\System32\\calc.exe?auto_open", L"\\\\server\\share\\auto_open.exe",
        L"file:///C:/auto_open.exe", L"ms-settings:auto_open", L"https://h/\"auto_open"}) {
    details.tutorial_url = url;
    shell_.opened.clear();
    ASSERT_TRUE(Download(details));
    pipeline_->OpenTutorial();
    EXPECT_TRUE(shell_.opened.empty()) << url;
    EXPECT_EQ(url, Config(InstallerConfig::kTutorialUrl));
  }
}

TEST_F(PipelineTest, ProgressAfterTheWindowClosedIsDropped) {
  REQUIRE_APP_SERVICE();
  Make();
  const std::wstring url = PublishPackage(L"app_slow.exe", Pattern(8000)) + L"?fault_slow=50";
  pipeline_->StartInstallation(Details(url));
  ui_.RunFor(100);
  ui_.Close();
  pipeline_.reset();
  TestUiThread later;
  later.RunFor(800);  // the transfer ends meanwhile and finds nobody
  EXPECT_EQ(0, hidden_);
  EXPECT_TRUE(shell_.messages.empty());
  // Nothing recorded, and the record's text gone with the pipeline.
  EXPECT_EQ(L"", InstallerConfig(local_ + L"fernwick_downloader\\config.json")
                     .Get(InstallerConfig::kInstaller));
  EXPECT_EQ(0, WaitingConfigTexts(local_ + L"fernwick_downloader"));
}

TEST(PackageFileNameTest, OnlyPlainNamesBecomePaths) {
  EXPECT_EQ(L"setup.exe", PackageFileName(L"https://h/a/setup.exe?x=1#y"));
  EXPECT_EQ(L"my%20app.zip", PackageFileName(L"https://h/my%20app.zip"));
  EXPECT_EQ(L"download.exe", PackageFileName(L"https://h/a/"));
  for (const wchar_t* url :
       {L"https://h/a\\..\\..\\evil.exe", L"https://h/..", L"https://h/...", L"https://h/c:x.exe",
        L"https://h/a*b.exe", L"https://h/a|b.exe", L"https://h/a<b>.exe", L"https://h/a\"b.exe",
        L"https://h/a\tb.exe", L"https://h/con", L"https://h/NUL.zip", L"https://h/com1.exe",
        L"https://h/lpt9", L"https://h/?x", L"nothing"}) {
    EXPECT_EQ(L"download.exe", PackageFileName(url)) << url;
  }
  // Names Windows would resolve to the folder or its parent, and devices
  // however they are written.
  for (const wchar_t* url :
       {L"https://h/ ", L"https://h/ ..", L"https://h/.. ", L"https://h/. .", L"https://h/a/ ..?x",
        L"https://h/COM\u00b9", L"https://h/com\u00b2.exe", L"https://h/LPT\u00b3.zip",
        L"https://h/com0.exe", L"https://h/LPT0", L"https://h/nul .txt", L"https://h/COM1.tar.gz",
        L"https://h/CONIN$.exe", L"https://h/conout$"}) {
    EXPECT_EQ(L"download.exe", PackageFileName(url)) << url;
  }
  EXPECT_EQ(L"console.exe", PackageFileName(L"https://h/console.exe"));
  EXPECT_EQ(L"com10.exe", PackageFileName(L"https://h/com10.exe"));
  EXPECT_EQ(L"..setup.exe", PackageFileName(L"https://h/..setup.exe"));
  EXPECT_EQ(L"caf\u00e9 1.zip", PackageFileName(L"https://h/caf\u00e9 1.zip"));
}

}  // namespace
