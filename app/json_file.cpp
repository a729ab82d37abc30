#include "app/json_file.h"

#include <windows.h>

#include "base/scoped_handle.h"

namespace {

bool ReadWholeFile(const std::wstring& path, std::string& bytes) {
  cbase::ScopedHandle file(::CreateFileW(path.c_str(), GENERIC_READ,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  bool ok = true;
  char buffer[16384];
  for (;;) {
    DWORD read = 0;
    if (!::ReadFile(file.get(), buffer, sizeof(buffer), &read, nullptr)) {
      ok = false;
      break;
    }
    if (read == 0) break;
    bytes.append(buffer, read);
  }
  return ok;
}

std::wstring ParentFolder(const std::wstring& path) {
  const auto separator = path.find_last_of(L"\\/");
  return separator == std::wstring::npos ? std::wstring() : path.substr(0, separator);
}

bool IsFolder(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool WriteAndFlush(HANDLE file, const std::string& text) {
  DWORD written = 0;
  if (!text.empty() &&
      (!::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
       written != text.size())) {
    return false;
  }
  return ::FlushFileBuffers(file) != FALSE;
}

}  // namespace

Json ReadJsonFile(const std::wstring& path) {
  if (::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return Json();
  std::string bytes;
  if (!ReadWholeFile(path, bytes)) return Json();
  return ParseJson(bytes);
}

bool CreateFolderTree(const std::wstring& folder) {
  if (folder.empty()) return false;
  if (IsFolder(folder)) return true;
  const std::wstring parent = ParentFolder(folder);
  // Stop at a drive ("C:") or a share root; CreateDirectoryW reports those.
  if (!parent.empty() && parent.back() != L':' && parent != folder) CreateFolderTree(parent);
  return ::CreateDirectoryW(folder.c_str(), nullptr) || IsFolder(folder);
}

bool MergeJsonFile(const std::wstring& path, const JsonObject& values) {
  Json merged(values);
  const Json existing = ReadJsonFile(path);
  if (existing.is_object()) {
    for (auto it = existing.begin(); it != existing.end(); ++it) {
      if (!merged.contains(it.key())) merged[it.key()] = it.value();
    }
  }

  std::wstring folder = ParentFolder(path);
  if (!folder.empty() && !IsFolder(folder) && !CreateFolderTree(folder)) return false;
  if (folder.empty()) folder = L".";

  // A file that may not be written keeps its content, as it would with a
  // direct write; the rename below would otherwise replace it.
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    return false;
  }

  wchar_t temporary[MAX_PATH + 1] = {};
  if (::GetTempFileNameW(folder.c_str(), L"cfg", 0, temporary) == 0) return false;
  cbase::ScopedHandle file(::CreateFileW(temporary, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    ::DeleteFileW(temporary);
    return false;
  }
  const bool written = WriteAndFlush(file.get(), DumpJson(merged));
  file.reset();  // closed before the rename
  if (!written ||
      !::MoveFileExW(temporary, path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    ::DeleteFileW(temporary);
    return false;
  }
  return true;
}
