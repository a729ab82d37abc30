#include "ui/control/rich_edit.h"

#include <imm.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "base/scoped_gdi_object.h"
#include "base/scoped_hglobal.h"
#include "base/utf8.h"
#include "ui/animation/timer_manager.h"
#include "ui/control/attribute_parsing.h"
#include "ui/control/attribute_table.h"
#include "ui/control/txt_win_host.h"
#include "ui/core/global_manager.h"
#include "ui/core/window.h"

namespace ui {

namespace {

COLORREF ToColorRef(DWORD argb) {
  return RGB((argb >> 16) & 0xFF, (argb >> 8) & 0xFF, argb & 0xFF);
}

bool KeyHeld(int vk) { return (::GetKeyState(vk) & 0x8000) != 0; }

// A switch only "true" and "false" change; any other value keeps it.
template <typename T, auto Set>
void StrictSwitchAttribute(T& target, const std::wstring& value) {
  if (value == L"true" || value == L"false") (target.*Set)(value == L"true");
}

std::wstring ClipboardText(HWND owner) {
  std::wstring text;
  if (!::OpenClipboard(owner)) return text;
  // The clipboard keeps the block; only the view is ours.
  if (const cbase::ScopedGlobalLock chars{::GetClipboardData(CF_UNICODETEXT)}) {
    text = static_cast<const wchar_t*>(chars.get());
  }
  ::CloseClipboard();
  return text;
}

}  // namespace

RichEdit::RichEdit() {
  text_color_ = GlobalManager::GetDefaultTextColor();
  normal_text_color_ = text_color_;
  disabled_text_color_ = text_color_;
  SetCursorType(kCursorIBeam);
}

RichEdit::~RichEdit() {
  for (auto& timer : timers_) timer.second.Cancel();
  if (host_) {
    host_->Shutdown();
    host_.reset();
  }
}

bool RichEdit::HasTextServices() const {
  EnsureServices();
  return ServicesRunning();
}

bool RichEdit::ServicesRunning() const { return host_ && host_->GetTextServices() != nullptr; }

void RichEdit::EnsureServices() const {
  if (services_deferred_) const_cast<RichEdit*>(this)->StartDeferredServices();
}

void RichEdit::StartDeferredServices() {
  if (!services_deferred_) return;
  InitTextServices();
  Invalidate();
}

bool RichEdit::CanDrawWithoutServices() const {
  if (rich_ || password_ || (edit_style_ & (ES_MULTILINE | ES_CENTER | ES_RIGHT)) != 0 ||
      GetFixedHeight() == kAuto) {
    return false;
  }
  if (!CTxtWinHost::EngineKeepsFont(GetFontHandle())) return false;
  // Scripts the engine shapes or reorders, marks it combines or hides, and
  // line breaks, are its own.
  for (const wchar_t ch : text_) {
    const bool simple = (ch >= 0x20 && ch < 0x7F) || (ch >= 0xA0 && ch < 0x250 && ch != 0xAD) ||
                        (ch >= 0x370 && ch < 0x483) || (ch >= 0x48A && ch < 0x500) ||
                        (ch >= 0x3000 && ch < 0x302A) || (ch >= 0x3030 && ch < 0x3040) ||
                        (ch >= 0x3041 && ch < 0x3097) || (ch >= 0x309B && ch < 0x3100) ||
                        (ch >= 0x4E00 && ch < 0xA000) || (ch >= 0xFF01 && ch < 0xFF61);
    if (!simple) return false;
  }
  return true;
}

bool RichEdit::IsInTextServices() const { return host_ && host_->IsInEngine(); }

void RichEdit::InitTextServices() {
  if (initialised_) return;
  initialised_ = true;
  services_deferred_ = false;
  cbase::ComPtr<CTxtWinHost> host(new CTxtWinHost(this));
  if (!host->Init(GetFontHandle(), ToColorRef(GlobalManager::GetTextColor(text_color_)),
                  edit_style_)) {
    return;
  }
  host_ = std::move(host);
  host_->SetRichText(rich_);
  host_->NotifyPropertyBits(TXTBIT_BACKSTYLECHANGE, TXTBIT_BACKSTYLECHANGE);
  const RECT client = GetTextClientRect();
  {
    CTxtWinHost::EngineCall call(host_.get());
    host_->GetTextServices()->OnTxInPlaceActivate(&client);
  }
  TxSendMessage(EM_SETEVENTMASK, 0, ENM_CHANGE | ENM_LINK | ENM_REQUESTRESIZE);
  TxSendMessage(EM_EXLIMITTEXT, 0, max_length_);
  if (!text_.empty()) {
    // The text it was given before is no change of its value.
    starting_services_ = true;
    SetText(text_);
    starting_services_ = false;
  }
  if (VerticalScrollBar() != nullptr) VerticalScrollBar()->SetScrollRange(0);
  if (HorizontalScrollBar() != nullptr) HorizontalScrollBar()->SetScrollRange(0);
}

LRESULT RichEdit::TxSendMessage(UINT message, WPARAM wparam, LPARAM lparam) const {
  if (!HasTextServices()) return 1;
  LRESULT result = 0;
  CTxtWinHost::EngineCall call(host_.get());
  host_->GetTextServices()->TxSendMessage(message, wparam, lparam, &result);
  return result;
}

// --- Text ---

void RichEdit::SetText(const std::wstring& text) {
  text_ = text;
  if (services_deferred_) {
    Invalidate();
    return;
  }
  if (!ServicesRunning()) return;
  CHARRANGE all = {0, -1};
  TxSendMessage(EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&all));
  TxSendMessage(EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
  links_.clear();
  RefreshVerticalOffset();
  Invalidate();
}

std::wstring RichEdit::GetAccessibleName() const {
  std::wstring text = GetText();
  return text.empty() ? ScrollableBox::GetAccessibleName() : text;
}

std::wstring RichEdit::GetText() const {
  if (!HasTextServices()) return std::wstring();
  GETTEXTLENGTHEX length = {GTL_DEFAULT, 1200};
  const LRESULT count = TxSendMessage(EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&length), 0);
  if (count <= 0) return std::wstring();
  std::vector<wchar_t> buffer(static_cast<size_t>(count) + 1, L'\0');
  GETTEXTEX get = {};
  get.cb = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
  get.flags = GT_DEFAULT;
  get.codepage = 1200;
  TxSendMessage(EM_GETTEXTEX, reinterpret_cast<WPARAM>(&get),
                reinterpret_cast<LPARAM>(buffer.data()));
  return std::wstring(buffer.data());
}

