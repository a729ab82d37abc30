#include "tests/archive/archive_test_support.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <stdexcept>

namespace archive_test {

std::wstring DataPath(const std::wstring& name) {
  std::string dir = ARCHIVE_TEST_DATA_DIR;
  return std::wstring(dir.begin(), dir.end()) + L"/" + name;
}

std::vector<uint8_t> ReadFileBytes(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot read test file");
  std::vector<uint8_t> bytes;
  uint8_t piece[65536];
  DWORD got = 0;
  while (ReadFile(file, piece, sizeof piece, &got, nullptr) && got > 0) {
    bytes.insert(bytes.end(), piece, piece + got);
  }
  CloseHandle(file);
  return bytes;
}

void WriteFileBytes(const std::wstring& path, const std::vector<uint8_t>& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD written = 0;
  bool ok = file != INVALID_HANDLE_VALUE &&
            WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
            written == bytes.size();
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  if (!ok) throw std::runtime_error("cannot write test file");
}

bool FileExists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

namespace {

void Walk(const std::wstring& root, const std::wstring& relative, std::vector<std::wstring>* out) {
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileW((root + L"\\" + relative + L"*").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      out->push_back(relative + name + L"\\");
      Walk(root, relative + name + L"\\", out);
    } else {
      out->push_back(relative + name);
    }
  } while (FindNextFileW(find, &found));
  FindClose(find);
}

}  // namespace

std::vector<std::wstring> ListTree(const std::wstring& folder) {
  std::vector<std::wstring> out;
  Walk(folder, L"", &out);
  std::sort(out.begin(), out.end());
  return out;
}

void RemoveTree(const std::wstring& folder_path) {
  // The long-path form reaches names Win32 paths cannot (trailing dots or
  // spaces, which extraction of hostile archives may leave behind).
  const std::wstring folder =
      folder_path.size() > 2 && folder_path[1] == L':' ? L"\\\\?\\" + folder_path : folder_path;
  std::vector<std::wstring> items = ListTree(folder);
  // Deepest first, so folders are empty when their turn comes.
  std::sort(items.begin(), items.end(),
            [](const std::wstring& a, const std::wstring& b) { return a.size() > b.size(); });
  for (const std::wstring& item : items) {
    std::wstring path = folder + L"\\" + item;
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (item.back() == L'\\') {
      RemoveDirectoryW(path.c_str());
    } else {
      DeleteFileW(path.c_str());
    }
  }
  RemoveDirectoryW(folder.c_str());
}

ScratchDir::ScratchDir() {
  static std::atomic<int> counter{0};
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  path_ = std::wstring(temp) + L"archive_test_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
          std::to_wstring(counter++);
  RemoveTree(path_);
  if (!CreateDirectoryW(path_.c_str(), nullptr))
    throw std::runtime_error("cannot make scratch dir");
}

ScratchDir::~ScratchDir() { RemoveTree(path_); }

}  // namespace archive_test
