// Container operations, ownership and disposal, and searching the tree.
#include "ui/control/box.h"

#include <gtest/gtest.h>
#include <memory>

#include "tests/ui/control/test_support.h"
#include "ui/control/shadow_box.h"
#include "ui/core/global_manager.h"

namespace ui {
namespace {

using testing::Rect;
using testing::SizedControl;
using testing::TestWindow;
using testing::Tracked;

class ListElement : public Control {
 public:
  bool IsListElement() const override { return true; }
};

TEST(BoxTest, IndexesAreCheckedAndInsertAtTheCountAppends) {
  Box box;
  auto* a = new Control();
  auto* b = new Control();
  auto* c = new Control();
  EXPECT_FALSE(box.Add(nullptr));
  EXPECT_TRUE(box.Add(a));
  EXPECT_FALSE(box.InsertAt(b, 2));
  EXPECT_FALSE(box.InsertAt(b, -1));
  EXPECT_TRUE(box.InsertAt(b, 1));
  EXPECT_TRUE(box.InsertAt(c, 0));
  EXPECT_EQ(box.IndexOf(c), 0);
  EXPECT_EQ(box.IndexOf(b), 2);
  EXPECT_EQ(box.ChildAt(-1), nullptr);
  EXPECT_EQ(box.ChildAt(3), nullptr);
  EXPECT_EQ(a->GetParent(), &box);

  EXPECT_FALSE(box.MoveChild(c, 3));
  EXPECT_TRUE(box.MoveChild(c, 2));
  EXPECT_EQ(box.ChildAt(2), c);
  Control stranger;
  EXPECT_FALSE(box.MoveChild(&stranger, 0));
  EXPECT_FALSE(box.Remove(&stranger));
  EXPECT_FALSE(box.RemoveAt(5));
  EXPECT_TRUE(box.RemoveAt(0));
  EXPECT_EQ(box.ChildCount(), 2);
}

TEST(BoxTest, RemovedChildrenAreDeletedUnlessTheBoxDoesNotOwnThem) {
  bool first_deleted = false;
  bool second_deleted = false;
  Box box;
  auto* first = new Tracked(&first_deleted);
  auto* second = new Tracked(&second_deleted);
  box.Add(first);
  box.Add(second);
  box.Remove(first);
  EXPECT_TRUE(first_deleted);
  box.SetAutoDestroy(false);
  box.Remove(second);
  EXPECT_FALSE(second_deleted);
  EXPECT_EQ(second->GetParent(), nullptr);
  delete second;
}

TEST(BoxTest, DestroyingABoxDeletesItsChildrenAtOnce) {
  bool deleted = false;
  TestWindow window;
  auto* root = new VBox();
  auto* inner = new VBox();
  inner->Add(new Tracked(&deleted));
  root->Add(inner);
  window.AttachRoot(root);
  root->Remove(inner);  // the window deletes it later
  EXPECT_FALSE(deleted);
  window.RunDelayedCleanup();
  EXPECT_TRUE(deleted);
  EXPECT_EQ(window.DelayedCleanupCount(), 0u);
}

TEST(BoxTest, DelayedCleanupRunsFromTheMessageLoop) {
  TestWindow window;
  ASSERT_NE(window.Create(nullptr, L"cleanup", WS_POPUP, 0, false, Rect(0, 0, 100, 100)), nullptr);
  auto* root = new VBox();
  bool removed_deleted = false;
  bool all_deleted[2] = {false, false};
  auto* removed = new Tracked(&removed_deleted);
  auto* pair = new VBox();
  pair->Add(new Tracked(&all_deleted[0]));
  pair->Add(new Tracked(&all_deleted[1]));
  root->Add(removed);
  root->Add(pair);
  window.AttachRoot(root);

  root->Remove(removed);
  pair->RemoveAll();
  EXPECT_FALSE(removed_deleted);
  EXPECT_FALSE(all_deleted[0] || all_deleted[1]);
  EXPECT_EQ(removed->GetParent(), nullptr);
  EXPECT_EQ(removed->GetWindow(), &window);
  TestWindow::PumpMessages();
  EXPECT_TRUE(removed_deleted);
  EXPECT_TRUE(all_deleted[0] && all_deleted[1]);
  ::DestroyWindow(window.GetHWND());
}

TEST(BoxTest, ChildrenFollowTheBoxsVisibilityAndEnabledState) {
  Box box;
  box.SetVisible(false);
  auto* child = new Control();
  box.Add(child);
  EXPECT_TRUE(child->IsVisibleAsSet());
  EXPECT_FALSE(child->IsVisible());
  box.SetVisible(true);
  EXPECT_TRUE(child->IsVisible());
  box.SetEnabled(false);
  EXPECT_FALSE(child->IsEnabled());
  EXPECT_EQ(child->GetState(), kControlStateDisabled);
}

TEST(BoxTest, NearestSelectableFindsListElements) {
  Box box;
  EXPECT_EQ(box.NearestSelectable(0, true), -1);
  box.Add(new ListElement());
  box.Add(new Control());
  auto* disabled = new ListElement();
  disabled->SetEnabled(false);
  box.Add(disabled);
  box.Add(new ListElement());
  EXPECT_EQ(box.NearestSelectable(1, true), 3);
  EXPECT_EQ(box.NearestSelectable(2, false), 0);
  EXPECT_EQ(box.NearestSelectable(99, false), 3);
  box.ChildAt(0)->SetVisible(false);
  EXPECT_EQ(box.NearestSelectable(2, false), 3);  // nothing before: forward from 0
}

Control* AnyControl(Control* control, void*) { return control; }

class HitTestTest : public ::testing::Test {
 protected:
  void SetUp() override {
    box_.GetLayout()->SetPadding(Rect(10, 10, 10, 10), false);
    flow_ = new SizedControl(Control::kStretch, Control::kStretch);
    flow_->SetMargin(Rect(-10, -10, -10, -10), false);  // reaches into the padding
    floating_ = new SizedControl(10, 10);
    floating_->SetFloat(true);
    floating_->SetMargin(Rect(-10, -10, 0, 0), false);  // sits in the padding corner
    box_.Add(flow_);
    box_.Add(floating_);
    box_.SetBounds(Rect(0, 0, 100, 100));
  }
  Control* HitTest(POINT point, UINT flags = kFindHitTest | kFindTopFirst) {
    return box_.FindControl(&AnyControl, &point, flags);
  }

