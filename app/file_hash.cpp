#include "app/file_hash.h"

#include <windows.h>

#include <bcrypt.h>

#include <vector>

#include "base/scoped_handle.h"

namespace {

bool Succeeded(NTSTATUS status) { return status >= 0; }

// One provider for the process: opening it costs more than hashing a
// small file, and a handle may be used from any thread.
BCRYPT_ALG_HANDLE Provider() {
  static const BCRYPT_ALG_HANDLE provider = [] {
    BCRYPT_ALG_HANDLE handle = nullptr;
    if (!Succeeded(::BCryptOpenAlgorithmProvider(&handle, BCRYPT_SHA256_ALGORITHM, nullptr, 0))) {
      return static_cast<BCRYPT_ALG_HANDLE>(nullptr);
    }
    return handle;
  }();
  return provider;
}

}  // namespace

struct Sha256::Handles {
  BCRYPT_HASH_HANDLE hash = nullptr;
  ~Handles() {
    if (hash) ::BCryptDestroyHash(hash);
  }
};

Sha256::Sha256(std::unique_ptr<Handles> handles) : handles_(std::move(handles)) {}

Sha256::~Sha256() = default;

std::unique_ptr<Sha256> Sha256::Create() {
  const BCRYPT_ALG_HANDLE provider = Provider();
  if (!provider) return nullptr;
  auto handles = std::make_unique<Handles>();
  if (!Succeeded(::BCryptCreateHash(provider, &handles->hash, nullptr, 0, nullptr, 0, 0))) {
    return nullptr;
  }
  return std::unique_ptr<Sha256>(new Sha256(std::move(handles)));
}

bool Sha256::Update(const void* bytes, size_t count) {
  if (!ok_) return false;
  const unsigned char* next = static_cast<const unsigned char*>(bytes);
  while (count > 0) {
    const ULONG piece = count > (1u << 30) ? (1u << 30) : static_cast<ULONG>(count);
    if (!Succeeded(::BCryptHashData(handles_->hash, const_cast<PUCHAR>(next), piece, 0))) {
      ok_ = false;
      return false;
    }
    next += piece;
    count -= piece;
    length_ += piece;
  }
  return true;
}

bool Sha256::UpdateFromFile(const std::wstring& path, int64_t length,
                            const HashProgress& progress) {
  const cbase::ScopedHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                               OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) return false;
  LARGE_INTEGER size = {};
  if (!::GetFileSizeEx(file.get(), &size)) return false;
  if (length < 0) length = size.QuadPart;
  if (length > size.QuadPart) return false;
  const uint64_t total = static_cast<uint64_t>(length);
  uint64_t done = 0;
  if (progress && !progress(0, total)) return false;
  std::vector<unsigned char> buffer(1 << 20);
  while (done < total) {
    const uint64_t left = total - done;
    const DWORD want =
        left < buffer.size() ? static_cast<DWORD>(left) : static_cast<DWORD>(buffer.size());
    DWORD read = 0;
    if (!::ReadFile(file.get(), buffer.data(), want, &read, nullptr) || read == 0) return false;
    if (!Update(buffer.data(), read)) return false;
    done += read;
    if (progress && !progress(done, total)) return false;
  }
  return true;
}

std::unique_ptr<Sha256> Sha256::Clone() const {
  if (!ok_) return nullptr;
  auto handles = std::make_unique<Handles>();
  if (!Succeeded(::BCryptDuplicateHash(handles_->hash, &handles->hash, nullptr, 0, 0))) {
    return nullptr;
  }
  std::unique_ptr<Sha256> copy(new Sha256(std::move(handles)));
  copy->length_ = length_;
  return copy;
}

std::string Sha256::FinishHex() {
  if (!ok_) return std::string();
  ok_ = false;
  unsigned char digest[32];
  if (!Succeeded(::BCryptFinishHash(handles_->hash, digest, sizeof(digest), 0))) {
    return std::string();
  }
  static const char kHex[] = "0123456789abcdef";
  std::string hex;
  for (unsigned char byte : digest) {
    hex += kHex[byte >> 4];
    hex += kHex[byte & 0xF];
  }
  return hex;
}

std::string Sha256OfFile(const std::wstring& path, const HashProgress& progress) {
  const std::unique_ptr<Sha256> hash = Sha256::Create();
  if (!hash || !hash->UpdateFromFile(path, -1, progress)) return std::string();
  return hash->FinishHex();
}
