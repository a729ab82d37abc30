// The local name of a downloaded package, made from its address. The name
// becomes a path under the installer folder, so it must not be able to name
// anything else. Pure function, any thread.
#pragma once

#include <string>

// FileNameFromUrl(|url|), or "download.exe" when that is not a name that
// means exactly itself in a folder (archive::IsValidWindowsFileName): empty,
// dots and blanks only, holding a path separator, ":" or another character
// Windows forbids, or a device name (CON, NUL, COM1, COM1 with a superscript
// digit, ... with or without an extension).
std::wstring PackageFileName(const std::wstring& url);
