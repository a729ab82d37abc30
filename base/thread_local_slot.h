// The runtime's two process-wide thread-local slots: the calling thread's
// MessageLoop and its framework-thread record.
//
// Each slot's index is allocated on first use, by whichever thread gets there
// first (the others wait for it), and freed at process exit. Values are per
// thread; any thread may read and write its own.
#pragma once

namespace cbase {
namespace internal {

enum class ThreadSlot { kCurrentLoop = 0, kThreadRecord = 1 };

void* GetThreadSlot(ThreadSlot slot);
void SetThreadSlot(ThreadSlot slot, void* value);

}  // namespace internal
}  // namespace cbase
