// Scroll bars and scroll boxes: ranges from layout, the re-layout when a bar
// takes room, hold-end, steps and their animation, the repeat timer, thumb
// geometry and dragging, hit-testing and painting of scrolled content.
#include <gtest/gtest.h>
#include <memory>

#include "tests/ui/control/test_support.h"
#include "ui/control/scroll_bar.h"
#include "ui/control/scrollable_box.h"
#include "ui/core/global_manager.h"
#include "ui/core/window_builder.h"

namespace ui {
namespace {

using testing::AnimationTimers;
using testing::MakeCanvas;
using testing::PixelAt;
using testing::Rect;
using testing::SizedControl;
using testing::TestWindow;

// A column box with a vertical bar that does not hide itself and |count|
// stretch-wide rows of 100 pixels.
class ScrollBoxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    box_.SetAttribute(L"vscrollbarstyle", L"autohidescroll=\"false\" width=\"14\"");
    for (int i = 0; i < 10; ++i) AddRow();
  }
  SizedControl* AddRow() {
    auto* row = new SizedControl(PlaceHolder::kStretch, 100);
    box_.Add(row);
    return row;
  }
  // Lets a running scroll animation finish.
  void Settle() { AnimationTimers().PulseFor(3000); }
  int PosY() const { return box_.GetScrollPos().cy; }

  VScrollableBox box_;
};

TEST_F(ScrollBoxTest, OverflowGivesTheBarTheRangeAndNonFloatingBarsTakeWidth) {
  box_.SetAttribute(L"scrollbarfloat", L"false");
  box_.SetBounds(Rect(0, 0, 200, 300));
  ScrollBar* bar = box_.VerticalScrollBar();
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(bar->GetScrollRange(), 700);
  EXPECT_EQ(box_.GetScrollRange().cy, 700);
  EXPECT_TRUE(bar->IsVisible());
  EXPECT_EQ(bar->GetRect(), Rect(186, 0, 200, 300));
  // The rows were placed again without the bar's width.
  EXPECT_EQ(box_.ChildAt(0)->GetRect(), Rect(0, 0, 186, 100));
  EXPECT_EQ(box_.ChildAt(9)->GetRect(), Rect(0, 900, 186, 1000));
}

TEST_F(ScrollBoxTest, FloatingBarsLeaveTheContentItsWidthAndPaddingPlacesTheBar) {
  box_.SetAttribute(L"scrollbarpadding", L"1,2,3,4");
  box_.SetBounds(Rect(0, 0, 200, 300));
  EXPECT_EQ(box_.ChildAt(0)->GetRect(), Rect(0, 0, 200, 100));
  EXPECT_EQ(box_.VerticalScrollBar()->GetRect(), Rect(183, 2, 197, 296));
}

TEST_F(ScrollBoxTest, ContentThatShrinksIntoViewResetsThePositionAndHidesTheBar) {
  box_.SetBounds(Rect(0, 0, 200, 300));
  box_.SetScrollPosY(500);
  EXPECT_EQ(PosY(), 500);
  while (box_.ChildCount() > 2) box_.RemoveAt(0);
  box_.SetBounds(Rect(0, 0, 200, 300));
  EXPECT_EQ(PosY(), 0);
  EXPECT_EQ(box_.VerticalScrollBar()->GetScrollRange(), 0);
  EXPECT_FALSE(box_.VerticalScrollBar()->IsVisible());
  EXPECT_EQ(box_.ChildAt(0)->GetRect(), Rect(0, 0, 200, 100));
}

TEST_F(ScrollBoxTest, ARangeThatShrinksBelowThePositionClampsIt) {
  box_.SetBounds(Rect(0, 0, 200, 300));
  box_.SetScrollPosY(700);
  box_.RemoveAt(0);
  box_.SetBounds(Rect(0, 0, 200, 300));
  EXPECT_EQ(box_.GetScrollRange().cy, 600);
  EXPECT_EQ(PosY(), 600);
}