void RichEdit::SetUtf8Text(const std::string& text) { SetText(cbase::Utf8ToUtf16Lenient(text)); }

std::string RichEdit::GetUtf8Text() const { return cbase::Utf16ToUtf8(GetText()); }

std::wstring RichEdit::GetSelText() const {
  if (!HasTextServices()) return std::wstring();
  CHARRANGE range = {0, 0};
  TxSendMessage(EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&range));
  if (range.cpMax <= range.cpMin) return std::wstring();
  std::vector<wchar_t> buffer(static_cast<size_t>(range.cpMax - range.cpMin) + 1, L'\0');
  TxSendMessage(EM_GETSELTEXT, 0, reinterpret_cast<LPARAM>(buffer.data()));
  return std::wstring(buffer.data());
}

void RichEdit::SetTextColor(const std::wstring& color) {
  if (text_color_ == color) return;
  text_color_ = color;
  ApplyTextColor();
}

void RichEdit::ApplyTextColor() {
  if (host_) host_->SetColor(ToColorRef(GlobalManager::GetTextColor(text_color_)));
  Invalidate();
}

int RichEdit::NaturalSize(int width) {
  if (natural_size_) return natural_size_(width);
  if (!HasTextServices()) return 0;
  HWND hwnd = GetWindow() != nullptr ? GetWindow()->GetHWND() : nullptr;
  const cbase::ScopedGetDC hdc(hwnd);
  LONG w = width;
  LONG h = 0;
  SIZEL extent = {-1, -1};
  CTxtWinHost::EngineCall call(host_.get());
  host_->GetTextServices()->TxGetNaturalSize(DVASPECT_CONTENT, hdc.get(), nullptr, nullptr,
                                             TXTNS_FITTOCONTENT, &extent, &w, &h);
  return static_cast<int>(h);
}

// --- Settings ---

void RichEdit::ApplyEditStyleFlag(DWORD flag, bool on) {
  if (on) {
    edit_style_ |= flag;
  } else {
    edit_style_ &= ~flag;
  }
  if (host_) {
    host_->SetEditStyle(edit_style_);
    host_->NotifyPropertyBits(
        TXTBIT_SCROLLBARCHANGE | TXTBIT_MULTILINE | TXTBIT_WORDWRAP | TXTBIT_PARAFORMATCHANGE,
        TXTBIT_SCROLLBARCHANGE | TXTBIT_PARAFORMATCHANGE |
            ((edit_style_ & ES_MULTILINE) ? TXTBIT_MULTILINE : 0) |
            ((edit_style_ & (WS_HSCROLL | ES_AUTOHSCROLL)) ? 0 : TXTBIT_WORDWRAP));
  }
}

