// The window as a screen reader reads it through its client object, the
// events it sends, the dialog that holds the focus, and the focus ring.
#include <windows.h>

#include <oleacc.h>

#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/com_ptr.h"
#include "tests/ui/core/window/window_test_support.h"
#include "ui/control/box.h"
#include "ui/control/check_box.h"
#include "ui/control/label.h"
#include "ui/control/progress.h"
#include "ui/control/rich_edit.h"
#include "ui/core/accessible_control.h"
#include "ui/core/high_contrast.h"

namespace ui {
namespace {

using cbase::ComPtr;
using testing::BackBufferPixel;
using testing::PumpMessages;
using testing::SampleWindow;
using testing::WindowGuard;

constexpr DWORD kRingColor = 0xFF1A73E8;  // the ring without a skin colour

VARIANT Id(long id) {
  VARIANT v;
  ::VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = id;
  return v;
}

const VARIANT kSelf = Id(CHILDID_SELF);

ComPtr<IAccessible> FromDispatch(IDispatch* dispatch) {
  ComPtr<IDispatch> owned(dispatch);
  ComPtr<IAccessible> accessible;
  if (dispatch != nullptr) {
    dispatch->QueryInterface(kAccessibleInterfaceId, accessible.receive_void());
  }
  return accessible;
}

ComPtr<IAccessible> ClientOf(HWND hwnd) {
  ComPtr<IAccessible> client;
  ::AccessibleObjectFromWindow(hwnd, static_cast<DWORD>(OBJID_CLIENT), kAccessibleInterfaceId,
                               client.receive_void());
  return client;
}

ComPtr<IAccessible> Child(IAccessible* parent, long id) {
  IDispatch* dispatch = nullptr;
  if (parent->get_accChild(Id(id), &dispatch) != S_OK) return ComPtr<IAccessible>();
  return FromDispatch(dispatch);
}

std::wstring Name(IAccessible* object, long id = CHILDID_SELF) {
  BSTR name = nullptr;
  object->get_accName(Id(id), &name);
  std::wstring text = name != nullptr ? name : L"";
  ::SysFreeString(name);
  return text;
}

std::wstring Text(HRESULT (IAccessible::*get)(VARIANT, BSTR*), IAccessible* object,
                  long id = CHILDID_SELF) {
  BSTR value = nullptr;
  (object->*get)(Id(id), &value);
  std::wstring text = value != nullptr ? value : L"";
  ::SysFreeString(value);
  return text;
}

long Role(IAccessible* object, long id = CHILDID_SELF) {
  VARIANT role;
  ::VariantInit(&role);
  object->get_accRole(Id(id), &role);
  return role.vt == VT_I4 ? role.lVal : -1;
}

long State(IAccessible* object, long id = CHILDID_SELF) {
  VARIANT state;
  ::VariantInit(&state);
  object->get_accState(Id(id), &state);
  return state.vt == VT_I4 ? state.lVal : -1;
}

std::vector<std::wstring> ChildNames(IAccessible* object) {
  long count = 0;
  object->get_accChildCount(&count);
  std::vector<std::wstring> names;
  for (long i = 1; i <= count; ++i) names.push_back(Name(object, i));
  return names;
}

// The accessible window of the tests, open and painted.
SampleWindow* OpenAccessible() {
  SampleWindow* window = SampleWindow::Open(L"accessible.xml");
  if (window != nullptr) {
    if (auto* field = dynamic_cast<RichEdit*>(window->FindControlByName(L"field"))) {
      field->SetText(L"C:\\Target");
    }
    PumpMessages();
  }
  return window;
}

// Each test opens the accessible window; it is destroyed after the test.
class AccessibleWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window_ = OpenAccessible();
    ASSERT_NE(window_, nullptr);
    guard_ = std::make_unique<WindowGuard>(window_);
  }

  SampleWindow* window_ = nullptr;
  std::unique_ptr<WindowGuard> guard_;
};

