// A console helper for the assistant's window tests (assistant_window_test.py):
// things a test runner cannot do from outside Wine.
//
//   assistant_probe drop-theme <in.exe> <out.exe>
//       Writes a copy of the assistant without its embedded branding archive
//       (resource THEME 129, every language), and checks that it is gone.
//   assistant_probe dpi <dpi> <left> <top> <right> <bottom>
//       Sends WM_DPICHANGED (the new DPI in both words of wParam, the given
//       suggested window rectangle in lParam) to the window "Basic" and
//       prints what it answered.
//
// Exit codes: 0 done, 1 failed (the reason on stderr), 2 wrong arguments.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <utility>
#include <vector>

namespace {

const wchar_t kThemeType[] = L"THEME";
const WORD kThemeId = 129;

int Fail(const wchar_t* what) {
  std::fwprintf(stderr, L"assistant_probe: %ls (error %lu)\n", what, ::GetLastError());
  return 1;
}

// A resource type or name: an integer id or a string.
struct ResourceId {
  std::wstring text;
  WORD id = 0;
  explicit ResourceId(LPCWSTR value) {
    if (IS_INTRESOURCE(value)) {
      id = static_cast<WORD>(reinterpret_cast<ULONG_PTR>(value));
    } else {
      text = value;
    }
  }
  LPCWSTR get() const { return text.empty() ? MAKEINTRESOURCEW(id) : text.c_str(); }
  bool Is(LPCWSTR value) const {
    return IS_INTRESOURCE(value) ? text.empty() && id == reinterpret_cast<ULONG_PTR>(value)
                                 : text == value;
  }
};

struct Resource {
  ResourceId type;
  ResourceId name;
  WORD language;
  std::vector<char> data;
};

struct Collected {
  HMODULE module;
  std::vector<Resource>* list;
  LPCWSTR type;
  LPCWSTR name;
};

BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR param) {
  auto* collected = reinterpret_cast<Collected*>(param);
  HRSRC found = ::FindResourceExW(collected->module, collected->type, collected->name, language);
  HGLOBAL loaded = found != nullptr ? ::LoadResource(collected->module, found) : nullptr;
  const char* bytes =
      loaded != nullptr ? static_cast<const char*>(::LockResource(loaded)) : nullptr;
  const DWORD size = found != nullptr ? ::SizeofResource(collected->module, found) : 0;
  Resource resource{ResourceId(collected->type), ResourceId(collected->name), language, {}};
  if (bytes != nullptr) resource.data.assign(bytes, bytes + size);
  collected->list->push_back(std::move(resource));
  return TRUE;
}

BOOL CALLBACK CollectName(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR param) {
  auto* collected = reinterpret_cast<Collected*>(param);
  collected->type = type;
  collected->name = name;
  ::EnumResourceLanguagesW(module, type, name, CollectLanguage, param);
  return TRUE;
}

BOOL CALLBACK CollectType(HMODULE module, LPWSTR type, LONG_PTR param) {
  ::EnumResourceNamesW(module, type, CollectName, param);
  return TRUE;
}

// Every resource of |path| with its bytes; false when it does not load.
bool ReadResources(const wchar_t* path, std::vector<Resource>& resources) {
  HMODULE module =
      ::LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (module == nullptr) return false;
  Collected collected{module, &resources, nullptr, nullptr};
  ::EnumResourceTypesW(module, CollectType, reinterpret_cast<LONG_PTR>(&collected));
  ::FreeLibrary(module);
  return true;
}

bool IsTheme(const Resource& resource) {
  return resource.type.Is(kThemeType) && resource.name.Is(MAKEINTRESOURCEW(kThemeId));
}

size_t CountThemes(const std::vector<Resource>& resources) {
  size_t count = 0;
  for (const Resource& resource : resources) count += IsTheme(resource) ? 1 : 0;
  return count;
}

