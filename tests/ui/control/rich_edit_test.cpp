// The rich edit over the system's windowless text services, in a real window:
// text in and out, number fields, Enter as a "return" event, Tab, read-only
// double click, the prompt, and the wheel with Ctrl.
#include "ui/control/rich_edit.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

#include "tests/ui/control/test_support.h"
#include "ui/core/global_manager.h"
#include "ui/core/window_builder.h"

namespace ui {
namespace {

using testing::Rect;
using testing::TestWindow;

// Holds Ctrl (or not) in this thread's keyboard state for the keys the
// control reads.
void SetCtrl(bool down) {
  BYTE keys[256] = {};
  ::GetKeyboardState(keys);
  keys[VK_CONTROL] = down ? 0x80 : 0;
  keys[VK_SHIFT] = 0;
  keys[VK_TAB] = 0;
  ::SetKeyboardState(keys);
}

// The ink of one colour in a painted canvas: the box around every pixel whose
// red, green and blue are each within 0x50 of |rgb|'s.
RECT InkOf(const IRenderContext& canvas, DWORD rgb) {
  RECT ink = {LONG_MAX, LONG_MAX, LONG_MIN, LONG_MIN};
  for (int y = 0; y < canvas.GetHeight(); ++y) {
    for (int x = 0; x < canvas.GetWidth(); ++x) {
      const DWORD pixel = testing::PixelAt(canvas, x, y);
      bool close = true;
      for (int shift : {0, 8, 16}) {
        const int a = static_cast<int>((pixel >> shift) & 0xFF);
        const int b = static_cast<int>((rgb >> shift) & 0xFF);
        close = close && std::abs(a - b) < 0x50;
      }
      if (!close) continue;
      ink.left = std::min<LONG>(ink.left, x);
      ink.top = std::min<LONG>(ink.top, y);
      ink.right = std::max<LONG>(ink.right, x + 1);
      ink.bottom = std::max<LONG>(ink.bottom, y + 1);
    }
  }
  return ink;
}

class RichEditTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetCtrl(false);
    ASSERT_NE(window_.Create(nullptr, L"edit", WS_POPUP, 0, false, Rect(0, 0, 300, 200)), nullptr);
    edit_ = new RichEdit();
    window_.AttachRoot(edit_);
    edit_->SetBounds(Rect(0, 0, 300, 200));
    ASSERT_TRUE(edit_->HasTextServices());
  }
  void TearDown() override { SetCtrl(false); }

  void Send(EventType type, WPARAM wparam) {
    EventArgs args;
    args.type = type;
    args.sender = edit_;
    args.wparam = wparam;
    edit_->DispatchEvent(args);
  }
  void Type(const std::wstring& text) {
    for (wchar_t ch : text) Send(kEventChar, ch);
  }

  TestWindow window_;
  RichEdit* edit_ = nullptr;
};

TEST_F(RichEditTest, TextGoesInAndComesOutInUtf16AndUtf8) {
  edit_->SetText(L"Fernwick \u00e9t\u00e9");
  EXPECT_EQ(edit_->GetText(), L"Fernwick \u00e9t\u00e9");
  EXPECT_EQ(edit_->GetUtf8Text(), "Fernwick \xc3\xa9t\xc3\xa9");
  edit_->SetUtf8Text("C:\\Users\\\xe5\xbc\xa0");
  EXPECT_EQ(edit_->GetText(), L"C:\\Users\\\u5f20");
  // Replacing keeps nothing of the old text.
  edit_->SetText(L"ab");
  EXPECT_EQ(edit_->GetText(), L"ab");
  edit_->TxSendMessage(EM_SETSEL, 1, 2);
  EXPECT_EQ(edit_->GetSelText(), L"b");
  edit_->SetText(L"");
  EXPECT_EQ(edit_->GetText(), L"");
}

TEST_F(RichEditTest, TextGivenBeforeTheWindowAppearsOnceTheServicesStart) {
  RichEdit* early = new RichEdit();
  early->SetAttribute(L"text", L"early");
  EXPECT_EQ(early->GetText(), L"");  // nothing to ask yet
  TestWindow other;
  ASSERT_NE(other.Create(nullptr, L"early", WS_POPUP, 0, false, Rect(0, 0, 100, 50)), nullptr);
  other.AttachRoot(early);
  EXPECT_EQ(early->GetText(), L"early");
}

