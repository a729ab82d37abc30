// SHA-256 of a file, through the system's cryptography provider (CNG). Any
// thread.
#pragma once

#include <string>

// The file's SHA-256 as 64 lower-case hexadecimal digits; "" when the file
// cannot be read or the provider fails.
std::string Sha256OfFile(const std::wstring& path);
