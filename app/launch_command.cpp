#include "app/launch_command.h"

#include <windows.h>

#include <cwctype>
#include <vector>

namespace {

// Replaces every |placeholder| of |command| with |path|, quoting it where the
// placeholder stands outside quotes (quotes toggle as Windows reads them).
std::wstring Substitute(const std::wstring& command, const std::wstring& placeholder,
                        const std::wstring& path) {
  std::wstring result;
  bool quoted = false;
  for (size_t i = 0; i < command.size();) {
    if (command.compare(i, placeholder.size(), placeholder) == 0) {
      result += quoted ? path : L"\"" + path + L"\"";
      i += placeholder.size();
      continue;
    }
    if (command[i] == L'"') quoted = !quoted;
    result += command[i++];
  }
  return result;
}

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

}  // namespace

std::wstring SubstituteInstaller(const std::wstring& command, const std::wstring& path) {
  return Substitute(command, L"{installer}", path);
}

std::wstring SubstituteTargetDir(const std::wstring& command, const std::wstring& target) {
  return Substitute(command, L"{target_dir}", target);
}

ProgramAndArguments SplitProgramAndArguments(const std::wstring& command) {
  ProgramAndArguments split;
  size_t i = 0;
  while (i < command.size() && IsBlank(command[i])) ++i;
  bool quoted = false;
  for (; i < command.size(); ++i) {
    const wchar_t c = command[i];
    if (c == L'"') {
      quoted = !quoted;
    } else if (IsBlank(c) && !quoted) {
      break;
    } else {
      split.program += c;
    }
  }
  while (i < command.size() && IsBlank(command[i])) ++i;
  split.arguments = command.substr(i);
  return split;
}

bool IsSafeForCommandProcessor(const std::wstring& path) {
  for (wchar_t c : path) {
    if (c < 0x20 || c == L'%' || c == L'!' || c == L'"') return false;
  }
  return !path.empty();
}

std::wstring ShortPathForCommandProcessor(const std::wstring& path) {
  if (IsSafeForCommandProcessor(path)) return path;
  const DWORD needed = ::GetShortPathNameW(path.c_str(), nullptr, 0);
  if (needed == 0) return std::wstring();
  std::vector<wchar_t> buffer(needed + 1);
  const DWORD length =
      ::GetShortPathNameW(path.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
  if (length == 0 || length >= buffer.size()) return std::wstring();
  const std::wstring short_path(buffer.data(), length);
  return IsSafeForCommandProcessor(short_path) ? short_path : std::wstring();
}

std::wstring CommandProcessorParameters(const std::wstring& command) {
  return L"/S /C \"" + command + L"\"";
}

std::wstring LowerCaseExtension(const std::wstring& path) {
  const size_t name_start = path.find_last_of(L"\\/");
  const size_t dot = path.rfind(L'.');
  if (dot == std::wstring::npos || (name_start != std::wstring::npos && dot < name_start)) {
    return std::wstring();
  }
  std::wstring extension = path.substr(dot);
  for (wchar_t& c : extension) c = static_cast<wchar_t>(std::towlower(c));
  return extension;
}
