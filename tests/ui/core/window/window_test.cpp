// The window services controls rely on: the native window's life, closing
// through the root's fade, replacing the root, and animated looks driven by
// the test clock.
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "tests/ui/core/window/window_test_support.h"
#include "ui/control/box.h"
#include "ui/control/button.h"
#include "ui/core/global_manager.h"
#include "ui/core/skin_image.h"

namespace ui {
namespace {

using testing::PumpMessages;

// The animations and the closing delay run on the test program's clock.
testing::FakeTimers& AnimationTimers() { return testing::WindowTimers(); }

RECT Rect(int left, int top, int right, int bottom) { return RECT{left, top, right, bottom}; }

// A bare window that exposes the hover target the input routing would set.
class TestWindow : public Window {
 public:
  std::wstring ClassName() const override { return L"UiWindowTestWindow"; }
  using Window::SetHoverControl;
};

// Tells a test whether it has been deleted.
class Tracked : public Control {
 public:
  explicit Tracked(bool* deleted) : deleted_(deleted) {}
  ~Tracked() override { *deleted_ = true; }

 private:
  bool* deleted_;
};

// A control sized by its content, which the test sets.
class ContentControl : public Control {
 public:
  explicit ContentControl(SIZE content) : content_(content) {
    SetFixedWidth(kAuto, false);
    SetFixedHeight(kAuto, false);
  }
  SIZE EstimateText(SIZE /*available*/) override { return content_; }

