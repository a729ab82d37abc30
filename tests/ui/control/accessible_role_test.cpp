// What each control tells a screen reader: role, name, value, and whether
// Tab stops on it.
#include <gtest/gtest.h>
#include <memory>
#include <string>

#include "tests/ui/control/test_support.h"
#include "ui/control/box.h"
#include "ui/control/button.h"
#include "ui/control/check_box.h"
#include "ui/control/label.h"
#include "ui/control/option.h"
#include "ui/control/progress.h"
#include "ui/control/rich_edit.h"

namespace ui {
namespace {

TEST(AccessibleRoleTest, EachClassHasItsRoleAndTheSkinMayOverrideIt) {
  Label label;
  Button button;
  ButtonBox card;
  CheckBox check;
  Option option;
  Progress progress;
  RichEdit edit;
  Box box;
  LabelBox label_box;
  Control plain;
  EXPECT_EQ(label.GetAccessibleRole(), AccessibleRole::kStaticText);
  EXPECT_EQ(button.GetAccessibleRole(), AccessibleRole::kPushButton);
  EXPECT_EQ(card.GetAccessibleRole(), AccessibleRole::kPushButton);
  EXPECT_EQ(check.GetAccessibleRole(), AccessibleRole::kCheckBox);
  EXPECT_EQ(option.GetAccessibleRole(), AccessibleRole::kRadioButton);
  EXPECT_EQ(progress.GetAccessibleRole(), AccessibleRole::kProgressBar);
  EXPECT_EQ(edit.GetAccessibleRole(), AccessibleRole::kEditableText);
  EXPECT_EQ(box.GetAccessibleRole(), AccessibleRole::kNone);
  EXPECT_EQ(label_box.GetAccessibleRole(), AccessibleRole::kNone);
  EXPECT_EQ(plain.GetAccessibleRole(), AccessibleRole::kNone);

  box.SetAttribute(L"accrole", L"dialog");
  EXPECT_EQ(box.GetAccessibleRole(), AccessibleRole::kDialog);
  label.SetAttribute(L"accrole", L"none");
  EXPECT_EQ(label.GetAccessibleRole(), AccessibleRole::kNone);
  // An unknown word leaves the role as it was.
  button.SetAttribute(L"accrole", L"Dialog");
  button.SetAttribute(L"accrole", L"");
  EXPECT_EQ(button.GetAccessibleRole(), AccessibleRole::kPushButton);
}

TEST(AccessibleRoleTest, APictureIsAGraphicOnlyWhenItHasAName) {
  Control picture;
  picture.SetAttribute(L"bkimage", L"logo.png");
  // Decorative: a screen reader would only hear "graphic".
  EXPECT_EQ(picture.GetAccessibleRole(), AccessibleRole::kNone);
  picture.SetAttribute(L"accname", L"Logo");
  EXPECT_EQ(picture.GetAccessibleRole(), AccessibleRole::kGraphic);
  Control state_picture;
  state_picture.SetAttribute(L"normalimage", L"icon.png");
  state_picture.SetAttribute(L"tooltiptext", L"Help");
  EXPECT_EQ(state_picture.GetAccessibleRole(), AccessibleRole::kGraphic);
  // A box with a picture stays a container.
  Box box;
  box.SetAttribute(L"bkimage", L"back.png");
  box.SetAttribute(L"accname", L"Back");
  EXPECT_EQ(box.GetAccessibleRole(), AccessibleRole::kNone);
}

TEST(AccessibleRoleTest, TheNameIsTheTextElseTheTooltipElseTheAccName) {
  Button close;
  close.SetAttribute(L"accname", L"Close window");
  EXPECT_EQ(close.GetAccessibleName(), L"Close window");
  close.SetAttribute(L"tooltiptext", L"Close");
  EXPECT_EQ(close.GetAccessibleName(), L"Close");
  close.SetText(L"X");
  EXPECT_EQ(close.GetAccessibleName(), L"X");
  close.SetText(L"");
  EXPECT_EQ(close.GetAccessibleName(), L"Close");

  Label label;
  EXPECT_EQ(label.GetAccessibleName(), L"");
  label.SetTextId(L"STRID_NOT_IN_THE_TABLE");
  label.SetAttribute(L"accname", L"fallback");
  // A text id the language table lacks reads as no text.
  EXPECT_EQ(label.GetAccessibleName(), L"fallback");
}

TEST(AccessibleRoleTest, AProgressBarsValueIsItsShareOfTheRange) {
  Progress progress;
  EXPECT_EQ(progress.GetAccessibleValue(), L"0%");
  progress.SetValue(42.4);
  EXPECT_EQ(progress.GetAccessibleValue(), L"42%");
  progress.SetValue(42.5);
  EXPECT_EQ(progress.GetAccessibleValue(), L"43%");
  progress.SetMinValue(50);
  progress.SetMaxValue(150);
  progress.SetValue(75);
  EXPECT_EQ(progress.GetAccessibleValue(), L"25%");
  // Out of range values are clamped; an empty or reversed range counts as
  // one wide.
  progress.SetValue(1000);
  EXPECT_EQ(progress.Percent(), 100);
  progress.SetValue(-1000);
  EXPECT_EQ(progress.Percent(), 0);
  progress.SetMaxValue(10);
  progress.SetValue(51);
  EXPECT_EQ(progress.Percent(), 100);
  progress.SetValue(50.5);
  EXPECT_EQ(progress.Percent(), 50);
}

TEST(AccessibleRoleTest, TabStopsAreTheControlsThatAct) {
  Label label;
  Control plain;
  Box box;
  Progress progress;
  Button button;
  ButtonBox card;
  CheckBox check;
  RichEdit edit;
  EXPECT_FALSE(label.IsTabFocusable());
  EXPECT_FALSE(plain.IsTabFocusable());
  EXPECT_FALSE(box.IsTabFocusable());
  EXPECT_FALSE(progress.IsTabFocusable());
  EXPECT_TRUE(button.IsTabFocusable());
  EXPECT_TRUE(card.IsTabFocusable());
  EXPECT_TRUE(check.IsTabFocusable());
  EXPECT_TRUE(edit.IsTabFocusable());
  button.SetAttribute(L"keyboard", L"false");
  EXPECT_FALSE(button.IsTabFocusable());
  card.SetAttribute(L"nofocus", L"true");
  EXPECT_FALSE(card.IsTabFocusable());
}

TEST(AccessibleRoleTest, EveryControlHasItsOwnPositiveId) {
  Label a;
  Label b;
  Button c;
  EXPECT_GT(a.GetAccessibleId(), 0);
  EXPECT_NE(a.GetAccessibleId(), b.GetAccessibleId());
  EXPECT_NE(b.GetAccessibleId(), c.GetAccessibleId());
  EXPECT_NE(a.GetAccessibleId(), c.GetAccessibleId());
}

}  // namespace
}  // namespace ui
