// Window: the accessible tree's entry, accessibility events, the dialog that
// holds the Tab focus, and the focus ring.
#include <windows.h>

#include <oleacc.h>

#include <algorithm>
#include <memory>

#include "base/com_apartment.h"
#include "base/com_ptr.h"
#include "ui/control/box.h"
#include "ui/control/control.h"
#include "ui/core/accessible_control.h"
#include "ui/core/global_manager.h"
#include "ui/core/high_contrast.h"
#include "ui/core/window.h"
#include "ui/render/render.h"

namespace ui {

namespace {

// The ring sits this far outside the control, this wide (before scaling).
constexpr int kRingGap = 3;
constexpr int kRingWidth = 2;
// Used when the skin declares no "focus_ring" colour.
constexpr DWORD kDefaultRingColor = 0xFF1A73E8;

}  // namespace

LRESULT Window::OnGetObject(WPARAM wparam, LPARAM lparam, bool& handled) {
  // Only the client object is ours; the frame and UI Automation's own
  // request go to the default procedure.
  if (static_cast<LONG>(lparam) != static_cast<LONG>(OBJID_CLIENT)) return 0;
  // The object is handed over through COM, which the thread may not have
  // joined yet.
  if (!cbase::ComApartment::Enter()) return 0;
  cbase::ComPtr<AccessibleControl> client(AccessibleControl::Create(this, nullptr));
  handled = true;
  return ::LresultFromObject(kAccessibleInterfaceId, wparam,
                             static_cast<IAccessible*>(client.get()));
}

void Window::NotifyAccessibleEvent(DWORD event, Control* control) {
  if (hwnd_ == nullptr || control == nullptr || control->GetWindow() != this) return;
  // A control outside the tree is told about through the object that
  // speaks for it (a label inside a card: the card).
  Control* target = control;
  while (target != nullptr && target->GetAccessibleRole() == AccessibleRole::kNone) {
    target = target->GetParent();
  }
  const LONG child = target == nullptr || target == root_.Get()
                         ? CHILDID_SELF
                         : -static_cast<LONG>(target->GetAccessibleId());
  ::NotifyWinEvent(event, hwnd_, OBJID_CLIENT, child);
}

Control* Window::FindControlByAccessibleId(long id) const {
  Control* root = root_.Get();
  if (root == nullptr || id <= 0) return nullptr;
  return root->FindControl(
      [](Control* c, void* data) -> Control* {
        return c->GetAccessibleId() == *static_cast<long*>(data) ? c : nullptr;
      },
      &id, kFindMeFirst);
}

void Window::PostAccessibleAction(Control* control) {
  if (hwnd_ == nullptr || control == nullptr) return;
  ::PostMessageW(hwnd_, kAccessibleActionMessage, 0, control->GetAccessibleId());
}

void Window::OnAccessibleAction(long id) {
  Control* control = FindControlByAccessibleId(id);
  // The control may have gone or changed while the message waited.
  if (control != nullptr && control->IsInvokable()) control->Invoke();
}

// --- Dialogs ---

Control* Window::GetOpenDialog() const {
  Control* root = root_.Get();
  if (root == nullptr) return nullptr;
  Control* open = nullptr;
  root->FindControl(
      [](Control* c, void* data) -> Control* {
        // The last one in tree order is painted on top.
        if (c->GetAccessibleRole() == AccessibleRole::kDialog) *static_cast<Control**>(data) = c;
        return nullptr;
      },
      &open, kFindMeFirst | kFindVisible);
  return open;
}

void Window::OnDialogVisibilityChanged(Control* /*dialog*/) {
  if (hwnd_ == nullptr || dialog_sync_posted_) return;
  // The dialog's children learn their visibility after it: the focus moves
  // once the whole change is done.
  dialog_sync_posted_ = ::PostMessageW(hwnd_, kDialogFocusMessage, 0, 0) != 0;
}

void Window::SyncFocusWithDialog() {
  dialog_sync_posted_ = false;
  Control* dialog = GetOpenDialog();
  Control* focus = focus_.Get();
  if (dialog != nullptr) {
    if (focused_dialog_.Is(dialog) && focus != nullptr && dialog->IsSelfOrAncestorOf(focus)) {
      return;
    }
    if (focused_dialog_.Get() == nullptr) focus_before_dialog_ = focus;
    focused_dialog_ = dialog;
    if (focus == nullptr || !dialog->IsSelfOrAncestorOf(focus)) {
      SetFocusControl(nullptr);
      FocusNextTabStop(true);
    }
    return;
  }
  if (focused_dialog_.Get() == nullptr && focus_before_dialog_.Get() == nullptr) return;
  focused_dialog_.Reset();
  Control* before = focus_before_dialog_.Get();
  focus_before_dialog_.Reset();
  if (focus == nullptr && before != nullptr && before->IsVisible() && before->IsEnabled()) {
    SetFocusControl(before);
  }
}

// --- Focus ring ---

RECT Window::FocusRingRect(const Control* control) {
  RECT rect = control->GetRectWithScrollOffset();
  const int gap = GlobalManager::ScaleLength(kRingGap);
  ::InflateRect(&rect, gap, gap);
  return rect;
}

void Window::SetFocusRingShown(bool shown) {
  if (focus_ring_shown_ == shown) return;
  // Repainted while shown, so hiding it clears the ring that is there.
  if (!shown) InvalidateFocusRing();
  focus_ring_shown_ = shown;
  if (shown) InvalidateFocusRing();
}

void Window::InvalidateFocusRing() {
  Control* focus = focus_.Get();
  if (!focus_ring_shown_ || focus == nullptr || hwnd_ == nullptr) return;
  const RECT ring = FocusRingRect(focus);
  presenter_.Invalidate(&ring);
}

void Window::PaintFocusRing(IRenderContext* context, const RECT& update) {
  Control* focus = focus_.Get();
  if (!focus_ring_shown_ || focus == nullptr || !focus->IsVisible()) return;
  const RECT ring = FocusRingRect(focus);
  RECT overlap;
  if (!::IntersectRect(&overlap, &ring, &update)) return;
  DWORD color = HighContrast::IsOn() ? HighContrast::SystemColor(COLOR_HIGHLIGHT)
                                     : GlobalManager::GetTextColor(L"focus_ring");
  if (color == 0) color = kDefaultRingColor;
  const int width = std::max(1, GlobalManager::ScaleLength(kRingWidth));
  const SIZE round = focus->GetBorderRound();
  IRenderFactory* factory = GetRenderFactory();
  if ((round.cx <= 0 && round.cy <= 0) || factory == nullptr) {
    context->DrawRect(ring, width, color);
    return;
  }
  // The control's corners, widened by the gap, joined by straight sides (the
  // figure closes each arc to the next); a pill's ends stay half circles.
  const int gap = GlobalManager::ScaleLength(kRingGap);
  const int left = ring.left, top = ring.top;
  const int right = ring.right - 1, bottom = ring.bottom - 1;
  const int dx = std::min<int>(round.cx + 2 * gap, right - left);
  const int dy = std::min<int>(round.cy + 2 * gap, bottom - top);
  std::unique_ptr<IPath> path = factory->CreatePath();
  std::unique_ptr<IPen> pen = factory->CreatePen(color, width);
  if (path == nullptr || pen == nullptr) return;
  path->StartFigure();
  path->AddArc(left, top, dx, dy, 180, 90);
  path->AddArc(right - dx, top, dx, dy, 270, 90);
  path->AddArc(right - dx, bottom - dy, dx, dy, 0, 90);
  path->AddArc(left, bottom - dy, dx, dy, 90, 90);
  path->CloseFigure();
  context->DrawPath(path.get(), pen.get());
}

}  // namespace ui
