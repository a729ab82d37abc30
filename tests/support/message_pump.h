// Message pumping for tests that drive real windows, timers and cross-thread
// posts without a message loop of their own: run what is queued, or keep
// running messages until a condition holds or a time limit passes.
// Header-only so every test program can use it; each call works on the
// calling thread's queue, so it must be the thread that owns the windows.
#pragma once

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <functional>

namespace testing_support {

// Dispatches every message already queued for this thread, without waiting.
// A WM_QUIT is taken off the queue but not dispatched (no window handles it);
// its exit code goes to |quit_code| when given.
inline void PumpPendingMessages(int* quit_code = nullptr) {
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      if (quit_code) *quit_code = static_cast<int>(msg.wParam);
      continue;
    }
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
}

// Waits up to |wait_ms| for a message to arrive or |wake| (optional) to be
// signalled, then dispatches what is queued. For loops that do work of their
// own between waits.
inline void WaitAndPumpMessages(DWORD wait_ms, HANDLE wake = nullptr) {
  ::MsgWaitForMultipleObjects(wake ? 1 : 0, wake ? &wake : nullptr, FALSE, wait_ms, QS_ALLINPUT);
  PumpPendingMessages();
}

// Dispatches this thread's messages until |done| answers true (asked after
// every batch) or |timeout_ms| have passed; answers whether |done| held.
// Between batches it sleeps until a message arrives, but never longer than
// 10 ms, so a condition another thread makes true is seen soon. A WM_QUIT
// ends nothing: see PumpPendingMessages.
inline bool PumpMessagesUntil(const std::function<bool()>& done, DWORD timeout_ms,
                              int* quit_code = nullptr) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    PumpPendingMessages(quit_code);
    if (done()) return true;
    const Clock::time_point now = Clock::now();
    if (now >= deadline) return false;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
    const DWORD wait = static_cast<DWORD>(std::min<long long>(10, left.count() + 1));
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, wait, QS_ALLINPUT);
  }
}

// Dispatches this thread's messages for |ms| milliseconds (to see what
// arrives, or that nothing does).
inline void PumpMessagesFor(DWORD ms) {
  PumpMessagesUntil([] { return false; }, ms);
}

}  // namespace testing_support
