// PointerInput: the touch and pointer functions of user32, looked up by name
// once, so the toolkit runs on systems without them (each is nullptr there
// and the input it serves is ignored).
//
// One process-wide table, filled on first use (thread-safe); read-only after.
#pragma once

#include <windows.h>

namespace ui {

struct PointerInput {
  using GetTouchInputInfoFn = BOOL(WINAPI*)(HTOUCHINPUT, UINT, PTOUCHINPUT, int);
  using CloseTouchInputHandleFn = BOOL(WINAPI*)(HTOUCHINPUT);
  using RegisterTouchWindowFn = BOOL(WINAPI*)(HWND, ULONG);
  using UnregisterTouchWindowFn = BOOL(WINAPI*)(HWND);
  using GetPointerTypeFn = BOOL(WINAPI*)(UINT32, POINTER_INPUT_TYPE*);
  using GetPointerTouchInfoFn = BOOL(WINAPI*)(UINT32, POINTER_TOUCH_INFO*);
  using GetPointerPenInfoFn = BOOL(WINAPI*)(UINT32, POINTER_PEN_INFO*);

  static const PointerInput& Get();

  GetTouchInputInfoFn GetTouchInputInfo = nullptr;
  CloseTouchInputHandleFn CloseTouchInputHandle = nullptr;
  RegisterTouchWindowFn RegisterTouchWindow = nullptr;
  UnregisterTouchWindowFn UnregisterTouchWindow = nullptr;
  GetPointerTypeFn GetPointerType = nullptr;
  GetPointerTouchInfoFn GetPointerTouchInfo = nullptr;
  GetPointerPenInfoFn GetPointerPenInfo = nullptr;
};

}  // namespace ui
