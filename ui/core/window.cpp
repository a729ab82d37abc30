#include "ui/core/window.h"

#include <versionhelpers.h>
#include <wchar.h>

#include <algorithm>
#include <utility>

#include "ui/animation/timer_manager.h"
#include "ui/control/box.h"
#include "ui/control/control.h"
#include "ui/render/render.h"

namespace ui {

namespace {

// Property that holds the object of a superclassed window.
constexpr wchar_t kWindowProperty[] = L"WndX";
constexpr int kCloseDelayMs = 300;

HINSTANCE ModuleInstance() { return ::GetModuleHandleW(nullptr); }

}  // namespace

Window::Window() = default;

Window::~Window() {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  RunDelayedCleanup();
  Control* root = root_;
  root_ = nullptr;
  delete root;
  if (hwnd_ != nullptr && ::IsWindow(hwnd_)) {
    // The native window outlives this object: cut it loose first, so its
    // last messages go to the default procedure.
    if (paint_dc_ != nullptr) ::ReleaseDC(hwnd_, paint_dc_);
    ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    ::RemovePropW(hwnd_, kWindowProperty);
    ::DestroyWindow(hwnd_);
  }
}

std::wstring Window::ClassName() const { return std::wstring(); }

std::wstring Window::SuperClassName() const { return std::wstring(); }

UINT Window::ClassStyle() const { return 0; }

bool Window::RegisterWindowClass() {
  const std::wstring name = ClassName();
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof(wc);
  wc.style = ClassStyle();
  wc.lpfnWndProc = &Window::UserDataWindowProc;
  wc.hInstance = ModuleInstance();
  wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  wc.lpszClassName = name.c_str();
  if (::RegisterClassExW(&wc) != 0) return true;
  return ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

bool Window::RegisterSuperClass() {
  const std::wstring super_name = SuperClassName();
  const std::wstring name = ClassName();
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof(wc);
  if (!::GetClassInfoExW(nullptr, super_name.c_str(), &wc) &&
      !::GetClassInfoExW(ModuleInstance(), super_name.c_str(), &wc)) {
    return false;
  }
  previous_proc_ = wc.lpfnWndProc;
  wc.lpfnWndProc = &Window::PropertyWindowProc;
  wc.hInstance = ModuleInstance();
  wc.lpszClassName = name.c_str();
  if (::RegisterClassExW(&wc) != 0) return true;
  return ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

HWND Window::Create(HWND parent, const std::wstring& title, DWORD style, DWORD ex_style,
                    bool layered, const RECT& rect) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  const bool registered = SuperClassName().empty() ? RegisterWindowClass() : RegisterSuperClass();
  if (!registered) return nullptr;
  layered_ = layered;
  if (layered) ex_style |= WS_EX_LAYERED;
  const std::wstring name = ClassName();
  HWND hwnd = ::CreateWindowExW(ex_style, name.c_str(), title.c_str(), style, rect.left, rect.top,
                                rect.right - rect.left, rect.bottom - rect.top, parent, nullptr,
                                ModuleInstance(), this);
  if (hwnd == nullptr) return nullptr;
  const LONG_PTR actual = ::GetWindowLongPtrW(hwnd, GWL_STYLE);
  if ((actual & WS_CAPTION) != 0) ::SetWindowLongPtrW(hwnd, GWL_STYLE, actual & ~WS_CAPTION);
  return hwnd;
}

LRESULT CALLBACK Window::UserDataWindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  Window* self = nullptr;
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    self = static_cast<Window*>(create->lpCreateParams);
    self->hwnd_ = hwnd;
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  } else {
    self = reinterpret_cast<Window*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (message == WM_NCDESTROY && self != nullptr) {
      const LRESULT result = ::CallWindowProcW(self->previous_proc_, hwnd, message, wparam, lparam);
      ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      self->OnNcDestroy(hwnd, message, wparam, lparam);
      return result;
    }
  }
  if (self != nullptr) return self->ProcessMessage(message, wparam, lparam);
  return ::DefWindowProcW(hwnd, message, wparam, lparam);
}

