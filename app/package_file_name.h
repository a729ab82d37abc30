// The local name of a downloaded package, made from its address. The name
// becomes a path under the installer folder, so it must not be able to name
// anything else. Pure function, any thread.
#pragma once

#include <string>

// FileNameFromUrl(|url|), or "download.exe" when that is not a plain file
// name: empty, only dots, holding a path separator, ":", a character Windows
// forbids in names (<>"|?* and control characters), or a reserved device
// name (CON, NUL, COM1, ... with or without an extension).
std::wstring PackageFileName(const std::wstring& url);
