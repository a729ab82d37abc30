// StartupTrace: when the named steps of start-up happened, in milliseconds
// since the process was created, kept in memory until the program writes
// them out (the assistant writes them to its support log once its first
// visible frame is on the screen, so writing costs start-up nothing).
//
// Call sites use STARTUP_TRACE("step"), which records only in a build
// configured with -DASSISTANT_STARTUP_TRACE=ON and is nothing otherwise: the
// shipped program carries no trace. The class itself is always built (and
// tested). The process-wide instance lives for the whole process; Mark and
// Take may be called from any thread. Steps must be string literals (the
// trace keeps the pointer).
#pragma once

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

#include "base/tick_clock.h"

namespace cbase {

class StartupTrace {
 public:
  struct Entry {
    const char* step;
    // Milliseconds since the process was created.
    double ms;
    DWORD thread_id;
    // The process's working set then, in bytes (0 when unknown).
    size_t working_set;
  };
  // Marks past this many in the trace's life are dropped (start-up makes a
  // dozen or two).
  static constexpr size_t kCapacity = 64;

  static StartupTrace& Instance();

  // |clock| measures the marks; |process_age_ms| says how old the process is
  // at the clock's current reading; |working_set| how much memory the
  // process holds now. All must outlive the trace.
  StartupTrace(TickClock& clock, double (*process_age_ms)(), size_t (*working_set)());
  StartupTrace(const StartupTrace&) = delete;
  StartupTrace& operator=(const StartupTrace&) = delete;

  // Records that |step| happened now.
  void Mark(const char* step);

  // The marks recorded since the last Take, in the order they were made;
  // the trace is empty afterwards. A mark still being recorded by another
  // thread while Take runs is left for the next Take.
  std::vector<Entry> Take();

  // Milliseconds since this process was created, from the system's clock.
  static double ProcessAgeMs();
  // This process's working set in bytes, as the system reports it.
  static size_t WorkingSet();

 private:
  struct Slot {
    std::atomic<bool> ready{false};
    const char* step = nullptr;
    int64_t ticks = 0;
    DWORD thread_id = 0;
    size_t working_set = 0;
  };

  TickClock& clock_;
  double (*process_age_ms_)();
  size_t (*working_set_)();
  // Slots are claimed in order by |claimed_|; Take hands out [taken_, ready).
  std::atomic<size_t> claimed_{0};
  // Take may be called from more than one thread.
  std::mutex take_lock_;
  size_t taken_ = 0;
  Slot slots_[kCapacity];
};

}  // namespace cbase

#if defined(ASSISTANT_STARTUP_TRACE)
#define STARTUP_TRACE(step) ::cbase::StartupTrace::Instance().Mark(step)
#else
#define STARTUP_TRACE(step) ((void)0)
#endif
