// Window: binds one native top-level window to a control tree.
//
// This is the part of the window that the controls call back into: the
// native window and its procedures, the root of the tree, the name table, the
// window's attribute classes and resource folder, option groups, keyboard
// focus, the event targets of the mouse, invalidation and layout requests, the
// layout pass itself, and the delayed deletion of controls removed from the
// tree (message kDelayedCleanupMessage). Input routing, painting, tooltips
// and the skinned frame are added by the window host (WindowImplBase and
// RouteMessage's input branches).
//
// Ownership: the window owns its root control and the controls waiting for
// delayed deletion. Single-threaded: created, used and destroyed on the UI
// thread, which debug builds assert.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/thread_checker.h"
#include "base/weak_callback.h"
#include "ui/control/event_args.h"

namespace ui {

class Box;
class Control;
class IRenderContext;

class Window : public virtual cbase::SupportWeakCallback {
 public:
  // Posted to the window to delete the controls in its DelayedCleanup list.
  static constexpr UINT kDelayedCleanupMessage = WM_APP + 1;

  Window();
  // Deletes the delayed controls and the root (each control forgets itself
  // here on the way), and destroys a native window that still exists.
  ~Window() override;
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  // --- Native window (virtual, in this order) ----------------------------------------
  // Window class name, registered on the first Create; empty by default.
  virtual std::wstring ClassName() const;
  // A system class to superclass, or empty.
  virtual std::wstring SuperClassName() const;
  virtual UINT ClassStyle() const;
  // Registers the class and creates the native window with this object as its
  // creation parameter. Caption bits are removed from the style. Returns the
  // handle, or nullptr when the class could not be registered or found.
  virtual HWND Create(HWND parent, const std::wstring& title, DWORD style, DWORD ex_style,
                      bool layered = true, const RECT& rect = RECT{0, 0, 0, 0});
  // Hides the root through its fade and posts WM_CLOSE (wParam = |code|)
  // 300 ms later; without a root, at once.
  virtual void Close(UINT code = IDOK);
  virtual void Show(bool show = true, bool take_focus = true);
  // After the native window is gone (WM_NCDESTROY). Sends "windowclose" to
  // the window's own handlers.
  virtual void OnDestroyed(HWND hwnd);
  // RouteMessage, then the previous window procedure when unhandled.
  virtual LRESULT ProcessMessage(UINT message, WPARAM wparam, LPARAM lparam);
  // Called once after the first layout pass.
  virtual void OnFirstLayout();

  HWND GetHWND() const { return hwnd_; }
  bool IsLayered() const { return layered_; }
  // Binds an existing native window: its device context and a render context
  // from the process-wide render factory (when one is installed).
  void Attach(HWND hwnd);
  // The window's render context, or nullptr before Attach.
  IRenderContext* GetRenderContext() const { return render_context_.get(); }

  // Routes a message to the window's services; |handled| reports whether it
  // was consumed.
  LRESULT RouteMessage(UINT message, WPARAM wparam, LPARAM lparam, bool& handled);

  // Handlers of window events ("windowclose", or "all").
  void AttachWindowEvent(EventType type, EventCallback callback);

  // --- Tree ---------------------------------------------------------------------
  // Installs |root| (owned from now on). An earlier root goes to the delayed
  // cleanup. The root lays itself out at the next pass.
  bool AttachRoot(Control* root);
  Control* GetRoot() const { return root_; }
  // Registers the names of |control| and its subtree (the first control of a
  // name wins) once it has joined the tree under |parent|.
  void InitSubtree(Control* control, Box* parent);
  // Called by a control's destructor: clears every event target that points
  // at it and drops its name.
  void ForgetControl(Control* control);

  // --- Resources ------------------------------------------------------------------
  // The skin folder of this window, relative to the global resource path;
  // stored with a trailing separator.
  void SetResourcePath(const std::wstring& path);
  const std::wstring& GetResourcePath() const { return resource_path_; }
  // Classes declared in the window's own skin (the global ones come first).
  void AddClass(const std::wstring& name, const std::wstring& attributes);
  // "" for an unknown class.
  std::wstring GetClassAttributes(const std::wstring& name) const;

