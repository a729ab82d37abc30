// Where the assistant keeps its per-user files, and the key store kept
// there. Callable from any thread (the shell is asked once per process).
#pragma once

#include <string>

// The user's local application-data folder, created if missing, ending in
// "\"; "" when the shell knows none.
std::wstring LocalAppDataDirectory();

// LocalAppDataDirectory() + |product| + "_downloader", without a trailing
// separator. The overload without argument uses ProductConfig's product
// (UI thread).
std::wstring DownloaderDirectory(const std::wstring& product);
std::wstring DownloaderDirectory();

// The installer configuration: the file config.json in DownloaderDirectory().
std::wstring InstallerConfigPath();
