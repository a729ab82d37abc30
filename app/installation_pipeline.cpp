#include "app/installation_pipeline.h"

#include <utility>

#include "app/app_directories.h"
#include "app/assistant_texts.h"
#include "app/file_hash.h"
#include "app/installer_config.h"
#include "app/json_file.h"
#include "app/package_file_name.h"
#include "app/product_config.h"
#include "app/support_log.h"
#include "app/usage_events.h"
#include "archive/package_extraction.h"
#include "base/monotonic_clock.h"
#include "base/utf8.h"
#include "http/url_helpers.h"

namespace {

// InstallerConfig: the SHA-256 the recorded package was checked against.
const char kPackageHashKey[] = "sha256";

bool Exists(const std::wstring& path) {
  return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsFile(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

double SecondsSince(int64_t start_us) {
  return static_cast<double>(cbase::MonotonicNow() - start_us) / 1e6;
}

// The host a package comes from, "" for an address without one.
std::string HostOf(const std::wstring& url) {
  try {
    return cbase::Utf16ToUtf8(winhttpx::ParseUrlAuthority(winhttpx::UrlBase(url)).host);
  } catch (const std::exception&) {
    return std::string();
  }
}

// The zip status an "unpack_failed" event reports.
const char* ExtractionStatusName(ExtractionStatus status) {
  switch (status) {
    case ExtractionStatus::kOk:
      return "kOk";
    case ExtractionStatus::kCannotOpen:
      return "kCannotOpen";
    case ExtractionStatus::kTooLarge:
      return "kTooLarge";
    case ExtractionStatus::kTooManyEntries:
      return "kTooManyEntries";
    case ExtractionStatus::kNoSpace:
      return "kNoSpace";
    case ExtractionStatus::kWriteFailed:
      return "kWriteFailed";
    case ExtractionStatus::kCancelled:
      return "kCancelled";
    case ExtractionStatus::kUnreadable:
      return "kUnreadable";
  }
  return "unknown";
}

const char* CommandOutcomeName(CommandOutcome outcome) {
  switch (outcome) {
    case CommandOutcome::kStarted:
      return "started";
    case CommandOutcome::kNothingStarted:
      return "nothing_started";
    case CommandOutcome::kNotRun:
      return "not_run";
  }
  return "unknown";
}

// The launch as the support log records it.
void LogLaunch(const std::wstring& command, const char* result, DWORD code) {
  SupportLog::Instance().Write("launch",
                               {{"command", command}, {"result", result}, {"code", code}});
}

}  // namespace

InstallationPipeline::Environment InstallationPipeline::Environment::ForProductConfig(
    PostToUIFunction post, std::function<HWND()> owner) {
  Environment environment;
  environment.post = std::move(post);
  environment.owner = std::move(owner);
  environment.product = ProductConfig::Instance().product();
  environment.local_app_data = LocalAppDataDirectory();
  environment.downloader_directory = DownloaderDirectory(environment.product);
  return environment;
}

InstallationPipeline::InstallationPipeline(Environment environment, View view)
    : env_(std::move(environment)),
      view_(std::move(view)),
      download_(env_.post, env_.retry_scheduler) {
  if (!env_.shell) env_.shell = &DesktopShell::System();
}

HWND InstallationPipeline::Owner() const { return env_.owner ? env_.owner() : nullptr; }

void InstallationPipeline::ShowError(const std::wstring& text) {
  // Reported before the box, which waits for the user.
  Report("error_shown", {{"key", ErrorKeyForText(text)}});
  ::ShowError(*env_.shell, Owner(), text);
}

void InstallationPipeline::StartInstallation(const InstallationDetails& details) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  const bool recorded = HasDownloadedPackage();
  launch_command_ = details.launch_cmd;
  if (details.has_tutorial_url) tutorial_url_ = details.tutorial_url;
  const InstallerConfig config(config_path());
  config.Set({{InstallerConfig::kLaunchCommand, launch_command_},
              {InstallerConfig::kTutorialUrl, tutorial_url_}});
  if (tutorial_url_.find(L"auto_open") != std::wstring::npos) OpenWebAddress(tutorial_url_);
  if (view_.set_status) view_.set_status(std::wstring());
  if (view_.show_installing) view_.show_installing();

  CreateFolderTree(installer_folder());
  const std::wstring file_name = PackageFileName(details.download_url);
  const std::wstring package = installer_folder() + L"\\" + file_name;
  // The held package would stand in the way of the new one.
  held_package_.reset();
  // Made to last now, while little waits to be written: flushed after the
  // download, the record would first wait for the package to reach the disk.
  // The package itself is not flushed (it never was): after a power cut the
  // record may name a damaged package, which the launch's hash check, or the
  // unpacking's CRC check, then refuses.
  package_record_.reset();
  package_record_values_ = PackageRecord(file_name, details.sha256);
  package_record_ = config.Prepare(package_record_values_);
  Report("download_start", {{"host", HostOf(details.download_url)}, {"recorded", recorded}});
  download_started_ = cbase::MonotonicNow();
  download_.Start(
      details.download_url, package, details.sha256,
      [this](int64_t received, int64_t total) { ShowProgress(received, total); },
      [this, file_name, package](const PackageDownload::Result& result) {
        if (result.succeeded && result.held) {
          held_package_ = result.held;
          held_path_ = package;
          held_sha256_ = result.sha256;
        }
        OnPackageDownloaded(result, file_name);
      });
}

void InstallationPipeline::OnPackageDownloaded(const PackageDownload::Result& result,
                                               const std::wstring& file_name) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  std::unique_ptr<PendingJsonMerge> record = std::move(package_record_);
  if (!result.succeeded) {
    Report("download_failed", {{"status", result.status},
                               {"error", result.error},
                               {"retries", result.retries},
                               {"bytes", result.bytes}});
    // The overlay stays until the user closes it; an earlier package, if
    // any, is still in place and recorded.
    ShowError(kDownloadFailedText);
    return;
  }
  const std::map<std::string, std::wstring> values = PackageRecord(file_name, result.sha256);
  if (record && values == package_record_values_) {
    record->Commit();
  } else {
    InstallerConfig(config_path()).Set(values);
  }
  Report("download_done", {{"bytes", result.bytes},
                           {"seconds", EventSeconds(SecondsSince(download_started_))},
                           {"retries", result.retries},
                           {"resumed", result.resumed}});
  if (view_.hide_installing) view_.hide_installing();
}

