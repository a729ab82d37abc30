// AnimationPlayerBase: runs an integer from a start value to an end value over
// time and hands each new value to a callback. Ticks come from a TimerManager
// (TimerManager::Current() unless another is given); the motion itself, the value
// at a given elapsed time, is the derived class's CurrentValue.
//
// A player is owned by whoever animates with it (a control's
// ControlAnimations, a tab box, a scroll box) and lives on the UI thread. Its
// callbacks may stop, restart or destroy the player.
#pragma once

#include <cstdint>
#include <functional>

#include "base/weak_callback.h"

namespace ui {

class TimerManager;

class AnimationPlayerBase : public cbase::SupportWeakCallback {
 public:
  using ValueCallback = std::function<void(int)>;
  using CompleteCallback = std::function<void()>;

  // timers == nullptr: TimerManager::Current() at construction.
  explicit AnimationPlayerBase(TimerManager* timers = nullptr);
  ~AnimationPlayerBase() override;
  AnimationPlayerBase(const AnimationPlayerBase&) = delete;
  AnimationPlayerBase& operator=(const AnimationPlayerBase&) = delete;

  // Back to the state at creation: values 0, total time not set, not playing.
  virtual void Reset();
  // Plays forward from the beginning.
  virtual void Start();
  // Stops where the value is; no callback runs.
  virtual void Stop();
  // Plays toward the end value, continuing from the point reached when a
  // backward play is running or was stopped.
  virtual void PlayForward();
  // Plays toward the start value, continuing from the point reached.
  virtual void PlayBackward();
  // Plays in the current direction from the current elapsed time.
  virtual void Play();
  // Moves a running play on to the current time now rather than at its next
  // tick (a window that has just composed its first frame presents it at
  // the alpha the fade has reached).
  void Advance();
  // The value the motion gives at the current elapsed time.
  virtual int CurrentValue() = 0;

  void SetStartValue(int value) { start_value_ = value; }
  int GetStartValue() const { return start_value_; }
  void SetEndValue(int value) { end_value_ = value; }
  int GetEndValue() const { return end_value_; }
  // Total time in milliseconds; -1 lets the player derive it from its motion.
  void SetTotalMillSeconds(int total) { total_millseconds_ = total; }
  int GetTotalMillSeconds() const { return total_millseconds_; }
  void SetCallback(ValueCallback callback) { value_callback_ = std::move(callback); }
  void SetCompleteCallback(CompleteCallback callback) { complete_callback_ = std::move(callback); }

  bool IsPlaying() const { return playing_; }
  bool IsFirstPlay() const { return first_play_; }
  bool IsReversed() const { return reversed_; }
  // The value last reached (the one last handed to the value callback).
  int ReachedValue() const { return current_value_; }
  // Interval of the ticks of the running play, in milliseconds.
  uint32_t TickInterval() const { return tick_interval_; }

 protected:
  // Elapsed time from which a reversed play continues. Called just after the
  // direction has changed, with the value reached before the change; the
  // start and end values are already swapped.
  virtual double ContinuationElapsed(int reached_value);

  double elapsed_millseconds() const { return elapsed_millseconds_; }
  TimerManager& timers() { return *timers_; }

 private:
  void Tick();
  void Complete();
  void CancelTimer();
  // Swaps the direction, keeping the point reached.
  void Reverse();

  TimerManager* timers_;
  int start_value_ = 0;
  int end_value_ = 0;
  int current_value_ = 0;
  int total_millseconds_ = -1;
  double elapsed_millseconds_ = 0;
  uint32_t tick_interval_ = 0;
  bool first_play_ = true;
  bool playing_ = false;
  bool reversed_ = false;
  ValueCallback value_callback_;
  CompleteCallback complete_callback_;
  int64_t last_reading_ = 0;
  int64_t frequency_ = 1;
  // Counts plays, so a tick can tell whether a callback began a new one.
  uint64_t play_count_ = 0;
  // Issued to the running timer; cancelling it ends the timer.
  cbase::WeakCallbackFlag timer_flag_;
};

}  // namespace ui
