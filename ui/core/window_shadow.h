// WindowShadow: the drop shadow a skinned window draws around its root.
//
// While attached (the default) the window's root is wrapped in a ShadowBox
// whose padding is the shadow's thickness and whose background is the shadow
// image; the window grows by that thickness on every side, and the shadow
// border is neither caption nor sizing border. Maximising drops the padding
// (and the root's rounded corners of the default image); restoring brings
// them back.
//
// Owned by its window; the ShadowBox it makes belongs to the window's tree.
// UI thread only.
#pragma once

#include <windows.h>

#include <string>

#include "ui/core/control_ref.h"

namespace ui {

class Control;
class ShadowBox;

class WindowShadow {
 public:
  // Thickness of the default shadow on every side, before display scaling.
  static constexpr int kDefaultThickness = 14;
  static constexpr wchar_t kDefaultImage[] =
      L"file='../public/bk/bk_shadow.png' corner='30,30,30,30'";
  // Rounded corners given to the root under the default image.
  static constexpr int kDefaultRootRound = 3;

  WindowShadow();

  bool IsAttached() const { return attached_; }
  void SetAttached(bool attached) { attached_ = attached; }
  bool UsesDefaultImage() const { return default_image_; }
  const std::wstring& GetImage() const { return image_; }
  // An image of the skin's own: the default look of the root is left alone.
  void SetImage(const std::wstring& image);
  // The thickness on each side (display-scaled) while attached, else zero.
  RECT GetThickness() const;
  // The thickness as written; it is scaled for the display.
  void SetThickness(const RECT& thickness);
  // The padding the shadow takes from the window right now: the thickness
  // while attached and not maximised, else zero. Painting and hit testing
  // read this; the thickness is what the restored window adds to its size.
  RECT GetPadding() const;

  // Wraps |root| in the shadow box and answers the new root; answers |root|
  // itself when the shadow is not attached.
  Control* Wrap(Control* root);
  // The box Wrap made, while it lives.
  ShadowBox* GetShadowBox() const;

  // WM_SIZE: SIZE_MAXIMIZED takes the shadow away, SIZE_RESTORED brings it
  // back.
  void OnMaximizedOrRestored(bool maximized);
  // The display scale changed: the thickness is scaled again from the value
  // as written and handed to the box, which is sized around the (already
  // rescaled) root again.
  void OnDpiChanged();

 private:
  void FitBoxAround(Control* box, Control* root) const;
  // Gives the root the default image's corners (scaled; none while
  // maximised); a skin's own image leaves the root alone.
  void RoundRoot(Control* root) const;

  bool attached_ = true;
  bool default_image_ = true;
  bool maximized_ = false;
  std::wstring image_;
  RECT written_ = {kDefaultThickness, kDefaultThickness, kDefaultThickness, kDefaultThickness};
  RECT thickness_;
  // Both belong to the window's tree and may be deleted with it.
  ControlRef box_;
  ControlRef inner_root_;
};

}  // namespace ui