std::map<std::string, std::wstring> InstallationPipeline::PackageRecord(
    const std::wstring& file_name, const std::string& sha256) const {
  return {{InstallerConfig::kLaunchCommand, launch_command_},
          {InstallerConfig::kTutorialUrl, tutorial_url_},
          {InstallerConfig::kInstaller, L"installer\\" + file_name},
          {kPackageHashKey, cbase::Utf8ToUtf16(sha256)}};
}

bool InstallationPipeline::HasDownloadedPackage() const {
  const std::wstring installer = InstallerConfig(config_path()).Get(InstallerConfig::kInstaller);
  const std::wstring path = env_.downloader_directory + L"\\" + installer;
  return path.back() != L'\\' && path.back() != L'/' && IsFile(path);
}

void InstallationPipeline::LaunchInstaller() {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  if (launching_) return;
  const Json config = ReadJsonFile(config_path());
  if (config.is_null()) {
    ReportLaunchFailure("missing_file", 0);
    ShowError(kConfigMissingText);
    return;
  }
  const std::wstring installer =
      cbase::Utf8ToUtf16(JsonString(config, InstallerConfig::kInstaller));
  if (installer.empty()) {
    ReportLaunchFailure("missing_file", 0);
    ShowError(kInstallerNotRecordedText);
    return;
  }
  LaunchJob job;
  job.command = cbase::Utf8ToUtf16(JsonString(config, InstallerConfig::kLaunchCommand));
  job.package = env_.downloader_directory + L"\\" + installer;
  if (!Exists(job.package)) {
    ReportLaunchFailure("missing_file", 0);
    ShowError(kInstallerMissingText + job.package);
    return;
  }
  job.extension = LowerCaseExtension(job.package);
  if (job.extension != L".zip" && job.extension != L".exe") {
    ReportLaunchFailure("extension", 0);
    ShowError(kLaunchFailedText);
    return;
  }
  // The file may have been replaced since it was checked after the download,
  // unless it has been held since.
  job.expected_sha256 = JsonString(config, kPackageHashKey);
  if (held_package_ && job.package == held_path_ && job.expected_sha256 == held_sha256_) {
    job.held = std::move(held_package_);
  }
  held_package_.reset();
  launching_ = true;
  if (view_.set_status) {
    view_.set_status(job.NeedsCheck()           ? kCheckingPackageText
                     : job.extension == L".zip" ? kUnpackingPackageText
                                                : kStartingInstallerText);
  }
  if (view_.set_progress) view_.set_progress(0);
  if (view_.show_installing) view_.show_installing();
  const bool posted = worker_.Post([this, job](const std::atomic<bool>& cancelled) mutable {
    RunLaunchJob(std::move(job), cancelled);
  });
  if (!posted) FailLaunch("shell_error", 0, kLaunchFailedText);
}

