// InstallationPipeline: the assistant's actual work. Given the installation
// details it records the launch command and tutorial address, shows the
// install page with its "install" overlay, downloads the package into the
// installer folder with progress (PackageDownload) and records it in the
// InstallerConfig; later, on the user's request, it unpacks and launches a
// zip package or runs an installer executable, opens the tutorial and shows
// the installer folder. Every failure the user must know of is a message
// box with caption "错误" and the error icon, owned by the main window.
//
// Launching is a sequence of its own: the package's hash is checked again
// and a zip package is unpacked on a worker thread (PackageWorker) with the
// overlay showing the progress, then the program is started. The check is
// left out when the package is still held as the download handed it over
// (open without write or delete sharing since it matched, so it cannot have
// changed); a launch in a later run, or a second launch, checks it; for a launch
// command the worker also waits to learn whether the command really started
// its program. Only then is "installer_launch" reported. Only http and https
// tutorial addresses are ever handed to the shell.
//
// Besides, the pipeline reports how each step went, as usage events with
// their facts: "download_start", "download_done" or "download_failed",
// "unpack_done" or "unpack_failed", "launch_failed" (reason and code) and
// "error_shown" for each message box (its text's key, ErrorKeyForText).
//
// Owned by the main window, which supplies the view hooks (its controls)
// and the environment (its poster and handle). UI thread only; the download
// runs on the HTTP client's threads and the launch work on the worker, and
// both report back through the poster.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "app/desktop_shell.h"
#include "app/installation_details.h"
#include "app/json_file.h"
#include "app/json_value.h"
#include "app/launch_command.h"
#include "app/package_download.h"
#include "app/package_worker.h"
#include "app/post_to_ui.h"
#include "app/progress_coalescer.h"
#include "archive/package_extraction.h"
#include "base/scoped_handle.h"
#include "base/thread_checker.h"
#include "base/weak_callback.h"

class InstallationPipeline : public cbase::SupportWeakCallback {
 public:
  // What the pipeline changes in the window.
  struct View {
    // Selects the install page of "pages" and shows the "install" overlay.
    std::function<void()> show_installing;
    // Sets "install_progress" (0 to 100) and redraws it.
    std::function<void(int percent)> set_progress;
    // Hides the "install" overlay.
    std::function<void()> hide_installing;
    // Sets the overlay's status line ("install_lb_status"); "" puts back
    // the skin's text. Optional.
    std::function<void(const std::wstring& text)> set_status;
  };

  struct Environment {
    PostToUIFunction post;
    DesktopShell* shell = &DesktopShell::System();
    // The owner of message boxes and launched programs (the main window).
    std::function<HWND()> owner;
    std::wstring local_app_data;        // LocalAppDataDirectory(), ends in "\"
    std::wstring downloader_directory;  // DownloaderDirectory(), no trailing "\"
    std::wstring product;               // product id: the zip packages' folder
    // Reports a usage event with its facts; ReportEvent when empty.
    std::function<void(const std::string& name, const Json& data)> report_event;
    // When retries of a failed download run; PackageDownload's own timing
    // when empty.
    PackageDownload::RetryScheduler retry_scheduler;
    // The bounds a zip package is unpacked within; ExtractPackage's own
    // defaults when left alone.
    ExtractionOptions extraction;

    // The folders of ProductConfig's product. UI thread.
    static Environment ForProductConfig(PostToUIFunction post, std::function<HWND()> owner);
  };

  InstallationPipeline(Environment environment, View view);

  // Starts an installation with the service's details: records
  // "launch_cmd" and "tutorial_url", opens a tutorial address that holds
  // "auto_open", shows the install page and overlay and starts the download.
  void StartInstallation(const InstallationDetails& details);
  // Click handlers of "p3_install_launch", "p3_install_tutorial" and "p3_dir".
  void LaunchInstaller();
  void OpenTutorial();
  void OpenInstallerFolder();

  // Whether the recorded "installer" names an existing file: the start-up
  // then opens on the install page.
  bool HasDownloadedPackage() const;