TEST_F(RichEditTest, TypingChangesTheTextAndReportsEachChange) {
  int changes = 0;
  edit_->AttachEvent(kEventValueChange, [&](const EventArgs&) {
    ++changes;
    return true;
  });
  Type(L"abc");
  EXPECT_EQ(edit_->GetText(), L"abc");
  EXPECT_GE(changes, 3);
}

TEST_F(RichEditTest, ANumberFieldDropsLettersButKeepsDigitsAndBackspace) {
  edit_->SetAttribute(L"number", L"true");
  Type(L"a1b2");
  EXPECT_EQ(edit_->GetText(), L"12");
  // Backspace arrives as a key and then as a control character; both pass.
  Send(kEventKeyDown, VK_BACK);
  Send(kEventChar, VK_BACK);
  EXPECT_EQ(edit_->GetText(), L"1");
  edit_->SetAttribute(L"number", L"false");
  Type(L"x");
  EXPECT_EQ(edit_->GetText(), L"1x");
}

TEST_F(RichEditTest, PastingIntoANumberFieldKeepsOnlyTheDigits) {
  ASSERT_TRUE(::OpenClipboard(window_.GetHWND()));
  ::EmptyClipboard();
  const wchar_t pasted[] = L"tel: 400-123 x9";
  HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, sizeof(pasted));
  ASSERT_NE(memory, nullptr);
  memcpy(::GlobalLock(memory), pasted, sizeof(pasted));
  ::GlobalUnlock(memory);
  ::SetClipboardData(CF_UNICODETEXT, memory);
  ::CloseClipboard();

  edit_->SetAttribute(L"number", L"true");
  SetCtrl(true);
  Send(kEventKeyDown, 'V');
  SetCtrl(false);
  EXPECT_EQ(edit_->GetText(), L"4001239");
}

TEST_F(RichEditTest, EnterBecomesAReturnEventWhenAskedAndOtherwiseReachesTheEditor) {
  int returns = 0;
  edit_->AttachEvent(kEventReturn, [&](const EventArgs&) {
    ++returns;
    return true;
  });
  edit_->SetText(L"x");
  edit_->SetAttribute(L"wantreturnmsg", L"true");
  Send(kEventKeyDown, VK_RETURN);
  Send(kEventChar, L'\r');
  EXPECT_EQ(returns, 1);
  EXPECT_EQ(edit_->GetText(), L"x");

  // With "returnmsgwantctrl" plain Enter edits and Ctrl+Enter reports.
  edit_->SetAttribute(L"returnmsgwantctrl", L"true");
  Send(kEventKeyDown, VK_RETURN);
  Send(kEventChar, L'\r');
  EXPECT_EQ(returns, 1);
  EXPECT_NE(edit_->GetText(), L"x");
  const std::wstring after_enter = edit_->GetText();
  SetCtrl(true);
  Send(kEventKeyDown, VK_RETURN);
  Send(kEventChar, L'\n');
  SetCtrl(false);
  EXPECT_EQ(returns, 2);
  EXPECT_EQ(edit_->GetText(), after_enter);
}

TEST_F(RichEditTest, TabIsAnEventForFieldsThatDoNotWantIt) {
  int tabs = 0;
  edit_->AttachEvent(kEventTab, [&](const EventArgs&) {
    ++tabs;
    return true;
  });
  edit_->SetAttribute(L"wanttab", L"false");
  Type(L"\t");
  EXPECT_EQ(tabs, 1);
  EXPECT_EQ(edit_->GetText(), L"");
  edit_->SetAttribute(L"wanttab", L"true");
  Type(L"\t");
  EXPECT_EQ(tabs, 1);
  EXPECT_EQ(edit_->GetText(), L"\t");
}

TEST_F(RichEditTest, DoubleClickOnAReadOnlyFieldSelectsEverything) {
  edit_->SetText(L"C:\\Fernwick\\bin");
  edit_->SetAttribute(L"readonly", L"true");
  EXPECT_TRUE(edit_->IsReadOnly());
  Type(L"zz");
  EXPECT_EQ(edit_->GetText(), L"C:\\Fernwick\\bin");
  Send(kEventInternalDoubleClick, 0);
  EXPECT_EQ(edit_->GetSelText(), L"C:\\Fernwick\\bin");
}

