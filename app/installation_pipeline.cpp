#include "app/installation_pipeline.h"

#include <utility>

#include "app/app_directories.h"
#include "app/assistant_texts.h"
#include "app/file_hash.h"
#include "app/installer_config.h"
#include "app/json_file.h"
#include "app/package_file_name.h"
#include "app/product_config.h"
#include "app/usage_events.h"
#include "app/utf8.h"
#include "archive/package_extraction.h"
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
  ::ShowError(*env_.shell, Owner(), text);
}

void InstallationPipeline::StartInstallation(const InstallationDetails& details) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
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
  download_.Start(
      details.download_url, package, details.sha256,
      [this](int64_t received, int64_t total) {
        if (total <= 0 || !view_.set_progress) return;
        view_.set_progress(static_cast<int>(static_cast<double>(received) / total * 100));
      },
      [this, file_name](const PackageDownload::Result& result) {
        OnPackageDownloaded(result, file_name);
      });
}

void InstallationPipeline::OnPackageDownloaded(const PackageDownload::Result& result,
                                               const std::wstring& file_name) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  if (!result.succeeded) {
    // The overlay stays until the user closes it; an earlier package, if
    // any, is still in place and recorded.
    ShowError(kDownloadFailedText);
    return;
  }
  InstallerConfig(config_path())
      .Set({{InstallerConfig::kLaunchCommand, launch_command_},
            {InstallerConfig::kTutorialUrl, tutorial_url_},
            {InstallerConfig::kInstaller, L"installer\\" + file_name},
            {kPackageHashKey, Utf8ToUtf16(result.sha256)}});
  if (view_.hide_installing) view_.hide_installing();
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
    ShowError(kConfigMissingText);
    return;
  }
  const std::wstring installer = Utf8ToUtf16(JsonString(config, InstallerConfig::kInstaller));
  if (installer.empty()) {
    ShowError(kInstallerNotRecordedText);
    return;
  }
  LaunchJob job;
  job.command = Utf8ToUtf16(JsonString(config, InstallerConfig::kLaunchCommand));
  job.package = env_.downloader_directory + L"\\" + installer;
  if (!Exists(job.package)) {
    ShowError(kInstallerMissingText + job.package);
    return;
  }
  job.extension = LowerCaseExtension(job.package);
  if (job.extension != L".zip" && job.extension != L".exe") {
    ShowError(kLaunchFailedText);
    return;
  }
  // The file may have been replaced since it was checked after the download.
  job.expected_sha256 = JsonString(config, kPackageHashKey);
  launching_ = true;
  if (view_.set_status) {
    view_.set_status(!job.expected_sha256.empty() ? kCheckingPackageText
                     : job.extension == L".zip"   ? kUnpackingPackageText
                                                  : kStartingInstallerText);
  }
  if (view_.set_progress) view_.set_progress(0);
  if (view_.show_installing) view_.show_installing();
  const bool posted = worker_.Post(
      [this, job](const std::atomic<bool>& cancelled) { RunLaunchJob(job, cancelled); });
  if (!posted) FinishLaunch(kLaunchFailedText);
}

void InstallationPipeline::RunLaunchJob(const LaunchJob& job, const std::atomic<bool>& cancelled) {
  if (!job.expected_sha256.empty()) {
    int last_percent = -1;
    const std::string actual = Sha256OfFile(job.package, [&](uint64_t done, uint64_t total) {
      PostProgress(done, total, last_percent);
      return !cancelled;
    });
    if (cancelled) return;
    if (actual != job.expected_sha256) {
      PostBack([this] { FinishLaunch(kLaunchFailedText); });
      return;
    }
  }
  if (job.extension == L".zip") {
    // Without a hash to check, the status already says so.
    if (!job.expected_sha256.empty()) {
      PostBack([this] {
        if (view_.set_status) view_.set_status(kUnpackingPackageText);
      });
    }
    const std::wstring target = env_.local_app_data + env_.product;
    ExtractionOptions options = env_.extraction;
    int last_percent = -1;
    options.progress = [&](const ExtractionProgress& progress) {
      PostProgress(progress.bytes_done, progress.bytes_total, last_percent);
      return !cancelled;
    };
    const ExtractionResult result = ExtractPackage(job.package.c_str(), target.c_str(), options);
    if (cancelled) return;
    const std::wstring command = job.command;
    PostBack([this, result, command, target] { OnUnpacked(result, command, target); });
    return;
  }
  if (job.command.empty()) {
    const std::wstring package = job.package;
    PostBack([this, package] { RunPackageDirectly(package); });
    return;
  }
  // The command processor would expand "%" and "!" even inside quotes.
  const std::wstring path = ShortPathForCommandProcessor(job.package);
  if (path.empty()) {
    PostBack([this] { FinishLaunch(kLaunchFailedText); });
    return;
  }
  if (!job.expected_sha256.empty()) {
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
  const CommandOutcome outcome = env_.shell->RunCommandProcessor(run, kCommandWatchMs);
  PostBack([this, outcome] {
    if (outcome != CommandOutcome::kStarted) {
      FinishLaunch(kLaunchFailedText);
      return;
    }
    FinishLaunch(std::wstring());
    ReportLaunch();
  });
}

void InstallationPipeline::OnUnpacked(const ExtractionResult& result, const std::wstring& command,
                                      const std::wstring& target) {
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
  const ProgramAndArguments split = SplitProgramAndArguments(SubstituteTargetDir(command, target));
  ShellCommand run;
  run.owner = Owner();
  run.file = split.program;
  run.parameters = split.arguments;
  run.show = SW_SHOWNORMAL;
  if (split.program.empty() || !env_.shell->Execute(run)) ShowError(kLaunchFailedText);
}

void InstallationPipeline::RunPackageDirectly(const std::wstring& package) {
  FinishLaunch(std::wstring());
  ShellCommand run;
  run.owner = Owner();
  run.file = package;
  run.show = SW_SHOWNORMAL;
  if (!env_.shell->Execute(run)) {
    ShowError(kLaunchFailedText);
    return;
  }
  ReportLaunch();
}

void InstallationPipeline::FinishLaunch(const std::wstring& error) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  launching_ = false;
  if (view_.hide_installing) view_.hide_installing();
  if (view_.set_status) view_.set_status(std::wstring());
  if (!error.empty()) ShowError(error);
}

void InstallationPipeline::ReportLaunch() {
  if (env_.report_event) {
    env_.report_event("installer_launch");
  } else {
    ReportEvent("installer_launch");
  }
}

void InstallationPipeline::PostBack(UiTask task) {
  if (env_.post) env_.post(ToWeakCallback(std::move(task)));
}

void InstallationPipeline::PostProgress(uint64_t done, uint64_t total, int& last_percent) {
  if (total == 0) return;
  const int percent =
      static_cast<int>(static_cast<double>(done) / static_cast<double>(total) * 100);
  if (percent == last_percent) return;
  last_percent = percent;
  PostBack([this, percent] {
    if (view_.set_progress) view_.set_progress(percent);
  });
}

void InstallationPipeline::OpenTutorial() {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  const Json config = ReadJsonFile(config_path());
  if (!config.is_object()) return;
  const std::wstring url = Utf8ToUtf16(JsonString(config, InstallerConfig::kTutorialUrl));
  if (!url.empty()) OpenWebAddress(url);
}

void InstallationPipeline::OpenWebAddress(const std::wstring& url) {
  if (winhttpx::IsWebAddress(url)) env_.shell->Open(Owner(), url);
}

void InstallationPipeline::OpenInstallerFolder() {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  env_.shell->Open(Owner(), installer_folder());
}
