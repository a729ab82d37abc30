// Window: invalidation, the layout pass and painting the tree.
#include <windows.h>

#include <versionhelpers.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "base/startup_trace.h"
#include "ui/animation/timer_manager.h"
#include "ui/control/box.h"
#include "ui/control/control.h"
#include "ui/control/shadow_box.h"
#include "ui/core/global_manager.h"
#include "ui/core/skin_image.h"
#include "ui/core/window.h"
#include "ui/render/render.h"

namespace ui {

namespace {

// Room given to a root that sizes to its content.
constexpr int kUnboundedSize = 99999;

}  // namespace

void Window::Invalidate(const RECT& rect) {
  if (hwnd_ != nullptr && !::IsRectEmpty(&rect)) presenter_.Invalidate(&rect);
}

void Window::LayoutPass(const RECT& client) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  if (!layout_pending_) return;
  layout_pending_ = false;
  Control* root = root_.Get();
  if (::IsRectEmpty(&client) || root == nullptr) return;
  if (root->NeedsLayout()) {
    root->SetBounds(client);
  } else {
    auto asked = [](Control* c, void*) -> Control* { return c->NeedsLayout() ? c : nullptr; };
    while (Control* control = root->FindControl(asked, nullptr, kFindMeFirst | kFindVisible)) {
      control->SetBounds(control->GetRect());
      // A control that keeps asking would hold the pass forever.
      if (control->NeedsLayout()) break;
    }
  }
  if (first_layout_) {
    first_layout_ = false;
    OnFirstLayout();
  }
  if (tab_after_layout_ && !layout_pending_) {
    tab_after_layout_ = false;
    FocusNextTabStop(true);
  }
}

void Window::OnFirstLayout() {
  Control* root = root_.Get();
  if (root == nullptr || !::IsWindowsVistaOrGreater()) return;
  // The whole window fades in: the root's alpha player drives the window's
  // alpha instead of the root's.
  root->Animations().SetFadeAlpha(true);
  AnimationPlayer* player = root->GetAnimationPlayer(AnimationType::kAlpha);
  player->SetCallback(ToWeakCallback([this](int alpha) { SetWindowAlpha(alpha); }));
  SetWindowAlpha(0);
  root->SetFadeVisible(true);
}

void Window::SetWindowAlpha(int alpha) {
  window_alpha_ = static_cast<BYTE>(std::clamp(alpha, 0, 255));
  if (presenter_.RequestAlphaPresent()) return;
  if (Control* root = root_.Get()) Invalidate(root->GetRect());
  if (layered_ && hwnd_ != nullptr) ::PostMessageW(hwnd_, WM_PAINT, 0, 0);
}

SIZE Window::EstimateRootSize() {
  Control* root = root_.Get();
  SIZE size = root->DesiredSize(SIZE{kUnboundedSize, kUnboundedSize});
  if (root->GetMinWidth() >= 0) size.cx = std::max<LONG>(size.cx, root->GetMinWidth());
  if (root->GetMaxWidth() >= 0) size.cx = std::min<LONG>(size.cx, root->GetMaxWidth());
  if (root->GetMinHeight() >= 0) size.cy = std::max<LONG>(size.cy, root->GetMinHeight());
  if (root->GetMaxHeight() >= 0) size.cy = std::min<LONG>(size.cy, root->GetMaxHeight());
  return size;
}