void RichEdit::SetRich(bool rich) {
  rich_ = rich;
  if (host_) host_->SetRichText(rich);
}

void RichEdit::SetReadOnly(bool read_only) {
  read_only_ = read_only;
  ApplyEditStyleFlag(ES_READONLY, read_only);
  if (host_) host_->SetReadOnly(read_only);
  Invalidate();
}

void RichEdit::SetPassword(bool password) {
  password_ = password;
  ApplyEditStyleFlag(ES_PASSWORD, password);
  if (host_) host_->SetPassword(password);
}

void RichEdit::SetNumberOnly(bool digits_only) {
  digits_only_ = digits_only;
  ApplyEditStyleFlag(ES_NUMBER, digits_only);
}

void RichEdit::SetFont(const std::wstring& font_id) {
  font_id_ = font_id;
  if (host_) host_->SetFont(GetFontHandle());
  RefreshVerticalOffset();
  Invalidate();
}

HFONT RichEdit::GetFontHandle() const { return GlobalManager::GetFont(font_id_); }

const std::wstring& RichEdit::GetPromptText() const {
  if (prompt_text_.empty() && !prompt_text_id_.empty()) {
    static thread_local std::wstring from_id;
    from_id = GlobalManager::GetText(prompt_text_id_);
    return from_id;
  }
  return prompt_text_;
}

bool RichEdit::IsPromptShown() const {
  if (read_only_ || prompt_color_.empty() || GetPromptText().empty()) return false;
  return services_deferred_ ? text_.empty() : GetText().empty();
}

void RichEdit::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (!Attributes().Apply(*this, name, value)) ScrollableBox::SetAttribute(name, value);
}

const AttributeTable<RichEdit>& RichEdit::Attributes() {
  using R = RichEdit;
  static const AttributeTable<RichEdit> table = {
      // Engine styles.
      {L"vscrollbar", SwitchAttribute<R, &R::SetVerticalBarStyle>},
      {L"hscrollbar", SwitchAttribute<R, &R::SetHorizontalBarStyle>},
      {L"autovscroll", SwitchAttribute<R, &R::ApplyEditStyle<ES_AUTOVSCROLL>>},
      {L"autohscroll", SwitchAttribute<R, &R::ApplyEditStyle<ES_AUTOHSCROLL>>},
      {L"multiline", StrictSwitchAttribute<R, &R::ApplyEditStyle<ES_MULTILINE>>},
      {L"readonly", StrictSwitchAttribute<R, &R::SetReadOnly>},
      {L"password", StrictSwitchAttribute<R, &R::SetPassword>},
      {L"number", StrictSwitchAttribute<R, &R::SetNumberOnly>},
      {L"rich", SwitchAttribute<R, &R::SetRich>},
      {L"align", TextAttribute<R, &R::SetAlignWords>},
      // Text and look.
      {L"text", TextAttribute<R, &R::SetText>},
      {L"textid",
       [](R& edit, const std::wstring& id) { edit.SetText(GlobalManager::GetText(id)); }},
      {L"font", TextAttribute<R, &R::SetFont>},
      {L"normaltextcolor", TextAttribute<R, &R::SetNormalTextColor>},
      {L"disabledtextcolor", TextAttribute<R, &R::SetDisabledTextColor>},
      {L"caretcolor", TextAttribute<R, &R::caret_color_>},
      {L"focusedimage",
       [](R& edit, const std::wstring& image) { edit.focused_image_.SetImageString(image); }},
      {L"promptmode", SwitchAttribute<R, &R::prompt_mode_>},
      {L"promptcolor", TextAttribute<R, &R::SetPromptColor>},
      {L"prompttext", TextAttribute<R, &R::SetPromptText>},
      {L"prompttextid", TextAttribute<R, &R::prompt_text_id_>},
      // Keys.
      {L"wanttab", SwitchAttribute<R, &R::SetWantTab>},
      {L"wantreturnmsg", SwitchAttribute<R, &R::SetWantReturnMsg>},
      {L"returnmsgwantctrl", SwitchAttribute<R, &R::SetReturnMsgWantCtrl>},
  };
  return table;
}

