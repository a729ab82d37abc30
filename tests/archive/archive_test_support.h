// Helpers shared by the archive tests: where the generated test archives
// are, reading files, and scratch folders that clean up after themselves.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace archive_test {

// Path of a file made by make_test_archives.py (name relative to its output
// folder, e.g. L"basic.zip" or L"src/basic/readme.txt").
std::wstring DataPath(const std::wstring& name);

std::vector<uint8_t> ReadFileBytes(const std::wstring& path);
void WriteFileBytes(const std::wstring& path, const std::vector<uint8_t>& bytes);
bool FileExists(const std::wstring& path);

// Relative paths of everything below `folder` (folders end in "\"), sorted.
std::vector<std::wstring> ListTree(const std::wstring& folder);

// Deletes a folder and everything in it, read-only files included.
void RemoveTree(const std::wstring& folder);

// A fresh empty folder under the temporary folder, removed with its
// contents when the object goes.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  // Without a trailing separator.
  const std::wstring& path() const { return path_; }
  std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

 private:
  std::wstring path_;
};

}  // namespace archive_test
