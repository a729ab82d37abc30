// GDI+ and the render factory run for the whole test program, as they do for
// the application.
#include "tests/ui/control/test_support.h"

#include <gdiplus.h>
#include <objidl.h>

#include <gtest/gtest.h>

#include "ui/core/global_manager.h"
#include "ui/render/render_factory_gdiplus.h"

namespace ui::testing {

FakeTimers& AnimationTimers() {
  static FakeTimers* timers = new FakeTimers();
  return *timers;
}

std::unique_ptr<IRenderContext> MakeCanvas(int width, int height) {
  std::unique_ptr<IRenderContext> canvas = GetRenderFactory()->CreateRenderContext();
  canvas->Resize(width, height);
  canvas->Clear();
  return canvas;
}

namespace {

class RenderingSession : public ::testing::Environment {
 public:
  void SetUp() override {
    Gdiplus::GdiplusStartupInput input;
    ASSERT_EQ(Gdiplus::GdiplusStartup(&token_, &input, nullptr), Gdiplus::Ok);
    SetRenderFactory(std::make_unique<RenderFactory_GdiPlus>());
    Control::SetAnimationTimerManager(&AnimationTimers().manager);
  }
  void TearDown() override {
    GlobalManager::Shutdown();
    SetRenderFactory(nullptr);
    Gdiplus::GdiplusShutdown(token_);
  }

 private:
  ULONG_PTR token_ = 0;
};

const ::testing::Environment* const kRendering =
    ::testing::AddGlobalTestEnvironment(new RenderingSession);

}  // namespace
}  // namespace ui::testing
