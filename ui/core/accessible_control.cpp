#include "ui/core/accessible_control.h"

#include <climits>

#include "ui/control/box.h"
#include "ui/control/check_box.h"
#include "ui/control/control.h"
#include "ui/control/rich_edit.h"
#include "ui/core/window.h"

namespace ui {

const GUID kAccessibleInterfaceId = {
    0x618736e0, 0x3c3d, 0x11cf, {0x81, 0x0c, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

namespace {

// Screen readers read these out as the default action.
constexpr wchar_t kPressAction[] = L"按下";
constexpr wchar_t kToggleAction[] = L"切换";
constexpr wchar_t kSelectAction[] = L"选择";

HRESULT ReturnText(const std::wstring& text, BSTR* out) {
  if (out == nullptr) return E_INVALIDARG;
  *out = nullptr;
  if (text.empty()) return S_FALSE;
  *out = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

long MsaaRole(AccessibleRole role) {
  switch (role) {
    case AccessibleRole::kPushButton:
      return ROLE_SYSTEM_PUSHBUTTON;
    case AccessibleRole::kStaticText:
      return ROLE_SYSTEM_STATICTEXT;
    case AccessibleRole::kEditableText:
      return ROLE_SYSTEM_TEXT;
    case AccessibleRole::kProgressBar:
      return ROLE_SYSTEM_PROGRESSBAR;
    case AccessibleRole::kGraphic:
      return ROLE_SYSTEM_GRAPHIC;
    case AccessibleRole::kCheckBox:
      return ROLE_SYSTEM_CHECKBUTTON;
    case AccessibleRole::kRadioButton:
      return ROLE_SYSTEM_RADIOBUTTON;
    case AccessibleRole::kGrouping:
      return ROLE_SYSTEM_GROUPING;
    case AccessibleRole::kDialog:
      return ROLE_SYSTEM_DIALOG;
    case AccessibleRole::kNone:
      break;
  }
  return ROLE_SYSTEM_PANE;
}

bool HasDefaultAction(AccessibleRole role) {
  return role == AccessibleRole::kPushButton || role == AccessibleRole::kCheckBox ||
         role == AccessibleRole::kRadioButton;
}

// The client area's origin on the screen.
POINT ClientOrigin(HWND hwnd) {
  POINT origin = {0, 0};
  ::ClientToScreen(hwnd, &origin);
  return origin;
}

// A card (a button box) speaks for the texts inside it: those other than its
// name describe it.
std::wstring InnerTexts(Control* control) {
  auto* box = dynamic_cast<Box*>(control);
  if (box == nullptr) return std::wstring();
  const std::wstring name = control->GetAccessibleName();
  std::wstring joined;
  std::vector<Control*> pending = {box};
  while (!pending.empty()) {
    Control* current = pending.back();
    pending.pop_back();
    if (auto* inner = dynamic_cast<Box*>(current)) {
      for (int i = inner->ChildCount() - 1; i >= 0; --i) pending.push_back(inner->ChildAt(i));
      continue;
    }
    if (!current->IsVisible() || current->GetAccessibleRole() != AccessibleRole::kStaticText) {
      continue;
    }
    const std::wstring text = current->GetAccessibleName();
    if (text.empty() || text == name) continue;
    if (!joined.empty()) joined += L' ';
    joined += text;
  }
  return joined;
}

}  // namespace

AccessibleControl* AccessibleControl::Create(Window* window, Control* control) {
  return new AccessibleControl(window, control);
}

AccessibleControl::AccessibleControl(Window* window, Control* control)
    : window_(window),
      window_alive_(window->GetWeakFlag()),
      control_(control),
      client_(control == nullptr) {}

AccessibleControl::~AccessibleControl() = default;

bool AccessibleControl::IsExposed(const Control* control) {
  return control != nullptr && control->IsVisible() &&
         control->GetAccessibleRole() != AccessibleRole::kNone;
}

std::vector<Control*> AccessibleControl::ExposedChildren(const Window& window, Control* node) {
  std::vector<Control*> children;
  if (node == nullptr) {
    node = window.GetRoot();
    if (node == nullptr) return children;
  } else if (!AccessibleRoleHasChildren(node->GetAccessibleRole())) {
    return children;
  }
  // Depth first in tree order, without recursion; an exposed control ends
  // its branch.
  std::vector<Control*> pending;
  auto push_children = [&pending](Control* control) {
    if (auto* box = dynamic_cast<Box*>(control)) {
      for (int i = box->ChildCount() - 1; i >= 0; --i) pending.push_back(box->ChildAt(i));
    }
  };
  push_children(node);
  while (!pending.empty()) {
    Control* current = pending.back();
    pending.pop_back();
    if (current == nullptr || !current->IsVisible()) continue;
    if (IsExposed(current)) {
      children.push_back(current);
    } else {
      push_children(current);
    }
  }
  return children;
}

Control* AccessibleControl::ExposedParent(const Control* control) {
  for (Control* up = control->GetParent(); up != nullptr; up = up->GetParent()) {
    if (AccessibleRoleHasChildren(up->GetAccessibleRole()) && up->GetParent() != nullptr) {
      return up;
    }
  }
  return nullptr;
}

// --- IUnknown ---

HRESULT AccessibleControl::QueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (::IsEqualGUID(riid, IID_IUnknown) || ::IsEqualGUID(riid, IID_IDispatch) ||
      ::IsEqualGUID(riid, kAccessibleInterfaceId)) {
    *object = static_cast<IAccessible*>(this);
    AddRef();
    return S_OK;
  }
  return E_NOINTERFACE;
}

ULONG AccessibleControl::AddRef() {
  return static_cast<ULONG>(::InterlockedIncrement(&references_));
}

ULONG AccessibleControl::Release() {
  const LONG left = ::InterlockedDecrement(&references_);
  if (left == 0) delete this;
  return static_cast<ULONG>(left);
}

// --- IDispatch ---

HRESULT AccessibleControl::GetTypeInfoCount(UINT* count) {
  if (count == nullptr) return E_POINTER;
  *count = 0;
  return S_OK;
}

HRESULT AccessibleControl::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info != nullptr) *info = nullptr;
  return E_NOTIMPL;
}

HRESULT AccessibleControl::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) {
  return E_NOTIMPL;
}