TEST_F(ScrollBoxTest, HoldEndKeepsTheViewAtTheBottomOnlyWhenItWasThere) {
  box_.SetAttribute(L"holdend", L"true");
  box_.SetBounds(Rect(0, 0, 200, 300));
  box_.EndDown(false, false);
  EXPECT_EQ(PosY(), 700);
  AddRow();
  box_.SetBounds(Rect(0, 0, 200, 300));
  EXPECT_EQ(PosY(), 800);

  box_.SetScrollPosY(100);
  AddRow();
  box_.SetBounds(Rect(0, 0, 200, 300));
  EXPECT_EQ(PosY(), 100);
}

TEST_F(ScrollBoxTest, PositionsAreClampedAndEachChangeSendsOneScrollChange) {
  box_.SetBounds(Rect(0, 0, 200, 300));
  int changes = 0;
  box_.AttachEvent(kEventScrollChange, [&](const EventArgs&) {
    ++changes;
    return true;
  });
  box_.SetScrollPosY(-5);
  EXPECT_EQ(changes, 0);
  box_.SetScrollPosY(5000);
  EXPECT_EQ(PosY(), 700);
  EXPECT_EQ(changes, 1);
  box_.SetScrollPosY(700);
  EXPECT_EQ(changes, 1);
  // No horizontal bar: the x component stays 0.
  box_.SetScrollPosX(50);
  EXPECT_EQ(box_.GetScrollPos().cx, 0);
  EXPECT_EQ(changes, 1);
}

TEST_F(ScrollBoxTest, AWheelNotchScrollsOneUnitAnimatedAndASecondExtendsTheEnd) {
  box_.SetBounds(Rect(0, 0, 200, 300));
  EventArgs wheel;
  wheel.type = kEventMouseScrollWheel;
  wheel.sender = &box_;
  wheel.wparam = static_cast<WPARAM>(static_cast<INT_PTR>(-120));
  box_.DispatchEvent(wheel);
  EXPECT_EQ(PosY(), 0);  // nothing moves before the first tick
  EXPECT_TRUE(box_.VerticalScrollAnimation().IsPlaying());
  EXPECT_EQ(box_.VerticalScrollAnimation().GetEndValue(), 30);
  AnimationTimers().Pulse();
  AnimationTimers().Pulse();
  const int midway = PosY();
  EXPECT_GT(midway, 0);
  EXPECT_LT(midway, 30);
  box_.DispatchEvent(wheel);
  EXPECT_EQ(box_.VerticalScrollAnimation().GetEndValue(), 60);
  Settle();
  EXPECT_EQ(PosY(), 60);

  // Upward: a positive delta.
  wheel.wparam = 120;
  box_.DispatchEvent(wheel);
  Settle();
  EXPECT_EQ(PosY(), 30);
}

TEST_F(ScrollBoxTest, KeysPageJumpAndStep) {
  box_.SetBounds(Rect(0, 0, 200, 300));
  auto key = [&](WPARAM vk) {
    EventArgs args;
    args.type = kEventKeyDown;
    args.sender = &box_;
    args.wparam = vk;
    box_.DispatchEvent(args);
  };
  key(VK_NEXT);
  EXPECT_EQ(PosY(), 300);
  key(VK_END);
  EXPECT_EQ(PosY(), 700);
  key(VK_PRIOR);
  EXPECT_EQ(PosY(), 400);
  key(VK_HOME);
  EXPECT_EQ(PosY(), 0);
  key(VK_DOWN);
  Settle();
  EXPECT_EQ(PosY(), 30);
  box_.SetVerScrollUnit(0);  // 0 means 20
  key(VK_UP);
  Settle();
  EXPECT_EQ(PosY(), 10);
  box_.LineUp(5, false);
  EXPECT_EQ(PosY(), 5);
}