TEST_F(AccessibleWindowTest, TheClientObjectListsWhatAScreenReaderReadsInTreeOrder) {
  ComPtr<IAccessible> client = ClientOf(window_->GetHWND());
  ASSERT_TRUE(client);
  EXPECT_EQ(Role(client.get()), ROLE_SYSTEM_CLIENT);
  // No decorative picture, no hidden text, no closed dialog.
  EXPECT_EQ(ChildNames(client.get()),
            (std::vector<std::wstring>{L"Logo", L"Welcome", L"Close", L"Next", L"Wait", L"Agree",
                                       L"C:\\Target", L"Install", L"Download", L"Below"}));
  const std::vector<long> roles = {ROLE_SYSTEM_GRAPHIC,     ROLE_SYSTEM_STATICTEXT,
                                   ROLE_SYSTEM_PUSHBUTTON,  ROLE_SYSTEM_PUSHBUTTON,
                                   ROLE_SYSTEM_PUSHBUTTON,  ROLE_SYSTEM_CHECKBUTTON,
                                   ROLE_SYSTEM_TEXT,        ROLE_SYSTEM_PUSHBUTTON,
                                   ROLE_SYSTEM_PROGRESSBAR, ROLE_SYSTEM_STATICTEXT};
  for (size_t i = 0; i < roles.size(); ++i) {
    EXPECT_EQ(Role(client.get(), static_cast<long>(i + 1)), roles[i]) << i;
    // The child's own object says the same as its parent does for it.
    ComPtr<IAccessible> child = Child(client.get(), static_cast<long>(i + 1));
    ASSERT_TRUE(child);
    EXPECT_EQ(Role(child.get()), roles[i]);
    EXPECT_EQ(Name(child.get()), Name(client.get(), static_cast<long>(i + 1)));
  }
  // A card is one button: its texts describe it and are not children.
  ComPtr<IAccessible> card = Child(client.get(), 8);
  ASSERT_TRUE(card);
  long count = -1;
  EXPECT_EQ(card->get_accChildCount(&count), S_OK);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(Text(&IAccessible::get_accDescription, card.get()), L"Starts the setup");
  EXPECT_EQ(Text(&IAccessible::get_accDefaultAction, card.get()), L"按下");
  EXPECT_EQ(Text(&IAccessible::get_accValue, client.get(), 9), L"40%");
  EXPECT_EQ(Text(&IAccessible::get_accValue, client.get(), 7), L"C:\\Target");
  // Ids past the children name nothing.
  EXPECT_EQ(client->get_accRole(Id(11), nullptr), E_POINTER);
  VARIANT role;
  EXPECT_EQ(client->get_accRole(Id(11), &role), E_INVALIDARG);
  EXPECT_EQ(client->get_accRole(Id(-0x7FFFFFFF), &role), E_INVALIDARG);
}

TEST_F(AccessibleWindowTest, StatesFollowTheControls) {
  ComPtr<IAccessible> client = ClientOf(window_->GetHWND());
  ASSERT_TRUE(client);
  EXPECT_EQ(State(client.get(), 1), 0);  // a named picture: nothing to do with it
  EXPECT_EQ(State(client.get(), 2), STATE_SYSTEM_READONLY);
  EXPECT_EQ(State(client.get(), 4), STATE_SYSTEM_FOCUSABLE);
  EXPECT_EQ(State(client.get(), 5), STATE_SYSTEM_FOCUSABLE | STATE_SYSTEM_UNAVAILABLE);
  EXPECT_EQ(State(client.get(), 6), STATE_SYSTEM_FOCUSABLE | STATE_SYSTEM_CHECKED);
  EXPECT_EQ(State(client.get(), 7), STATE_SYSTEM_FOCUSABLE | STATE_SYSTEM_READONLY);
  EXPECT_EQ(State(client.get(), 10), STATE_SYSTEM_READONLY | STATE_SYSTEM_OFFSCREEN);
  // A hidden control, named by its id as events name it.
  Control* hidden = window_->FindControlByName(L"hidden");
  EXPECT_EQ(State(client.get(), -hidden->GetAccessibleId()),
            STATE_SYSTEM_READONLY | STATE_SYSTEM_INVISIBLE);

  Control* ok = window_->FindControlByName(L"ok");
  window_->SetFocusControl(ok);
  EXPECT_EQ(State(client.get(), 4), STATE_SYSTEM_FOCUSABLE | STATE_SYSTEM_FOCUSED);
  VARIANT focus;
  ASSERT_EQ(client->get_accFocus(&focus), S_OK);
  ASSERT_EQ(focus.vt, VT_DISPATCH);
  ComPtr<IAccessible> focused = FromDispatch(focus.pdispVal);
  EXPECT_EQ(Name(focused.get()), L"Next");
  // The focused object answers for itself.
  ASSERT_EQ(focused->get_accFocus(&focus), S_OK);
  EXPECT_EQ(focus.vt, VT_I4);
  EXPECT_EQ(focus.lVal, CHILDID_SELF);

  window_->FindControlByName(L"busy")->SetEnabled(true);
  dynamic_cast<Selectable*>(window_->FindControlByName(L"check"))->SetSelected(false);
  EXPECT_EQ(State(client.get(), 5), STATE_SYSTEM_FOCUSABLE);
  EXPECT_EQ(State(client.get(), 6), STATE_SYSTEM_FOCUSABLE);
}