  // --- Lookup ---------------------------------------------------------------------------
  Control* FindControlByName(const std::wstring& name) const;
  // Depth first below |parent| (the root when nullptr), names compared
  // without regard to case.
  Control* FindSubControlByName(Control* parent, const std::wstring& name) const;
  // The topmost visible control whose rectangle holds |point|.
  Control* FindControlAt(POINT point) const;

  // --- Option groups --------------------------------------------------------------------
  bool AddToGroup(const std::wstring& group, Control* control);
  bool RemoveFromGroup(const std::wstring& group, Control* control);
  // The members of |group| (a copy, so callers may change the group while
  // walking it); empty for an unknown group.
  std::vector<Control*> GetGroup(const std::wstring& group) const;

  // --- Focus and mouse targets -------------------------------------------------------------
  Control* GetFocusControl() const { return focus_; }
  // Moves the keyboard focus: the old control gets the internal kill-focus
  // event and "killfocus"; the new one, if it belongs to this window and is
  // visible and enabled, the internal set-focus event and "setfocus".
  void SetFocusControl(Control* control);
  // Focus to the next (or previous) control that takes Tab focus, wrapping
  // around. While a layout pass is pending a forward move only repaints.
  bool FocusNextTabStop(bool forward = true);
  Control* GetHoverControl() const { return hover_; }
  Control* GetPressedControl() const { return pressed_; }
  POINT GetLastMousePos() const { return last_mouse_; }

  // --- Events -----------------------------------------------------------------------------
  // Builds an event record (sender |control|, current tick, last mouse
  // position) and hands it to the control's event entry.
  bool SendEvent(Control* control, EventType type, WPARAM wparam = 0, LPARAM lparam = 0);

  // --- Invalidation and layout ----------------------------------------------------------------
  void Invalidate(const RECT& rect);
  // A control asked for a layout pass.
  void RequestLayout() { layout_pending_ = true; }
  bool IsLayoutPending() const { return layout_pending_; }
  // The layout pass: when one is pending and |client| is not empty, either the
  // root (when it asked) gets |client|, or every visible control that asked
  // is placed again at its current rectangle, which lays out its children.
  // The first pass calls OnFirstLayout.
  void LayoutPass(const RECT& client);
  int GetWindowAlpha() const { return window_alpha_; }
  void SetWindowAlpha(int alpha);

  // --- Delayed deletion -------------------------------------------------------------------------
  // Detaches |control| from its parent (the window is kept) and deletes it
  // from the message loop, so a control may be removed from inside its own
  // handlers.
  void AddDelayedCleanup(Control* control);
  size_t DelayedCleanupCount() const { return delayed_cleanup_.size(); }
  // Deletes every control waiting in the list.
  void RunDelayedCleanup();

 protected:
  // Mouse targets, maintained by the input routing.
  void SetHoverControl(Control* control) { hover_ = control; }
  void SetPressedControl(Control* control) { pressed_ = control; }
  void SetLastMousePos(POINT point) { last_mouse_ = point; }

 private:
  static LRESULT CALLBACK UserDataWindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  static LRESULT CALLBACK PropertyWindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  bool RegisterWindowClass();
  bool RegisterSuperClass();
  // The end of a native window's life, shared by both procedures.
  void OnNcDestroy(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);

  HWND hwnd_ = nullptr;
  WNDPROC previous_proc_ = ::DefWindowProcW;
  bool layered_ = true;
  HDC paint_dc_ = nullptr;
  std::unique_ptr<IRenderContext> render_context_;

  Control* root_ = nullptr;
  EventHandlerTable window_events_;
  std::wstring resource_path_;
  std::map<std::wstring, std::wstring> classes_;
  std::map<std::wstring, Control*> names_;
  std::map<std::wstring, std::vector<Control*>> groups_;
  std::vector<Control*> delayed_cleanup_;

  Control* focus_ = nullptr;
  Control* hover_ = nullptr;
  Control* entered_ = nullptr;
  Control* pressed_ = nullptr;
  Control* key_ = nullptr;
  Control* touch_ = nullptr;
  Control* pointer_ = nullptr;
  POINT last_mouse_ = {-1, -1};

  bool first_layout_ = true;
  bool layout_pending_ = false;
  BYTE window_alpha_ = 255;

  cbase::ThreadChecker thread_checker_;
};

}  // namespace ui
