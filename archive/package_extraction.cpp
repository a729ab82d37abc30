#include "archive/package_extraction.h"

#include <windows.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "archive/extraction_observer.h"
#include "archive/zip_reader.h"

namespace {

constexpr uint64_t kUnknownSpace = std::numeric_limits<uint64_t>::max();

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void MakeFolder(const std::wstring& path, std::vector<std::wstring>* created) {
  if (Exists(path)) return;
  if (CreateDirectoryW(path.c_str(), nullptr) && created) created->push_back(path);
}

// The target usually does not exist yet: ask about the nearest folder of its
// path that does.
uint64_t VolumeFreeSpace(const std::wstring& folder) {
  std::wstring path = folder;
  for (;;) {
    ULARGE_INTEGER available;
    if (GetDiskFreeSpaceExW(path.c_str(), &available, nullptr, nullptr)) {
      return available.QuadPart;
    }
    const size_t last = path.find_last_not_of(L"\\/");
    const size_t cut = last == std::wstring::npos ? last : path.find_last_of(L"\\/", last);
    if (cut == std::wstring::npos) break;
    path.erase(cut + 1);  // keeps the separator, so "C:\" stays the root
  }
  // A relative path with nothing of it there yet lies in the current folder.
  const bool relative = !path.empty() && !IsSeparator(path[0]) && path.find(L':') == path.npos;
  ULARGE_INTEGER available;
  return relative && GetDiskFreeSpaceExW(nullptr, &available, nullptr, nullptr) ? available.QuadPart
                                                                                : kUnknownSpace;
}

// One ExtractPackage call over an open reader: the checks before writing,
// the bounds while writing (as the reader's observer), progress, and taking
// back what the run created when it stops. Lives on the extracting thread.
class PackageRun : public archive::ExtractionObserver {
 public:
  PackageRun(ZipReader* archive, const wchar_t* target, const ExtractionOptions& options)
      : archive_(archive), target_(target), options_(options) {}

  ExtractionResult Run();

  void FolderCreated(const std::wstring& path) override { folders_.push_back(path); }
  void FileCreated(const std::wstring& path) override { files_.push_back(path); }
  bool BeforeWrite(size_t bytes) override;

 private:
  // Checks the package against the bounds before anything is written.
  ExtractionStatus Check();
  void ExtractEntries();
  void Stop(ExtractionStatus why) {
    if (status_ == ExtractionStatus::kOk) status_ = why;
  }
  bool Report() {
    last_report_ = progress_.bytes_done;
    return !options_.progress || options_.progress(progress_);
  }
  uint64_t FreeSpace() const {
    return options_.free_space ? options_.free_space(target_) : VolumeFreeSpace(target_);
  }
  // Whether the volume still holds what the package has yet to write.
  bool RoomForTheRest() const {
    return FreeSpace() >= progress_.bytes_total - progress_.bytes_done;
  }
  void TakeBack();

  ZipReader* archive_;
  const std::wstring target_;
  const ExtractionOptions& options_;