TEST_F(AccessibleWindowTest, LocationsAreScreenPixelsAndHitTestsFindTheObject) {
  HWND hwnd = window_->GetHWND();
  ComPtr<IAccessible> client = ClientOf(hwnd);
  ASSERT_TRUE(client);
  POINT origin = {0, 0};
  ::ClientToScreen(hwnd, &origin);
  const RECT ok = window_->FindControlByName(L"ok")->GetRect();
  long left = 0, top = 0, width = 0, height = 0;
  ASSERT_EQ(client->accLocation(&left, &top, &width, &height, Id(4)), S_OK);
  EXPECT_EQ(left, origin.x + ok.left);
  EXPECT_EQ(top, origin.y + ok.top);
  EXPECT_EQ(width, ok.right - ok.left);
  EXPECT_EQ(height, ok.bottom - ok.top);
  RECT client_rect;
  ::GetClientRect(hwnd, &client_rect);
  ASSERT_EQ(client->accLocation(&left, &top, &width, &height, kSelf), S_OK);
  EXPECT_EQ(left, origin.x);
  EXPECT_EQ(width, client_rect.right);

  VARIANT hit;
  ASSERT_EQ(client->accHitTest(origin.x + (ok.left + ok.right) / 2,
                               origin.y + (ok.top + ok.bottom) / 2, &hit),
            S_OK);
  ASSERT_EQ(hit.vt, VT_DISPATCH);
  EXPECT_EQ(Name(FromDispatch(hit.pdispVal).get()), L"Next");
  // A text inside the card is the card's.
  const RECT card = window_->FindControlByName(L"card")->GetRect();
  ASSERT_EQ(client->accHitTest(origin.x + card.left + 4, origin.y + card.top + 4, &hit), S_OK);
  ASSERT_EQ(hit.vt, VT_DISPATCH);
  EXPECT_EQ(Name(FromDispatch(hit.pdispVal).get()), L"Install");
  // Where nothing is exposed, the client itself; outside, nothing.
  const RECT decor = window_->FindControlByName(L"decor")->GetRect();
  ASSERT_EQ(client->accHitTest(origin.x + decor.left + 2, origin.y + decor.top + 2, &hit), S_OK);
  EXPECT_EQ(hit.vt, VT_I4);
  EXPECT_EQ(client->accHitTest(origin.x - 50, origin.y - 50, &hit), S_FALSE);
  EXPECT_EQ(hit.vt, VT_EMPTY);
}

