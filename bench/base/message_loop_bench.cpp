// Throughput of the task runtime under Wine, against plain standard-library
// baselines measured in the same run.
//
//   cbase_bench [tasks=1000000] [rounds=5] [timers=100000]
//
// 1. Cross-thread posting: a second thread posts N tasks through a
//    MessageLoopProxy into a running UI loop, which meanwhile handles the
//    window messages a third thread sends it every millisecond, against a
//    std::mutex + std::condition_variable + std::deque queue consumed on a
//    thread. Rate = tasks / (first post .. last task and message handled).
// 2. Delayed tasks: 10^5 tasks with random delays (0..200 ms) posted on the UI
//    loop, against a std::priority_queue timer thread; and the same number all
//    due at once (a backlog drained as fast as possible). Lateness counts from
//    the later of a task's due time and the end of the posting burst.
// Every figure is the median of the rounds; baselines alternate with ours.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <functional>
#include <mutex>
#include <queue>
#include <random>
#include <thread>
#include <vector>

#include "base/message_loop.h"
#include "base/message_loop_proxy.h"
#include "base/monotonic_clock.h"
#include "base/thread.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

double Best(const std::vector<double>& v) { return *std::max_element(v.begin(), v.end()); }

// Median of the per-round ratios: each round's pair ran back to back, so a
// drift in machine load between rounds cancels out.
double PairedRatio(const std::vector<double>& ours, const std::vector<double>& base) {
  std::vector<double> ratios;
  for (size_t i = 0; i < ours.size(); ++i) ratios.push_back(ours[i] / base[i]);
  return Median(ratios);
}

void PrintRatios(const std::vector<double>& ours, const std::vector<double>& base) {
  std::printf(
      "  ratio                  : %.2f of medians, %.2f paired (median of %zu rounds), "
      "%.2f of bests\n",
      Median(ours) / Median(base), PairedRatio(ours, base), ours.size(), Best(ours) / Best(base));
}

class UIThread : public cbase::FrameworkThread {
 public:
  UIThread() : FrameworkThread("BenchUI") {}
  ~UIThread() override { Stop(); }
  // Created on the UI thread in Init; counts the window messages it gets and
  // when it got the last one.
  HWND window = nullptr;
  std::atomic<int> messages{0};
  Clock::time_point last_message;

 protected:
  void Init() override {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = [](HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) -> LRESULT {
      if (msg == WM_APP) {
        auto* self = reinterpret_cast<UIThread*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        self->last_message = Clock::now();
        self->messages++;
        return 0;
      }
      return DefWindowProcW(hwnd, msg, wp, lp);
    };
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"CbaseBenchWindow";
    RegisterClassExW(&wc);
    window = CreateWindowExW(0, wc.lpszClassName, L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                             wc.hInstance, nullptr);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }
  void Cleanup() override { DestroyWindow(window); }
};

// Our loop: tasks/s for `n` tasks posted from a second thread, while a third
// thread sends the loop's window a message every millisecond. Counted until
// both the last task and the last window message were handled.
double OurCrossThreadRate(UIThread& ui, int n, int* window_messages) {
  auto proxy = ui.proxy();
  HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  int ran = 0;  // loop thread only
  ui.messages = 0;
  std::atomic<bool> stop{false};
  int sent = 0;
  std::thread messenger([&] {
    while (!stop) {
      PostMessageW(ui.window, WM_APP, 0, 0);
      ++sent;
      Sleep(1);
    }
  });
  Clock::time_point start, end;
  std::thread poster([&] {
    start = Clock::now();
    for (int i = 0; i < n; ++i) {
      proxy->PostTask([&ran, n, done, &end] {
        if (++ran == n) {
          end = Clock::now();
          SetEvent(done);
        }
      });
    }
  });
  poster.join();
  WaitForSingleObject(done, INFINITE);
  stop = true;
  messenger.join();
  CloseHandle(done);
  while (ui.messages < sent) Sleep(0);
  *window_messages = sent;
  return n / Seconds(std::max(end, ui.last_message) - start);
}

// Baseline: a plain locked deque drained by one consumer thread.
double BaselineCrossThreadRate(int n) {
  std::mutex mutex;
  std::condition_variable cv;
  std::deque<std::function<void()>> queue;
  bool quit = false;
  int ran = 0;
  Clock::time_point start, end;
  std::thread consumer([&] {
    for (;;) {
      std::function<void()> task;
      {
        std::unique_lock<std::mutex> lock(mutex);
        cv.wait(lock, [&] { return quit || !queue.empty(); });
        if (queue.empty()) return;
        task = std::move(queue.front());
        queue.pop_front();
      }
      task();
    }
  });
  std::thread poster([&] {
    start = Clock::now();
    for (int i = 0; i < n; ++i) {
      {
        std::lock_guard<std::mutex> lock(mutex);
        queue.push_back([&ran, n, &end] {
          if (++ran == n) end = Clock::now();
        });
      }
      cv.notify_one();
    }
  });
  poster.join();
  {
    std::lock_guard<std::mutex> lock(mutex);
    quit = true;
  }
  cv.notify_one();
  consumer.join();
  return n / Seconds(end - start);
}

