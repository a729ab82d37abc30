// DesktopShell: the assistant's way of telling the user something (message
// boxes) and of handing things to the shell (opening addresses and folders,
// running installers). The pipeline and the channel request talk to it
// instead of calling MessageBoxW and ShellExecute themselves, so tests can
// put a recording shell in its place.
//
// The base class does the real thing; derived classes override what they
// want to observe. UI thread (message boxes are modal on the caller's
// thread), but for RunCommandProcessor, which blocks and belongs on a worker
// thread.
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

// What came of a command handed to the command processor.
enum class CommandOutcome {
  kStarted,         // the command started a program (or is still running)
  kNothingStarted,  // the processor ended without starting any program
  kNotRun,          // the processor itself could not be started
};

struct CommandResult {
  CommandOutcome outcome = CommandOutcome::kNotRun;
  // kNothingStarted: the processor's exit code; kNotRun: the system error
  // that kept it from starting; 0 otherwise.
  DWORD code = 0;
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
  // ShellExecuteExW; true when the program was started. On false the
  // thread's last error (GetLastError) tells why.
  virtual bool Execute(const ShellCommand& command);

  // Runs |command| (the command processor and its parameters) and waits, at
  // most |timeout_ms|, until it is known whether the command started a
  // program of its own: a command line that breaks apart, or names a program
  // that is not there, only runs the processor. A command still running at
  // the timeout without having started anything yet counts as started.
  // Blocks: any thread but the UI thread.
  virtual CommandResult RunCommandProcessor(const ShellCommand& command, DWORD timeout_ms);

  // "cmd.exe" in the system folder, by its full path: the bare name would be
  // searched for in the current folder first.
  static std::wstring CommandProcessorPath();

  // The process-wide real shell.
  static DesktopShell& System();
};

// The assistant's error box: caption "错误", error icon.
extern const wchar_t kErrorCaption[];
void ShowError(DesktopShell& shell, HWND owner, const std::wstring& text);
