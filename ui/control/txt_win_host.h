// CTxtWinHost: the ITextHost a RichEdit gives the system's windowless text
// services (CreateTextServices of msftedit.dll). It answers their questions
// (device context, client rectangle, formats, property bits, scroll bars,
// caret, timers, capture, focus, cursor) on behalf of the control and keeps
// the character and paragraph formats built from the control's font, colour
// and alignment.
//
// Ownership: reference counted (COM); the RichEdit holds one reference and
// releases it in its destructor after dropping the text services, so the
// host never outlives its control's use of it. UI thread only.
#pragma once

#include <windows.h>

#include <richedit.h>
#include <textserv.h>

#include <string>

#include "base/com_ptr.h"

namespace ui {

class RichEdit;

// Creates the text services over a host; answers nullptr when the library or
// its entry point is missing.
cbase::ComPtr<ITextServices> CreateWindowlessTextServices(ITextHost* host);

class CTxtWinHost : public ITextHost {
 public:
  explicit CTxtWinHost(RichEdit* control);
  CTxtWinHost(const CTxtWinHost&) = delete;
  CTxtWinHost& operator=(const CTxtWinHost&) = delete;

  // Loads the text services over this host; false leaves the host without.
  bool Init(HFONT font, COLORREF text_color, DWORD edit_style);
  // Whether the font the engine makes from |font|'s character format draws
  // as |font| itself does: its weights are normal and bold only, it draws
  // underlines and strike-outs itself, and the size goes through twips.
  static bool EngineKeepsFont(HFONT font);
  ITextServices* GetTextServices() const { return services_.get(); }

  // Marks a call into the text services for as long as it lives: while one
  // is running, the services may call the host back, and the host must not
  // call into them for work of its own (their state is half updated then).
  class EngineCall {
   public:
    explicit EngineCall(const CTxtWinHost* host) : host_(host) { ++host_->engine_calls_; }
    ~EngineCall() { --host_->engine_calls_; }
    EngineCall(const EngineCall&) = delete;
    EngineCall& operator=(const EngineCall&) = delete;

   private:
    const CTxtWinHost* host_;
  };
  // Whether a call into the text services is on the stack.
  bool IsInEngine() const { return engine_calls_ > 0; }
  // Drops the text services (the control is going away).
  void Shutdown();

  void SetFont(HFONT font);
  void SetColor(COLORREF color);
  void SetEditStyle(DWORD style);
  void SetRichText(bool rich);
  void SetReadOnly(bool read_only);
  void SetPassword(bool password);
  void SetClientRect(const RECT& rect) { client_rect_ = rect; }
  // Tells the text services that host properties changed.
  void NotifyPropertyBits(DWORD mask, DWORD bits);

  // --- IUnknown ---
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // --- ITextHost ---
  HDC TxGetDC() override;
  INT TxReleaseDC(HDC hdc) override;
  WINBOOL TxShowScrollBar(INT bar, WINBOOL show) override;
  WINBOOL TxEnableScrollBar(INT flags, INT arrows) override;
  WINBOOL TxSetScrollRange(INT bar, LONG min_pos, INT max_pos, WINBOOL redraw) override;
  WINBOOL TxSetScrollPos(INT bar, INT pos, WINBOOL redraw) override;
  void TxInvalidateRect(LPCRECT rect, WINBOOL mode) override;
  void TxViewChange(WINBOOL update) override;
  WINBOOL TxCreateCaret(HBITMAP bitmap, INT width, INT height) override;
  WINBOOL TxShowCaret(WINBOOL show) override;
  WINBOOL TxSetCaretPos(INT x, INT y) override;
  WINBOOL TxSetTimer(UINT id, UINT timeout) override;
  void TxKillTimer(UINT id) override;
  void TxScrollWindowEx(INT dx, INT dy, LPCRECT scroll, LPCRECT clip, HRGN update_region,
                        LPRECT update, UINT flags) override;
  void TxSetCapture(WINBOOL capture) override;
  void TxSetFocus() override;
  void TxSetCursor(HCURSOR cursor, WINBOOL text) override;
  WINBOOL TxScreenToClient(LPPOINT point) override;
  WINBOOL TxClientToScreen(LPPOINT point) override;
  HRESULT TxActivate(LONG* old_state) override;
  HRESULT TxDeactivate(LONG new_state) override;
  HRESULT TxGetClientRect(LPRECT rect) override;
  HRESULT TxGetViewInset(LPRECT rect) override;
  HRESULT TxGetCharFormat(const CHARFORMATW** format) override;
  HRESULT TxGetParaFormat(const PARAFORMAT** format) override;
  COLORREF TxGetSysColor(int index) override;
  HRESULT TxGetBackStyle(TXTBACKSTYLE* style) override;
  HRESULT TxGetMaxLength(DWORD* length) override;
  HRESULT TxGetScrollBars(DWORD* scroll_bars) override;
  HRESULT TxGetPasswordChar(TCHAR* ch) override;
  HRESULT TxGetAcceleratorPos(LONG* cp) override;
  HRESULT TxGetExtent(LPSIZEL extent) override;
  HRESULT OnTxCharFormatChange(const CHARFORMATW* format) override;
  HRESULT OnTxParaFormatChange(const PARAFORMAT* format) override;
  HRESULT TxGetPropertyBits(DWORD mask, DWORD* bits) override;
  HRESULT TxNotify(DWORD notify, void* data) override;
  HIMC TxImmGetContext() override;
  void TxImmReleaseContext(HIMC context) override;
  HRESULT TxGetSelectionBarWidth(LONG* width) override;

 private:
  virtual ~CTxtWinHost();
  HWND Hwnd() const;
  void BuildCharFormat(HFONT font, COLORREF color);
  // Hands a changed format to the engine.
  void ApplyCharFormat();
  void ApplyParaFormat();

  ULONG refs_ = 1;
  mutable int engine_calls_ = 0;
  RichEdit* control_;
  cbase::ComPtr<ITextServices> services_;
  CHARFORMAT2W char_format_ = {};
  PARAFORMAT2 para_format_ = {};
  RECT client_rect_ = {0, 0, 0, 0};
  DWORD edit_style_ = ES_MULTILINE;
  DWORD max_length_ = 32767;
  wchar_t password_char_ = L'*';
  LONG accelerator_pos_ = -1;
  SIZEL extent_ = {0, 0};
  LONG selection_bar_width_ = 0;
  bool rich_ = false;
  bool word_wrap_ = true;
  bool read_only_ = false;
  bool password_ = false;
  bool auto_word_select_ = false;
  bool allow_beep_ = false;
  bool save_selection_ = true;
  bool transparent_ = true;
  bool capture_ = false;
};

}  // namespace ui