TEST_F(AccessibleWindowTest, NavigationWalksSiblingsAndParentsLeadBack) {
  ComPtr<IAccessible> client = ClientOf(window_->GetHWND());
  ASSERT_TRUE(client);
  VARIANT end;
  ASSERT_EQ(client->accNavigate(NAVDIR_FIRSTCHILD, kSelf, &end), S_OK);
  ComPtr<IAccessible> first = FromDispatch(end.pdispVal);
  EXPECT_EQ(Name(first.get()), L"Logo");
  ASSERT_EQ(first->accNavigate(NAVDIR_NEXT, kSelf, &end), S_OK);
  EXPECT_EQ(Name(FromDispatch(end.pdispVal).get()), L"Welcome");
  EXPECT_EQ(first->accNavigate(NAVDIR_PREVIOUS, kSelf, &end), S_FALSE);
  ASSERT_EQ(client->accNavigate(NAVDIR_NEXT, Id(4), &end), S_OK);
  EXPECT_EQ(Name(FromDispatch(end.pdispVal).get()), L"Wait");
  ASSERT_EQ(client->accNavigate(NAVDIR_LASTCHILD, kSelf, &end), S_OK);
  EXPECT_EQ(Name(FromDispatch(end.pdispVal).get()), L"Below");
  EXPECT_EQ(first->accNavigate(NAVDIR_FIRSTCHILD, kSelf, &end), S_FALSE);

  IDispatch* parent = nullptr;
  ASSERT_EQ(first->get_accParent(&parent), S_OK);
  EXPECT_EQ(Role(FromDispatch(parent).get()), ROLE_SYSTEM_CLIENT);
  // The client's parent is the window's standard object.
  parent = nullptr;
  EXPECT_EQ(client->get_accParent(&parent), S_OK);
  EXPECT_NE(parent, nullptr);
  ComPtr<IDispatch> frame(parent);
}

TEST_F(AccessibleWindowTest, TheDefaultActionClicksFromTheMessageLoop) {
  ComPtr<IAccessible> client = ClientOf(window_->GetHWND());
  ASSERT_TRUE(client);
  int clicks = 0;
  window_->FindControlByName(L"ok")->AttachClick([&clicks](const EventArgs&) {
    ++clicks;
    return true;
  });
  EXPECT_EQ(client->accDoDefaultAction(Id(4)), S_OK);
  EXPECT_EQ(clicks, 0);  // the client's call returns first
  PumpMessages();
  EXPECT_EQ(clicks, 1);
  // Disabled, or with nothing to do.
  EXPECT_EQ(client->accDoDefaultAction(Id(5)), E_FAIL);
  EXPECT_EQ(client->accDoDefaultAction(Id(2)), static_cast<HRESULT>(DISP_E_MEMBERNOTFOUND));
  EXPECT_EQ(client->accDoDefaultAction(kSelf), static_cast<HRESULT>(DISP_E_MEMBERNOTFOUND));
  // A control disabled while the action waited is not clicked.
  EXPECT_EQ(client->accDoDefaultAction(Id(4)), S_OK);
  window_->FindControlByName(L"ok")->SetEnabled(false);
  PumpMessages();
  EXPECT_EQ(clicks, 1);
  // Taking the focus through the client shows the ring.
  EXPECT_EQ(client->accSelect(SELFLAG_TAKEFOCUS, Id(3)), S_OK);
  EXPECT_EQ(window_->GetFocusControl(), window_->FindControlByName(L"close"));
  EXPECT_TRUE(window_->IsFocusRingShown());
  EXPECT_EQ(client->accSelect(SELFLAG_TAKEFOCUS, Id(2)), S_FALSE);  // a text
}

TEST_F(AccessibleWindowTest, ObjectsOutliveTheirControlsAndWindowSafely) {
  ComPtr<IAccessible> client = ClientOf(window_->GetHWND());
  ASSERT_TRUE(client);
  ComPtr<IAccessible> card = Child(client.get(), 8);
  ASSERT_TRUE(card);
  auto* page = dynamic_cast<Box*>(window_->FindControlByName(L"page"));
  page->Remove(window_->FindControlByName(L"card"));
  PumpMessages();
  BSTR name = nullptr;
  EXPECT_EQ(card->get_accName(kSelf, &name), CO_E_OBJNOTCONNECTED);
  EXPECT_EQ(name, nullptr);
  EXPECT_EQ(ChildNames(client.get()).size(), 9u);
  ::DestroyWindow(window_->GetHWND());
  PumpMessages();
  long count = -1;
  EXPECT_EQ(client->get_accChildCount(&count), CO_E_OBJNOTCONNECTED);
  EXPECT_EQ(count, 0);
  VARIANT hit;
  EXPECT_EQ(client->accHitTest(0, 0, &hit), CO_E_OBJNOTCONNECTED);
}

