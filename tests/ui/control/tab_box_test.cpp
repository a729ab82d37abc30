// TabBox: which page shows after building, selecting, inserting and removing,
// and the sliding switch driven by the test clock.
#include "ui/control/tab_box.h"

#include <gtest/gtest.h>

#include "tests/ui/control/test_support.h"

namespace ui {
namespace {

using testing::AnimationTimers;
using testing::Rect;
using testing::TestWindow;

// Which pages can be seen: visible and opaque.
std::vector<bool> Shown(const TabBox& tabs) {
  std::vector<bool> shown;
  for (const Control* page : tabs.children()) {
    shown.push_back(page->IsVisible() && page->GetAlpha() == 255 && page->IsMouseEnabled());
  }
  return shown;
}

// A tab box made the way the window builder makes one: attributes first,
// then the pages.
TabBox* BuildTabs(const std::vector<std::pair<std::wstring, std::wstring>>& attributes, int pages) {
  auto* tabs = new TabBox();
  for (const auto& attribute : attributes) tabs->SetAttribute(attribute.first, attribute.second);
  for (int i = 0; i < pages; ++i) tabs->Add(new VBox());
  return tabs;
}

TEST(TabBoxTest, SelectedIdPicksThePageElseTheFirstVisibleOne) {
  std::unique_ptr<TabBox> chosen(BuildTabs({{L"selectedid", L"1"}}, 3));
  EXPECT_EQ(chosen->GetCurrentIndex(), 1);
  EXPECT_EQ(Shown(*chosen), (std::vector<bool>{false, true, false}));
  EXPECT_FALSE(chosen->ChildAt(0)->IsVisible());

  auto first_hidden = std::make_unique<TabBox>();
  auto* hidden = new VBox();
  hidden->SetVisible(false);
  first_hidden->Add(hidden);
  first_hidden->Add(new VBox());
  first_hidden->Add(new VBox());
  EXPECT_EQ(first_hidden->GetCurrentIndex(), 1);
  EXPECT_EQ(Shown(*first_hidden), (std::vector<bool>{false, true, false}));
}

TEST(TabBoxTest, SelectPageShowsOnePageAndSendsSelect) {
  TestWindow window;
  TabBox* tabs = BuildTabs({}, 3);
  window.AttachRoot(tabs);
  std::vector<std::pair<WPARAM, LPARAM>> selects;
  tabs->AttachSelect([&](const EventArgs& args) {
    selects.emplace_back(args.wparam, args.lparam);
    return true;
  });
  EXPECT_TRUE(tabs->SelectPage(2));
  EXPECT_EQ(Shown(*tabs), (std::vector<bool>{false, false, true}));
  EXPECT_TRUE(tabs->SelectPage(2));
  EXPECT_FALSE(tabs->SelectPage(3));
  EXPECT_FALSE(tabs->SelectPage(-1));
  EXPECT_TRUE(tabs->SelectPage(0));
  EXPECT_EQ(Shown(*tabs), (std::vector<bool>{true, false, false}));
  EXPECT_EQ(selects, (std::vector<std::pair<WPARAM, LPARAM>>{{2, 0}, {0, 2}}));
}

TEST(TabBoxTest, RemovingAndInsertingKeepTheCurrentPage) {
  std::unique_ptr<TabBox> tabs(BuildTabs({{L"selectedid", L"2"}}, 4));
  Control* current = tabs->ChildAt(2);
  tabs->RemoveAt(0);  // below the current page
  EXPECT_EQ(tabs->GetCurrentIndex(), 1);
  EXPECT_EQ(tabs->ChildAt(1), current);

  auto* inserted = new VBox();
  tabs->InsertAt(inserted, 0);  // before the current page: it moves up
  EXPECT_EQ(tabs->GetCurrentIndex(), 2);
  EXPECT_EQ(Shown(*tabs), (std::vector<bool>{false, false, true, false}));

  tabs->Remove(current);  // the current page: page 0 takes over
  EXPECT_EQ(tabs->GetCurrentIndex(), 0);
  EXPECT_EQ(Shown(*tabs), (std::vector<bool>{true, false, false}));

  tabs->RemoveAll();
  EXPECT_EQ(tabs->GetCurrentIndex(), -1);
  std::unique_ptr<TabBox> single(BuildTabs({}, 1));
  single->RemoveAt(0);
  EXPECT_EQ(single->GetCurrentIndex(), -1);
}

TEST(TabBoxTest, FadeSwitchSlidesBothPagesAndHidesNone) {
  TestWindow window;
  TabBox* tabs = BuildTabs({{L"fadeswitch", L"true"}}, 3);
  window.AttachRoot(tabs);
  window.LayoutPass(Rect(0, 0, 120, 50));
  AnimationTimers().PulseFor(2000);
  Control* first = tabs->ChildAt(0);
  Control* last = tabs->ChildAt(2);
  ASSERT_EQ(first->GetWidth(), 120);
  EXPECT_TRUE(last->IsVisible());  // background pages stay visible
  EXPECT_EQ(last->GetAlpha(), 0);

  ASSERT_TRUE(tabs->SelectPage(2));
  AnimationTimers().PulseFor(2000);
  EXPECT_EQ(Shown(*tabs), (std::vector<bool>{false, false, true}));

  ASSERT_TRUE(tabs->SelectPage(0));
  // Going back: page 0 comes in from +width (drawn shifted left), page 2
  // leaves toward -width.
  AnimationPlayer* in = first->GetAnimationPlayer(AnimationType::kInOutXFromRight);
  AnimationPlayer* out = last->GetAnimationPlayer(AnimationType::kInOutXFromRight);
  ASSERT_NE(in, nullptr);
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(in->GetStartValue(), 120);
  EXPECT_EQ(in->GetEndValue(), 0);
  EXPECT_EQ(out->GetStartValue(), 0);
  EXPECT_EQ(out->GetEndValue(), -120);
  EXPECT_GT(first->GetRenderOffset().x, 0);
  EXPECT_EQ(first->GetAlpha(), 255);
  EXPECT_TRUE(last->IsMouseEnabled());  // until its slide ends

  AnimationTimers().Pulse();
  AnimationTimers().Pulse();
  const int midway_in = first->GetRenderOffset().x;
  const int midway_out = last->GetRenderOffset().x;
  EXPECT_LT(midway_in, 120);
  EXPECT_GT(midway_in, 0);
  EXPECT_LT(midway_out, 0);
  EXPECT_GT(midway_out, -120);

  AnimationTimers().PulseFor(2000);
  EXPECT_EQ(first->GetRenderOffset().x, 0);
  EXPECT_EQ(last->GetRenderOffset().x, -120);
  EXPECT_EQ(Shown(*tabs), (std::vector<bool>{true, false, false}));
  for (const Control* page : tabs->children()) EXPECT_TRUE(page->IsVisible());
}

}  // namespace
}  // namespace ui
