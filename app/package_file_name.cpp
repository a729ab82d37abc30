#include "app/package_file_name.h"

#include <cwctype>

#include "http/url_helpers.h"

namespace {

const wchar_t kFallbackName[] = L"download.exe";

bool IsReservedDeviceName(const std::wstring& name) {
  // The part before the first dot decides ("nul.zip" is the device too).
  std::wstring stem = name.substr(0, name.find(L'.'));
  while (!stem.empty() && stem.back() == L' ') stem.pop_back();
  for (wchar_t& c : stem) c = static_cast<wchar_t>(std::towupper(c));
  static const wchar_t* const kDevices[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
  for (const wchar_t* device : kDevices) {
    if (stem == device) return true;
  }
  return stem.size() == 4 && (stem.compare(0, 3, L"COM") == 0 || stem.compare(0, 3, L"LPT") == 0) &&
         stem[3] >= L'0' && stem[3] <= L'9';
}

bool IsPlainFileName(const std::wstring& name) {
  if (name.empty() || name.find_first_not_of(L'.') == std::wstring::npos) return false;
  for (wchar_t c : name) {
    if (c < 0x20 || c == 0x7F) return false;
    if (std::wstring(L"\\/:*?\"<>|").find(c) != std::wstring::npos) return false;
  }
  return !IsReservedDeviceName(name);
}

}  // namespace

std::wstring PackageFileName(const std::wstring& url) {
  const std::wstring name = winhttpx::FileNameFromUrl(url);
  return IsPlainFileName(name) ? name : std::wstring(kFallbackName);
}
