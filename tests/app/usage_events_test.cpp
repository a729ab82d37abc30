#include "app/usage_events.h"

#include <atomic>
#include <functional>
#include <gtest/gtest.h>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "tests/app/app_test_service.h"

namespace {

using testing_support::EventCount;
using testing_support::ServiceBase;

TEST(StatisticsEventBodyTest, ExactBody) {
  // The funnel events' body, byte for byte as the statistics site has always
  // had it: product and channel travel in the address, not here.
  EXPECT_EQ(
      "{\"payload\": {\"data\": {}, \"hostname\": \"stats.fernwick.example\", \"name\": "
      "\"startup\", \"website\": \"5e1d7c3a-2b94-4f60-8a1e-73c9d04b6f28\"}, \"type\": \"event\"}",
      StatisticsEventBody("startup", "stats.fernwick.example"));
  EXPECT_EQ(
      "{\"payload\": {\"data\": {}, \"hostname\": \"\", \"name\": \"a\\\"b\", \"website\": "
      "\"5e1d7c3a-2b94-4f60-8a1e-73c9d04b6f28\"}, \"type\": \"event\"}",
      StatisticsEventBody("a\"b", ""));
}

TEST(StatisticsEventBodyTest, FactsGoIntoDataWithIntegersAndMillisecondSeconds) {
  EXPECT_EQ(
      "{\"payload\": {\"data\": {\"bytes\": 4294967296, \"resumed\": true, \"retries\": 2, "
      "\"seconds\": 1.235}, \"hostname\": \"h\", \"name\": \"download_done\", \"website\": "
      "\"5e1d7c3a-2b94-4f60-8a1e-73c9d04b6f28\"}, \"type\": \"event\"}",
      StatisticsEventBody("download_done", "h",
                          {{"bytes", int64_t{1} << 32},
                           {"seconds", EventSeconds(1.23456)},
                           {"retries", 2},
                           {"resumed", true}}));
  EXPECT_EQ("0.1", DumpJson(EventSeconds(0.1000004)));
  EXPECT_EQ("2", DumpJson(EventSeconds(2.0)));
  EXPECT_EQ("0", DumpJson(EventSeconds(-3)));
  EXPECT_EQ("0", DumpJson(EventSeconds(1.0 / 0.0)));
}

TEST(StatisticsEventBodyTest, AddressCarriesProductAndChannelEncoded) {
  EXPECT_EQ(L"http://s.example/api/send?channel=02&product=fernwick",
            StatisticsSendAddress(L"http://s.example/", L"fernwick", L"02"));
  EXPECT_EQ(L"http://s.example/api/send?channel=a%26b%3Dc+d&product=%E5%AE%89",
            StatisticsSendAddress(L"http://s.example", L"\u5B89", L"a&b=c d"));
}

StatisticsTarget ServiceTarget() {
  StatisticsTarget target;
  target.url = ServiceBase() + L"/api/send?product=fernwick&channel=02";
  target.hostname = "localhost";
  return target;
}

TEST(ReportEventTest, EventsReachTheServiceAndThePendingWaitEnds) {
  REQUIRE_APP_SERVICE();
  StatisticsTarget target = ServiceTarget();
  const int startups = EventCount("startup");
  const int launches = EventCount("installer_launch");
  const int closes = EventCount("closed");
  ReportEvent(target, "startup");
  ReportEvent(target, "installer_launch");
  ReportEvent(target, "closed", {{"page", "welcome"}, {"seconds", 1.5}});
  ReportEvent(target, "startup");
  // What the process's end waits for: every event answered.
  EXPECT_TRUE(WaitForPendingEvents(20000));
  EXPECT_EQ(startups + 2, EventCount("startup"));
  EXPECT_EQ(launches + 1, EventCount("installer_launch"));
  EXPECT_EQ(closes + 1, EventCount("closed"));
}

TEST(ReportEventTest, TheSwitchDropsOutcomeEventsButNotTheFunnel) {
  REQUIRE_APP_SERVICE();
  StatisticsTarget target = ServiceTarget();
  target.outcome_events = false;
  const int startups = EventCount("startup");
  const int closes = EventCount("closed");
  const int failures = EventCount("download_failed");
  ReportEvent(target, "closed", {{"page", "welcome"}});
  ReportEvent(target, "download_failed", {{"status", 404}});
  ReportEvent(target, "startup");
  EXPECT_TRUE(WaitForPendingEvents(20000));
  EXPECT_EQ(startups + 1, EventCount("startup"));
  EXPECT_EQ(closes, EventCount("closed"));
  EXPECT_EQ(failures, EventCount("download_failed"));
}

TEST(ReportEventTest, EveryEventTellsOnceThatItsRequestHasEnded) {
  REQUIRE_APP_SERVICE();
  StatisticsTarget target = ServiceTarget();
  target.outcome_events = false;
  std::atomic<int> dropped{0};
  std::atomic<int> sent{0};
  std::atomic<int> failed{0};
  const int startups = EventCount("startup");
  // A dropped event is told at once, on the calling thread.
  ReportEvent(target, "closed", Json::object(), [&] { ++dropped; });
  EXPECT_EQ(1, dropped.load());
  ReportEvent(target, "startup", Json::object(), [&] { ++sent; });
  StatisticsTarget nowhere;
  nowhere.url = L"http://127.0.0.1:1/api/send";
  ReportEvent(nowhere, "startup", Json::object(), [&] { ++failed; });
  EXPECT_TRUE(WaitForPendingEvents(20000));
  EXPECT_EQ(1, dropped.load());
  EXPECT_EQ(1, sent.load());
  EXPECT_EQ(1, failed.load());
  EXPECT_EQ(startups + 1, EventCount("startup"));
}

// The answers, in the order they came, with when.
struct AnswerLog {
  std::mutex lock;
  std::vector<std::pair<std::string, ULONGLONG>> answers;
  std::function<void()> Note(const std::string& name) {
    return [this, name] {
      std::lock_guard<std::mutex> hold(lock);
      answers.emplace_back(name, ::GetTickCount64());
    };
  }
};

TEST(ReportEventTest, EachEventWaitsForTheAnswerBeforeItButNotForEver) {
  REQUIRE_APP_SERVICE();
  StatisticsTarget slow = ServiceTarget();
  slow.url += L"&fault_delay=1500";
  AnswerLog log;
  ReportEvent(slow, "startup", Json::object(), log.Note("slow"));
  ReportEvent(ServiceTarget(), "startup", Json::object(), log.Note("next"));
  ASSERT_TRUE(WaitForPendingEvents(20000));
  ASSERT_EQ(2u, log.answers.size());
  EXPECT_EQ("slow", log.answers[0].first);
  EXPECT_EQ("next", log.answers[1].first);

  // An answer that takes longer than the wait holds the next one up only
  // that long (5 s).
  StatisticsTarget silent = ServiceTarget();
  silent.url += L"&fault_delay=7500";
  const ULONGLONG start = ::GetTickCount64();
  ReportEvent(silent, "startup", Json::object(), log.Note("silent"));
  ReportEvent(ServiceTarget(), "startup", Json::object(), log.Note("after"));
  ASSERT_TRUE(WaitForPendingEvents(20000));
  ASSERT_EQ(4u, log.answers.size());
  EXPECT_EQ("after", log.answers[2].first);
  EXPECT_EQ("silent", log.answers[3].first);
  EXPECT_GE(log.answers[2].second - start, 4500u);
}

TEST(ReportEventTest, UnreachableOrMalformedTargetsAreSilentAndTheWaitIsBounded) {
  StatisticsTarget target;
  target.url = L"ftp://127.0.0.1/api/send";
  EXPECT_NO_THROW(SendStatisticsEvent("startup", target));
  target.url = L"http://127.0.0.1:99999999999/api/send";
  EXPECT_NO_THROW(SendStatisticsEvent("startup", target));
  target.url = L"http://127.0.0.1:1/api/send";
  EXPECT_NO_THROW(SendStatisticsEvent("startup", target));
  EXPECT_NO_THROW(ReportEvent(target, "startup"));
  // An event name that is not UTF-8 is still sent as its bytes.
  EXPECT_NO_THROW(SendStatisticsEvent("\xFF", target));
  // A failing target does not hold the queue up for long.
  EXPECT_TRUE(WaitForPendingEvents(20000));
}

TEST(ReportEventTest, TheWaitForASlowServiceEndsAtItsBound) {
  REQUIRE_APP_SERVICE();
  StatisticsTarget target = ServiceTarget();
  target.url += L"&fault_delay=3000";
  ReportEvent(target, "closed");
  const ULONGLONG start = ::GetTickCount64();
  EXPECT_FALSE(WaitForPendingEvents(300));
  const ULONGLONG waited = ::GetTickCount64() - start;
  EXPECT_GE(waited, 250u);
  EXPECT_LT(waited, 2500u);
  EXPECT_TRUE(WaitForPendingEvents(20000));
}

}  // namespace
