// RecordingShell: a DesktopShell that writes down what the assistant would
// have shown or started instead of doing it (message boxes never block a
// test). Commands may be passed on to the real shell when a test wants the
// program to run. UI thread, like the real one, but for
// RunCommandProcessor, which the pipeline calls on its worker: the test reads
// what it recorded only after the pipeline has reported back.
#pragma once

#include <string>
#include <vector>

#include "app/desktop_shell.h"

namespace testing_support {

struct RecordedMessage {
  HWND owner = nullptr;
  std::wstring text;
  std::wstring caption;
  UINT icon = 0;
};

class RecordingShell : public DesktopShell {
 public:
  void ShowMessage(HWND owner, const std::wstring& text, const std::wstring& caption,
                   UINT icon) override {
    messages.push_back({owner, text, caption, icon});
  }
  bool Open(HWND, const std::wstring& target) override {
    opened.push_back(target);
    return true;
  }
  bool Execute(const ShellCommand& command) override {
    commands.push_back(command);
    if (run_commands) return DesktopShell::Execute(command);
    if (!execute_result) ::SetLastError(execute_error);
    return execute_result;
  }

  CommandResult RunCommandProcessor(const ShellCommand& command, DWORD timeout_ms) override {
    commands.push_back(command);
    if (run_commands) return DesktopShell::RunCommandProcessor(command, timeout_ms);
    return {command_outcome, command_code};
  }

  std::vector<RecordedMessage> messages;
  std::vector<std::wstring> opened;
  std::vector<ShellCommand> commands;
  bool run_commands = false;                                  // hand Execute to the system
  bool execute_result = true;                                 // what Execute answers otherwise
  DWORD execute_error = ERROR_ACCESS_DENIED;                  // and its last error on false
  CommandOutcome command_outcome = CommandOutcome::kStarted;  // and RunCommandProcessor
  DWORD command_code = 0;
};

}  // namespace testing_support
