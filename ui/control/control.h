// Control: the base of every element of a skin. On top of the geometry of
// PlaceHolder it holds the look (colours, borders, rounded corners, a
// background image and state images in two layers), the interaction switches,
// the visual state machine (normal, hot, pushed, disabled), the handlers that
// program code and skins attach to events, and the string attribute interface
// (SetAttribute) through which the window builder configures it. Derived
// controls handle their own attribute names first and pass the rest down.
//
// Colours are kept as names of text colours declared in the skin and resolved
// through the GlobalManager each time the control paints.
//
// Ownership: a control belongs to its parent box (the root to its window) and
// is deleted by it; handlers that may outlive it are bound to its weak flag.
// Every control lives on the UI thread of its window.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/thread_checker.h"
#include "ui/animation/animation_target.h"
#include "ui/animation/control_animations.h"
#include "ui/control/accessible_role.h"
#include "ui/control/event_args.h"
#include "ui/control/place_holder.h"
#include "ui/render/image_attribute.h"
#include "ui/render/render.h"

namespace ui {

class TimerManager;

enum ControlStateType {
  kControlStateNormal = 0,
  kControlStateHot = 1,
  kControlStatePushed = 2,
  kControlStateDisabled = 3,
};

enum CursorType { kCursorArrow = 0, kCursorHand = 1, kCursorIBeam = 2 };

// The two layers of state images: drawn behind and in front of the state
// colour's successors (the foreground layer is drawn second).
enum StateImageLayer { kStateImageBackground = 0, kStateImageForeground = 1 };

// Flags of FindControl.
enum FindFlags : UINT {
  kFindVisible = 0x1,
  kFindEnabled = 0x2,
  kFindHitTest = 0x4,   // data is a POINT in client coordinates
  kFindTopFirst = 0x8,  // children last to first (the one painted on top first)
  kFindMeFirst = 0x80000000,
};

// Answers the control when it is the one sought, else nullptr.
using FindControlProc = Control* (*)(Control* control, void* data);

class Control : public PlaceHolder, public AnimationTarget {
 public:
  Control();
  ~Control() override;

  // --- Tree ---
  // Attaches the control (and, for boxes, its subtree) to |window| under
  // |parent|; |init| is set when the control joins a live tree, so it may
  // register with the window (option groups).
  virtual void SetWindow(Window* window, Box* parent, bool init = true);

  // The plain test of this control: the visibility, enabled and hit-test
  // conditions of |flags|, then |proc|. Boxes search their children too.
  virtual Control* FindControl(FindControlProc proc, void* data, UINT flags,
                               POINT scroll_offset = POINT{0, 0});
  // Whether Tab may move the focus here: controls that act (buttons, edits)
  // answer true, text, pictures and containers false.
  virtual bool AllowsTabStop() const { return false; }
  // A tab stop whose keyboard input is on and that does not refuse focus.
  bool IsTabFocusable() const { return AllowsTabStop() && IsKeyboardEnabled() && !IsNoFocus(); }
  // Controls that track a drag while pressed (scroll bars) answer true: when
  // the window loses the focus they get a "buttonup" so the drag ends.
  virtual bool NeedsButtonUpOnKillFocus() const { return false; }
  // List container elements answer true: the items a list box can select.
  virtual bool IsListElement() const { return false; }
  // Scroll position a box applies to its children; 0 except in scroll boxes.
  virtual POINT GetScrollOffset() const { return POINT{0, 0}; }
  // The rectangle in client coordinates once ancestors' scrolling is applied.
  RECT GetRectWithScrollOffset() const;
  bool IsPointInWithScrollOffset(POINT point) const;
  // True when |control| is this control or one of its descendants.
  bool IsSelfOrAncestorOf(const Control* control) const;

