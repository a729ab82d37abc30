// FramePresenter: everything between "this area of the window is dirty" and
// "the frame is on the screen", for one window.
//
// It keeps the dirty area: the native update region, or for a layered
// window an area of its own (plus whatever update region the system gives
// it), because some systems (Wine) keep no update region for layered windows
// and send them no WM_PAINT; it posts those paints itself. It prepares the
// back buffer for a frame, repairs what GDI leaves behind in a layered frame
// (parts past the virtual screen's edge that are never reported dirty,
// alpha 0 wherever GDI drew), and presents the frame:
// UpdateLayeredWindowIndirect with the window alpha for a layered window
// (with the painted area as its dirty rectangle when only that part
// changed), a copy of the painted area otherwise. A change of the window
// alpha alone is presented again from the last frame without painting. A
// layered window's first frame composed at alpha 0 (a window about to fade
// in) is held back instead of presented: nobody would see it, and the
// window presents it at the fade's first alpha, at least the faintest one.
//
// Painting the control tree is the window's; the render context is the
// window's too and is handed in per call. Owned by its Window. UI thread
// only.
#pragma once

#include <windows.h>

#include <optional>

namespace ui {

class IRenderContext;
class Window;

class FramePresenter {
 public:
  // Which part of a layered frame is made opaque after painting.
  struct OpaqueArea {
    // The root's content rectangle.
    RECT inner = {0, 0, 0, 0};
    // With a shadow around the content, the shadow's current padding: the
    // content is opaque except the padding's corner squares (plus a pixel),
    // where the shadow image keeps its own alpha.
    bool shadow = false;
    RECT shadow_padding = {0, 0, 0, 0};
    // Without one, the content less these insets is made opaque (nothing
    // when all are zero).
    RECT insets = {0, 0, 0, 0};
  };

  explicit FramePresenter(Window& window);
  FramePresenter(const FramePresenter&) = delete;
  FramePresenter& operator=(const FramePresenter&) = delete;

  // --- Dirty area ---
  // Marks |rect| (the client area when nullptr) dirty and makes sure a paint
  // comes.
  void Invalidate(const RECT* rect);
  // The dirty area so far (native update region and the layered area); the
  // layered area starts empty again.
  RECT TakeDirty();
  // WM_PAINT arrived: the next invalidation posts another.
  void OnPaintMessage() { paint_posted_ = false; }
  // Validates the whole update region without drawing.
  void SkipPaint();
  // A paint message's BeginPaint and EndPaint. A layered window's frame
  // goes out through UpdateLayeredWindowIndirect, not through a paint device
  // context, so its update region is only validated and no context is made
  // (under Wine the pair costs about half a millisecond a frame): the
  // context is then null.
  HDC BeginPaintMessage(PAINTSTRUCT* ps);
  void EndPaintMessage(const PAINTSTRUCT& ps);

  // --- Window alpha ---
  // The window alpha changed. A layered window that has presented a frame
  // only needs that frame again: true, and a paint is on its way. False when
  // the window must paint anew.
  bool RequestAlphaPresent();
  // Nothing is dirty: presents the last frame again when only the alpha
  // changed and the frame still has the client's size. True when that
  // settled the paint (presented, or nothing to do); false when the whole
  // client area must be painted.
  bool PresentAlphaOnly(IRenderContext& context, const RECT& client, BYTE alpha);

  // --- A frame ---
  // A layered window partly past the edge of the virtual screen is never
  // reported dirty beyond that edge: an |update| that stops at the edge is
  // widened to the client's side.
  void ExtendToScreenEdges(RECT& update, const RECT& client);
  // The displays were rearranged: the virtual screen is read again.
  void OnDisplayChange() { virtual_screen_.reset(); }
  // Sizes the back buffer to |client|; a new size makes the whole client the
  // update. A layered frame's update area is cleared to transparent, except
  // |covered|: what the tree certainly paints over with opaque pixels.
  void PrepareBuffer(IRenderContext& context, const RECT& client, bool alpha_blit, RECT& update,
                     const RECT& covered) const;
  // GDI leaves alpha 0 where it draws: the painted part of |area| is made
  // opaque again in a layered frame.
  void RepairAlpha(IRenderContext& context, const RECT& update, const OpaqueArea& area) const;
  // UpdateLayeredWindow for a layered window, else a copy of |update| to
  // |hdc|.
  void Present(HDC hdc, IRenderContext& context, const RECT& update, BYTE alpha);

  // Frames presented so far (a held-back frame is not one).
  unsigned GetPresentCount() const { return present_count_; }
  // The window alpha the last frame was presented with.
  BYTE GetPresentedAlpha() const { return presented_alpha_; }
  // True once a frame the user can see has been presented to the visible
  // window: any frame of a plain window, a frame above alpha 0 of a layered
  // one.
  bool HasShownFrame() const { return shown_; }
  // The window has just become visible: a frame presented while it was
  // hidden is seen now. True when that makes it the first frame seen.
  bool NoteWindowShown();
  // A frame composed at alpha 0 waits to be presented at a higher alpha.
  bool IsHoldingFrame() const { return held_; }

 private:
  bool PostPaint();
  // The virtual screen's rectangle, read once: each of its four metrics
  // costs about a tenth of a millisecond on some systems (Wine asks the
  // display driver every time), while a download's progress paints many
  // times a second.
  const RECT& VirtualScreen();

  Window& window_;
  // The dirty area of a layered window not yet painted.
  RECT layered_dirty_ = {0, 0, 0, 0};
  bool paint_posted_ = false;
  // The window alpha changed since the last present.
  bool alpha_changed_ = false;
  unsigned present_count_ = 0;
  bool shown_ = false;
  // A frame composed at alpha 0 before any was shown waits in the buffer.
  bool held_ = false;
  // What the window's layered surface was last given: the alpha is part of
  // its pixels, so a frame with another alpha or size is presented whole.
  BYTE presented_alpha_ = 0;
  SIZE presented_size_ = {0, 0};
  std::optional<RECT> virtual_screen_;
};

}  // namespace ui
