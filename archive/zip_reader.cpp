#include "archive/zip_reader.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "archive/extraction_observer.h"
#include "archive/file_zip_source.h"
#include "archive/package_extraction.h"
#include "archive/zip_archive.h"
#include "archive/zip_names.h"
#include "base/scoped_handle.h"

using archive::ZipEntryInfo;

namespace {

constexpr size_t kMaxPath = 259;
// Large pieces: every write is a system call (under Wine two layers of them),
// and 16 KiB pieces made a 300 MB package cost about 18,000 of them.
constexpr size_t kExtractionPiece = size_t{1} << 20;

std::atomic<ZipStatus> g_last_status{kZipOk};

ZipStatus Remember(ZipStatus s) {
  g_last_status.store(s, std::memory_order_relaxed);
  return s;
}

FILETIME ToFileTime(uint64_t value) {
  FILETIME t;
  t.dwLowDateTime = static_cast<DWORD>(value);
  t.dwHighDateTime = static_cast<DWORD>(value >> 32);
  return t;
}

uint64_t FromFileTime(const FILETIME& t) {
  return (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

// DOS times are local: convert with the time zone rules of that date.
uint64_t LocalToUtc(uint64_t local) {
  FILETIME local_time = ToFileTime(local), utc;
  SYSTEMTIME local_fields, utc_fields;
  if (FileTimeToSystemTime(&local_time, &local_fields) &&
      TzSpecificLocalTimeToSystemTime(nullptr, &local_fields, &utc_fields) &&
      SystemTimeToFileTime(&utc_fields, &utc)) {
    return FromFileTime(utc);
  }
  return LocalFileTimeToFileTime(&local_time, &utc) ? FromFileTime(utc) : local;
}

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool IsAbsolutePath(const std::wstring& path) {
  return (!path.empty() && IsSeparator(path[0])) || (path.size() >= 2 && path[1] == L':');
}

// Creates (or replaces) a file for writing; `*created` tells whether no file
// was there. Replacing a read-only file fails on Windows; it fails here the
// same way where the file system would let it pass (Wine run by root, for
// one). A new file, the usual case, costs one call.
HANDLE CreateTarget(const std::wstring& path, DWORD attributes, bool* created) {
  *created = false;
  HANDLE file =
      CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, attributes, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    *created = true;
    return file;
  }
  if (GetLastError() != ERROR_FILE_EXISTS) return file;
  DWORD existing = GetFileAttributesW(path.c_str());
  if (existing != INVALID_FILE_ATTRIBUTES && (existing & FILE_ATTRIBUTE_READONLY)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, attributes, nullptr);
  // Gone since the first try: this call made it.
  *created = file != INVALID_HANDLE_VALUE && GetLastError() != ERROR_ALREADY_EXISTS;
  return file;
}

std::u16string_view AsU16(const std::wstring& s) {
  return std::u16string_view(reinterpret_cast<const char16_t*>(s.data()), s.size());
}

}  // namespace

// One open archive with its file-layer state (base directory, extraction
// buffer). Handles given out by OpenArchive point at these.
class ZipReader {
 public:
  ZipReader() : archive_(&LocalToUtc) {}

  ZipStatus Open(const void* source, size_t length, ZipSourceKind kind, const char* password);
  ZipStatus GetEntry(int index, ZipEntry* entry);
  ZipStatus FindEntry(std::string_view utf8_name, int* index);
  ZipStatus ExtractEntry(int index, const void* target, size_t length, ZipSourceKind kind);
  ZipStatus SetBaseDirectory(const wchar_t* directory);
  ZipStatus GetUncompressedTotal(uint64_t* total) { return archive_.SumUncompressedSizes(total); }
  uint64_t entry_count() const { return archive_.total_entries(); }
  void set_observer(archive::ExtractionObserver* observer) { observer_ = observer; }

 private:
  ZipStatus ExtractToFileName(int index, const std::wstring& target);
  // Writes the entry's data to `file` and stamps its times.
  ZipStatus WriteEntry(int index, HANDLE file, const ZipEntryInfo& info);
  // EnsureDirectories, once per folder while the archive is open (folder
  // checks go through the whole path each time and dominate small files).
  void EnsureFolder(const std::wstring& root, const std::wstring& path);
  // EnsureDirectories, telling the observer of every folder made.
  bool MakeFolders(const std::wstring& root, const std::wstring& path);

