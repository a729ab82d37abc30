#include "ui/control/txt_win_host.h"

#include <imm.h>

#include <utility>

#include "base/scoped_gdi_object.h"
#include "ui/control/rich_edit.h"
#include "ui/core/window.h"

namespace ui {

namespace {

// {8D33F740-CF58-11CE-A89D-00AA006CADC5}
const IID kIIDTextServices = {
    0x8d33f740, 0xcf58, 0x11ce, {0xa8, 0x9d, 0x00, 0xaa, 0x00, 0x6c, 0xad, 0xc5}};
// {13E670F4-1A5A-11CF-ABEB-00AA00B65EA1}
const IID kIIDTextHost = {
    0x13e670f4, 0x1a5a, 0x11cf, {0xab, 0xeb, 0x00, 0xaa, 0x00, 0xb6, 0x5e, 0xa1}};

constexpr LONG kTwipsPerInch = 1440;

// The engine is loaded once, from the system directory only: a file of the
// same name beside the program (often a Downloads folder) must not run here.
PCreateTextServices TextServicesEntry() {
  static PCreateTextServices entry = [] {
    HMODULE module = ::LoadLibraryExW(L"msftedit.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module == nullptr) return PCreateTextServices(nullptr);
    return reinterpret_cast<PCreateTextServices>(
        reinterpret_cast<void*>(::GetProcAddress(module, "CreateTextServices")));
  }();
  return entry;
}

}  // namespace

cbase::ComPtr<ITextServices> CreateWindowlessTextServices(ITextHost* host) {
  cbase::ComPtr<ITextServices> services;
  PCreateTextServices create = TextServicesEntry();
  if (create == nullptr) return services;
  cbase::ComPtr<IUnknown> unknown;
  if (FAILED(create(nullptr, host, unknown.receive())) || !unknown) return services;
  if (FAILED(unknown->QueryInterface(kIIDTextServices, services.receive_void()))) services.reset();
  return services;
}

CTxtWinHost::CTxtWinHost(RichEdit* control) : control_(control) {}

CTxtWinHost::~CTxtWinHost() { Shutdown(); }

bool CTxtWinHost::Init(HFONT font, COLORREF text_color, DWORD edit_style) {
  BuildCharFormat(font, text_color);
  para_format_.cbSize = sizeof(para_format_);
  para_format_.dwMask = PFM_ALL;
  para_format_.wAlignment = PFA_LEFT;
  para_format_.cTabCount = 1;
  para_format_.rgxTabs[0] = 720;  // twips
  SetEditStyle(edit_style);
  EngineCall call(this);
  services_ = CreateWindowlessTextServices(this);
  return static_cast<bool>(services_);
}

void CTxtWinHost::Shutdown() {
  if (!services_) return;
  EngineCall call(this);
  // Released inside the call: the engine may call the host back meanwhile.
  const cbase::ComPtr<ITextServices> services = std::move(services_);
  services->OnTxInPlaceDeactivate();
}

HWND CTxtWinHost::Hwnd() const {
  Window* window = control_ != nullptr ? control_->GetWindow() : nullptr;
  return window != nullptr ? window->GetHWND() : nullptr;
}

bool CTxtWinHost::EngineKeepsFont(HFONT font) {
  LOGFONTW log = {};
  if (font == nullptr || ::GetObjectW(font, sizeof(log), &log) != sizeof(log) ||
      log.lfHeight >= 0 || (log.lfWeight != FW_NORMAL && log.lfWeight != FW_BOLD) ||
      log.lfUnderline || log.lfStrikeOut || log.lfQuality != DEFAULT_QUALITY || log.lfWidth != 0 ||
      log.lfEscapement != 0) {
    return false;
  }
  const LONG pixels_y = ::GetDeviceCaps(cbase::ScopedGetDC(nullptr).get(), LOGPIXELSY);
  return pixels_y > 0 && (-log.lfHeight * kTwipsPerInch) % pixels_y == 0;
}

void CTxtWinHost::BuildCharFormat(HFONT font, COLORREF color) {
  LOGFONTW log = {};
  if (font == nullptr || ::GetObjectW(font, sizeof(log), &log) == 0) {
    ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof(log), &log);
  }
  char_format_ = {};
  char_format_.cbSize = sizeof(char_format_);
  const LONG pixels_y = ::GetDeviceCaps(cbase::ScopedGetDC(nullptr).get(), LOGPIXELSY);
  char_format_.yHeight = -log.lfHeight * kTwipsPerInch / (pixels_y > 0 ? pixels_y : 96);
  char_format_.yOffset = 0;
  char_format_.crTextColor = color;
  char_format_.bCharSet = log.lfCharSet;
  char_format_.bPitchAndFamily = log.lfPitchAndFamily;
  ::lstrcpynW(char_format_.szFaceName, log.lfFaceName, LF_FACESIZE);
  char_format_.dwMask = CFM_SIZE | CFM_OFFSET | CFM_FACE | CFM_CHARSET | CFM_COLOR | CFM_BOLD |
                        CFM_ITALIC | CFM_UNDERLINE | CFM_STRIKEOUT;
  char_format_.dwEffects = 0;
  if (log.lfWeight >= FW_BOLD) char_format_.dwEffects |= CFE_BOLD;
  if (log.lfItalic) char_format_.dwEffects |= CFE_ITALIC;
  if (log.lfUnderline) char_format_.dwEffects |= CFE_UNDERLINE;
  if (log.lfStrikeOut) char_format_.dwEffects |= CFE_STRIKEOUT;
}

void CTxtWinHost::SetFont(HFONT font) {
  BuildCharFormat(font, char_format_.crTextColor);
  ApplyCharFormat();
}

void CTxtWinHost::SetColor(COLORREF color) {
  char_format_.crTextColor = color;
  ApplyCharFormat();
}

// Some engines read the host's formats only when they start and ignore the
// change notices, so a running engine is also given the format itself.
void CTxtWinHost::ApplyCharFormat() {
  NotifyPropertyBits(TXTBIT_CHARFORMATCHANGE, TXTBIT_CHARFORMATCHANGE);
  if (!services_) return;
  EngineCall call(this);
  LRESULT ignored = 0;
  services_->TxSendMessage(EM_SETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&char_format_),
                           &ignored);
  services_->TxSendMessage(EM_SETCHARFORMAT, SCF_ALL, reinterpret_cast<LPARAM>(&char_format_),
                           &ignored);
}

