#include "base/win_ui_message_pump.h"

#include <windows.h>

#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

#include "base/message_loop.h"
#include "base/monotonic_clock.h"
#include "test_support.h"

namespace cbase {
namespace {

constexpr UINT kOpenDialog = WM_APP + 1;
constexpr UINT kNestLoop = WM_APP + 2;
constexpr UINT kPing = WM_APP + 3;

// Each test runs its UI loop on a thread of its own, so that quit messages
// and window state never leak into the next test.
template <typename F>
void OnUIThread(F body) {
  std::thread thread(body);
  thread.join();
}

// Ends the loop after 10 s if the behaviour under test never does, so that a
// fault fails the test instead of hanging it.
void ArmWatchdog(MessageLoop& loop, bool* fired) {
  loop.PostDelayedTask(
      [fired] {
        *fired = true;
        PostQuitMessage(99);
      },
      Milliseconds(10000));
}

TEST(WinUIMessagePumpTest, ModalDialogFromWindowMessageKeepsTasksAndTimersRunning) {
  std::vector<std::string> log;
  INT_PTR dialog_result = 0;
  bool watchdog = false;
  OnUIThread([&] {
    UIMessageLoop loop;
    ArmWatchdog(loop, &watchdog);
    bool dialog_open = false;
    auto note = [&](const char* what) {
      log.push_back(std::string(what) + (dialog_open ? " in dialog" : " outside"));
    };
    test::TestWindow window([&](UINT message, WPARAM) {
      if (message != kOpenDialog) return;
      dialog_result = test::RunModalDialog([&](HWND dialog) {
        dialog_open = true;
        loop.PostTask([&] { note("task"); });
        loop.PostNonNestableTask([&] { note("non-nestable"); });
        loop.PostDelayedTask(
            [&, dialog] {
              note("timer");
              EndDialog(dialog, 1);
            },
            Milliseconds(1));
      });
      dialog_open = false;
      loop.QuitWhenIdle();
    });
    // The dialog is opened by a window message, not by a task.
    loop.PostTask([&] { window.Post(kOpenDialog); });
    loop.Run();
  });
  EXPECT_FALSE(watchdog);
  EXPECT_EQ(dialog_result, 1);
  EXPECT_EQ(log, (std::vector<std::string>{"task in dialog", "non-nestable in dialog",
                                           "timer in dialog"}));
}

TEST(WinUIMessagePumpTest, NativeLoopInsideARunningTaskRunsNoTasks) {
  std::vector<std::string> log;
  INT_PTR dialog_result = 0;
  int wake_ups_in_dialog = 0;
  int timers_in_dialog = 0;
  bool watchdog = false;
  OnUIThread([&] {
    UIMessageLoop loop;
    ArmWatchdog(loop, &watchdog);
    bool dialog_open = false;
    int done = 0;
    auto note = [&](const char* what) {
      log.push_back(std::string(what) + (dialog_open ? " in dialog" : " after dialog"));
      if (++done == 2) loop.QuitWhenIdle();
    };
    loop.PostTask([&] {
      // Enters the delayed queue (and arms the pump's timer) before the
      // dialog task runs.
      loop.PostDelayedTask([&] { note("timer"); }, Milliseconds(1));
      loop.PostTask([&] {
        test::ScopedPumpMessageCounter counter;
        dialog_result = test::RunModalDialog(
            [&](HWND) {
              dialog_open = true;
              loop.PostTask([&] { note("task"); });
            },
            // Close once the dialog's own loop has handed the pump both its
            // wake-up and its timer.
            [] {
              return test::ScopedPumpMessageCounter::wake_ups() > 0 &&
                     test::ScopedPumpMessageCounter::timers() > 0;
            });
        wake_ups_in_dialog = test::ScopedPumpMessageCounter::wake_ups();
        timers_in_dialog = test::ScopedPumpMessageCounter::timers();
        dialog_open = false;
      });
    });
    loop.Run();
  });
  EXPECT_FALSE(watchdog);
  EXPECT_EQ(dialog_result, 1);
  EXPECT_GE(wake_ups_in_dialog, 1);
  EXPECT_GE(timers_in_dialog, 1);
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].find("after dialog") != std::string::npos, true) << log[0];
  EXPECT_EQ(log[1].find("after dialog") != std::string::npos, true) << log[1];
}

TEST(WinUIMessagePumpTest, QuitMessageEndsTheNestedLoopThenTheEnclosingOne) {
  std::vector<std::string> log;
  bool watchdog = false;
  OnUIThread([&] {
    UIMessageLoop loop;
    ArmWatchdog(loop, &watchdog);
    test::TestWindow window([&](UINT message, WPARAM) {
      if (message != kNestLoop) return;
      loop.PostTask([&] {
        log.push_back("task at depth " + std::to_string(loop.run_depth()));
        PostQuitMessage(7);
      });
      loop.Run();
      log.push_back("nested loop ended");
    });
    loop.PostTask([&] { window.Post(kNestLoop); });
    loop.Run();
    log.push_back("outer loop ended");
    MSG msg;
    if (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
      log.push_back("quit left with code " + std::to_string(msg.wParam));
    }
  });
  EXPECT_FALSE(watchdog);
  EXPECT_EQ(log, (std::vector<std::string>{"task at depth 2", "nested loop ended",
                                           "outer loop ended", "quit left with code 7"}));
}

