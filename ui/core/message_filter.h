// Hooks a window consults before it handles input itself.
//
// IUIMessageFilter: offered every native message before the window routes it;
// a filter that handles anything but WM_MOUSEMOVE ends the routing with its
// result. IUIPointHook: asked first which control lies under a point, so an
// overlay drawn by someone else can claim the mouse.
//
// The window keeps plain pointers in registration order; whoever registers a
// hook removes it before the hook dies. UI thread only.
#pragma once

#include <windows.h>

namespace ui {

class Control;

class IUIMessageFilter {
 public:
  virtual ~IUIMessageFilter() = default;
  // Sets |handled| to claim the message; the result is then the message's.
  virtual LRESULT MessageHandler(UINT message, WPARAM wparam, LPARAM lparam, bool& handled) = 0;
};

class IUIPointHook {
 public:
  virtual ~IUIPointHook() = default;
  // The control that takes |point| (client coordinates), or nullptr to let
  // the window hit-test its tree.
  virtual Control* ControlAtPoint(POINT point) = 0;
};

}  // namespace ui