  std::wstring installer_folder() const { return env_.downloader_directory + L"\\installer"; }
  std::wstring config_path() const { return env_.downloader_directory + L"\\config.json"; }
  const std::wstring& launch_command() const { return launch_command_; }
  const std::wstring& tutorial_url() const { return tutorial_url_; }
  // The channel's help address stands in until a package names a tutorial.
  void set_tutorial_url(const std::wstring& url) { tutorial_url_ = url; }
  bool downloading() const { return download_.running(); }
  // A launch is checking, unpacking or starting the package; further
  // clicks on the launch button wait for it.
  bool launching() const { return launching_; }

  // How long the worker waits to learn whether a launch command started its
  // program.
  static constexpr unsigned kCommandWatchMs = 30000;

 private:
  // The launch work, on the worker thread. |cancelled| turns true when the
  // pipeline is going away.
  struct LaunchJob {
    std::wstring package;
    std::wstring command;
    std::wstring extension;  // ".zip" or ".exe"
    std::string expected_sha256;
    // The package as the download held it after it matched; released once
    // unpacked, or before an installer runs.
    std::shared_ptr<const cbase::ScopedHandle> held;
    // A hash to check that no hold vouches for.
    bool NeedsCheck() const { return !expected_sha256.empty() && !held; }
  };
  void RunLaunchJob(LaunchJob job, const std::atomic<bool>& cancelled);
  void RunCommandJob(const std::wstring& command);
  // Back on the UI thread.
  void OnPackageDownloaded(const PackageDownload::Result& result, const std::wstring& file_name);
  void OnUnpacked(const ExtractionResult& result, double seconds, const std::wstring& command,
                  const std::wstring& target);
  // What the config records of a downloaded package.
  std::map<std::string, std::wstring> PackageRecord(const std::wstring& file_name,
                                                    const std::string& sha256) const;
  void RunPackageDirectly(const std::wstring& package);
  void FinishLaunch(const std::wstring& error);
  // Reports "launch_failed" with |reason| ("missing_file", "extension",
  // "shell_error", "exit_code") and |code|, then ends the launch showing
  // |error|.
  void FailLaunch(const char* reason, DWORD code, const std::wstring& error);
  // "launch_failed" for a program the shell would not start: its last error
  // tells whether the file was missing.
  void ReportShellFailure(DWORD error);
  void ReportLaunchFailure(const char* reason, DWORD code);
  void ReportLaunch();
  void Report(const std::string& name, const Json& data = Json::object());
  // Posts |task| to the UI thread; it does not run once the pipeline is gone.
  void PostBack(UiTask task);
  // Carries the worker's progress to the bar, coalesced.
  std::shared_ptr<ProgressCoalescer> WorkerProgress();
  // The bar at |done| of |total| (nothing while the total is unknown).
  void ShowProgress(int64_t done, int64_t total);
  void OpenWebAddress(const std::wstring& url);
  void ShowError(const std::wstring& text);
  HWND Owner() const;

  Environment env_;
  View view_;
  PackageDownload download_;
  std::wstring launch_command_;
  std::wstring tutorial_url_;
  bool launching_ = false;
  // When the download running now started (MonotonicNow, microseconds).
  int64_t download_started_ = 0;
  // The package the last download checked, still held as it handed it over,
  // with its path and hash; the next launch takes it.
  std::shared_ptr<const cbase::ScopedHandle> held_package_;
  std::wstring held_path_;
  std::string held_sha256_;
  // The record of the package being downloaded, written ahead and committed
  // once it has arrived, with the values it holds.
  std::unique_ptr<PendingJsonMerge> package_record_;
  std::map<std::string, std::wstring> package_record_values_;
  // The UI thread; the worker's job functions run elsewhere and are not
  // checked.
  cbase::ThreadChecker thread_checker_;
  // Last: it is stopped, and its running job returns, before anything above
  // is destroyed.
  PackageWorker worker_;
};
