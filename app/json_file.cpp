#include "app/json_file.h"

#include <windows.h>

#include <utility>

#include "base/scoped_handle.h"

namespace {

enum class Existing { kRead, kMissing, kUnreadable };

// The whole of |path| into |bytes|. A file that is there but cannot be read
// is told apart from a missing one: merging over it would lose its keys.
Existing ReadWholeFile(const std::wstring& path, std::string& bytes) {
  bytes.clear();
  cbase::ScopedHandle file(::CreateFileW(path.c_str(), GENERIC_READ,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? Existing::kMissing
                                                                          : Existing::kUnreadable;
  }
  char buffer[16384];
  for (;;) {
    DWORD read = 0;
    if (!::ReadFile(file.get(), buffer, sizeof(buffer), &read, nullptr)) {
      bytes.clear();
      return Existing::kUnreadable;
    }
    if (read == 0) return Existing::kRead;
    bytes.append(buffer, read);
  }
}

std::wstring ParentFolder(const std::wstring& path) {
  const auto separator = path.find_last_of(L"\\/");
  return separator == std::wstring::npos ? std::wstring() : path.substr(0, separator);
}

bool IsFolder(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsReadOnly(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

// |values| over every member of |existing| (when it is an object) that they
// do not replace, as one line of JSON.
std::string MergedText(const std::string& existing, const JsonObject& values) {
  Json merged(values);
  const Json old = ParseJson(existing);
  if (old.is_object()) {
    for (auto it = old.begin(); it != old.end(); ++it) {
      if (!merged.contains(it.key())) merged[it.key()] = it.value();
    }
  }
  return DumpJson(merged);
}

// Writes |text| as the whole of |path| and flushes it to the disk; false
// (with the file removed) when that failed.
bool WriteLastingFile(const std::wstring& path, const std::string& text) {
  cbase::ScopedHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  const bool ok =
      file &&
      (text.empty() ||
       (::WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
        written == text.size())) &&
      ::FlushFileBuffers(file.get());
  file.reset();  // closed before it is renamed or removed
  if (!ok) ::DeleteFileW(path.c_str());
  return ok;
}

// Puts |from| in the place of |path| in one step.
bool ReplaceWith(const std::wstring& from, const std::wstring& path) {
  return ::MoveFileExW(from.c_str(), path.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

// A file of its own next to |path| that holds |text| on the disk; "" when
// none could be made. The folder is created when missing.
std::wstring WriteBeside(const std::wstring& path, const std::string& text) {
  std::wstring folder = ParentFolder(path);
  if (folder.empty()) folder = L".";
  if (!IsFolder(folder) && !CreateFolderTree(folder)) return std::wstring();
  wchar_t temporary[MAX_PATH + 1] = {};
  if (::GetTempFileNameW(folder.c_str(), L"cfg", 0, temporary) == 0) return std::wstring();
  if (!WriteLastingFile(temporary, text)) return std::wstring();
  return temporary;
}

}  // namespace

Json ReadJsonFile(const std::wstring& path) {
  std::string bytes;
  if (ReadWholeFile(path, bytes) != Existing::kRead) return Json();
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
  std::string existing;
  // A file that may not be written keeps its content, as it would with a
  // direct write; the rename below would otherwise replace it.
  if (ReadWholeFile(path, existing) == Existing::kUnreadable || IsReadOnly(path)) return false;
  const std::wstring temporary = WriteBeside(path, MergedText(existing, values));
  if (temporary.empty()) return false;
  if (!ReplaceWith(temporary, path)) {
    ::DeleteFileW(temporary.c_str());
    return false;
  }
  return true;
}

PendingJsonMerge::PendingJsonMerge(std::wstring path, JsonObject values)
    : path_(std::move(path)), values_(std::move(values)) {
  const Existing existing = ReadWholeFile(path_, base_);
  had_file_ = existing == Existing::kRead;
  // Commit then merge-writes as usual, and fails as it would.
  if (existing == Existing::kUnreadable || IsReadOnly(path_)) return;
  pending_ = WriteBeside(path_, MergedText(base_, values_));
}

PendingJsonMerge::~PendingJsonMerge() {
  if (!pending_.empty()) ::DeleteFileW(pending_.c_str());
}

bool PendingJsonMerge::Commit() {
  if (!pending_.empty()) {
    const std::wstring pending = std::move(pending_);
    pending_.clear();
    std::string now;
    const Existing existing = ReadWholeFile(path_, now);
    // Anything written since (another key, or the file gone or made
    // read-only) is merged anew rather than overwritten.
    if (existing != Existing::kUnreadable && (existing == Existing::kRead) == had_file_ &&
        now == base_ && !IsReadOnly(path_) && ReplaceWith(pending, path_)) {
      return true;
    }
    ::DeleteFileW(pending.c_str());
  }
  return MergeJsonFile(path_, values_);
}