TEST_F(RichEditTest, ThePromptShowsOnlyWhileTheFieldIsEmpty) {
  GlobalManager::AddTextColor(L"prompt_gray", 0xFF808080);
  edit_->SetAttribute(L"prompttext", L"Install location");
  EXPECT_FALSE(edit_->IsPromptShown());  // no colour yet
  edit_->SetAttribute(L"promptcolor", L"prompt_gray");
  EXPECT_TRUE(edit_->IsPromptShown());
  Type(L"x");
  EXPECT_FALSE(edit_->IsPromptShown());
  Send(kEventKeyDown, VK_BACK);
  Send(kEventChar, VK_BACK);
  EXPECT_TRUE(edit_->IsPromptShown());
}

TEST_F(RichEditTest, CtrlWheelDoesNotZoom) {
  edit_->SetText(L"zoom");
  EventArgs wheel;
  wheel.type = kEventMouseScrollWheel;
  wheel.sender = edit_;
  wheel.wparam = 120;
  LONG numerator = 0;
  LONG denominator = 0;
  SetCtrl(true);
  edit_->DispatchEvent(wheel);
  SetCtrl(false);
  edit_->TxSendMessage(EM_GETZOOM, reinterpret_cast<WPARAM>(&numerator),
                       reinterpret_cast<LPARAM>(&denominator));
  EXPECT_EQ(numerator, 0);  // no zoom set
}

TEST_F(RichEditTest, NaturalHeightGrowsWithTheLines) {
  edit_->SetText(L"one");
  const int one = edit_->NaturalSize(300);
  edit_->SetText(L"one\rtwo\rthree");
  const int three = edit_->NaturalSize(300);
  EXPECT_GT(one, 0);
  EXPECT_GT(three, one * 2);
  edit_->SetNaturalSizeFunction([](int width) { return width / 2; });
  EXPECT_EQ(edit_->NaturalSize(300), 150);
}

// Where the engine puts the first character: its view of the client rectangle.
POINTL FirstCharacterAt(RichEdit* edit) {
  POINTL at = {-1, -1};
  edit->TxSendMessage(EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&at), 0);
  return at;
}

TEST_F(RichEditTest, VerticalCentringMeasuresTheTextOnlyOutsideTheEngine) {
  int measures = 0;
  int inside = 0;
  edit_->SetNaturalSizeFunction([&](int) {
    ++measures;
    if (edit_->IsInTextServices()) ++inside;
    return 20;
  });
  edit_->SetAttribute(L"align", L"vcenter");
  edit_->SetAttribute(L"vscrollbar", L"true");
  edit_->SetAttribute(L"autovscroll", L"true");
  edit_->SetText(L"one\rtwo");
  Type(L"abc\r");
  edit_->SetBounds(Rect(0, 0, 300, 200));
  auto canvas = testing::MakeCanvas(300, 200);
  edit_->Paint(canvas.get(), Rect(0, 0, 300, 200));
  EXPECT_GT(measures, 0);
  EXPECT_EQ(inside, 0);
  // The engine's own callbacks still see the centred rectangle.
  EXPECT_NEAR(FirstCharacterAt(edit_).y, (200 - 20) / 2, 2);
}

TEST_F(RichEditTest, VerticalCentringFollowsTheTextAsItGrows) {
  GlobalManager::AddTextColor(L"grow_red", 0xFFFF0000);
  edit_->SetAttribute(L"normaltextcolor", L"grow_red");
  edit_->SetAttribute(L"align", L"vcenter");
  auto ink = [&] {
    auto canvas = testing::MakeCanvas(300, 200);
    edit_->Paint(canvas.get(), Rect(0, 0, 300, 200));
    return InkOf(*canvas, 0xFF0000);
  };
  Type(L"H");
  const RECT one = ink();
  ASSERT_LT(one.top, one.bottom);
  EXPECT_NEAR((one.top + one.bottom) / 2, 100, 8) << one;
  // Lines typed in stay centred as a block: the first one moves up.
  for (int i = 0; i < 2; ++i) {
    Send(kEventKeyDown, VK_RETURN);
    Type(L"H");
  }
  const RECT three = ink();
  ASSERT_LT(three.top, three.bottom);
  EXPECT_GT(three.bottom - three.top, 2 * (one.bottom - one.top)) << three;
  EXPECT_NEAR((three.top + three.bottom) / 2, 100, 8) << three;
  edit_->SetAttribute(L"align", L"bottom");
  EXPECT_GT(ink().bottom, 190);
}

