// Unpacking a downloaded package (an untrusted zip) into a folder, and the
// folder-making helper the reader uses on the way.
//
// No entry is ever written outside the target folder: names are sanitised
// by the reader and every name is checked again before anything is written
// (see IsContainedEntryName); entries that fail the check are skipped.
#pragma once

// Makes sure `root` + `path` exists as a folder, creating `root` and every
// folder along `path` as needed. `root` may be null or empty (then `path` is
// taken as it is) and, when given, ends with a separator. Errors are not
// fatal; answers whether the folder exists at the end.
bool EnsureDirectories(const wchar_t* root, const wchar_t* path);

// Extracts every entry of the zip file `zip_path` under `target_directory`.
// Answers false only when the archive cannot be opened or counted; each
// entry's own status goes to LastZipStatus() and does not stop the others.
bool ExtractArchive(const wchar_t* zip_path, const wchar_t* target_directory);