TEST_F(ScrollBoxTest, TouchAndPenScrollAgainstTheFingerHoldingTheCaptureUntilTheLift) {
  box_.SetBounds(Rect(0, 0, 200, 300));
  auto send = [&](EventType type, int y) {
    EventArgs args;
    args.type = type;
    args.sender = &box_;
    args.mouse = POINT{50, y};
    box_.DispatchEvent(args);
  };
  struct Gesture {
    EventType down, move, up;
  };
  for (const Gesture& g : {Gesture{kEventTouchDown, kEventTouchMove, kEventTouchUp},
                           Gesture{kEventPointDown, kEventPointMove, kEventPointUp}}) {
    SCOPED_TRACE(g.down == kEventTouchDown ? "touch" : "pen");
    box_.SetScrollPosY(0);
    EXPECT_FALSE(box_.HasMouseCapture());
    send(g.down, 200);
    EXPECT_TRUE(box_.HasMouseCapture());
    send(g.move, 150);
    EXPECT_EQ(PosY(), 50);
    send(g.move, 170);
    EXPECT_EQ(PosY(), 30);
    EXPECT_TRUE(box_.HasMouseCapture());
    send(g.up, 170);
    EXPECT_FALSE(box_.HasMouseCapture());
    send(g.move, 100);  // no longer tracked
    EXPECT_EQ(PosY(), 30);
  }

  // The content shrinks into view under the finger: the lift still ends the
  // gesture although the box no longer scrolls.
  send(kEventTouchDown, 200);
  ASSERT_TRUE(box_.HasMouseCapture());
  while (box_.ChildCount() > 2) box_.RemoveAt(0);
  box_.SetBounds(Rect(0, 0, 200, 300));
  ASSERT_EQ(box_.VerticalScrollBar()->GetScrollRange(), 0);
  send(kEventTouchUp, 200);
  EXPECT_FALSE(box_.HasMouseCapture());
  // Content grows again: a move without a new press does not scroll.
  for (int i = 0; i < 8; ++i) AddRow();
  box_.SetBounds(Rect(0, 0, 200, 300));
  ASSERT_GT(box_.VerticalScrollBar()->GetScrollRange(), 0);
  send(kEventTouchMove, 100);
  EXPECT_EQ(PosY(), 0);
}

TEST_F(ScrollBoxTest, HitTestingFindsTheBarFirstAndChildrenAtScrolledPositions) {
  TestWindow window;
  auto* box = new VScrollableBox();
  box->SetAttribute(L"vscrollbarstyle", L"autohidescroll=\"false\" width=\"14\"");
  box->SetMouseChildEnabled(false);  // the bar is still found
  for (int i = 0; i < 10; ++i) box->Add(new SizedControl(PlaceHolder::kStretch, 100));
  window.AttachRoot(box);
  box->SetBounds(Rect(0, 0, 200, 300));
  EXPECT_EQ(window.FindControlAt(POINT{195, 10}), box->VerticalScrollBar());
  EXPECT_EQ(window.FindControlAt(POINT{50, 10}), box);

  box->SetMouseChildEnabled(true);
  box->SetScrollPosY(250);
  EXPECT_EQ(window.FindControlAt(POINT{50, 10}), box->ChildAt(2));
  EXPECT_EQ(window.FindControlAt(POINT{50, 60}), box->ChildAt(3));
  const RECT shown = box->ChildAt(3)->GetRectWithScrollOffset();
  EXPECT_EQ(shown, Rect(0, 50, 200, 150));
}

