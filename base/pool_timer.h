// ArmPoolTimer: sets a timer of the system's thread pool to fire once,
// |delay_ms| from now (replacing any time it was set to). The pool's timers
// take a due time as a FILETIME, negative for "from now", in 100 ns units;
// this is that arithmetic in one place. Any thread.
#pragma once

#include <windows.h>

namespace cbase {

void ArmPoolTimer(PTP_TIMER timer, DWORD delay_ms);

}  // namespace cbase
