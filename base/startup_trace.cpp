#include "base/startup_trace.h"

#include <psapi.h>

#include <algorithm>
#include <mutex>

namespace cbase {

namespace {

uint64_t FileTimeTicks(const FILETIME& time) {
  return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

}  // namespace

StartupTrace& StartupTrace::Instance() {
  static StartupTrace* trace =
      new StartupTrace(SystemTickClock(), &StartupTrace::ProcessAgeMs, &StartupTrace::WorkingSet);
  return *trace;
}

StartupTrace::StartupTrace(TickClock& clock, double (*process_age_ms)(), size_t (*working_set)())
    : clock_(clock), process_age_ms_(process_age_ms), working_set_(working_set) {}

void StartupTrace::Mark(const char* step) {
  const int64_t now = clock_.Now();
  const size_t index = claimed_.fetch_add(1, std::memory_order_relaxed);
  if (index >= kCapacity) return;
  Slot& slot = slots_[index];
  slot.step = step;
  slot.ticks = now;
  slot.thread_id = ::GetCurrentThreadId();
  slot.working_set = working_set_();
  slot.ready.store(true, std::memory_order_release);
}

std::vector<StartupTrace::Entry> StartupTrace::Take() {
  std::lock_guard<std::mutex> hold(take_lock_);
  // The process's age and the clock are read together once; every mark is
  // placed back from there.
  const int64_t now = clock_.Now();
  const double age_now = process_age_ms_();
  const int64_t frequency = clock_.Frequency();
  std::vector<Entry> entries;
  const size_t end = std::min(claimed_.load(std::memory_order_relaxed), kCapacity);
  while (taken_ < end && slots_[taken_].ready.load(std::memory_order_acquire)) {
    const Slot& slot = slots_[taken_++];
    const double back_ms =
        static_cast<double>(TicksToMicroseconds(now - slot.ticks, frequency)) / 1000.0;
    entries.push_back(Entry{slot.step, age_now - back_ms, slot.thread_id, slot.working_set});
  }
  return entries;
}

size_t StartupTrace::WorkingSet() {
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof(counters);
  return ::K32GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof(counters))
             ? counters.WorkingSetSize
             : 0;
}

double StartupTrace::ProcessAgeMs() {
  FILETIME created, exited, kernel, user, now;
  if (!::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
  // Windows 7 has only the coarse system time (looked up, not imported, so
  // the program still starts there).
  using PreciseTimeFn = VOID(WINAPI*)(LPFILETIME);
  static const auto precise = reinterpret_cast<PreciseTimeFn>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "GetSystemTimePreciseAsFileTime")));
  if (precise != nullptr) {
    precise(&now);
  } else {
    ::GetSystemTimeAsFileTime(&now);
  }
  const uint64_t start = FileTimeTicks(created), end = FileTimeTicks(now);
  return end > start ? static_cast<double>(end - start) / 1e4 : 0;
}

}  // namespace cbase
