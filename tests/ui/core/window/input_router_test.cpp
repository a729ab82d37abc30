// The input router's one press for three sources, and the window's targets
// once their controls are deleted.
#include "ui/core/input_router.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "tests/ui/core/window/window_test_support.h"
#include "ui/control/box.h"
#include "ui/core/window.h"

namespace ui {
namespace {

using Source = InputRouter::Source;
using testing::PumpMessages;

class PlainWindow : public Window {
 public:
  std::wstring ClassName() const override { return L"UiInputRouterTestWindow"; }
};

// A 200 x 100 window whose left half is control "a" and right half "b", with
// the press, move, up, enter and leave events of both recorded whatever their
// source ("a down", "b enter", ...).
class TwoControls : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(window_.Create(nullptr, L"router", WS_POPUP, 0, false, RECT{0, 0, 200, 100}),
              nullptr);
    root_ = new HBox();
    a_ = Add(L"a");
    b_ = Add(L"b");
    window_.AttachRoot(root_);
    window_.LayoutPass(RECT{0, 0, 200, 100});
  }
  void TearDown() override {
    ::ReleaseCapture();
    PumpMessages();
  }

  Control* Add(const std::wstring& name) {
    auto* control = new Control();
    control->SetName(name);
    control->AttachAll([this, name](const EventArgs& args) {
      const wchar_t* kind = Kind(args.type);
      if (kind != nullptr) log_.push_back(name + L" " + kind);
      return true;
    });
    root_->Add(control);
    return control;
  }

  static const wchar_t* Kind(EventType type) {
    switch (type) {
      case kEventMouseButtonDown:
      case kEventTouchDown:
      case kEventPointDown:
        return L"down";
      case kEventMouseMove:
      case kEventTouchMove:
      case kEventPointMove:
        return L"move";
      case kEventMouseButtonUp:
      case kEventTouchUp:
      case kEventPointUp:
        return L"up";
      case kEventMouseEnter:
        return L"enter";
      case kEventMouseLeave:
        return L"leave";
      default:
        return nullptr;
    }
  }

  static EventType DownEvent(Source source) {
    return source == Source::kMouse   ? kEventMouseButtonDown
           : source == Source::kTouch ? kEventTouchDown
                                      : kEventPointDown;
  }

  PlainWindow window_;
  Box* root_ = nullptr;
  Control* a_ = nullptr;
  Control* b_ = nullptr;
  std::vector<std::wstring> log_;
};

TEST_F(TwoControls, ADragEndsInTheSameEventsForMouseTouchAndPen) {
  const POINT on_a = {50, 50};
  const POINT on_b = {150, 50};
  for (Source source : {Source::kMouse, Source::kTouch, Source::kPointer}) {
    SCOPED_TRACE(static_cast<int>(source));
    window_.SetFocusControl(nullptr);
    log_.clear();
    InputRouter router(window_);
    router.Press(InputRouter::Contact{source, on_a, 1}, DownEvent(source));
    EXPECT_EQ(::GetCapture(), window_.GetHWND());
    // A pen press focuses its control, a finger does not, a mouse press does
    // unless the control refuses focus.
    EXPECT_EQ(window_.GetFocusControl(), source == Source::kTouch ? nullptr : a_);
    router.Move(InputRouter::Contact{source, on_b, 2});
    router.Release(InputRouter::Contact{source, on_b, 3});

    // The press keeps the moves while the hover follows the pointer.
    EXPECT_EQ(log_, (std::vector<std::wstring>{L"a down", L"b enter", L"a move", L"a up"}));
    EXPECT_FALSE(router.HasPress());
    EXPECT_NE(::GetCapture(), window_.GetHWND());
    EXPECT_EQ(router.GetHover(), b_);
    EXPECT_EQ(router.GetEntered(), b_);
    EXPECT_EQ(router.GetLastPoint().x, on_b.x);
  }
}

TEST_F(TwoControls, APressShutsOutTheOtherSourcesUntilItsOwnRelease) {
  InputRouter router(window_);
  const POINT on_a = {50, 50};
  const POINT on_b = {150, 50};
  router.Press(InputRouter::Contact{Source::kTouch, on_a}, kEventTouchDown);
  // The mouse messages a finger also produces, and a pen, change nothing.
  router.Press(InputRouter::Contact{Source::kMouse, on_b}, kEventMouseButtonDown);
  router.Move(InputRouter::Contact{Source::kMouse, on_b});
  EXPECT_TRUE(router.Move(InputRouter::Contact{Source::kPointer, on_b}));
  EXPECT_TRUE(router.Press(InputRouter::Contact{Source::kPointer, on_b}, kEventPointDown));
  router.Release(InputRouter::Contact{Source::kMouse, on_b});
  EXPECT_EQ(log_, (std::vector<std::wstring>{L"a down"}));
  EXPECT_TRUE(router.HasPress());
  EXPECT_EQ(router.GetMousePress(), nullptr);  // the touch's press is not the mouse's

  // A touch move to the same point is no move.
  router.Move(InputRouter::Contact{Source::kTouch, on_a});
  router.Release(InputRouter::Contact{Source::kTouch, on_a});
  EXPECT_EQ(log_, (std::vector<std::wstring>{L"a down", L"a up"}));
  router.Press(InputRouter::Contact{Source::kMouse, on_b}, kEventMouseButtonDown);
  EXPECT_EQ(router.GetMousePress(), b_);
  router.Release(InputRouter::Contact{Source::kMouse, on_b});
}

