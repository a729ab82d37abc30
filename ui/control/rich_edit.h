// RichEdit: the framework's text field. A windowless control over the
// system's rich-text engine (the windowless text services, reached through
// CTxtWinHost) that draws into the window's render context and scrolls with
// the framework's own scroll bars. It filters typing for number fields, can
// turn Enter into a "return" event and Tab into a "tab" event, selects all of
// a read-only field on double click, ignores Ctrl+wheel zoom, draws its caret
// and a prompt text while empty.
//
// Starting the text services costs a window's first frame several
// milliseconds, so a field that joins a window before its first frame and
// whose text GDI draws exactly as the engine would (one line, left-aligned,
// plain, no password, a font the engine keeps, a text that fits) draws it so
// itself and starts the services after that frame, or as soon as anything
// needs them.
//
// Ownership: the control owns its host (one COM reference) and the text
// services through it; the services' timers are bound to the control's weak
// flag. A control whose text services could not be loaded is inert: no text,
// every message answers 1. UI thread only.
#pragma once

#include <windows.h>

#include <richedit.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "base/com_ptr.h"
#include "ui/control/scrollable_box.h"

namespace ui {

class CTxtWinHost;
template <typename T>
class AttributeTable;

class RichEdit : public ScrollableBox {
 public:
  static constexpr int kDefaultMaxLength = 32767;

  RichEdit();
  ~RichEdit() override;

  // Creates the host and the text services once; later calls do nothing.
  // Called when the control joins a window, or by callers that need the
  // services earlier.
  void InitTextServices();
  // Whether the field has its text services; services left for after the
  // window's first frame are started by asking.
  bool HasTextServices() const;
  // Whether the field draws its text itself until its window's first frame.
  bool IsWaitingForFirstFrame() const { return services_deferred_; }
  // Whether a call into the text services is running (their callbacks are).
  bool IsInTextServices() const;

  void SetText(const std::wstring& text);
  std::wstring GetText() const;
  void SetUtf8Text(const std::string& text);
  std::string GetUtf8Text() const;
  std::wstring GetSelText() const;
  // A text colour name; the host's character format follows at once.
  void SetTextColor(const std::wstring& color);
  const std::wstring& GetTextColor() const { return text_color_; }
  // Forwards to the text services; 1 without them.
  LRESULT TxSendMessage(UINT message, WPARAM wparam, LPARAM lparam) const;
  // The height the text needs at |width|.
  int NaturalSize(int width);
  void SetNaturalSizeFunction(std::function<int(int)> function) {
    natural_size_ = std::move(function);
  }

  bool IsWantTab() const { return want_tab_; }
  void SetWantTab(bool want) { want_tab_ = want; }
  bool IsWantReturnMsg() const { return want_return_msg_; }
  void SetWantReturnMsg(bool want) { want_return_msg_ = want; }
  bool IsReturnMsgWantCtrl() const { return return_msg_want_ctrl_; }
  void SetReturnMsgWantCtrl(bool want) { return_msg_want_ctrl_ = want; }
  bool IsRich() const { return rich_; }
  void SetRich(bool rich);
  bool IsReadOnly() const { return read_only_; }
  void SetReadOnly(bool read_only);
  bool IsPassword() const { return password_; }
  void SetPassword(bool password);
  bool IsNumberOnly() const { return digits_only_; }
  void SetNumberOnly(bool digits_only);
  DWORD GetEditStyle() const { return edit_style_; }
  int GetVerticalAlign() const { return vertical_align_; }
  const std::wstring& GetFont() const { return font_id_; }
  void SetFont(const std::wstring& font_id);
  HFONT GetFontHandle() const;
  const std::wstring& GetPromptText() const;
  void SetPromptText(const std::wstring& text) { prompt_text_ = text; }
  void SetPromptColor(const std::wstring& color) { prompt_color_ = color; }
  // Whether the prompt would be painted now.
  bool IsPromptShown() const;

  // --- Called by the host ---
  // The text rectangle, adjusted for the vertical alignment.
  RECT GetTextClientRect() const;
  void OnTxNotify(DWORD code, void* data);
  void SetCaret(int x, int y, int width, int height);
  void SetCaretPosition(int x, int y);
  void SetServiceTimer(UINT id, UINT timeout);
  void KillServiceTimer(UINT id);
  void SetServiceCapture(bool capture);
  void TakeFocusFromServices();
  void InvalidateFromServices(const RECT* rect);
  void SetBarFromServices(bool vertical, int range, int page);
  void SetBarPosFromServices(bool vertical, int pos);

