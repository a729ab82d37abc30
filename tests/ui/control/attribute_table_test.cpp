// The attribute tables of the controls: every name a class handles reaches
// its own setter (checked by an effect a new control does not show yet),
// names a derived class does not handle still reach its bases, and names
// that only resemble a known one do nothing.
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "tests/ui/control/test_support.h"
#include "ui/control/box.h"
#include "ui/control/label.h"
#include "ui/control/rich_edit.h"
#include "ui/control/scroll_bar.h"
#include "ui/control/scrollable_box.h"
#include "ui/core/global_manager.h"

namespace ui {
namespace {

using testing::Rect;

// One attribute: |given| (an attribute list) is applied first, then
// name="value"; |applied| tells whether the effect shows.
template <typename T>
struct Case {
  const wchar_t* name;
  const wchar_t* value;
  bool (*applied)(T& control);
  const wchar_t* given = L"";
};

// Runs |cases| of a class Of on new controls of class T (Of or derived from
// it). |fresh_check|: the effect must not show before the attribute is set
// (off for inherited cases whose effect is a derived class's default).
template <typename T, typename Of>
void ExpectEachTakesEffect(const std::vector<Case<Of>>& cases, bool fresh_check) {
  for (const Case<Of>& c : cases) {
    T control;
    control.ApplyAttributeList(c.given);
    if (c.applied(control)) {
      EXPECT_FALSE(fresh_check) << "already in effect: " << c.name;
      continue;
    }
    control.SetAttribute(c.name, c.value);
    EXPECT_TRUE(c.applied(control)) << c.name << "=\"" << c.value << "\"";
  }
}

std::vector<Case<Control>> ControlCases() {
  using C = Control;
  return {
      {L"class", L"table_probe", [](C& c) { return c.GetDataId() == L"from class"; }},
      {L"name", L"n", [](C& c) { return c.GetName() == L"n"; }},
      {L"dataid", L"d", [](C& c) { return c.GetDataId() == L"d"; }},
      {L"halign", L"right", [](C& c) { return c.GetHorAlign() == kHorAlignRight; }},
      {L"valign", L"bottom", [](C& c) { return c.GetVerAlign() == kVerAlignBottom; }},
      {L"margin", L"1,2,3,4", [](C& c) { return c.GetMargin() == Rect(1, 2, 3, 4); }},
      {L"width", L"41", [](C& c) { return c.GetFixedWidth() == 41; }},
      {L"height", L"42", [](C& c) { return c.GetFixedHeight() == 42; }},
      {L"minwidth", L"5", [](C& c) { return c.GetMinWidth() == 5; }},
      {L"minheight", L"6", [](C& c) { return c.GetMinHeight() == 6; }},
      {L"maxwidth", L"50", [](C& c) { return c.GetMaxWidth() == 50; }},
      {L"maxheight", L"51", [](C& c) { return c.GetMaxHeight() == 51; }},
      {L"float", L"true", [](C& c) { return c.IsFloat(); }},
      {L"renderoffset", L"3,4",
       [](C& c) { return c.GetRenderOffset().x == 3 && c.GetRenderOffset().y == 4; }},
      {L"bkcolor", L"c0", [](C& c) { return c.GetBkColor() == L"c0"; }},
      {L"bkcolor1", L"c1", [](C& c) { return c.GetBkColor() == L"c1"; }},
      {L"normalcolor", L"c", [](C& c) { return c.GetStateColor(kControlStateNormal) == L"c"; }},
      {L"hotcolor", L"c", [](C& c) { return c.GetStateColor(kControlStateHot) == L"c"; }},
      {L"pushedcolor", L"c", [](C& c) { return c.GetStateColor(kControlStatePushed) == L"c"; }},
      {L"disabledcolor", L"c", [](C& c) { return c.GetStateColor(kControlStateDisabled) == L"c"; }},
      {L"bordercolor", L"c", [](C& c) { return c.GetBorderColor() == L"c"; }},
      {L"bordersize", L"2", [](C& c) { return c.GetBorderSize() == 2; }},
      {L"leftbordersize", L"1", [](C& c) { return c.GetSideBorderSizes() == Rect(1, 0, 0, 0); }},
      {L"topbordersize", L"1", [](C& c) { return c.GetSideBorderSizes() == Rect(0, 1, 0, 0); }},
      {L"rightbordersize", L"1", [](C& c) { return c.GetSideBorderSizes() == Rect(0, 0, 1, 0); }},
      {L"bottombordersize", L"1", [](C& c) { return c.GetSideBorderSizes() == Rect(0, 0, 0, 1); }},
      {L"borderround", L"3,4",
       [](C& c) { return c.GetBorderRound().cx == 3 && c.GetBorderRound().cy == 4; }},
      {L"bkimage", L"i.png", [](C& c) { return c.GetBkImage().image_string == L"i.png"; }},
      {L"normalimage", L"i.png",
       [](C& c) {
         return c.GetStateImage(kStateImageBackground, kControlStateNormal).image_string ==
                L"i.png";
       }},
      {L"hotimage", L"i.png",
       [](C& c) {
         return c.GetStateImage(kStateImageBackground, kControlStateHot).image_string == L"i.png";
       }},
      {L"pushedimage", L"i.png",
       [](C& c) {
         return c.GetStateImage(kStateImageBackground, kControlStatePushed).image_string ==
                L"i.png";
       }},
      {L"disabledimage", L"i.png",
       [](C& c) {
         return c.GetStateImage(kStateImageBackground, kControlStateDisabled).image_string ==
                L"i.png";
       }},
      {L"forenormalimage", L"i.png",
       [](C& c) {
         return c.GetStateImage(kStateImageForeground, kControlStateNormal).image_string ==
                L"i.png";
       }},
      {L"forehotimage", L"i.png",
       [](C& c) {
         return c.GetStateImage(kStateImageForeground, kControlStateHot).image_string == L"i.png";
       }},
      {L"forepushedimage", L"i.png",
       [](C& c) {
         return c.GetStateImage(kStateImageForeground, kControlStatePushed).image_string ==
                L"i.png";
       }},
      {L"foredisabledimage", L"i.png",
       [](C& c) {
         return c.GetStateImage(kStateImageForeground, kControlStateDisabled).image_string ==
                L"i.png";
       }},
      {L"alpha", L"100", [](C& c) { return c.GetAlpha() == 100; }},
      {L"state", L"pushed", [](C& c) { return c.GetState() == kControlStatePushed; }},
      {L"cursortype", L"hand", [](C& c) { return c.GetCursorType() == kCursorHand; }},
      {L"tooltiptext", L"tip", [](C& c) { return c.GetToolTipText() == L"tip"; }},
      {L"tooltiptextid", L"TABLE_PROBE", [](C& c) { return c.GetToolTipText() == L"probe text"; }},
      {L"enabled", L"false", [](C& c) { return !c.IsEnabled(); }},
      {L"mouse", L"false", [](C& c) { return !c.IsMouseEnabled(); }},
      {L"keyboard", L"false", [](C& c) { return !c.IsKeyboardEnabled(); }},
      {L"nofocus", L"false", [](C& c) { return c.IsNoFocus(); }},
      {L"menu", L"true", [](C& c) { return c.IsContextMenuUsed(); }},
      {L"receivepointer", L"true", [](C& c) { return c.IsReceivePointer(); }},
      {L"visible", L"false", [](C& c) { return !c.IsVisible(); }},
      {L"fadevisible", L"false", [](C& c) { return !c.IsVisible(); }},
      {L"cache", L"true", [](C& c) { return c.IsUseCache(); }},
      {L"fadealpha", L"true",
       [](C& c) { return c.GetAnimationPlayer(AnimationType::kAlpha) != nullptr; }},
      {L"fadehot", L"true",
       [](C& c) { return c.GetAnimationPlayer(AnimationType::kHot) != nullptr; }},
      {L"fadewidth", L"true",
       [](C& c) { return c.GetAnimationPlayer(AnimationType::kWidth) != nullptr; }},
      {L"fadeheight", L"true",
       [](C& c) { return c.GetAnimationPlayer(AnimationType::kHeight) != nullptr; }},
      {L"fadeinoutxfromleft", L"true",
       [](C& c) { return c.GetAnimationPlayer(AnimationType::kInOutXFromLeft) != nullptr; }},
      {L"fadeinoutxfromright", L"true",
       [](C& c) { return c.GetAnimationPlayer(AnimationType::kInOutXFromRight) != nullptr; }},
      {L"fadeinoutyfromtop", L"true",
       [](C& c) { return c.GetAnimationPlayer(AnimationType::kInOutYFromTop) != nullptr; }},
      {L"fadeinoutyfrombottom", L"true",
       [](C& c) { return c.GetAnimationPlayer(AnimationType::kInOutYFromBottom) != nullptr; }},
  };
}

std::vector<Case<Box>> BoxCases() {
  return {
      {L"mousechild", L"false", [](Box& b) { return !b.IsMouseChildEnabled(); }},
      {L"padding", L"1,2,3,4",
       [](Box& b) { return b.GetLayout()->GetPadding() == Rect(1, 2, 3, 4); }},
      {L"childmargin", L"7", [](Box& b) { return b.GetLayout()->GetChildMargin() == 7; }},
  };
}

std::vector<Case<ScrollableBox>> ScrollableBoxCases() {
  using S = ScrollableBox;
  return {
      {L"vscrollbar", L"true", [](S& s) { return s.VerticalScrollBar() != nullptr; }},
      {L"hscrollbar", L"true", [](S& s) { return s.HorizontalScrollBar() != nullptr; }},
      {L"vscrollbarstyle", L"linesize=\"3\"",
       [](S& s) { return s.VerticalScrollBar() && s.VerticalScrollBar()->GetLineSize() == 3; }},
      {L"hscrollbarstyle", L"linesize=\"3\"",
       [](S& s) { return s.HorizontalScrollBar() && s.HorizontalScrollBar()->GetLineSize() == 3; }},
      {L"scrollbarpadding", L"1,2,3,4",
       [](S& s) { return s.GetScrollBarPadding() == Rect(1, 2, 3, 4); }},
      {L"vscrollunit", L"7", [](S& s) { return s.GetVerScrollUnit() == 7; }},
      {L"hscrollunit", L"8", [](S& s) { return s.GetHorScrollUnit() == 8; }},
      {L"scrollbarfloat", L"false", [](S& s) { return !s.IsScrollBarFloat(); }},
      {L"defaultdisplayscrollbar", L"false", [](S& s) { return !s.IsDefaultDisplayScrollBar(); }},
      {L"holdend", L"true", [](S& s) { return s.IsHoldEnd(); }},
  };
}

std::vector<Case<ScrollBar>> ScrollBarCases() {
  using B = ScrollBar;
  return {
      {L"horizontal", L"true", [](B& b) { return b.IsHorizontal(); }},
      {L"linesize", L"3", [](B& b) { return b.GetLineSize() == 3; }},
      {L"thumbminlength", L"4", [](B& b) { return b.GetThumbMinLength() == 4; }},
      {L"range", L"50", [](B& b) { return b.GetScrollRange() == 50; }},
      {L"value", L"5", [](B& b) { return b.GetScrollPos() == 5; }},
      {L"showbutton1", L"false", [](B& b) { return !b.IsShowButton1(); }},
      {L"showbutton2", L"false", [](B& b) { return !b.IsShowButton2(); }},
      {L"autohidescroll", L"false", [](B& b) { return !b.IsAutoHideScroll(); }},
  };
}

// The caret colour, focused image and prompt mode only show when painted.
std::vector<Case<RichEdit>> RichEditCases() {
  using R = RichEdit;
  return {
      // The field's own bar switches also set the engine's scroll style.
      {L"vscrollbar", L"true",
       [](R& r) { return (r.GetEditStyle() & WS_VSCROLL) != 0 && r.VerticalScrollBar(); }},
      {L"hscrollbar", L"true",
       [](R& r) { return (r.GetEditStyle() & WS_HSCROLL) != 0 && r.HorizontalScrollBar(); }},
      {L"autovscroll", L"true", [](R& r) { return (r.GetEditStyle() & ES_AUTOVSCROLL) != 0; }},
      {L"autohscroll", L"true", [](R& r) { return (r.GetEditStyle() & ES_AUTOHSCROLL) != 0; }},
      {L"multiline", L"false", [](R& r) { return (r.GetEditStyle() & ES_MULTILINE) == 0; }},
      {L"readonly", L"true", [](R& r) { return r.IsReadOnly(); }},
      {L"password", L"true", [](R& r) { return r.IsPassword(); }},
      {L"number", L"true", [](R& r) { return r.IsNumberOnly(); }},
      {L"rich", L"true", [](R& r) { return r.IsRich(); }},
      {L"align", L"right bottom",
       [](R& r) { return (r.GetEditStyle() & ES_RIGHT) != 0 && r.GetVerticalAlign() == 2; }},
      // The text shows once the text services run.
      {L"text", L"t",
       [](R& r) {
         r.InitTextServices();
         return r.GetText() == L"t";
       }},
      {L"textid", L"TABLE_PROBE",
       [](R& r) {
         r.InitTextServices();
         return r.GetText() == L"probe text";
       }},
      {L"font", L"f", [](R& r) { return r.GetFont() == L"f"; }},
      {L"normaltextcolor", L"c", [](R& r) { return r.GetTextColor() == L"c"; }},
      {L"disabledtextcolor", L"c", [](R& r) { return r.GetTextColor() == L"c"; },
       L"enabled=\"false\""},
      {L"promptcolor", L"c", [](R& r) { return r.IsPromptShown(); }, L"prompttext=\"p\""},
      {L"prompttext", L"p", [](R& r) { return r.GetPromptText() == L"p"; }},
      {L"prompttextid", L"TABLE_PROBE", [](R& r) { return r.GetPromptText() == L"probe text"; }},
      {L"wanttab", L"false", [](R& r) { return !r.IsWantTab(); }},
      {L"wantreturnmsg", L"true", [](R& r) { return r.IsWantReturnMsg(); }},
      {L"returnmsgwantctrl", L"true", [](R& r) { return r.IsReturnMsgWantCtrl(); }},
  };
}

template <typename T>
std::vector<Case<T>> LabelCases() {
  return {
      {L"text", L"t", [](T& l) { return l.GetText() == L"t"; }},
      {L"textid", L"TABLE_PROBE", [](T& l) { return l.GetText() == L"probe text"; }},
      {L"font", L"f", [](T& l) { return l.GetFont() == L"f"; }},
      {L"align", L"right", [](T& l) { return (l.GetTextStyle() & DT_RIGHT) != 0; }},
      {L"endellipsis", L"false", [](T& l) { return (l.GetTextStyle() & DT_END_ELLIPSIS) == 0; }},
      {L"linelimit", L"true", [](T& l) { return l.IsLineLimit(); }},
      {L"singleline", L"false", [](T& l) { return !l.IsSingleLine(); }},
      {L"textpadding", L"1,2,3,4", [](T& l) { return l.GetTextPadding() == Rect(1, 2, 3, 4); }},
      {L"normaltextcolor", L"c",
       [](T& l) { return l.GetStateTextColor(kControlStateNormal) == L"c"; }},
      {L"hottextcolor", L"c", [](T& l) { return l.GetStateTextColor(kControlStateHot) == L"c"; }},
      {L"pushedtextcolor", L"c",
       [](T& l) { return l.GetStateTextColor(kControlStatePushed) == L"c"; }},
      {L"disabledtextcolor", L"c",
       [](T& l) { return l.GetStateTextColor(kControlStateDisabled) == L"c"; }},
  };
}

class AttributeTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    GlobalManager::AddClass(L"table_probe", L"dataid=\"from class\"");
    const std::string strings = "TABLE_PROBE = probe text\n";
    ASSERT_TRUE(GlobalManager::LoadStringTableFromMemory(
        std::vector<unsigned char>(strings.begin(), strings.end())));
  }
  void TearDown() override { GlobalManager::LoadStringTableFromMemory({}); }
};