TEST(RichEditAloneTest, WithoutTextServicesTheControlIsInert) {
  RichEdit edit;  // never joined a window
  edit.SetText(L"kept");
  EXPECT_EQ(edit.GetText(), L"");
  EXPECT_EQ(edit.TxSendMessage(WM_CHAR, 'a', 0), 1);
}

TEST(RichEditBuilderTest, SkinsConfigureTheField) {
  WindowBuilder builder;
  std::unique_ptr<Control> built(builder.Create(
      L"<Window><RichEdit number=\"true\" readonly=\"false\" wantreturnmsg=\"true\" "
      L"multiline=\"false\" align=\"hcenter vcenter\" vscrollbar=\"true\"/></Window>"));
  auto* edit = dynamic_cast<RichEdit*>(built.get());
  ASSERT_NE(edit, nullptr);
  EXPECT_TRUE(edit->IsNumberOnly());
  EXPECT_TRUE(edit->IsWantReturnMsg());
  EXPECT_EQ(edit->GetEditStyle() & ES_MULTILINE, 0u);
  EXPECT_EQ(edit->GetEditStyle() & (ES_CENTER | ES_NUMBER | WS_VSCROLL),
            static_cast<DWORD>(ES_CENTER | ES_NUMBER | WS_VSCROLL));
  EXPECT_EQ(edit->GetVerticalAlign(), 1);
  EXPECT_NE(edit->VerticalScrollBar(), nullptr);
}

}  // namespace
}  // namespace ui

namespace ui {
namespace {

TEST_F(RichEditTest, LongTextGivesTheFrameworkBarARangeAndTheWheelScrollsIt) {
  edit_->SetAttribute(L"vscrollbar", L"true");
  edit_->SetAttribute(L"autovscroll", L"true");
  edit_->SetBounds(Rect(0, 0, 300, 200));
  std::wstring lines;
  for (int i = 0; i < 60; ++i) lines += L"line " + std::to_wstring(i) + L"\r";
  edit_->SetText(lines);
  ScrollBar* bar = edit_->VerticalScrollBar();
  ASSERT_NE(bar, nullptr);
  EXPECT_GT(bar->GetScrollRange(), 200);
  // The caret went to the end with the text, and the view with it.
  EXPECT_EQ(edit_->GetScrollPos().cy, bar->GetScrollRange());
  edit_->HomeUp();
  EXPECT_EQ(edit_->TxSendMessage(EM_GETFIRSTVISIBLELINE, 0, 0), 0);

  EventArgs wheel;
  wheel.type = kEventMouseScrollWheel;
  wheel.sender = edit_;
  wheel.wparam = static_cast<WPARAM>(static_cast<INT_PTR>(-120));
  edit_->DispatchEvent(wheel);
  testing::AnimationTimers().PulseFor(3000);
  EXPECT_EQ(edit_->GetScrollPos().cy, 30);
  // The engine's own view followed: its first visible line is no longer 0.
  EXPECT_GT(edit_->TxSendMessage(EM_GETFIRSTVISIBLELINE, 0, 0), 0);
}

TEST_F(RichEditTest, ThePromptIsPaintedInItsColourWhileEmpty) {
  GlobalManager::AddTextColor(L"prompt_red", 0xFFFF0000);
  edit_->SetAttribute(L"prompttext", L"HHHHHHHH");
  edit_->SetAttribute(L"promptcolor", L"prompt_red");
  auto count_red = [&] {
    auto canvas = testing::MakeCanvas(300, 200);
    edit_->Paint(canvas.get(), Rect(0, 0, 300, 200));
    int red = 0;
    for (int y = 0; y < 40; ++y) {
      for (int x = 0; x < 100; ++x) {
        const DWORD pixel = testing::PixelAt(*canvas, x, y);
        if (((pixel >> 16) & 0xFF) > 0xC0 && ((pixel >> 8) & 0xFF) < 0x40 &&
            (pixel & 0xFF) < 0x40) {
          ++red;
        }
      }
    }
    return red;
  };
  EXPECT_GT(count_red(), 20);
  edit_->SetText(L"typed");
  EXPECT_EQ(count_red(), 0);
}

}  // namespace
}  // namespace ui