LRESULT CALLBACK Window::PropertyWindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  Window* self = nullptr;
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    self = static_cast<Window*>(create->lpCreateParams);
    self->hwnd_ = hwnd;
    ::SetPropW(hwnd, kWindowProperty, self);
  } else {
    self = static_cast<Window*>(::GetPropW(hwnd, kWindowProperty));
    if (message == WM_NCDESTROY && self != nullptr) {
      const LRESULT result = ::CallWindowProcW(self->previous_proc_, hwnd, message, wparam, lparam);
      ::RemovePropW(hwnd, kWindowProperty);
      self->OnNcDestroy(hwnd, message, wparam, lparam);
      return result;
    }
  }
  if (self != nullptr) return self->ProcessMessage(message, wparam, lparam);
  return ::DefWindowProcW(hwnd, message, wparam, lparam);
}

void Window::OnNcDestroy(HWND hwnd, UINT /*message*/, WPARAM /*wparam*/, LPARAM /*lparam*/) {
  if (paint_dc_ != nullptr) {
    ::ReleaseDC(hwnd, paint_dc_);
    paint_dc_ = nullptr;
  }
  hwnd_ = nullptr;
  OnDestroyed(hwnd);
}

void Window::Close(UINT code) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  if (hwnd_ == nullptr) return;
  if (root_ != nullptr && ::IsWindowsVistaOrGreater()) {
    root_->SetFadeVisible(false);
    TimerManager* timers = Control::GetAnimationTimerManager();
    if (timers == nullptr) timers = &TimerManager::GetInstance();
    timers->AddTimer(
        GetWeakFlag(),
        [this, code] {
          if (hwnd_ != nullptr) ::PostMessageW(hwnd_, WM_CLOSE, code, 0);
        },
        kCloseDelayMs, 1);
  } else {
    ::PostMessageW(hwnd_, WM_CLOSE, code, 0);
  }
}

void Window::Show(bool show, bool take_focus) {
  if (hwnd_ == nullptr) return;
  ::ShowWindow(hwnd_, show ? (take_focus ? SW_SHOWNORMAL : SW_SHOWNOACTIVATE) : SW_HIDE);
}

void Window::OnDestroyed(HWND /*hwnd*/) {
  EventArgs args;
  args.type = kEventWindowClose;
  args.timestamp = ::GetTickCount();
  args.mouse = last_mouse_;
  std::weak_ptr<cbase::WeakFlag> alive = GetWeakFlag();
  for (EventType type : {kEventWindowClose, kEventAll}) {
    for (size_t i = 0;; ++i) {
      const EventCallback* handler = window_events_.At(type, i);
      if (handler == nullptr) break;
      EventCallback call = *handler;
      const bool go = call(args);
      if (alive.expired()) return;
      if (!go) break;
    }
  }
}

LRESULT Window::ProcessMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  bool handled = false;
  const LRESULT result = RouteMessage(message, wparam, lparam, handled);
  if (handled) return result;
  return ::CallWindowProcW(previous_proc_, hwnd_, message, wparam, lparam);
}

void Window::OnFirstLayout() {
  if (root_ == nullptr || !::IsWindowsVistaOrGreater()) return;
  // The whole window fades in: the root's alpha player drives the window's
  // alpha instead of the root's.
  root_->Animations().SetFadeAlpha(true);
  AnimationPlayer* player = root_->GetAnimationPlayer(AnimationType::kAlpha);
  player->SetCallback(ToWeakCallback([this](int alpha) { SetWindowAlpha(alpha); }));
  SetWindowAlpha(0);
  root_->SetFadeVisible(true);
}

void Window::Attach(HWND hwnd) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  hwnd_ = hwnd;
  if (paint_dc_ == nullptr) paint_dc_ = ::GetDC(hwnd);
  if (render_context_ == nullptr && GetRenderFactory() != nullptr) {
    render_context_ = GetRenderFactory()->CreateRenderContext();
  }
}

