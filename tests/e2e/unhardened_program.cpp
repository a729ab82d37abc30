// The control of the planting test: a program that imports winmm and msimg32
// the ordinary way and leaves the DLL search as it is, so DLLs planted beside
// it load when it starts. It calls into them only when given an argument,
// which the test never passes (the planted stand-ins export nothing).
#include <windows.h>

#include <mmsystem.h>

int wmain(int argc, wchar_t**) {
  if (argc < 2) return 0;
  const BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, 0};
  const BOOL blended = ::AlphaBlend(nullptr, 0, 0, 1, 1, nullptr, 0, 0, 1, 1, blend);
  return static_cast<int>(::timeGetTime()) + (blended ? 1 : 0);
}