// Writes |resources| but the archive into |out|, replacing what it holds.
int WriteWithoutTheme(const std::vector<Resource>& resources, const wchar_t* out) {
  HANDLE update = ::BeginUpdateResourceW(out, TRUE);
  if (update == nullptr) return Fail(L"BeginUpdateResourceW failed");
  for (const Resource& resource : resources) {
    if (IsTheme(resource)) continue;
    if (!::UpdateResourceW(update, resource.type.get(), resource.name.get(), resource.language,
                           const_cast<char*>(resource.data.data()),
                           static_cast<DWORD>(resource.data.size()))) {
      ::EndUpdateResourceW(update, TRUE);
      return Fail(L"UpdateResourceW failed");
    }
  }
  if (!::EndUpdateResourceW(update, FALSE)) return Fail(L"EndUpdateResourceW failed");
  std::vector<Resource> written;
  if (!ReadResources(out, written)) return Fail(L"the written executable does not load");
  if (CountThemes(written) != 0) return Fail(L"the written executable still has THEME 129");
  if (written.size() + CountThemes(resources) != resources.size()) {
    return Fail(L"the written executable lost other resources");
  }
  return 0;
}

// Deleting one entry (UpdateResourceW without data) is not honoured by every
// implementation of the update functions, so the copy starts without any
// resource and gets back all but the archive.
int DropTheme(const wchar_t* in, const wchar_t* out) {
  std::vector<Resource> resources;
  if (!ReadResources(in, resources)) return Fail(L"cannot read the input executable");
  if (CountThemes(resources) == 0) return Fail(L"the input has no THEME 129 resource");
  if (!::CopyFileW(in, out, FALSE)) return Fail(L"cannot copy the executable");
  const int status = WriteWithoutTheme(resources, out);
  // Nothing half-done stays behind.
  if (status != 0) ::DeleteFileW(out);
  return status;
}

// Cross-process SendMessage carries lParam as a bare pointer unless the
// system marshals the message. The rectangle is therefore placed at one
// address that is valid, with the same bytes, in both processes, so the
// window reads it whichever way the message travels.
int SendDpiChanged(int dpi, const RECT& suggested) {
  HWND window = ::FindWindowW(L"Basic", L"Basic");
  if (window == nullptr) return Fail(L"no window Basic");
  DWORD process_id = 0;
  ::GetWindowThreadProcessId(window, &process_id);
  HANDLE process = ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, process_id);
  if (process == nullptr) return Fail(L"cannot open the window's process");
  void* shared = nullptr;
  void* remote = nullptr;
  for (int attempt = 0; attempt < 16 && shared == nullptr; ++attempt) {
    remote =
        ::VirtualAllocEx(process, nullptr, sizeof(RECT), MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (remote == nullptr) break;
    shared = ::VirtualAlloc(remote, sizeof(RECT), MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (shared == nullptr) ::VirtualFreeEx(process, remote, 0, MEM_RELEASE);
  }
  if (shared == nullptr) {
    ::CloseHandle(process);
    return Fail(L"no address free in both processes");
  }
  *static_cast<RECT*>(shared) = suggested;
  SIZE_T written = 0;
  int status = 0;
  if (!::WriteProcessMemory(process, remote, &suggested, sizeof(RECT), &written) ||
      written != sizeof(RECT)) {
    status = Fail(L"cannot write the rectangle into the window's process");
  } else {
    DWORD_PTR result = 0;
    if (!::SendMessageTimeoutW(window, WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                               reinterpret_cast<LPARAM>(shared), SMTO_ABORTIFHUNG, 20000,
                               &result)) {
      status = Fail(L"the window did not answer WM_DPICHANGED");
    } else {
      std::wprintf(L"result=%ld\n", static_cast<long>(result));
    }
  }
  ::VirtualFreeEx(process, remote, 0, MEM_RELEASE);
  ::VirtualFree(shared, 0, MEM_RELEASE);
  ::CloseHandle(process);
  return status;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring command = argc > 1 ? argv[1] : L"";
  if (command == L"drop-theme" && argc == 4) return DropTheme(argv[2], argv[3]);
  if (command == L"dpi" && argc == 7) {
    const RECT suggested = {_wtoi(argv[3]), _wtoi(argv[4]), _wtoi(argv[5]), _wtoi(argv[6])};
    return SendDpiChanged(_wtoi(argv[2]), suggested);
  }
  std::fwprintf(stderr,
                L"usage: assistant_probe drop-theme <in.exe> <out.exe>\n"
                L"       assistant_probe dpi <dpi> <left> <top> <right> <bottom>\n");
  return 2;
}
