// GDI+, the render factory and the sample skin's global definitions stay up
// for the whole test program, as they do for the application.
#include "tests/ui/core/window/window_test_support.h"

#include <gdiplus.h>
#include <objidl.h>

#include <gtest/gtest.h>

#include "ui/core/global_manager.h"
#include "ui/core/window_builder.h"
#include "ui/render/render.h"
#include "ui/render/render_factory_gdiplus.h"

namespace ui::testing {

FakeTimers& WindowTimers() {
  static FakeTimers* timers = new FakeTimers();
  return *timers;
}

std::wstring SkinRoot() {
  wchar_t path[MAX_PATH];
  const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path, length);
  folder.erase(folder.find_last_of(L"\\/") + 1);
  return folder + L"window_skin\\";
}

void ParkCursor() {
  ::SetCursorPos(::GetSystemMetrics(SM_CXSCREEN) - 1, ::GetSystemMetrics(SM_CYSCREEN) - 1);
}

SampleWindow* SampleWindow::Open(std::wstring skin_file, std::vector<std::wstring> watched,
                                 DWORD style) {
  auto* window = new SampleWindow(std::move(skin_file), std::move(watched));
  if (window->Create(nullptr, L"Sample", style, 0) == nullptr) return nullptr;
  window->Show(true, false);
  ::UpdateWindow(window->GetHWND());
  PumpMessages();
  return window;
}

void SampleWindow::OnSkinLoaded() {
  ++skin_loaded;
  for (const std::wstring& name : watched_) {
    Control* control = FindControlByName(name);
    if (control == nullptr) continue;
    control->AttachAll([this, name](const EventArgs& args) {
      events.push_back(Event{name, args.type});
      return true;
    });
  }
}

namespace {

// Tracks a drag while pressed, as a scroll bar does.
class Dragger : public Control {
 public:
  bool NeedsButtonUpOnKillFocus() const override { return true; }
};

}  // namespace

Control* SampleWindow::CreateCustomControl(const std::wstring& class_name) {
  if (class_name == L"Custom") return new Control();
  if (class_name == L"Dragger") return new Dragger();
  return nullptr;
}

LPARAM ClientPoint(const Control* control) {
  const RECT& rect = control->GetRect();
  return MAKELPARAM((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
}

LPARAM ScreenPoint(HWND hwnd, int x, int y) {
  POINT point = {x, y};
  ::ClientToScreen(hwnd, &point);
  return MAKELPARAM(point.x, point.y);
}

LPARAM ScreenPoint(HWND hwnd, const Control* control) {
  const RECT& rect = control->GetRect();
  return ScreenPoint(hwnd, (rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
}

DWORD BackBufferPixel(Window* window, int x, int y) {
  const IRenderContext* context = window->GetRenderContext();
  return reinterpret_cast<const DWORD*>(context->GetBits())[y * context->GetWidth() + x];
}

namespace {

class WindowSession : public ::testing::Environment {
 public:
  void SetUp() override {
    Gdiplus::GdiplusStartupInput input;
    ASSERT_EQ(Gdiplus::GdiplusStartup(&token_, &input, nullptr), Gdiplus::Ok);
    SetRenderFactory(std::make_unique<RenderFactory_GdiPlus>());
    Control::SetAnimationTimerManager(&WindowTimers().manager);
    ParkCursor();
    GlobalManager::SetResourcePath(SkinRoot());
    WindowBuilder global;
    global.Create(L"global.xml");
  }
  void TearDown() override {
    GlobalManager::Shutdown();
    SetRenderFactory(nullptr);
    Gdiplus::GdiplusShutdown(token_);
  }

 private:
  ULONG_PTR token_ = 0;
};

const ::testing::Environment* const kSession =
    ::testing::AddGlobalTestEnvironment(new WindowSession);

}  // namespace
}  // namespace ui::testing