  // --- Attributes ---
  virtual void SetAttribute(const std::wstring& name, const std::wstring& value);
  // Applies the attribute list of each named class: from the global classes,
  // or from the window's classes when the global table lacks the name.
  void SetClass(const std::wstring& classes);
  // One attribute as the skin gives it: the window builder, classes and
  // attribute lists come through here. Attributes that hold lengths or
  // images are remembered as written, because they are scaled when applied.
  void ApplyAttribute(const std::wstring& name, const std::wstring& value);
  // After a change of display scale: the remembered lengths and images
  // applied again, in the order they were last set.
  virtual void ReapplyScaledAttributes();
  // name="value" pairs with one space between them.
  void ApplyAttributeList(const std::wstring& list);
  // The reaction behind a skin's Event elements: applies |list| to the
  // receiver ("./name" or ".\name": below this control; a bare name: anywhere
  // in the window). Always lets processing continue.
  bool ApplyAttributeListOnEvent(const std::wstring& receiver, const std::wstring& list,
                                 const EventArgs& args);
  // A handler that runs ApplyAttributeListOnEvent while this control lives
  // (bound to its weak flag), for attaching a skin's Event elements.
  EventCallback MakeAttributeListHandler(const std::wstring& receiver, const std::wstring& list);

  // --- State ---
  ControlStateType GetState() const { return state_; }
  void SetState(ControlStateType state);
  int GetHotAlpha() const { return hot_alpha_; }
  void SetHotAlpha(int alpha);
  int GetAlpha() const { return alpha_; }
  void SetAlpha(int alpha);

  bool IsEnabled() const { return enabled_; }
  virtual void SetEnabled(bool enabled);
  bool IsMouseEnabled() const { return mouse_enabled_; }
  void SetMouseEnabled(bool enabled) { mouse_enabled_ = enabled; }
  bool IsKeyboardEnabled() const { return keyboard_enabled_; }
  void SetKeyboardEnabled(bool enabled) { keyboard_enabled_ = enabled; }
  bool IsNoFocus() const { return no_focus_; }
  void SetNoFocus() { no_focus_ = true; }
  bool IsContextMenuUsed() const { return context_menu_used_; }
  void SetContextMenuUsed(bool used) { context_menu_used_ = used; }
  bool IsUseCache() const { return use_cache_; }
  void SetUseCache(bool use);
  bool IsReceivePointer() const { return receive_pointer_; }
  void SetReceivePointer(bool receive) { receive_pointer_ = receive; }
  bool IsFocused() const { return focused_; }
  // Set between a button press on the control and its release.
  bool HasMouseCapture() const { return mouse_capture_; }
  // Visible and enabled.
  bool IsInvokable() const { return IsVisible() && IsEnabled(); }
  // What a completed click does (buttons click, check boxes toggle).
  virtual void Invoke() {}

  // --- Look ---
  const std::wstring& GetBkColor() const { return bk_color_; }
  void SetBkColor(const std::wstring& color);
  const std::wstring& GetStateColor(ControlStateType state) const { return state_colors_[state]; }
  void SetStateColor(ControlStateType state, const std::wstring& color);
  const std::wstring& GetBorderColor() const { return border_color_; }
  void SetBorderColor(const std::wstring& color);
  int GetBorderSize() const { return border_size_; }
  // The uniform width; the four side widths are cleared.
  void SetBorderSize(int size);
  const RECT& GetSideBorderSizes() const { return side_border_sizes_; }
  void SetSideBorderSizes(const RECT& sizes);
  const SIZE& GetBorderRound() const { return border_round_; }
  void SetBorderRound(SIZE round);

  const ImageAttribute& GetBkImage() const { return bk_image_; }
  void SetBkImage(const std::wstring& image);
  const ImageAttribute& GetStateImage(StateImageLayer layer, ControlStateType state) const {
    return state_images_[layer][state];
  }
  // The hot image of either layer also switches the hot fade on.
  void SetStateImage(StateImageLayer layer, ControlStateType state, const std::wstring& image);
  // A hot colour or a hot image makes the control change its look on hover.
  virtual bool HasHotState() const;

  POINT GetRenderOffset() const { return render_offset_; }
  void SetRenderOffset(POINT offset);
  CursorType GetCursorType() const { return cursor_type_; }
  void SetCursorType(CursorType type) { cursor_type_ = type; }