void Window::OnPaint() {
  const bool shown_before = presenter_.HasShownFrame();
  // Until the first frame is seen, this window's paints move its fade on:
  // starting the animation pulse meanwhile would start the system's timer
  // thread while that frame is made and presented. Held only while a frame
  // waits to be presented by this window's next paint.
  if (!shown_before && pulse_hold_ == nullptr) {
    TimerManager& timers = TimerManager::Current();
    if (!timers.pulse_running()) {
      timers.HoldPulse();
      pulse_hold_ = &timers;
    }
  }
  PaintAndPresent();
  if (!shown_before && !presenter_.HasShownFrame() &&
      (!presenter_.IsHoldingFrame() || ::IsIconic(hwnd_))) {
    // No frame on its way (or none until the window is restored).
    ReleasePulseHold();
    return;
  }
  if (!shown_before && presenter_.HasShownFrame()) {
    STARTUP_TRACE("first_visible_frame");
    // Posted: the work that waits for the first frame comes after the
    // fade's next step, and after this paint.
    if (hwnd_ == nullptr || !::PostMessageW(hwnd_, kFirstFrameShownMessage, 0, 0)) {
      std::weak_ptr<cbase::WeakFlag> alive = GetWeakFlag();
      FirstFrameShown();
      if (alive.expired()) return;
    }
  }
  // The first frame waits for the fade: the fade moves on to now, so the
  // frame goes out without waiting for the fade's next tick.
  if (presenter_.IsHoldingFrame() && root_.Get() != nullptr) {
    if (AnimationPlayer* fade = root_.Get()->GetAnimationPlayer(AnimationType::kAlpha)) {
      fade->Advance();
      // The fade still stands at 0 (too early for any alpha, or stopped):
      // the frame goes out at the faintest alpha, as no tick may come
      // before a frame is seen.
      if (window_alpha_ == 0) SetWindowAlpha(1);
    }
  }
}

void Window::ReleasePulseHold() {
  // Timers are not run under the caller: some belong to this window.
  if (pulse_hold_ != nullptr) std::exchange(pulse_hold_, nullptr)->ReleasePulse(false);
}

void Window::StepFadeThenFirstFrameShown() {
  // The fade starts from clear and speeds up slowly, so the first frame went
  // out nearly clear, and the fade moved on while that frame was presented.
  // That step goes out now: the work that waits for the first frame would
  // otherwise hold the window at its faintest until it is done.
  // (Only a layered window shows its alpha.)
  Control* root = root_.Get();
  AnimationPlayer* fade =
      root != nullptr ? root->GetAnimationPlayer(AnimationType::kAlpha) : nullptr;
  if (layered_ && fade != nullptr && hwnd_ != nullptr) {
    fade->Advance();
    // Compared with what is on the screen: a tick of a pulse another window
    // runs may have moved the alpha since, with its paint still to come.
    if (window_alpha_ != presenter_.GetPresentedAlpha()) {
      PaintAndPresent();
      STARTUP_TRACE("first_fade_step");
    }
  }
  FirstFrameShown();
}

void Window::FirstFrameShown() {
  first_frame_work_started_ = true;
  // Posted first: what OnFirstFrameShown starts may close the window.
  const bool posted = after_first_frame_.empty() ||
                      (hwnd_ != nullptr && ::PostMessageW(hwnd_, kAfterFirstFrameMessage, 0, 0));
  std::weak_ptr<cbase::WeakFlag> alive = GetWeakFlag();
  OnFirstFrameShown();
  if (!posted && !alive.expired()) RunAfterFirstFrame();
  if (!alive.expired()) ReleasePulseHold();
}

void Window::RunAfterFirstFrame() {
  std::weak_ptr<cbase::WeakFlag> alive = GetWeakFlag();
  for (auto& task : std::exchange(after_first_frame_, {})) {
    task();
    // A task may close the window.
    if (alive.expired()) return;
  }
}

void Window::AfterFirstFrame(std::function<void()> task) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  if (!task) return;
  // Not before OnFirstFrameShown: the frame may be out with its work still
  // on its way (kFirstFrameShownMessage).
  if (first_frame_work_started_) {
    task();
    return;
  }
  after_first_frame_.push_back(std::move(task));
}

void Window::OnFirstFrameShown() {}

void Window::PrefetchShownImages() {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  // Depth first, in paint order, without recursion: a skin nests as deep as
  // it likes.
  std::vector<Control*> pending;
  if (root_.Get() != nullptr) pending.push_back(root_.Get());
  while (!pending.empty()) {
    Control* control = pending.back();
    pending.pop_back();
    if (!control->IsVisible()) continue;
    PrefetchAttributeImage(resource_path_, control->GetBkImage());
    if (control->IsEnabled()) {
      for (StateImageLayer layer : {kStateImageBackground, kStateImageForeground}) {
        PrefetchAttributeImage(resource_path_, control->GetStateImage(layer, kControlStateNormal));
      }
    }
    if (const auto* box = dynamic_cast<const Box*>(control)) {
      const std::vector<Control*>& children = box->children();
      pending.insert(pending.end(), children.rbegin(), children.rend());
    }
  }
}