HRESULT AccessibleControl::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                  UINT*) {
  return E_NOTIMPL;
}

// --- Resolution ---

Window* AccessibleControl::LiveWindow() const {
  if (window_alive_.expired() || window_->GetHWND() == nullptr) return nullptr;
  return window_;
}

bool AccessibleControl::Alive() const {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  Window* window = LiveWindow();
  if (window == nullptr) return false;
  if (client_) return true;
  Control* control = control_.Get();
  return control != nullptr && control->GetWindow() == window;
}

AccessibleControl::Target AccessibleControl::Resolve(const VARIANT& child) const {
  Target target;
  if (child.vt != VT_I4) return target;
  const long id = child.lVal;
  if (id == CHILDID_SELF) {
    target.ok = true;
    target.client = client_;
    target.control = Self();
    return target;
  }
  if (id > 0) {
    const std::vector<Control*> children = ExposedChildren(*window_, Self());
    if (static_cast<size_t>(id) > children.size()) return target;
    target.control = children[static_cast<size_t>(id) - 1];
  } else if (client_ && id != LONG_MIN) {
    target.control = window_->FindControlByAccessibleId(-id);
  }
  target.ok = target.control != nullptr;
  return target;
}

void AccessibleControl::ToVariant(Control* control, VARIANT* out) const {
  ::VariantInit(out);
  if (control == Self()) {
    out->vt = VT_I4;
    out->lVal = CHILDID_SELF;
    return;
  }
  out->vt = VT_DISPATCH;
  out->pdispVal = Create(window_, control);
}

Control* AccessibleControl::ChildOnPathTo(Control* control, bool& inside) const {
  inside = false;
  Control* highest = nullptr;
  for (Control* up = control; up != nullptr; up = up->GetParent()) {
    if (!client_ && up == Self()) {
      inside = true;
      return highest;
    }
    if (IsExposed(up)) highest = up;
  }
  inside = client_;
  return highest;
}

// --- IAccessible ---

HRESULT AccessibleControl::get_accParent(IDispatch** parent) {
  if (parent == nullptr) return E_POINTER;
  *parent = nullptr;
  if (!Alive()) return CO_E_OBJNOTCONNECTED;
  if (client_) {
    IAccessible* frame = nullptr;
    const HRESULT result = ::CreateStdAccessibleObject(
        window_->GetHWND(), OBJID_WINDOW, kAccessibleInterfaceId, reinterpret_cast<void**>(&frame));
    *parent = frame;
    return result;
  }
  *parent = Create(window_, ExposedParent(Self()));
  return S_OK;
}

