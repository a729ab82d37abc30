// TestUiThread: the test's stand-in for the main window's PostToUI. Tasks
// posted from any thread queue up and run on the test's thread while it
// waits in RunUntil; Close() plays the window going away (queued and later
// tasks are dropped). Window messages are dispatched while waiting, so
// message boxes and shell calls behave.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>

#include "app/post_to_ui.h"

namespace testing_support {

class TestUiThread {
 public:
  TestUiThread();
  ~TestUiThread();
  TestUiThread(const TestUiThread&) = delete;
  TestUiThread& operator=(const TestUiThread&) = delete;

  // Safe to call from any thread, also after this object is gone.
  PostToUIFunction poster() const;
  void Close();

  // Runs tasks until |done| answers true (checked after each task and at
  // least every 20 ms) or |timeout_ms| passed; answers |done|().
  bool RunUntil(const std::function<bool()>& done, DWORD timeout_ms = 30000);
  // Runs for |ms| (to see that nothing more arrives).
  void RunFor(DWORD ms);
  // Tasks posted so far (dropped ones included).
  int posted() const;

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace testing_support