void Window::PaintAndPresent() {
  presenter_.OnPaintMessage();
  if (::IsIconic(hwnd_) || root_.Get() == nullptr || render_context_ == nullptr) {
    presenter_.SkipPaint();
    return;
  }
  FitWindowToRoot();
  RECT update = presenter_.TakeDirty();
  RECT client;
  ::GetClientRect(hwnd_, &client);
  if (::IsRectEmpty(&update) && !first_layout_) {
    if (presenter_.PresentAlphaOnly(*render_context_, client, window_alpha_)) return;
    update = client;
  }
  presenter_.ExtendToScreenEdges(update, client);

  PAINTSTRUCT ps;
  HDC hdc = presenter_.BeginPaintMessage(&ps);
  if (layout_pending_) {
    const bool first = first_layout_;
    LayoutPass(client);
    if (first) STARTUP_TRACE("first_layout");
    // What the pass moved is painted now rather than by another WM_PAINT.
    RECT moved = presenter_.TakeDirty();
    ::IntersectRect(&moved, &moved, &client);
    ::UnionRect(&update, &update, &moved);
    ::ValidateRect(hwnd_, &moved);
  }
  if (root_.Get() != nullptr) {
    const bool first = presenter_.GetPresentCount() == 0;
    if (first) STARTUP_TRACE("first_frame_paint");
    const FramePresenter::OpaqueArea opaque = PaintTree(update, client);
    // What the first paint did not take is not kept.
    if (first) GlobalManager::DropPrefetchedImages();
    presenter_.RepairAlpha(*render_context_, update, opaque);
    if (first) STARTUP_TRACE("first_frame_composed");
    presenter_.Present(hdc, *render_context_, update, window_alpha_);
    if (first) STARTUP_TRACE("first_frame_presented");
  }
  presenter_.EndPaintMessage(ps);
}

void Window::FitWindowToRoot() {
  Control* root = root_.Get();
  if (!layout_pending_ || !root->NeedsLayout() ||
      (root->GetFixedWidth() != Control::kAuto && root->GetFixedHeight() != Control::kAuto)) {
    return;
  }
  const SIZE size = EstimateRootSize();
  RECT window_rect;
  ::GetWindowRect(hwnd_, &window_rect);
  ::MoveWindow(hwnd_, window_rect.left, window_rect.top, size.cx, size.cy, TRUE);
}

FramePresenter::OpaqueArea Window::PaintTree(RECT& update, const RECT& client) {
  Control* root = root_.Get();
  IRenderContext* context = render_context_.get();
  presenter_.PrepareBuffer(*context, client, !shadow_.IsAttached(), update, OpaqueCover());
  {
    AutoClip clip(context, update);
    const POINT origin = context->OffsetOrigin(render_offset_.x, render_offset_.y);
    // The root is painted directly: its own alpha is the fade value the
    // window's alpha follows, not a translucency of its own.
    root->PaintAsRoot(context, update, render_offset_.x == 0 && render_offset_.y == 0);
    PaintFocusRing(context, update);
    context->SetOrigin(origin.x, origin.y);
  }
  FramePresenter::OpaqueArea opaque;
  const Box* box = dynamic_cast<const Box*>(root);
  opaque.inner = box != nullptr ? box->InnerRect() : root->GetRect();
  // An offset frame has moved off its shadow.
  opaque.shadow = shadow_.IsAttached() && render_offset_.x == 0 && render_offset_.y == 0;
  opaque.shadow_padding = shadow_.GetPadding();
  opaque.insets = alpha_fix_corner_;
  return opaque;
}

RECT Window::OpaqueCover() const {
  RECT covered = {0, 0, 0, 0};
  Control* root = root_.Get();
  // An offset frame paints its content away from where it would cover.
  if (root == nullptr || render_offset_.x != 0 || render_offset_.y != 0) return covered;
  if (ShadowBox* box = shadow_.GetShadowBox(); box != nullptr && box == root) {
    if (!box->ContentCover(covered)) covered = RECT{0, 0, 0, 0};
  } else if (!root->IsVisible() || !root->OpaqueArea(&covered)) {
    covered = RECT{0, 0, 0, 0};
  }
  return covered;
}

}  // namespace ui
