#include "app/usage_events.h"

#include <gtest/gtest.h>

#include "tests/app/app_test_service.h"
#include "tests/app/test_ui_thread.h"

namespace {

using testing_support::EventCount;
using testing_support::ServiceBase;

TEST(StatisticsEventBodyTest, ExactBody) {
  EXPECT_EQ(
      "{\"payload\": {\"data\": {}, \"hostname\": \"stats.fernwick.example\", \"name\": "
      "\"startup\", \"website\": \"5e1d7c3a-2b94-4f60-8a1e-73c9d04b6f28\"}, \"type\": \"event\"}",
      StatisticsEventBody("startup", "stats.fernwick.example"));
  EXPECT_EQ(
      "{\"payload\": {\"data\": {}, \"hostname\": \"\", \"name\": \"a\\\"b\", \"website\": "
      "\"5e1d7c3a-2b94-4f60-8a1e-73c9d04b6f28\"}, \"type\": \"event\"}",
      StatisticsEventBody("a\"b", ""));
}

TEST(ReportEventTest, EventsReachTheServiceInAnyOrder) {
  REQUIRE_APP_SERVICE();
  StatisticsTarget target;
  target.url = ServiceBase() + L"/api/send";
  target.hostname = "localhost";
  const int startups = EventCount("startup");
  const int launches = EventCount("installer_launch");
  ReportEvent("startup", target);
  ReportEvent("installer_launch", target);
  ReportEvent("startup", target);
  testing_support::TestUiThread ui;
  EXPECT_TRUE(ui.RunUntil(
      [&] {
        ::Sleep(20);
        return EventCount("startup") == startups + 2 &&
               EventCount("installer_launch") == launches + 1;
      },
      20000));
}

TEST(ReportEventTest, UnreachableOrMalformedTargetsAreSilent) {
  StatisticsTarget target;
  target.url = L"ftp://127.0.0.1/api/send";
  EXPECT_NO_THROW(SendStatisticsEvent("startup", target));
  target.url = L"http://127.0.0.1:99999999999/api/send";
  EXPECT_NO_THROW(SendStatisticsEvent("startup", target));
  target.url = L"http://127.0.0.1:1/api/send";
  EXPECT_NO_THROW(SendStatisticsEvent("startup", target));
  EXPECT_NO_THROW(ReportEvent("startup", target));
  // An event name that is not UTF-8 is still sent as its bytes.
  EXPECT_NO_THROW(SendStatisticsEvent("\xFF", target));
}

}  // namespace
