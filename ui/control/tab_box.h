// TabBox: a box whose children are pages, one of them current. Without the
// fade switch the other pages are hidden; with it ("fadeswitch" "true") all
// pages stay visible, only the current one is opaque and takes the mouse, and
// switching slides the new page in and the old one out sideways.
//
// Owned like any box; UI thread only.
#pragma once

#include "ui/control/box.h"

namespace ui {

class TabBox : public Box {
 public:
  // Speed-up factor of the sliding page switch.
  static constexpr double kSlideSpeedUpFactor = 0.015;

  TabBox();

  // Shows page |index| and sends "select" (wParam = new index, lParam = old
  // index) to the tab box. False for an index that is not a page.
  bool SelectPage(int index);
  int GetCurrentIndex() const { return current_; }
  bool IsFadeSwitch() const { return fade_switch_; }
  void SetFadeSwitch(bool fade_switch) { fade_switch_ = fade_switch; }

  // "selectedid" (stored; nothing is shown or hidden yet) and "fadeswitch".
  void SetAttribute(const std::wstring& name, const std::wstring& value) override;
  bool Add(Control* control) override;
  bool InsertAt(Control* control, int index) override;
  bool Remove(Control* control) override;
  bool RemoveAt(int index) override;
  void RemoveAll() override;

 private:
  // Opaque and taking the mouse.
  static void MakeForeground(Control* page);
  // Transparent and deaf to the mouse.
  static void MakeBackground(Control* page);
  // A page that is not current: hidden too unless pages slide.
  void PushBack(Control* page);
  // Runs the page's slide from |from| to |to| (render offsets).
  AnimationPlayer& StartSlide(Control* page, int from, int to);

  int current_ = -1;
  bool fade_switch_ = false;
};

}  // namespace ui
