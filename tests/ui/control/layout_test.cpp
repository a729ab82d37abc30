// Layout arithmetic: rows, columns, tiles and overlays, and the estimate
// cache that keeps relayouts cheap.
#include <gtest/gtest.h>

#include "tests/ui/control/test_support.h"
#include "ui/control/box.h"
#include "ui/control/linear_layout.h"
#include "ui/control/tile_layout.h"

namespace ui {
namespace {

using testing::ContentControl;
using testing::CountingLayout;
using testing::Rect;
using testing::SizedControl;

// Widths of the children after a layout.
std::vector<int> Widths(const Box& box) {
  std::vector<int> widths;
  for (const Control* child : box.children()) widths.push_back(child->GetWidth());
  return widths;
}

TEST(HLayoutTest, StretchChildrenShareTheRowWithTheRemainderUpFront) {
  HBox box;
  for (int i = 0; i < 3; ++i) box.Add(new SizedControl(Control::kStretch, 20));
  box.SetBounds(Rect(0, 0, 100, 20));
  EXPECT_EQ(Widths(box), (std::vector<int>{34, 33, 33}));
  EXPECT_EQ(box.ChildAt(1)->GetRect(), Rect(34, 0, 67, 20));
  EXPECT_EQ(box.ChildAt(2)->GetRect(), Rect(67, 0, 100, 20));
}

TEST(HLayoutTest, ChildMarginGoesBetweenFlowChildrenOnlyAndFloatsTakeNoRoom) {
  HBox box;
  box.GetLayout()->SetChildMargin(10, false);
  box.Add(new SizedControl(20, 10));
  auto* floating = new SizedControl(5, 5);
  floating->SetFloat(true);
  floating->SetHorAlign(kHorAlignRight);
  box.Add(floating);
  box.Add(new SizedControl(20, 10));
  box.Add(new SizedControl(20, 10));
  const SIZE used = box.GetLayout()->ArrangeChildren(box.children(), Rect(0, 0, 200, 10));
  EXPECT_EQ(box.ChildAt(0)->GetRect(), Rect(0, 0, 20, 10));
  EXPECT_EQ(box.ChildAt(2)->GetRect(), Rect(30, 0, 50, 10));
  EXPECT_EQ(box.ChildAt(3)->GetRect(), Rect(60, 0, 80, 10));
  // Nothing after the last child; the float sits over the whole area.
  EXPECT_EQ(used.cx, 80);
  EXPECT_EQ(floating->GetRect(), Rect(195, 0, 200, 5));
}

TEST(HLayoutTest, MarginsOffsetChildrenAndStretchHeightsLoseTheVerticalMargins) {
  HBox box;
  auto* first = new SizedControl(30, Control::kStretch);
  first->SetMargin(Rect(5, 2, 3, 4), false);
  auto* second = new SizedControl(Control::kStretch, 10);
  second->SetVerAlign(kVerAlignBottom);
  second->SetMargin(Rect(1, 0, 0, 6), false);
  auto* third = new SizedControl(10, 10);
  third->SetVerAlign(kVerAlignCenter);
  box.Add(first);
  box.Add(second);
  box.Add(third);
  box.SetBounds(Rect(10, 10, 110, 50));
  EXPECT_EQ(first->GetRect(), Rect(15, 12, 45, 46));
  // 100 - (5+30+3) - (1+0) - 10 = 51 for the stretch child.
  EXPECT_EQ(second->GetRect(), Rect(49, 34, 100, 44));
  EXPECT_EQ(third->GetRect(), Rect(100, 25, 110, 35));
}

TEST(HLayoutTest, MinimumWidthWinsOverTheShareAndTheRowOverflows) {
  HBox box;
  auto* wide = new SizedControl(Control::kStretch, 10);
  wide->SetMinWidth(60, false);
  box.Add(wide);
  box.Add(new SizedControl(Control::kStretch, 10));
  box.SetBounds(Rect(0, 0, 100, 10));
  // Each share is 50; the first is raised to 60, the other keeps 50.
  EXPECT_EQ(Widths(box), (std::vector<int>{60, 50}));
  EXPECT_EQ(box.ChildAt(1)->GetRect().right, 110);
}

TEST(HLayoutTest, FixedChildrenWiderThanTheBoxLeaveStretchChildrenTheirMinimum) {
  HBox box;
  box.Add(new SizedControl(80, 10));
  box.Add(new SizedControl(70, 10));
  auto* squeezed = new SizedControl(Control::kStretch, 10);
  box.Add(squeezed);
  auto* with_minimum = new SizedControl(Control::kStretch, 10);
  with_minimum->SetMinWidth(7, false);
  box.Add(with_minimum);
  box.SetBounds(Rect(0, 0, 100, 10));
  EXPECT_EQ(Widths(box), (std::vector<int>{80, 70, 0, 7}));
}

TEST(HLayoutTest, MaximumWidthCapsAndNegativeMaximumIsNoLimit) {
  HBox box;
  auto* capped = new SizedControl(Control::kStretch, 10);
  capped->SetMaxWidth(20, false);
  auto* unlimited = new SizedControl(Control::kStretch, Control::kStretch);
  unlimited->SetMaxWidth(Control::kStretch, false);
  unlimited->SetMaxHeight(Control::kAuto, false);
  box.Add(capped);
  box.Add(unlimited);
  box.SetBounds(Rect(0, 0, 100, 30));
  EXPECT_EQ(Widths(box), (std::vector<int>{20, 50}));
  EXPECT_EQ(unlimited->GetHeight(), 30);
}

TEST(HLayoutTest, MeasureSumsWidthsMarginsAndGapsPlusPadding) {
  HBox box;
  box.GetLayout()->SetChildMargin(4, false);
  box.GetLayout()->SetPadding(Rect(1, 2, 3, 4), false);
  auto* a = new SizedControl(10, 5);
  a->SetMargin(Rect(2, 1, 2, 1), false);
  box.Add(a);
  box.Add(new SizedControl(20, 9));
  auto* floating = new SizedControl(500, 500);
  floating->SetFloat(true);
  box.Add(floating);
  box.SetFixedWidth(Control::kAuto, false);
  box.SetFixedHeight(Control::kAuto, false);
  const SIZE size = box.DesiredSize(SIZE{1000, 1000});
  EXPECT_EQ(size.cx, 2 + 10 + 2 + 4 + 20 + 1 + 3);
  EXPECT_EQ(size.cy, 9 + 2 + 4);
}

TEST(VLayoutTest, ColumnMirrorsTheRow) {
  VBox box;
  box.GetLayout()->SetChildMargin(2, false);
  auto* top = new SizedControl(Control::kStretch, 10);
  top->SetMargin(Rect(3, 1, 4, 1), false);
  auto* middle = new SizedControl(20, Control::kStretch);
  middle->SetHorAlign(kHorAlignCenter);
  auto* bottom = new SizedControl(20, Control::kStretch);
  bottom->SetHorAlign(kHorAlignRight);
  box.Add(top);
  box.Add(middle);
  box.Add(bottom);
  box.SetBounds(Rect(0, 0, 50, 101));
  EXPECT_EQ(top->GetRect(), Rect(3, 1, 46, 11));
  // 101 - 12 - 2 gaps of 2 = 85: 43 and 42.
  EXPECT_EQ(middle->GetRect(), Rect(15, 14, 35, 57));
  EXPECT_EQ(bottom->GetRect(), Rect(30, 59, 50, 101));
}

TEST(TileLayoutTest, ItemSizeGivesColumnsAndTheFirstCellsTakeTheRemainder) {
  TileBox box;
  auto* layout = static_cast<TileLayout*>(box.GetLayout());
  layout->SetItemSize(SIZE{100, 100});
  for (int i = 0; i < 4; ++i) box.Add(new SizedControl(Control::kStretch, Control::kStretch));
  box.ChildAt(0)->SetFixedHeight(100, false);
  box.SetBounds(Rect(0, 0, 350, 400));
  EXPECT_EQ(layout->GetColumns(), 3);
  EXPECT_EQ(Widths(box), (std::vector<int>{117, 117, 116, 117}));
  EXPECT_EQ(box.ChildAt(1)->GetRect().left, 117);
  EXPECT_EQ(box.ChildAt(2)->GetRect().left, 234);
  // The second row starts under the first, which is as tall as its tallest.
  EXPECT_EQ(box.ChildAt(3)->GetRect().top, 100);
}

TEST(TileLayoutTest, ChildrenAreCentredInTheirCells) {
  TileBox box;
  auto* layout = static_cast<TileLayout*>(box.GetLayout());
  layout->SetColumns(2);
  layout->SetChildMargin(10, false);
  box.Add(new SizedControl(20, 30));
  box.Add(new SizedControl(40, 10));
  box.SetBounds(Rect(0, 0, 100, 100));
  // Cells of 50; the row is 30 high.
  EXPECT_EQ(box.ChildAt(0)->GetRect(), Rect(15, 0, 35, 30));
  EXPECT_EQ(box.ChildAt(1)->GetRect(), Rect(55, 10, 95, 20));
}

TEST(TileLayoutTest, ZeroColumnsIsIgnoredAndAComputedZeroBecomesOne) {
  TileBox box;
  auto* layout = static_cast<TileLayout*>(box.GetLayout());
  box.SetAttribute(L"columns", L"4");
  box.SetAttribute(L"columns", L"0");
  EXPECT_EQ(layout->GetColumns(), 4);
  box.SetAttribute(L"itemsize", L"500,20");
  box.Add(new SizedControl(10, 10));
  box.Add(new SizedControl(10, 10));
  box.SetBounds(Rect(0, 0, 300, 100));
  EXPECT_EQ(layout->GetColumns(), 1);
  EXPECT_EQ(box.ChildAt(1)->GetRect().top, 10);
}

TEST(TileLayoutTest, MeasureUsesTheFirstChildsHeightPerRow) {
  TileBox box;
  box.SetFixedWidth(300, false);
  box.SetFixedHeight(Control::kAuto, false);
  box.SetAttribute(L"itemsize", L"100,50");
  box.SetAttribute(L"childmargin", L"5");
  for (int i = 0; i < 7; ++i) box.Add(new SizedControl(90, 40));
  const SIZE size = box.DesiredSize(SIZE{1000, 1000});
  EXPECT_EQ(size.cx, 300);
  EXPECT_EQ(size.cy, 2 * 5 + 3 * 40);  // 7 children in 3 columns: 3 rows
}

TEST(BaseLayoutTest, ChildrenOverlayTheAreaByAlignment) {
  Box box;
  box.GetLayout()->SetPadding(Rect(10, 10, 10, 10), false);
  auto* centred = new SizedControl(20, 20);
  centred->SetHorAlign(kHorAlignCenter);
  centred->SetVerAlign(kVerAlignCenter);
  auto* corner = new SizedControl(10, 10);
  corner->SetHorAlign(kHorAlignRight);
  corner->SetVerAlign(kVerAlignBottom);
  corner->SetMargin(Rect(0, 0, 5, 5), false);
  box.Add(centred);
  box.Add(corner);
  box.Add(new SizedControl(Control::kStretch, Control::kStretch));
  box.SetBounds(Rect(0, 0, 100, 80));
  EXPECT_EQ(centred->GetRect(), Rect(40, 30, 60, 50));
  EXPECT_EQ(corner->GetRect(), Rect(75, 55, 85, 65));
  EXPECT_EQ(box.ChildAt(2)->GetRect(), Rect(10, 10, 90, 70));
}

TEST(BaseLayoutTest, AnEmptyAutoBoxMeasuresFarNegativeAndEndsEmpty) {
  Box outer;
  auto* empty = new Box();
  empty->SetFixedWidth(Control::kAuto, false);
  empty->SetFixedHeight(Control::kAuto, false);
  empty->GetLayout()->SetPadding(Rect(1, 2, 3, 4), false);
  outer.Add(empty);
  EXPECT_EQ(empty->DesiredSize(SIZE{100, 100}).cx, -9999 + 4);
  EXPECT_EQ(empty->DesiredSize(SIZE{100, 100}).cy, -9999 + 6);
  outer.SetBounds(Rect(0, 0, 100, 100));
  EXPECT_EQ(empty->GetRect(), Rect(0, 0, 0, 0));
  EXPECT_EQ(empty->GetWidth(), 0);
}

TEST(BaseLayoutTest, AnAutoOverlayThatMayStretchWrapsToTheSpaceItHas) {
  Box box;
  auto* wide = new ContentControl(SIZE{300, 10});
  wide->SetMaxWidth(Control::kStretch, false);
  box.Add(wide);
  box.SetBounds(Rect(0, 0, 120, 50));
  // Measured again at the offered width, then back to auto.
  EXPECT_EQ(wide->GetFixedWidth(), Control::kAuto);
  EXPECT_EQ(wide->measures, 2);
  EXPECT_EQ(wide->GetWidth(), 120);
  EXPECT_TRUE(wide->NeedsReEstimate());
}

TEST(EstimateCacheTest, AnAutoBoxMeasuresItsChildrenOnceUntilOneChanges) {
  int measures = 0;
  Box outer;
  auto* column = new Box(new CountingLayout<VLayout>(&measures));
  column->SetFixedWidth(Control::kAuto, false);
  column->SetFixedHeight(Control::kAuto, false);
  auto* leaf = new ContentControl(SIZE{40, 10});
  column->Add(leaf);
  column->Add(new ContentControl(SIZE{30, 12}));
  outer.Add(column);

  EXPECT_EQ(column->DesiredSize(SIZE{500, 500}).cy, 22);
  column->DesiredSize(SIZE{500, 500});
  outer.SetBounds(Rect(0, 0, 500, 500));
  EXPECT_EQ(measures, 1);
  EXPECT_EQ(leaf->measures, 1);

  leaf->SetContent(SIZE{60, 20});  // marks itself and its auto ancestors
  outer.SetBounds(Rect(0, 0, 500, 500));
  EXPECT_EQ(measures, 2);
  EXPECT_EQ(leaf->measures, 2);
  EXPECT_EQ(column->GetRect(), Rect(0, 0, 60, 32));
}

TEST(EstimateCacheTest, RelayoutStopsAtTheFirstAncestorThatDoesNotSizeToContent) {
  testing::TestWindow window;
  auto* root = new VBox();
  auto* fixed = new VBox();
  fixed->SetFixedHeight(100, false);
  auto* autosized = new VBox();
  autosized->SetFixedHeight(Control::kAuto, false);
  auto* leaf = new ContentControl(SIZE{10, 10});
  autosized->Add(leaf);
  fixed->Add(autosized);
  root->Add(fixed);
  window.AttachRoot(root);
  window.LayoutPass(Rect(0, 0, 200, 300));
  EXPECT_FALSE(window.IsLayoutPending());

  leaf->SetContent(SIZE{10, 40});
  EXPECT_TRUE(window.IsLayoutPending());
  EXPECT_TRUE(fixed->NeedsLayout());
  EXPECT_FALSE(root->NeedsLayout());
  EXPECT_TRUE(autosized->NeedsReEstimate());
  window.LayoutPass(Rect(0, 0, 200, 300));
  EXPECT_FALSE(fixed->NeedsLayout());
  EXPECT_EQ(autosized->GetHeight(), 40);
}

}  // namespace
}  // namespace ui