  // The tooltip text, or the language string of the tooltip text id when
  // no text is set.
  std::wstring GetToolTipText() const;
  void SetToolTipText(const std::wstring& text);
  void SetToolTipTextId(const std::wstring& id);
  int GetToolTipWidth() const { return tooltip_width_; }
  void SetToolTipWidth(int width) { tooltip_width_ = width; }
  const std::wstring& GetDataId() const { return data_id_; }
  void SetDataId(const std::wstring& id) { data_id_ = id; }

  // --- Accessibility ---
  // Names the control to accessibility clients while it lives: unique in the
  // process, positive.
  long GetAccessibleId() const { return accessible_id_; }
  // The "accrole" attribute when the skin set one, else the class's own.
  AccessibleRole GetAccessibleRole() const;
  void SetAccessibleRole(AccessibleRole role);
  // What a screen reader reads out: the text (labels and buttons), else the
  // tooltip, else the "accname" attribute (for image-only controls).
  virtual std::wstring GetAccessibleName() const;
  const std::wstring& GetAccName() const { return acc_name_; }
  void SetAccName(const std::wstring& name);
  // A value (progress, edit text) and a longer description; empty for most.
  virtual std::wstring GetAccessibleValue() const { return std::wstring(); }
  virtual std::wstring GetAccessibleDescription() const { return std::wstring(); }

  // --- Animations ---
  // The control's players, made on first use.
  ControlAnimations& Animations();
  // The player of |type|, or nullptr (also when no player was ever made).
  AnimationPlayer* GetAnimationPlayer(AnimationType type) const;
  // Shows with the control's show animations (Appear) or hides through them
  // (Disappear); plain SetVisible when it has none.
  void SetFadeVisible(bool visible);
  // The timer manager new controls' animations run on; nullptr (the default)
  // means the process-wide one. Tests install one over a hand-driven clock.
  // Same as TimerManager::SetCurrentForTesting / CurrentForTesting.
  static void SetAnimationTimerManager(TimerManager* timers);
  static TimerManager* GetAnimationTimerManager();

  // --- Events ---
  void AttachEvent(EventType type, EventCallback callback);
  void AttachMarkupEvent(EventType type, EventCallback callback);
  void DetachEvent(EventType type);
  void AttachAll(EventCallback callback) { AttachEvent(kEventAll, std::move(callback)); }
  void AttachClick(EventCallback callback) { AttachEvent(kEventClick, std::move(callback)); }
  void AttachSelect(EventCallback callback) { AttachEvent(kEventSelect, std::move(callback)); }
  void AttachUnSelect(EventCallback callback) { AttachEvent(kEventUnSelect, std::move(callback)); }

  // The event entry: runs the attached handlers (for events this control
  // sent), then, for boxes, the bubbled-event handlers, then the message
  // handling. A handler may delete the control; dispatch then ends at once.
  virtual void DispatchEvent(EventArgs& args);
  // What the control does with an event; what it does not consume climbs to
  // the parent with the same sender.
  virtual void HandleMessage(EventArgs& args);
  // Dispatches an event with this control as sender. Without a tick count or
  // mouse position the current tick and the window's last mouse position are
  // used.
  void SendEvent(EventType type, WPARAM wparam = 0, LPARAM lparam = 0);

  // --- Layout ---
  void SetBounds(const RECT& rect) override;
  // The fixed size; an auto dimension sizes to the content (the larger of the
  // background or normal image and the text). Cached until the re-estimate
  // flag is set again.
  SIZE DesiredSize(SIZE available) override;
  // The same estimate without the cache.
  SIZE MeasureOwnContent(SIZE available);
  // Size of the text for |available| space; none for a plain control.
  virtual SIZE EstimateText(SIZE available);
  void SetVisible(bool visible) override;
  void SetInternVisible(bool visible) override;
  void Invalidate() override;