  archive::ZipArchive archive_;
  archive::ExtractionObserver* observer_ = nullptr;
  std::unique_ptr<uint8_t[]> buffer_;  // extraction buffer, made on first use
  std::wstring base_directory_;
  std::unordered_set<std::wstring> folders_made_;
};

ZipStatus ZipReader::Open(const void* source, size_t length, ZipSourceKind kind,
                          const char* password) {
  std::unique_ptr<archive::ZipSource> bytes;
  switch (kind) {
    case ZipSourceKind::FileName: {
      if (!source) return kZipBadArgument;
      cbase::ScopedHandle file(CreateFileW(static_cast<const wchar_t*>(source), GENERIC_READ,
                                           FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                           FILE_ATTRIBUTE_NORMAL, nullptr));
      if (!file) return kZipCannotOpen;
      LARGE_INTEGER size;
      if (!GetFileSizeEx(file.get(), &size)) return kZipCannotOpen;
      bytes = std::make_unique<archive::WindowedZipSource>(
          std::make_unique<archive::FileZipSource>(std::move(file), size.QuadPart));
      break;
    }
    case ZipSourceKind::FileHandle: {
      HANDLE file = const_cast<HANDLE>(source);
      if (!file || file == INVALID_HANDLE_VALUE) return kZipBadArgument;
      LARGE_INTEGER zero = {}, start, size;
      if (!SetFilePointerEx(file, zero, &start, FILE_CURRENT) || !GetFileSizeEx(file, &size)) {
        return kZipCannotSeek;
      }
      uint64_t rest = size.QuadPart > start.QuadPart ? size.QuadPart - start.QuadPart : 0;
      bytes = std::make_unique<archive::WindowedZipSource>(
          std::make_unique<archive::FileZipSource>(file, start.QuadPart, rest));
      break;
    }
    case ZipSourceKind::Memory:
      if (!source && length) return kZipBadArgument;
      bytes = std::make_unique<archive::MemoryZipSource>(source, length);
      break;
    default:
      return kZipBadArgument;
  }
  ZipStatus s = archive_.Open(std::move(bytes), password ? password : "");
  if (s != kZipOk) return s;

  wchar_t current[MAX_PATH];
  DWORD n = GetCurrentDirectoryW(MAX_PATH, current);
  base_directory_.assign(current, n < MAX_PATH ? n : 0);
  if (base_directory_.empty() || !IsSeparator(base_directory_.back())) base_directory_ += L'\\';
  return kZipOk;
}

ZipStatus ZipReader::GetEntry(int index, ZipEntry* entry) {
  if (!entry) return kZipBadArgument;
  ZipEntryInfo info;
  ZipStatus s = archive_.GetEntry(index, &info);
  if (s != kZipOk) return s;
  *entry = ZipEntry();
  entry->index = info.index;
  size_t n = std::min(info.name.size(), kMaxPath);
  std::copy(info.name.begin(), info.name.begin() + n, entry->name);
  entry->name[n] = L'\0';
  entry->attributes = info.attributes;
  entry->access_time = ToFileTime(info.access_time);
  entry->creation_time = ToFileTime(info.creation_time);
  entry->write_time = ToFileTime(info.write_time);
  entry->compressed_size = info.compressed_size;
  entry->uncompressed_size = info.uncompressed_size;
  return kZipOk;
}

ZipStatus ZipReader::FindEntry(std::string_view utf8_name, int* index) {
  if (!index) return kZipBadArgument;
  int32_t found = -1;
  ZipStatus s = archive_.FindEntry(utf8_name, &found);
  if (s == kZipOk) *index = found;
  return s;
}

ZipStatus ZipReader::SetBaseDirectory(const wchar_t* directory) {
  if (!directory) return kZipBadArgument;
  std::wstring base = directory;
  if (base.empty() || !IsSeparator(base.back())) base += L'\\';
  if (base.size() > kMaxPath) return kZipBadArgument;
  base_directory_ = std::move(base);
  return kZipOk;
}

ZipStatus ZipReader::ExtractEntry(int index, const void* target, size_t length,
                                  ZipSourceKind kind) {
  switch (kind) {
    case ZipSourceKind::Memory:
      return archive_.ExtractToMemory(index, const_cast<void*>(target), length);
    case ZipSourceKind::FileName:
      if (!target) return kZipBadArgument;
      return ExtractToFileName(index, static_cast<const wchar_t*>(target));
    case ZipSourceKind::FileHandle: {
      HANDLE file = const_cast<HANDLE>(target);
      if (!file || file == INVALID_HANDLE_VALUE) return kZipBadArgument;
      archive_.CloseEntry();
      ZipEntryInfo info;
      ZipStatus s = archive_.GetEntry(index, &info);
      if (s != kZipOk) return s;
      if (info.attributes & archive::kAttrDirectory) return kZipOk;
      return WriteEntry(index, file, info);
    }
  }
  return kZipBadArgument;
}

void ZipReader::EnsureFolder(const std::wstring& root, const std::wstring& path) {
  std::wstring folder = root + path;
  if (folders_made_.count(folder)) return;
  if (MakeFolders(root, path)) folders_made_.insert(std::move(folder));
}

bool ZipReader::MakeFolders(const std::wstring& root, const std::wstring& path) {
  if (!observer_) return EnsureDirectories(root.c_str(), path.c_str());
  std::vector<std::wstring> created;
  bool exists = EnsureDirectories(root.c_str(), path.c_str(), &created);
  for (const std::wstring& folder : created) observer_->FolderCreated(folder);
  return exists;
}

ZipStatus ZipReader::ExtractToFileName(int index, const std::wstring& target) {
  archive_.CloseEntry();
  ZipEntryInfo info;
  ZipStatus s = archive_.GetEntry(index, &info);
  if (s != kZipOk) return s;

  const bool absolute = IsAbsolutePath(target);
  // A relative target is an entry-like name under the base directory: it
  // must not leave it.
  if (!absolute && !archive::IsContainedEntryName(AsU16(target))) return kZipCannotOpen;
  const std::wstring root = absolute ? std::wstring() : base_directory_;

  // Some archivers mark folders only by the trailing separator.
  bool directory = (info.attributes & archive::kAttrDirectory) ||
                   (!info.name.empty() && (info.name.back() == u'/' || info.name.back() == u'\\'));
  if (directory) {
    MakeFolders(root, target);
    return kZipOk;
  }

  const std::wstring full = root + target;
  // Never cut a path: a cut name could end in "..".
  if (full.size() > kMaxPath) return kZipCannotOpen;
  size_t last = target.find_last_of(L"\\/");
  std::wstring folder = last == std::wstring::npos ? std::wstring() : target.substr(0, last + 1);
  // A relative target's folder is at least the base directory itself.
  if (!folder.empty() || !root.empty()) EnsureFolder(root, folder);

  DWORD attributes = info.attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                        FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE);
  if (!attributes) attributes = FILE_ATTRIBUTE_NORMAL;
  bool created = false;
  cbase::ScopedHandle file(CreateTarget(full, attributes, &created));
  if (!file && GetLastError() == ERROR_PATH_NOT_FOUND) {
    // A folder remembered as made may have gone since.
    folders_made_.clear();
    EnsureFolder(root, folder);
    file.reset(CreateTarget(full, attributes, &created));
  }
  if (!file) return kZipCannotOpen;
  if (created && observer_) observer_->FileCreated(full);
  return WriteEntry(index, file.get(), info);
}

