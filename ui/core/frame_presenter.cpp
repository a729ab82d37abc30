#include "ui/core/frame_presenter.h"

#include "ui/core/window.h"
#include "ui/render/render.h"

namespace ui {

namespace {

bool HasInsets(const RECT& insets) {
  return insets.left > 0 || insets.top > 0 || insets.right > 0 || insets.bottom > 0;
}

}  // namespace

FramePresenter::FramePresenter(Window& window) : window_(window) {}

void FramePresenter::Invalidate(const RECT* rect) {
  HWND hwnd = window_.GetHWND();
  if (!window_.IsLayered()) {
    ::InvalidateRect(hwnd, rect, FALSE);
    return;
  }
  // A layered window's dirty area is kept here alone: the native update
  // region does not drive its paints, and asking the system for it cost a
  // call into the window server for every control a layout moved.
  RECT area;
  if (rect == nullptr) {
    ::GetClientRect(hwnd, &area);
  } else {
    area = *rect;
  }
  ::UnionRect(&layered_dirty_, &layered_dirty_, &area);
  PostPaint();
}

RECT FramePresenter::TakeDirty() {
  RECT dirty = {0, 0, 0, 0};
  ::GetUpdateRect(window_.GetHWND(), &dirty, FALSE);
  if (window_.IsLayered()) {
    ::UnionRect(&dirty, &dirty, &layered_dirty_);
    layered_dirty_ = RECT{0, 0, 0, 0};
  }
  return dirty;
}

void FramePresenter::SkipPaint() {
  PAINTSTRUCT ps;
  BeginPaintMessage(&ps);
  EndPaintMessage(ps);
}

HDC FramePresenter::BeginPaintMessage(PAINTSTRUCT* ps) {
  if (!window_.IsLayered()) return ::BeginPaint(window_.GetHWND(), ps);
  *ps = PAINTSTRUCT{};
  ::ValidateRect(window_.GetHWND(), nullptr);
  return nullptr;
}

void FramePresenter::EndPaintMessage(const PAINTSTRUCT& ps) {
  if (!window_.IsLayered()) ::EndPaint(window_.GetHWND(), &ps);
}

bool FramePresenter::RequestAlphaPresent() {
  if (!window_.IsLayered() || window_.GetHWND() == nullptr || (present_count_ == 0 && !held_)) {
    return false;
  }
  // The system keeps no copy of a layered window's content: the last frame
  // is presented again with the new alpha (a fade step costs no paint).
  alpha_changed_ = true;
  PostPaint();
  return true;
}

bool FramePresenter::PresentAlphaOnly(IRenderContext& context, const RECT& client, BYTE alpha) {
  if (!alpha_changed_) return true;
  if (context.GetWidth() != client.right - client.left ||
      context.GetHeight() != client.bottom - client.top) {
    return false;
  }
  PAINTSTRUCT ps;
  HDC hdc = BeginPaintMessage(&ps);
  Present(hdc, context, RECT{0, 0, 0, 0}, alpha);
  EndPaintMessage(ps);
  return true;
}

void FramePresenter::ExtendToScreenEdges(RECT& update, const RECT& client) {
  if (!window_.IsLayered()) return;
  // An update out to every side of the client (a first frame, a full
  // repaint) has nothing to widen.
  if (update.left <= client.left && update.top <= client.top && update.right >= client.right &&
      update.bottom >= client.bottom) {
    return;
  }
  RECT window_rect;
  ::GetWindowRect(window_.GetHWND(), &window_rect);
  const RECT& screen = VirtualScreen();
  if (window_rect.left < screen.left && update.left == screen.left - window_rect.left) {
    update.left = client.left;
  }
  if (window_rect.top < screen.top && update.top == screen.top - window_rect.top) {
    update.top = client.top;
  }
  if (window_rect.right > screen.right && update.right == screen.right - window_rect.left) {
    update.right = client.right;
  }
  if (window_rect.bottom > screen.bottom && update.bottom == screen.bottom - window_rect.top) {
    update.bottom = client.bottom;
  }
}

const RECT& FramePresenter::VirtualScreen() {
  if (!virtual_screen_) {
    const int left = ::GetSystemMetrics(SM_XVIRTUALSCREEN);
    const int top = ::GetSystemMetrics(SM_YVIRTUALSCREEN);
    virtual_screen_ = RECT{left, top, left + ::GetSystemMetrics(SM_CXVIRTUALSCREEN),
                           top + ::GetSystemMetrics(SM_CYVIRTUALSCREEN)};
  }
  return *virtual_screen_;
}

void FramePresenter::PrepareBuffer(IRenderContext& context, const RECT& client, bool alpha_blit,
                                   RECT& update, const RECT& covered) const {
  if (context.Resize(client.right - client.left, client.bottom - client.top)) {
    context.SetAlphaBlit(alpha_blit);
    update = client;
  }
  if (!window_.IsLayered()) return;
  RECT keep;
  if (!::IntersectRect(&keep, &update, &covered)) {
    context.FillPixels(update, 0);
    return;
  }
  // A whole frame's clearing would mostly be painted over at once.
  context.FillPixels(RECT{update.left, update.top, update.right, keep.top}, 0);
  context.FillPixels(RECT{update.left, keep.bottom, update.right, update.bottom}, 0);
  context.FillPixels(RECT{update.left, keep.top, keep.left, keep.bottom}, 0);
  context.FillPixels(RECT{keep.right, keep.top, update.right, keep.bottom}, 0);
}

void FramePresenter::RepairAlpha(IRenderContext& context, const RECT& update,
                                 const OpaqueArea& area) const {
  if (!window_.IsLayered()) return;
  const RECT& inner = area.inner;
  if (!area.shadow) {
    if (!HasInsets(area.insets)) return;
    const RECT& fix = area.insets;
    RECT opaque = {inner.left + fix.left, inner.top + fix.top, inner.right - fix.right,
                   inner.bottom - fix.bottom};
    if (::IntersectRect(&opaque, &opaque, &update)) {
      context.MakeOpaque(opaque, RECT{0, 0, 0, 0}, 0);
    }
    return;
  }
  RECT opaque;
  if (::IntersectRect(&opaque, &update, &inner)) {
    const RECT& padding = area.shadow_padding;
    const RECT corners = {padding.left + 1, padding.top + 1, padding.right + 1, padding.bottom + 1};
    context.MakeOpaque(opaque, corners, 0);
  }
}

void FramePresenter::Present(HDC hdc, IRenderContext& context, const RECT& update, BYTE alpha) {
  alpha_changed_ = false;
  HWND hwnd = window_.GetHWND();
  if (!window_.IsLayered()) {
    ::BitBlt(hdc, update.left, update.top, update.right - update.left, update.bottom - update.top,
             context.DeviceContext(), update.left, update.top, SRCCOPY);
    ++present_count_;
    shown_ = shown_ || ::IsWindowVisible(hwnd);
    return;
  }
  if (alpha == 0 && !shown_) {
    held_ = true;
    return;
  }
  RECT window_rect;
  ::GetWindowRect(hwnd, &window_rect);
  POINT position = {window_rect.left, window_rect.top};
  SIZE size = {context.GetWidth(), context.GetHeight()};
  POINT source = {0, 0};
  BLENDFUNCTION blend = {AC_SRC_OVER, 0, alpha, AC_SRC_ALPHA};
  // The surface keeps what it was given; only the painted part needs giving
  // again while the alpha and size stay.
  const RECT whole = {0, 0, size.cx, size.cy};
  RECT dirty;
  const bool partial = present_count_ > 0 && alpha == presented_alpha_ &&
                       size.cx == presented_size_.cx && size.cy == presented_size_.cy &&
                       ::IntersectRect(&dirty, &update, &whole) && !::EqualRect(&dirty, &whole);
  UPDATELAYEREDWINDOWINFO info = {};
  info.cbSize = sizeof(info);
  info.pptDst = &position;
  info.psize = &size;
  info.hdcSrc = context.DeviceContext();
  info.pptSrc = &source;
  info.pblend = &blend;
  info.dwFlags = ULW_ALPHA;
  info.prcDirty = partial ? &dirty : nullptr;
  ::UpdateLayeredWindowIndirect(hwnd, &info);
  presented_alpha_ = alpha;
  presented_size_ = size;
  held_ = false;
  shown_ = shown_ || (alpha > 0 && ::IsWindowVisible(hwnd));
  ++present_count_;
}

bool FramePresenter::NoteWindowShown() {
  const bool seen_now =
      !shown_ && present_count_ > 0 && (!window_.IsLayered() || presented_alpha_ > 0);
  shown_ = shown_ || seen_now;
  return seen_now;
}

bool FramePresenter::PostPaint() {
  if (!paint_posted_ && ::PostMessageW(window_.GetHWND(), WM_PAINT, 0, 0)) paint_posted_ = true;
  return paint_posted_;
}

}  // namespace ui
