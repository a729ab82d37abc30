// Pictures decoded on the thread pool while a window is being made, so that
// its first paint finds them decoded: the pictures a window shows first are
// known once its skin is built, and decoding them is the largest piece of
// its first paint's own work.
//
// Holds one decoding per cache key (GlobalManager::GetImageCacheKey) until
// Take hands it over, or Clear drops it. Decoding needs no GDI+ (PNG files
// kept at their own scale), so it runs on any thread; what it makes is a
// bitmap of its own, used only once Take has returned it. The UI thread
// never waits for other work on the pool: a decoding the pool has not begun
// when it is needed is done by the thread that needs it.
//
// Owned by GlobalManager's state. UI thread only (the decodings themselves run
// on the pool, which shares each with this object).
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/thread_checker.h"
#include "ui/render/image_info.h"

namespace ui {

class PrefetchedImages {
 public:
  PrefetchedImages();
  // Drops them all (see Clear).
  ~PrefetchedImages();
  PrefetchedImages(const PrefetchedImages&) = delete;
  PrefetchedImages& operator=(const PrefetchedImages&) = delete;

  bool Has(const std::wstring& key) const;
  // Starts decoding |data|, the encoded file, for |key|; nothing when |key|
  // has one already. With no pool to take it, nothing is started (the
  // paint then decodes the picture as before).
  void Start(const std::wstring& key, std::vector<unsigned char> data);
  // The same for a file on disk, read on the pool too.
  void StartFile(const std::wstring& key, const std::wstring& file);
  // The decoding for |key|, forgotten here; nullopt when none was started.
  // One the pool is running is waited for; one the pool has not begun (it
  // runs one task at a time, and may be busy with others) is done here
  // instead. A decoding that failed gives an empty frame.
  std::optional<ImageInfo::DecodedPng> Take(const std::wstring& key);
  // Drops every decoding without waiting: those not begun will not run,
  // those running end into nothing.
  void Clear();

 private:
  struct Decoding;
  void StartDecoding(const std::wstring& key, std::shared_ptr<Decoding> decoding);

  cbase::ThreadChecker thread_checker_;
  std::map<std::wstring, std::shared_ptr<Decoding>> decodings_;
};

}  // namespace ui
