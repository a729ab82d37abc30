#include "ui/core/pointer_input.h"

namespace ui {

namespace {

template <typename F>
F Lookup(HMODULE user32, const char* name) {
  // The address is a generic FARPROC; its real type is the one named.
  return reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(user32, name)));
}

PointerInput Load() {
  PointerInput table;
  HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
  if (user32 == nullptr) return table;
  table.GetTouchInputInfo = Lookup<PointerInput::GetTouchInputInfoFn>(user32, "GetTouchInputInfo");
  table.CloseTouchInputHandle =
      Lookup<PointerInput::CloseTouchInputHandleFn>(user32, "CloseTouchInputHandle");
  table.RegisterTouchWindow =
      Lookup<PointerInput::RegisterTouchWindowFn>(user32, "RegisterTouchWindow");
  table.UnregisterTouchWindow =
      Lookup<PointerInput::UnregisterTouchWindowFn>(user32, "UnregisterTouchWindow");
  table.GetPointerType = Lookup<PointerInput::GetPointerTypeFn>(user32, "GetPointerType");
  table.GetPointerTouchInfo =
      Lookup<PointerInput::GetPointerTouchInfoFn>(user32, "GetPointerTouchInfo");
  table.GetPointerPenInfo = Lookup<PointerInput::GetPointerPenInfoFn>(user32, "GetPointerPenInfo");
  return table;
}

}  // namespace

const PointerInput& PointerInput::Get() {
  static const PointerInput table = Load();
  return table;
}

}  // namespace ui