HRESULT AccessibleControl::get_accChildCount(long* count) {
  if (count == nullptr) return E_POINTER;
  *count = 0;
  if (!Alive()) return CO_E_OBJNOTCONNECTED;
  *count = static_cast<long>(ExposedChildren(*window_, Self()).size());
  return S_OK;
}

HRESULT AccessibleControl::get_accChild(VARIANT child, IDispatch** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (!Alive()) return CO_E_OBJNOTCONNECTED;
  const Target target = Resolve(child);
  if (!target.ok) return E_INVALIDARG;
  if (target.client) return S_FALSE;
  *object = Create(window_, target.control);
  return S_OK;
}

HRESULT AccessibleControl::get_accName(VARIANT child, BSTR* name) {
  if (name == nullptr) return E_POINTER;
  *name = nullptr;
  if (!Alive()) return CO_E_OBJNOTCONNECTED;
  const Target target = Resolve(child);
  if (!target.ok) return E_INVALIDARG;
  if (target.client) {
    HWND hwnd = window_->GetHWND();
    const int length = ::GetWindowTextLengthW(hwnd);
    std::wstring title(static_cast<size_t>(length > 0 ? length : 0) + 1, L'\0');
    const int copied = ::GetWindowTextW(hwnd, &title[0], static_cast<int>(title.size()));
    title.resize(static_cast<size_t>(copied > 0 ? copied : 0));
    return ReturnText(title, name);
  }
  return ReturnText(target.control->GetAccessibleName(), name);
}

HRESULT AccessibleControl::get_accValue(VARIANT child, BSTR* value) {
  if (value == nullptr) return E_POINTER;
  *value = nullptr;
  if (!Alive()) return CO_E_OBJNOTCONNECTED;
  const Target target = Resolve(child);
  if (!target.ok) return E_INVALIDARG;
  if (target.client) return S_FALSE;
  return ReturnText(target.control->GetAccessibleValue(), value);
}

HRESULT AccessibleControl::get_accDescription(VARIANT child, BSTR* description) {
  if (description == nullptr) return E_POINTER;
  *description = nullptr;
  if (!Alive()) return CO_E_OBJNOTCONNECTED;
  const Target target = Resolve(child);
  if (!target.ok) return E_INVALIDARG;
  if (target.client) return S_FALSE;
  std::wstring text = target.control->GetAccessibleDescription();
  if (text.empty() && !AccessibleRoleHasChildren(target.control->GetAccessibleRole())) {
    text = InnerTexts(target.control);
  }
  return ReturnText(text, description);
}

HRESULT AccessibleControl::get_accRole(VARIANT child, VARIANT* role) {
  if (role == nullptr) return E_POINTER;
  ::VariantInit(role);
  if (!Alive()) return CO_E_OBJNOTCONNECTED;
  const Target target = Resolve(child);
  if (!target.ok) return E_INVALIDARG;
  role->vt = VT_I4;
  role->lVal = target.client ? ROLE_SYSTEM_CLIENT : MsaaRole(target.control->GetAccessibleRole());
  return S_OK;
}

HRESULT AccessibleControl::get_accState(VARIANT child, VARIANT* state) {
  if (state == nullptr) return E_POINTER;
  ::VariantInit(state);
  if (!Alive()) return CO_E_OBJNOTCONNECTED;
  const Target target = Resolve(child);
  if (!target.ok) return E_INVALIDARG;
  HWND hwnd = window_->GetHWND();
  long bits = 0;
  if (target.client) {
    bits = STATE_SYSTEM_FOCUSABLE;
    if (::GetFocus() == hwnd && window_->GetFocusControl() == nullptr) bits |= STATE_SYSTEM_FOCUSED;
    if (!::IsWindowVisible(hwnd)) bits |= STATE_SYSTEM_INVISIBLE;
  } else {
    Control* control = target.control;
    const AccessibleRole role = control->GetAccessibleRole();
    if (control->IsTabFocusable()) bits |= STATE_SYSTEM_FOCUSABLE;
    if (window_->GetFocusControl() == control) bits |= STATE_SYSTEM_FOCUSED;
    if (!control->IsEnabled()) bits |= STATE_SYSTEM_UNAVAILABLE;
    if (!control->IsVisible()) {
      bits |= STATE_SYSTEM_INVISIBLE;
    } else {
      RECT client;
      ::GetClientRect(hwnd, &client);
      const RECT rect = control->GetRectWithScrollOffset();
      RECT shown;
      if (::IsIconic(hwnd) || !::IntersectRect(&shown, &rect, &client)) {
        bits |= STATE_SYSTEM_OFFSCREEN;
      }
    }
    if (const auto* selectable = dynamic_cast<const Selectable*>(control)) {
      if (selectable->IsSelected()) bits |= STATE_SYSTEM_CHECKED;
    }
    const auto* edit = dynamic_cast<const RichEdit*>(control);
    if ((edit != nullptr && edit->IsReadOnly()) || role == AccessibleRole::kStaticText ||
        role == AccessibleRole::kProgressBar) {
      bits |= STATE_SYSTEM_READONLY;
    }
    if (window_->GetHoverControl() == control) bits |= STATE_SYSTEM_HOTTRACKED;
  }
  state->vt = VT_I4;
  state->lVal = bits;
  return S_OK;
}

