#include "app/module_path.h"

#include <windows.h>

namespace {

// The module is whatever allocation holds this function, so the answer stays
// right if the code is ever linked into a DLL.
HMODULE ThisModule() {
  MEMORY_BASIC_INFORMATION info = {};
  if (::VirtualQuery(reinterpret_cast<const void*>(&ThisModule), &info, sizeof(info)) == 0) {
    return nullptr;
  }
  return static_cast<HMODULE>(info.AllocationBase);
}

}  // namespace

std::wstring ModuleFilePath() {
  wchar_t buffer[MAX_PATH] = {};
  const DWORD length = ::GetModuleFileNameW(ThisModule(), buffer, MAX_PATH);
  return std::wstring(buffer, length);
}

std::wstring ModuleDirectory() {
  const std::wstring path = ModuleFilePath();
  const size_t separator = path.find_last_of(L"\\/");
  if (separator == std::wstring::npos) return std::wstring();
  return path.substr(0, separator + 1);
}
