// Work for the system's thread pool: short background tasks that do not
// deserve a thread of their own. Under Wine a new thread touches about 1 MB
// of its stack at once, and the pool makes a new thread for every task it is
// handed while its threads are busy; so the process's own tasks go to the
// pool one at a time, in the order they were handed over, and never need
// more than one of its threads between them.
//
// RunOnPool hands one task over. PoolJob is one task whose end can be
// waited for, as a thread is joined. A task must not wait for a task handed
// over after it. Any thread.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <functional>
#include <mutex>

namespace cbase {

// Runs |task| once on a pool thread, after every task handed over before it
// has returned. False when the pool would not take it: |task| is then
// dropped without running. An exception out of |task| is dropped too.
bool RunOnPool(std::function<void()> task);

// One task on the pool. The object must outlive the task: the destructor
// waits for it.
class PoolJob {
 public:
  PoolJob() = default;
  ~PoolJob();
  PoolJob(const PoolJob&) = delete;
  PoolJob& operator=(const PoolJob&) = delete;

  // Starts |task|; false, and nothing runs, when the pool would not take it
  // or a task was started before.
  bool Start(std::function<void()> task);
  // Returns once the started task has returned; at once when none was.
  void Wait();

 private:
  std::mutex lock_;
  std::condition_variable done_;
  bool started_ = false;
  bool running_ = false;
};

}  // namespace cbase
