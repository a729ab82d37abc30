#include "app/one_at_a_time.h"

#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

// Steps that log their start and keep their `done`, and a delayed poster
// whose tasks the test runs by hand.
struct Harness {
  std::vector<std::string> log;
  std::vector<OneAtATime::Done> dones;
  std::vector<std::pair<std::function<void()>, int>> delayed;

  OneAtATime::PostDelayed Poster() {
    return [this](std::function<void()> task, int delay_ms) {
      delayed.emplace_back(std::move(task), delay_ms);
    };
  }
  OneAtATime::Step Step(const std::string& name) {
    return [this, name](OneAtATime::Done done) {
      log.push_back(name);
      dones.push_back(std::move(done));
    };
  }
  // A step that is answered before it returns.
  OneAtATime::Step AnsweredAtOnce(const std::string& name) {
    return [this, name](OneAtATime::Done done) {
      log.push_back(name);
      done();
    };
  }
};

using Log = std::vector<std::string>;

TEST(OneAtATimeTest, EachStepWaitsForTheAnswerBeforeIt) {
  Harness h;
  OneAtATime steps(h.Poster(), 2000);
  steps.Run({h.Step("a"), h.Step("b"), h.Step("c")});
  EXPECT_EQ(Log{"a"}, h.log);
  ASSERT_EQ(1u, h.delayed.size());
  EXPECT_EQ(2000, h.delayed[0].second);

  h.dones[0]();
  EXPECT_EQ((Log{"a", "b"}), h.log);
  // A second answer to the same step does not skip the next one.
  h.dones[0]();
  EXPECT_EQ((Log{"a", "b"}), h.log);
  h.dones[1]();
  EXPECT_EQ((Log{"a", "b", "c"}), h.log);
  h.dones[2]();

  // The wait for an answered step ends without effect.
  for (auto& task : h.delayed) task.first();
  EXPECT_EQ((Log{"a", "b", "c"}), h.log);

  // Steps added once all are done start at once; added while one is under
  // way, they queue behind it.
  steps.Run({h.Step("d")});
  steps.Run({h.Step("e")});
  EXPECT_EQ((Log{"a", "b", "c", "d"}), h.log);
  h.dones[3]();
  EXPECT_EQ((Log{"a", "b", "c", "d", "e"}), h.log);
}

TEST(OneAtATimeTest, AStepWithoutAnAnswerHoldsUpTheNextOnlyUntilItsWaitEnds) {
  Harness h;
  OneAtATime steps(h.Poster(), 500);
  steps.Run({h.Step("silent"), h.Step("next"), h.Step("last")});
  ASSERT_EQ(1u, h.delayed.size());
  h.delayed[0].first();  // the wait for "silent" has passed
  EXPECT_EQ((Log{"silent", "next"}), h.log);

  // The answer that comes too late does not start "last" before "next" is
  // answered.
  h.dones[0]();
  EXPECT_EQ((Log{"silent", "next"}), h.log);
  h.dones[1]();
  EXPECT_EQ((Log{"silent", "next", "last"}), h.log);
}

TEST(OneAtATimeTest, StepsAnsweredAtOnceRunStraightThrough) {
  Harness h;
  OneAtATime steps(h.Poster(), 100);
  steps.Run({h.AnsweredAtOnce("a"), h.AnsweredAtOnce("b"), h.Step("c"), h.AnsweredAtOnce("d")});
  EXPECT_EQ((Log{"a", "b", "c"}), h.log);
  h.dones[0]();
  EXPECT_EQ((Log{"a", "b", "c", "d"}), h.log);
}

TEST(OneAtATimeTest, AnswersAndWaitsAfterTheOwnerHasGoneDoNothing) {
  Harness h;
  auto steps = std::make_unique<OneAtATime>(h.Poster(), 100);
  steps->Run({h.Step("a"), h.Step("b")});
  steps.reset();
  h.dones[0]();
  h.delayed[0].first();
  EXPECT_EQ(Log{"a"}, h.log);
}

}  // namespace
