#include "base/pool_timer.h"

namespace cbase {

void ArmPoolTimer(PTP_TIMER timer, DWORD delay_ms) {
  ULARGE_INTEGER due;
  due.QuadPart = static_cast<ULONGLONG>(-static_cast<LONGLONG>(delay_ms) * 10000);
  FILETIME relative;
  relative.dwLowDateTime = due.LowPart;
  relative.dwHighDateTime = due.HighPart;
  ::SetThreadpoolTimer(timer, &relative, 0, 0);
}

}  // namespace cbase
