#include "base/message_pump.h"

#include <windows.h>

namespace cbase {

namespace {

int64_t TicksPerSecond() {
  static const int64_t frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f.QuadPart;
  }();
  return frequency;
}

int64_t Ticks() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now.QuadPart;
}

// Reading the counter costs about as much as a small task; look every so many.
constexpr int kRoundsPerClockRead = 16;

}  // namespace

bool MessagePump::RunWorkSlice(Delegate* delegate, int64_t* delayed_work_time,
                               const bool* should_quit) {
  const int64_t deadline = Ticks() + kWorkSliceUs * TicksPerSecond() / 1000000;
  bool did_work = false;
  for (int round = 1;; ++round) {
    bool ran = delegate->DoWork();
    if (*should_quit) return true;
    ran |= delegate->DoDelayedWork(delayed_work_time);
    if (*should_quit) return true;
    if (!ran) return did_work;
    did_work = true;
    if (round % kRoundsPerClockRead == 0 && Ticks() >= deadline) return true;
  }
}

}  // namespace cbase
