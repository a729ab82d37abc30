#include "ui/control/event_args.h"

#include <utility>

namespace ui {

EventType EventTypeFromName(const std::wstring& name) {
  static const struct {
    const wchar_t* name;
    EventType type;
  } kNames[] = {
      {L"all", kEventAll},
      {L"keydown", kEventKeyDown},
      {L"keyup", kEventKeyUp},
      {L"char", kEventChar},
      {L"syskey", kEventSystemKey},
      {L"setfocus", kEventSetFocus},
      {L"killfocus", kEventKillFocus},
      {L"setcursor", kEventSetCursor},
      {L"mousemove", kEventMouseMove},
      {L"mouseenter", kEventMouseEnter},
      {L"mouseleave", kEventMouseLeave},
      {L"mousehover", kEventMouseHover},
      {L"buttondown", kEventMouseButtonDown},
      {L"buttonup", kEventMouseButtonUp},
      {L"rbuttondown", kEventMouseRightButtonDown},
      {L"doubleclick", kEventMouseDoubleClick},
      {L"select", kEventSelect},
      {L"unselect", kEventUnSelect},
      {L"menu", kEventMouseMenu},
      {L"scrollwheel", kEventMouseScrollWheel},
      {L"scrollchange", kEventScrollChange},
      {L"valuechange", kEventValueChange},
      {L"return", kEventReturn},
      {L"tab", kEventTab},
      {L"windowclose", kEventWindowClose},
  };
  for (const auto& entry : kNames) {
    if (name == entry.name) return entry.type;
  }
  return kEventNone;
}

void EventHandlerTable::Add(EventType type, EventCallback callback) {
  if (!callback) return;
  for (auto& list : lists_) {
    if (list.first == type) {
      list.second.push_back(std::move(callback));
      return;
    }
  }
  lists_.emplace_back(type, std::vector<EventCallback>{std::move(callback)});
}

void EventHandlerTable::Remove(EventType type) {
  for (auto it = lists_.begin(); it != lists_.end(); ++it) {
    if (it->first == type) {
      // Cleared rather than erased: a dispatch may be walking this list.
      it->second.clear();
      return;
    }
  }
}

bool EventHandlerTable::Has(EventType type) const {
  for (const auto& list : lists_) {
    if (list.first == type) return !list.second.empty();
  }
  return false;
}

const EventCallback* EventHandlerTable::At(EventType type, size_t i) const {
  for (const auto& list : lists_) {
    if (list.first == type) return i < list.second.size() ? &list.second[i] : nullptr;
  }
  return nullptr;
}

}  // namespace ui
