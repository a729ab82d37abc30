// Path helpers of the UI toolkit's resource lookups: telling absolute from
// relative names, and the two normalisations used for archive members and for
// files on disk. Pure functions, callable from any thread.
#pragma once

#include <string>

namespace ui {

// True for names starting with "\" or "/" and for names whose second
// character is ":" (a drive); everything else is resolved against the
// resource path.
bool IsAbsolutePath(const std::wstring& path);

// Archive member form: "/" separators, no empty, "." or ".." segments (a ".."
// removes the segment before it), never a leading "/".
// "a\\b\\..\\c.png" -> "a/c.png", "./x//y.png" -> "x/y.png".
std::wstring NormalizeArchivePath(const std::wstring& path);

// Disk form: every "/" becomes "\", then doubled backslashes become one.
std::wstring NormalizeDiskPath(const std::wstring& path);

}  // namespace ui
