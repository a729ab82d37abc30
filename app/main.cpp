// The assistant's process entry: the main thread becomes the UI thread and
// runs App until the main window closes. The command line is not read.
#include <windows.h>

#include "app/app.h"
#include "app/support_log.h"
#include "app/usage_events.h"
#include "base/com_apartment.h"
#include "base/message_loop.h"
#include "base/pool_work.h"
#include "base/startup_trace.h"

namespace {

// Users start the assistant from their Downloads folder, where a web page can
// leave files of any name. Every DLL that is not a KnownDLL is delay-loaded
// (app/assistant.cmake), so nothing of ours has been loaded by name yet; from
// here on the loader looks in System32 alone, for our imports and for the
// DLLs system DLLs load for us later (uxtheme, windowscodecs, riched20, ...).
// SetDefaultDllDirectories is looked up rather than imported: Windows 7
// without KB2533623 lacks it and would refuse to start the executable. There,
// at least the working folder leaves the search.
void RestrictDllSearchToSystem32() {
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  const HMODULE kernel32 = ::GetModuleHandleW(L"kernel32.dll");
  const auto set_default_dll_directories =
      kernel32 == nullptr ? nullptr
                          : reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void*>(
                                ::GetProcAddress(kernel32, "SetDefaultDllDirectories")));
  if (set_default_dll_directories != nullptr &&
      set_default_dll_directories(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
    return;
  }
  ::SetDllDirectoryW(L"");
}

// How long the end of the process waits for usage events still on their way
// ("closed" is sent as the window closes). Enough for a reachable service;
// an unreachable one costs the user no more than this.
constexpr DWORD kPendingEventsWaitMs = 1000;

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  STARTUP_TRACE("entry");
  RestrictDllSearchToSystem32();
  // The window's pictures are decoded on the thread pool before its first
  // frame. Making the pool's thread costs the thread that asks for it; asked
  // for now, that is while the display connection is made, which keeps this
  // thread waiting anyway.
  cbase::RunOnPool([] {});
  // COM is joined when first needed (cbase::ComApartment): after the first
  // frame, or at an accessibility client's first request.
  App app;
  app.RunOnCurrentThread(cbase::MessageLoopKind::kUI);
  WaitForPendingEvents(kPendingEventsWaitMs);
  cbase::ComApartment::Leave();
  const int exit_code = 0;
  SupportLog::Instance().Write("exit",
                               {{"code", exit_code}, {"seconds", SecondsSinceProcessStart()}});
  SupportLog::Instance().Stop();
  return exit_code;
}
