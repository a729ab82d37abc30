#include "tests/app/test_ui_thread.h"

#include <algorithm>
#include <deque>
#include <mutex>

#include "tests/support/message_pump.h"

namespace testing_support {

struct TestUiThread::State {
  std::mutex lock;
  std::deque<UiTask> tasks;
  bool closed = false;
  int posted = 0;
  HANDLE wake = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
  ~State() { ::CloseHandle(wake); }
};

TestUiThread::TestUiThread() : state_(std::make_shared<State>()) {}

TestUiThread::~TestUiThread() { Close(); }

PostToUIFunction TestUiThread::poster() const {
  std::weak_ptr<State> weak = state_;
  return [weak](UiTask task) {
    std::shared_ptr<State> state = weak.lock();
    if (!state) return;
    std::lock_guard<std::mutex> guard(state->lock);
    ++state->posted;
    if (state->closed) return;
    state->tasks.push_back(std::move(task));
    ::SetEvent(state->wake);
  };
}

void TestUiThread::Close() {
  std::lock_guard<std::mutex> guard(state_->lock);
  state_->closed = true;
  state_->tasks.clear();
}

bool TestUiThread::RunUntil(const std::function<bool()>& done, DWORD timeout_ms) {
  const ULONGLONG deadline = ::GetTickCount64() + timeout_ms;
  for (;;) {
    for (;;) {
      UiTask task;
      {
        std::lock_guard<std::mutex> guard(state_->lock);
        if (state_->closed || state_->tasks.empty()) break;
        task = std::move(state_->tasks.front());
        state_->tasks.pop_front();
      }
      task();
      if (done()) return true;
    }
    if (done()) return true;
    const ULONGLONG now = ::GetTickCount64();
    if (now >= deadline) return false;
    const DWORD wait = static_cast<DWORD>(std::min<ULONGLONG>(20, deadline - now));
    WaitAndPumpMessages(wait, state_->wake);
  }
}

void TestUiThread::RunFor(DWORD ms) {
  RunUntil([] { return false; }, ms);
}

int TestUiThread::posted() const {
  std::lock_guard<std::mutex> guard(state_->lock);
  return state_->posted;
}

}  // namespace testing_support
