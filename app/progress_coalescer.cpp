#include "app/progress_coalescer.h"

#include <utility>

#include "base/monotonic_clock.h"

std::shared_ptr<ProgressCoalescer> ProgressCoalescer::Create(PostToUIFunction post, Deliver deliver,
                                                             Clock clock) {
  return std::shared_ptr<ProgressCoalescer>(
      new ProgressCoalescer(std::move(post), std::move(deliver), std::move(clock)));
}

ProgressCoalescer::ProgressCoalescer(PostToUIFunction post, Deliver deliver, Clock clock)
    : post_(std::move(post)),
      deliver_(std::move(deliver)),
      clock_(clock ? std::move(clock) : Clock(&cbase::MonotonicNow)) {}

void ProgressCoalescer::Update(int64_t done, int64_t total) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    done_ = done;
    total_ = total;
    fresh_ = true;
  }
  if (waiting_.load()) return;
  const int64_t now = clock_();
  const int64_t last = last_post_us_.load();
  if (last != INT64_MIN && now - last < kMinIntervalUs) return;
  Post();
}

void ProgressCoalescer::Flush() {
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (!fresh_) return;
  }
  Post();
}

void ProgressCoalescer::Post() {
  // One report at a time: whoever sets the flag posts.
  if (waiting_.exchange(true)) return;
  last_post_us_ = clock_();
  std::shared_ptr<ProgressCoalescer> self = shared_from_this();
  post_([self] { self->Show(); });
}

void ProgressCoalescer::Show() {
  int64_t done = 0, total = -1;
  {
    std::lock_guard<std::mutex> guard(lock_);
    // Cleared under the lock: figures recorded after this are fresh again,
    // and a Flush then posts anew.
    waiting_ = false;
    done = done_;
    total = total_;
    fresh_ = false;
  }
  if (deliver_) deliver_(done, total);
}
