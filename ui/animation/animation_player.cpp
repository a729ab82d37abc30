#include "ui/animation/animation_player.h"

#include <cmath>
#include <cstdlib>

namespace ui {

AnimationPlayer::AnimationPlayer(TimerManager* timers) : AnimationPlayerBase(timers) {}

void AnimationPlayer::Reset() {
  AnimationPlayerBase::Reset();
  speed_up_ratio_ = 0;
  speed_down_ratio_ = 0;
  speed_up_time_ = 0;
  cruise_speed_ = 0;
  cruise_time_ = 0;
  speed_down_time_ = 0;
  speed_up_factor_ = 0;
  speed_down_factor_ = 0;
  speed_down_speed_ = 0;
  max_total_millseconds_ = kMaxTotalMillSeconds;
}

void AnimationPlayer::Play() {
  InitFactors();
  AnimationPlayerBase::Play();
}

int AnimationPlayer::CurrentValue() {
  const int start = GetStartValue();
  const int end = GetEndValue();
  const int total = GetTotalMillSeconds();
  if (total < 0) return start;
  const double t = elapsed_millseconds();
  if (t >= total) return end;
  const double distance = std::fabs(static_cast<double>(end) - start);
  double covered = Distance(t);
  // Ratios that make no motion (shares above the whole time) give nonsense
  // factors; keep the value between its ends whatever they are.
  if (!(covered > 0)) covered = 0;
  if (covered > distance) covered = distance;
  const int64_t step = static_cast<int64_t>(covered);
  return static_cast<int>(end > start ? start + step : start - step);
}

double AnimationPlayer::ContinuationElapsed(int reached_value) {
  const int total = GetTotalMillSeconds();
  const double distance = std::fabs(static_cast<double>(GetEndValue()) - GetStartValue());
  if (total <= 0 || distance == 0) return 0;
  // Distance of the reached value from the new start; the motion is
  // symmetric in its ends, so the factors of the last play still apply.
  double target = std::fabs(static_cast<double>(reached_value) - GetStartValue());
  if (target > distance) target = distance;
  if (target <= 0) return 0;
  // The motion never moves backwards: bisect for the first time it covers
  // the target.
  double low = 0;
  double high = total;
  if (Distance(high) < target) return high;
  for (int i = 0; i < 64 && high - low > 1e-9; ++i) {
    const double middle = (low + high) / 2;
    if (Distance(middle) >= target) {
      high = middle;
    } else {
      low = middle;
    }
  }
  return high;
}

void AnimationPlayer::InitFactors() {
  const double distance = std::fabs(static_cast<double>(GetEndValue()) - GetStartValue());
  const double r1 = speed_up_ratio_;
  const double r2 = speed_down_ratio_;
  int total = GetTotalMillSeconds();

  if (r1 == 0 && r2 == 0) {
    if (total < 0) {
      // Without a speed the motion has no length: it ends at once.
      const double derived = cruise_speed_ > 0 ? distance / cruise_speed_ : 0;
      total = derived > max_total_millseconds_ ? max_total_millseconds_ : static_cast<int>(derived);
      SetTotalMillSeconds(total);
    } else {
      cruise_speed_ = total > 0 ? distance / total : 0;
    }
    speed_up_time_ = 0;
    speed_down_time_ = 0;
    cruise_time_ = total;
    speed_down_speed_ = cruise_speed_;
    return;
  }

  if (total < 0) {
    const double d = CompleteFactors();
    const double unit =
        speed_up_factor_ * r1 * r1 + 2 * (1 - r1 - r2) * d - speed_down_factor_ * r2 * r2;
    const double derived = unit > 0 ? std::sqrt(distance / unit) : HUGE_VAL;
    if (derived > max_total_millseconds_) {
      total = max_total_millseconds_;
      SetTotalMillSeconds(total);
      FactorsFromTotal(distance, total);
    } else {
      total = static_cast<int>(derived);
      SetTotalMillSeconds(total);
    }
  } else {
    FactorsFromTotal(distance, total);
  }

  const double d = CompleteFactors();
  cruise_speed_ = 2 * d * total;
  speed_down_speed_ = cruise_speed_;
  speed_up_time_ = r1 * total;
  speed_down_time_ = r2 * total;
  cruise_time_ = total - speed_up_time_ - speed_down_time_;
}

void AnimationPlayer::FactorsFromTotal(double distance, int total) {
  if (total <= 0) return;
  const double r1 = speed_up_ratio_;
  const double r2 = speed_down_ratio_;
  const double square = static_cast<double>(total) * total;
  if (r1 > 0) {
    speed_up_factor_ = distance / ((2 * (1 - r1 - r2) * r1 + r1 * r1 + r2 * r1) * square);
  } else if (r2 != 0) {
    speed_down_factor_ = -distance / ((2 * (1 - r1 - r2) * r2 + r2 * r2 + r2 * r1) * square);
  }
}

double AnimationPlayer::CompleteFactors() {
  const double r1 = speed_up_ratio_;
  const double r2 = speed_down_ratio_;
  if (speed_up_factor_ != 0 && r1 != 0) {
    const double d = speed_up_factor_ * r1;
    if (r2 != 0) speed_down_factor_ = -d / r2;
    return d;
  }
  if (speed_down_factor_ != 0 && r2 != 0) {
    if (r1 != 0) speed_up_factor_ = -r2 * speed_down_factor_ / r1;
    return -r2 * speed_down_factor_;
  }
  return 0;
}

double AnimationPlayer::Distance(double t) const {
  const double t1 = speed_up_time_;
  const double t2 = cruise_time_;
  const double speed_up = speed_up_factor_ * t1 * t1;
  if (t <= t1) return speed_up_factor_ * t * t;
  if (t <= t1 + t2) return speed_up + cruise_speed_ * (t - t1);
  const double tau = t - t1 - t2;
  return speed_up + cruise_speed_ * t2 + speed_down_factor_ * tau * tau + speed_down_speed_ * tau;
}

}  // namespace ui
