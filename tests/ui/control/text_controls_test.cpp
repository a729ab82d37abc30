// Labels, check boxes, options and progress bars.
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "tests/ui/control/test_support.h"
#include "ui/control/check_box.h"
#include "ui/control/label.h"
#include "ui/control/option.h"
#include "ui/control/progress.h"

namespace ui {
namespace {

using testing::Rect;
using testing::TestWindow;

TEST(LabelTest, APlainLabelSizesToItsTextAndALabelBoxStretches) {
  Label label;
  label.SetText(L"Install Fernwick");
  label.SetAttribute(L"textpadding", L"3,2,5,4");
  const RECT measured = TextMeasuringContext(nullptr)->MeasureText(
      L"Install Fernwick", GlobalManager::GetFont(L""), label.GetTextStyle(), 0);
  ASSERT_GT(measured.right - measured.left, 20);
  const SIZE size = label.DesiredSize(SIZE{500, 500});
  EXPECT_EQ(size.cx, measured.right - measured.left + 8);
  EXPECT_EQ(size.cy, measured.bottom - measured.top + 6);

  Label empty;
  EXPECT_EQ(empty.DesiredSize(SIZE{500, 500}).cx, 0);
  LabelBox box;
  box.SetText(L"text");
  EXPECT_EQ(box.DesiredSize(SIZE{500, 500}).cx, Control::kStretch);
  EXPECT_EQ(box.DesiredSize(SIZE{500, 500}).cy, Control::kStretch);
}

TEST(LabelTest, WrappedTextIsMeasuredAgainAtTheOfferedWidth) {
  Label label;
  label.SetText(L"one two three four five six seven eight nine ten");
  label.SetSingleLine(false);
  label.SetMaxWidth(Control::kStretch);
  const SIZE wide = label.DesiredSize(SIZE{2000, 500});
  const SIZE narrow = label.DesiredSize(SIZE{80, 500});
  EXPECT_LE(narrow.cx, 80);
  EXPECT_GT(narrow.cy, wide.cy);
  EXPECT_TRUE(label.NeedsReEstimate());
}

TEST(LabelTest, AlignWordsAreMatchedAsSubstrings) {
  Label label;
  label.SetAttribute(L"align", L"right,vcenter");
  EXPECT_EQ(label.GetTextStyle() & (DT_CENTER | DT_RIGHT | DT_VCENTER | DT_SINGLELINE),
            static_cast<UINT>(DT_CENTER | DT_RIGHT | DT_VCENTER | DT_SINGLELINE));
  label.SetAttribute(L"align", L"left");
  EXPECT_EQ(label.GetTextStyle() & (DT_CENTER | DT_RIGHT | DT_VCENTER | DT_SINGLELINE), 0u);
  // The single-line flag puts the bit back before text is measured or drawn.
  label.SetText(L"x");
  label.DesiredSize(SIZE{100, 100});
  EXPECT_NE(label.GetTextStyle() & DT_SINGLELINE, 0u);
  label.SetAttribute(L"align", L"bottom");
  EXPECT_NE(label.GetTextStyle() & DT_BOTTOM, 0u);
  label.SetAttribute(L"endellipsis", L"false");
  EXPECT_EQ(label.GetTextStyle() & DT_END_ELLIPSIS, 0u);
}

TEST(LabelTest, ANewTextRelaysOutAnAutoLabelOnly) {
  TestWindow window;
  auto* root = new VBox();
  auto* fixed = new Label();
  fixed->SetFixedWidth(50);
  fixed->SetFixedHeight(20);
  auto* automatic = new Label();
  root->Add(fixed);
  root->Add(automatic);
  window.AttachRoot(root);
  window.LayoutPass(Rect(0, 0, 200, 200));
  fixed->SetText(L"same size");
  EXPECT_FALSE(window.IsLayoutPending());
  automatic->SetText(L"grows");
  EXPECT_TRUE(window.IsLayoutPending());
  EXPECT_TRUE(root->NeedsLayout());
  window.LayoutPass(Rect(0, 0, 200, 200));
  EXPECT_GT(automatic->GetWidth(), 0);
}

TEST(CheckBoxTest, InvokeTogglesWithEventsAndNoClick) {
  TestWindow window;
  auto* box = new CheckBox();
  window.AttachRoot(box);
  std::vector<std::string> log;
  box->AttachAll([&](const EventArgs& args) {
    log.push_back(args.type == kEventSelect     ? "select"
                  : args.type == kEventUnSelect ? "unselect"
                  : args.type == kEventClick    ? "click"
                                                : "other");
    return true;
  });
  box->Invoke();
  EXPECT_TRUE(box->IsSelected());
  box->Invoke();
  EXPECT_FALSE(box->IsSelected());
  box->SetSelected(false, true);  // unchanged: nothing
  box->SetSelected(true, false);  // no events asked for
  EXPECT_EQ(log, (std::vector<std::string>{"select", "unselect"}));
}

class OptionGroupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = new VBox();
    for (int i = 0; i < 3; ++i) {
      options_[i] = new Option();
      options_[i]->SetAttribute(L"group", L"g");
      root_->Add(options_[i]);
      options_[i]->AttachAll([this, i](const EventArgs& args) {
        if (args.type == kEventSelect) log_.push_back(std::to_wstring(i) + L" select");
        if (args.type == kEventUnSelect) log_.push_back(std::to_wstring(i) + L" unselect");
        if (args.type == kEventClick) log_.push_back(std::to_wstring(i) + L" click");
        return true;
      });
    }
    window_.AttachRoot(root_);
  }