TEST(ScrollPaintTest, ChildrenArePaintedShiftedAndClippedWithTheBarOnTop) {
  GlobalManager::AddTextColor(L"scroll_red", 0xFFFF0000);
  GlobalManager::AddTextColor(L"scroll_blue", 0xFF0000FF);
  GlobalManager::AddTextColor(L"scroll_green", 0xFF00FF00);
  VScrollableBox box;
  box.SetAttribute(L"vscrollbarstyle",
                   L"autohidescroll=\"false\" width=\"10\" bkcolor=\"scroll_green\"");
  auto* red = new SizedControl(PlaceHolder::kStretch, 60);
  red->SetBkColor(L"scroll_red");
  auto* blue = new SizedControl(PlaceHolder::kStretch, 60);
  blue->SetBkColor(L"scroll_blue");
  box.Add(red);
  box.Add(blue);
  box.SetBounds(Rect(0, 0, 40, 50));
  box.SetScrollPosY(40);
  auto canvas = MakeCanvas(40, 60);
  box.Paint(canvas.get(), Rect(0, 0, 40, 60));
  EXPECT_EQ(PixelAt(*canvas, 5, 5), 0xFFFF0000u);    // red row 40..60 at 0..20
  EXPECT_EQ(PixelAt(*canvas, 5, 30), 0xFF0000FFu);   // blue row 60..120 at 20..
  EXPECT_EQ(PixelAt(*canvas, 5, 55), 0u);            // below the box: clipped
  EXPECT_EQ(PixelAt(*canvas, 35, 30), 0xFF00FF00u);  // the bar over the content
}

// --- ScrollBar on its own ---

class ScrollBarTest : public ::testing::Test {
 protected:
  void SetUp() override {
    bar_.SetAttribute(L"width", L"14");
    bar_.SetAutoHideScroll(false);
  }
  void Mouse(EventType type, POINT point) {
    EventArgs args;
    args.type = type;
    args.sender = &bar_;
    args.mouse = point;
    bar_.DispatchEvent(args);
  }
  ScrollBar bar_;
};

TEST_F(ScrollBarTest, TheThumbFollowsRangeAndPositionAndNeverGetsShorterThanItsMinimum) {
  bar_.SetShowButton1(false);
  bar_.SetShowButton2(false);
  bar_.SetScrollRange(900);
  bar_.SetBounds(Rect(0, 0, 14, 100));
  EXPECT_EQ(bar_.GetThumbRect(), Rect(0, 0, 14, 30));  // 100 * 100 / 1000 = 10, raised
  bar_.SetScrollPos(450);
  EXPECT_EQ(bar_.GetThumbRect(), Rect(0, 35, 14, 65));
  bar_.SetScrollPos(2000);
  EXPECT_EQ(bar_.GetScrollPos(), 900);
  EXPECT_EQ(bar_.GetThumbRect(), Rect(0, 70, 14, 100));

  bar_.SetScrollRange(100);
  EXPECT_EQ(bar_.GetScrollPos(), 100);
  EXPECT_EQ(bar_.GetThumbRect(), Rect(0, 50, 14, 100));  // 100 * 100 / 200
  bar_.SetScrollRange(-3);
  EXPECT_EQ(bar_.GetScrollRange(), 0);
  EXPECT_FALSE(bar_.IsVisible());
  EXPECT_TRUE(::IsRectEmpty(&bar_.GetThumbRect()));
}

TEST_F(ScrollBarTest, ButtonsTakeTheirEndsAndABarTooShortHasNoThumb) {
  bar_.SetScrollRange(100);
  bar_.SetBounds(Rect(0, 0, 14, 114));
  EXPECT_EQ(bar_.GetButton1Rect(), Rect(0, 0, 14, 14));
  EXPECT_EQ(bar_.GetButton2Rect(), Rect(0, 100, 14, 114));
  EXPECT_EQ(bar_.GetThumbRect(), Rect(0, 14, 14, 59));  // 114 * 86 / 214 = 45
  bar_.SetScrollPos(100);
  EXPECT_EQ(bar_.GetThumbRect(), Rect(0, 55, 14, 100));

  bar_.SetBounds(Rect(0, 0, 14, 20));
  EXPECT_EQ(bar_.GetButton1Rect(), Rect(0, 0, 14, 10));
  EXPECT_EQ(bar_.GetButton2Rect(), Rect(0, 10, 14, 20));
  EXPECT_TRUE(::IsRectEmpty(&bar_.GetThumbRect()));
}

