// Peak working set of a GUI program through its start-up: starts the
// program, waits until it shows a visible top-level window with the given
// title, lets it run |settle| ms more, asks that window to close (WM_CLOSE)
// and waits for the process to end. Meanwhile it reads the process's
// PROCESS_MEMORY_COUNTERS every 20 ms; the peak working set is the last value
// read while the process still existed (the figure only grows).
//
//   peak_working_set.exe <window title> <settle ms> <program> [arguments...]
//
// Prints one line:
//   peak_working_set <bytes> working_set <bytes> window_ms <ms> exit_code <code>
// Exit code 0 when the window appeared and the program ended by itself, 1
// otherwise (the program is then terminated), 2 for wrong arguments.
#include <windows.h>

#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>

namespace {

struct Search {
  DWORD process_id;
  const wchar_t* title;
  HWND found;
};

BOOL CALLBACK FindVisibleWindow(HWND hwnd, LPARAM param) {
  auto* search = reinterpret_cast<Search*>(param);
  DWORD owner = 0;
  ::GetWindowThreadProcessId(hwnd, &owner);
  if (owner != search->process_id || !::IsWindowVisible(hwnd)) return TRUE;
  wchar_t title[256] = {};
  ::GetWindowTextW(hwnd, title, 256);
  if (std::wcscmp(title, search->title) != 0) return TRUE;
  search->found = hwnd;
  return FALSE;
}

// Quotes one argument the way CommandLineToArgvW reads it back.
std::wstring Quote(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
  std::wstring out = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, L'\\');
  return out + L"\"";
}

class Watch {
 public:
  explicit Watch(HANDLE process) : process_(process) {}
  // Reads the counters; false once the process is gone.
  bool Sample() {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof(counters);
    if (!::GetProcessMemoryInfo(process_, &counters, sizeof(counters))) return false;
    peak_ = counters.PeakWorkingSetSize > peak_ ? counters.PeakWorkingSetSize : peak_;
    current_ = counters.WorkingSetSize;
    return true;
  }
  // Samples until the process ends or |ms| pass; true when it ended.
  bool WaitSampling(DWORD ms) {
    const ULONGLONG until = ::GetTickCount64() + ms;
    for (;;) {
      Sample();
      const ULONGLONG now = ::GetTickCount64();
      if (now >= until) return ::WaitForSingleObject(process_, 0) == WAIT_OBJECT_0;
      const DWORD step = static_cast<DWORD>(until - now < 20 ? until - now : 20);
      if (::WaitForSingleObject(process_, step) == WAIT_OBJECT_0) return true;
    }
  }
  SIZE_T peak() const { return peak_; }
  SIZE_T current() const { return current_; }

 private:
  HANDLE process_;
  SIZE_T peak_ = 0;
  SIZE_T current_ = 0;
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 4) {
    std::fprintf(stderr,
                 "usage: peak_working_set <window title> <settle ms> <program> [arguments...]\n");
    return 2;
  }
  const wchar_t* title = argv[1];
  const DWORD settle = static_cast<DWORD>(_wtoi(argv[2]));
  std::wstring command;
  for (int i = 3; i < argc; ++i) command += (i > 3 ? L" " : L"") + Quote(argv[i]);

  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  const ULONGLONG started = ::GetTickCount64();
  if (!::CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
    std::fprintf(stderr, "could not start %ls (error %lu)\n", argv[3], ::GetLastError());
    return 1;
  }
  ::CloseHandle(info.hThread);
  Watch watch(info.hProcess);

  // The window, within a minute.
  Search search = {info.dwProcessId, title, nullptr};
  while (search.found == nullptr && ::GetTickCount64() - started < 60000) {
    if (watch.WaitSampling(10)) break;
    ::EnumWindows(FindVisibleWindow, reinterpret_cast<LPARAM>(&search));
  }
  const ULONGLONG shown = ::GetTickCount64();
  bool ended = false;
  if (search.found != nullptr) {
    ended = watch.WaitSampling(settle);
    if (!ended) {
      ::PostMessageW(search.found, WM_CLOSE, 0, 0);
      ended = watch.WaitSampling(30000);
    }
  }
  if (!ended) ::TerminateProcess(info.hProcess, 1);
  ::WaitForSingleObject(info.hProcess, 10000);
  DWORD code = 0;
  ::GetExitCodeProcess(info.hProcess, &code);
  ::CloseHandle(info.hProcess);
  std::printf("peak_working_set %llu working_set %llu window_ms %llu exit_code %lu\n",
              static_cast<unsigned long long>(watch.peak()),
              static_cast<unsigned long long>(watch.current()),
              search.found != nullptr ? shown - started : 0ULL, code);
  if (search.found == nullptr) std::fprintf(stderr, "no visible window named %ls\n", title);
  return search.found != nullptr && ended ? 0 : 1;
}