  // --- Painting ---
  // Paints the control and its children: through an off-screen bitmap when
  // the alpha is below 255 or the cache is on, else directly, clipped to the
  // control (rounded when a corner ellipse is set) and shifted by the render
  // offset.
  virtual void Paint(IRenderContext* context, const RECT& dirty);
  // The control's own look inside |dirty|: background colour, background
  // image, state colour, state images, text, border.
  virtual void PaintSelf(IRenderContext* context, const RECT& dirty);
  virtual void PaintChildren(IRenderContext* context, const RECT& dirty);
  // Of this control and its descendants, the one painted last whose own look
  // covers all of |dirty| with opaque pixels within |clip| (the part the
  // ancestors let it draw in); null when none does. What is painted before
  // it cannot be seen in |dirty|.
  virtual Control* FindOccluder(const RECT& dirty, const RECT& clip);
  // Paints the control as a window's root: itself and its children inside
  // |update|, whatever its own alpha. With |cull|, painting starts at the
  // last control that covers all of |update| with opaque pixels (a progress
  // step inside a card does not repaint the page under the card).
  void PaintAsRoot(IRenderContext* context, const RECT& update, bool cull);
  // The part of the control that its own look, painted before its children,
  // covers with opaque pixels: the inside of an opaque background colour.
  // False when it promises none.
  virtual bool OpaqueArea(RECT* area) const;
  virtual void PaintBackgroundColor(IRenderContext* context);
  virtual void PaintBackgroundImage(IRenderContext* context);
  virtual void PaintStateColors(IRenderContext* context);
  virtual void PaintStateImages(IRenderContext* context);
  virtual void PaintText(IRenderContext* context);
  virtual void PaintBorder(IRenderContext* context);
  // Draws |image| over this control's rectangle (see ui/render DrawImage).
  bool DrawImage(IRenderContext* context, ImageAttribute& image,
                 const std::wstring& modifier = std::wstring(), int fade = -1);

  // Decoded images: loaded ahead of painting, dropped while far out of view.
  virtual void LoadImageCache();
  virtual void UnloadImageCache();
  virtual void ClearImageCache();

  // The window's resource folder, or "" without a window.
  std::wstring GetResourceFolder() const;

  // --- AnimationTarget ---
  SIZE EstimateAnimationSize(SIZE available) override { return DesiredSize(available); }
  void ApplyAnimatedAlpha(int alpha) override { SetAlpha(alpha); }
  void ApplyAnimatedHotAlpha(int hot_alpha) override { SetHotAlpha(hot_alpha); }
  void ApplyAnimatedOffsetX(int x) override;
  void ApplyAnimatedOffsetY(int y) override;
  void ApplyAnimatedWidth(int width) override { SetFixedWidth(width, true, false); }
  void ApplyAnimatedHeight(int height) override { SetFixedHeight(height, true, false); }
  void ApplyAnimatedVisible(bool visible) override { SetVisible(visible); }
  std::weak_ptr<cbase::WeakFlag> AnimationWeakFlag() override { return GetWeakFlag(); }

 protected:
  // The role of the class: a picture that has a name is a graphic, anything
  // else plain stays out of the tree.
  virtual AccessibleRole DefaultAccessibleRole() const;
  // Tells the window's accessibility clients about WinEvent |event| on this
  // control (nothing outside a window).
  void NotifyAccessibleEvent(DWORD event);

  // The visibility, enabled and hit-test conditions of |flags| (|data| is the
  // point for a hit test): the first step of every FindControl.
  bool PassesFindFilter(const void* data, UINT flags) const;
  // The part of the control being repainted, valid during PaintSelf.
  const RECT& GetPaintRect() const { return paint_rect_; }
  bool HasHotFade() const { return GetAnimationPlayer(AnimationType::kHot) != nullptr; }
  const cbase::ThreadChecker& thread_checker() const { return thread_checker_; }

  // Steps of HandleMessage that derived controls reuse.
  void OnMouseEnter(const EventArgs& args);
  void OnMouseLeave(const EventArgs& args);
  void OnButtonDown(const EventArgs& args);
  // Answers whether the release completed a click.
  bool OnButtonUp(const EventArgs& args, bool pointer);
  // Gestures a control follows itself (touch and pen scrolling) hold the
  // capture flag from the press to the lift, as a button press does.
  void SetMouseCapture(bool capture) { mouse_capture_ = capture; }

