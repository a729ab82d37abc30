#include "app/json_file.h"

#include <windows.h>

#include <utility>

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

// Writes |text| into a new file |path| and flushes it to the disk; false
// (with nothing left behind) when that failed.
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

// The folder |path| is written in, created when missing; "" when it cannot be.
std::wstring WritableFolder(const std::wstring& path) {
  const std::wstring folder = ParentFolder(path);
  if (folder.empty()) return L".";
  if (!IsFolder(folder) && !CreateFolderTree(folder)) return std::wstring();
  return folder;
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
  std::string existing;
  if (!ReadWholeFile(path, existing)) existing.clear();
  const std::wstring folder = WritableFolder(path);
  if (folder.empty()) return false;
  // A file that may not be written keeps its content, as it would with a
  // direct write; the rename below would otherwise replace it.
  if (IsReadOnly(path)) return false;

  wchar_t temporary[MAX_PATH + 1] = {};
  if (::GetTempFileNameW(folder.c_str(), L"cfg", 0, temporary) == 0) return false;
  if (!WriteLastingFile(temporary, MergedText(existing, values))) return false;
  if (!ReplaceWith(temporary, path)) {
    ::DeleteFileW(temporary);
    return false;
  }
  return true;
}

PendingJsonMerge::PendingJsonMerge(std::wstring path, JsonObject values)
    : path_(std::move(path)), pending_(path_ + L".pending"), values_(std::move(values)) {
  had_file_ = ReadWholeFile(path_, base_);
  if (!had_file_) base_.clear();
  prepared_ = !WritableFolder(path_).empty() && !IsReadOnly(path_) &&
              WriteLastingFile(pending_, MergedText(base_, values_));
}

PendingJsonMerge::~PendingJsonMerge() {
  if (prepared_) ::DeleteFileW(pending_.c_str());
}

bool PendingJsonMerge::Commit() {
  if (prepared_) {
    prepared_ = false;
    std::string now;
    const bool has_file = ReadWholeFile(path_, now);
    // Anything written since (another key, or the file gone or made
    // read-only) is merged anew rather than overwritten.
    if (has_file == had_file_ && (!has_file || now == base_) && !IsReadOnly(path_) &&
        ReplaceWith(pending_, path_)) {
      return true;
    }
    ::DeleteFileW(pending_.c_str());
  }
  return MergeJsonFile(path_, values_);
}