TEST_F(AccessibleWindowTest, AnOpenDialogTakesTheFocusKeepsTabAndClosesWithEscape) {
  HWND hwnd = window_->GetHWND();
  Control* ok = window_->FindControlByName(L"ok");
  Control* overlay = window_->FindControlByName(L"overlay");
  window_->SetFocusControl(ok);
  overlay->SetVisible(true);
  PumpMessages();
  EXPECT_EQ(window_->GetOpenDialog(), overlay);
  Control* close = window_->FindControlByName(L"overlay_close");
  Control* dialog_ok = window_->FindControlByName(L"overlay_ok");
  EXPECT_EQ(window_->GetFocusControl(), close);
  ::SendMessageW(hwnd, WM_KEYDOWN, VK_TAB, 0);
  EXPECT_EQ(window_->GetFocusControl(), dialog_ok);
  ::SendMessageW(hwnd, WM_KEYDOWN, VK_TAB, 0);
  EXPECT_EQ(window_->GetFocusControl(), close);  // never back to the page

  // The dialog is the client's last child, with its own children.
  ComPtr<IAccessible> client = ClientOf(hwnd);
  const std::vector<std::wstring> names = ChildNames(client.get());
  ASSERT_EQ(names.size(), 11u);
  EXPECT_EQ(names.back(), L"Support");
  EXPECT_EQ(Role(client.get(), 11), ROLE_SYSTEM_DIALOG);
  ComPtr<IAccessible> dialog = Child(client.get(), 11);
  EXPECT_EQ(ChildNames(dialog.get()), (std::vector<std::wstring>{L"Support", L"Close", L"OK"}));
  ComPtr<IAccessible> inside = Child(dialog.get(), 2);
  IDispatch* parent = nullptr;
  ASSERT_EQ(inside->get_accParent(&parent), S_OK);
  EXPECT_EQ(Role(FromDispatch(parent).get()), ROLE_SYSTEM_DIALOG);

  ::SendMessageW(hwnd, WM_KEYDOWN, VK_ESCAPE, 0);
  EXPECT_FALSE(overlay->IsVisible());
  EXPECT_EQ(window_->GetOpenDialog(), nullptr);
  PumpMessages();
  EXPECT_EQ(window_->GetFocusControl(), ok);  // back where it was
  ::SendMessageW(hwnd, WM_KEYDOWN, VK_TAB, 0);
  EXPECT_EQ(window_->GetFocusControl(), window_->FindControlByName(L"check"));  // "busy" is off
}

// WinEvents of this process, as a screen reader's hook sees them.
struct EventLog {
  struct Entry {
    DWORD event;
    LONG object;
    LONG child;
  };
  static std::vector<Entry>& Entries() {
    static std::vector<Entry> entries;
    return entries;
  }
  static void CALLBACK Hook(HWINEVENTHOOK, DWORD event, HWND, LONG object, LONG child, DWORD,
                            DWORD) {
    if (event >= EVENT_OBJECT_CREATE && event <= EVENT_OBJECT_VALUECHANGE) {
      Entries().push_back(Entry{event, object, child});
    }
  }
  static size_t Count(DWORD event, LONG child) {
    size_t count = 0;
    for (const Entry& entry : Entries()) {
      if (entry.event == event && entry.child == child && entry.object == OBJID_CLIENT) ++count;
    }
    return count;
  }
};

