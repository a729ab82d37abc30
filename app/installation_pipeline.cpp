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

namespace {

const wchar_t kInstallerPlaceholder[] = L"{installer}";
const wchar_t kTargetDirPlaceholder[] = L"{target_dir}";
// InstallerConfig: the SHA-256 the recorded package was checked against.
const char kPackageHashKey[] = "sha256";

std::wstring ReplaceAll(std::wstring text, const std::wstring& from, const std::wstring& to) {
  for (size_t at = text.find(from); at != std::wstring::npos;
       at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

bool Exists(const std::wstring& path) {
  return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsFile(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

}  // namespace

std::wstring SubstituteInstaller(const std::wstring& command, const std::wstring& path) {
  const bool needs_quotes = path.find_first_of(L" \t") != std::wstring::npos;
  const std::wstring placeholder = kInstallerPlaceholder;
  std::wstring result;
  size_t from = 0;
  for (size_t at = command.find(placeholder); at != std::wstring::npos;
       at = command.find(placeholder, from)) {
    result.append(command, from, at - from);
    const size_t after = at + placeholder.size();
    const bool quoted =
        at > 0 && command[at - 1] == L'"' && after < command.size() && command[after] == L'"';
    result += needs_quotes && !quoted ? L"\"" + path + L"\"" : path;
    from = after;
  }
  result.append(command, from, std::wstring::npos);
  return result;
}

std::wstring SubstituteTargetDir(const std::wstring& command, const std::wstring& target) {
  return ReplaceAll(command, kTargetDirPlaceholder, target);
}

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
  launch_command_ = details.launch_cmd;
  if (details.has_tutorial_url) tutorial_url_ = details.tutorial_url;
  const InstallerConfig config(config_path());
  config.Set({{InstallerConfig::kLaunchCommand, launch_command_},
              {InstallerConfig::kTutorialUrl, tutorial_url_}});
  if (tutorial_url_.find(L"auto_open") != std::wstring::npos)
    env_.shell->Open(Owner(), tutorial_url_);
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
  const std::wstring command = Utf8ToUtf16(JsonString(config, InstallerConfig::kLaunchCommand));
  const std::wstring path = env_.downloader_directory + L"\\" + installer;
  if (!Exists(path)) {
    ShowError(kInstallerMissingText + path);
    return;
  }
  // The file may have been replaced since it was checked after the download.
  const std::string expected = JsonString(config, kPackageHashKey);
  if (!expected.empty() && Sha256OfFile(path) != expected) {
    ShowError(kLaunchFailedText);
    return;
  }
  const size_t dot = path.rfind(L'.');
  const std::wstring extension = dot == std::wstring::npos ? std::wstring() : path.substr(dot);
  if (extension == L".zip") {
    LaunchZip(path, command);
  } else if (extension == L".exe") {
    LaunchExe(path, command);
  }
}

void InstallationPipeline::LaunchZip(const std::wstring& package, const std::wstring& command) {
  const std::wstring target = env_.local_app_data + env_.product;
  // Entries that fail are skipped; the command runs whatever came out.
  ExtractArchive(package.c_str(), target.c_str());
  if (command.empty()) return;
  ShellCommand run;
  run.owner = Owner();
  run.file = SubstituteTargetDir(command, target);
  run.show = SW_SHOWNORMAL;
  env_.shell->Execute(run);
}

void InstallationPipeline::LaunchExe(const std::wstring& package, const std::wstring& command) {
  ShellCommand run;
  run.owner = Owner();
  if (command.empty()) {
    run.file = package;
    run.show = SW_SHOWNORMAL;
  } else {
    run.file = L"cmd.exe";
    run.parameters = L"/C " + SubstituteInstaller(command, package);
    run.show = SW_HIDE;
  }
  if (!env_.shell->Execute(run)) {
    ShowError(kLaunchFailedText);
    return;
  }
  if (env_.report_event) {
    env_.report_event("installer_launch");
  } else {
    ReportEvent("installer_launch");
  }
}

void InstallationPipeline::OpenTutorial() {
  const Json config = ReadJsonFile(config_path());
  if (!config.is_object()) return;
  const std::wstring url = Utf8ToUtf16(JsonString(config, InstallerConfig::kTutorialUrl));
  if (!url.empty()) env_.shell->Open(Owner(), url);
}

void InstallationPipeline::OpenInstallerFolder() { env_.shell->Open(Owner(), installer_folder()); }
