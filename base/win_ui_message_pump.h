// WinUIMessagePump: the pump of UI threads. It interleaves the loop's tasks
// with the thread's window messages, one message per turn, so neither starves.
//
// Posted work wakes the thread through a hidden message-only window of class
// "CorvaneMessagePumpWindow": message 1025 (WM_USER + 1) for immediate work,
// a window timer for delayed work. Because that window's procedure also does
// the work, tasks and timers keep running while a native modal loop (a dialog
// or message box opened from a window-message handler) owns the thread.
//
// Owned (shared) by its UIMessageLoop and created on the loop's thread; loop
// thread only, except ScheduleWork (any thread).
#pragma once

#include <windows.h>

#include <cstdint>

#include "base/observer_list.h"
#include "base/win_message_pump.h"

namespace cbase {

// Sees every window message the pump dispatches itself. Loop thread.
class UIObserver {
 public:
  virtual ~UIObserver() = default;
  virtual void WillProcessMessage(const MSG& message) = 0;
  virtual void DidProcessMessage(const MSG& message) = 0;
};

class WinUIMessagePump : public WinMessagePump {
 public:
  static constexpr UINT kHaveWorkMessage = WM_USER + 1;
  static constexpr const wchar_t* kWindowClassName = L"CorvaneMessagePumpWindow";

  WinUIMessagePump();
  ~WinUIMessagePump() override;
  WinUIMessagePump(const WinUIMessagePump&) = delete;
  WinUIMessagePump& operator=(const WinUIMessagePump&) = delete;

  // Runs with `dispatcher` (may be null) handling window messages; the run
  // ends when it answers false.
  using WinMessagePump::RunWithDispatcher;
  void ScheduleWork() override;
  void ScheduleDelayedWork(int64_t run_time) override;

  void AddObserver(UIObserver* observer) { observers_.AddObserver(observer); }
  void RemoveObserver(UIObserver* observer) { observers_.RemoveObserver(observer); }

  // Milliseconds until the delayed work time, rounded up and at least 0; -1
  // when there is none.
  int64_t GetCurrentDelay() const;

  // The hidden window (null if it could not be created).
  HWND window() const { return window_; }

 protected:
  void DoRunLoop() override;
  virtual void WillProcessMessage(const MSG& message);
  virtual void DidProcessMessage(const MSG& message);

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  void HandleWorkMessage();
  void HandleTimerMessage();
  void WaitForWork();
  void KillDelayedWorkTimer();
  bool ProcessNextWindowsMessage();
  bool ProcessMessageHelper(const MSG& message);
  bool ProcessPumpReplacementMessage();

  // Whether the window timer may be armed (killing it is a system call).
  bool timer_set_ = false;
  HWND window_ = nullptr;
  ObserverList<UIObserver> observers_;
};

}  // namespace cbase