void RichEdit::SetVerticalBarStyle(bool on) {
  ApplyEditStyleFlag(WS_VSCROLL, on);
  if (!on && (edit_style_ & WS_HSCROLL) == 0) ApplyEditStyleFlag(ES_DISABLENOSCROLL, false);
  EnableScrollBar(on, HorizontalScrollBar() != nullptr);
}

void RichEdit::SetHorizontalBarStyle(bool on) {
  ApplyEditStyleFlag(WS_HSCROLL, on);
  if (!on && (edit_style_ & WS_VSCROLL) == 0) ApplyEditStyleFlag(ES_DISABLENOSCROLL, false);
  EnableScrollBar(VerticalScrollBar() != nullptr, on);
}

void RichEdit::SetAlignWords(const std::wstring& words) {
  for (const std::wstring& word : SplitBySpaces(words)) {
    if (word == L"left") {
      ApplyEditStyleFlag(ES_CENTER | ES_RIGHT, false);
    } else if (word == L"hcenter") {
      ApplyEditStyleFlag(ES_RIGHT, false);
      ApplyEditStyleFlag(ES_CENTER, true);
    } else if (word == L"right") {
      ApplyEditStyleFlag(ES_CENTER, false);
      ApplyEditStyleFlag(ES_RIGHT, true);
    } else if (word == L"top") {
      vertical_align_ = 0;
    } else if (word == L"vcenter") {
      vertical_align_ = 1;
    } else if (word == L"bottom") {
      vertical_align_ = 2;
    }
  }
  RefreshVerticalOffset();
}

void RichEdit::SetNormalTextColor(const std::wstring& color) {
  normal_text_color_ = color;
  if (IsEnabled()) SetTextColor(color);
}

void RichEdit::SetDisabledTextColor(const std::wstring& color) {
  disabled_text_color_ = color;
  if (!IsEnabled()) SetTextColor(color);
}

// --- Tree, geometry, state ---

void RichEdit::SetWindow(Window* window, Box* parent, bool init) {
  ScrollableBox::SetWindow(window, parent, init);
  // The builder hands the window over before the skin's attributes and asks
  // for initialisation only when the control joins the tree; starting the
  // engine then lets it read the formats the attributes built.
  if (window == nullptr || !init || initialised_) return;
  // A field moved to another window follows that window's first frame.
  if (services_deferred_ || (!window->HasShownFirstFrame() && CanDrawWithoutServices())) {
    services_deferred_ = true;
    window->AfterFirstFrame(ToWeakCallback([this] { StartDeferredServices(); }));
    return;
  }
  InitTextServices();
}

RECT RichEdit::GetTextClientRect() const {
  RECT rect = InnerRect();
  if (VerticalScrollBar() != nullptr && VerticalScrollBar()->IsVisible()) {
    rect.right -= VerticalScrollBar()->GetFixedWidth();
  }
  if (HorizontalScrollBar() != nullptr && HorizontalScrollBar()->IsVisible()) {
    rect.bottom -= HorizontalScrollBar()->GetFixedHeight();
  }
  if (vertical_align_ != 0 && ServicesRunning()) {
    // Centre or bottom-align the text's own height inside the area. Measuring
    // asks the engine, so inside its callbacks (client rectangle, scroll
    // range) the last height measured outside stands in.
    if (!host_->IsInEngine()) {
      natural_height_ = const_cast<RichEdit*>(this)->NaturalSize(rect.right - rect.left);
    }
    const int needed = natural_height_;
    const int spare = (rect.bottom - rect.top) - needed;
    if (needed > 0 && spare > 0) rect.top += vertical_align_ == 1 ? spare / 2 : spare;
  }
  return rect;
}

void RichEdit::SetBounds(const RECT& rect) {
  Control::SetBounds(rect);
  const RECT& whole = GetRect();
  const RECT& pad = GetScrollBarPadding();
  if (ScrollBar* bar = VerticalScrollBar(); bar != nullptr && bar->GetScrollRange() > 0) {
    bar->SetBounds(RECT{whole.right - pad.right - bar->GetFixedWidth(), whole.top + pad.top,
                        whole.right - pad.right, whole.bottom - pad.bottom});
  }
  if (ScrollBar* bar = HorizontalScrollBar(); bar != nullptr && bar->GetScrollRange() > 0) {
    bar->SetBounds(RECT{whole.left + pad.left, whole.bottom - pad.bottom - bar->GetFixedHeight(),
                        whole.right - pad.right, whole.bottom - pad.bottom});
  }
  if (host_) {
    if (vertical_align_ != 0) GetTextClientRect();  // measured here, not in the engine's callback
    host_->NotifyPropertyBits(TXTBIT_CLIENTRECTCHANGE, TXTBIT_CLIENTRECTCHANGE);
  }
}

