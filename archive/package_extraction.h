// Unpacking a downloaded package (an untrusted zip) into a folder, within
// bounds, and the folder-making helper the reader uses on the way.
//
// No entry is ever written outside the target folder: names are sanitised
// by the reader and every name is checked again before anything is written
// (see IsContainedEntryName); entries that fail the check are skipped, as
// are entries that are damaged or cannot be written: one bad entry does not
// stop the others.
//
// But a package must never pass as unpacked when the reader could make
// nothing of it. The rule: a package whose entries were all unreadable (no
// entry's headers and data could be read: a directory that cannot be
// walked from its first record, local headers that all disagree with it,
// data that is all damaged, every entry encrypted) is kUnreadable, and what
// the run made is taken back. As soon as one entry could be read, the run is
// kOk and the unreadable ones count as skipped. An entry refused for its
// name or a failed write still counts as read, and so does one whose data
// came out with a CRC mismatch. An archive that counts no entries is kOk.
//
// The package is not trusted to be reasonable either. Before anything is
// written its entry count and the uncompressed sizes its directory records
// are held against ceilings and against the free space of the target's
// volume, and while writing the bytes are counted again (and the free space
// looked at again every few MiB), so a package that says less than it holds
// or a volume that fills up meanwhile stops the run as well. A run that
// stops removes the files and folders it created; files it replaced cannot
// be given back and stay as they are.
//
// Threads: ExtractPackage and ExtractArchive work on their own reader and
// touch no shared state but LastZipStatus(), so they may run on any thread,
// a worker thread in particular, and several may run at once on different
// targets. Two runs into the same target at once would undo each other's
// folders when one stops; don't. The callbacks of ExtractionOptions are
// called on the extracting thread, inside ExtractPackage.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Generous enough for any real package (a 10 GB product unpacks fine); a
// package beyond them is a broken or hostile one.
constexpr uint64_t kDefaultMaxExtractedBytes = uint64_t{64} << 30;  // 64 GiB
// Entry counts are 64-bit (zip64); a count past this ceiling is refused
// before anything is read beyond the end records.
constexpr uint64_t kDefaultMaxExtractedEntries = 100000;

// How often progress is told within one entry, and how often the free space
// is looked at again while writing.
constexpr uint64_t kExtractionProgressStep = uint64_t{4} << 20;    // 4 MiB
constexpr uint64_t kExtractionSpaceCheckStep = uint64_t{8} << 20;  // 8 MiB

enum class ExtractionStatus {
  kOk,              // every entry was handled; some may have been skipped
  kCannotOpen,      // the package is no zip archive (nothing written)
  kTooLarge,        // the recorded sizes, or the bytes written, passed the ceiling
  kTooManyEntries,  // more entries than the ceiling (nothing written)
  kNoSpace,         // the target's volume has (or kept) too little free space
  kWriteFailed,     // the target folder cannot be made or is too long (nothing written)
  kCancelled,       // the progress callback asked to stop
  kUnreadable,      // no entry of a non-empty package could be read (nothing left behind)
};

struct ExtractionProgress {
  uint64_t bytes_done = 0;     // bytes of entry data written so far
  uint64_t bytes_total = 0;    // the uncompressed sizes the directory records
  uint64_t entries_done = 0;   // entries handled so far, skipped ones included
  uint64_t entries_total = 0;  // the entries the archive counts
};

struct ExtractionOptions {
  uint64_t max_total_bytes = kDefaultMaxExtractedBytes;
  uint64_t max_entries = kDefaultMaxExtractedEntries;
  // Told after every entry and every kExtractionProgressStep bytes within
  // one; false stops the run (kCancelled). Empty: no reports.
  std::function<bool(const ExtractionProgress&)> progress;
  // The free bytes of the volume holding `folder` (the target folder, which
  // may not exist yet); UINT64_MAX when unknown. Empty: GetDiskFreeSpaceExW
  // on the nearest folder of the path that exists. Tests put in their own.
  std::function<uint64_t(const std::wstring& folder)> free_space;
};

struct ExtractionResult {
  ExtractionStatus status = ExtractionStatus::kOk;
  uint64_t entries_written = 0;  // files and folders extracted without error
  // Entries that could not be described or written: damaged, unsafe names,
  // a read-only file in the way, a CRC mismatch (data left as written).
  uint64_t entries_skipped = 0;
  uint64_t bytes_written = 0;
};

// Makes sure `root` + `path` exists as a folder, creating `root` and every
// folder along `path` as needed. `root` may be null or empty (then `path` is
// taken as it is) and, when given, ends with a separator. Errors are not
// fatal; answers whether the folder exists at the end. `created`, when
// given, receives every folder this call made, outermost first.
bool EnsureDirectories(const wchar_t* root, const wchar_t* path,
                       std::vector<std::wstring>* created = nullptr);

// Extracts every entry of the zip file `zip_path` under `target_directory`
// (created with the folders above it as needed), within the bounds of
// `options`. Each entry's own status goes to LastZipStatus(). A status other
// than kOk means the run created nothing that is left behind.
ExtractionResult ExtractPackage(const wchar_t* zip_path, const wchar_t* target_directory,
                                const ExtractionOptions& options);

// ExtractPackage with the default bounds and no progress. False when the
// archive cannot be opened, counted or read, the target cannot be used, or a
// bound stopped the run.
bool ExtractArchive(const wchar_t* zip_path, const wchar_t* target_directory);
