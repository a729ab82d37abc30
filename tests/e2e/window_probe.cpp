// Reads what the Windows side of a Wine session shows, for the end-to-end
// tests, which otherwise only see X windows and pixels:
//   window_probe windows        one line per visible top-level window:
//                               class, title and screen rectangle, tab-separated
//   window_probe texts TITLE    the texts of the children of each visible
//                               top-level window titled TITLE (a message box's
//                               message among them), one per line; exit code 1
//                               when there is no such window
//   window_probe clipboard      the clipboard's Unicode text; exit code 1 when
//                               it holds none
//   window_probe foreground     class and title of the foreground window,
//                               tab-separated; exit code 1 when there is none
// Output is UTF-8. The probe only reads: it never clicks or closes anything.
#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(size > 0 ? size : 0), '\0');
  if (size > 0) {
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &out[0], size,
                          nullptr, nullptr);
  }
  return out;
}

std::wstring WindowText(HWND hwnd) {
  const int length = ::GetWindowTextLengthW(hwnd);
  std::wstring text(static_cast<size_t>(length > 0 ? length : 0) + 1, L'\0');
  const int copied = ::GetWindowTextW(hwnd, &text[0], static_cast<int>(text.size()));
  text.resize(static_cast<size_t>(copied > 0 ? copied : 0));
  return text;
}

std::wstring ClassOf(HWND hwnd) {
  wchar_t name[256] = {};
  const int length = ::GetClassNameW(hwnd, name, 256);
  return std::wstring(name, static_cast<size_t>(length > 0 ? length : 0));
}

// Line breaks inside one text would split it over output lines.
std::string OneLine(const std::wstring& text) {
  std::wstring flat = text;
  for (wchar_t& c : flat) {
    if (c == L'\r' || c == L'\n' || c == L'\t') c = L' ';
  }
  return Utf8(flat);
}

std::vector<HWND> VisibleTopLevelWindows() {
  std::vector<HWND> windows;
  ::EnumWindows(
      [](HWND hwnd, LPARAM list) -> BOOL {
        if (::IsWindowVisible(hwnd)) reinterpret_cast<std::vector<HWND>*>(list)->push_back(hwnd);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&windows));
  return windows;
}

int ListWindows() {
  for (HWND hwnd : VisibleTopLevelWindows()) {
    RECT rect = {};
    ::GetWindowRect(hwnd, &rect);
    std::printf("%s\t%s\t%ld,%ld,%ld,%ld\n", OneLine(ClassOf(hwnd)).c_str(),
                OneLine(WindowText(hwnd)).c_str(), rect.left, rect.top, rect.right, rect.bottom);
  }
  return 0;
}

int ListTexts(const std::wstring& title) {
  bool found = false;
  for (HWND hwnd : VisibleTopLevelWindows()) {
    if (WindowText(hwnd) != title) continue;
    found = true;
    std::vector<std::wstring> texts;
    ::EnumChildWindows(
        hwnd,
        [](HWND child, LPARAM list) -> BOOL {
          reinterpret_cast<std::vector<std::wstring>*>(list)->push_back(WindowText(child));
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&texts));
    for (const std::wstring& text : texts) {
      if (!text.empty()) std::printf("%s\n", OneLine(text).c_str());
    }
  }
  return found ? 0 : 1;
}

int PrintClipboard() {
  if (!::OpenClipboard(nullptr)) return 1;
  int result = 1;
  if (HANDLE data = ::GetClipboardData(CF_UNICODETEXT)) {
    if (const auto* text = static_cast<const wchar_t*>(::GlobalLock(data))) {
      std::printf("%s\n", OneLine(text).c_str());
      ::GlobalUnlock(data);
      result = 0;
    }
  }
  ::CloseClipboard();
  return result;
}

int PrintForeground() {
  const HWND hwnd = ::GetForegroundWindow();
  if (hwnd == nullptr) return 1;
  std::printf("%s\t%s\n", OneLine(ClassOf(hwnd)).c_str(), OneLine(WindowText(hwnd)).c_str());
  return 0;
}

}  // namespace

int main() {
  int count = 0;
  wchar_t** args = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (args == nullptr) return 2;
  const std::wstring command = count > 1 ? args[1] : L"";
  const std::wstring argument = count > 2 ? args[2] : L"";
  ::LocalFree(args);
  if (command == L"windows") return ListWindows();
  if (command == L"texts" && count > 2) return ListTexts(argument);
  if (command == L"clipboard") return PrintClipboard();
  if (command == L"foreground") return PrintForeground();
  std::fprintf(stderr, "usage: window_probe windows | texts TITLE | clipboard | foreground\n");
  return 2;
}