TEST_F(ScrollBarTest, HorizontalBarsWorkAlongX) {
  bar_.SetHorizontal(true);
  EXPECT_EQ(bar_.GetFixedHeight(), 14);
  bar_.SetShowButton1(false);
  bar_.SetShowButton2(false);
  bar_.SetScrollRange(100);
  bar_.SetBounds(Rect(0, 0, 100, 14));
  EXPECT_EQ(bar_.GetThumbRect(), Rect(0, 0, 50, 14));
}

TEST_F(ScrollBarTest, AHeldButtonStepsAtOnceThenRepeatsFromAboutThreeHundredMilliseconds) {
  bar_.SetScrollRange(1000);
  bar_.SetBounds(Rect(0, 0, 14, 200));
  Mouse(kEventMouseButtonDown, POINT{5, 195});
  EXPECT_EQ(bar_.GetScrollPos(), 8);
  EXPECT_EQ(bar_.GetButton2State(), kControlStatePushed);
  AnimationTimers().PulseFor(240);
  EXPECT_EQ(bar_.GetScrollPos(), 8);
  AnimationTimers().PulseFor(200);
  EXPECT_GE(bar_.GetScrollPos(), 16);
  AnimationTimers().PulseFor(300);
  const int64_t held = bar_.GetScrollPos();
  EXPECT_GE(held, 40);
  Mouse(kEventMouseButtonUp, POINT{5, 195});
  EXPECT_FALSE(bar_.IsRepeating());
  EXPECT_EQ(bar_.GetButton2State(), kControlStateHot);
  AnimationTimers().PulseFor(400);
  EXPECT_EQ(bar_.GetScrollPos(), held);
}

TEST_F(ScrollBarTest, DraggingTheThumbMovesThePositionOnTheNextTick) {
  bar_.SetShowButton1(false);
  bar_.SetShowButton2(false);
  bar_.SetScrollRange(200);
  bar_.SetBounds(Rect(0, 0, 14, 200));  // thumb 100 long, 100 pixels of travel
  Mouse(kEventMouseButtonDown, POINT{5, 50});
  EXPECT_EQ(bar_.GetThumbState(), kControlStatePushed);
  Mouse(kEventMouseMove, POINT{5, 90});
  EXPECT_EQ(bar_.GetScrollPos(), 0);
  AnimationTimers().PulseFor(70);
  EXPECT_EQ(bar_.GetScrollPos(), 80);
  Mouse(kEventMouseMove, POINT{5, 400});
  AnimationTimers().PulseFor(70);
  EXPECT_EQ(bar_.GetScrollPos(), 200);
  Mouse(kEventMouseButtonUp, POINT{300, 300});
  EXPECT_EQ(bar_.GetThumbState(), kControlStateNormal);
}

TEST_F(ScrollBarTest, TheTrackPagesTowardTheCursorUntilTheThumbReachesIt) {
  bar_.SetShowButton1(false);
  bar_.SetShowButton2(false);
  bar_.SetScrollRange(1000);
  bar_.SetBounds(Rect(0, 0, 14, 100));  // a page is 100
  Mouse(kEventMouseButtonDown, POINT{5, 90});
  EXPECT_EQ(bar_.GetScrollPos(), 100);
  AnimationTimers().PulseFor(2000);
  // The thumb (30 long over 70 of travel) covers y = 90 from position 858 on.
  EXPECT_GE(bar_.GetScrollPos(), 800);
  EXPECT_LE(bar_.GetScrollPos(), 1000);
  const RECT& thumb = bar_.GetThumbRect();
  EXPECT_TRUE(thumb.top <= 90 && 90 < thumb.bottom) << thumb;
  Mouse(kEventMouseButtonUp, POINT{5, 90});
}

