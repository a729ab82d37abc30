// EventArgs and the event codes: the record that the window host and the
// controls hand to a control's event entry (Control::DispatchEvent), and the
// handler lists that code and skins attach to controls.
//
// The numeric codes are fixed: skins name them (EventTypeFromName) and the
// window host, the text controls and the application compare them. Codes 0 to
// 3 are internal: they never reach attached handlers.
//
// Plain values; handlers and records belong to the UI thread.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace ui {

class Control;

enum EventType : int {
  kEventInternalDoubleClick = 0,
  kEventInternalMenu = 1,
  kEventInternalSetFocus = 2,
  kEventInternalKillFocus = 3,

  kEventNone = 4,  // also the code of any event name a skin misspells
  kEventFirst = 5,
  kEventAll = 6,

  kEventKeyBegin = 7,
  kEventKeyDown = 8,
  kEventKeyUp = 9,
  kEventChar = 10,
  kEventSystemKey = 11,
  kEventKeyEnd = 12,

  kEventMouseBegin = 13,
  kEventMouseMove = 14,
  kEventMouseEnter = 15,
  kEventMouseLeave = 16,
  kEventMouseHover = 17,
  kEventMouseButtonDown = 18,
  kEventMouseButtonUp = 19,
  kEventMouseRightButtonDown = 20,
  kEventMouseRightButtonUp = 21,
  kEventMouseDoubleClick = 22,
  kEventMouseMenu = 23,
  kEventMouseScrollWheel = 24,
  kEventMouseEnd = 25,

  kEventTouchBegin = 26,
  kEventTouchDown = 27,
  kEventTouchMove = 28,
  kEventTouchUp = 29,
  kEventTouchEnd = 30,

  kEventPointBegin = 31,
  kEventPointDown = 32,
  kEventPointMove = 33,
  kEventPointUp = 34,
  kEventPointEnd = 35,

  kEventSetFocus = 36,
  kEventKillFocus = 37,
  kEventWindowSize = 38,
  kEventWindowClose = 39,
  kEventSetCursor = 40,

  kEventClick = 41,
  kEventSelect = 42,
  kEventUnSelect = 43,

  kEventReturn = 45,
  kEventTab = 46,
  kEventLinkClick = 47,  // a rich edit's link was pressed

  kEventImeStartComposition = 48,
  kEventImeEndComposition = 49,

  kEventScrollChange = 50,
  kEventValueChange = 51,
};

// True for the codes that the mouse-enabled switch gates (move to wheel).
inline bool IsMouseEvent(EventType type) {
  return type > kEventMouseBegin && type < kEventMouseEnd;
}

// The internal codes bypass every handler list.
inline bool IsInternalEvent(EventType type) { return type <= kEventInternalKillFocus; }

struct EventArgs {
  EventType type = kEventNone;
  // The control the event is about. It stays the same while an unconsumed
  // event climbs to the ancestors.
  Control* sender = nullptr;
  DWORD timestamp = 0;   // tick count when the event was made
  POINT mouse = {0, 0};  // last mouse position in client coordinates
  WPARAM wparam = 0;
  LPARAM lparam = 0;
  float pressure = 0.0f;  // pen and touch pointer events: 0 to 1
};

// Answers true to let processing of the event continue.
using EventCallback = std::function<bool(const EventArgs&)>;

// The code for an event name written in a skin's Event and BubbledEvent
// elements; kEventNone for a name skins cannot use (there is no "click").
EventType EventTypeFromName(const std::wstring& name);

// Handler lists keyed by event code, in attach order. A control keeps one
// table for handlers attached by program code and one for handlers from
// markup; boxes keep two more for bubbled events.
class EventHandlerTable {
 public:
  void Add(EventType type, EventCallback callback);
  // Drops every handler of the code.
  void Remove(EventType type);
  bool Has(EventType type) const;
  bool empty() const { return lists_.empty(); }

  // Handler i of the code, or nullptr once i passes the end. Dispatch walks
  // the list by index and copies each handler before calling it, so a
  // handler may attach to or clear its own list safely.
  const EventCallback* At(EventType type, size_t i) const;

 private:
  // Few codes per control: a small vector beats a map.
  std::vector<std::pair<EventType, std::vector<EventCallback>>> lists_;
};

}  // namespace ui