struct DelayedResult {
  double rate;          // tasks / (first post .. last run)
  double post_us;       // posting cost per task
  double mean_late_ms;  // run time - max(due time, end of posting)
  double max_late_ms;
  double overrun_ms;  // last run - max(latest due time, end of posting)
};

DelayedResult Summarize(const std::vector<int64_t>& ran_at, const std::vector<int64_t>& due,
                        int64_t start, int64_t posted, int64_t end) {
  const int n = static_cast<int>(due.size());
  DelayedResult r;
  double sum = 0, max = 0;
  int64_t latest = posted;
  for (int i = 0; i < n; ++i) {
    const int64_t expected = std::max(due[i], posted);
    latest = std::max(latest, expected);
    const double late = static_cast<double>(ran_at[i] - expected);
    sum += late;
    max = std::max(max, late);
  }
  r.rate = n / ((end - start) / 1e6);
  r.post_us = static_cast<double>(posted - start) / n;
  r.mean_late_ms = sum / n / 1000.0;
  r.max_late_ms = max / 1000.0;
  r.overrun_ms = (end - latest) / 1000.0;
  return r;
}

std::vector<int64_t> RandomDelaysUs(int n, unsigned seed, int64_t max_us) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int64_t> pick(0, max_us);
  std::vector<int64_t> delays(n);
  for (auto& d : delays) d = pick(rng);
  return delays;
}

// Our loop: the UI thread posts all delayed tasks from one task. With
// `block_us` > 0 the thread then sleeps that long, so that every task is due
// when the loop looks again (the backlog case).
DelayedResult OurDelayed(UIThread& ui, const std::vector<int64_t>& delays, int64_t block_us) {
  const int n = static_cast<int>(delays.size());
  HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::vector<int64_t> ran_at(n), due(n);
  int ran = 0;
  int64_t start = 0, posted = 0, end = 0;
  ui.proxy()->PostTask([&] {
    cbase::MessageLoop* loop = cbase::MessageLoop::current();
    start = cbase::MonotonicNow();
    for (int i = 0; i < n; ++i) {
      due[i] = start + delays[i];
      loop->PostDelayedTask(
          [&, i] {
            ran_at[i] = cbase::MonotonicNow();
            if (++ran == n) {
              end = ran_at[i];
              SetEvent(done);
            }
          },
          delays[i]);
    }
    posted = cbase::MonotonicNow();
    if (block_us > 0) Sleep(static_cast<DWORD>(block_us / 1000));
  });
  WaitForSingleObject(done, INFINITE);
  CloseHandle(done);
  return Summarize(ran_at, due, start, posted, end);
}

// Baseline: a timer thread over a std::priority_queue and a condition
// variable's timed wait.
DelayedResult BaselineDelayed(const std::vector<int64_t>& delays, int64_t block_us) {
  struct Entry {
    int64_t due;
    int64_t seq;
    std::function<void()> task;
    bool operator<(const Entry& o) const { return due != o.due ? due > o.due : seq > o.seq; }
  };
  const int n = static_cast<int>(delays.size());
  std::mutex mutex;
  std::condition_variable cv;
  std::priority_queue<Entry> heap;
  std::vector<int64_t> ran_at(n), due(n);
  int ran = 0;
  bool quit = false;
  int64_t start = 0, posted = 0, end = 0;
  std::thread timer([&] {
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
      if (quit) return;
      if (heap.empty()) {
        cv.wait(lock);
        continue;
      }
      const int64_t now = cbase::MonotonicNow();
      if (heap.top().due > now) {
        cv.wait_for(lock, std::chrono::microseconds(heap.top().due - now));
        continue;
      }
      Entry e = heap.top();
      heap.pop();
      lock.unlock();
      e.task();
      lock.lock();
    }
  });
  {
    std::lock_guard<std::mutex> lock(mutex);  // one burst of posts, like ours
    start = cbase::MonotonicNow();
    for (int i = 0; i < n; ++i) {
      // Read the clock per post, as posting a delayed task does.
      due[i] = cbase::MonotonicNow() + delays[i];
      heap.push(Entry{due[i], i, [&, i] {
                        ran_at[i] = cbase::MonotonicNow();
                        if (++ran == n) end = ran_at[i];
                      }});
    }
    posted = cbase::MonotonicNow();
    if (block_us > 0) Sleep(static_cast<DWORD>(block_us / 1000));
  }
  cv.notify_one();
  for (;;) {
    Sleep(5);
    std::lock_guard<std::mutex> lock(mutex);
    if (ran == n) {
      quit = true;
      break;
    }
  }
  cv.notify_one();
  timer.join();
  return Summarize(ran_at, due, start, posted, end);
}

