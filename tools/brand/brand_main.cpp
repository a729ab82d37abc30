// brand.exe <assistant.exe> <theme.zip> <out.exe>
//
// Writes a copy of the assistant carrying another branding archive. Exit codes:
// 0 written, 1 refused or failed (nothing written), 2 wrong arguments.
#include <windows.h>

#include <string>

#include "base/utf8.h"
#include "tools/brand/resource_branding.h"

namespace {

// Console text as UTF-16 to a console, as UTF-8 to a pipe or file.
void Write(DWORD which, const std::wstring& text) {
  HANDLE out = GetStdHandle(which);
  if (!out || out == INVALID_HANDLE_VALUE) return;
  DWORD mode = 0, written = 0;
  if (GetConsoleMode(out, &mode)) {
    WriteConsoleW(out, text.c_str(), static_cast<DWORD>(text.size()), &written, nullptr);
    return;
  }
  const std::string utf8 = cbase::Utf16ToUtf8(text);
  if (utf8.empty()) return;
  WriteFile(out, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
}

const wchar_t kUsage[] =
    L"usage: brand <assistant.exe> <theme.zip> <out.exe>\n"
    L"Writes out.exe: a copy of assistant.exe whose embedded branding archive (resource THEME "
    L"129)\nis replaced by theme.zip. Make theme.zip from a resources folder with\n"
    L"tools/pack_resources.py RESOURCES_DIR -o theme.zip\n";

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 2 && (std::wstring(argv[1]) == L"--help" || std::wstring(argv[1]) == L"-h" ||
                    std::wstring(argv[1]) == L"/?")) {
    Write(STD_OUTPUT_HANDLE, kUsage);
    return 0;
  }
  if (argc != 4) {
    Write(STD_ERROR_HANDLE,
          L"brand: expected 3 arguments, got " + std::to_wstring(argc - 1) + L"\n" + kUsage);
    return 2;
  }
  brand::BrandResult result = brand::BrandExecutable(argv[1], argv[2], argv[3]);
  Write(result.ok ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE, L"brand: " + result.message + L"\n");
  return result.ok ? 0 : 1;
}
