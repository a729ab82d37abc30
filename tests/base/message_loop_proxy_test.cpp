#include "base/message_loop_proxy.h"

#include <windows.h>

#include <atomic>
#include <gtest/gtest.h>
#include <memory>
#include <thread>
#include <vector>

#include "base/message_loop.h"
#include "base/monotonic_clock.h"
#include "base/thread.h"

namespace cbase {
namespace {

class LoopThread : public FrameworkThread {
 public:
  LoopThread() : FrameworkThread("LoopThread") {}
  ~LoopThread() override { Stop(); }
};

class ProxyKindTest : public ::testing::TestWithParam<MessageLoopKind> {};

INSTANTIATE_TEST_SUITE_P(AllKinds, ProxyKindTest,
                         ::testing::Values(MessageLoopKind::kDefault, MessageLoopKind::kUI,
                                           MessageLoopKind::kIO));

TEST_P(ProxyKindTest, PostsFromOtherThreadsArriveExactlyOnceAndInOrderPerPoster) {
  constexpr int kPosters = 4;
  constexpr int kPerPoster = 5000;
  LoopThread thread;
  ASSERT_TRUE(thread.Start(GetParam()));
  auto proxy = thread.proxy();
  ASSERT_TRUE(proxy);

  // Written on the loop thread only; read here after Stop.
  std::vector<std::vector<int>> received(kPosters);
  HANDLE all_done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  int total = 0;
  std::atomic<int> refused{0};
  std::vector<std::thread> posters;
  for (int p = 0; p < kPosters; ++p) {
    posters.emplace_back([&, p] {
      for (int i = 0; i < kPerPoster; ++i) {
        Task task = [&, p, i] {
          received[p].push_back(i);
          if (++total == kPosters * kPerPoster) SetEvent(all_done);
        };
        // A zero delay is an immediate post and keeps its place in the order.
        bool ok = (i % 3 == 0) ? proxy->PostDelayedTask(task, 0) : proxy->PostTask(task);
        if (!ok) ++refused;
      }
    });
  }
  for (auto& t : posters) t.join();
  EXPECT_EQ(WaitForSingleObject(all_done, 30000), WAIT_OBJECT_0);
  thread.Stop();
  CloseHandle(all_done);

  EXPECT_EQ(refused.load(), 0);
  for (int p = 0; p < kPosters; ++p) {
    ASSERT_EQ(received[p].size(), static_cast<size_t>(kPerPoster)) << "poster " << p;
    for (int i = 0; i < kPerPoster; ++i) {
      ASSERT_EQ(received[p][i], i) << "poster " << p;
    }
  }
}

TEST_P(ProxyKindTest, PostAfterTheLoopDiedIsRefusedAndTheTaskDestroyedAtOnce) {
  LoopThread thread;
  ASSERT_TRUE(thread.Start(GetParam()));
  std::shared_ptr<MessageLoopProxy> proxy = thread.proxy();
  thread.Stop();
  EXPECT_FALSE(thread.proxy());

  auto sentinel = std::make_shared<int>(0);
  bool ran = false;
  Task task = [sentinel, &ran] { ran = true; };
  EXPECT_FALSE(proxy->PostTask(task));
  EXPECT_FALSE(proxy->PostDelayedTask(task, Milliseconds(1)));
  EXPECT_FALSE(proxy->PostNonNestableTask(task));
  EXPECT_FALSE(proxy->PostNonNestableDelayedTask(task, Milliseconds(1)));
  EXPECT_FALSE(proxy->BelongsToCurrentThread());
  task = nullptr;
  EXPECT_EQ(sentinel.use_count(), 1);  // no copy kept anywhere
  EXPECT_FALSE(ran);
}

TEST(MessageLoopProxyTest, TaskPendingWhenTheLoopDiesIsDestroyedWithoutRunning) {
  LoopThread thread;
  ASSERT_TRUE(thread.Start());
  auto sentinel = std::make_shared<int>(0);
  bool ran = false;
  ASSERT_TRUE(
      thread.proxy()->PostDelayedTask([sentinel, &ran] { ran = true; }, Milliseconds(3600 * 1000)));
  thread.Stop();  // the far task does not hold the thread up
  EXPECT_EQ(sentinel.use_count(), 1);
  EXPECT_FALSE(ran);
}

TEST(MessageLoopProxyTest, BelongsToCurrentThreadOnlyOnTheLoopsThread) {
  LoopThread thread;
  ASSERT_TRUE(thread.Start());
  auto proxy = thread.proxy();
  EXPECT_FALSE(proxy->BelongsToCurrentThread());
  HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  bool on_loop = false;
  proxy->PostTask([&] {
    on_loop = proxy->BelongsToCurrentThread();
    SetEvent(done);
  });
  EXPECT_EQ(WaitForSingleObject(done, 10000), WAIT_OBJECT_0);
  CloseHandle(done);
  EXPECT_TRUE(on_loop);
}

TEST(MessageLoopProxyTest, LastReferenceReleasedOnTheLoopsThreadOrAfterItsDeathIsSafe) {
  LoopThread thread;
  ASSERT_TRUE(thread.Start());
  HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  // A proxy reference that only a task holds, released on the loop thread
  // while the loop keeps its own.
  std::weak_ptr<MessageLoopProxy> weak = thread.proxy();
  thread.proxy()->PostTask([held = thread.proxy(), done]() mutable {
    held.reset();
    SetEvent(done);
  });
  EXPECT_EQ(WaitForSingleObject(done, 10000), WAIT_OBJECT_0);
  CloseHandle(done);
  EXPECT_FALSE(weak.expired());
  std::shared_ptr<MessageLoopProxy> last = thread.proxy();
  thread.Stop();
  last.reset();  // deleted here, at once, on this thread
  EXPECT_TRUE(weak.expired());
}

}  // namespace
}  // namespace cbase
