#include "base/weak_callback.h"

#include <windows.h>

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/message_loop.h"

namespace cbase {
namespace {

class Control : public SupportWeakCallback {
 public:
  bool OnEvent(int code) {
    events.push_back(code);
    return true;
  }
  int Sum(int a, int b) const { return a + b; }
  std::string Label(const std::string& prefix, int n) { return prefix + std::to_string(n); }
  std::vector<int> events;
};

// A class that gets its weak support through a virtual base, as the
// framework thread and the windows do.
class Base : public virtual SupportWeakCallback {};
class Derived : public Base {
 public:
  int Twice(int n) { return 2 * n; }
};

TEST(WeakCallbackTest, CallbacksOfADestroyedOwnerDoNothingAndAnswerTheDefault) {
  auto control = std::make_unique<Control>();
  auto handler = control->ToWeakCallback(&Control::OnEvent);
  auto sum = control->ToWeakCallback(&Control::Sum, 40);
  auto label = control->ToWeakCallback([c = control.get()] { return c->Label("n=", 1); });
  int lambda_calls = 0;
  auto plain = control->ToWeakCallback([&lambda_calls] { ++lambda_calls; });

  EXPECT_TRUE(handler(7));
  EXPECT_EQ(sum(2), 42);
  EXPECT_EQ(label(), "n=1");
  plain();
  EXPECT_EQ(control->events, std::vector<int>{7});
  EXPECT_EQ(lambda_calls, 1);

  auto copy = handler;  // copies share the weak reference
  control.reset();
  EXPECT_TRUE(handler.Expired());
  EXPECT_FALSE(handler(8));
  EXPECT_FALSE(copy(9));
  EXPECT_EQ(sum(2), 0);
  EXPECT_EQ(label(), "");
  plain();
  EXPECT_EQ(lambda_calls, 1);
}

TEST(WeakCallbackTest, MemberFunctionsOfAVirtualBaseClassBindToTheRightObject) {
  auto object = std::make_unique<Derived>();
  auto twice = object->ToWeakCallback(&Derived::Twice);
  EXPECT_EQ(twice(21), 42);
  object.reset();
  EXPECT_EQ(twice(21), 0);
}

TEST(WeakCallbackTest, CancelExpiresEarlierCallbacksOnlyAndTheNextOnesWork) {
  WeakCallbackFlag flag;
  EXPECT_FALSE(flag.HasUsed());
  int ticks = 0;
  auto before = flag.ToWeakCallback([&] { ++ticks; });
  EXPECT_TRUE(flag.HasUsed());
  flag.Cancel();
  EXPECT_FALSE(flag.HasUsed());
  before();
  EXPECT_EQ(ticks, 0);
  auto after = flag.ToWeakCallback([&] { ticks += 10; });
  after();
  before();
  EXPECT_EQ(ticks, 10);
}

TEST(WeakCallbackTest, ACopiedOwnerHasCallbacksOfItsOwn) {
  auto original = std::make_unique<Control>();
  auto from_original = original->ToWeakCallback(&Control::OnEvent);
  auto copy = std::make_unique<Control>(*original);
  auto from_copy = copy->ToWeakCallback(&Control::OnEvent);
  original.reset();
  EXPECT_FALSE(from_original(1));  // the copy must not keep it alive
  EXPECT_TRUE(from_copy(2));
  EXPECT_EQ(copy->events, std::vector<int>{2});
}

TEST(WeakCallbackTest, TaskBoundToAnObjectDestroyedBeforeItRunsDoesNothing) {
  MessageLoop loop;
  auto control = std::make_unique<Control>();
  loop.PostTask(control->ToWeakCallback([c = control.get()] { c->OnEvent(1); }));
  loop.PostTask([&] { control.reset(); });
  bool later_ran = false;
  loop.PostTask([&] {
    later_ran = true;
    loop.QuitWhenIdle();
  });
  auto keep = std::make_unique<Control>();
  loop.PostTask(keep->ToWeakCallback([c = keep.get()] { c->OnEvent(2); }));
  loop.Run();
  EXPECT_TRUE(later_ran);
  EXPECT_EQ(keep->events, std::vector<int>{2});
}

TEST(WeakCallbackTest, CallbacksIssuedFromManyThreadsShareOneFlag) {
  for (int round = 0; round < 20; ++round) {
    auto control = std::make_unique<Control>();
    std::vector<std::weak_ptr<WeakFlag>> flags(4);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
      threads.emplace_back([&, t] { flags[t] = control->GetWeakFlag(); });
    }
    for (auto& t : threads) t.join();
    auto first = flags[0].lock();
    for (auto& f : flags) EXPECT_EQ(f.lock(), first);
    first.reset();
    control.reset();
    for (auto& f : flags) EXPECT_TRUE(f.expired());
  }
}

}  // namespace
}  // namespace cbase
