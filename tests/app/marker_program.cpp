// A stand-in for a product's installer or launcher in the launch tests: it
// writes its command line, its arguments (one per line) and its working
// folder, in UTF-8, to the file named by APP_TEST_MARKER, and exits. The
// file appears whole (written aside, then renamed), so a test that polls for
// it never reads half of it.
#include <windows.h>

#include <shellapi.h>

#include <string>

namespace {

std::string Utf8(const wchar_t* text) {
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return std::string();
  std::string out(static_cast<size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], size, nullptr, nullptr);
  out.resize(static_cast<size_t>(size) - 1);
  return out;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  wchar_t marker[MAX_PATH * 2] = {};
  if (::GetEnvironmentVariableW(L"APP_TEST_MARKER", marker, MAX_PATH * 2) == 0) return 2;
  std::string text = Utf8(::GetCommandLineW()) + "\n";
  int count = 0;
  wchar_t** args = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  for (int i = 1; args != nullptr && i < count; ++i) text += Utf8(args[i]) + "\n";
  ::LocalFree(args);
  wchar_t folder[MAX_PATH] = {};
  ::GetCurrentDirectoryW(MAX_PATH, folder);
  text += "cwd=" + Utf8(folder) + "\n";

  const std::wstring aside = std::wstring(marker) + L".tmp";
  HANDLE file = ::CreateFileW(aside.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 3;
  DWORD written = 0;
  ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  ::CloseHandle(file);
  return ::MoveFileExW(aside.c_str(), marker, MOVEFILE_REPLACE_EXISTING) ? 0 : 4;
}
