// Window: binds one native top-level window to a control tree.
//
// The window owns the native window and its procedures and turns native
// messages into control events: keyboard with Tab navigation, focus, IME,
// cursor and wheel itself; mouse, touch and pen (press, capture, hover,
// tooltips) through its InputRouter. It keeps the tree laid out lazily (a
// pass runs in WM_PAINT only when some control asked) and paints the tree
// into an offscreen render context, which its FramePresenter puts on the
// screen. It also holds what controls call back into: the name table, the
// window's classes and resource folder, option groups, keyboard focus,
// invalidation and the delayed deletion of controls removed from the tree
// (message kDelayedCleanupMessage). Every control it points at is held as a
// ControlRef, so a deleted control needs to tell it nothing. The skinned
// frame (skin loading, hit testing, system buttons) is WindowImplBase's.
//
// The implementation is spread by concern: window.cpp (class registration,
// procedures, message routing, delayed deletion), window_input.cpp (native
// input decoding and the keyboard), window_focus.cpp (names, groups, lookup,
// focus), window_paint.cpp (invalidation, layout, paint) and
// window_geometry.cpp (size, position, skin-configured geometry) and
// window_accessible.cpp (the accessible tree's entry, accessibility events,
// dialogs that hold the Tab focus, the focus ring).
//
// Ownership: the window owns its root control and the controls waiting for
// delayed deletion. Single-threaded: created, used and destroyed on the UI
// thread, which debug builds assert.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/scoped_gdi_object.h"
#include "base/thread_checker.h"
#include "base/weak_callback.h"
#include "ui/control/event_args.h"
#include "ui/core/control_ref.h"
#include "ui/core/frame_presenter.h"
#include "ui/core/global_manager.h"
#include "ui/core/input_router.h"
#include "ui/core/message_filter.h"
#include "ui/core/window_shadow.h"

namespace ui {

class Box;
class Control;
class IRenderContext;
class TimerManager;

class Window : public virtual cbase::SupportWeakCallback {
 public:
  // Posted to the window to delete the controls in its DelayedCleanup list.
  static constexpr UINT kDelayedCleanupMessage = WM_APP + 1;
  // Posted after a dialog was shown or hidden: the focus follows it.
  static constexpr UINT kDialogFocusMessage = WM_APP + 2;
  // Posted by an accessibility client's default action; lParam is the
  // control's accessible id.
  static constexpr UINT kAccessibleActionMessage = WM_APP + 3;
  // Posted once the first frame is seen: the work left for it runs.
  static constexpr UINT kAfterFirstFrameMessage = WM_APP + 4;
  // Posted by the paint that presented the first frame the user sees: the
  // fade's next step, then OnFirstFrameShown.
  static constexpr UINT kFirstFrameShownMessage = WM_APP + 5;

  Window();
  // Deletes the delayed controls and the root, and destroys a native window
  // that still exists.
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
  // Called once after the first layout pass: the whole window fades in.
  virtual void OnFirstLayout();
  // Called once, when the first frame the user can see is on the screen (for
  // a window fading in, its first frame above alpha 0), from a message posted
  // by that frame's paint and after the fade's next step. Start-up work the
  // first frame does not need belongs here. Does nothing by default.
  virtual void OnFirstFrameShown();
  // What makes controls for skin element names the toolkit does not know
  // (child boxes building their layouts ask for it); none by default.
  virtual CreateControlCallback GetCreateControlCallback();

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

  // Centres the window on its owner (when it has one that is not minimised)
  // or on the work area of the nearest monitor, kept inside that work area.
  void CenterWindow();
  // Shows the window with its owner disabled until Close.
  void ShowModal();
  void SetTitleFromId(const std::wstring& id);

