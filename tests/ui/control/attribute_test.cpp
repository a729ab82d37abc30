// The attribute vocabulary: value forms, attribute lists and classes, and the
// skin's event reactions.
#include <gtest/gtest.h>
#include <memory>
#include <thread>

#include "base/check.h"
#include "tests/ui/control/test_support.h"
#include "ui/control/attribute_parsing.h"
#include "ui/control/box.h"
#include "ui/control/label.h"
#include "ui/core/global_manager.h"

namespace ui {
namespace {

using testing::Rect;

TEST(AttributeParsingTest, RectanglesReadOneSeparatorAndStopAtTheEnd) {
  EXPECT_EQ(ParseRect(L"1,2,3,4"), Rect(1, 2, 3, 4));
  EXPECT_EQ(ParseRect(L"-1;20 3x4"), Rect(-1, 20, 3, 4));
  EXPECT_EQ(ParseRect(L"7,8"), Rect(7, 8, 0, 0));
  EXPECT_EQ(ParseRect(L""), Rect(0, 0, 0, 0));
  EXPECT_EQ(ParseInt(L"12px"), 12);
  EXPECT_EQ(ParseInt(L"px"), 0);
  EXPECT_EQ(SplitBySpaces(L"  a  bb c "), (std::vector<std::wstring>{L"a", L"bb", L"c"}));
}

TEST(AttributeParsingTest, AttributeListsNeedExactlyOneSpaceBetweenPairs) {
  std::vector<std::wstring> seen;
  auto record = [&](const std::wstring& name, const std::wstring& value) {
    seen.push_back(name + L"=" + value);
  };
  ForEachAttribute(L"a=\"1\" b=\"x y\" c=\"\"", record);
  EXPECT_EQ(seen, (std::vector<std::wstring>{L"a=1", L"b=x y", L"c="}));
  for (const wchar_t* list :
       {L"a=\"1\"  b=\"2\"", L"a=\"1\"b=\"2\"", L"a=\"1\" b=2", L"a=\"1\" b=\"2"}) {
    seen.clear();
    ForEachAttribute(list, record);
    EXPECT_EQ(seen, (std::vector<std::wstring>{L"a=1"})) << list;
  }
}

TEST(ControlAttributeTest, SizesTakeWordsAndIgnoreNumbersBelowAuto) {
  Control control;
  control.SetAttribute(L"width", L"stretch");
  control.SetAttribute(L"width", L"auto");
  EXPECT_EQ(control.GetFixedWidth(), Control::kAuto);
  control.SetAttribute(L"width", L"-5");
  EXPECT_EQ(control.GetFixedWidth(), Control::kAuto);
  control.SetAttribute(L"width", L"-1");
  EXPECT_EQ(control.GetFixedWidth(), Control::kStretch);
  control.SetAttribute(L"height", L"40");
  EXPECT_EQ(control.GetFixedHeight(), 40);
  control.SetAttribute(L"maxwidth", L"auto");
  EXPECT_EQ(control.GetMaxWidth(), Control::kAuto);
  control.SetAttribute(L"minwidth", L"-3");
  EXPECT_EQ(control.GetMinWidth(), -1);
  control.SetAttribute(L"minwidth", L"8");
  EXPECT_EQ(control.GetMinWidth(), 8);
}

TEST(ControlAttributeTest, BorderSizeIsUniformOrPerSide) {
  Control control;
  control.SetAttribute(L"bordersize", L"1,2,3,4");
  control.SetAttribute(L"bordersize", L"2");
  EXPECT_EQ(control.GetBorderSize(), 2);
  EXPECT_EQ(control.GetSideBorderSizes(), Rect(0, 0, 0, 0));
  control.SetAttribute(L"bordersize", L"1,2,3,4");
  EXPECT_EQ(control.GetBorderSize(), 2);
  EXPECT_EQ(control.GetSideBorderSizes(), Rect(1, 2, 3, 4));
  control.SetAttribute(L"topbordersize", L"9");
  EXPECT_EQ(control.GetSideBorderSizes(), Rect(1, 9, 3, 4));
}

TEST(ControlAttributeTest, SwitchesAndStates) {
  Control control;
  control.SetAttribute(L"nofocus", L"false");
  EXPECT_TRUE(control.IsNoFocus());
  control.SetAttribute(L"mouse", L"TRUE");
  EXPECT_FALSE(control.IsMouseEnabled());
  control.SetAttribute(L"state", L"hot");
  EXPECT_EQ(control.GetState(), kControlStateHot);
  EXPECT_EQ(control.GetHotAlpha(), 255);
  control.SetAttribute(L"state", L"normal");
  EXPECT_EQ(control.GetHotAlpha(), 0);
  control.SetAttribute(L"bkcolor", L"  blue");
  EXPECT_EQ(control.GetBkColor(), L"blue");
  control.SetAttribute(L"halign", L"middle");
  EXPECT_EQ(control.GetHorAlign(), kHorAlignLeft);
  control.SetAttribute(L"valign", L"bottom");
  EXPECT_EQ(control.GetVerAlign(), kVerAlignBottom);
  control.SetAttribute(L"alpha", L"300");
  EXPECT_EQ(control.GetAlpha(), 255);
  control.SetAttribute(L"no-such-attribute", L"1");
}

TEST(ControlAttributeTest, HotImageTurnsOnTheHotFade) {
  Control control;
  EXPECT_FALSE(control.HasHotState());
  control.SetAttribute(L"forehotimage", L"hot.png");
  EXPECT_NE(control.GetAnimationPlayer(AnimationType::kHot), nullptr);
  EXPECT_TRUE(control.HasHotState());
}

class ClassTest : public ::testing::Test {
 protected:
  void SetUp() override {
    GlobalManager::AddClass(L"btn_primary", L"bkcolor=\"red\" width=\"90\"");
    GlobalManager::AddClass(L"shared", L"height=\"11\"");
    window_.AddClass(L"shared", L"height=\"22\"");
    window_.AddClass(L"local", L"bordercolor=\"gray\"");
  }
  testing::TestWindow window_;
};

TEST_F(ClassTest, ClassesApplyWhereTheyAppear) {
  Control before;
  before.SetAttribute(L"class", L"btn_primary");
  before.SetAttribute(L"bkcolor", L"white");
  EXPECT_EQ(before.GetBkColor(), L"white");
  Control after;
  after.SetAttribute(L"bkcolor", L"white");
  after.SetAttribute(L"class", L"btn_primary");
  EXPECT_EQ(after.GetBkColor(), L"red");
  EXPECT_EQ(after.GetFixedWidth(), 90);
}

TEST_F(ClassTest, GlobalClassesComeBeforeTheWindowsOwn) {
  auto* control = new Control();
  auto* root = new Box();
  root->Add(control);
  window_.AttachRoot(root);
  control->SetAttribute(L"class", L"  shared   local unknown");
  EXPECT_EQ(control->GetFixedHeight(), 11);
  EXPECT_EQ(control->GetBorderColor(), L"gray");
}

TEST(EventNameTest, SkinNamesMapToTheirCodes) {
  EXPECT_EQ(EventTypeFromName(L"all"), kEventAll);
  EXPECT_EQ(EventTypeFromName(L"buttonup"), kEventMouseButtonUp);
  EXPECT_EQ(EventTypeFromName(L"select"), 42);
  EXPECT_EQ(EventTypeFromName(L"windowclose"), 39);
  EXPECT_EQ(EventTypeFromName(L"click"), kEventNone);
  EXPECT_EQ(EventTypeFromName(L"MouseEnter"), kEventNone);
}

TEST(EventReceiverTest, DotSlashFindsADescendantAndABareNameAnyControl) {
  testing::TestWindow window;
  auto* root = new VBox();
  auto* panel = new VBox();
  auto* inner = new Label();
  inner->SetName(L"title");
  panel->Add(inner);
  auto* other = new Label();
  other->SetName(L"status");
  root->Add(panel);
  root->Add(other);
  window.AttachRoot(root);

  EventArgs args;
  EXPECT_TRUE(panel->ApplyAttributeListOnEvent(L"./title", L"text=\"hello\"", args));
  EXPECT_EQ(inner->GetText(), L"hello");
  EXPECT_TRUE(panel->ApplyAttributeListOnEvent(L".\\TITLE", L"text=\"again\"", args));
  EXPECT_EQ(inner->GetText(), L"again");
  EXPECT_TRUE(panel->ApplyAttributeListOnEvent(L"status", L"visible=\"false\"", args));
  EXPECT_FALSE(other->IsVisible());
  // Not below the panel.
  EXPECT_TRUE(panel->ApplyAttributeListOnEvent(L"./status", L"visible=\"true\"", args));
  EXPECT_FALSE(other->IsVisible());
  EXPECT_TRUE(panel->ApplyAttributeListOnEvent(L"nobody", L"visible=\"false\"", args));

  // As a skin attaches it: fired by the panel's own event.
  panel->AttachMarkupEvent(kEventMouseHover,
                           panel->MakeAttributeListHandler(L"status", L"visible=\"true\""));
  panel->SendEvent(kEventMouseHover);
  EXPECT_TRUE(other->IsVisible());
}

TEST(DisplayScaleTest, SkinLengthsScaleAndKeepTheirWrittenValues) {
  GlobalManager::SetDisplayScale(150, true);
  Box box;
  box.SetAttribute(L"width", L"100");
  box.SetAttribute(L"height", L"auto");
  box.SetAttribute(L"padding", L"2,4,6,8");
  box.SetAttribute(L"margin", L"10,0,0,0");
  EXPECT_EQ(box.GetFixedWidth(), 150);
  EXPECT_EQ(box.GetFixedHeight(), Control::kAuto);
  EXPECT_EQ(box.GetLayout()->GetPadding(), Rect(3, 6, 9, 12));
  EXPECT_EQ(box.GetMargin().left, 15);
  box.ApplyAnimatedWidth(40);  // animations work in device pixels
  EXPECT_EQ(box.GetFixedWidth(), 40);
  GlobalManager::SetDisplayScale(200, true);
  box.RescaleSize();
  EXPECT_EQ(box.GetFixedWidth(), 200);
  GlobalManager::SetDisplayScale(100, false);
}

#ifndef NDEBUG
int g_thread_check_failures = 0;

// Controls belong to the thread that made them: attributes, layout and
// destruction from another thread are reported in debug builds.
TEST(ControlThreadTest, UseFromAnotherThreadIsReportedInDebugBuilds) {
  auto label = std::make_unique<Label>();
  g_thread_check_failures = 0;
  cbase::CheckFailureHandler old = cbase::SetCheckFailureHandler(
      [](const char*, const char*, int) { ++g_thread_check_failures; });
  std::thread([&] { label->SetAttribute(L"name", L"elsewhere"); }).join();
  EXPECT_EQ(g_thread_check_failures, 1);
  std::thread([&] { label->SetBounds(Rect(0, 0, 10, 10)); }).join();
  EXPECT_EQ(g_thread_check_failures, 2);
  label->SetAttribute(L"name", L"here");
  label->SetBounds(Rect(0, 0, 20, 20));
  EXPECT_EQ(g_thread_check_failures, 2);
  std::thread([&] { label.reset(); }).join();
  cbase::SetCheckFailureHandler(old);
  EXPECT_EQ(g_thread_check_failures, 3);
}
#endif

}  // namespace
}  // namespace ui
