#include "tools/brand/resource_branding.h"

#include <vector>

#include "base/scoped_handle.h"
#include "tools/brand/theme_archive.h"

namespace brand {

namespace {

std::wstring SystemMessage(DWORD error) {
  wchar_t* text = nullptr;
  DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring message;
  if (length && text) {
    message.assign(text, length);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' ||
                                message.back() == L' ' || message.back() == L'.'))
      message.pop_back();
  }
  if (text) LocalFree(text);
  return message.empty() ? L"error " + std::to_wstring(error)
                         : message + L" (error " + std::to_wstring(error) + L")";
}

std::wstring Widen(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

std::wstring FullPath(const std::wstring& path) {
  DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (!size) return path;
  std::wstring full(size, L'\0');
  size = GetFullPathNameW(path.c_str(), size, &full[0], nullptr);
  full.resize(size);
  return full;
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
  std::wstring x = FullPath(a), y = FullPath(b);
  return CompareStringOrdinal(x.c_str(), static_cast<int>(x.size()), y.c_str(),
                              static_cast<int>(y.size()), TRUE) == CSTR_EQUAL;
}

// A resource name or type: an integer id or a string.
struct ResourceName {
  WORD id = 0;
  std::wstring text;

  explicit ResourceName(LPCWSTR name) {
    if (IS_INTRESOURCE(name))
      id = static_cast<WORD>(reinterpret_cast<ULONG_PTR>(name));
    else
      text = name;
  }
  LPCWSTR get() const { return text.empty() ? MAKEINTRESOURCEW(id) : text.c_str(); }
  // Resource names compare without regard to case.
  bool Is(LPCWSTR other) const {
    if (IS_INTRESOURCE(other)) return text.empty() && id == LOWORD(other);
    return !text.empty() && CompareStringOrdinal(text.c_str(), -1, other, -1, TRUE) == CSTR_EQUAL;
  }
};

struct Resource {
  ResourceName type, name;
  WORD language;
  std::string data;
};

BOOL CALLBACK CollectLanguage(HMODULE module, LPCWSTR type, LPCWSTR name, WORD language,
                              LONG_PTR param) {
  auto* resources = reinterpret_cast<std::vector<Resource>*>(param);
  HRSRC info = FindResourceExW(module, type, name, language);
  HGLOBAL handle = info ? LoadResource(module, info) : nullptr;
  const void* data = handle ? LockResource(handle) : nullptr;
  std::string bytes;
  if (data) bytes.assign(static_cast<const char*>(data), SizeofResource(module, info));
  resources->push_back({ResourceName(type), ResourceName(name), language, bytes});
  return TRUE;
}

BOOL CALLBACK CollectName(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR param) {
  EnumResourceLanguagesW(module, type, name, CollectLanguage, param);
  return TRUE;
}

BOOL CALLBACK CollectType(HMODULE module, LPWSTR type, LONG_PTR param) {
  EnumResourceNamesW(module, type, CollectName, param);
  return TRUE;
}

// Loads an executable's resources without running any of its code.
HMODULE LoadAsData(const std::wstring& path) {
  return LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
}

BrandResult Failure(std::wstring message) {
  BrandResult result;
  result.message = std::move(message);
  return result;
}

}  // namespace

bool ReadWholeFile(const std::wstring& path, std::string* bytes, DWORD* error) {
  cbase::ScopedHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    *error = GetLastError();
    return false;
  }
  LARGE_INTEGER size{};
  bool ok = GetFileSizeEx(file.get(), &size) && size.QuadPart < 0x7FFFFFFF;
  if (ok) {
    bytes->assign(static_cast<size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    ok = bytes->empty() ||
         (ReadFile(file.get(), &(*bytes)[0], static_cast<DWORD>(bytes->size()), &read, nullptr) &&
          read == bytes->size());
  }
  *error = ok ? 0 : (GetLastError() ? GetLastError() : ERROR_READ_FAULT);
  return ok;
}

