// SHA-256 of a file, through the system's cryptography provider (CNG). Any
// thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

// Told the bytes hashed so far and the file's size, on the hashing thread;
// answers false to stop.
using HashProgress = std::function<bool(uint64_t done, uint64_t total)>;

// The file's SHA-256 as 64 lower-case hexadecimal digits; "" when the file
// cannot be read, the provider fails or |progress| stopped it.
std::string Sha256OfFile(const std::wstring& path, const HashProgress& progress = nullptr);