TEST_F(TwoControls, AFingerOrPenInTheAirIsNoHoverButTheMouseIs) {
  InputRouter router(window_);
  router.Move(InputRouter::Contact{Source::kTouch, POINT{50, 50}});
  router.Move(InputRouter::Contact{Source::kPointer, POINT{60, 50}});
  EXPECT_TRUE(log_.empty());
  EXPECT_EQ(router.GetHover(), nullptr);
  router.Move(InputRouter::Contact{Source::kMouse, POINT{50, 50}});
  router.Move(InputRouter::Contact{Source::kMouse, POINT{150, 50}});
  EXPECT_EQ(log_,
            (std::vector<std::wstring>{L"a enter", L"a move", L"a leave", L"b enter", L"b move"}));
}

TEST_F(TwoControls, AControlDeletedWhileHoveredPressedAndFocusedLeavesNoTarget) {
  HWND hwnd = window_.GetHWND();
  ::SendMessageW(hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(50, 50));
  ::SendMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(50, 50));
  ::SendMessageW(hwnd, WM_KEYDOWN, 'X', 0);
  ASSERT_EQ(window_.GetHoverControl(), a_);
  ASSERT_EQ(window_.GetEnteredControl(), a_);
  ASSERT_EQ(window_.GetPressedControl(), a_);
  ASSERT_EQ(window_.GetFocusControl(), a_);
  ASSERT_EQ(window_.GetKeyControl(), a_);

  root_->Remove(a_);
  window_.RunDelayedCleanup();
  EXPECT_EQ(window_.GetHoverControl(), nullptr);
  EXPECT_EQ(window_.GetEnteredControl(), nullptr);
  EXPECT_EQ(window_.GetPressedControl(), nullptr);
  EXPECT_EQ(window_.GetFocusControl(), nullptr);
  EXPECT_EQ(window_.GetKeyControl(), nullptr);
  EXPECT_EQ(window_.FindControlByName(L"a"), nullptr);

  // What would have gone to the deleted control goes nowhere; the rest of
  // the window carries on.
  log_.clear();
  ::SendMessageW(hwnd, WM_KEYUP, 'X', 0);
  ::SendMessageW(hwnd, WM_CHAR, 'x', 0);
  ::SendMessageW(hwnd, WM_LBUTTONUP, 0, MAKELPARAM(50, 50));
  ::SendMessageW(hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(150, 50));
  EXPECT_EQ(log_, (std::vector<std::wstring>{L"b enter", L"b move"}));
}

TEST_F(TwoControls, AControlThatDeletesItselfOnPressLeavesNoPress) {
  a_->AttachEvent(kEventMouseButtonDown, [this](const EventArgs&) {
    root_->Remove(a_);
    window_.RunDelayedCleanup();
    return true;
  });
  HWND hwnd = window_.GetHWND();
  ::SendMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(50, 50));
  EXPECT_EQ(window_.GetPressedControl(), nullptr);
  EXPECT_EQ(window_.GetFocusControl(), nullptr);
  ::SendMessageW(hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(60, 50));
  ::SendMessageW(hwnd, WM_LBUTTONUP, 0, MAKELPARAM(60, 50));
  EXPECT_NE(::GetCapture(), hwnd);
}

TEST_F(TwoControls, NamesGroupsAndDeletionsForgetDeletedControls) {
  // A deleted control's name is free for the next control that takes it.
  root_->Remove(a_);
  window_.RunDelayedCleanup();
  auto* again = new Control();
  again->SetName(L"a");
  root_->Add(again);
  EXPECT_EQ(window_.FindControlByName(L"a"), again);

  // Groups answer live members only.
  auto* member = new Control();
  root_->Add(member);
  EXPECT_TRUE(window_.AddToGroup(L"g", member));
  EXPECT_TRUE(window_.AddToGroup(L"g", again));
  root_->Remove(member);
  window_.RunDelayedCleanup();
  EXPECT_EQ(window_.GetGroup(L"g"), (std::vector<Control*>{again}));
  EXPECT_TRUE(window_.RemoveFromGroup(L"g", again));
  EXPECT_TRUE(window_.GetGroup(L"g").empty());

  // A control queued twice for deletion is deleted once.
  int deletions = 0;
  class Counted : public Control {
   public:
    explicit Counted(int* count) : count_(count) {}
    ~Counted() override { ++*count_; }

   private:
    int* count_;
  };
  auto* twice = new Counted(&deletions);
  window_.AddDelayedCleanup(twice);
  window_.AddDelayedCleanup(twice);
  EXPECT_EQ(window_.DelayedCleanupCount(), 2u);
  window_.RunDelayedCleanup();
  EXPECT_EQ(deletions, 1);
  EXPECT_EQ(window_.DelayedCleanupCount(), 0u);
}

}  // namespace
}  // namespace ui