namespace ui {
namespace {

bool IsEmpty(const RECT& ink) { return ink.left >= ink.right; }

// A field built from markup the way a skin is: the builder hands the control
// its window before the skin's attributes, and the field joins the window's
// tree afterwards. What the attributes ask must show in what the engine draws.
class RichEditFromSkinTest : public ::testing::Test {
 protected:
  void SetUp() override {
    GlobalManager::AddTextColor(L"skin_red", 0xFFFF0000);
    GlobalManager::AddTextColor(L"skin_blue", 0xFF0000FF);
    ASSERT_NE(GlobalManager::AddFont(L"skin_big", L"system", 40, false, false, false, false, false),
              nullptr);
    ASSERT_NE(
        GlobalManager::AddFont(L"skin_small", L"system", 12, false, false, false, false, false),
        nullptr);
    ASSERT_NE(window_.Create(nullptr, L"skin", WS_POPUP, 0, false, Rect(0, 0, 300, 200)), nullptr);
  }

  // The field, in the fixture's window or, when |fresh|, in a window of its
  // own that has not shown a frame either.
  RichEdit* Build(const std::wstring& attributes, int height = 200, bool fresh = false) {
    TestWindow* window = &window_;
    if (fresh) {
      window = more_windows_.emplace_back(std::make_unique<TestWindow>()).get();
      if (window->Create(nullptr, L"skin", WS_POPUP, 0, false, Rect(0, 0, 300, 200)) == nullptr) {
        return nullptr;
      }
    }
    WindowBuilder builder;
    Control* root =
        builder.Create(L"<Window><VBox><RichEdit name=\"field\" width=\"300\" height=\"" +
                           std::to_wstring(height) + L"\" " + attributes + L"/></VBox></Window>",
                       nullptr, window);
    if (root == nullptr || !window->AttachRoot(root)) return nullptr;
    root->SetBounds(Rect(0, 0, 300, 200));
    return dynamic_cast<RichEdit*>(window->FindControlByName(L"field"));
  }

  std::unique_ptr<IRenderContext> Canvas(RichEdit* edit) {
    auto canvas = testing::MakeCanvas(300, 200);
    edit->Paint(canvas.get(), Rect(0, 0, 300, 200));
    return canvas;
  }

  RECT Paint(RichEdit* edit, DWORD rgb) { return InkOf(*Canvas(edit), rgb); }

