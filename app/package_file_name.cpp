#include "app/package_file_name.h"

#include <string>

#include "archive/windows_file_name.h"
#include "http/url_helpers.h"

namespace {

const wchar_t kFallbackName[] = L"download.exe";

static_assert(sizeof(wchar_t) == sizeof(char16_t), "wide strings are UTF-16 on Windows");

}  // namespace

std::wstring PackageFileName(const std::wstring& url) {
  const std::wstring name = winhttpx::FileNameFromUrl(url);
  const std::u16string units(name.begin(), name.end());
  return archive::IsValidWindowsFileName(units) ? name : std::wstring(kFallbackName);
}