HRESULT AccessibleControl::get_accHelp(VARIANT, BSTR* help) {
  if (help == nullptr) return E_POINTER;
  *help = nullptr;
  return Alive() ? S_FALSE : CO_E_OBJNOTCONNECTED;
}

HRESULT AccessibleControl::get_accHelpTopic(BSTR* file, VARIANT, long* topic) {
  if (file != nullptr) *file = nullptr;
  if (topic != nullptr) *topic = -1;
  return Alive() ? S_FALSE : CO_E_OBJNOTCONNECTED;
}

HRESULT AccessibleControl::get_accKeyboardShortcut(VARIANT, BSTR* shortcut) {
  if (shortcut == nullptr) return E_POINTER;
  *shortcut = nullptr;
  return Alive() ? S_FALSE : CO_E_OBJNOTCONNECTED;
}

HRESULT AccessibleControl::get_accFocus(VARIANT* focus) {
  if (focus == nullptr) return E_POINTER;
  ::VariantInit(focus);
  if (!Alive()) return CO_E_OBJNOTCONNECTED;
  Control* focused = window_->GetFocusControl();
  if (focused == nullptr) {
    if (client_ && ::GetFocus() == window_->GetHWND()) ToVariant(nullptr, focus);
    return focus->vt == VT_EMPTY ? S_FALSE : S_OK;
  }
  bool inside = false;
  Control* child = ChildOnPathTo(focused, inside);
  if (!inside) return S_FALSE;
  ToVariant(child == nullptr ? Self() : child, focus);
  return S_OK;
}

HRESULT AccessibleControl::get_accSelection(VARIANT* selection) {
  if (selection == nullptr) return E_POINTER;
  ::VariantInit(selection);
  return Alive() ? S_FALSE : CO_E_OBJNOTCONNECTED;
}

HRESULT AccessibleControl::get_accDefaultAction(VARIANT child, BSTR* action) {
  if (action == nullptr) return E_POINTER;
  *action = nullptr;
  if (!Alive()) return CO_E_OBJNOTCONNECTED;
  const Target target = Resolve(child);
  if (!target.ok) return E_INVALIDARG;
  if (target.client) return S_FALSE;
  switch (target.control->GetAccessibleRole()) {
    case AccessibleRole::kPushButton:
      return ReturnText(kPressAction, action);
    case AccessibleRole::kCheckBox:
      return ReturnText(kToggleAction, action);
    case AccessibleRole::kRadioButton:
      return ReturnText(kSelectAction, action);
    default:
      return S_FALSE;
  }
}

HRESULT AccessibleControl::accSelect(long flags, VARIANT child) {
  if (!Alive()) return CO_E_OBJNOTCONNECTED;
  const Target target = Resolve(child);
  if (!target.ok) return E_INVALIDARG;
  if ((flags & SELFLAG_TAKEFOCUS) == 0) return DISP_E_MEMBERNOTFOUND;
  if (target.client) {
    ::SetFocus(window_->GetHWND());
    return S_OK;
  }
  Control* control = target.control;
  if (!control->IsTabFocusable() || !control->IsInvokable()) return S_FALSE;
  window_->SetFocusControl(control);
  window_->SetFocusRingShown(true);
  return S_OK;
}