void RichEdit::RefreshVerticalOffset() {
  if (vertical_align_ == 0 || !ServicesRunning() || host_->IsInEngine()) return;
  const int before = natural_height_;
  GetTextClientRect();
  if (natural_height_ != before) {
    host_->NotifyPropertyBits(TXTBIT_CLIENTRECTCHANGE, TXTBIT_CLIENTRECTCHANGE);
  }
}

void RichEdit::SetEnabled(bool enabled) {
  ScrollableBox::SetEnabled(enabled);
  SetTextColor(enabled ? normal_text_color_ : disabled_text_color_);
}

// --- Host callbacks ---

void RichEdit::OnTxNotify(DWORD code, void* data) {
  Window* window = GetWindow();
  HWND hwnd = window != nullptr ? window->GetHWND() : nullptr;
  switch (code) {
    case EN_CHANGE:
      if (!starting_services_) SendEvent(kEventValueChange);
      return;
    case EN_REQUESTRESIZE:
      if (data != nullptr) {
        const RECT& rc = static_cast<REQRESIZE*>(data)->rc;
        requested_size_ = SIZE{rc.right - rc.left, rc.bottom - rc.top};
      }
      return;
    case EN_LINK: {
      auto* link = static_cast<ENLINK*>(data);
      if (link == nullptr) return;
      if (link->msg == WM_MOUSEMOVE || link->msg == WM_SETCURSOR) {
        // Remember where links are, for the link click and the hand cursor.
        bool known = false;
        for (const CHARRANGE& range : links_) {
          known = known || (range.cpMin == link->chrg.cpMin && range.cpMax == link->chrg.cpMax);
        }
        if (!known) links_.push_back(link->chrg);
        return;
      }
      if (link->msg != WM_LBUTTONUP) return;
      TxSendMessage(EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&link->chrg));
      const std::wstring text = GetSelText();
      if (hwnd != nullptr) {
        ::SendMessageW(hwnd, WM_NOTIFY, EN_LINK, reinterpret_cast<LPARAM>(text.c_str()));
      }
      return;
    }
    default:
      break;
  }
  const bool reflected = code == EN_MSGFILTER || (code >= EN_CORRECTTEXT && code <= EN_IMECHANGE) ||
                         code == EN_DROPFILES || (code >= EN_OLEOPFAILED && code < EN_LINK) ||
                         code == EN_LINK + 1;
  if (reflected && hwnd != nullptr) {
    NMHDR header = {};
    header.hwndFrom = hwnd;
    header.idFrom = static_cast<UINT_PTR>(::GetWindowLongPtrW(hwnd, GWLP_ID));
    header.code = code;
    ::SendMessageW(hwnd, WM_NOTIFY, header.idFrom, reinterpret_cast<LPARAM>(&header));
  }
}

void RichEdit::SetCaret(int /*x*/, int /*y*/, int width, int height) {
  caret_width_ = width;
  caret_height_ = height;
}

void RichEdit::SetCaretPosition(int x, int y) {
  caret_pos_ = POINT{x, y};
  Invalidate();
}

void RichEdit::SetServiceTimer(UINT id, UINT timeout) {
  cbase::WeakCallbackFlag& flag = timers_[id];
  flag.Cancel();
  TimerManager::Current().AddTimer(
      flag.GetWeakFlag(), [this, id] { TxSendMessage(WM_TIMER, id, 0); }, static_cast<int>(timeout),
      TimerManager::kRepeatForever);
}

void RichEdit::KillServiceTimer(UINT id) {
  auto it = timers_.find(id);
  if (it != timers_.end()) it->second.Cancel();
}

void RichEdit::SetServiceCapture(bool capture) {
  Window* window = GetWindow();
  if (window == nullptr || window->GetHWND() == nullptr) return;
  if (capture) {
    ::SetCapture(window->GetHWND());
  } else if (::GetCapture() == window->GetHWND()) {
    ::ReleaseCapture();
  }
}

void RichEdit::TakeFocusFromServices() {
  if (GetWindow() != nullptr && !IsFocused()) GetWindow()->SetFocusControl(this);
}

