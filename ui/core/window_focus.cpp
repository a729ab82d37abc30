// Window: names, classes, lookup, option groups and keyboard focus.
#include <windows.h>

#include <wchar.h>

#include <algorithm>

#include "ui/control/box.h"
#include "ui/control/control.h"
#include "ui/core/window.h"

namespace ui {

namespace {

// Group members deleted meanwhile leave the list.
void DropDeleted(std::vector<ControlRef>& members) {
  members.erase(std::remove_if(members.begin(), members.end(),
                               [](const ControlRef& member) { return member.Get() == nullptr; }),
                members.end());
}

}  // namespace

// --- Names and resources ---

void Window::InitSubtree(Control* control, Box* /*parent*/) {
  if (control == nullptr) return;
  control->FindControl(
      [](Control* c, void* data) -> Control* {
        if (c->GetName().empty()) return nullptr;
        auto& names = static_cast<Window*>(data)->names_;
        // The first control of a name stays while it lives.
        auto entry = names.emplace(c->GetName(), c);
        if (!entry.second && entry.first->second.Get() == nullptr) entry.first->second = c;
        return nullptr;
      },
      this, kFindMeFirst);
}

void Window::ForgetTree() {
  router_.Clear();
  focus_.Reset();
  key_.Reset();
  names_.clear();
  groups_.clear();
}

void Window::SetResourcePath(const std::wstring& path) {
  resource_path_ = path;
  if (!resource_path_.empty() && resource_path_.back() != L'\\' && resource_path_.back() != L'/') {
    resource_path_ += L'\\';
  }
}

void Window::AddClass(const std::wstring& name, const std::wstring& attributes) {
  classes_[name] = attributes;
}

std::wstring Window::GetClassAttributes(const std::wstring& name) const {
  auto it = classes_.find(name);
  return it == classes_.end() ? std::wstring() : it->second;
}

// --- Lookup ---

Control* Window::FindControlByName(const std::wstring& name) const {
  auto it = names_.find(name);
  return it == names_.end() ? nullptr : it->second.Get();
}

Control* Window::FindSubControlByName(Control* parent, const std::wstring& name) const {
  if (parent == nullptr) parent = root_.Get();
  if (parent == nullptr) return nullptr;
  std::wstring sought = name;
  return parent->FindControl(
      [](Control* c, void* data) -> Control* {
        const auto* wanted = static_cast<const std::wstring*>(data);
        return _wcsicmp(c->GetName().c_str(), wanted->c_str()) == 0 ? c : nullptr;
      },
      &sought, 0);
}

Control* Window::FindControlAt(POINT point) const {
  for (IUIPointHook* hook : point_hooks_) {
    if (Control* control = hook->ControlAtPoint(point)) return control;
  }
  Control* root = root_.Get();
  if (root == nullptr) return nullptr;
  return root->FindControl(
      [](Control* c, void* data) -> Control* {
        const RECT rect = c->GetRect();
        return ::PtInRect(&rect, *static_cast<POINT*>(data)) ? c : nullptr;
      },
      &point, kFindVisible | kFindHitTest | kFindTopFirst);
}

// --- Option groups ---

bool Window::AddToGroup(const std::wstring& group, Control* control) {
  if (control == nullptr || group.empty()) return false;
  auto& members = groups_[group];
  DropDeleted(members);
  auto same = [control](const ControlRef& member) { return member.Is(control); };
  if (std::any_of(members.begin(), members.end(), same)) return false;
  members.push_back(control);
  return true;
}

bool Window::RemoveFromGroup(const std::wstring& group, Control* control) {
  auto it = groups_.find(group);
  if (it == groups_.end()) return false;
  auto& members = it->second;
  DropDeleted(members);
  auto member = std::find_if(members.begin(), members.end(),
                             [control](const ControlRef& m) { return m.Is(control); });
  const bool found = member != members.end();
  if (found) members.erase(member);
  if (members.empty()) groups_.erase(it);
  return found;
}

std::vector<Control*> Window::GetGroup(const std::wstring& group) const {
  std::vector<Control*> live;
  auto it = groups_.find(group);
  if (it == groups_.end()) return live;
  for (const ControlRef& member : it->second) {
    if (Control* control = member.Get()) live.push_back(control);
  }
  return live;
}

// --- Focus ---

void Window::SetFocusControl(Control* control) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  if (control != nullptr && control != focus_.Get() && hwnd_ != nullptr && ::GetFocus() != hwnd_) {
    ::SetFocus(hwnd_);
  }
  if (control == focus_.Get()) return;
  InvalidateFocusRing();
  std::weak_ptr<cbase::WeakFlag> alive = GetWeakFlag();
  if (Control* old = focus_.Get()) {
    const ControlRef old_ref = old;
    EventArgs kill = MakeEvent(old, kEventInternalKillFocus);
    old->DispatchEvent(kill);
    if (alive.expired()) return;
    focus_.Reset();
    if (old_ref.Get() != nullptr) SendEvent(old, kEventKillFocus);
    if (alive.expired()) return;
  }
  if (control != nullptr && control->GetWindow() == this && control->IsVisible() &&
      control->IsEnabled()) {
    focus_ = control;
    EventArgs set = MakeEvent(control, kEventInternalSetFocus);
    const ControlRef control_ref = control;
    control->DispatchEvent(set);
    if (alive.expired() || control_ref.Get() == nullptr) return;
    InvalidateFocusRing();
    NotifyAccessibleEvent(EVENT_OBJECT_FOCUS, control);
    SendEvent(control, kEventSetFocus);
  }
}

bool Window::FocusNextTabStop(bool forward) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  if (layout_pending_ && forward) {
    // Positions are stale: the move waits for the next layout pass.
    tab_after_layout_ = true;
    if (hwnd_ != nullptr) presenter_.Invalidate(nullptr);
    return true;
  }
  // An open dialog keeps the focus among its own controls.
  Control* dialog = GetOpenDialog();
  Control* root = dialog != nullptr ? dialog : root_.Get();
  if (root == nullptr) return false;
  struct Walk {
    Control* focus;
    std::vector<Control*> stops;
    long focus_position;  // stops seen before the focus, or -1
  } walk{focus_.Get(), {}, -1};
  root->FindControl(
      [](Control* c, void* data) -> Control* {
        auto* w = static_cast<Walk*>(data);
        if (c == w->focus) w->focus_position = static_cast<long>(w->stops.size());
        if (c->IsTabFocusable()) w->stops.push_back(c);
        return nullptr;
      },
      &walk, kFindMeFirst | kFindVisible | kFindEnabled);
  if (walk.stops.empty()) return false;
  const long count = static_cast<long>(walk.stops.size());
  Control* next = nullptr;
  if (walk.focus_position < 0) {
    next = forward ? walk.stops.front() : walk.stops.back();
  } else if (forward) {
    const bool focus_is_stop =
        walk.focus_position < count && walk.stops[walk.focus_position] == walk.focus;
    const long index = walk.focus_position + (focus_is_stop ? 1 : 0);
    next = index < count ? walk.stops[index] : walk.stops.front();
  } else {
    const long index = walk.focus_position - 1;
    next = index >= 0 ? walk.stops[index] : walk.stops.back();
  }
  SetFocusControl(next);
  return true;
}

}  // namespace ui