ZipStatus ZipReader::WriteEntry(int index, HANDLE file, const ZipEntryInfo& info) {
  if (!buffer_) buffer_.reset(new uint8_t[kExtractionPiece]);
  ZipStatus s = archive_.OpenEntry(index);
  if (s != kZipOk) return s;
  for (;;) {
    size_t produced = 0;
    s = archive_.ReadEntry(buffer_.get(), kExtractionPiece, &produced);
    DWORD written = 0;
    if (produced &&
        ((observer_ && !observer_->BeforeWrite(produced)) ||
         !WriteFile(file, buffer_.get(), static_cast<DWORD>(produced), &written, nullptr) ||
         written != produced)) {
      s = kZipWriteFailed;
      break;
    }
    if (s != kZipOk) break;
    if (archive_.entry_complete()) {
      FILETIME creation = ToFileTime(info.creation_time), access = ToFileTime(info.access_time),
               write = ToFileTime(info.write_time);
      SetFileTime(file, &creation, &access, &write);
      s = archive_.entry_crc_matches() ? kZipOk : kZipCrcMismatch;
      break;
    }
    if (produced == 0) {
      s = kZipDataError;
      break;
    }
  }
  archive_.CloseEntry();
  return s;
}

namespace {

// Every handle given out and not yet closed. A handle is checked here before
// it is used, so a stale or foreign pointer is answered, never followed.
std::mutex& RegistryLock() {
  static std::mutex* lock = new std::mutex;
  return *lock;
}

std::unordered_set<ZipReader*>& Registry() {
  static auto* readers = new std::unordered_set<ZipReader*>;
  return *readers;
}

ZipStatus CheckHandle(ZipReader* archive) {
  if (!archive) return kZipBadArgument;
  std::lock_guard<std::mutex> hold(RegistryLock());
  return Registry().count(archive) ? kZipOk : kZipNotReader;
}

}  // namespace

