#include "app/desktop_shell.h"

#include <shellapi.h>

const wchar_t kErrorCaption[] = L"\u9519\u8BEF";  // 错误

void DesktopShell::ShowMessage(HWND owner, const std::wstring& text, const std::wstring& caption,
                               UINT icon) {
  ::MessageBoxW(owner, text.c_str(), caption.c_str(), MB_OK | icon);
}

bool DesktopShell::Open(HWND owner, const std::wstring& target) {
  const HINSTANCE result =
      ::ShellExecuteW(owner, L"open", target.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  return reinterpret_cast<INT_PTR>(result) > 32;
}

bool DesktopShell::Execute(const ShellCommand& command) {
  SHELLEXECUTEINFOW info = {};
  info.cbSize = sizeof(info);
  info.hwnd = command.owner;
  info.lpVerb = command.verb.empty() ? nullptr : command.verb.c_str();
  info.lpFile = command.file.c_str();
  info.lpParameters = command.parameters.empty() ? nullptr : command.parameters.c_str();
  info.nShow = command.show;
  // No error box of the shell's own: the caller tells the user.
  info.fMask = SEE_MASK_FLAG_NO_UI;
  return ::ShellExecuteExW(&info) != FALSE;
}

DesktopShell& DesktopShell::System() {
  static DesktopShell shell;
  return shell;
}

void ShowError(DesktopShell& shell, HWND owner, const std::wstring& text) {
  shell.ShowMessage(owner, text, kErrorCaption, MB_ICONERROR);
}
