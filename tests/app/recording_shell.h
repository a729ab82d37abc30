// RecordingShell: a DesktopShell that writes down what the assistant would
// have shown or started instead of doing it (message boxes never block a
// test). Commands may be passed on to the real shell when a test wants the
// program to run. UI thread, like the real one.
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
    return run_commands ? DesktopShell::Execute(command) : execute_result;
  }

  std::vector<RecordedMessage> messages;
  std::vector<std::wstring> opened;
  std::vector<ShellCommand> commands;
  bool run_commands = false;   // hand Execute to the system
  bool execute_result = true;  // what Execute answers otherwise
};

}  // namespace testing_support
