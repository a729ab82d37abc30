#include "ui/animation/animation_player_base.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

#include "ui/animation/timer_manager.h"

namespace ui {

AnimationPlayerBase::AnimationPlayerBase(TimerManager* timers)
    : timers_(timers ? timers : &TimerManager::Current()) {}

AnimationPlayerBase::~AnimationPlayerBase() = default;

void AnimationPlayerBase::Reset() {
  CancelTimer();
  start_value_ = 0;
  end_value_ = 0;
  current_value_ = 0;
  total_millseconds_ = -1;
  elapsed_millseconds_ = 0;
  tick_interval_ = 0;
  first_play_ = true;
  playing_ = false;
  reversed_ = false;
  last_reading_ = 0;
}

void AnimationPlayerBase::Start() {
  CancelTimer();
  elapsed_millseconds_ = 0;
  reversed_ = false;
  Play();
}

void AnimationPlayerBase::Stop() {
  CancelTimer();
  playing_ = false;
}

void AnimationPlayerBase::PlayForward() {
  CancelTimer();
  if (reversed_) Reverse();
  reversed_ = false;
  first_play_ = false;
  Play();
}

void AnimationPlayerBase::PlayBackward() {
  CancelTimer();
  if (!reversed_) Reverse();
  if (first_play_) elapsed_millseconds_ = 0;
  reversed_ = true;
  first_play_ = false;
  Play();
}

void AnimationPlayerBase::Reverse() {
  const int reached = current_value_;
  std::swap(start_value_, end_value_);
  current_value_ = start_value_;
  elapsed_millseconds_ = ContinuationElapsed(reached);
}

double AnimationPlayerBase::ContinuationElapsed(int) {
  return std::max(0.0, total_millseconds_ - elapsed_millseconds_);
}

void AnimationPlayerBase::Play() {
  cbase::TickClock& clock = timers_->clock();
  frequency_ = clock.Frequency();
  last_reading_ = clock.Now();
  playing_ = true;
  const uint64_t play = ++play_count_;
  if (start_value_ == end_value_) {
    current_value_ = end_value_;
    Complete();
    return;
  }
  const int64_t distance = std::llabs(static_cast<int64_t>(end_value_) - start_value_);
  tick_interval_ =
      static_cast<uint32_t>(std::max<int64_t>(1, std::max(total_millseconds_, 0) / distance));
  std::weak_ptr<cbase::WeakFlag> alive = GetWeakFlag();
  Tick();
  // The first tick may already have finished this play, and a callback may
  // have destroyed the player or begun another play with a timer of its own.
  if (alive.expired() || !playing_ || play != play_count_) return;
  timers_->AddTimer(
      timer_flag_.GetWeakFlag(), [this] { Tick(); }, static_cast<int>(tick_interval_),
      TimerManager::kRepeatForever);
}

void AnimationPlayerBase::Advance() {
  if (playing_) Tick();
}

void AnimationPlayerBase::Tick() {
  const int64_t now = timers_->clock().Now();
  elapsed_millseconds_ += static_cast<double>(now - last_reading_) * 1000 / frequency_;
  last_reading_ = now;
  const int value = CurrentValue();
  const bool rising = end_value_ > start_value_;
  if (rising ? value >= end_value_ : value <= end_value_) {
    current_value_ = end_value_;
    if (value_callback_) {
      std::weak_ptr<cbase::WeakFlag> alive = GetWeakFlag();
      const uint64_t play = play_count_;
      // A copy: the callback may replace the player's callbacks.
      ValueCallback callback = value_callback_;
      callback(end_value_);
      if (alive.expired() || play != play_count_) return;
    }
    Complete();
    return;
  }
  const bool changed = value != current_value_;
  current_value_ = value;
  if (changed && value_callback_) {
    ValueCallback callback = value_callback_;
    callback(value);
  }
}

void AnimationPlayerBase::Complete() {
  CancelTimer();
  playing_ = false;
  if (complete_callback_) {
    CompleteCallback callback = complete_callback_;
    callback();
  }
}

void AnimationPlayerBase::CancelTimer() { timer_flag_.Cancel(); }

}  // namespace ui
