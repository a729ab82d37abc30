#include "tools/samples/run_marker.h"

#include <windows.h>

#include <utility>

#include "base/scoped_handle.h"
#include "base/utf8.h"

namespace {

// A value on one line: line breaks would start a new key.
std::wstring OneLine(std::wstring value) {
  for (wchar_t& c : value) {
    if (c == L'\r' || c == L'\n') c = L' ';
  }
  return value;
}

}  // namespace

std::wstring ModulePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = ::GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
    if (length == 0) return std::wstring();
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

std::wstring ModuleFolder() {
  std::wstring path = ModulePath();
  const size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

RunMarker::RunMarker(std::wstring variant, std::vector<std::wstring> arguments) {
  lines_.emplace_back(L"program", std::move(variant));
  lines_.emplace_back(L"command_line", ::GetCommandLineW());
  for (std::wstring& argument : arguments) lines_.emplace_back(L"arg", std::move(argument));
  lines_.emplace_back(L"module", ModulePath());
  const DWORD size = ::GetCurrentDirectoryW(0, nullptr);
  std::wstring folder(size, L'\0');
  if (size > 0) folder.resize(::GetCurrentDirectoryW(size, &folder[0]));
  lines_.emplace_back(L"cwd", folder);
}

void RunMarker::Add(const std::wstring& key, const std::wstring& value) {
  lines_.emplace_back(key, value);
}

std::wstring RunMarker::PathFor(const std::wstring& default_name) {
  const DWORD size = ::GetEnvironmentVariableW(L"FERNWICK_MARKER", nullptr, 0);
  if (size > 1) {
    std::wstring path(size, L'\0');
    path.resize(::GetEnvironmentVariableW(L"FERNWICK_MARKER", &path[0], size));
    if (!path.empty()) return path;
  }
  return ModuleFolder() + L"\\" + default_name;
}

std::string RunMarker::Text() const {
  std::string text;
  for (const auto& line : lines_) {
    text +=
        cbase::Utf16ToUtf8(line.first) + "=" + cbase::Utf16ToUtf8(OneLine(line.second)) + "\r\n";
  }
  return text;
}

bool RunMarker::Write(const std::wstring& path) const {
  const std::string text = Text();
  const std::wstring aside = path + L".tmp";
  cbase::ScopedHandle file(::CreateFileW(aside.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  DWORD written = 0;
  const BOOL ok =
      ::WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  file.reset();  // closed before the move
  if (!ok || written != text.size() ||
      !::MoveFileExW(aside.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    ::DeleteFileW(aside.c_str());
    return false;
  }
  return true;
}
