// DesktopShell: the assistant's way of telling the user something (message
// boxes) and of handing things to the shell (opening addresses and folders,
// running installers). The pipeline and the channel request talk to it
// instead of calling MessageBoxW and ShellExecute themselves, so tests can
// put a recording shell in its place.
//
// The base class does the real thing; derived classes override what they
// want to observe. UI thread (message boxes are modal on the caller's
// thread).
#pragma once

#include <windows.h>

#include <string>

// One ShellExecuteExW call.
struct ShellCommand {
  HWND owner = nullptr;
  std::wstring verb = L"open";
  std::wstring file;
  std::wstring parameters;  // empty: none
  int show = SW_SHOWNORMAL;
};

class DesktopShell {
 public:
  virtual ~DesktopShell() = default;

  // A modal message box; returns when the user has closed it.
  virtual void ShowMessage(HWND owner, const std::wstring& text, const std::wstring& caption,
                           UINT icon);
  // ShellExecuteW with the "open" verb, shown normally (addresses open in the
  // browser, folders in the file browser). True when the shell took it.
  virtual bool Open(HWND owner, const std::wstring& target);
  // ShellExecuteExW; true when the program was started.
  virtual bool Execute(const ShellCommand& command);

  // The process-wide real shell.
  static DesktopShell& System();
};

// The assistant's error box: caption "错误", error icon.
extern const wchar_t kErrorCaption[];
void ShowError(DesktopShell& shell, HWND owner, const std::wstring& text);