HRESULT AccessibleControl::accLocation(long* left, long* top, long* width, long* height,
                                       VARIANT child) {
  if (left == nullptr || top == nullptr || width == nullptr || height == nullptr) return E_POINTER;
  *left = *top = *width = *height = 0;
  if (!Alive()) return CO_E_OBJNOTCONNECTED;
  const Target target = Resolve(child);
  if (!target.ok) return E_INVALIDARG;
  HWND hwnd = window_->GetHWND();
  RECT rect;
  if (target.client) {
    ::GetClientRect(hwnd, &rect);
  } else {
    rect = target.control->GetRectWithScrollOffset();
  }
  const POINT origin = ClientOrigin(hwnd);
  *left = rect.left + origin.x;
  *top = rect.top + origin.y;
  *width = rect.right - rect.left;
  *height = rect.bottom - rect.top;
  return S_OK;
}

HRESULT AccessibleControl::accNavigate(long direction, VARIANT start, VARIANT* end) {
  if (end == nullptr) return E_POINTER;
  ::VariantInit(end);
  if (!Alive()) return CO_E_OBJNOTCONNECTED;
  const Target from = Resolve(start);
  if (!from.ok) return E_INVALIDARG;
  const bool from_self = start.lVal == CHILDID_SELF;
  if (direction == NAVDIR_FIRSTCHILD || direction == NAVDIR_LASTCHILD) {
    if (!from_self) return E_INVALIDARG;
    const std::vector<Control*> children = ExposedChildren(*window_, Self());
    if (children.empty()) return S_FALSE;
    ToVariant(direction == NAVDIR_FIRSTCHILD ? children.front() : children.back(), end);
    return S_OK;
  }
  const bool next =
      direction == NAVDIR_NEXT || direction == NAVDIR_DOWN || direction == NAVDIR_RIGHT;
  const bool previous =
      direction == NAVDIR_PREVIOUS || direction == NAVDIR_UP || direction == NAVDIR_LEFT;
  if ((!next && !previous) || from.client) return S_FALSE;
  // Siblings: the children of this object for a child id, else of the
  // object's parent.
  Control* container = from_self ? ExposedParent(from.control) : Self();
  const std::vector<Control*> siblings = ExposedChildren(*window_, container);
  for (size_t i = 0; i < siblings.size(); ++i) {
    if (siblings[i] != from.control) continue;
    if (next && i + 1 < siblings.size()) {
      end->vt = VT_DISPATCH;
      end->pdispVal = Create(window_, siblings[i + 1]);
      return S_OK;
    }
    if (previous && i > 0) {
      end->vt = VT_DISPATCH;
      end->pdispVal = Create(window_, siblings[i - 1]);
      return S_OK;
    }
    return S_FALSE;
  }
  return S_FALSE;
}

HRESULT AccessibleControl::accHitTest(long x, long y, VARIANT* child) {
  if (child == nullptr) return E_POINTER;
  ::VariantInit(child);
  if (!Alive()) return CO_E_OBJNOTCONNECTED;
  HWND hwnd = window_->GetHWND();
  POINT point = {x, y};
  ::ScreenToClient(hwnd, &point);
  RECT area;
  if (client_) {
    ::GetClientRect(hwnd, &area);
  } else {
    area = Self()->GetRectWithScrollOffset();
  }
  if (!::PtInRect(&area, point)) return S_FALSE;
  Control* hit = window_->FindControlAt(point);
  bool inside = client_;
  Control* found = hit != nullptr ? ChildOnPathTo(hit, inside) : nullptr;
  if (!inside) found = nullptr;
  ToVariant(found == nullptr ? Self() : found, child);
  return S_OK;
}

HRESULT AccessibleControl::accDoDefaultAction(VARIANT child) {
  if (!Alive()) return CO_E_OBJNOTCONNECTED;
  const Target target = Resolve(child);
  if (!target.ok) return E_INVALIDARG;
  if (target.client || !HasDefaultAction(target.control->GetAccessibleRole())) {
    return DISP_E_MEMBERNOTFOUND;
  }
  if (!target.control->IsInvokable()) return E_FAIL;
  window_->PostAccessibleAction(target.control);
  return S_OK;
}

HRESULT AccessibleControl::put_accName(VARIANT, BSTR) { return E_NOTIMPL; }

HRESULT AccessibleControl::put_accValue(VARIANT, BSTR) { return E_NOTIMPL; }

}  // namespace ui