TEST_F(AttributeTableTest, EachClassHandlesItsOwnNames) {
  ExpectEachTakesEffect<Control>(ControlCases(), true);
  ExpectEachTakesEffect<Box>(BoxCases(), true);
  ExpectEachTakesEffect<ScrollableBox>(ScrollableBoxCases(), true);
  ExpectEachTakesEffect<ScrollBar>(ScrollBarCases(), true);
  ExpectEachTakesEffect<RichEdit>(RichEditCases(), true);
  ExpectEachTakesEffect<Label>(LabelCases<Label>(), true);
  ExpectEachTakesEffect<LabelBox>(LabelCases<LabelBox>(), true);
}

TEST_F(AttributeTableTest, NamesADerivedClassLacksReachItsBases) {
  ExpectEachTakesEffect<Box>(ControlCases(), false);
  ExpectEachTakesEffect<ScrollableBox>(ControlCases(), false);
  ExpectEachTakesEffect<ScrollableBox>(BoxCases(), false);
  ExpectEachTakesEffect<ScrollBar>(ControlCases(), false);
  ExpectEachTakesEffect<RichEdit>(ControlCases(), false);
  ExpectEachTakesEffect<RichEdit>(BoxCases(), false);
  ExpectEachTakesEffect<RichEdit>(ScrollableBoxCases(), false);
  ExpectEachTakesEffect<Label>(ControlCases(), false);
  ExpectEachTakesEffect<LabelBox>(ControlCases(), false);
  ExpectEachTakesEffect<LabelBox>(BoxCases(), false);
}

