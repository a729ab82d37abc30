#include "ui/animation/timer_manager.h"

#include <algorithm>
#include <utility>

#include "ui/animation/multimedia_timer_pulse.h"

namespace ui {

namespace {
TimerManager* g_test_timers = nullptr;
}  // namespace

TimerManager& TimerManager::GetInstance() {
  // Never destroyed: the hidden window belongs to the UI thread, which may be
  // gone by the time static destructors run.
  static TimerManager* instance = [] {
    auto* manager = new TimerManager(cbase::ProcessTickClock(), nullptr);
    manager->pulse_ = std::make_unique<MultimediaTimerPulse>([manager] { manager->Poll(); });
    return manager;
  }();
  return *instance;
}

TimerManager& TimerManager::Current() {
  return g_test_timers != nullptr ? *g_test_timers : GetInstance();
}

void TimerManager::SetCurrentForTesting(TimerManager* timers) { g_test_timers = timers; }

TimerManager* TimerManager::CurrentForTesting() { return g_test_timers; }

TimerManager::TimerManager(cbase::TickClock& clock, std::unique_ptr<TimerPulse> pulse)
    : clock_(clock), pulse_(std::move(pulse)) {}

TimerManager::~TimerManager() { StopPulse(); }

bool TimerManager::AddTimer(const std::weak_ptr<cbase::WeakFlag>& owner,
                            std::function<void()> callback, int interval_ms, int repeat) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  if (!callback) return false;
  Entry entry;
  entry.callback = std::move(callback);
  // At least one counter tick, so a repeating timer never becomes due again
  // within the poll that ran it.
  entry.interval = std::max<int64_t>(
      1, static_cast<int64_t>(std::max(interval_ms, 0)) * clock_.Frequency() / 1000);
  entry.repeat = repeat;
  entry.due = clock_.Now() + entry.interval;
  entry.owner = owner;
  Push(std::move(entry));
  if (!pulse_running_ || !fast_mode_) return StartPulse(kFastPeriodMs, true);
  return true;
}

void TimerManager::HoldPulse() {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  ++holds_;
  StopPulse();
}

void TimerManager::ReleasePulse(bool run_due) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  if (holds_ == 0 || --holds_ > 0) return;
  if (heap_.empty()) return;
  if (run_due) {
    Poll();
  } else {
    StartPulse(kFastPeriodMs, true);  // its first tick runs what is due
  }
}

void TimerManager::Poll() {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  const int64_t now = clock_.Now();
  while (!heap_.empty()) {
    const int64_t due = heap_.front().due;
    if (due > now) {
      const int64_t frequency = clock_.Frequency();
      const int64_t remaining = due - now;
      if (remaining >= frequency) {
        StartPulse(static_cast<uint32_t>(remaining * 1000 / frequency + 2), false);
      } else if (!fast_mode_) {
        StartPulse(kFastPeriodMs, true);
      }
      return;
    }
    Entry entry = PopEarliest();
    // A timer whose owner has gone is dropped, repeating or not.
    if (entry.owner.expired()) continue;
    entry.callback();
    bool again = false;
    if (entry.repeat == kRepeatForever) {
      again = true;
    } else if (entry.repeat >= 2) {
      --entry.repeat;
      again = true;
    }
    if (again && !entry.owner.expired()) {
      entry.due = now + entry.interval;
      Push(std::move(entry));
    }
  }
  StopPulse();
}

void TimerManager::Push(Entry entry) {
  entry.sequence = next_sequence_++;
  heap_.push_back(std::move(entry));
  std::push_heap(heap_.begin(), heap_.end(), Later());
}

TimerManager::Entry TimerManager::PopEarliest() {
  std::pop_heap(heap_.begin(), heap_.end(), Later());
  Entry entry = std::move(heap_.back());
  heap_.pop_back();
  return entry;
}

bool TimerManager::StartPulse(uint32_t period_ms, bool fast) {
  CBASE_DCHECK(pulse_ != nullptr);
  if (holds_ > 0) return true;  // the last ReleasePulse starts it
  pulse_running_ = pulse_->Start(period_ms);
  fast_mode_ = pulse_running_ && fast;
  return pulse_running_;
}

void TimerManager::StopPulse() {
  if (pulse_) pulse_->Stop();
  pulse_running_ = false;
  fast_mode_ = false;
}

}  // namespace ui
