// WindowImplBase: the skinned top-level window every application window
// derives from. On WM_CREATE it builds its control tree from its skin file
// (SkinFolder/SkinFile under the resource path), wraps it in the drop shadow
// and wires the system buttons "closebtn", "minbtn", "maxbtn" and
// "restorebtn". It draws its own frame: the whole window is client area, the
// skin's caption rectangle drags it and its size box resizes it.
//
// Ownership: created with new and never deleted by its creator: the object
// deletes itself once its native window is destroyed (after "windowclose" has
// been sent). UI thread only.
#pragma once

#include <string>

#include "ui/core/message_filter.h"
#include "ui/core/window.h"

namespace ui {

class WindowImplBase : public Window, public IUIMessageFilter {
 public:
  // Message box text when the skin does not load (followed by the skin path)
  // and its caption.
  static constexpr wchar_t kSkinErrorPrefix[] = L"Failed to load xml file ";
  static constexpr wchar_t kSkinErrorCaption[] = L"Tessaly";

  WindowImplBase();

  std::wstring ClassName() const override = 0;
  std::wstring SuperClassName() const override;
  // CS_DBLCLKS.
  UINT ClassStyle() const override;
  // Answers nullptr when the window could not be made; the object is then
  // gone too (a window whose skin did not load was destroyed at once).
  HWND Create(HWND parent, const std::wstring& title, DWORD style, DWORD ex_style,
              bool layered = true, const RECT& rect = RECT{0, 0, 0, 0}) override;
  void Close(UINT code = IDOK) override;
  void Show(bool show = true, bool take_focus = true) override;
  // Sends "windowclose", lets go of the tree's targets and deletes this.
  void OnDestroyed(HWND hwnd) override;
  LRESULT ProcessMessage(UINT message, WPARAM wparam, LPARAM lparam) override;
  void OnFirstLayout() override;
  // The skin's tree is attached and the system buttons are not wired yet:
  // find controls by name and attach handlers here.
  virtual void OnSkinLoaded();
  // The current style without WS_CAPTION.
  virtual LONG FrameStyle() const;
  // A resource name for skins kept elsewhere; empty (unused).
  virtual std::wstring GetResourceId() const;
  // Controls for the skin's element names the toolkit does not know.
  virtual Control* CreateCustomControl(const std::wstring& class_name);

  // One handler per message: |handled| starts true; a handler that clears it
  // lets the message go on to the window's routing.
  virtual LRESULT OnClose(UINT message, WPARAM wparam, LPARAM lparam, bool& handled);
  virtual LRESULT OnDestroy(UINT message, WPARAM wparam, LPARAM lparam, bool& handled);
  virtual LRESULT OnNcActivate(UINT message, WPARAM wparam, LPARAM lparam, bool& handled);
  virtual LRESULT OnNcCalcSize(UINT message, WPARAM wparam, LPARAM lparam, bool& handled);
  virtual LRESULT OnWindowPosChanging(UINT message, WPARAM wparam, LPARAM lparam, bool& handled);
  virtual LRESULT OnNcPaint(UINT message, WPARAM wparam, LPARAM lparam, bool& handled);
  virtual LRESULT OnNcLButtonDblClk(UINT message, WPARAM wparam, LPARAM lparam, bool& handled);
  virtual LRESULT OnNcHitTest(UINT message, WPARAM wparam, LPARAM lparam, bool& handled);
  virtual LRESULT OnGetMinMaxInfo(UINT message, WPARAM wparam, LPARAM lparam, bool& handled);
  virtual LRESULT OnMouseWheel(UINT message, WPARAM wparam, LPARAM lparam, bool& handled);
  virtual LRESULT OnMouseHover(UINT message, WPARAM wparam, LPARAM lparam, bool& handled);
  virtual LRESULT OnDpiChanged(UINT message, WPARAM wparam, LPARAM lparam, bool& handled);
  virtual LRESULT OnSize(UINT message, WPARAM wparam, LPARAM lparam, bool& handled);
  virtual LRESULT OnChar(UINT message, WPARAM wparam, LPARAM lparam, bool& handled);
  virtual LRESULT OnSysCommand(UINT message, WPARAM wparam, LPARAM lparam, bool& handled);
  virtual LRESULT OnKeyDown(UINT message, WPARAM wparam, LPARAM lparam, bool& handled);
  virtual LRESULT OnKillFocus(UINT message, WPARAM wparam, LPARAM lparam, bool& handled);
  virtual LRESULT OnSetFocus(UINT message, WPARAM wparam, LPARAM lparam, bool& handled);
  virtual LRESULT OnLButtonDown(UINT message, WPARAM wparam, LPARAM lparam, bool& handled);
  virtual LRESULT OnLButtonUp(UINT message, WPARAM wparam, LPARAM lparam, bool& handled);
  virtual LRESULT OnMouseMove(UINT message, WPARAM wparam, LPARAM lparam, bool& handled);

  // Restores a minimised window, shows a hidden one, and brings it forward.
  virtual void BringToFront();
  virtual void SetTitle(const std::wstring& text);
  // The skin's folder under the resource path, and its file in that folder.
  virtual std::wstring SkinFolder() const = 0;
  virtual std::wstring SkinFile() const = 0;

  // IUIMessageFilter: handles nothing.
  LRESULT MessageHandler(UINT message, WPARAM wparam, LPARAM lparam, bool& handled) override;
  CreateControlCallback GetCreateControlCallback() override;

  // The non-client hit test for a point in client coordinates.
  LRESULT HitTest(POINT point);

 protected:
  // Destroyed only through OnDestroyed (or by a creator whose Create failed
  // before the native window existed).
  ~WindowImplBase() override;

 private:
  // WM_CREATE: builds and attaches the skin; -1 when it does not load.
  LRESULT OnCreate();
  void WireSystemButtons();
};

}  // namespace ui