// Each "<part><state>image" reaches its own part and state, and no other.
TEST_F(AttributeTableTest, ScrollBarImageNamesSelectOnePartAndState) {
  const wchar_t* const parts[] = {L"button1", L"button2", L"thumb", L"rail", L"bk"};
  const wchar_t* const states[] = {L"normal", L"hot", L"pushed", L"disabled"};
  for (int part = 0; part < ScrollBar::kSlotCount; ++part) {
    for (int state = 0; state < 4; ++state) {
      ScrollBar bar;
      const std::wstring name = std::wstring(parts[part]) + states[state] + L"image";
      bar.SetAttribute(name, L"p.png");
      for (int p = 0; p < ScrollBar::kSlotCount; ++p) {
        for (int s = 0; s < 4; ++s) {
          const std::wstring& image = bar.GetPartImage(static_cast<ScrollBar::ImageSlot>(p),
                                                       static_cast<ControlStateType>(s))
                                          .image_string;
          EXPECT_EQ(image, (p == part && s == state) ? L"p.png" : L"") << name;
        }
      }
    }
  }
}

// Lookup is exact: case, neighbours in sort order, prefixes and names with
// a NUL inside are not the attribute.
TEST_F(AttributeTableTest, NamesThatOnlyResembleAnAttributeDoNothing) {
  const std::wstring near_names[] = {
      L"Width", L"width ", L"widt", L"widthx", std::wstring(L"width\0", 6), L"", L"a", L"zzz"};
  Label label;
  RichEdit edit;
  ScrollBar bar;
  for (const std::wstring& name : near_names) {
    label.SetAttribute(name, L"77");
    edit.SetAttribute(name, L"77");
    bar.SetAttribute(name, L"77");
  }
  EXPECT_EQ(label.GetFixedWidth(), Control::kAuto);
  EXPECT_EQ(label.GetText(), L"");
  EXPECT_NE(edit.GetFixedWidth(), 77);
  EXPECT_EQ(bar.GetFixedWidth(), ScrollBar::kDefaultBarSize);
}

// Only "true" and "false" change the field's strict switches.
TEST_F(AttributeTableTest, StrictSwitchesOfTheFieldIgnoreOtherValues) {
  RichEdit edit;
  edit.SetAttribute(L"readonly", L"true");
  edit.SetAttribute(L"readonly", L"yes");
  EXPECT_TRUE(edit.IsReadOnly());
  edit.SetAttribute(L"multiline", L"0");
  EXPECT_NE(edit.GetEditStyle() & ES_MULTILINE, 0u);
  edit.SetAttribute(L"rich", L"true");
  edit.SetAttribute(L"rich", L"yes");  // a plain switch: anything else is off
  EXPECT_FALSE(edit.IsRich());
}

}  // namespace
}  // namespace ui
