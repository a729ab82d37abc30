// A DLL that only reports that it was loaded. The planting test copies it
// beside a program under the names of system DLLs; when a process loads it,
// DllMain writes "<its file name>.loaded" (UTF-8: the path of the process's
// program) into the folder PLANTED_DLL_MARKERS names, or beside itself
// without that variable. It exports nothing, so a program that goes on to
// call into it fails, which the test does not rely on: the marker is written
// first.
#include <windows.h>

namespace {

// The part of path after its last backslash.
const wchar_t* FileName(const wchar_t* path) {
  const wchar_t* name = path;
  for (const wchar_t* p = path; *p != L'\0'; ++p) {
    if (*p == L'\\' || *p == L'/') name = p + 1;
  }
  return name;
}

void WriteMarker(HINSTANCE self) {
  wchar_t own_path[MAX_PATH] = {};
  const DWORD own_length = ::GetModuleFileNameW(self, own_path, MAX_PATH);
  if (own_length == 0 || own_length >= MAX_PATH) return;
  const wchar_t* own_name = FileName(own_path);

  wchar_t marker[2 * MAX_PATH] = {};
  const DWORD folder_length = ::GetEnvironmentVariableW(L"PLANTED_DLL_MARKERS", marker, MAX_PATH);
  if (folder_length == 0 || folder_length >= MAX_PATH) {
    ::lstrcpynW(marker, own_path, static_cast<int>(own_name - own_path) + 1);
  } else {
    ::lstrcatW(marker, L"\\");
  }
  ::lstrcatW(marker, own_name);
  ::lstrcatW(marker, L".loaded");

  wchar_t program[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, program, MAX_PATH);
  char text[4 * MAX_PATH] = {};
  const int size =
      ::WideCharToMultiByte(CP_UTF8, 0, program, -1, text, sizeof(text), nullptr, nullptr);

  HANDLE file = ::CreateFileW(marker, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  if (size > 1) ::WriteFile(file, text, static_cast<DWORD>(size - 1), &written, nullptr);
  ::CloseHandle(file);
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) WriteMarker(instance);
  return TRUE;
}
