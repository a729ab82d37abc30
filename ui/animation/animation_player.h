// AnimationPlayer: the player used throughout the UI. Its motion accelerates
// uniformly for the speed-up share of the total time (r1), cruises, and
// decelerates uniformly to rest for the speed-down share (r2); with both
// shares 0 it moves at constant speed. The total time is either given or
// derived from a speed-up or speed-down factor (the acceleration, in value
// units per ms²); a derived total stays set for later plays.
//
// Owned and used on the UI thread like every AnimationPlayerBase.
#pragma once

#include "ui/animation/animation_player_base.h"

namespace ui {

class AnimationPlayer : public AnimationPlayerBase {
 public:
  // Longest total time a derived motion may take.
  static constexpr int kMaxTotalMillSeconds = 1000000;

  explicit AnimationPlayer(TimerManager* timers = nullptr);

  void Reset() override;
  // Computes the motion for the current values, then plays.
  void Play() override;
  int CurrentValue() override;
  // The acceleration of the speed-up phase (a1) and of the speed-down phase
  // (a2, negative); the other follows from the ratios when the motion is
  // computed.
  virtual void SetSpeedUpFactor(double factor) { speed_up_factor_ = factor; }
  virtual void SetSpeedDownFactor(double factor) { speed_down_factor_ = factor; }

  // Shares of the total time spent speeding up (r1) and slowing down (r2).
  void SetSpeedUpRatio(double ratio) { speed_up_ratio_ = ratio; }
  void SetSpeedDownRatio(double ratio) { speed_down_ratio_ = ratio; }
  double GetSpeedUpRatio() const { return speed_up_ratio_; }
  double GetSpeedDownRatio() const { return speed_down_ratio_; }
  double GetSpeedUpFactor() const { return speed_up_factor_; }
  double GetSpeedDownFactor() const { return speed_down_factor_; }
  // Cruise speed in value units per millisecond, as last computed.
  double GetCruiseSpeed() const { return cruise_speed_; }

 protected:
  // The time at which the reversed motion passes the value reached, so a
  // reversal continues from where the value is rather than jumping.
  double ContinuationElapsed(int reached_value) override;

 private:
  // Fills in the motion's times, factors and speeds for the current values.
  void InitFactors();
  // The acceleration factors from a total time.
  void FactorsFromTotal(double distance, int total);
  // Completes a1 from a2 or a2 from a1; answers a1 × r1 (or −r2 × a2), the
  // quantity whose double times the total is the cruise speed.
  double CompleteFactors();
  // Distance from the start value covered after t milliseconds (t < total).
  double Distance(double t) const;

  double speed_up_ratio_ = 0;
  double speed_down_ratio_ = 0;
  double speed_up_time_ = 0;
  double cruise_speed_ = 0;
  double cruise_time_ = 0;
  double speed_down_time_ = 0;
  double speed_up_factor_ = 0;
  double speed_down_factor_ = 0;
  double speed_down_speed_ = 0;
  int max_total_millseconds_ = kMaxTotalMillSeconds;
};

}  // namespace ui