  // Runs the code and markup handlers of one table pair for |args|: the
  // lists of the event's code while |go| holds, the "all" lists always, each
  // list that ran replacing |go| with its result. False when a handler
  // destroyed the control (the caller must return at once without touching
  // members).
  static bool RunHandlers(const EventHandlerTable& code, const EventHandlerTable& markup,
                          const EventArgs& args, const std::weak_ptr<cbase::WeakFlag>& alive,
                          bool& go);
  // The control's own handlers, for an event it sent.
  bool RunOwnHandlers(const EventArgs& args, bool& go);
  // The handlers for events that climb through the control; boxes have them.
  virtual bool RunBubbledHandlers(const EventArgs& /*args*/, bool& /*go*/) { return true; }

  // Fills the control (or its rounded shape) with a resolved colour.
  void FillColor(IRenderContext* context, const RECT& rect, ARGB color, BYTE fade);
  // Paints one set of state colours (normal, hot, pushed, disabled) with the
  // hot cross-fade and the fallbacks: pushed to hot, hot and disabled to
  // normal.
  void PaintStateColorSet(IRenderContext* context, const std::wstring* colors);
  // The state whose entry of |values| applies: an empty pushed entry falls
  // back to hot, an empty hot or disabled one to normal.
  static ControlStateType FallbackState(const std::wstring* values, ControlStateType state);
  // Draws the image of one state layer with the hot cross-fade rules.
  void PaintStateImageLayer(IRenderContext* context, ImageAttribute* images);

  // Repaints the window area; only the ancestors' cached pictures go stale.
  void InvalidateWindowArea();
  void MarkAncestorCachesDirty();

 private:
  void StartBackgroundPlay();
  void StepBackgroundPlay();
  void StopBackgroundPlay();
  // Changing an image of an auto-sized control changes its size.
  void OnImageChanged();
  bool PaintThroughCache(IRenderContext* context, const RECT& overlap, bool with_children);

  ControlStateType state_ = kControlStateNormal;
  int hot_alpha_ = 0;
  int alpha_ = 255;
  std::wstring bk_color_;
  std::wstring state_colors_[4];
  std::wstring border_color_;
  int border_size_ = 0;
  RECT side_border_sizes_ = {0, 0, 0, 0};
  SIZE border_round_ = {0, 0};
  ImageAttribute bk_image_;
  ImageAttribute state_images_[2][4];
  POINT render_offset_ = {0, 0};
  CursorType cursor_type_ = kCursorArrow;
  std::wstring tooltip_text_;
  std::wstring tooltip_text_id_;
  std::wstring data_id_;
  int tooltip_width_ = 300;
  std::wstring acc_name_;
  AccessibleRole acc_role_ = AccessibleRole::kNone;
  bool acc_role_set_ = false;
  long accessible_id_;

  bool enabled_ = true;
  bool mouse_enabled_ = true;
  bool keyboard_enabled_ = true;
  bool no_focus_ = false;
  bool context_menu_used_ = false;
  bool use_cache_ = false;
  bool receive_pointer_ = false;
  bool focused_ = false;
  bool mouse_capture_ = false;

  EventHandlerTable code_events_;
  EventHandlerTable markup_events_;

  std::unique_ptr<ControlAnimations> animations_;

  // Off-screen copy of the control for alpha and cached painting.
  std::unique_ptr<IRenderContext> cache_;
  bool cache_dirty_ = true;
  RECT paint_rect_ = {0, 0, 0, 0};
  SIZE estimate_ = {0, 0};

  // Revokes the frame timer of an animated background image.
  cbase::WeakCallbackFlag background_play_flag_;
  // The UI thread the control was made on; debug builds check it where
  // events, painting and tree changes come in.
  // Attributes whose values follow the display scale, as last written.
  std::vector<std::pair<std::wstring, std::wstring>> scaled_attributes_;
  cbase::ThreadChecker thread_checker_;
};

}  // namespace ui
