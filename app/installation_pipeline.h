// InstallationPipeline: the assistant's actual work. Given the installation
// details it records the launch command and tutorial address, shows the
// install page with its "install" overlay, downloads the package into the
// installer folder with progress (PackageDownload) and records it in the
// InstallerConfig; later, on the user's request, it unpacks and launches a
// zip package or runs an installer executable, opens the tutorial and shows
// the installer folder. Every failure the user must know of is a message
// box with caption "错误" and the error icon, owned by the main window.
//
// Owned by the main window, which supplies the view hooks (its controls)
// and the environment (its poster and handle). UI thread only; the download
// itself runs on the HTTP client's threads and reports back through the
// poster.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "app/desktop_shell.h"
#include "app/installation_details.h"
#include "app/package_download.h"
#include "app/post_to_ui.h"

class InstallationPipeline {
 public:
  // What the pipeline changes in the window.
  struct View {
    // Selects the install page of "pages" and shows the "install" overlay.
    std::function<void()> show_installing;
    // Sets "install_progress" (0 to 100) and redraws it.
    std::function<void(int percent)> set_progress;
    // Hides the "install" overlay.
    std::function<void()> hide_installing;
  };

  struct Environment {
    PostToUIFunction post;
    DesktopShell* shell = &DesktopShell::System();
    // The owner of message boxes and launched programs (the main window).
    std::function<HWND()> owner;
    std::wstring local_app_data;        // LocalAppDataDirectory(), ends in "\"
    std::wstring downloader_directory;  // DownloaderDirectory(), no trailing "\"
    std::wstring product;               // product id: the zip packages' folder
    // Reports a usage event; ReportEvent when empty.
    std::function<void(const std::string& name)> report_event;
    // When retries of a failed download run; PackageDownload's own timing
    // when empty.
    PackageDownload::RetryScheduler retry_scheduler;

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

 private:
  void OnPackageDownloaded(const PackageDownload::Result& result, const std::wstring& file_name);
  void LaunchZip(const std::wstring& package, const std::wstring& command);
  void LaunchExe(const std::wstring& package, const std::wstring& command);
  void ShowError(const std::wstring& text);
  HWND Owner() const;

  Environment env_;
  View view_;
  PackageDownload download_;
  std::wstring launch_command_;
  std::wstring tutorial_url_;
};

// Replaces every "{installer}" of |command| with |path|, in quotes when the
// path holds a blank and the placeholder is not quoted already.
std::wstring SubstituteInstaller(const std::wstring& command, const std::wstring& path);
// Replaces every "{target_dir}" of |command| with |target|.
std::wstring SubstituteTargetDir(const std::wstring& command, const std::wstring& target);