LRESULT Window::RouteMessage(UINT message, WPARAM /*wparam*/, LPARAM /*lparam*/, bool& handled) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  handled = false;
  if (message == kDelayedCleanupMessage) RunDelayedCleanup();
  return 0;
}

void Window::AttachWindowEvent(EventType type, EventCallback callback) {
  window_events_.Add(type, std::move(callback));
}

bool Window::AttachRoot(Control* root) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  if (root == nullptr) return false;
  if (root_ != nullptr && root_ != root) AddDelayedCleanup(root_);
  root_ = root;
  root->SetWindow(this, nullptr, true);
  InitSubtree(root, nullptr);
  root->RelayoutSelf();
  if (hwnd_ != nullptr) ::InvalidateRect(hwnd_, nullptr, FALSE);
  return true;
}

void Window::InitSubtree(Control* control, Box* /*parent*/) {
  if (control == nullptr) return;
  control->FindControl(
      [](Control* c, void* data) -> Control* {
        auto& names = static_cast<Window*>(data)->names_;
        if (!c->GetName().empty()) names.emplace(c->GetName(), c);  // the first one stays
        return nullptr;
      },
      this, kFindMeFirst);
}

void Window::ForgetControl(Control* control) {
  if (control == nullptr) return;
  for (Control** target : {&focus_, &hover_, &entered_, &pressed_, &key_, &touch_, &pointer_}) {
    if (*target == control) *target = nullptr;
  }
  if (root_ == control) root_ = nullptr;
  auto name = names_.find(control->GetName());
  if (name != names_.end() && name->second == control) names_.erase(name);
  for (auto group = groups_.begin(); group != groups_.end();) {
    auto& members = group->second;
    members.erase(std::remove(members.begin(), members.end(), control), members.end());
    group = members.empty() ? groups_.erase(group) : std::next(group);
  }
  delayed_cleanup_.erase(std::remove(delayed_cleanup_.begin(), delayed_cleanup_.end(), control),
                         delayed_cleanup_.end());
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

Control* Window::FindControlByName(const std::wstring& name) const {
  auto it = names_.find(name);
  return it == names_.end() ? nullptr : it->second;
}

Control* Window::FindSubControlByName(Control* parent, const std::wstring& name) const {
  if (parent == nullptr) parent = root_;
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
  if (root_ == nullptr) return nullptr;
  return root_->FindControl(
      [](Control* c, void* data) -> Control* {
        const RECT rect = c->GetRect();
        return ::PtInRect(&rect, *static_cast<POINT*>(data)) ? c : nullptr;
      },
      &point, kFindVisible | kFindHitTest | kFindTopFirst);
}

bool Window::AddToGroup(const std::wstring& group, Control* control) {
  if (control == nullptr || group.empty()) return false;
  auto& members = groups_[group];
  if (std::find(members.begin(), members.end(), control) != members.end()) return false;
  members.push_back(control);
  return true;
}

bool Window::RemoveFromGroup(const std::wstring& group, Control* control) {
  auto it = groups_.find(group);
  if (it == groups_.end()) return false;
  auto& members = it->second;
  auto member = std::find(members.begin(), members.end(), control);
  if (member == members.end()) return false;
  members.erase(member);
  if (members.empty()) groups_.erase(it);
  return true;
}

std::vector<Control*> Window::GetGroup(const std::wstring& group) const {
  auto it = groups_.find(group);
  return it == groups_.end() ? std::vector<Control*>() : it->second;
}

void Window::SetFocusControl(Control* control) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  if (control != nullptr && control != focus_ && hwnd_ != nullptr && ::GetFocus() != hwnd_) {
    ::SetFocus(hwnd_);
  }
  if (control == focus_) return;
  std::weak_ptr<cbase::WeakFlag> alive = GetWeakFlag();
  if (focus_ != nullptr) {
    Control* old = focus_;
    std::weak_ptr<cbase::WeakFlag> old_alive = old->GetWeakFlag();
    EventArgs kill;
    kill.type = kEventInternalKillFocus;
    kill.sender = old;
    kill.timestamp = ::GetTickCount();
    kill.mouse = last_mouse_;
    old->DispatchEvent(kill);
    if (alive.expired()) return;
    focus_ = nullptr;
    if (!old_alive.expired()) SendEvent(old, kEventKillFocus);
    if (alive.expired()) return;
  }
  if (control != nullptr && control->GetWindow() == this && control->IsVisible() &&
      control->IsEnabled()) {
    focus_ = control;
    EventArgs set;
    set.type = kEventInternalSetFocus;
    set.sender = control;
    set.timestamp = ::GetTickCount();
    set.mouse = last_mouse_;
    std::weak_ptr<cbase::WeakFlag> control_alive = control->GetWeakFlag();
    control->DispatchEvent(set);
    if (alive.expired() || control_alive.expired()) return;
    SendEvent(control, kEventSetFocus);
  }
}

