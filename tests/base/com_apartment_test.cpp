#include "base/com_apartment.h"

#include <windows.h>

#include <objbase.h>

#include <gtest/gtest.h>
#include <thread>

namespace cbase {
namespace {

// The apartment the calling thread is in, or -1 when it is in none.
int ApartmentType() {
  APTTYPE type;
  APTTYPEQUALIFIER qualifier;
  return SUCCEEDED(::CoGetApartmentType(&type, &qualifier)) ? static_cast<int>(type) : -1;
}

// Each case runs on a thread of its own: the state is the thread's.
template <typename Body>
void OnNewThread(Body body) {
  std::thread(body).join();
}

TEST(ComApartmentTest, EnterJoinsOneApartmentOnceAndLeaveEndsIt) {
  OnNewThread([] {
    EXPECT_EQ(ApartmentType(), -1);
    EXPECT_FALSE(ComApartment::Entered());
    ASSERT_TRUE(ComApartment::Enter());
    EXPECT_TRUE(ComApartment::Entered());
    const int type = ApartmentType();
    EXPECT_TRUE(type == APTTYPE_STA || type == APTTYPE_MAINSTA) << type;
    EXPECT_TRUE(ComApartment::Enter());  // no second reference
    ComApartment::Leave();
    EXPECT_FALSE(ComApartment::Entered());
    EXPECT_EQ(ApartmentType(), -1);
    ComApartment::Leave();  // nothing left to balance
    EXPECT_EQ(ApartmentType(), -1);
  });
}

TEST(ComApartmentTest, AThreadInTheMultithreadedApartmentKeepsItAndMayUseCom) {
  OnNewThread([] {
    ASSERT_EQ(::CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    EXPECT_TRUE(ComApartment::Enter());
    EXPECT_FALSE(ComApartment::Entered());
    ComApartment::Leave();
    EXPECT_EQ(ApartmentType(), APTTYPE_MTA);
    ::CoUninitialize();
  });
}

TEST(ComApartmentTest, EachThreadEntersForItself) {
  OnNewThread([] {
    ASSERT_TRUE(ComApartment::Enter());
    OnNewThread([] {
      EXPECT_FALSE(ComApartment::Entered());
      EXPECT_EQ(ApartmentType(), -1);
    });
    ComApartment::Leave();
  });
}

}  // namespace
}  // namespace cbase