void PrintDelayed(const char* what, const std::vector<DelayedResult>& ours,
                  const std::vector<DelayedResult>& base) {
  auto med = [](const std::vector<DelayedResult>& v, double DelayedResult::*f) {
    std::vector<double> x;
    for (auto& r : v) x.push_back(r.*f);
    return Median(x);
  };
  const double our_rate = med(ours, &DelayedResult::rate);
  const double base_rate = med(base, &DelayedResult::rate);
  std::printf("%s\n", what);
  auto line = [&](const char* who, const std::vector<DelayedResult>& v, double rate) {
    std::printf(
        "  %-14s: %9.0f tasks/s  post %5.2f us/task  late mean %6.2f ms  max %6.2f ms"
        "  last %6.2f ms after due\n",
        who, rate, med(v, &DelayedResult::post_us), med(v, &DelayedResult::mean_late_ms),
        med(v, &DelayedResult::max_late_ms), med(v, &DelayedResult::overrun_ms));
  };
  line("cbase UI loop", ours, our_rate);
  line("baseline", base, base_rate);
  std::vector<double> our_rates, base_rates;
  for (auto& r : ours) our_rates.push_back(r.rate);
  for (auto& r : base) base_rates.push_back(r.rate);
  PrintRatios(our_rates, base_rates);
}

}  // namespace

int main(int argc, char** argv) {
  const int tasks = argc > 1 ? std::atoi(argv[1]) : 1000000;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
  const int timers = argc > 3 ? std::atoi(argv[3]) : 100000;

  UIThread ui;
  if (!ui.Start(cbase::MessageLoopKind::kUI)) {
    std::fprintf(stderr, "could not start the UI thread\n");
    return 1;
  }

  // Warm-up: first-touch costs (allocator, Wine's server connections).
  int messages = 0;
  OurCrossThreadRate(ui, tasks / 10, &messages);
  BaselineCrossThreadRate(tasks / 10);

  std::vector<double> ours, base, window_messages;
  for (int r = 0; r < rounds; ++r) {
    // Alternate who goes first, so that drifts in machine load hit both.
    if (r % 2 == 0) base.push_back(BaselineCrossThreadRate(tasks));
    ours.push_back(OurCrossThreadRate(ui, tasks, &messages));
    if (r % 2 == 1) base.push_back(BaselineCrossThreadRate(tasks));
    window_messages.push_back(messages);
  }
  const double our_rate = Median(ours);
  const double base_rate = Median(base);
  std::printf("cross-thread posting, %d tasks, median of %d rounds\n", tasks, rounds);
  std::printf(
      "  cbase proxy -> UI loop : %10.0f tasks/s (while handling a median of %.0f window\n"
      "                           messages sent by a third thread, one per ms)\n",
      our_rate, Median(window_messages));
  std::printf("  mutex+condvar+deque    : %10.0f tasks/s\n", base_rate);
  PrintRatios(ours, base);

  std::vector<DelayedResult> live_ours, live_base, backlog_ours, backlog_base;
  for (int r = 0; r < rounds; ++r) {
    const auto delays = RandomDelaysUs(timers, 1234 + r, 200000);
    live_base.push_back(BaselineDelayed(delays, 0));
    live_ours.push_back(OurDelayed(ui, delays, 0));
    const auto short_delays = RandomDelaysUs(timers, 99 + r, 20000);
    backlog_base.push_back(BaselineDelayed(short_delays, 50000));
    backlog_ours.push_back(OurDelayed(ui, short_delays, 50000));
  }
  char title[160];
  std::snprintf(title, sizeof(title),
                "delayed tasks, %d timers with random delays 0..200 ms (live), median of %d rounds",
                timers, rounds);
  PrintDelayed(title, live_ours, live_base);
  std::snprintf(title, sizeof(title),
                "delayed tasks, %d timers with delays 0..20 ms, all due before the loop looks "
                "(backlog drain)",
                timers);
  PrintDelayed(title, backlog_ours, backlog_base);

  ui.Stop();
  return 0;
}
