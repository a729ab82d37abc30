// JSON files of the assistant: reading one whole, and merge-writing, by
// which every writer of a shared key store replaces only its own keys.
// Called on the UI thread; nothing here is locked.
//
// A merge-write reaches the disk before it replaces the file, so a crash
// leaves the old file or the new one, never a torn one.
#pragma once

#include <string>

#include "app/json_value.h"

// The file's value; null when the file does not exist, cannot be read or does
// not parse.
Json ReadJsonFile(const std::wstring& path);

// Writes |values| plus every member of the existing file (when it holds an
// object) that |values| does not replace, as one line of JSON. A missing
// parent folder is created with its ancestors. The new text goes to a
// temporary file in the same folder first, which then replaces the file in
// one step. A file that is there but cannot be read, or is read-only, is
// left alone. On any failure the old file stays as it was and false is
// answered (callers may ignore it).
bool MergeJsonFile(const std::wstring& path, const JsonObject& values);

// A merge-write prepared ahead of the moment it is to take effect, for a
// record whose values are known before the long task it must follow (the
// package download). Making a small file last costs little before that
// task, but after it the flush can wait for much of what the task wrote to
// reach the disk first (an ext4-style journal commits file data in order).
// So the merged text is written and flushed to a file of its own beside
// |path| at construction, and Commit only renames it into place, unless the
// file has changed in the meantime: then it merge-writes anew, so that a key
// written since survives. Dropped uncommitted, it removes its file (a crash
// leaves it behind, as it would a merge-write's temporary file). Owned and
// used by one thread.
class PendingJsonMerge {
 public:
  PendingJsonMerge(std::wstring path, JsonObject values);
  ~PendingJsonMerge();
  PendingJsonMerge(const PendingJsonMerge&) = delete;
  PendingJsonMerge& operator=(const PendingJsonMerge&) = delete;

  // Merge-writes the values; answers as MergeJsonFile does.
  bool Commit();

 private:
  const std::wstring path_;
  const JsonObject values_;
  // The file as the pending text was merged from it.
  bool had_file_ = false;
  std::string base_;
  // Where the merged text waits; "" when it could not be written, or once
  // committed.
  std::wstring pending_;
};

// Creates |folder| and its missing ancestors; true when it exists afterwards.
bool CreateFolderTree(const std::wstring& folder);
