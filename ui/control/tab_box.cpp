#include "ui/control/tab_box.h"

#include "ui/control/attribute_parsing.h"
#include "ui/core/window.h"

namespace ui {

TabBox::TabBox() = default;

void TabBox::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"selectedid") {
    current_ = ParseInt(value.c_str());
  } else if (name == L"fadeswitch") {
    fade_switch_ = ParseSwitch(value);
  } else {
    Box::SetAttribute(name, value);
  }
}

void TabBox::MakeForeground(Control* page) {
  page->SetMouseEnabled(true);
  if (Box* box = dynamic_cast<Box*>(page)) box->SetMouseChildEnabled(true);
  page->SetAlpha(255);
  page->Invalidate();
}

void TabBox::MakeBackground(Control* page) {
  page->SetMouseEnabled(false);
  if (Box* box = dynamic_cast<Box*>(page)) box->SetMouseChildEnabled(false);
  page->SetAlpha(0);
  page->Invalidate();
}

void TabBox::PushBack(Control* page) {
  if (!fade_switch_) page->SetFadeVisible(false);
  MakeBackground(page);
}

AnimationPlayer& TabBox::StartSlide(Control* page, int from, int to) {
  AnimationPlayer* player = page->GetAnimationPlayer(AnimationType::kInOutXFromRight);
  if (player == nullptr) {
    page->Animations().SetFadeInOutXFromRight(true);
    player = page->GetAnimationPlayer(AnimationType::kInOutXFromRight);
  }
  player->SetStartValue(from);
  player->SetEndValue(to);
  player->SetSpeedUpFactor(kSlideSpeedUpFactor);
  player->SetCompleteCallback(nullptr);
  return *player;
}

bool TabBox::SelectPage(int index) {
  if (index < 0 || index >= ChildCount()) return false;
  if (index == current_) return true;
  const int old = current_;
  current_ = index;
  for (int i = 0; i < ChildCount(); ++i) {
    Control* page = ChildAt(i);
    const int width = page->GetWidth();
    if (i == index) {
      MakeForeground(page);
      if (fade_switch_) {
        // Going back slides in from the left, going on from the right.
        StartSlide(page, index < old ? width : -width, 0).Start();
      } else {
        page->SetFadeVisible(true);
      }
    } else if (i == old) {
      if (fade_switch_) {
        AnimationPlayer& slide = StartSlide(page, 0, index < old ? -width : width);
        slide.SetCompleteCallback(ToWeakCallback([page] { MakeBackground(page); }));
        slide.Start();
      } else {
        MakeBackground(page);
        page->SetFadeVisible(false);
      }
    } else {
      PushBack(page);
    }
  }
  if (Window* window = GetWindow()) window->FocusNextTabStop();
  SendEvent(kEventSelect, static_cast<WPARAM>(index), static_cast<LPARAM>(old));
  return true;
}

bool TabBox::Add(Control* control) {
  if (!Box::Add(control)) return false;
  const int index = IndexOf(control);
  if (current_ == -1 && control->IsVisible()) current_ = index;
  if (index == current_ && control->IsVisible()) return true;
  PushBack(control);
  return true;
}

bool TabBox::InsertAt(Control* control, int index) {
  if (!Box::InsertAt(control, index)) return false;
  if (current_ == -1 && control->IsVisible()) {
    current_ = IndexOf(control);
    return true;
  }
  // The current page moves up when a page goes in at or before it; the new
  // page is never shown next to it.
  if (current_ != -1 && index <= current_) ++current_;
  PushBack(control);
  return true;
}

bool TabBox::Remove(Control* control) {
  const int index = IndexOf(control);
  if (!Box::Remove(control)) return false;
  if (index == current_) {
    if (ChildCount() == 0) {
      current_ = -1;
    } else {
      current_ = 0;
      Control* page = ChildAt(0);
      if (!fade_switch_) page->SetFadeVisible(true);
      MakeForeground(page);
    }
    RelayoutUpward();
  } else if (index < current_) {
    --current_;
  }
  return true;
}

bool TabBox::RemoveAt(int index) {
  Control* page = ChildAt(index);
  return page != nullptr && Remove(page);
}

void TabBox::RemoveAll() {
  current_ = -1;
  Box::RemoveAll();
  RelayoutUpward();
}

}  // namespace ui
