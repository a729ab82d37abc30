#include "app/desktop_shortcut.h"

#include <windows.h>

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "base/com_ptr.h"

std::wstring DesktopFolder() {
  wchar_t path[MAX_PATH] = {};
  if (FAILED(
          ::SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, SHGFP_TYPE_CURRENT, path))) {
    return std::wstring();
  }
  return path;
}

namespace {

// Writes the link; its objects are released before the caller ends COM.
void SaveShortcut(const std::wstring& name, const std::wstring& target,
                  const std::wstring& icon_path, const std::wstring& description) {
  cbase::ComPtr<IShellLinkW> link;
  if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                link.receive_void()))) {
    return;
  }
  const size_t separator = target.find_last_of(L"\\/");
  const std::wstring folder =
      separator == std::wstring::npos ? target : target.substr(0, separator);
  if (FAILED(link->SetPath(target.c_str()))) return;
  if (FAILED(link->SetWorkingDirectory(folder.c_str()))) return;
  if (!icon_path.empty() && FAILED(link->SetIconLocation(icon_path.c_str(), 0))) return;
  if (!description.empty() && FAILED(link->SetDescription(description.c_str()))) return;
  cbase::ComPtr<IPersistFile> file;
  if (FAILED(link->QueryInterface(IID_IPersistFile, file.receive_void()))) return;
  const std::wstring desktop = DesktopFolder();
  if (desktop.empty()) return;
  const std::wstring path = desktop + L"\\" + name + L".lnk";
  file->Save(path.c_str(), TRUE);
}

}  // namespace

bool CreateDesktopShortcut(const std::wstring& name, const std::wstring& target,
                           const std::wstring& icon_path, const std::wstring& description) {
  const HRESULT com = ::CoInitialize(nullptr);
  SaveShortcut(name, target, icon_path, description);
  if (SUCCEEDED(com)) ::CoUninitialize();
  return true;
}
