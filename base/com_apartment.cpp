#include "base/com_apartment.h"

#include <windows.h>

#include <objbase.h>

namespace cbase {

namespace {

// 0: not asked yet; 1: joined here, to be left; 2: usable without joining
// (the thread was in an apartment already); 3: COM refused.
thread_local int g_state = 0;

}  // namespace

bool ComApartment::Enter() {
  if (g_state == 0) {
    const HRESULT result = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (result == S_OK || result == S_FALSE) {
      g_state = 1;  // S_FALSE still counts a reference to leave
    } else {
      g_state = result == RPC_E_CHANGED_MODE ? 2 : 3;
    }
  }
  return g_state == 1 || g_state == 2;
}

void ComApartment::Leave() {
  if (g_state == 1) ::CoUninitialize();
  g_state = 0;
}

bool ComApartment::Entered() { return g_state == 1; }

}  // namespace cbase