void RichEdit::InvalidateFromServices(const RECT* /*rect*/) { Invalidate(); }

void RichEdit::SetBarFromServices(bool vertical, int range, int page) {
  ScrollBar* bar = vertical ? VerticalScrollBar() : HorizontalScrollBar();
  if (bar == nullptr) return;
  const bool first = bar->GetScrollRange() == 0;
  const int scroll_range = range > page ? range - page : 0;
  bar->SetScrollRange(scroll_range);
  if (first && scroll_range > 0) SetBounds(GetRect());
}

void RichEdit::SetBarPosFromServices(bool vertical, int pos) {
  ScrollBar* bar = vertical ? VerticalScrollBar() : HorizontalScrollBar();
  if (bar != nullptr) bar->SetScrollPos(pos);
}

// --- Events ---

POINT RichEdit::ToTextPoint(POINT client) const {
  // The text services work in the control's unscrolled coordinates.
  const RECT& rect = GetRect();
  const RECT shown = GetRectWithScrollOffset();
  return POINT{client.x + rect.left - shown.left, client.y + rect.top - shown.top};
}

bool RichEdit::IsOnLink(POINT point) const {
  if (links_.empty() || !HasTextServices()) return false;
  POINTL at = {point.x, point.y};
  const LONG index =
      static_cast<LONG>(TxSendMessage(EM_CHARFROMPOS, 0, reinterpret_cast<LPARAM>(&at)));
  for (const CHARRANGE& range : links_) {
    if (index >= range.cpMin && index < range.cpMax) return true;
  }
  return false;
}

void RichEdit::ForwardMouse(UINT message, const EventArgs& args) {
  const POINT point = ToTextPoint(args.mouse);
  WPARAM keys = 0;
  if (message == WM_LBUTTONDOWN || message == WM_MOUSEMOVE) {
    keys = KeyHeld(VK_LBUTTON) ? MK_LBUTTON : 0;
    if (message == WM_LBUTTONDOWN) keys |= MK_LBUTTON;
  }
  if (KeyHeld(VK_CONTROL)) keys |= MK_CONTROL;
  if (KeyHeld(VK_SHIFT)) keys |= MK_SHIFT;
  TxSendMessage(message, keys, MAKELPARAM(point.x, point.y));
}

void RichEdit::PasteDigitsOnly() {
  Window* window = GetWindow();
  const std::wstring pasted = ClipboardText(window != nullptr ? window->GetHWND() : nullptr);
  std::wstring digits;
  for (wchar_t ch : pasted) {
    if (ch >= L'0' && ch <= L'9') digits.push_back(ch);
  }
  if (!digits.empty()) {
    TxSendMessage(EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(digits.c_str()));
  }
}