TEST_F(ScrollBarTest, AButtonOfAnOwnedBarStepsTheBoxAnimated) {
  VScrollableBox box;
  box.SetAttribute(L"vscrollbarstyle", L"autohidescroll=\"false\" width=\"14\"");
  for (int i = 0; i < 10; ++i) box.Add(new SizedControl(PlaceHolder::kStretch, 100));
  box.SetBounds(Rect(0, 0, 200, 300));
  ScrollBar* bar = box.VerticalScrollBar();
  EventArgs down;
  down.type = kEventMouseButtonDown;
  down.sender = bar;
  down.mouse = POINT{195, 295};
  bar->DispatchEvent(down);
  EXPECT_TRUE(box.VerticalScrollAnimation().IsPlaying());
  EventArgs up = down;
  up.type = kEventMouseButtonUp;
  bar->DispatchEvent(up);
  AnimationTimers().PulseFor(3000);
  EXPECT_EQ(box.GetScrollPos().cy, 30);
}

TEST(ScrollAttributeTest, BarsAreMadeAndDroppedByAttributes) {
  ScrollableBox box;
  box.SetAttribute(L"hscrollbar", L"true");
  ASSERT_NE(box.HorizontalScrollBar(), nullptr);
  EXPECT_TRUE(box.HorizontalScrollBar()->IsHorizontal());
  EXPECT_EQ(box.VerticalScrollBar(), nullptr);
  box.SetAttribute(L"vscrollbar", L"true");
  ASSERT_NE(box.VerticalScrollBar(), nullptr);
  EXPECT_EQ(box.VerticalScrollBar()->GetOwner(), &box);
  EXPECT_FALSE(box.VerticalScrollBar()->IsVisible());
  box.SetAttribute(L"hscrollbar", L"yes");
  EXPECT_EQ(box.HorizontalScrollBar(), nullptr);
  EXPECT_NE(box.VerticalScrollBar(), nullptr);
  box.SetAttribute(L"vscrollunit", L"45");
  box.SetAttribute(L"holdend", L"true");
  box.SetAttribute(L"scrollbarfloat", L"TRUE");
  EXPECT_EQ(box.GetVerScrollUnit(), 45);
  EXPECT_TRUE(box.IsHoldEnd());
  EXPECT_FALSE(box.IsScrollBarFloat());
  box.SetAttribute(L"vscrollbarstyle", L"showbutton1=\"false\" thumbminlength=\"12\"");
  EXPECT_FALSE(box.VerticalScrollBar()->IsShowButton1());
  EXPECT_EQ(box.VerticalScrollBar()->GetThumbMinLength(), 12);
}

TEST(ScrollHorizontalTest, AWideRowGetsAHorizontalRangeAndTheWheelMovesIt) {
  HScrollableBox box;
  box.SetAttribute(L"hscrollbarstyle", L"autohidescroll=\"false\" height=\"14\"");
  for (int i = 0; i < 5; ++i) box.Add(new SizedControl(100, PlaceHolder::kStretch));
  box.SetBounds(Rect(0, 0, 300, 100));
  EXPECT_EQ(box.GetScrollRange().cx, 200);
  EXPECT_EQ(box.HorizontalScrollBar()->GetRect(), Rect(0, 86, 300, 100));
  EventArgs wheel;
  wheel.type = kEventMouseScrollWheel;
  wheel.sender = &box;
  wheel.wparam = static_cast<WPARAM>(static_cast<INT_PTR>(-120));
  box.DispatchEvent(wheel);
  EXPECT_EQ(box.GetScrollPos().cx, 30);
  box.EndRight();
  EXPECT_EQ(box.GetScrollPos().cx, 200);
  box.PageLeft();
  EXPECT_EQ(box.GetScrollPos().cx, 0);
}