  TestWindow window_;
  VBox* root_ = nullptr;
  Option* options_[3] = {};
  std::vector<std::wstring> log_;
};

TEST_F(OptionGroupTest, SelectingOneClearsTheOthers) {
  EXPECT_EQ(window_.GetGroup(L"g").size(), 3u);
  options_[0]->SetSelected(true, true);
  log_.clear();
  options_[1]->Invoke();
  EXPECT_FALSE(options_[0]->IsSelected());
  EXPECT_TRUE(options_[1]->IsSelected());
  EXPECT_EQ(log_,
            (std::vector<std::wstring>{L"1 click", L"0 unselect", L"2 unselect", L"1 select"}));
  // A click never clears an option.
  log_.clear();
  options_[1]->Invoke();
  EXPECT_TRUE(options_[1]->IsSelected());
}

TEST_F(OptionGroupTest, ChangingGroupAppliesTheSelectionInTheNewGroup) {
  options_[0]->SetSelected(true, false);
  options_[2]->SetGroup(L"h");
  EXPECT_EQ(window_.GetGroup(L"g").size(), 2u);
  options_[2]->SetSelected(true, true);
  EXPECT_TRUE(options_[0]->IsSelected());  // another group
  options_[2]->SetGroup(L"g");             // selected: clears the rest of "g"
  EXPECT_FALSE(options_[0]->IsSelected());
  EXPECT_TRUE(options_[2]->IsSelected());
  EXPECT_TRUE(window_.GetGroup(L"h").empty());
}

TEST(ProgressTest, TheFilledPartFollowsTheNormalisedValue) {
  Progress progress;
  EXPECT_EQ(progress.GetFixedHeight(), 12);
  EXPECT_EQ(progress.GetTextStyle(), static_cast<UINT>(DT_CENTER | DT_SINGLELINE));
  progress.SetBounds(Rect(10, 10, 210, 110));
  progress.SetValue(150);
  EXPECT_EQ(progress.FilledRect(), Rect(0, 0, 200, 100));
  EXPECT_EQ(progress.GetValue(), 150);  // painting does not change the value
  progress.SetAttribute(L"value", L"-3");
  EXPECT_EQ(progress.FilledRect(), Rect(0, 0, 0, 100));
  progress.SetAttribute(L"min", L"5");
  progress.SetAttribute(L"max", L"5");
  progress.SetValue(5.5);
  EXPECT_EQ(progress.FilledRect(), Rect(0, 0, 100, 100));  // max taken as 6
  progress.SetAttribute(L"hor", L"false");
  progress.SetAttribute(L"min", L"0");
  progress.SetAttribute(L"max", L"100");
  progress.SetValue(25);
  EXPECT_EQ(progress.FilledRect(), Rect(0, 75, 200, 100));
}

}  // namespace
}  // namespace ui