bool Window::FocusNextTabStop(bool forward) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  if (layout_pending_ && forward) {
    if (hwnd_ != nullptr) ::InvalidateRect(hwnd_, nullptr, FALSE);
    return true;
  }
  if (root_ == nullptr) return false;
  struct Walk {
    Control* focus;
    std::vector<Control*> stops;
    long focus_position;  // stops seen before the focus, or -1
  } walk{focus_, {}, -1};
  root_->FindControl(
      [](Control* c, void* data) -> Control* {
        auto* w = static_cast<Walk*>(data);
        if (c == w->focus) w->focus_position = static_cast<long>(w->stops.size());
        if (c->AllowsTabStop()) w->stops.push_back(c);
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
        walk.focus_position < count && walk.stops[walk.focus_position] == focus_;
    const long index = walk.focus_position + (focus_is_stop ? 1 : 0);
    next = index < count ? walk.stops[index] : walk.stops.front();
  } else {
    const long index = walk.focus_position - 1;
    next = index >= 0 ? walk.stops[index] : walk.stops.back();
  }
  SetFocusControl(next);
  return true;
}

bool Window::SendEvent(Control* control, EventType type, WPARAM wparam, LPARAM lparam) {
  if (control == nullptr) return false;
  EventArgs args;
  args.type = type;
  args.sender = control;
  args.timestamp = ::GetTickCount();
  args.mouse = last_mouse_;
  args.wparam = wparam;
  args.lparam = lparam;
  control->DispatchEvent(args);
  return true;
}

void Window::Invalidate(const RECT& rect) {
  if (hwnd_ != nullptr && !::IsRectEmpty(&rect)) ::InvalidateRect(hwnd_, &rect, FALSE);
}

void Window::LayoutPass(const RECT& client) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  if (!layout_pending_) return;
  layout_pending_ = false;
  if (::IsRectEmpty(&client) || root_ == nullptr) return;
  if (root_->NeedsLayout()) {
    root_->SetBounds(client);
  } else {
    auto asked = [](Control* c, void*) -> Control* { return c->NeedsLayout() ? c : nullptr; };
    while (Control* control = root_->FindControl(asked, nullptr, kFindMeFirst | kFindVisible)) {
      control->SetBounds(control->GetRect());
      // A control that keeps asking would hold the pass forever.
      if (control->NeedsLayout()) break;
    }
  }
  if (first_layout_) {
    first_layout_ = false;
    OnFirstLayout();
  }
}

void Window::SetWindowAlpha(int alpha) {
  window_alpha_ = static_cast<BYTE>(std::clamp(alpha, 0, 255));
  if (root_ != nullptr) Invalidate(root_->GetRect());
  if (layered_ && hwnd_ != nullptr) ::PostMessageW(hwnd_, WM_PAINT, 0, 0);
}

void Window::AddDelayedCleanup(Control* control) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  if (control == nullptr) return;
  control->SetWindow(this, nullptr, false);
  delayed_cleanup_.push_back(control);
  if (hwnd_ != nullptr) ::PostMessageW(hwnd_, kDelayedCleanupMessage, 0, 0);
}

void Window::RunDelayedCleanup() {
  std::vector<Control*> controls;
  controls.swap(delayed_cleanup_);
  for (Control* control : controls) delete control;
}

}  // namespace ui