void InstallationPipeline::RunLaunchJob(LaunchJob job, const std::atomic<bool>& cancelled) {
  const bool checking = job.NeedsCheck();
  if (job.held) {
    SupportLog::Instance().Write("hash", {{"check", "launch"}, {"result", "held"}});
  } else if (checking) {
    const std::shared_ptr<ProgressCoalescer> progress = WorkerProgress();
    const int64_t started = cbase::MonotonicNow();
    const std::string actual = Sha256OfFile(job.package, [&](uint64_t done, uint64_t total) {
      progress->Update(static_cast<int64_t>(done), static_cast<int64_t>(total));
      return !cancelled;
    });
    if (cancelled) return;
    progress->Flush();
    SupportLog::Instance().Write("hash",
                                 {{"check", "launch"},
                                  {"result", actual == job.expected_sha256 ? "match" : "mismatch"},
                                  {"ms", static_cast<int64_t>(SecondsSince(started) * 1000)}});
    if (actual != job.expected_sha256) {
      // What is there is no longer the package that was checked.
      PostBack([this] { FailLaunch("missing_file", 0, kLaunchFailedText); });
      return;
    }
  } else {
    SupportLog::Instance().Write("hash", {{"check", "launch"}, {"result", "none_recorded"}});
  }
  if (job.extension == L".zip") {
    // Without a hash to check, the status already says so.
    if (checking) {
      PostBack([this] {
        if (view_.set_status) view_.set_status(kUnpackingPackageText);
      });
    }
    const std::wstring target = env_.local_app_data + env_.product;
    ExtractionOptions options = env_.extraction;
    const std::shared_ptr<ProgressCoalescer> progress = WorkerProgress();
    options.progress = [&](const ExtractionProgress& figures) {
      progress->Update(static_cast<int64_t>(figures.bytes_done),
                       static_cast<int64_t>(figures.bytes_total));
      return !cancelled;
    };
    const int64_t started = cbase::MonotonicNow();
    const ExtractionResult result = ExtractPackage(job.package.c_str(), target.c_str(), options);
    const double seconds = SecondsSince(started);
    job.held.reset();
    if (cancelled) return;
    progress->Flush();
    const std::wstring command = job.command;
    PostBack(
        [this, result, seconds, command, target] { OnUnpacked(result, seconds, command, target); });
    return;
  }
  // An installer may move or delete its own file.
  job.held.reset();
  if (job.command.empty()) {
    const std::wstring package = job.package;
    PostBack([this, package] { RunPackageDirectly(package); });
    return;
  }
  // The command processor would expand "%" and "!" even inside quotes.
  const std::wstring path = ShortPathForCommandProcessor(job.package);
  if (path.empty()) {
    PostBack([this] { FailLaunch("shell_error", 0, kLaunchFailedText); });
    return;
  }
  if (checking) {
    PostBack([this] {
      if (view_.set_status) view_.set_status(kStartingInstallerText);
    });
  }
  RunCommandJob(SubstituteInstaller(job.command, path));
}

void InstallationPipeline::RunCommandJob(const std::wstring& command) {
  ShellCommand run;
  run.file = DesktopShell::CommandProcessorPath();
  run.parameters = CommandProcessorParameters(command);
  run.show = SW_HIDE;
  const CommandResult result = env_.shell->RunCommandProcessor(run, kCommandWatchMs);
  SupportLog::Instance().Write("launch", {{"command", command},
                                          {"via", "command_processor"},
                                          {"result", CommandOutcomeName(result.outcome)},
                                          {"code", result.code}});
  PostBack([this, result] {
    if (result.outcome != CommandOutcome::kStarted) {
      FailLaunch(result.outcome == CommandOutcome::kNotRun ? "shell_error" : "exit_code",
                 result.code, kLaunchFailedText);
      return;
    }
    FinishLaunch(std::wstring());
    ReportLaunch();
  });
}

