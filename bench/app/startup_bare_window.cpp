// The floor of the assistant's start-up benchmark: a process that shows a
// bare 800 x 600 layered window named "Bare", centred on the screen like the
// assistant's, with one white frame, and waits. A click into it or a WM_CLOSE
// ends the process with exit code 0; so does a minute without either, so that
// a benchmark that lost it leaves no window behind.
//
//   startup_bare_window.exe
#include <windows.h>

#include "bench/ui/bare_layered_window.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  const int width = 800;
  const int height = 600;
  BareLayeredWindow::Register();
  BareLayeredWindow window((::GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                           (::GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height, L"Bare");
  const UINT_PTR give_up = ::SetTimer(nullptr, 0, 60 * 1000, nullptr);
  MSG msg;
  while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (msg.message == WM_LBUTTONDOWN || msg.message == WM_CLOSE) break;
    if (msg.message == WM_TIMER && msg.wParam == give_up) break;
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  ::KillTimer(nullptr, give_up);
  return 0;
}
