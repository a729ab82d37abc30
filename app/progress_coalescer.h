// ProgressCoalescer: carries a busy thread's progress figures to the UI
// thread without flooding it. A transfer reports every piece it receives
// (thousands a second); the bar needs about thirty redraws a second, and
// every post is a round trip through the window system. So at most one
// report waits on the UI thread at a time, it shows the newest figures when
// it runs, and a new one is posted no sooner than kMinIntervalUs after the
// last; Flush posts the newest figures regardless of the interval, so the
// final value always arrives.
//
// Made and shared (shared_ptr) by whoever relays the progress; Update and
// Flush may be called from any thread, the delivery runs on the UI thread
// through the poster. Deliveries after the owner is gone must be stopped by
// the delivery itself (a weak callback).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "app/post_to_ui.h"

class ProgressCoalescer : public std::enable_shared_from_this<ProgressCoalescer> {
 public:
  // Runs on the UI thread with the newest figures.
  using Deliver = std::function<void(int64_t done, int64_t total)>;
  // Microseconds, never decreasing; cbase::MonotonicNow by default.
  using Clock = std::function<int64_t()>;

  static constexpr int kMaxPerSecond = 30;
  static constexpr int64_t kMinIntervalUs = 1000000 / kMaxPerSecond;

  static std::shared_ptr<ProgressCoalescer> Create(PostToUIFunction post, Deliver deliver,
                                                   Clock clock = nullptr);
  ProgressCoalescer(const ProgressCoalescer&) = delete;
  ProgressCoalescer& operator=(const ProgressCoalescer&) = delete;

  // Records the figures; posts a report when none waits and the last was
  // posted at least kMinIntervalUs ago.
  void Update(int64_t done, int64_t total);
  // Makes sure the figures recorded so far reach the UI thread: posts unless
  // a report already waits (it will show them).
  void Flush();

 private:
  ProgressCoalescer(PostToUIFunction post, Deliver deliver, Clock clock);
  void Post();
  void Show();

  const PostToUIFunction post_;
  const Deliver deliver_;
  const Clock clock_;
  std::mutex lock_;
  int64_t done_ = 0;    // guarded by lock_
  int64_t total_ = -1;  // guarded by lock_
  bool fresh_ = false;  // figures not yet shown; guarded by lock_
  std::atomic<bool> waiting_{false};
  std::atomic<int64_t> last_post_us_{INT64_MIN};
};