TEST_F(AccessibleWindowTest, ChangesAreSentAsEventsNamingTheControl) {
  HWINEVENTHOOK hook =
      ::SetWinEventHook(EVENT_OBJECT_CREATE, EVENT_OBJECT_VALUECHANGE, nullptr, &EventLog::Hook,
                        ::GetCurrentProcessId(), 0, WINEVENT_OUTOFCONTEXT);
  ASSERT_NE(hook, nullptr);
  EventLog::Entries().clear();
  auto* title = dynamic_cast<Label*>(window_->FindControlByName(L"title"));
  Control* busy = window_->FindControlByName(L"busy");
  Control* ok = window_->FindControlByName(L"ok");
  auto* progress = dynamic_cast<Progress*>(window_->FindControlByName(L"progress"));
  title->SetText(L"Hello");
  busy->SetEnabled(true);
  window_->SetFocusControl(ok);
  // Within the throttle only the first value goes out, but either end always.
  progress->SetValue(0);
  progress->SetValue(41);
  progress->SetValue(42);
  progress->SetValue(43);
  progress->SetValue(100);
  window_->FindControlByName(L"overlay")->SetVisible(true);
  PumpMessages();
  ::UnhookWinEvent(hook);

  EXPECT_EQ(EventLog::Count(EVENT_OBJECT_NAMECHANGE, -title->GetAccessibleId()), 1u);
  EXPECT_EQ(EventLog::Count(EVENT_OBJECT_STATECHANGE, -busy->GetAccessibleId()), 1u);
  EXPECT_GE(EventLog::Count(EVENT_OBJECT_FOCUS, -ok->GetAccessibleId()), 1u);
  EXPECT_EQ(EventLog::Count(EVENT_OBJECT_VALUECHANGE, -progress->GetAccessibleId()), 2u);  // 0, 100
  EXPECT_EQ(EventLog::Count(EVENT_OBJECT_SHOW,
                            -window_->FindControlByName(L"overlay")->GetAccessibleId()),
            1u);
  // The client object resolves what the events name.
  ComPtr<IAccessible> client = ClientOf(window_->GetHWND());
  EXPECT_EQ(Name(client.get(), -title->GetAccessibleId()), L"Hello");
  EXPECT_EQ(Text(&IAccessible::get_accValue, client.get(), -progress->GetAccessibleId()), L"100%");
}

// Whether a pixel of the strip left of |rect| is |color| (give or take the
// edge's smoothing).
bool RingLeftOf(Window* window_, const RECT& rect, DWORD color) {
  const int y = (rect.top + rect.bottom) / 2;
  for (int x = rect.left - 6; x < rect.left; ++x) {
    const DWORD pixel = BackBufferPixel(window_, x, y);
    bool alike = true;
    for (int shift = 0; shift < 24; shift += 8) {
      const int a = static_cast<int>((pixel >> shift) & 0xFF);
      const int b = static_cast<int>((color >> shift) & 0xFF);
      if (a - b > 24 || b - a > 24) alike = false;
    }
    if (alike) return true;
  }
  return false;
}

TEST_F(AccessibleWindowTest, TheFocusRingShowsAfterTheKeyboardInSystemColoursInHighContrast) {
  HWND hwnd = window_->GetHWND();
  Control* close = window_->FindControlByName(L"close");
  const RECT rect = close->GetRect();
  auto repaint = [this, hwnd] {
    RECT client;
    ::GetClientRect(hwnd, &client);
    window_->Invalidate(client);
    ::SendMessageW(hwnd, WM_PAINT, 0, 0);
    PumpMessages();
  };
  repaint();
  EXPECT_FALSE(RingLeftOf(window_, rect, kRingColor));
  ::SendMessageW(hwnd, WM_KEYDOWN, VK_TAB, 0);
  ASSERT_EQ(window_->GetFocusControl(), close);
  repaint();
  EXPECT_TRUE(RingLeftOf(window_, rect, kRingColor));
  // A click elsewhere takes the ring away.
  const LPARAM elsewhere = MAKELPARAM(rect.left - 20, (rect.top + rect.bottom) / 2);
  ::SendMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, elsewhere);
  ::SendMessageW(hwnd, WM_LBUTTONUP, 0, elsewhere);
  repaint();
  EXPECT_FALSE(RingLeftOf(window_, rect, kRingColor));

  HighContrast::SetForTesting(true);
  window_->SetFocusControl(close);
  window_->SetFocusRingShown(true);
  repaint();
  EXPECT_TRUE(RingLeftOf(window_, rect, HighContrast::SystemColor(COLOR_HIGHLIGHT)));
  // The button's grey background takes the window colour.
  EXPECT_EQ(BackBufferPixel(window_, rect.left + 2, rect.top + 2) | 0xFF000000,
            HighContrast::SystemColor(COLOR_WINDOW));
  HighContrast::SetForTesting(std::nullopt);
  repaint();
  EXPECT_EQ(BackBufferPixel(window_, rect.left + 2, rect.top + 2) | 0xFF000000, 0xFFD0D0D0);
}

}  // namespace
}  // namespace ui
