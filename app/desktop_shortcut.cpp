#include "app/desktop_shortcut.h"

#include <windows.h>

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

std::wstring DesktopFolder() {
  wchar_t path[MAX_PATH] = {};
  if (FAILED(
          ::SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, SHGFP_TYPE_CURRENT, path))) {
    return std::wstring();
  }
  return path;
}

bool CreateDesktopShortcut(const std::wstring& name, const std::wstring& target,
                           const std::wstring& icon_path, const std::wstring& description) {
  const HRESULT com = ::CoInitialize(nullptr);
  IShellLinkW* link = nullptr;
  IPersistFile* file = nullptr;
  do {
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                  reinterpret_cast<void**>(&link)))) {
      break;
    }
    const size_t separator = target.find_last_of(L"\\/");
    const std::wstring folder =
        separator == std::wstring::npos ? target : target.substr(0, separator);
    if (FAILED(link->SetPath(target.c_str()))) break;
    if (FAILED(link->SetWorkingDirectory(folder.c_str()))) break;
    if (!icon_path.empty() && FAILED(link->SetIconLocation(icon_path.c_str(), 0))) break;
    if (!description.empty() && FAILED(link->SetDescription(description.c_str()))) break;
    if (FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) break;
    const std::wstring desktop = DesktopFolder();
    if (desktop.empty()) break;
    const std::wstring path = desktop + L"\\" + name + L".lnk";
    file->Save(path.c_str(), TRUE);
  } while (false);
  if (file != nullptr) file->Release();
  if (link != nullptr) link->Release();
  if (SUCCEEDED(com)) ::CoUninitialize();
  return true;
}
