// JSON files of the assistant: reading one whole, and merge-writing, by
// which every writer of a shared key store replaces only its own keys.
// Called on the UI thread; nothing here is locked.
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
// one step; on any failure the old file stays as it was and false is
// answered (callers may ignore it).
bool MergeJsonFile(const std::wstring& path, const JsonObject& values);

// Creates |folder| and its missing ancestors; true when it exists afterwards.
bool CreateFolderTree(const std::wstring& folder);