  ExtractionStatus status_ = ExtractionStatus::kOk;
  ExtractionProgress progress_;
  uint64_t byte_limit_ = 0;  // the recorded total within the ceiling
  uint64_t last_report_ = 0;
  uint64_t last_space_check_ = 0;
  uint64_t written_ = 0;
  uint64_t skipped_ = 0;
  uint64_t read_ = 0;                  // entries whose headers and data could be read
  std::vector<std::wstring> folders_;  // in the order made, outermost first
  std::vector<std::wstring> files_;
};

ExtractionResult PackageRun::Run() {
  status_ = Check();
  if (status_ == ExtractionStatus::kOk && !Report()) status_ = ExtractionStatus::kCancelled;
  if (status_ == ExtractionStatus::kOk) {
    // The target and every folder above it; entries make their own below.
    if (!EnsureDirectories(nullptr, target_.c_str(), &folders_)) {
      Stop(ExtractionStatus::kWriteFailed);
    }
  }
  if (status_ == ExtractionStatus::kOk) {
    SetExtractionObserver(archive_, this);
    ExtractEntries();
    SetExtractionObserver(archive_, nullptr);
  }
  if (status_ != ExtractionStatus::kOk) TakeBack();

  ExtractionResult result;
  result.status = status_;
  result.entries_written = written_;
  result.entries_skipped = skipped_;
  result.bytes_written = progress_.bytes_done;
  return result;
}

ExtractionStatus PackageRun::Check() {
  if (GetEntryCount(archive_, &progress_.entries_total) != kZipOk) {
    return ExtractionStatus::kCannotOpen;
  }
  // A target too long to hold any entry fails as a whole.
  if (SetBaseDirectory(archive_, target_.c_str()) != kZipOk) return ExtractionStatus::kWriteFailed;
  // Indexes are ints: a count past them is beyond any ceiling.
  if (progress_.entries_total > options_.max_entries ||
      progress_.entries_total > static_cast<uint64_t>(INT32_MAX)) {
    return ExtractionStatus::kTooManyEntries;
  }
  if (GetUncompressedTotal(archive_, &progress_.bytes_total) != kZipOk) {
    return ExtractionStatus::kCannotOpen;
  }
  if (progress_.bytes_total > options_.max_total_bytes) return ExtractionStatus::kTooLarge;
  byte_limit_ = progress_.bytes_total;
  if (!RoomForTheRest()) return ExtractionStatus::kNoSpace;
  return ExtractionStatus::kOk;
}

// Whether an entry's status says the reader could read it: written, data
// out with a CRC mismatch, refused for its name or not writable.
bool WasRead(ZipStatus s) {
  return s == kZipOk || s == kZipCrcMismatch || s == kZipCannotOpen || s == kZipWriteFailed;
}

void PackageRun::ExtractEntries() {
  for (uint64_t i = 0; i < progress_.entries_total; ++i) {
    const int index = static_cast<int>(i);
    ZipEntry entry;
    ZipStatus s = GetEntry(archive_, index, &entry);
    // Relative to the base directory: the reader refuses (0x200) a name that
    // would leave it, makes the folders along the path, and keeps track of
    // the last folder made, so a run of entries in one folder costs one check.
    if (s == kZipOk) s = ExtractEntry(archive_, index, entry.name, 0, ZipSourceKind::FileName);
    if (status_ != ExtractionStatus::kOk) return;  // refused while writing
    if (s == kZipOk) {
      ++written_;
    } else {
      ++skipped_;
    }
    if (WasRead(s)) ++read_;
    // A write that failed of itself most likely met a full volume, and then
    // every entry after it would fail the same way.
    if (s == kZipWriteFailed && !RoomForTheRest()) {
      Stop(ExtractionStatus::kNoSpace);
      return;
    }
    ++progress_.entries_done;
    if (!Report()) {
      Stop(ExtractionStatus::kCancelled);
      return;
    }
  }
  if (progress_.entries_total > 0 && read_ == 0) Stop(ExtractionStatus::kUnreadable);
}

bool PackageRun::BeforeWrite(size_t bytes) {
  if (status_ != ExtractionStatus::kOk) return false;
  // The reader keeps each entry to its recorded size; this holds the whole
  // run to the recorded total whatever the reader does.
  if (bytes > byte_limit_ - progress_.bytes_done) {
    Stop(ExtractionStatus::kTooLarge);
    return false;
  }
  const uint64_t after = progress_.bytes_done + bytes;
  if (after - last_space_check_ >= kExtractionSpaceCheckStep) {
    last_space_check_ = progress_.bytes_done;
    if (!RoomForTheRest()) {
      Stop(ExtractionStatus::kNoSpace);
      return false;
    }
  }
  if (after - last_report_ >= kExtractionProgressStep && !Report()) {
    Stop(ExtractionStatus::kCancelled);
    return false;
  }
  progress_.bytes_done = after;
  return true;
}

void PackageRun::TakeBack() {
  // Newest first: files before the folders that hold them, and a folder
  // made later never holds one made earlier.
  for (auto file = files_.rbegin(); file != files_.rend(); ++file) {
    SetFileAttributesW(file->c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(file->c_str());
  }
  for (auto folder = folders_.rbegin(); folder != folders_.rend(); ++folder) {
    RemoveDirectoryW(folder->c_str());
  }
  files_.clear();
  folders_.clear();
}

}  // namespace

bool EnsureDirectories(const wchar_t* root, const wchar_t* path,
                       std::vector<std::wstring>* created) {
  const std::wstring base = root ? root : L"";
  if (!base.empty()) MakeFolder(base, created);
  const std::wstring relative = path ? path : L"";
  // Outermost first; a separator at the very start names no folder.
  for (size_t i = 1; i < relative.size(); ++i) {
    if (IsSeparator(relative[i])) MakeFolder(base + relative.substr(0, i), created);
  }
  if (!relative.empty()) MakeFolder(base + relative, created);
  DWORD attributes = GetFileAttributesW((base + relative).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

ExtractionResult ExtractPackage(const wchar_t* zip_path, const wchar_t* target_directory,
                                const ExtractionOptions& options) {
  ExtractionResult result;
  // Without a target every name would land in the current drive's root.
  if (!target_directory || !*target_directory) {
    result.status = ExtractionStatus::kWriteFailed;
    return result;
  }
  ZipReader* archive = OpenArchive(zip_path, 0, ZipSourceKind::FileName, nullptr);
  if (!archive) {
    result.status = ExtractionStatus::kCannotOpen;
    return result;
  }
  result = PackageRun(archive, target_directory, options).Run();
  CloseArchive(archive);
  return result;
}

bool ExtractArchive(const wchar_t* zip_path, const wchar_t* target_directory) {
  return ExtractPackage(zip_path, target_directory, ExtractionOptions()).status ==
         ExtractionStatus::kOk;
}