  Box box_;
  SizedControl* flow_ = nullptr;
  SizedControl* floating_ = nullptr;
};

TEST_F(HitTestTest, PaddingHitsFloatChildrenButNotFlowChildren) {
  ASSERT_EQ(flow_->GetRect(), Rect(0, 0, 100, 100));
  ASSERT_EQ(floating_->GetRect(), Rect(0, 0, 10, 10));
  EXPECT_EQ(HitTest(POINT{5, 5}), floating_);
  EXPECT_EQ(HitTest(POINT{95, 95}), &box_);
  EXPECT_EQ(HitTest(POINT{50, 50}), flow_);
  EXPECT_EQ(HitTest(POINT{150, 50}), nullptr);
}

TEST_F(HitTestTest, OrderFlagsAndMouseChild) {
  floating_->SetMargin(Rect(30, 30, 0, 0), false);
  box_.SetBounds(Rect(0, 0, 100, 100));
  EXPECT_EQ(HitTest(POINT{45, 45}), floating_);  // the last child is on top
  EXPECT_EQ(HitTest(POINT{45, 45}, kFindHitTest), flow_);
  EXPECT_EQ(HitTest(POINT{45, 45}, kFindHitTest | kFindMeFirst), &box_);
  flow_->SetVisible(false);
  EXPECT_EQ(HitTest(POINT{60, 60}, kFindHitTest | kFindVisible), &box_);
  box_.SetMouseChildEnabled(false);
  EXPECT_EQ(HitTest(POINT{45, 45}), &box_);
}

TEST(WindowLookupTest, NamesGroupsAndPointsResolveInTheTree) {
  TestWindow window;
  auto* root = new VBox();
  auto* a = new SizedControl(Control::kStretch, 30);
  a->SetName(L"a");
  auto* duplicate = new SizedControl(Control::kStretch, 30);
  duplicate->SetName(L"a");
  root->Add(a);
  root->Add(duplicate);
  window.AttachRoot(root);
  window.LayoutPass(Rect(0, 0, 100, 100));
  EXPECT_EQ(window.FindControlByName(L"a"), a);
  EXPECT_EQ(window.FindControlAt(POINT{50, 40}), duplicate);
  EXPECT_EQ(window.FindControlAt(POINT{50, 90}), root);
  EXPECT_TRUE(window.AddToGroup(L"g", a));
  EXPECT_FALSE(window.AddToGroup(L"g", a));
  root->Remove(a);
  window.RunDelayedCleanup();
  // A deleted control leaves the name table and its groups.
  EXPECT_EQ(window.FindControlByName(L"a"), nullptr);
  EXPECT_TRUE(window.GetGroup(L"g").empty());
}

// The shadow is painted wherever it can show, as in a whole frame: an area
// the opaque content covers paints none of it; one reaching past that, into
// the border or the content's rounded corners, paints it; and with nothing
// opaque over the middle, any area does.
TEST(ShadowBoxTest, PaintsItsShadowWhereverTheDirtyAreaCanShowIt) {
  class CountingShadow : public ShadowBox {
   public:
    void PaintBackgroundColor(IRenderContext*) override { ++paints; }
    int paints = 0;
  } shadow;
  GlobalManager::AddTextColor(L"cover_white", 0xFFFFFFFF);
  shadow.GetLayout()->SetPadding(Rect(14, 14, 14, 14), false);
  auto* content = new Box();
  content->SetBkColor(L"cover_white");
  content->SetBorderRound(SIZE{6, 6});
  shadow.Add(content);
  shadow.SetBounds(Rect(0, 0, 200, 100));
  auto canvas = testing::MakeCanvas(200, 100);
  auto paints = [&](const RECT& dirty) {
    shadow.paints = 0;
    shadow.PaintSelf(canvas.get(), dirty);
    return shadow.paints;
  };
  EXPECT_EQ(paints(Rect(30, 30, 100, 70)), 0);
  EXPECT_GT(paints(Rect(14, 14, 24, 24)), 0);   // inside the padding, over a round corner
  EXPECT_GT(paints(Rect(10, 30, 100, 70)), 0);  // into the border
  content->SetBkColor(L"");
  EXPECT_GT(paints(Rect(30, 30, 100, 70)), 0);
}

// The shadow's middle is left out only where the content certainly paints
// over it: an opaque background, inside the content's rounded corners.
TEST(ShadowBoxTest, LeavesOutOnlyWhatAnOpaqueContentCovers) {
  GlobalManager::AddTextColor(L"shadow_red", 0xFFFF0000);
  GlobalManager::AddTextColor(L"content_white", 0xFFFFFFFF);
  GlobalManager::AddTextColor(L"content_glass", 0x80FFFFFF);
  auto paint_shadow = [](const wchar_t* content_colour) {
    ShadowBox shadow;
    shadow.SetBkColor(L"shadow_red");
    shadow.GetLayout()->SetPadding(Rect(14, 14, 14, 14), false);
    auto* content = new Box();
    content->SetBkColor(content_colour);
    content->SetBorderRound(SIZE{3, 3});
    shadow.Add(content);
    shadow.SetBounds(Rect(0, 0, 200, 100));
    auto canvas = testing::MakeCanvas(200, 100);
    shadow.PaintSelf(canvas.get(), Rect(0, 0, 200, 100));
    return canvas;
  };
  auto red = [](const IRenderContext& canvas, int x, int y) {
    return (testing::PixelAt(canvas, x, y) & 0xFFFFFF) == 0xFF0000;
  };
  const auto opaque = paint_shadow(L"content_white");
  EXPECT_TRUE(red(*opaque, 5, 50));   // the border
  EXPECT_TRUE(red(*opaque, 15, 15));  // under the content's rounded corner
  EXPECT_TRUE(red(*opaque, 190, 95));
  EXPECT_FALSE(red(*opaque, 100, 50));  // under the content's background
  EXPECT_FALSE(red(*opaque, 18, 18));
  // Content that lets the shadow show through gets it everywhere.
  const auto glass = paint_shadow(L"content_glass");
  EXPECT_TRUE(red(*glass, 100, 50));
  EXPECT_TRUE(red(*glass, 5, 50));
}

}  // namespace
}  // namespace ui