void CTxtWinHost::ApplyParaFormat() {
  NotifyPropertyBits(TXTBIT_PARAFORMATCHANGE, TXTBIT_PARAFORMATCHANGE);
  if (!services_) return;
  // EM_SETPARAFORMAT reaches the selected paragraphs: all of them, then the
  // user's selection again.
  EngineCall call(this);
  LRESULT ignored = 0;
  CHARRANGE kept = {0, 0};
  services_->TxSendMessage(EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&kept), &ignored);
  CHARRANGE all = {0, -1};
  services_->TxSendMessage(EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&all), &ignored);
  PARAFORMAT2 alignment = {};
  alignment.cbSize = sizeof(alignment);
  alignment.dwMask = PFM_ALIGNMENT;
  alignment.wAlignment = para_format_.wAlignment;
  services_->TxSendMessage(EM_SETPARAFORMAT, 0, reinterpret_cast<LPARAM>(&alignment), &ignored);
  services_->TxSendMessage(EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&kept), &ignored);
}

void CTxtWinHost::SetEditStyle(DWORD style) {
  edit_style_ = style;
  word_wrap_ = (style & (WS_HSCROLL | ES_AUTOHSCROLL)) == 0;
  read_only_ = (style & ES_READONLY) != 0;
  password_ = (style & ES_PASSWORD) != 0;
  const WORD alignment = para_format_.wAlignment;
  if (style & ES_CENTER) {
    para_format_.wAlignment = PFA_CENTER;
  } else if (style & ES_RIGHT) {
    para_format_.wAlignment = PFA_RIGHT;
  } else {
    para_format_.wAlignment = PFA_LEFT;
  }
  if (para_format_.wAlignment != alignment) ApplyParaFormat();
}

void CTxtWinHost::SetRichText(bool rich) {
  rich_ = rich;
  NotifyPropertyBits(TXTBIT_RICHTEXT, rich ? TXTBIT_RICHTEXT : 0);
}

void CTxtWinHost::SetReadOnly(bool read_only) {
  read_only_ = read_only;
  NotifyPropertyBits(TXTBIT_READONLY, read_only ? TXTBIT_READONLY : 0);
}

