#include "base/default_message_pump.h"

#include <windows.h>

#include "base/monotonic_clock.h"

namespace cbase {

DWORD WaitMillisecondsFor(int64_t delay_us) {
  if (delay_us <= 0) return 0;
  const int64_t ms = delay_us / 1000 + (delay_us % 1000 != 0 ? 1 : 0);
  return ms >= int64_t{0xFFFFFFFF} ? 0xFFFFFFFE : static_cast<DWORD>(ms);
}

DefaultMessagePump::DefaultMessagePump() : event_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

DefaultMessagePump::~DefaultMessagePump() = default;

void DefaultMessagePump::Run(Delegate* delegate) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  for (;;) {
    bool did_work = delegate->DoWork();
    if (should_quit_) break;
    did_work |= delegate->DoDelayedWork(&delayed_work_time_);
    if (should_quit_) break;
    if (did_work) continue;
    did_work = delegate->DoIdleWork();
    if (should_quit_) break;
    if (did_work) continue;

    if (delayed_work_time_ == 0) {
      WaitForSingleObject(event_.get(), INFINITE);
    } else {
      const int64_t delay = delayed_work_time_ - MonotonicNow();
      if (delay > 0) {
        WaitForSingleObject(event_.get(), WaitMillisecondsFor(delay));
      } else {
        // Due now: the next turn runs it.
        delayed_work_time_ = 0;
      }
    }
  }
  should_quit_ = false;
}

void DefaultMessagePump::Quit() {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  should_quit_ = true;
}

void DefaultMessagePump::ScheduleWork() { SetEvent(event_.get()); }

void DefaultMessagePump::ScheduleDelayedWork(int64_t run_time) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  delayed_work_time_ = run_time;
}

}  // namespace cbase