TEST(ScrollBuilderTest, SkinsNameTheScrollingControls) {
  WindowBuilder builder;
  Control* built = builder.Create(
      L"<Window><VScrollableBox vscrollbar=\"true\" holdend=\"true\">"
      L"<HScrollableBox hscrollbar=\"true\"/><ScrollableBox/><TileScrollableBox/>"
      L"<ScrollBar horizontal=\"true\"/></VScrollableBox></Window>");
  std::unique_ptr<Control> root(built);
  auto* box = dynamic_cast<VScrollableBox*>(built);
  ASSERT_NE(box, nullptr);
  EXPECT_TRUE(box->IsHoldEnd());
  EXPECT_NE(box->VerticalScrollBar(), nullptr);
  ASSERT_EQ(box->ChildCount(), 4);
  auto* row = dynamic_cast<HScrollableBox*>(box->ChildAt(0));
  ASSERT_NE(row, nullptr);
  EXPECT_NE(row->HorizontalScrollBar(), nullptr);
  EXPECT_NE(dynamic_cast<ScrollableBox*>(box->ChildAt(1)), nullptr);
  EXPECT_NE(dynamic_cast<TileScrollableBox*>(box->ChildAt(2)), nullptr);
  auto* bar = dynamic_cast<ScrollBar*>(box->ChildAt(3));
  ASSERT_NE(bar, nullptr);
  EXPECT_TRUE(bar->IsHorizontal());
}

}  // namespace
}  // namespace ui

namespace ui {
namespace {

TEST(ScrollWindowTest, AutoHidingBarsShowWhileTheMouseIsOverTheBox) {
  TestWindow window;
  ASSERT_NE(window.Create(nullptr, L"scroll", WS_POPUP, 0, false, Rect(0, 0, 300, 300)), nullptr);
  auto* root = new HBox();
  auto* box = new VScrollableBox();
  box->SetFixedWidth(200, false, false);
  box->SetAttribute(L"vscrollbar", L"true");
  for (int i = 0; i < 10; ++i) box->Add(new SizedControl(PlaceHolder::kStretch, 100));
  root->Add(box);
  auto* beside = new SizedControl(100, PlaceHolder::kStretch);
  root->Add(beside);
  window.AttachRoot(root);
  root->SetBounds(Rect(0, 0, 300, 300));
  ScrollBar* bar = box->VerticalScrollBar();
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(bar->GetScrollRange(), 700);
  EXPECT_FALSE(bar->IsVisible());  // auto-hiding, the mouse is elsewhere

  HWND hwnd = window.GetHWND();
  ::SendMessageW(hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(50, 50));
  testing::AnimationTimers().PulseFor(500);
  EXPECT_TRUE(bar->IsVisible());
  // Onto the bar itself: it stays.
  ::SendMessageW(hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(195, 50));
  testing::AnimationTimers().PulseFor(500);
  EXPECT_TRUE(bar->IsVisible());
  EXPECT_EQ(window.GetHoverControl(), bar);
  ::SendMessageW(hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(250, 50));
  testing::AnimationTimers().PulseFor(500);
  EXPECT_FALSE(bar->IsVisible());
}

}  // namespace
}  // namespace ui

namespace ui {
namespace {

// Records whether it holds its images.
class CachedRow : public SizedControl {
 public:
  CachedRow() : SizedControl(PlaceHolder::kStretch, 500) {}
  void LoadImageCache() override { loaded = true; }
  void UnloadImageCache() override { loaded = false; }
  bool loaded = true;
};

TEST(ScrollImageCacheTest, ChildrenFarFromTheViewDropTheirImagesAndGetThemBackNearIt) {
  VScrollableBox box;
  box.SetAttribute(L"vscrollbar", L"true");
  std::vector<CachedRow*> rows;
  for (int i = 0; i < 8; ++i) {
    rows.push_back(new CachedRow());
    box.Add(rows.back());
  }
  box.SetBounds(Rect(0, 0, 200, 300));  // rows at 0, 500, ..., 3500
  box.SetScrollPosY(2000);              // view 2000..2300
  // Within 730 pixels of the view: rows 2 (1000..1500) to 6 (3000..3500).
  const bool near_2000[8] = {false, false, true, true, true, true, true, false};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(rows[i]->loaded, near_2000[i]) << "row " << i;
  box.HomeUp();
  const bool near_top[8] = {true, true, true, false, false, false, false, false};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(rows[i]->loaded, near_top[i]) << "row " << i;
}

}  // namespace
}  // namespace ui
