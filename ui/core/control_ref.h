// ControlRef: a reference to a control that reads as nullptr once the control
// is deleted.
//
// The window keeps its event targets (focus, hover, press, key), its name
// table, option groups and delayed deletions in these, so a control deleted
// by anyone, at any time, leaves nothing dangling and needs to tell no one.
// It rides on the control's weak flag: the reference expires when the
// control's SupportWeakCallback base dies, the last step of its destructor.
//
// Holds no ownership. UI thread only, as the controls it points at.
#pragma once

#include <memory>

#include "base/weak_callback.h"

namespace ui {

class Control;

class ControlRef {
 public:
  ControlRef() = default;
  // Implicit, so a target is assigned as a plain pointer would be.
  ControlRef(Control* control);  // NOLINT(google-explicit-constructor)

  // The control while it lives, else nullptr.
  Control* Get() const { return alive_.expired() ? nullptr : control_; }
  // True when this refers to |control|, a live one; false for nullptr.
  bool Is(const Control* control) const { return control != nullptr && Get() == control; }
  void Reset() {
    control_ = nullptr;
    alive_.reset();
  }

 private:
  Control* control_ = nullptr;
  std::weak_ptr<cbase::WeakFlag> alive_;
};

}  // namespace ui