  // --- Skin-configured geometry (the Window element's attributes) ------------------
  // Stores the initial size (display-scaled with |dpi_scale|, grown by the
  // shadow unless |contains_shadow|); a window without a root yet is resized
  // to it at once.
  void SetInitialSize(int cx, int cy, bool contains_shadow = false, bool dpi_scale = false);
  SIZE GetInitialSize() const { return initial_size_; }
  // Height = |percent| of the monitor's work area, kept within the track
  // sizes, width = the initial width, both grown by the shadow; applied at
  // once unless the window is minimised or maximised.
  void SetHeightPercent(double percent);
  double GetHeightPercent() const { return height_percent_; }
  // The size box, caption and round corners scaled again from what the skin
  // wrote, after a change of display scale.
  void RescaleGeometry();
  const RECT& GetSizeBox() const { return size_box_; }
  void SetSizeBox(const RECT& size_box);
  // Left and right are insets from the sides, top from the top, bottom the
  // caption's bottom measured from the top.
  const RECT& GetCaptionRect() const { return caption_; }
  void SetCaptionRect(const RECT& caption);
  SIZE GetRoundCorner() const { return round_corner_; }
  void SetRoundCorner(SIZE round);
  // Smallest and largest tracking sizes (0: not set). A height grows by the
  // shadow's top and bottom unless |contains_shadow|.
  SIZE GetMinInfo() const { return min_info_; }
  void SetMinInfo(int cx, int cy, bool contains_shadow = false);
  SIZE GetMaxInfo() const { return max_info_; }
  void SetMaxInfo(int cx, int cy, bool contains_shadow = false);
  // The maximised rectangle relative to the work area (empty: the work area).
  void SetMaximizeRect(const RECT& rect) { maximize_rect_ = rect; }
  const RECT& GetMaximizeRect() const { return maximize_rect_; }
  const RECT& GetAlphaFixCorner() const { return alpha_fix_corner_; }
  void SetAlphaFixCorner(const RECT& corner) { alpha_fix_corner_ = corner; }
  POINT GetRenderOffset() const { return render_offset_; }
  void SetRenderOffset(POINT offset);

  // --- Shadow ---
  bool IsShadowAttached() const { return shadow_.IsAttached(); }
  void SetShadowAttached(bool attached) { shadow_.SetAttached(attached); }
  void SetShadowImage(const std::wstring& image) { shadow_.SetImage(image); }
  void SetShadowCorner(const RECT& corner) { shadow_.SetThickness(corner); }
  // The shadow's thickness, zero on every side when it is not attached.
  RECT GetShadowThickness() const { return shadow_.GetThickness(); }
  // What the shadow takes from the client area now: its thickness, or zero
  // while maximised or not attached.
  RECT GetShadowPadding() const { return shadow_.GetPadding(); }
  WindowShadow& shadow() { return shadow_; }

  // --- Hooks ---
  void AddMessageFilter(IUIMessageFilter* filter);
  void RemoveMessageFilter(IUIMessageFilter* filter);
  void AddPointHook(IUIPointHook* hook);
  void RemovePointHook(IUIPointHook* hook);
  // The tooltip window, once a hover has made it.
  HWND GetTooltipWindow() const { return router_.GetTooltipWindow(); }

  // Handlers of window events ("windowclose", or "all").
  void AttachWindowEvent(EventType type, EventCallback callback);

  // --- Tree ---
  // Installs |root| (owned from now on). An earlier root goes to the delayed
  // cleanup. The root lays itself out at the next pass.
  bool AttachRoot(Control* root);
  Control* GetRoot() const { return root_.Get(); }
  // Has the pictures the tree shows now (those of visible controls, in their
  // normal state) decoded on the thread pool while the window is made; its
  // first paint takes them (GlobalManager::PrefetchImage).
  void PrefetchShownImages();
  // Registers the names of |control| and its subtree (the first control of a
  // name wins) once it has joined the tree under |parent|.
  void InitSubtree(Control* control, Box* parent);

