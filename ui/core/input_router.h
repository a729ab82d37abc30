// InputRouter: turns decoded mouse, touch and pen input into control events
// for one window.
//
// It owns the window's single press: the control a button, finger or pen
// went down on, which input source holds it, and the native capture taken
// for it. Whichever source holds the press keeps it until its own release;
// the other sources are ignored meanwhile (a finger on the screen also
// produces mouse messages). It also owns the hover state (the control under
// the pointer and the one that got "mouseenter"), the last pointer position
// every event carries, the mouse tracking and the tooltip window.
//
// The window decodes native messages (coordinates, touch and pointer
// records) and calls in here; the router calls back into the window for
// hit testing and focus. Targets are ControlRefs, so a control deleted by a
// handler is simply gone; the router checks the window's own weak flag after
// every dispatch, since a handler may delete the window and this router with
// it.
//
// Owned by its Window. UI thread only.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <string>

#include "ui/control/event_args.h"
#include "ui/core/control_ref.h"

namespace ui {

class Control;
class Window;

class InputRouter {
 public:
  enum class Source { kMouse, kTouch, kPointer };

  // One step of input from a source, already in client coordinates.
  struct Contact {
    Source source = Source::kMouse;
    POINT point = {0, 0};
    // Handed on as the event's lParam (mouse: the packed point; touch: the
    // touch input handle; pointer: 0).
    LPARAM lparam = 0;
    // Pointer only: 0 to 1.
    float pressure = 0.0f;
  };

  explicit InputRouter(Window& window);
  // Destroys the tooltip window when it is still there.
  ~InputRouter();
  InputRouter(const InputRouter&) = delete;
  InputRouter& operator=(const InputRouter&) = delete;

  // A button, finger or pen goes down: the window takes the keyboard focus,
  // the window's control under the point becomes the press (it also takes
  // the control focus: a mouse press unless |type| is a double click or the
  // control refuses focus; a pen press always; a touch never), capture is
  // set and |type| is sent. Refused while another source holds the press.
  // Answers whether the pointer event was taken (see Move).
  bool Press(const Contact& contact, EventType type);
  // The pointer moves. The mouse always updates the hover and sends
  // "mousemove" to the press, else to the hover control; touch and pen only
  // while they hold the press, which gets their move event. Ignored while
  // another source holds the press. Answers true when a pen or touch pointer
  // event was swallowed or reached a control that receives pointer input.
  bool Move(const Contact& contact);
  // The source lifts: capture goes, and the press, when this source holds
  // it, ends with the source's up event.
  bool Release(const Contact& contact);
  // The right button lifts: the press gets "rbuttonup" and stays until the
  // context menu request that follows.
  void RightButtonUp(POINT point, LPARAM lparam);
  // The context menu request ends a mouse press with the menu event.
  void ContextMenu(POINT point);

  // WM_MOUSEHOVER: the entered control gets "mousehover" and the tooltip
  // shows the control under |point|. False when there is none.
  bool Hover(POINT point);
  // WM_MOUSELEAVE: the tooltip hides and the entered control is left.
  void Leave();
  // The window lost the keyboard focus: a press whose control tracks a drag
  // ends with "buttonup".
  void FocusLost();
  // The window closes: the entered control is left and the press ends with
  // "buttonup".
  void EndAll();

  bool HasPress() const { return press_.Get() != nullptr; }
  // The mouse's press (the press of another source does not count).
  Control* GetMousePress() const {
    return press_source_ == Source::kMouse ? press_.Get() : nullptr;
  }
  Control* GetHover() const { return hover_.Get(); }
  Control* GetEntered() const { return entered_.Get(); }
  POINT GetLastPoint() const { return last_point_; }
  HWND GetTooltipWindow() const { return tooltip_; }

  // For hosts and tests that drive the targets without native input.
  void SetHover(Control* control) { hover_ = control; }
  void SetMousePress(Control* control);
  void SetLastPoint(POINT point) { last_point_ = point; }
  // Drops every target without events (the tree is going away).
  void Clear();

  // An event record from |control| at the last pointer position.
  EventArgs MakeEvent(Control* control, EventType type, WPARAM wparam = 0, LPARAM lparam = 0) const;
  void DestroyTooltip();

 private:
  // The window's control under |point|; nullptr for a hook's control of
  // another window.
  Control* OwnControlAt(POINT point) const;
  // The control under |point| becomes the hover control; leave and enter
  // events follow. False when that control belongs to another window or the
  // window went away.
  bool UpdateHover(POINT point);
  // True while a source other than |source| holds the press.
  bool HeldByOther(Source source) const { return HasPress() && press_source_ != source; }
  // Ends the press when |source| holds it and answers its control, or
  // nullptr.
  Control* TakePress(Source source);
  void SetCapture();
  void ReleaseCapture();
  // Sends |type| to |control| with the contact's lParam and pressure;
  // answers whether the control receives pointer input.
  bool Deliver(Control* control, EventType type, const Contact& contact);
  void TrackMouse();
  void ShowTooltip(Control* control);
  void HideTooltip();
  // The window's one tool, as every tooltip message names it.
  TOOLINFOW ToolInfo() const;

  Window& window_;
  ControlRef press_;
  Source press_source_ = Source::kMouse;
  ControlRef hover_;
  ControlRef entered_;
  POINT last_point_ = {-1, -1};
  // Touch moves that do not move are dropped.
  POINT last_touch_ = {-1, -1};
  bool capture_ = false;
  bool mouse_tracking_ = false;
  HWND tooltip_ = nullptr;
  std::wstring tooltip_text_;
};

}  // namespace ui
