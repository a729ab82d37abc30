// ScopedHandle: owner of a kernel object handle (file, event, process,
// thread, job, completion port...), closed with CloseHandle.
//
// Win32 reports "no handle" as nullptr from most creators and as
// INVALID_HANDLE_VALUE from CreateFile and a few others; the owner treats
// both as empty, so `if (handle)` is the one check after any creator and get()
// still returns what the creator returned. Never give it a pseudo handle
// (GetCurrentProcess is INVALID_HANDLE_VALUE, so it would be ignored anyway).
// Move-only; one thread at a time.
#pragma once

#include <windows.h>

#include "base/scoped_generic.h"

namespace cbase {

struct KernelHandleTraits {
  using Type = HANDLE;
  static HANDLE Invalid() { return nullptr; }
  static bool IsValid(HANDLE handle) { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }
  static void Free(HANDLE handle) { ::CloseHandle(handle); }
};

using ScopedHandle = ScopedGeneric<KernelHandleTraits>;

}  // namespace cbase