void RichEdit::HandleMessage(EventArgs& args) {
  if (!IsMouseEnabled() && IsMouseEvent(args.type)) {
    if (GetParent() != nullptr) GetParent()->DispatchEvent(args);
    return;
  }
  if (!IsEnabled()) {
    ScrollableBox::HandleMessage(args);
    return;
  }
  switch (args.type) {
    case kEventInternalDoubleClick:
      if (read_only_) {
        CHARRANGE all = {0, -1};
        TxSendMessage(EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&all));
        Invalidate();
      } else {
        ForwardMouse(WM_LBUTTONDBLCLK, args);
      }
      return;
    case kEventInternalSetFocus:
      TxSendMessage(WM_SETFOCUS, 0, 0);
      Control::HandleMessage(args);
      return;
    case kEventInternalKillFocus:
      TxSendMessage(WM_KILLFOCUS, 0, 0);
      Control::HandleMessage(args);
      return;
    case kEventKeyDown: {
      const bool ctrl = KeyHeld(VK_CONTROL);
      if (args.wparam == VK_RETURN && !KeyHeld(VK_SHIFT) && want_return_msg_ &&
          ctrl == return_msg_want_ctrl_) {
        swallow_return_char_ = true;
        SendEvent(kEventReturn);
        return;
      }
      swallow_return_char_ = false;
      if (digits_only_ && ctrl && args.wparam == 'V') {
        PasteDigitsOnly();
        return;
      }
      TxSendMessage(WM_KEYDOWN, args.wparam, args.lparam);
      RefreshVerticalOffset();
      return;
    }
    case kEventKeyUp:
      TxSendMessage(WM_KEYUP, args.wparam, args.lparam);
      return;
    case kEventChar: {
      const wchar_t ch = static_cast<wchar_t>(args.wparam);
      if ((ch == L'\r' || ch == L'\n') && swallow_return_char_) {
        swallow_return_char_ = false;
        return;
      }
      if (ch == L'\t' && !want_tab_) {
        SendEvent(kEventTab);
        return;
      }
      // Control characters (Backspace and the like) still edit a number field.
      if (digits_only_ && ch >= 0x20 && (ch < L'0' || ch > L'9')) return;
      TxSendMessage(WM_CHAR, args.wparam, args.lparam);
      RefreshVerticalOffset();
      return;
    }
    case kEventMouseMove:
      ForwardMouse(WM_MOUSEMOVE, args);
      return;
    case kEventMouseButtonDown:
    case kEventPointDown:
      if (IsOnLink(ToTextPoint(args.mouse))) {
        SendEvent(kEventLinkClick);
        return;
      }
      ForwardMouse(WM_LBUTTONDOWN, args);
      Control::HandleMessage(args);
      return;
    case kEventMouseButtonUp:
    case kEventPointUp:
      ForwardMouse(WM_LBUTTONUP, args);
      Control::HandleMessage(args);
      return;
    case kEventMouseRightButtonDown:
      ForwardMouse(WM_RBUTTONDOWN, args);
      return;
    case kEventMouseRightButtonUp:
      ForwardMouse(WM_RBUTTONUP, args);
      return;
    case kEventMouseScrollWheel:
      if (KeyHeld(VK_CONTROL)) return;  // no zoom
      break;
    case kEventSetCursor: {
      const POINT point = ToTextPoint(args.mouse);
      if (IsOnLink(point)) {
        ::SetCursor(::LoadCursorW(nullptr, IDC_HAND));
        return;
      }
      if (HasTextServices()) {
        const RECT client = GetTextClientRect();
        HWND hwnd = GetWindow() != nullptr ? GetWindow()->GetHWND() : nullptr;
        const cbase::ScopedGetDC hdc(hwnd);
        CTxtWinHost::EngineCall call(host_.get());
        const HRESULT hr = host_->GetTextServices()->OnTxSetCursor(
            DVASPECT_CONTENT, -1, nullptr, nullptr, hdc.get(), nullptr, &client, point.x, point.y);
        if (SUCCEEDED(hr)) return;
      }
      ::SetCursor(::LoadCursorW(nullptr, IDC_IBEAM));
      return;
    }
    case kEventImeStartComposition: {
      composing_ = true;
      Window* window = GetWindow();
      if (window != nullptr && window->GetHWND() != nullptr) {
        if (HIMC context = ::ImmGetContext(window->GetHWND())) {
          const RECT shown = GetRectWithScrollOffset();
          const RECT& rect = GetRect();
          COMPOSITIONFORM form = {};
          form.dwStyle = CFS_POINT;
          form.ptCurrentPos.x = std::max<LONG>(1, caret_pos_.x + shown.left - rect.left);
          form.ptCurrentPos.y = std::max<LONG>(1, caret_pos_.y + shown.top - rect.top);
          ::ImmSetCompositionWindow(context, &form);
          ::ImmReleaseContext(window->GetHWND(), context);
        }
      }
      return;
    }
    case kEventImeEndComposition:
      composing_ = false;
      return;
    default:
      break;
  }
  ScrollableBox::HandleMessage(args);
}

void RichEdit::SetScrollPos(SIZE position) {
  const SIZE old = GetScrollPos();
  ScrollableBox::SetScrollPos(position);
  const SIZE now = GetScrollPos();
  if (now.cy != old.cy) TxSendMessage(WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, now.cy), 0);
  if (now.cx != old.cx) TxSendMessage(WM_HSCROLL, MAKEWPARAM(SB_THUMBPOSITION, now.cx), 0);
}

// --- Painting ---

void RichEdit::PaintStateImages(IRenderContext* context) {
  if (read_only_) return;
  if (IsFocused() && !focused_image_.file.empty()) {
    DrawImage(context, focused_image_);
    return;
  }
  ScrollableBox::PaintStateImages(context);
}

