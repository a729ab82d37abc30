// SHA-256 through the system's cryptography provider (CNG): of a whole file,
// or fed piece by piece while the bytes are written elsewhere.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

// Told the bytes hashed so far and the file's size, on the hashing thread;
// answers false to stop.
using HashProgress = std::function<bool(uint64_t done, uint64_t total)>;

// A SHA-256 in progress: the bytes given so far, in order. Copy it with
// Clone to continue one prefix two ways (a kept download and its resumption).
// One thread at a time; may be handed from thread to thread.
class Sha256 {
 public:
  // Null when the provider cannot make a hash.
  static std::unique_ptr<Sha256> Create();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  // False (and the hash is broken for good) when the provider failed.
  bool Update(const void* bytes, size_t count);
  // Adds the first |length| bytes of |path| (all of it for -1); false when
  // the file holds fewer, cannot be read, or |progress| stopped it.
  bool UpdateFromFile(const std::wstring& path, int64_t length = -1,
                      const HashProgress& progress = nullptr);
  // Another hash holding the same bytes; null when the provider failed.
  std::unique_ptr<Sha256> Clone() const;
  // The digest as 64 lower-case hexadecimal digits, "" on failure. Ends the
  // hash: no Update after it.
  std::string FinishHex();

  // Bytes given so far.
  uint64_t length() const { return length_; }
  bool ok() const { return ok_; }

 private:
  struct Handles;
  explicit Sha256(std::unique_ptr<Handles> handles);

  std::unique_ptr<Handles> handles_;
  uint64_t length_ = 0;
  bool ok_ = true;
};

// The file's SHA-256 as 64 lower-case hexadecimal digits; "" when the file
// cannot be read, the provider fails or |progress| stopped it.
std::string Sha256OfFile(const std::wstring& path, const HashProgress& progress = nullptr);