  // --- Resources ---
  // The skin folder of this window, relative to the global resource path;
  // stored with a trailing separator.
  void SetResourcePath(const std::wstring& path);
  const std::wstring& GetResourcePath() const { return resource_path_; }
  // Classes declared in the window's own skin (the global ones come first).
  void AddClass(const std::wstring& name, const std::wstring& attributes);
  // "" for an unknown class.
  std::wstring GetClassAttributes(const std::wstring& name) const;

  // --- Lookup ---
  Control* FindControlByName(const std::wstring& name) const;
  // Depth first below |parent| (the root when nullptr), names compared
  // without regard to case.
  Control* FindSubControlByName(Control* parent, const std::wstring& name) const;
  // The topmost visible control whose rectangle holds |point|.
  Control* FindControlAt(POINT point) const;

  // --- Option groups ---
  bool AddToGroup(const std::wstring& group, Control* control);
  bool RemoveFromGroup(const std::wstring& group, Control* control);
  // The members of |group| (a copy, so callers may change the group while
  // walking it); empty for an unknown group.
  std::vector<Control*> GetGroup(const std::wstring& group) const;

  // --- Focus and mouse targets ---
  Control* GetFocusControl() const { return focus_.Get(); }
  // Moves the keyboard focus: the old control gets the internal kill-focus
  // event and "killfocus"; the new one, if it belongs to this window and is
  // visible and enabled, the internal set-focus event and "setfocus".
  void SetFocusControl(Control* control);
  // Focus to the next (or previous) control that takes Tab focus, wrapping
  // around. While a layout pass is pending a forward move waits for it.
  bool FocusNextTabStop(bool forward = true);
  Control* GetHoverControl() const { return router_.GetHover(); }
  Control* GetEnteredControl() const { return router_.GetEntered(); }
  // The control a mouse button went down on (touch and pen presses do not
  // count).
  Control* GetPressedControl() const { return router_.GetMousePress(); }
  Control* GetKeyControl() const { return key_.Get(); }
  POINT GetLastMousePos() const { return router_.GetLastPoint(); }
  // Turns primary pen and touch pointer messages into pointer events (on by
  // default).
  void SetPointerInputEnabled(bool enabled) { pointer_input_ = enabled; }

  // --- Events ---
  // Builds an event record (sender |control|, current tick, last mouse
  // position) and hands it to the control's event entry.
  bool SendEvent(Control* control, EventType type, WPARAM wparam = 0, LPARAM lparam = 0);

  // --- Invalidation and layout ---
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
  // Stores the alpha the window is presented with and repaints. A layered
  // window that has presented a frame hands the same frame to the system
  // again with the new alpha instead of painting it anew.
  void SetWindowAlpha(int alpha);
  // Frames presented so far (UpdateLayeredWindow or a copy to the screen).
  unsigned GetPresentCount() const { return presenter_.GetPresentCount(); }
  // The window alpha the last frame was presented with (a layered window's
  // fade presents its first frame faint).
  BYTE GetPresentedAlpha() const { return presenter_.GetPresentedAlpha(); }
  // Whether the user has seen a frame of this window (see OnFirstFrameShown).
  bool HasShownFirstFrame() const { return presenter_.HasShownFrame(); }
  // Work a control can leave until the user sees the window: |task| runs
  // once the first frame is on the screen, from a message posted after
  // OnFirstFrameShown (the frame's own message is over by then), or at once
  // when that has run.
  // Nothing runs for a window that is gone or never shows a frame, so a
  // control that needs its work earlier does it itself.
  void AfterFirstFrame(std::function<void()> task);

