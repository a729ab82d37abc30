#include "app/app_directories.h"

#include <windows.h>

#include <objbase.h>
#include <shlobj.h>
#include <versionhelpers.h>

#include "app/product_config.h"

namespace {

// FOLDERID_LocalAppData, spelled out so no GUID library is needed.
const GUID kLocalAppDataFolder = {
    0xF1B32785, 0x6FBA, 0x4FCF, {0x9D, 0x55, 0x7B, 0x8E, 0x7F, 0x15, 0x70, 0x91}};
constexpr DWORD kKnownFolderCreate = 0x8000;
constexpr int kLocalAppDataCreate = 0x801C;  // CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE

using GetKnownFolderPath = HRESULT(WINAPI*)(const GUID&, DWORD, HANDLE, PWSTR*);

// The known-folder service exists from Vista on; it is looked up at run time
// so the program also starts where it does not.
std::wstring FromKnownFolder() {
  HMODULE shell = ::LoadLibraryW(L"shell32.dll");
  if (shell == nullptr) return std::wstring();
  std::wstring path;
  const auto get = reinterpret_cast<GetKnownFolderPath>(
      reinterpret_cast<void (*)()>(::GetProcAddress(shell, "SHGetKnownFolderPath")));
  PWSTR folder = nullptr;
  if (get != nullptr && SUCCEEDED(get(kLocalAppDataFolder, kKnownFolderCreate, nullptr, &folder)) &&
      folder != nullptr) {
    path = folder;
  }
  ::CoTaskMemFree(folder);
  ::FreeLibrary(shell);
  return path;
}

std::wstring FromFolderPath() {
  wchar_t folder[MAX_PATH + 1] = {};
  if (FAILED(::SHGetFolderPathW(nullptr, kLocalAppDataCreate, nullptr, 0, folder))) {
    return std::wstring();
  }
  return folder;
}

}  // namespace

std::wstring LocalAppDataDirectory() {
  // The folder stays where it is while the process runs, and each question
  // loads the shell again (about 2 ms under Wine): asked once.
  static const std::wstring folder = [] {
    std::wstring path = IsWindowsVistaOrGreater() ? FromKnownFolder() : FromFolderPath();
    if (!path.empty() && path.back() != L'\\') path += L'\\';
    return path;
  }();
  return folder;
}

std::wstring DownloaderDirectory(const std::wstring& product) {
  return LocalAppDataDirectory() + product + L"_downloader";
}

std::wstring DownloaderDirectory() {
  return DownloaderDirectory(ProductConfig::Instance().product());
}

std::wstring InstallerConfigPath() { return DownloaderDirectory() + L"\\config.json"; }
