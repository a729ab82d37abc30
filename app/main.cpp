// The assistant's process entry: the main thread becomes the UI thread and
// runs App until the main window closes. The command line is not read.
#include <windows.h>

#include <objbase.h>

#include "app/app.h"
#include "base/message_loop.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  App app;
  app.RunOnCurrentThread(cbase::MessageLoopKind::kUI);
  ::CoUninitialize();
  return 0;
}