  // --- Accessibility (window_accessible.cpp) ---
  // Tells accessibility clients about WinEvent |event| on |control| or, when
  // it is out of the accessible tree, on its nearest ancestor in it.
  void NotifyAccessibleEvent(DWORD event, Control* control);
  // The control of this window with accessible id |id|, or nullptr.
  Control* FindControlByAccessibleId(long id) const;
  // Invokes |control| from the message loop, so the client's call returns
  // before anything the click starts (a message box) runs.
  void PostAccessibleAction(Control* control);
  // The topmost visible control in the role of a dialog, or nullptr. While
  // there is one, Tab moves only among its controls and Escape hides it.
  Control* GetOpenDialog() const;
  // A dialog's visibility changed; the focus moves into it (or back) once
  // the change is complete.
  void OnDialogVisibilityChanged(Control* dialog);
  // Whether the focus ring shows: after keyboard use, until the next press
  // of a mouse button.
  bool IsFocusRingShown() const { return focus_ring_shown_; }
  void SetFocusRingShown(bool shown);
  // The ring's rectangle around |control|, in client coordinates.
  static RECT FocusRingRect(const Control* control);

  // --- Delayed deletion ---
  // Detaches |control| from its parent (the window is kept) and deletes it
  // from the message loop, so a control may be removed from inside its own
  // handlers.
  void AddDelayedCleanup(Control* control);
  size_t DelayedCleanupCount() const;
  // Deletes every control waiting in the list.
  void RunDelayedCleanup();

 protected:
  // Mouse targets, maintained by the input routing.
  void SetHoverControl(Control* control) { router_.SetHover(control); }
  void SetPressedControl(Control* control) { router_.SetMousePress(control); }
  void SetLastMousePos(POINT point) { router_.SetLastPoint(point); }
  // The tree is going away with the window: targets, names and groups are
  // dropped at once rather than one control at a time.
  void ForgetTree();
  // The root's size for its content (99999 x 99999 available), kept within
  // its minimum and maximum sizes.
  SIZE EstimateRootSize();
  // Asks for WM_TOUCH when the system offers touch input.
  void RegisterTouchInput();

 private:
  static LRESULT CALLBACK UserDataWindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  static LRESULT CALLBACK PropertyWindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  bool RegisterWindowClass();
  bool RegisterSuperClass();
  // The end of a native window's life, shared by both procedures.
  void OnNcDestroy(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);

  // An event record from |control| with the current tick and the last mouse
  // position.
  EventArgs MakeEvent(Control* control, EventType type, WPARAM wparam = 0, LPARAM lparam = 0) const;
  // WM_PAINT: layout when asked, the tree painted into the render context,
  // the frame handed to the presenter.
  void OnPaint();
  void PaintAndPresent();
  // The user has seen the window's first frame: OnFirstFrameShown, once.
  void FirstFrameShown();
  // kFirstFrameShownMessage: presents the step the fade has reached since
  // the first frame went out, then FirstFrameShown.
  void StepFadeThenFirstFrameShown();
  // Gives back the pulse hold OnPaint took before the first frame, if any.
  void ReleasePulseHold();
  // Runs what AfterFirstFrame was given (kAfterFirstFrameMessage).
  void RunAfterFirstFrame();
  // A root that sizes to its content sets the window's size before a pass.
  void FitWindowToRoot();
  // Paints the tree into the render context within |update| and answers
  // which part of the frame must be made opaque again.
  FramePresenter::OpaqueArea PaintTree(RECT& update, const RECT& client);
  // Where the tree certainly paints opaque pixels over whatever lies under
  // them (the content's opaque background); empty when nowhere.
  RECT OpaqueCover() const;
  // Native messages decoded into the input router's and the keyboard's
  // terms.
  void OnMouseMove(LPARAM lparam);
  void OnButtonDown(UINT message, LPARAM lparam);
  void OnButtonUp(UINT message, LPARAM lparam);
  void OnContextMenu(LPARAM lparam);
  void OnMouseWheel(WPARAM wparam, LPARAM lparam);
  void OnKeyDown(WPARAM wparam, LPARAM lparam);
  void OnKeyUp(WPARAM wparam, LPARAM lparam);
  // WM_CHAR and the IME composition messages go to the focus.
  void SendToFocus(EventType type, WPARAM wparam, LPARAM lparam);
  bool OnSetCursor(LPARAM lparam);
  void OnKillFocus();
  void OnCloseRequest();
  void OnSize(WPARAM wparam);
  void OnTouch(WPARAM wparam, LPARAM lparam);
  bool OnPointer(UINT message, WPARAM wparam);
  // The control under |point| when it belongs to this window.
  Control* OwnControlAt(POINT point) const;
  // WM_GETOBJECT: the client area's accessible object.
  LRESULT OnGetObject(WPARAM wparam, LPARAM lparam, bool& handled);
  // Moves the focus into the open dialog, or back to where it was before the
  // dialog when none is open any more.
  void SyncFocusWithDialog();
  void OnAccessibleAction(long id);
  void PaintFocusRing(IRenderContext* context, const RECT& update);
  void InvalidateFocusRing();

