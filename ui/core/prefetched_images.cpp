#include "ui/core/prefetched_images.h"

#include <condition_variable>
#include <mutex>
#include <utility>

#include "base/pool_work.h"

namespace ui {

// Shared by the map and the pool's task: either may let go first.
struct PrefetchedImages::Decoding {
  enum class Stage { kQueued, kRunning, kDone, kCancelled };

  // The encoded file, or the disk file to read; the task reads them only
  // once it has moved the stage on from kQueued, Take only before that.
  std::vector<unsigned char> data;
  std::wstring file;

  std::mutex lock;
  std::condition_variable done;
  Stage stage = Stage::kQueued;
  ImageInfo::DecodedPng result;  // set with kDone

  ImageInfo::DecodedPng Decode() const {
    // An allocation that fails gives no pixels: the paint decodes the file
    // as it did without decoding ahead.
    try {
      return file.empty() ? ImageInfo::DecodePngData(data.data(), data.size())
                          : ImageInfo::DecodePngFile(file);
    } catch (...) {
      return ImageInfo::DecodedPng();
    }
  }
};

PrefetchedImages::PrefetchedImages() = default;

PrefetchedImages::~PrefetchedImages() { Clear(); }

bool PrefetchedImages::Has(const std::wstring& key) const {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  return decodings_.count(key) != 0;
}

void PrefetchedImages::Start(const std::wstring& key, std::vector<unsigned char> data) {
  auto decoding = std::make_shared<Decoding>();
  decoding->data = std::move(data);
  StartDecoding(key, std::move(decoding));
}

void PrefetchedImages::StartFile(const std::wstring& key, const std::wstring& file) {
  auto decoding = std::make_shared<Decoding>();
  decoding->file = file;
  StartDecoding(key, std::move(decoding));
}

void PrefetchedImages::StartDecoding(const std::wstring& key, std::shared_ptr<Decoding> decoding) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  if (decodings_.count(key) != 0) return;
  const bool started = cbase::RunOnPool([decoding] {
    {
      std::lock_guard<std::mutex> hold(decoding->lock);
      if (decoding->stage != Decoding::Stage::kQueued) return;  // taken or dropped
      decoding->stage = Decoding::Stage::kRunning;
    }
    ImageInfo::DecodedPng result = decoding->Decode();
    std::lock_guard<std::mutex> hold(decoding->lock);
    decoding->result = std::move(result);
    decoding->stage = Decoding::Stage::kDone;
    decoding->done.notify_all();
  });
  if (started) decodings_.emplace(key, std::move(decoding));
}

std::optional<ImageInfo::DecodedPng> PrefetchedImages::Take(const std::wstring& key) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  const auto found = decodings_.find(key);
  if (found == decodings_.end()) return std::nullopt;
  std::shared_ptr<Decoding> decoding = std::move(found->second);
  decodings_.erase(found);
  std::unique_lock<std::mutex> hold(decoding->lock);
  if (decoding->stage == Decoding::Stage::kQueued) {
    // Still behind other work on the pool: decoded here rather than waited
    // for.
    decoding->stage = Decoding::Stage::kCancelled;
    hold.unlock();
    return decoding->Decode();
  }
  decoding->done.wait(hold, [&] { return decoding->stage == Decoding::Stage::kDone; });
  return std::move(decoding->result);
}

void PrefetchedImages::Clear() {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  // Nothing waits: a decoding still queued will not run, one running ends
  // into a result nobody takes.
  for (auto& entry : decodings_) {
    std::lock_guard<std::mutex> hold(entry.second->lock);
    if (entry.second->stage == Decoding::Stage::kQueued) {
      entry.second->stage = Decoding::Stage::kCancelled;
    }
  }
  decodings_.clear();
}

}  // namespace ui
