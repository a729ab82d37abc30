#include "app/desktop_shell.h"

#include <shellapi.h>

#include <cwctype>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "app/support_log.h"
#include "base/scoped_handle.h"

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
  SupportLog::Instance().Write("message_box", {{"caption", kErrorCaption}, {"text", text}});
  shell.ShowMessage(owner, text, kErrorCaption, MB_ICONERROR);
}

namespace {

// The file name of a process's image in lower case; "" while it cannot be
// read (a process that has only just been created).
std::wstring ImageName(HANDLE process) {
  wchar_t path[MAX_PATH * 2];
  DWORD length = static_cast<DWORD>(std::size(path));
  if (!::QueryFullProcessImageNameW(process, 0, path, &length)) return std::wstring();
  std::wstring name(path, length);
  const size_t separator = name.find_last_of(L"\\/");
  if (separator != std::wstring::npos) name.erase(0, separator + 1);
  for (wchar_t& c : name) c = static_cast<wchar_t>(std::towlower(c));
  return name;
}

// Whether a process that joined the command processor's job is a program
// of the command's own, and not the console host the system gives the
// processor. A name that stays unreadable counts as the command's own.
bool IsStartedProgram(HANDLE process) {
  for (int attempt = 0; attempt < 50; ++attempt) {
    const std::wstring name = ImageName(process);
    if (!name.empty()) return name != L"conhost.exe";
    ::Sleep(20);
  }
  return true;
}

// Every process the command processor starts joins a job whose completion
// port reports each new process and the processor's end.
class CommandWatch {
 public:
  CommandWatch() {
    job_.reset(::CreateJobObjectW(nullptr, nullptr));
    if (!job_) return;
    port_.reset(::CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1));
    if (!port_) return;
    JOBOBJECT_ASSOCIATE_COMPLETION_PORT association = {};
    association.CompletionKey = job_.get();
    association.CompletionPort = port_.get();
    ready_ = ::SetInformationJobObject(job_.get(), JobObjectAssociateCompletionPortInformation,
                                       &association, sizeof(association)) != FALSE;
  }
  CommandWatch(const CommandWatch&) = delete;
  CommandWatch& operator=(const CommandWatch&) = delete;

  bool ready() const { return ready_; }
  bool Adopt(HANDLE process) { return ::AssignProcessToJobObject(job_.get(), process) != FALSE; }

  CommandOutcome Wait(DWORD processor_id, DWORD timeout_ms) {
    const ULONGLONG deadline = ::GetTickCount64() + timeout_ms;
    for (;;) {
      const ULONGLONG now = ::GetTickCount64();
      if (now >= deadline) return CommandOutcome::kStarted;
      DWORD message = 0;
      ULONG_PTR key = 0;
      LPOVERLAPPED data = nullptr;
      if (!::GetQueuedCompletionStatus(port_.get(), &message, &key, &data,
                                       static_cast<DWORD>(deadline - now))) {
        return CommandOutcome::kStarted;
      }
      const DWORD process_id = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(data));
      if (message == JOB_OBJECT_MSG_NEW_PROCESS && process_id != processor_id) {
        cbase::ScopedHandle process(
            ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process_id));
        if (!process) return CommandOutcome::kStarted;
        const std::wstring name = ImageName(process.get());
        others_.push_back(std::move(process));
        if (!name.empty() && name != L"conhost.exe") return CommandOutcome::kStarted;
      } else if (message == JOB_OBJECT_MSG_ACTIVE_PROCESS_ZERO ||
                 ((message == JOB_OBJECT_MSG_EXIT_PROCESS ||
                   message == JOB_OBJECT_MSG_ABNORMAL_EXIT_PROCESS) &&
                  process_id == processor_id)) {
        for (const cbase::ScopedHandle& process : others_) {
          if (IsStartedProgram(process.get())) return CommandOutcome::kStarted;
        }
        return CommandOutcome::kNothingStarted;
      }
    }
  }

 private:
  // Closed last, after the processes and the port. The job ends with its last
  // process; nothing in it is limited or killed.
  cbase::ScopedHandle job_;
  cbase::ScopedHandle port_;
  bool ready_ = false;
  std::vector<cbase::ScopedHandle> others_;
};

}  // namespace

CommandResult DesktopShell::RunCommandProcessor(const ShellCommand& command, DWORD timeout_ms) {
  std::wstring line = L"\"" + command.file + L"\" " + command.parameters;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = static_cast<WORD>(command.show);
  PROCESS_INFORMATION process = {};
  CommandWatch watch;
  // Suspended until it is in the job, so no child can start unseen.
  const DWORD flags = CREATE_UNICODE_ENVIRONMENT | (watch.ready() ? CREATE_SUSPENDED : 0);
  if (!::CreateProcessW(command.file.c_str(), &line[0], nullptr, nullptr, FALSE, flags, nullptr,
                        nullptr, &startup, &process)) {
    return {CommandOutcome::kNotRun, ::GetLastError()};
  }
  // A process already in a job that allows no other (before Windows 8) cannot
  // be watched; it runs all the same.
  const cbase::ScopedHandle processor(process.hProcess);
  cbase::ScopedHandle processor_thread(process.hThread);
  const bool watched = watch.ready() && watch.Adopt(processor.get());
  if (watch.ready()) ::ResumeThread(processor_thread.get());
  processor_thread.reset();
  if (!watched) return {CommandOutcome::kStarted, 0};
  CommandResult result{watch.Wait(process.dwProcessId, timeout_ms), 0};
  // The job may tell of the processor's end a moment before its exit code
  // can be read.
  if (result.outcome == CommandOutcome::kNothingStarted &&
      ::WaitForSingleObject(processor.get(), 1000) == WAIT_OBJECT_0) {
    ::GetExitCodeProcess(processor.get(), &result.code);
  }
  return result;
}

std::wstring DesktopShell::CommandProcessorPath() {
  wchar_t folder[MAX_PATH];
  const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return std::wstring();
  return std::wstring(folder, length) + L"\\cmd.exe";
}