bool ReadThemeResource(const std::wstring& executable, std::string* bytes) {
  HMODULE module = LoadAsData(executable);
  if (!module) return false;
  bool found = false;
  HRSRC info = FindResourceW(module, MAKEINTRESOURCEW(kThemeResourceId), kThemeResourceType);
  if (info) {
    HGLOBAL handle = LoadResource(module, info);
    const void* data = handle ? LockResource(handle) : nullptr;
    if (data) {
      bytes->assign(static_cast<const char*>(data), SizeofResource(module, info));
      found = true;
    }
  }
  FreeLibrary(module);
  return found;
}

BrandResult BrandExecutable(const std::wstring& assistant, const std::wstring& theme_zip,
                            const std::wstring& output) {
  std::string zip;
  DWORD error = 0;
  if (!ReadWholeFile(theme_zip, &zip, &error))
    return Failure(L"cannot read " + theme_zip + L": " + SystemMessage(error));
  ThemeArchiveCheck check = CheckThemeArchive(zip);
  if (!check.ok) return Failure(theme_zip + L" is not a branding archive: " + Widen(check.problem));

  if (SamePath(assistant, output))
    return Failure(L"the output must be a new file, not the assistant itself: " + output);

  HMODULE module = LoadAsData(assistant);
  if (!module)
    return Failure(assistant + L" is not a Windows executable: " + SystemMessage(GetLastError()));
  std::vector<Resource> resources;
  EnumResourceTypesW(module, CollectType, reinterpret_cast<LONG_PTR>(&resources));
  FreeLibrary(module);
  const Resource* theme = nullptr;
  for (const Resource& resource : resources) {
    if (resource.type.Is(kThemeResourceType) && resource.name.id == kThemeResourceId) {
      theme = &resource;
      break;
    }
  }
  if (!theme)
    return Failure(assistant + L" has no THEME 129 resource; is it the installation assistant?");

  if (!CopyFileW(assistant.c_str(), output.c_str(), FALSE))
    return Failure(L"cannot write " + output + L": " + SystemMessage(GetLastError()));
  // From here on a failure must not leave a half-branded copy behind.
  auto abandon = [&output](std::wstring message) {
    DeleteFileW(output.c_str());
    return Failure(std::move(message));
  };

  // The resource table is written anew: every resource of the assistant as it
  // was, except that THEME 129 appears once, in the language of its first copy,
  // with the new archive. (Removing a single language in place is not
  // reliable everywhere, and a stale copy in another language could be the
  // one the assistant finds.)
  HANDLE update = BeginUpdateResourceW(output.c_str(), TRUE);
  if (!update) return abandon(L"cannot update " + output + L": " + SystemMessage(GetLastError()));
  bool ok = UpdateResourceW(update, kThemeResourceType, MAKEINTRESOURCEW(kThemeResourceId),
                            theme->language, &zip[0], static_cast<DWORD>(zip.size()));
  for (size_t i = 0; ok && i < resources.size(); ++i) {
    Resource& resource = resources[i];
    if (resource.type.Is(kThemeResourceType) && resource.name.id == kThemeResourceId) continue;
    ok = UpdateResourceW(update, resource.type.get(), resource.name.get(), resource.language,
                         resource.data.empty() ? nullptr : &resource.data[0],
                         static_cast<DWORD>(resource.data.size()));
  }
  error = ok ? 0 : GetLastError();
  if (!ok) {
    EndUpdateResourceW(update, TRUE);
    return abandon(L"cannot replace the THEME resource of " + output + L": " +
                   SystemMessage(error));
  }
  if (!EndUpdateResourceW(update, FALSE))
    return abandon(L"cannot write the resources of " + output + L": " +
                   SystemMessage(GetLastError()));

  std::string written;
  if (!ReadThemeResource(output, &written) || written != zip)
    return abandon(L"the THEME resource read back from " + output +
                   L" differs from the archive; nothing was written");

  BrandResult result;
  result.ok = true;
  result.message = L"wrote " + output + L": THEME 129 is now " + theme_zip + L" (" +
                   std::to_wstring(zip.size()) + L" bytes, " +
                   std::to_wstring(check.members.size()) + L" members)";
  return result;
}

}  // namespace brand