void CTxtWinHost::SetPassword(bool password) {
  password_ = password;
  NotifyPropertyBits(TXTBIT_USEPASSWORD, password ? TXTBIT_USEPASSWORD : 0);
}

void CTxtWinHost::NotifyPropertyBits(DWORD mask, DWORD bits) {
  if (!services_) return;
  EngineCall call(this);
  services_->OnTxPropertyBitsChange(mask, bits);
}

// --- IUnknown ---

HRESULT CTxtWinHost::QueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, kIIDTextHost)) {
    *object = static_cast<ITextHost*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG CTxtWinHost::AddRef() { return ++refs_; }

ULONG CTxtWinHost::Release() {
  const ULONG left = --refs_;
  if (left == 0) delete this;
  return left;
}

// --- ITextHost ---

HDC CTxtWinHost::TxGetDC() { return ::GetDC(Hwnd()); }

INT CTxtWinHost::TxReleaseDC(HDC hdc) { return ::ReleaseDC(Hwnd(), hdc); }

WINBOOL CTxtWinHost::TxShowScrollBar(INT bar, WINBOOL show) {
  if (control_ == nullptr) return FALSE;
  // Hiding a bar clears its range; showing waits for a range from the engine.
  if (!show) {
    if (bar == SB_VERT || bar == SB_BOTH) control_->SetBarFromServices(true, 0, 0);
    if (bar == SB_HORZ || bar == SB_BOTH) control_->SetBarFromServices(false, 0, 0);
  }
  return TRUE;
}

WINBOOL CTxtWinHost::TxEnableScrollBar(INT /*flags*/, INT /*arrows*/) { return TRUE; }

WINBOOL CTxtWinHost::TxSetScrollRange(INT bar, LONG min_pos, INT max_pos, WINBOOL /*redraw*/) {
  if (control_ == nullptr) return FALSE;
  const RECT client = control_->GetTextClientRect();
  const int view = bar == SB_VERT ? client.bottom - client.top : client.right - client.left;
  control_->SetBarFromServices(bar == SB_VERT, static_cast<int>(max_pos - min_pos), view);
  return TRUE;
}

WINBOOL CTxtWinHost::TxSetScrollPos(INT bar, INT pos, WINBOOL /*redraw*/) {
  if (control_ == nullptr) return FALSE;
  control_->SetBarPosFromServices(bar == SB_VERT, pos);
  return TRUE;
}

void CTxtWinHost::TxInvalidateRect(LPCRECT rect, WINBOOL /*mode*/) {
  if (control_ != nullptr) control_->InvalidateFromServices(rect);
}

void CTxtWinHost::TxViewChange(WINBOOL /*update*/) {}

WINBOOL CTxtWinHost::TxCreateCaret(HBITMAP /*bitmap*/, INT width, INT height) {
  if (control_ != nullptr) control_->SetCaret(-1, -1, width, height);
  return TRUE;
}

WINBOOL CTxtWinHost::TxShowCaret(WINBOOL /*show*/) { return TRUE; }

WINBOOL CTxtWinHost::TxSetCaretPos(INT x, INT y) {
  if (control_ != nullptr) control_->SetCaretPosition(x, y);
  return TRUE;
}

WINBOOL CTxtWinHost::TxSetTimer(UINT id, UINT timeout) {
  if (control_ == nullptr) return FALSE;
  control_->SetServiceTimer(id, timeout);
  return TRUE;
}

void CTxtWinHost::TxKillTimer(UINT id) {
  if (control_ != nullptr) control_->KillServiceTimer(id);
}

void CTxtWinHost::TxScrollWindowEx(INT, INT, LPCRECT, LPCRECT, HRGN, LPRECT, UINT) {}

void CTxtWinHost::TxSetCapture(WINBOOL capture) {
  capture_ = capture != FALSE;
  if (control_ != nullptr) control_->SetServiceCapture(capture_);
}

void CTxtWinHost::TxSetFocus() {
  if (control_ != nullptr) control_->TakeFocusFromServices();
}

void CTxtWinHost::TxSetCursor(HCURSOR cursor, WINBOOL /*text*/) { ::SetCursor(cursor); }

WINBOOL CTxtWinHost::TxScreenToClient(LPPOINT point) { return ::ScreenToClient(Hwnd(), point); }

WINBOOL CTxtWinHost::TxClientToScreen(LPPOINT point) { return ::ClientToScreen(Hwnd(), point); }

HRESULT CTxtWinHost::TxActivate(LONG* old_state) {
  if (old_state != nullptr) *old_state = 0;
  return S_OK;
}

HRESULT CTxtWinHost::TxDeactivate(LONG /*new_state*/) { return S_OK; }

HRESULT CTxtWinHost::TxGetClientRect(LPRECT rect) {
  if (rect == nullptr) return E_INVALIDARG;
  *rect = control_ != nullptr ? control_->GetTextClientRect() : client_rect_;
  return S_OK;
}

HRESULT CTxtWinHost::TxGetViewInset(LPRECT rect) {
  if (rect == nullptr) return E_INVALIDARG;
  *rect = RECT{0, 0, 0, 0};
  return S_OK;
}

HRESULT CTxtWinHost::TxGetCharFormat(const CHARFORMATW** format) {
  *format = reinterpret_cast<const CHARFORMATW*>(&char_format_);
  return S_OK;
}

HRESULT CTxtWinHost::TxGetParaFormat(const PARAFORMAT** format) {
  *format = &para_format_;
  return S_OK;
}

COLORREF CTxtWinHost::TxGetSysColor(int index) { return ::GetSysColor(index); }

HRESULT CTxtWinHost::TxGetBackStyle(TXTBACKSTYLE* style) {
  *style = transparent_ ? TXTBACK_TRANSPARENT : TXTBACK_OPAQUE;
  return S_OK;
}

HRESULT CTxtWinHost::TxGetMaxLength(DWORD* length) {
  *length = max_length_;
  return S_OK;
}

HRESULT CTxtWinHost::TxGetScrollBars(DWORD* scroll_bars) {
  *scroll_bars = edit_style_ &
                 (WS_VSCROLL | WS_HSCROLL | ES_AUTOVSCROLL | ES_AUTOHSCROLL | ES_DISABLENOSCROLL);
  return S_OK;
}

HRESULT CTxtWinHost::TxGetPasswordChar(TCHAR* ch) {
  *ch = password_char_;
  return S_OK;
}

HRESULT CTxtWinHost::TxGetAcceleratorPos(LONG* cp) {
  *cp = accelerator_pos_;
  return S_OK;
}

HRESULT CTxtWinHost::TxGetExtent(LPSIZEL extent) {
  *extent = extent_;
  return S_OK;
}

HRESULT CTxtWinHost::OnTxCharFormatChange(const CHARFORMATW* /*format*/) { return S_OK; }

HRESULT CTxtWinHost::OnTxParaFormatChange(const PARAFORMAT* /*format*/) { return S_OK; }

HRESULT CTxtWinHost::TxGetPropertyBits(DWORD mask, DWORD* bits) {
  DWORD value = 0;
  if (edit_style_ & ES_MULTILINE) value |= TXTBIT_MULTILINE;
  if (rich_) value |= TXTBIT_RICHTEXT;
  if (read_only_) value |= TXTBIT_READONLY;
  if (password_) value |= TXTBIT_USEPASSWORD;
  if (!(edit_style_ & ES_NOHIDESEL)) value |= TXTBIT_HIDESELECTION;
  if (auto_word_select_) value |= TXTBIT_AUTOWORDSEL;
  if (word_wrap_) value |= TXTBIT_WORDWRAP;
  if (allow_beep_) value |= TXTBIT_ALLOWBEEP;
  if (save_selection_) value |= TXTBIT_SAVESELECTION;
  *bits = value & mask;
  return S_OK;
}

HRESULT CTxtWinHost::TxNotify(DWORD notify, void* data) {
  if (control_ != nullptr) control_->OnTxNotify(notify, data);
  return S_OK;
}

HIMC CTxtWinHost::TxImmGetContext() { return ::ImmGetContext(Hwnd()); }

void CTxtWinHost::TxImmReleaseContext(HIMC context) { ::ImmReleaseContext(Hwnd(), context); }

HRESULT CTxtWinHost::TxGetSelectionBarWidth(LONG* width) {
  *width = selection_bar_width_;
  return S_OK;
}

}  // namespace ui
