// GDI+ runs for the whole test program, as it does for the application.
#include <windows.h>

#include <gdiplus.h>
#include <objidl.h>

#include <gtest/gtest.h>

namespace {

class GdiplusSession : public ::testing::Environment {
 public:
  void SetUp() override {
    Gdiplus::GdiplusStartupInput input;
    ASSERT_EQ(Gdiplus::GdiplusStartup(&token_, &input, nullptr), Gdiplus::Ok);
  }
  void TearDown() override { Gdiplus::GdiplusShutdown(token_); }

 private:
  ULONG_PTR token_ = 0;
};

const ::testing::Environment* const kGdiplus =
    ::testing::AddGlobalTestEnvironment(new GdiplusSession);

}  // namespace