 private:
  SIZE content_;
};

TEST(WindowTest, CloseHidesTheRootAndClosesThreeHundredMillisecondsLater) {
  TestWindow window;
  HWND hwnd = window.Create(nullptr, L"close", WS_POPUP, 0, true, Rect(0, 0, 50, 50));
  ASSERT_NE(hwnd, nullptr);
  EXPECT_EQ(::GetWindowLongPtrW(hwnd, GWL_EXSTYLE) & WS_EX_LAYERED, WS_EX_LAYERED);
  auto* root = new VBox();
  window.AttachRoot(root);
  std::vector<EventType> closed;
  window.AttachWindowEvent(kEventWindowClose, [&](const EventArgs& args) {
    closed.push_back(args.type);
    return true;
  });
  window.AttachWindowEvent(kEventAll, [&](const EventArgs&) {
    closed.push_back(kEventAll);
    return true;
  });

  window.Close(7);
  EXPECT_FALSE(root->IsVisible());
  AnimationTimers().PulseFor(288);
  PumpMessages();
  EXPECT_TRUE(::IsWindow(hwnd));
  AnimationTimers().PulseFor(16);
  PumpMessages();
  EXPECT_FALSE(::IsWindow(hwnd));
  EXPECT_EQ(window.GetHWND(), nullptr);
  EXPECT_EQ(closed, (std::vector<EventType>{kEventWindowClose, kEventAll}));
}

TEST(WindowTest, ASuperclassThatDoesNotExistFailsCreation) {
  class Superclassing : public TestWindow {
    std::wstring ClassName() const override { return L"UiWindowTestSuper"; }
    std::wstring SuperClassName() const override { return L"NoSuchSystemClass"; }
  } window;
  EXPECT_EQ(window.Create(nullptr, L"", WS_POPUP, 0, false), nullptr);
}

TEST(WindowTest, ANewRootSendsTheOldOneToTheDelayedCleanup) {
  bool deleted = false;
  TestWindow window;
  auto* first = new VBox();
  first->Add(new Tracked(&deleted));
  window.AttachRoot(first);
  window.AttachRoot(new VBox());
  EXPECT_FALSE(deleted);
  EXPECT_EQ(window.DelayedCleanupCount(), 1u);
  window.RunDelayedCleanup();
  EXPECT_TRUE(deleted);
}

TEST(WindowTest, ContextMenuRequestsBecomeMenuEventsWhenTheControlUsesAMenu) {
  TestWindow window;
  auto* root = new VBox();
  auto* plain = new Control();
  auto* button = new Button();
  root->Add(plain);
  root->Add(button);
  window.AttachRoot(root);
  std::vector<Control*> menus;
  auto record = [&](const EventArgs& args) {
    menus.push_back(args.sender);
    EXPECT_EQ(args.lparam, 99);
    return true;
  };
  plain->AttachEvent(kEventMouseMenu, record);
  button->AttachEvent(kEventMouseMenu, record);
  EventArgs request;
  request.type = kEventInternalMenu;
  request.lparam = 99;
  request.sender = plain;
  plain->DispatchEvent(request);
  request.sender = button;
  button->DispatchEvent(request);
  EXPECT_TRUE(menus.empty());
  plain->SetAttribute(L"menu", L"true");
  button->SetAttribute(L"menu", L"true");
  request.sender = plain;
  plain->DispatchEvent(request);
  request.sender = button;
  button->DispatchEvent(request);
  EXPECT_EQ(menus, (std::vector<Control*>{plain, button}));
}

TEST(AnimatedLookTest, TheHotLookFadesInOnEnterAndOutOnLeave) {
  TestWindow window;
  auto* root = new VBox();
  auto* button = new Button();
  button->SetAttribute(L"hotcolor", L"blue");
  button->SetAttribute(L"fadehot", L"true");
  root->Add(button);
  window.AttachRoot(root);
  window.SetHoverControl(button);
  button->SendEvent(kEventMouseEnter);
  EXPECT_EQ(button->GetState(), kControlStateHot);
  AnimationTimers().Pulse();
  AnimationTimers().Pulse();
  EXPECT_GT(button->GetHotAlpha(), 0);
  EXPECT_LT(button->GetHotAlpha(), 255);
  AnimationTimers().PulseFor(1000);
  EXPECT_EQ(button->GetHotAlpha(), 255);

  window.SetHoverControl(root);
  button->SendEvent(kEventMouseLeave);
  EXPECT_EQ(button->GetState(), kControlStateNormal);
  AnimationTimers().PulseFor(1000);
  EXPECT_EQ(button->GetHotAlpha(), 0);
}

TEST(AnimatedLookTest, FadeVisibleShowsAndHidesThroughTheAlphaFade) {
  TestWindow window;
  auto* root = new VBox();
  auto* panel = new VBox();
  root->Add(panel);
  window.AttachRoot(root);
  panel->SetAttribute(L"fadealpha", L"true");
  EXPECT_EQ(panel->GetAlpha(), 0);
  panel->SetAttribute(L"fadevisible", L"true");
  AnimationTimers().PulseFor(1000);
  EXPECT_EQ(panel->GetAlpha(), 255);
  panel->SetAttribute(L"fadevisible", L"false");
  EXPECT_TRUE(panel->IsVisible());  // until the fade ends
  AnimationTimers().PulseFor(1000);
  EXPECT_EQ(panel->GetAlpha(), 0);
  EXPECT_FALSE(panel->IsVisible());

  // Without fade animations the change is immediate.
  auto* plain = new Control();
  root->Add(plain);
  plain->SetFadeVisible(false);
  EXPECT_FALSE(plain->IsVisible());
}

TEST(AnimatedLookTest, SizeAnimationsGrowTheFixedWidthAndRelayout) {
  TestWindow window;
  auto* root = new HBox();
  auto* growing = new ContentControl(SIZE{80, 10});
  root->Add(growing);
  window.AttachRoot(root);
  window.LayoutPass(Rect(0, 0, 300, 50));
  growing->SetAttribute(L"fadewidth", L"true");
  growing->SetFadeVisible(true);
  AnimationTimers().PulseFor(200);  // of about 560 ms
  EXPECT_TRUE(window.IsLayoutPending());
  window.LayoutPass(Rect(0, 0, 300, 50));
  EXPECT_GT(growing->GetWidth(), 0);
  EXPECT_LT(growing->GetWidth(), 80);
  AnimationTimers().PulseFor(3000);
  window.LayoutPass(Rect(0, 0, 300, 50));
  EXPECT_EQ(growing->GetWidth(), 80);
}

TEST(WindowTest, ThePicturesOfVisibleControlsAreDecodedAheadOfTheFirstPaint) {
  TestWindow window;
  HWND hwnd = window.Create(nullptr, L"prefetch", WS_POPUP, 0, true, Rect(0, 0, 50, 50));
  ASSERT_NE(hwnd, nullptr);
  window.Attach(hwnd);  // a render context to paint with
  auto* root = new VBox();
  window.AttachRoot(root);
  auto add = [root](Control* control, const wchar_t* bk_image) {
    if (bk_image != nullptr) control->SetBkImage(bk_image);
    root->Add(control);
    return control;
  };
  add(new Control(), L"shown.png");
  add(new Control(), L"hidden.png")->SetVisible(false);
  Control* button = add(new Button(), nullptr);
  button->SetStateImage(kStateImageBackground, kControlStateNormal, L"normal.png");
  button->SetStateImage(kStateImageBackground, kControlStateHot, L"hot.png");
  button->SetStateImage(kStateImageForeground, kControlStateNormal, L"fore.png");
  Control* disabled = add(new Button(), nullptr);
  disabled->SetStateImage(kStateImageBackground, kControlStateNormal, L"disabled_normal.png");
  disabled->SetEnabled(false);
  auto* hidden_box = new VBox();
  root->Add(hidden_box);
  auto* in_hidden_box = new Control();
  in_hidden_box->SetBkImage(L"in_hidden_box.png");
  hidden_box->Add(in_hidden_box);
  hidden_box->SetVisible(false);
  // Deep in nested boxes.
  Box* deepest = root;
  for (int i = 0; i < 200; ++i) {
    auto* box = new VBox();
    deepest->Add(box);
    deepest = box;
  }
  auto* deep = new Control();
  deep->SetBkImage(L"deep.png");
  deepest->Add(deep);

  window.PrefetchShownImages();
  auto prefetched = [&window](const wchar_t* file) {
    return GlobalManager::IsImagePrefetched(GetFullImagePath(window.GetResourcePath(), file));
  };
  for (const wchar_t* file : {L"shown.png", L"normal.png", L"fore.png", L"deep.png"}) {
    EXPECT_TRUE(prefetched(file)) << file;
  }
  for (const wchar_t* file :
       {L"hidden.png", L"hot.png", L"disabled_normal.png", L"in_hidden_box.png"}) {
    EXPECT_FALSE(prefetched(file)) << file;
  }

  // The key a decoding is held under is the one the paint asks for: drawing
  // takes it (though the file does not exist, and nothing is drawn).
  ImageAttribute drawn = button->GetStateImage(kStateImageBackground, kControlStateNormal);
  EXPECT_FALSE(LoadAttributeImage(window.GetResourcePath(), drawn));
  EXPECT_FALSE(prefetched(L"normal.png"));
  EXPECT_TRUE(prefetched(L"shown.png"));

  // The first paint keeps none of them: what it did not take is dropped.
  window.Show(true, false);
  ::SendMessageW(hwnd, WM_PAINT, 0, 0);
  PumpMessages();
  EXPECT_FALSE(prefetched(L"shown.png"));
  EXPECT_FALSE(prefetched(L"deep.png"));
}

}  // namespace
}  // namespace ui
