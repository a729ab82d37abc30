// The zip reader's public interface: open an archive from memory, a file
// name or an open file handle, list and find its entries, and extract an
// entry to memory, a file name or a file handle.
//
// An archive is an opaque ZipReader handle from OpenArchive until
// CloseArchive. Handles are checked: a handle that is not an open reader
// (already closed, or anything else) gets kZipNotReader instead of being
// used. Every operation stores its status for LastZipStatus() and returns it;
// nothing throws.
//
// A reader is used by one thread at a time. Package extraction
// (ExtractPackage, ExtractArchive) is in package_extraction.h.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "archive/zip_status.h"

namespace archive {
class ExtractionObserver;
}

enum class ZipSourceKind : int { FileHandle = 1, FileName = 2, Memory = 3 };

// What GetEntry tells about an entry. For GetEntry(-1) index is the number of
// entries and everything else is empty.
struct ZipEntry {
  int32_t index;
  // Sanitised: it never climbs above the folder it is extracted into.
  wchar_t name[260];
  // FILE_ATTRIBUTE_ bits: read-only, hidden, system, directory, archive.
  uint32_t attributes;
  FILETIME access_time;  // UTC
  FILETIME creation_time;
  FILETIME write_time;
  uint64_t compressed_size;
  uint64_t uncompressed_size;
};

class ZipReader;

// Opens an archive. FileName: `source` is a wide path (opened for reading,
// shared for reading). FileHandle: `source` is a HANDLE whose current
// position is where the archive starts; the caller keeps owning it.
// Memory: `source` points at `length` bytes that must outlive the reader.
// `password` (may be null or empty) is used for every encrypted entry.
// Answers null on failure; LastZipStatus() tells why.
ZipReader* OpenArchive(const void* source, size_t length, ZipSourceKind kind,
                       const char* password = nullptr);

ZipStatus CloseArchive(ZipReader* archive);

// Describes entry `index`, or with -1 the archive as a whole (whose index
// field is the entry count, at most INT32_MAX: GetEntryCount tells the
// whole count).
ZipStatus GetEntry(ZipReader* archive, int index, ZipEntry* entry);

// The number of entries the archive counts (64-bit with zip64); indexes
// reach the first INT32_MAX of them.
ZipStatus GetEntryCount(ZipReader* archive, uint64_t* count);

// Finds the first entry whose stored name equals `name` (as UTF-8, ASCII
// letters case-folded) and answers its index; kZipNotFound when there is
// none. Names of 256 UTF-8 bytes or more are never found.
ZipStatus FindEntry(ZipReader* archive, const wchar_t* name, int* index);
ZipStatus FindEntry(ZipReader* archive, const char* utf8_name, int* index);

// Extracts entry `index`:
// - Memory: into `target`, a buffer of `length` bytes. kZipMore when it is
//   full and more data follows (call again with the same index to continue).
// - FileName: into the file named by `target` (a wide path; a relative one is
//   taken under the base directory and must stay inside it), creating the
//   folders on the way; a directory entry creates the folder only.
// - FileHandle: written to the HANDLE `target` at its current position.
// An entry whose data is complete but whose CRC-32 differs gives
// kZipCrcMismatch (the data is left as written).
ZipStatus ExtractEntry(ZipReader* archive, int index, const void* target, size_t length,
                       ZipSourceKind kind);

// The folder that relative FileName targets are taken under (initially the
// current directory when the archive was opened).
ZipStatus SetBaseDirectory(ZipReader* archive, const wchar_t* directory);

// The sum of the uncompressed sizes the central directory records, read
// from the directory alone (no local header, no data). Entries whose record
// cannot be read add nothing: they cannot be extracted either.
ZipStatus GetUncompressedTotal(ZipReader* archive, uint64_t* total);

// Makes `observer` (null: none) see every folder and file that later
// extractions to a file name create and every piece before it is written to
// a file name or handle, and lets it refuse pieces.
ZipStatus SetExtractionObserver(ZipReader* archive, archive::ExtractionObserver* observer);

// The status of the last operation of any reader in the process.
ZipStatus LastZipStatus();