ZipReader* OpenArchive(const void* source, size_t length, ZipSourceKind kind,
                       const char* password) {
  auto reader = std::make_unique<ZipReader>();
  if (Remember(reader->Open(source, length, kind, password)) != kZipOk) return nullptr;
  std::lock_guard<std::mutex> hold(RegistryLock());
  Registry().insert(reader.get());
  return reader.release();
}

ZipStatus CloseArchive(ZipReader* archive) {
  ZipStatus s = CheckHandle(archive);
  if (s != kZipOk) return Remember(s);
  {
    std::lock_guard<std::mutex> hold(RegistryLock());
    Registry().erase(archive);
  }
  delete archive;
  return Remember(kZipOk);
}

ZipStatus GetEntry(ZipReader* archive, int index, ZipEntry* entry) {
  ZipStatus s = CheckHandle(archive);
  return Remember(s != kZipOk ? s : archive->GetEntry(index, entry));
}

ZipStatus FindEntry(ZipReader* archive, const char* utf8_name, int* index) {
  ZipStatus s = CheckHandle(archive);
  if (s == kZipOk && !utf8_name) s = kZipBadArgument;
  return Remember(s != kZipOk ? s : archive->FindEntry(utf8_name, index));
}

ZipStatus FindEntry(ZipReader* archive, const wchar_t* name, int* index) {
  ZipStatus s = CheckHandle(archive);
  if (s == kZipOk && !name) s = kZipBadArgument;
  if (s != kZipOk) return Remember(s);
  std::string utf8 = archive::EncodeUtf8(AsU16(name));
  return Remember(archive->FindEntry(utf8, index));
}

ZipStatus ExtractEntry(ZipReader* archive, int index, const void* target, size_t length,
                       ZipSourceKind kind) {
  ZipStatus s = CheckHandle(archive);
  return Remember(s != kZipOk ? s : archive->ExtractEntry(index, target, length, kind));
}

ZipStatus SetBaseDirectory(ZipReader* archive, const wchar_t* directory) {
  ZipStatus s = CheckHandle(archive);
  return Remember(s != kZipOk ? s : archive->SetBaseDirectory(directory));
}

ZipStatus GetUncompressedTotal(ZipReader* archive, uint64_t* total) {
  ZipStatus s = CheckHandle(archive);
  if (s == kZipOk && !total) s = kZipBadArgument;
  return Remember(s != kZipOk ? s : archive->GetUncompressedTotal(total));
}

ZipStatus GetEntryCount(ZipReader* archive, uint64_t* count) {
  ZipStatus s = CheckHandle(archive);
  if (s == kZipOk && !count) s = kZipBadArgument;
  if (s == kZipOk) *count = archive->entry_count();
  return Remember(s);
}

ZipStatus SetExtractionObserver(ZipReader* archive, archive::ExtractionObserver* observer) {
  ZipStatus s = CheckHandle(archive);
  if (s == kZipOk) archive->set_observer(observer);
  return Remember(s);
}

ZipStatus LastZipStatus() { return g_last_status.load(std::memory_order_relaxed); }
