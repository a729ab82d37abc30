#include "archive/package_extraction.h"

#include <windows.h>

#include <string>

#include "archive/zip_reader.h"

namespace {

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void EnsureUnder(const std::wstring& root, const std::wstring& path) {
  size_t last = path.find_last_of(L"\\/");
  if (last != std::wstring::npos && last > 0) EnsureUnder(root, path.substr(0, last));
  std::wstring full = root + path;
  if (!Exists(full)) CreateDirectoryW(full.c_str(), nullptr);
}

}  // namespace

bool EnsureDirectories(const wchar_t* root, const wchar_t* path) {
  std::wstring base = root ? root : L"";
  if (!base.empty() && !Exists(base)) CreateDirectoryW(base.c_str(), nullptr);
  std::wstring relative = path ? path : L"";
  if (!relative.empty()) EnsureUnder(base, relative);
  DWORD attributes = GetFileAttributesW((base + relative).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool ExtractArchive(const wchar_t* zip_path, const wchar_t* target_directory) {
  // Without a target every name would land in the current drive's root.
  if (!target_directory || !*target_directory) return false;
  ZipReader* archive = OpenArchive(zip_path, 0, ZipSourceKind::FileName, nullptr);
  if (!archive) return false;
  ZipEntry whole;
  // A target too long to hold any entry fails as a whole, like a bad archive.
  if (GetEntry(archive, -1, &whole) != kZipOk ||
      SetBaseDirectory(archive, target_directory) != kZipOk) {
    CloseArchive(archive);
    return false;
  }
  // The target and every folder above it; entries make their own below.
  EnsureDirectories(nullptr, target_directory);
  for (int i = 0; i < whole.index; ++i) {
    ZipEntry entry;
    if (GetEntry(archive, i, &entry) != kZipOk) continue;
    // Relative to the base directory: the reader refuses (0x200) a name that
    // would leave it, makes the folders along the path, and keeps track of
    // the last folder made, so a run of entries in one folder costs one check.
    ExtractEntry(archive, i, entry.name, 0, ZipSourceKind::FileName);
  }
  CloseArchive(archive);
  return true;
}
