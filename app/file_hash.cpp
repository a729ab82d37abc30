#include "app/file_hash.h"

#include <windows.h>

#include <bcrypt.h>

#include <vector>

#include "base/scoped_handle.h"

namespace {

// Closes what it holds when the hash is done, whichever way.
struct HashHandles {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
  cbase::ScopedHandle file;
  ~HashHandles() {
    if (hash) ::BCryptDestroyHash(hash);
    if (algorithm) ::BCryptCloseAlgorithmProvider(algorithm, 0);
  }
};

bool Succeeded(NTSTATUS status) { return status >= 0; }

}  // namespace

std::string Sha256OfFile(const std::wstring& path, const HashProgress& progress) {
  HashHandles h;
  h.file.reset(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!h.file) return std::string();
  if (!Succeeded(
          ::BCryptOpenAlgorithmProvider(&h.algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0)) ||
      !Succeeded(::BCryptCreateHash(h.algorithm, &h.hash, nullptr, 0, nullptr, 0, 0))) {
    return std::string();
  }
  LARGE_INTEGER size = {};
  if (!::GetFileSizeEx(h.file.get(), &size)) return std::string();
  const uint64_t total = static_cast<uint64_t>(size.QuadPart);
  uint64_t done = 0;
  if (progress && !progress(0, total)) return std::string();
  std::vector<unsigned char> buffer(1 << 20);
  for (;;) {
    DWORD read = 0;
    if (!::ReadFile(h.file.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read,
                    nullptr)) {
      return std::string();
    }
    if (read == 0) break;
    if (!Succeeded(::BCryptHashData(h.hash, buffer.data(), read, 0))) return std::string();
    done += read;
    if (progress && !progress(done, total)) return std::string();
  }
  unsigned char digest[32];
  if (!Succeeded(::BCryptFinishHash(h.hash, digest, sizeof(digest), 0))) return std::string();
  static const char kHex[] = "0123456789abcdef";
  std::string hex;
  for (unsigned char byte : digest) {
    hex += kHex[byte >> 4];
    hex += kHex[byte & 0xF];
  }
  return hex;
}