TEST(WinUIMessagePumpTest, NonNestableTaskWaitsForTheOutermostRun) {
  std::vector<std::string> log;
  bool watchdog = false;
  OnUIThread([&] {
    UIMessageLoop loop;
    ArmWatchdog(loop, &watchdog);
    auto note = [&](const std::string& what) {
      log.push_back(what + " at depth " + std::to_string(loop.run_depth()));
    };
    test::TestWindow window([&](UINT message, WPARAM) {
      if (message != kNestLoop) return;
      loop.PostNonNestableTask([&] {
        note("non-nestable");
        loop.QuitWhenIdle();
      });
      loop.PostTask([&] {
        note("nestable");
        loop.QuitWhenIdle();
      });
      loop.Run();
      note("nested loop ended");
    });
    loop.PostTask([&] { window.Post(kNestLoop); });
    loop.Run();
  });
  EXPECT_FALSE(watchdog);
  EXPECT_EQ(log, (std::vector<std::string>{"nestable at depth 2", "nested loop ended at depth 1",
                                           "non-nestable at depth 1"}));
}

int CountWakeUpMessages() {
  int count = 0;
  MSG msg;
  while (PeekMessageW(&msg, nullptr, WinUIMessagePump::kHaveWorkMessage,
                      WinUIMessagePump::kHaveWorkMessage, PM_REMOVE)) {
    ++count;
    DispatchMessageW(&msg);  // no run is active: this only re-arms the pump
  }
  return count;
}

TEST(WinUIMessagePumpTest, RepeatedScheduleWorkGivesOneWakeUpUntilItIsHandled) {
  OnUIThread([] {
    WinUIMessagePump pump;
    ASSERT_NE(pump.window(), nullptr);
    for (int i = 0; i < 100; ++i) pump.ScheduleWork();
    std::thread other([&] {
      for (int i = 0; i < 100; ++i) pump.ScheduleWork();
    });
    other.join();
    EXPECT_EQ(CountWakeUpMessages(), 1);
    // Handled: the next request wakes again.
    pump.ScheduleWork();
    pump.ScheduleWork();
    EXPECT_EQ(CountWakeUpMessages(), 1);
  });
}

TEST(WinUIMessagePumpTest, PostsFromManyThreadsBeforeTheLoopRunsGiveOneWakeUp) {
  OnUIThread([] {
    UIMessageLoop loop;
    int ran = 0;
    std::vector<std::thread> posters;
    for (int p = 0; p < 4; ++p) {
      posters.emplace_back([&] {
        for (int i = 0; i < 250; ++i) loop.PostTask([&] { ++ran; });
      });
    }
    for (auto& t : posters) t.join();
    const int wake_ups = CountWakeUpMessages();
    EXPECT_EQ(wake_ups, 1);
    loop.PostTask([&] { loop.QuitWhenIdle(); });
    loop.Run();
    EXPECT_EQ(ran, 1000);
  });
}

TEST(WinUIMessagePumpTest, TasksAndWindowMessagesDoNotStarveEachOther) {
  constexpr UINT kStorm = WM_APP + 4;
  constexpr int kChainCap = 1000000;
  int chain = 0;
  int pinged_at = -1;
  int storm = 0;
  int storm_before_task = -1;
  OnUIThread([&] {
    UIMessageLoop loop;
    bool stop = false;
    test::TestWindow window([&](UINT message, WPARAM) {
      if (message == kPing) pinged_at = chain;
      // A message whose handler always posts the next one; capped so that a
      // starving pump still ends.
      if (message == kStorm && ++storm < 5000 && !stop) window.Post(kStorm);
    });
    // A task chain that always has its next link queued.
    std::function<void()> link = [&] {
      if (++chain == 3) window.Post(kPing);
      if (pinged_at < 0 && chain < kChainCap) {
        loop.PostTask(link);
        return;
      }
      window.Post(kStorm);
      loop.PostTask([&] {
        storm_before_task = storm;
        stop = true;
        loop.QuitWhenIdle();
      });
    };
    loop.PostTask(link);
    loop.Run();
  });
  // Tasks run back to back for at most a short slice between two window
  // messages, so the ping comes long before the chain would end on its own.
  ASSERT_GE(pinged_at, 3);
  EXPECT_LT(pinged_at, kChainCap / 2) << "the window message waited for the task chain";
  EXPECT_LE(storm_before_task, 3) << "task waited for " << storm_before_task << " messages";
}

struct RecordingUIObserver : UIObserver {
  void WillProcessMessage(const MSG& message) override {
    if (message.message == kPing) log.push_back("will");
  }
  void DidProcessMessage(const MSG& message) override {
    if (message.message == kPing) log.push_back("did");
  }
  std::vector<std::string> log;
};

TEST(WinUIMessagePumpTest, ObserversSurroundEveryMessageThePumpDispatches) {
  RecordingUIObserver observer;
  OnUIThread([&] {
    UIMessageLoop loop;
    loop.AddUIObserver(&observer);
    test::TestWindow window([&](UINT message, WPARAM) {
      if (message != kPing) return;
      observer.log.push_back("handled");
      loop.QuitWhenIdle();
    });
    window.Post(kPing);
    loop.Run();
    loop.RemoveUIObserver(&observer);
  });
  EXPECT_EQ(observer.log, (std::vector<std::string>{"will", "handled", "did"}));
}

TEST(WinUIMessagePumpTest, CurrentDelayRoundsUpToWholeMilliseconds) {
  test::ScopedFakeClock clock;
  OnUIThread([] {
    WinUIMessagePump pump;
    EXPECT_EQ(pump.GetCurrentDelay(), -1);
    pump.ScheduleDelayedWork(MonotonicNow() + 2500);
    EXPECT_EQ(pump.GetCurrentDelay(), 3);
    test::ScopedFakeClock::Advance(2000);
    EXPECT_EQ(pump.GetCurrentDelay(), 1);
    test::ScopedFakeClock::Advance(1000);
    EXPECT_EQ(pump.GetCurrentDelay(), 0);
  });
}

}  // namespace
}  // namespace cbase