void RichEdit::PaintSelf(IRenderContext* context, const RECT& dirty) {
  ScrollableBox::PaintSelf(context, dirty);
  if (services_deferred_) {
    if (CanDrawWithoutServices() && PaintTextWithoutServices(context, dirty)) return;
    StartDeferredServices();
  }
  if (!ServicesRunning()) return;
  RECT client = GetTextClientRect();
  RECT update;
  if (!::IntersectRect(&update, &dirty, &GetRect())) return;
  HDC hdc = context->DeviceContext();
  CTxtWinHost::EngineCall call(host_.get());
  host_->GetTextServices()->TxDraw(DVASPECT_CONTENT, 0, nullptr, nullptr, hdc, nullptr,
                                   reinterpret_cast<LPCRECTL>(&client), nullptr, &update, nullptr,
                                   0, TXTVIEW_ACTIVE);
  if (IsFocused() && !composing_ && !read_only_) {
    CHARRANGE range = {0, 0};
    TxSendMessage(EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&range));
    if (range.cpMin == range.cpMax && caret_height_ > 0) {
      const ARGB color =
          caret_color_.empty() ? 0xFF000000 : GlobalManager::GetTextColor(caret_color_);
      const int width = caret_width_ > 0 ? caret_width_ : 1;
      context->DrawLine(
          RECT{caret_pos_.x, caret_pos_.y, caret_pos_.x, caret_pos_.y + caret_height_}, width,
          color);
    }
  }
  if (IsPromptShown()) {
    context->DrawText(client, GetPromptText(), GlobalManager::GetTextColor(prompt_color_),
                      GetFontHandle(), DT_NOCLIP);
  }
}

bool RichEdit::PaintTextWithoutServices(IRenderContext* context, const RECT& dirty) {
  RECT update;
  if (!::IntersectRect(&update, &dirty, &GetRect())) return true;
  HDC hdc = context->DeviceContext();
  const HFONT font = GetFontHandle();
  if (hdc == nullptr || font == nullptr) return false;
  const int length = static_cast<int>(text_.size());
  const HGDIOBJ old_font = ::SelectObject(hdc, font);
  std::vector<WORD> glyphs(text_.size());
  bool drawable =
      length == 0 || ::GetGlyphIndicesW(hdc, text_.c_str(), length, glyphs.data(),
                                        GGI_MARK_NONEXISTING_GLYPHS) == static_cast<DWORD>(length);
  drawable = drawable && std::find(glyphs.begin(), glyphs.end(), 0xFFFF) == glyphs.end();
  TEXTMETRICW metrics = {};
  drawable = drawable && ::GetTextMetricsW(hdc, &metrics);
  RECT client = GetTextClientRect();
  // A text wider than the field is scrolled as the engine sees fit.
  SIZE extent = {};
  drawable =
      drawable && (length == 0 || (::GetTextExtentPoint32W(hdc, text_.c_str(), length, &extent) &&
                                   extent.cx < client.right - client.left));
  if (drawable) {
    // One line of the font, placed as the engine places it.
    const int spare = (client.bottom - client.top) - metrics.tmHeight;
    if (vertical_align_ != 0 && spare > 0) client.top += vertical_align_ == 1 ? spare / 2 : spare;
    RECT clip;
    if (length > 0 && ::IntersectRect(&clip, &client, &update)) {
      const COLORREF old_color =
          ::SetTextColor(hdc, ToColorRef(GlobalManager::GetTextColor(text_color_)));
      const int old_mode = ::SetBkMode(hdc, TRANSPARENT);
      const UINT old_align = ::SetTextAlign(hdc, TA_LEFT | TA_TOP | TA_NOUPDATECP);
      ::ExtTextOutW(hdc, client.left, client.top, ETO_CLIPPED, &clip, text_.c_str(),
                    static_cast<UINT>(length), nullptr);
      ::SetTextAlign(hdc, old_align);
      ::SetBkMode(hdc, old_mode);
      ::SetTextColor(hdc, old_color);
    }
  }
  ::SelectObject(hdc, old_font);
  if (drawable && IsPromptShown()) {
    context->DrawText(client, GetPromptText(), GlobalManager::GetTextColor(prompt_color_),
                      GetFontHandle(), DT_NOCLIP);
  }
  return drawable;
}

void RichEdit::PaintChildren(IRenderContext* context, const RECT& dirty) {
  AutoClip clip(context, InnerRect());
  ScrollableBox::PaintChildren(context, dirty);
}

SIZE RichEdit::EstimateText(SIZE available) {
  if (GetFixedHeight() != kAuto || !HasTextServices())
    return ScrollableBox::EstimateText(available);
  return SIZE{available.cx, NaturalSize(available.cx)};
}

}  // namespace ui