  HWND hwnd_ = nullptr;
  WNDPROC previous_proc_ = ::DefWindowProcW;
  bool layered_ = true;
  // The window's DC, held from Attach until the native window goes.
  std::optional<cbase::ScopedGetDC> paint_dc_;
  std::unique_ptr<IRenderContext> render_context_;
  // Selected into the render context: freed after it.
  cbase::ScopedFont default_font_;
  bool modal_ = false;

  SIZE initial_size_ = {0, 0};
  SIZE min_info_ = {0, 0};
  SIZE max_info_ = {0, 0};
  RECT maximize_rect_ = {0, 0, 0, 0};
  RECT size_box_ = {0, 0, 0, 0};
  RECT caption_ = {0, 0, 0, 0};
  RECT alpha_fix_corner_ = {0, 0, 0, 0};
  SIZE round_corner_ = {0, 0};
  // The three above and the initial size as the skin wrote them, before
  // display scaling (the size without the shadow).
  SIZE written_size_ = {0, 0};
  RECT written_size_box_ = {0, 0, 0, 0};
  RECT written_caption_ = {0, 0, 0, 0};
  SIZE written_round_corner_ = {0, 0};
  double height_percent_ = 0;
  // A height share set while minimised or maximised, applied on restore.
  bool resize_on_restore_ = false;
  POINT render_offset_ = {0, 0};
  WindowShadow shadow_;

  std::vector<IUIMessageFilter*> message_filters_;
  std::vector<IUIPointHook*> point_hooks_;
  bool pointer_input_ = true;

  // Owned; a reference all the same, as any code may delete the root.
  ControlRef root_;
  EventHandlerTable window_events_;
  std::wstring resource_path_;
  std::map<std::wstring, std::wstring> classes_;
  // Deleted controls read as nullptr in all of these (see ControlRef).
  std::map<std::wstring, ControlRef> names_;
  std::map<std::wstring, std::vector<ControlRef>> groups_;
  std::vector<ControlRef> delayed_cleanup_;
  ControlRef focus_;
  // The control that got the last key down, for its key up.
  ControlRef key_;
  // Where the focus was when a dialog opened, and that dialog.
  ControlRef focus_before_dialog_;
  ControlRef focused_dialog_;
  bool dialog_sync_posted_ = false;
  bool focus_ring_shown_ = false;

  bool first_layout_ = true;
  // The animation pulse this window holds while its first frame is made and
  // waits to be presented (see OnPaint); null when it holds none.
  TimerManager* pulse_hold_ = nullptr;
  std::vector<std::function<void()>> after_first_frame_;
  // FirstFrameShown has begun: work handed over from now on runs at once.
  bool first_frame_work_started_ = false;
  // A Tab pressed while a layout pass was pending moves the focus after it.
  bool tab_after_layout_ = false;
  bool layout_pending_ = false;
  BYTE window_alpha_ = 255;

  InputRouter router_{*this};
  FramePresenter presenter_{*this};

  cbase::ThreadChecker thread_checker_;
};

}  // namespace ui