  TestWindow window_;
  std::vector<std::unique_ptr<TestWindow>> more_windows_;
};

TEST_F(RichEditFromSkinTest, AlignmentFontAndColoursOfTheSkinShowInTheText) {
  RichEdit* edit = Build(
      L"align=\"hcenter vcenter\" font=\"skin_big\" normaltextcolor=\"skin_red\" "
      L"disabledtextcolor=\"skin_blue\" text=\"HHHH\"");
  ASSERT_NE(edit, nullptr);
  ASSERT_TRUE(edit->HasTextServices());
  const RECT ink = Paint(edit, 0xFF0000);
  ASSERT_FALSE(IsEmpty(ink)) << "no text in the skin's colour";
  // Centred both ways in the 300 x 200 field.
  EXPECT_NEAR((ink.left + ink.right) / 2, 150, 6) << ink;
  EXPECT_NEAR((ink.top + ink.bottom) / 2, 100, 12) << ink;
  // Capitals of a 40-pixel font stand well over 20 pixels tall.
  EXPECT_GT(ink.bottom - ink.top, 20) << ink;

  // The disabled colour replaces the normal one, and back.
  edit->SetEnabled(false);
  EXPECT_TRUE(IsEmpty(Paint(edit, 0xFF0000)));
  EXPECT_FALSE(IsEmpty(Paint(edit, 0x0000FF)));
  edit->SetEnabled(true);
  EXPECT_FALSE(IsEmpty(Paint(edit, 0xFF0000)));
}

TEST_F(RichEditFromSkinTest, ChangesOnARunningFieldReachItsText) {
  RichEdit* edit = Build(L"font=\"skin_small\" normaltextcolor=\"skin_red\" text=\"HHHH\"");
  ASSERT_NE(edit, nullptr);
  ASSERT_TRUE(edit->HasTextServices());
  const RECT before = Paint(edit, 0xFF0000);
  ASSERT_FALSE(IsEmpty(before));
  EXPECT_LT(before.left, 10) << before;  // left and top by default
  EXPECT_LT(before.top, 20) << before;

  edit->SetAttribute(L"align", L"right bottom");
  edit->SetAttribute(L"font", L"skin_big");
  edit->SetAttribute(L"normaltextcolor", L"skin_blue");
  const RECT after = Paint(edit, 0x0000FF);
  ASSERT_FALSE(IsEmpty(after)) << "no text in the new colour";
  EXPECT_GT(after.right, 290) << after;
  EXPECT_GT(after.bottom, 185) << after;
  EXPECT_GT(after.bottom - after.top, 2 * (before.bottom - before.top)) << after;
}

// The pixels where two canvases differ.
int Differences(const IRenderContext& a, const IRenderContext& b) {
  int differences = 0;
  for (int y = 0; y < a.GetHeight(); ++y) {
    for (int x = 0; x < a.GetWidth(); ++x) {
      differences += testing::PixelAt(a, x, y) != testing::PixelAt(b, x, y) ? 1 : 0;
    }
  }
  return differences;
}

TEST_F(RichEditFromSkinTest, UntilTheFirstFrameAOneLineFieldDrawsItsTextAsTheEngineWill) {
  ASSERT_NE(GlobalManager::AddFont(L"skin_cjk", L"\u5fae\u8f6f\u96c5\u9ed1", 12, false, false,
                                   false, false, false),
            nullptr);
  GlobalManager::AddTextColor(L"skin_gray", 0xFF606060);
  struct Case {
    const wchar_t* attributes;
    int height;
    DWORD ink;
    bool disable = false;
  } cases[] = {
      {L"font=\"skin_small\" normaltextcolor=\"skin_red\" text=\"C:\\Fernwick Games\\Setup\"", 200,
       0xFF0000},
      {L"font=\"skin_big\" align=\"vcenter\" normaltextcolor=\"skin_blue\" text=\"Hxg\"", 200,
       0x0000FF},
      {L"font=\"skin_cjk\" align=\"vcenter\" readonly=\"true\" normaltextcolor=\"skin_gray\" "
       L"text=\"D:\\\u6e38\u620f\\Fernwick\"",
       18, 0x606060},
      {L"font=\"skin_small\" align=\"bottom\" prompttext=\"HHHH\" promptcolor=\"skin_red\"", 40,
       0xFF0000},
      // Disabled while it waits: the disabled colour, as the engine will.
      {L"font=\"skin_small\" normaltextcolor=\"skin_red\" disabledtextcolor=\"skin_blue\" "
       L"text=\"HHHH\"",
       30, 0x0000FF, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.attributes);
    RichEdit* edit = Build(std::wstring(L"multiline=\"false\" ") + c.attributes, c.height, true);
    ASSERT_NE(edit, nullptr);
    ASSERT_TRUE(edit->IsWaitingForFirstFrame());
    if (c.disable) edit->SetEnabled(false);
    const auto drawn = Canvas(edit);
    EXPECT_TRUE(edit->IsWaitingForFirstFrame()) << "painting started the services";
    ASSERT_TRUE(edit->HasTextServices());
    EXPECT_FALSE(edit->IsWaitingForFirstFrame());
    const auto engine = Canvas(edit);
    EXPECT_FALSE(IsEmpty(InkOf(*engine, c.ink))) << "no text in its colour";
    EXPECT_EQ(Differences(*drawn, *engine), 0);
  }
}

TEST_F(RichEditFromSkinTest, ATextWiderThanTheFieldIsLeftToTheEngine) {
  // The engine may scroll it to its end; the field's own drawing would not.
  RichEdit* edit = Build(
      L"multiline=\"false\" autohscroll=\"true\" font=\"skin_big\" normaltextcolor=\"skin_red\" "
      L"text=\"C:\\Users\\Fernwick\\AppData\\Local\\Fernwick Games\"",
      60, true);
  ASSERT_NE(edit, nullptr);
  ASSERT_TRUE(edit->IsWaitingForFirstFrame());
  EXPECT_FALSE(IsEmpty(Paint(edit, 0xFF0000)));
  EXPECT_FALSE(edit->IsWaitingForFirstFrame());
}

TEST_F(RichEditFromSkinTest, TheTextGivenWhileWaitingIsNoChangeOfTheValue) {
  RichEdit* edit = Build(L"multiline=\"false\" font=\"skin_small\" text=\"first\"", 30, true);
  ASSERT_NE(edit, nullptr);
  int changes = 0;
  edit->AttachEvent(kEventValueChange, [&changes](const EventArgs&) {
    ++changes;
    return true;
  });
  edit->SetText(L"second");
  ASSERT_TRUE(edit->IsWaitingForFirstFrame());
  EXPECT_EQ(edit->GetText(), L"second");  // starts the services
  EXPECT_EQ(changes, 0);
  edit->SetText(L"third");
  EXPECT_EQ(changes, 1);
}

TEST_F(RichEditFromSkinTest, FieldsWhoseTextOnlyTheEngineCanDrawStartItAtOnce) {
  ASSERT_NE(GlobalManager::AddFont(L"skin_heavy", L"system", 12, true, false, false, false, false),
            nullptr);
  ASSERT_NE(
      GlobalManager::AddFont(L"skin_underlined", L"system", 12, false, true, false, false, false),
      nullptr);
  for (const wchar_t* attributes : {
           L"text=\"two lines\"",  // multi-line by default
           L"multiline=\"false\" align=\"hcenter\" text=\"centred\"",
           L"multiline=\"false\" password=\"true\" text=\"secret\"",
           L"multiline=\"false\" rich=\"true\" text=\"rich\"",
           L"multiline=\"false\" text=\"\u0645\u0631\u062d\u0628\u0627\"",  // shaped, right to left
           L"multiline=\"false\" text=\"soft\u00adhyphen\"",                // hidden by the engine
           // Fonts the engine would make otherwise: the skins' bold (heavier
           // than its bold), underlined.
           L"multiline=\"false\" font=\"skin_heavy\" text=\"bold\"",
           L"multiline=\"false\" font=\"skin_underlined\" text=\"underlined\"",
       }) {
    SCOPED_TRACE(attributes);
    RichEdit* edit = Build(attributes, 200, true);
    ASSERT_NE(edit, nullptr);
    EXPECT_FALSE(edit->IsWaitingForFirstFrame());
  }
}

TEST_F(RichEditFromSkinTest, AFieldWaitingForTheFirstFrameStartsTheEngineWhenAnythingNeedsIt) {
  // Asked for its text.
  RichEdit* edit = Build(L"multiline=\"false\" font=\"skin_small\" text=\"first\"");
  ASSERT_NE(edit, nullptr);
  ASSERT_TRUE(edit->IsWaitingForFirstFrame());
  edit->SetText(L"second");
  EXPECT_TRUE(edit->IsWaitingForFirstFrame());
  EXPECT_EQ(edit->GetText(), L"second");
  EXPECT_FALSE(edit->IsWaitingForFirstFrame());

  // Given the focus.
  edit = Build(L"multiline=\"false\" font=\"skin_small\" text=\"focus\"", 200, true);
  ASSERT_NE(edit, nullptr);
  ASSERT_TRUE(edit->IsWaitingForFirstFrame());
  edit->GetWindow()->SetFocusControl(edit);
  EXPECT_FALSE(edit->IsWaitingForFirstFrame());

  // Painted with a text it cannot draw, a character of no script it knows:
  // painting starts the engine, which draws it.
  edit = Build(L"multiline=\"false\" font=\"skin_small\" normaltextcolor=\"skin_red\"", 200, true);
  ASSERT_NE(edit, nullptr);
  edit->SetText(L"HH\ue000HH");
  ASSERT_TRUE(edit->IsWaitingForFirstFrame());
  EXPECT_FALSE(IsEmpty(Paint(edit, 0xFF0000)));
  EXPECT_FALSE(edit->IsWaitingForFirstFrame());
}

TEST_F(RichEditFromSkinTest, AGlyphTheFontLacksIsDrawnAsTheEngineDrawsIt) {
  // Tahoma has no ideographs: the stand-in draws the text only when the
  // system draws the missing glyph from a linked font the way the engine
  // does (Wine), and leaves it to the engine otherwise (Windows).
  ASSERT_NE(GlobalManager::AddFont(L"skin_latin", L"Tahoma", 12, false, false, false, false, false),
            nullptr);
  RichEdit* edit = Build(
      L"multiline=\"false\" font=\"skin_latin\" normaltextcolor=\"skin_red\" text=\"HH\u4e00HH\"",
      200, true);
  ASSERT_NE(edit, nullptr);
  ASSERT_TRUE(edit->IsWaitingForFirstFrame());
  const auto drawn = Canvas(edit);
  const bool stood_in = edit->IsWaitingForFirstFrame();
  ASSERT_TRUE(edit->HasTextServices());
  EXPECT_EQ(Differences(*drawn, *Canvas(edit)), 0) << "stood in: " << stood_in;
}

}  // namespace
}  // namespace ui
