#include "base/thread_local_slot.h"

#include <windows.h>

#include <atomic>
#include <cstdlib>

namespace cbase {
namespace internal {

namespace {

enum SlotState { kUnset = 0, kBeingSet = 1, kReady = 2 };

struct Slot {
  std::atomic<int> state{kUnset};
  DWORD index = TLS_OUT_OF_INDEXES;
};

Slot g_slots[2];

template <int N>
void FreeSlotAtExit() {
  if (g_slots[N].state.load() == kReady) TlsFree(g_slots[N].index);
}

using AtExitFunction = void (*)();
constexpr AtExitFunction kFreeAtExit[2] = {&FreeSlotAtExit<0>, &FreeSlotAtExit<1>};

DWORD SlotIndex(ThreadSlot which) {
  const int n = static_cast<int>(which);
  Slot& slot = g_slots[n];
  if (slot.state.load(std::memory_order_acquire) == kReady) return slot.index;
  int expected = kUnset;
  if (slot.state.compare_exchange_strong(expected, kBeingSet)) {
    slot.index = TlsAlloc();
    std::atexit(kFreeAtExit[n]);
    slot.state.store(kReady, std::memory_order_release);
  } else {
    while (slot.state.load(std::memory_order_acquire) != kReady) SwitchToThread();
  }
  return slot.index;
}

}  // namespace

void* GetThreadSlot(ThreadSlot slot) { return TlsGetValue(SlotIndex(slot)); }

void SetThreadSlot(ThreadSlot slot, void* value) { TlsSetValue(SlotIndex(slot), value); }

}  // namespace internal
}  // namespace cbase
