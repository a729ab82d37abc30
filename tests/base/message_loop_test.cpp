#include "base/message_loop.h"

#include <windows.h>

#include <algorithm>
#include <gtest/gtest.h>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "base/message_loop_proxy.h"
#include "base/monotonic_clock.h"
#include "test_support.h"

namespace cbase {
namespace {

std::unique_ptr<MessageLoop> MakeLoop(MessageLoopKind kind) {
  switch (kind) {
    case MessageLoopKind::kUI:
      return std::make_unique<UIMessageLoop>();
    case MessageLoopKind::kIO:
      return std::make_unique<IOMessageLoop>();
    default:
      return std::make_unique<MessageLoop>();
  }
}

// Runs the same behaviour on the default, UI and I/O loops: the pumps differ,
// the loop's promises do not.
class MessageLoopKindTest : public ::testing::TestWithParam<MessageLoopKind> {};

INSTANTIATE_TEST_SUITE_P(AllKinds, MessageLoopKindTest,
                         ::testing::Values(MessageLoopKind::kDefault, MessageLoopKind::kUI,
                                           MessageLoopKind::kIO));

TEST_P(MessageLoopKindTest, LoopIsCurrentForItsLifeAndOfItsKind) {
  EXPECT_EQ(MessageLoop::current(), nullptr);
  {
    auto loop = MakeLoop(GetParam());
    EXPECT_EQ(MessageLoop::current(), loop.get());
    EXPECT_EQ(CurrentLoop(), loop.get());
    EXPECT_EQ(loop->kind(), GetParam());
    EXPECT_EQ(UIMessageLoop::current() != nullptr, GetParam() == MessageLoopKind::kUI);
    EXPECT_EQ(IOMessageLoop::current() != nullptr, GetParam() == MessageLoopKind::kIO);
    EXPECT_EQ(loop->run_depth(), 0);
  }
  EXPECT_EQ(MessageLoop::current(), nullptr);
}

TEST_P(MessageLoopKindTest, QuitWhenIdleFinishesRunnableTasksInPostingOrderFirst) {
  auto loop = MakeLoop(GetParam());
  std::vector<std::string> log;
  auto sentinel = std::make_shared<int>(0);
  bool far_task_ran = false;
  loop->PostDelayedTask([&, sentinel] { far_task_ran = true; }, Milliseconds(3600 * 1000));
  loop->PostTask([&] {
    log.push_back("a");
    EXPECT_EQ(loop->run_depth(), 1);
    EXPECT_FALSE(loop->NestableTasksAllowed());
  });
  loop->PostNonNestableTask([&] { log.push_back("b (non-nestable)"); });
  loop->PostTask([&] {
    log.push_back("quit");
    loop->QuitWhenIdle();
    loop->PostTask([&] { log.push_back("posted after quit"); });
  });
  loop->PostTask([&] { log.push_back("c"); });
  loop->PostTask(Task());  // an empty task is skipped, not called
  loop->Run();

  EXPECT_EQ(log,
            (std::vector<std::string>{"a", "b (non-nestable)", "quit", "c", "posted after quit"}));
  EXPECT_EQ(loop->run_depth(), 0);
  EXPECT_TRUE(loop->NestableTasksAllowed());
  // The far delayed task does not hold the loop up, and dies with the loop
  // without running.
  EXPECT_EQ(sentinel.use_count(), 2);
  loop.reset();
  EXPECT_EQ(sentinel.use_count(), 1);
  EXPECT_FALSE(far_task_ran);
}

TEST_P(MessageLoopKindTest, DelayedTasksRunByRunTimeAndEqualRunTimesInEntryOrder) {
  test::ScopedFakeClock clock;
  auto loop = MakeLoop(GetParam());
  // Many ties among few distinct times: a heap that ignored entry order would
  // shuffle the tied tasks.
  const int kDelaysMs[] = {3, 1, 2, 3, 3, 1, 2, 2, 1, 3, 1, 1, 2, 3, 2, 1, 3, 2, 1, 2,
                           3, 3, 1, 2, 1, 3, 2, 1, 1, 3, 2, 2, 3, 1, 2, 3, 1, 2, 3, 1};
  const int count = static_cast<int>(std::size(kDelaysMs));
  std::vector<int> ran;
  loop->PostTask([&] {
    for (int i = 0; i < count; ++i) {
      loop->PostDelayedTask(
          [&, i] {
            ran.push_back(i);
            if (static_cast<int>(ran.size()) == count) loop->QuitWhenIdle();
          },
          Milliseconds(kDelaysMs[i]));
    }
    // All of them come due at once, after they entered the delayed queue.
    loop->PostTask([] { test::ScopedFakeClock::Advance(Milliseconds(10)); });
  });
  loop->Run();

  std::vector<int> expected(count);
  for (int i = 0; i < count; ++i) expected[i] = i;
  std::stable_sort(expected.begin(), expected.end(),
                   [&](int a, int b) { return kDelaysMs[a] < kDelaysMs[b]; });
  EXPECT_EQ(ran, expected);
}

TEST_P(MessageLoopKindTest, DelayedTaskComesDueOnTheRealClock) {
  auto loop = MakeLoop(GetParam());
  const int64_t posted = MonotonicNow();
  int64_t ran_at = 0;
  loop->PostDelayedTask(
      [&] {
        ran_at = MonotonicNow();
        loop->QuitWhenIdle();
      },
      Milliseconds(15));
  loop->Run();
  EXPECT_GE(ran_at - posted, Milliseconds(15));
}

TEST_P(MessageLoopKindTest, HugeDelaysDoNotWrapIntoThePastAndNegativeDelaysRunSoon) {
  test::ScopedFakeClock clock;
  auto loop = MakeLoop(GetParam());
  bool huge_ran = false;
  bool negative_ran = false;
  loop->PostDelayedTask([&] { huge_ran = true; }, std::numeric_limits<int64_t>::max());
  loop->PostDelayedTask([&] { negative_ran = true; }, -Milliseconds(5));
  loop->PostTask([&] { loop->PostTask([&] { loop->QuitWhenIdle(); }); });
  loop->Run();
  EXPECT_FALSE(huge_ran);
  EXPECT_TRUE(negative_ran);
}

struct RecordingTaskObserver : TaskObserver {
  explicit RecordingTaskObserver(std::vector<std::string>* log, std::string name)
      : log(log), name(std::move(name)) {}
  void WillProcessTask(const QueuedTask&) override {
    log->push_back(name + " before");
    if (remove_on_before) {
      MessageLoop::current()->RemoveTaskObserver(remove_on_before);
      remove_on_before = nullptr;
    }
  }
  void DidProcessTask(const QueuedTask&) override { log->push_back(name + " after"); }
  std::vector<std::string>* log;
  std::string name;
  TaskObserver* remove_on_before = nullptr;
};

TEST_P(MessageLoopKindTest, TaskObserversSurroundEachTaskAndMayRemoveEachOther) {
  auto loop = MakeLoop(GetParam());
  std::vector<std::string> log;
  RecordingTaskObserver first(&log, "first");
  RecordingTaskObserver second(&log, "second");
  first.remove_on_before = &second;
  loop->AddTaskObserver(&first);
  loop->AddTaskObserver(&second);
  loop->PostTask([&] { log.push_back("task 1"); });
  loop->PostTask([&] {
    log.push_back("task 2");
    loop->QuitWhenIdle();
  });
  loop->Run();
  loop->RemoveTaskObserver(&first);
  EXPECT_EQ(log, (std::vector<std::string>{"first before", "task 1", "first after", "first before",
                                           "task 2", "first after"}));
}

struct CountingDestructionObserver : DestructionObserver {
  void WillDestroyCurrentMessageLoop() override {
    ++calls;
    proxy_refuses_yet = !proxy->PostTask([] {});
  }
  int calls = 0;
  bool proxy_refuses_yet = true;
  std::shared_ptr<MessageLoopProxy> proxy;
};

// A task whose destruction posts a copy of itself through the proxy: what a
// callable holding an object that reposts in its destructor does.
struct Repost {
  struct Counts {
    int accepted = 0;
    int refused = 0;
    int made = 0;
  };
  Repost(std::shared_ptr<MessageLoopProxy> proxy, Counts* counts)
      : proxy(std::move(proxy)), counts(counts) {
    ++counts->made;
  }
  ~Repost() {
    if (counts->made >= 300) return;  // a cap only for a loop that never stops
    auto next = std::make_shared<Repost>(proxy, counts);
    if (proxy->PostDelayedTask([next] {}, Milliseconds(3600 * 1000))) {
      ++counts->accepted;
    } else {
      ++counts->refused;
    }
  }
  std::shared_ptr<MessageLoopProxy> proxy;
  Counts* counts;
};

TEST_P(MessageLoopKindTest, DestructionDropsPendingTasksInBoundedPassesThenTellsObservers) {
  auto loop = MakeLoop(GetParam());
  Repost::Counts counts;
  CountingDestructionObserver observer;
  observer.proxy = loop->proxy();
  loop->AddDestructionObserver(&observer);
  {
    auto first = std::make_shared<Repost>(loop->proxy(), &counts);
    loop->PostDelayedTask([first] {}, Milliseconds(3600 * 1000));
  }
  loop.reset();
  EXPECT_EQ(observer.calls, 1);
  // Observers run before the proxy is cut off.
  EXPECT_FALSE(observer.proxy_refuses_yet);
  // The loop stopped discarding after its bound of passes, and the proxy
  // refused what came after: the chain ended by refusal, not by the cap.
  EXPECT_GE(counts.accepted, 2);
  EXPECT_LE(counts.accepted, 102);
  EXPECT_GE(counts.refused, 1);
  EXPECT_FALSE(observer.proxy->PostTask([] {}));
}

}  // namespace
}  // namespace cbase