  // --- Control ---
  void SetAttribute(const std::wstring& name, const std::wstring& value) override;
  void SetWindow(Window* window, Box* parent, bool init = true) override;
  void SetBounds(const RECT& rect) override;
  void SetEnabled(bool enabled) override;
  void HandleMessage(EventArgs& args) override;
  void PaintSelf(IRenderContext* context, const RECT& dirty) override;
  void PaintStateImages(IRenderContext* context) override;
  void PaintChildren(IRenderContext* context, const RECT& dirty) override;
  SIZE EstimateText(SIZE available) override;
  bool AllowsTabStop() const override { return true; }
  // The text, as for labels; it is also the value.
  std::wstring GetAccessibleName() const override;
  std::wstring GetAccessibleValue() const override { return GetText(); }
  // --- ScrollableBox ---
  // Scrolling the box scrolls the text services' view.
  void SetScrollPos(SIZE position) override;

 private:
  // The attribute names the field handles itself; ScrollableBox gets the rest.
  static const AttributeTable<RichEdit>& Attributes();
  AccessibleRole DefaultAccessibleRole() const override { return AccessibleRole::kEditableText; }
  void ApplyEditStyleFlag(DWORD flag, bool on);
  template <DWORD Flag>
  void ApplyEditStyle(bool on) {
    ApplyEditStyleFlag(Flag, on);
  }
  // A bar's scroll style in the engine and the framework bar, switched
  // together; with neither bar left the engine stops keeping them shown.
  void SetVerticalBarStyle(bool on);
  void SetHorizontalBarStyle(bool on);
  // Space-separated words: left, hcenter, right for the engine's paragraph
  // style; top, vcenter, bottom for the vertical alignment.
  void SetAlignWords(const std::wstring& words);
  // The text colour of the enabled or the disabled field; shown at once when
  // the field is in that state.
  void SetNormalTextColor(const std::wstring& color);
  void SetDisabledTextColor(const std::wstring& color);
  void ApplyTextColor();
  // Measures the text again for the vertical alignment (outside the engine)
  // and tells the engine when its client rectangle moved.
  void RefreshVerticalOffset();
  // Whether the text services are there; never starts them.
  bool ServicesRunning() const;
  // Whether GDI draws this field's settings, font and text as the engine
  // does (what only painting can tell is PaintTextWithoutServices' part).
  bool CanDrawWithoutServices() const;
  // Starts the services left for after the first frame (once).
  void StartDeferredServices();
  // StartDeferredServices for callers that need the engine now.
  void EnsureServices() const;
  // The field's text (or prompt) as the engine will draw it, drawn with GDI;
  // false, having drawn nothing, when the font lacks a glyph of it (the
  // engine would take another font) or the text is wider than the field
  // (the engine may scroll it).
  bool PaintTextWithoutServices(IRenderContext* context, const RECT& dirty);
  // Forwards a mouse event to the text services with the scroll position.
  void ForwardMouse(UINT message, const EventArgs& args);
  void PasteDigitsOnly();
  // The control's unscrolled coordinates of a client point.
  POINT ToTextPoint(POINT client) const;
  // Whether |point| (unscrolled) lies on a link the engine reported.
  bool IsOnLink(POINT point) const;

  cbase::ComPtr<CTxtWinHost> host_;
  bool want_tab_ = true;
  bool want_return_msg_ = false;
  bool return_msg_want_ctrl_ = false;
  bool rich_ = false;
  bool read_only_ = false;
  bool password_ = false;
  bool digits_only_ = false;
  bool initialised_ = false;
  bool services_deferred_ = false;
  bool starting_services_ = false;
  bool prompt_mode_ = false;
  bool composing_ = false;
  // Set when Enter became a "return" event, so its character is dropped too.
  bool swallow_return_char_ = false;
  POINT caret_pos_ = {0, 0};
  int caret_width_ = 0;
  int caret_height_ = 0;
  bool caret_shown_ = false;
  std::wstring font_id_;
  int max_length_ = kDefaultMaxLength;
  DWORD edit_style_ = ES_MULTILINE;
  int vertical_align_ = 0;
  std::wstring text_color_;
  std::wstring normal_text_color_;
  std::wstring disabled_text_color_;
  std::wstring prompt_color_;
  std::wstring caret_color_;
  std::wstring text_;
  std::wstring prompt_text_;
  std::wstring prompt_text_id_;
  std::function<int(int)> natural_size_;
  std::map<UINT, cbase::WeakCallbackFlag> timers_;
  std::vector<CHARRANGE> links_;
  ImageAttribute focused_image_;
  SIZE requested_size_ = {0, 0};
  // The text's height as last measured for the vertical alignment.
  mutable int natural_height_ = 0;
};

}  // namespace ui