void InstallationPipeline::OnUnpacked(const ExtractionResult& result, double seconds,
                                      const std::wstring& command, const std::wstring& target) {
  SupportLog::Instance().Write("extraction", {{"status", ExtractionStatusName(result.status)},
                                              {"entries", result.entries_written},
                                              {"bytes", result.bytes_written},
                                              {"ms", static_cast<int64_t>(seconds * 1000)}});
  if (result.status == ExtractionStatus::kOk) {
    Report("unpack_done", {{"entries", result.entries_written},
                           {"bytes", result.bytes_written},
                           {"seconds", EventSeconds(seconds)}});
  } else {
    Report("unpack_failed", {{"status", ExtractionStatusName(result.status)}});
  }
  // Single entries that fail are skipped and the command runs whatever came
  // out. A package that is no readable archive, goes beyond the bounds, or
  // whose target folder cannot be made left nothing behind, and running its
  // command would only fail on a missing program.
  switch (result.status) {
    case ExtractionStatus::kNoSpace:
      FinishLaunch(kNotEnoughSpaceText);
      return;
    case ExtractionStatus::kCannotOpen:
    case ExtractionStatus::kUnreadable:
    case ExtractionStatus::kTooLarge:
    case ExtractionStatus::kTooManyEntries:
    case ExtractionStatus::kWriteFailed:
      FinishLaunch(kUnpackFailedText);
      return;
    default:
      break;
  }
  FinishLaunch(std::wstring());
  if (command.empty()) return;
  const std::wstring substituted = SubstituteTargetDir(command, target);
  const ProgramAndArguments split = SplitProgramAndArguments(substituted);
  ShellCommand run;
  run.owner = Owner();
  run.file = split.program;
  run.parameters = split.arguments;
  run.show = SW_SHOWNORMAL;
  if (split.program.empty()) {
    LogLaunch(substituted, "no_program", 0);
    ReportLaunchFailure("missing_file", 0);
    ShowError(kLaunchFailedText);
  } else if (!env_.shell->Execute(run)) {
    const DWORD error = ::GetLastError();
    LogLaunch(substituted, "shell_error", error);
    ReportShellFailure(error);
    ShowError(kLaunchFailedText);
  } else {
    LogLaunch(substituted, "started", 0);
  }
}

void InstallationPipeline::RunPackageDirectly(const std::wstring& package) {
  FinishLaunch(std::wstring());
  ShellCommand run;
  run.owner = Owner();
  run.file = package;
  run.show = SW_SHOWNORMAL;
  if (!env_.shell->Execute(run)) {
    const DWORD error = ::GetLastError();
    LogLaunch(package, "shell_error", error);
    ReportShellFailure(error);
    ShowError(kLaunchFailedText);
    return;
  }
  LogLaunch(package, "started", 0);
  ReportLaunch();
}

void InstallationPipeline::FinishLaunch(const std::wstring& error) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  launching_ = false;
  if (view_.hide_installing) view_.hide_installing();
  if (view_.set_status) view_.set_status(std::wstring());
  if (!error.empty()) ShowError(error);
}

void InstallationPipeline::FailLaunch(const char* reason, DWORD code, const std::wstring& error) {
  ReportLaunchFailure(reason, code);
  FinishLaunch(error);
}

void InstallationPipeline::ReportShellFailure(DWORD error) {
  const bool missing = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
  ReportLaunchFailure(missing ? "missing_file" : "shell_error", error);
}

void InstallationPipeline::ReportLaunchFailure(const char* reason, DWORD code) {
  Report("launch_failed", {{"code", code}, {"reason", reason}});
}

void InstallationPipeline::ReportLaunch() { Report("installer_launch"); }

void InstallationPipeline::Report(const std::string& name, const Json& data) {
  if (env_.report_event) {
    env_.report_event(name, data);
  } else {
    ReportEvent(name, data);
  }
}

void InstallationPipeline::PostBack(UiTask task) {
  if (env_.post) env_.post(ToWeakCallback(std::move(task)));
}

std::shared_ptr<ProgressCoalescer> InstallationPipeline::WorkerProgress() {
  PostToUIFunction post = [this](UiTask task) { PostBack(std::move(task)); };
  return ProgressCoalescer::Create(
      std::move(post), [this](int64_t done, int64_t total) { ShowProgress(done, total); });
}

void InstallationPipeline::ShowProgress(int64_t done, int64_t total) {
  if (total <= 0 || !view_.set_progress) return;
  view_.set_progress(
      static_cast<int>(static_cast<double>(done) / static_cast<double>(total) * 100));
}

void InstallationPipeline::OpenTutorial() {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  const Json config = ReadJsonFile(config_path());
  if (!config.is_object()) return;
  const std::wstring url = cbase::Utf8ToUtf16(JsonString(config, InstallerConfig::kTutorialUrl));
  if (!url.empty()) OpenWebAddress(url);
}

void InstallationPipeline::OpenWebAddress(const std::wstring& url) {
  if (winhttpx::IsWebAddress(url)) env_.shell->Open(Owner(), url);
}

void InstallationPipeline::OpenInstallerFolder() {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  env_.shell->Open(Owner(), installer_folder());
}
