// App: the assistant's main thread. The process entry runs its body on the
// calling thread with a UI loop; Init performs start-up (embedded archive,
// skin globals, language strings, GDI+, product configuration, main window),
// AfterFirstFrame what start-up leaves until the window's first frame is on
// the screen (the support log and its start-up line, the desktop
// shortcut), and Cleanup releases it all after the loop has quit.
// Lives on the entry function's stack; main thread only.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "base/pool_work.h"
#include "base/thread.h"

class App : public cbase::FrameworkThread {
 public:
  // Resource type and id of the embedded archive.
  static constexpr wchar_t kArchiveType[] = L"THEME";
  static constexpr int kArchiveId = 129;
  static constexpr wchar_t kResourceRoot[] = L"resources\\";
  static constexpr wchar_t kThemeFolder[] = L"themes\\default";
  static constexpr wchar_t kLanguageFolder[] = L"lang\\zh_CN";
  static constexpr wchar_t kLanguageFile[] = L"\\gdstrings.ini";
  static constexpr wchar_t kShortcutSuffix[] = L" 安装助手";
  static constexpr wchar_t kConfigFailure[] = L"加载配置文件失败！";
  static constexpr wchar_t kErrorCaption[] = L"错误";
  // WS_OVERLAPPEDWINDOW without WS_MAXIMIZEBOX.
  static constexpr DWORD kWindowStyle = 0x00CE0000;

  App();
  ~App() override;

 protected:
  void Init() override;
  void Cleanup() override;

 private:
  void OpenResourceArchive();
  void LoadLanguage();
  void AfterFirstFrame();
  // Starts the support log in the downloader folder once the product is
  // known; later calls do nothing.
  void StartSupportLog();
  // The support log's line about this run: version, product, channel,
  // display scale, proxy.
  void WriteStartupLine();

  ULONG_PTR gdiplus_token_ = 0;
  bool gdiplus_started_ = false;
  // The configuration loaded: the downloader folder, where the log goes, is
  // known.
  bool product_known_ = false;
  // Once AfterFirstFrame has asked for it: starts writing the desktop
  // shortcut (desktop_shortcut.h) on the pool; later calls do nothing.
  void WriteShortcut();

  // Writes the desktop shortcut, once.
  cbase::PoolJob shortcut_writer_;
  bool shortcut_due_ = false;
  bool shortcut_started_ = false;
};
