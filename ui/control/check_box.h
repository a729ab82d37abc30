// CheckBoxTemplate: a button with a selected state that clicking toggles.
// While selected it paints its selected colours, selected images and selected
// text colour instead of the plain ones.
//
// Selectable is what option groups see of their members, whatever base each
// member is built over.
//
// Owned like its base; UI thread only.
#pragma once

#include "ui/control/button.h"

namespace ui {

class Selectable {
 public:
  virtual bool IsSelected() const = 0;
  // Stores |selected|; with |send_events| (and a window) the change sends
  // "select" or "unselect".
  virtual void SetSelected(bool selected, bool send_events = false) = 0;

 protected:
  ~Selectable() = default;
};

template <typename B>
class CheckBoxTemplate : public ButtonTemplate<B>, public Selectable {
 public:
  bool IsSelected() const override { return selected_; }
  void SetSelected(bool selected, bool send_events = false) override;
  // Toggles the selection with events; no click is sent.
  void Invoke() override;

  const std::wstring& GetSelectedTextColor() const { return selected_text_color_; }
  void SetSelectedTextColor(const std::wstring& color);
  void SetSelectedStateColor(ControlStateType state, const std::wstring& color);
  void SetSelectedStateImage(StateImageLayer layer, ControlStateType state,
                             const std::wstring& image);

  void SetAttribute(const std::wstring& name, const std::wstring& value) override;
  void PaintStateColors(IRenderContext* context) override;
  void PaintStateImages(IRenderContext* context) override;
  void PaintText(IRenderContext* context) override;
  bool HasHotState() const override;

 protected:
  AccessibleRole DefaultAccessibleRole() const override { return AccessibleRole::kCheckBox; }
  // The stored value, for subclasses that change how selecting works.
  void StoreSelected(bool selected) { selected_ = selected; }

 private:
  bool selected_ = false;
  std::wstring selected_text_color_;
  std::wstring selected_colors_[4];
  ImageAttribute selected_images_[2][4];
};

template <typename B>
void CheckBoxTemplate<B>::SetSelected(bool selected, bool send_events) {
  if (selected_ == selected) return;
  selected_ = selected;
  this->NotifyAccessibleEvent(EVENT_OBJECT_STATECHANGE);
  if (this->GetWindow() != nullptr && send_events) {
    const std::weak_ptr<cbase::WeakFlag> alive = this->GetWeakFlag();
    this->GetWindow()->SendEvent(this, selected ? kEventSelect : kEventUnSelect);
    if (alive.expired()) return;
  }
  this->Invalidate();
}

template <typename B>
void CheckBoxTemplate<B>::Invoke() {
  if (!this->IsInvokable()) return;
  SetSelected(!selected_, true);
}

template <typename B>
void CheckBoxTemplate<B>::SetSelectedTextColor(const std::wstring& color) {
  selected_text_color_ = color;
  this->Invalidate();
}

template <typename B>
void CheckBoxTemplate<B>::SetSelectedStateColor(ControlStateType state, const std::wstring& color) {
  selected_colors_[state] = color;
  this->Invalidate();
}

template <typename B>
void CheckBoxTemplate<B>::SetSelectedStateImage(StateImageLayer layer, ControlStateType state,
                                                const std::wstring& image) {
  selected_images_[layer][state].SetImageString(image);
  this->Invalidate();
}

template <typename B>
void CheckBoxTemplate<B>::SetAttribute(const std::wstring& name, const std::wstring& value) {
  static const struct {
    const wchar_t* name;
    StateImageLayer layer;
    ControlStateType state;
  } kImages[] = {
      {L"selectednormalimage", kStateImageBackground, kControlStateNormal},
      {L"selectedhotimage", kStateImageBackground, kControlStateHot},
      {L"selectedpushedimage", kStateImageBackground, kControlStatePushed},
      {L"selecteddisabledimage", kStateImageBackground, kControlStateDisabled},
      {L"selectedforenormalimage", kStateImageForeground, kControlStateNormal},
      {L"selectedforehotimage", kStateImageForeground, kControlStateHot},
      {L"selectedforepushedimage", kStateImageForeground, kControlStatePushed},
      {L"selectedforedisabledimage", kStateImageForeground, kControlStateDisabled},
  };
  static const struct {
    const wchar_t* name;
    ControlStateType state;
  } kColors[] = {
      {L"selectednormalcolor", kControlStateNormal},
      {L"selectedhotcolor", kControlStateHot},
      {L"selectedpushedcolor", kControlStatePushed},
      {L"selecteddisabledcolor", kControlStateDisabled},
  };
  if (name == L"selected") {
    SetSelected(ParseSwitch(value), true);
    return;
  }
  if (name == L"selectedtextcolor") {
    SetSelectedTextColor(value);
    return;
  }
  for (const auto& image : kImages) {
    if (name == image.name) {
      SetSelectedStateImage(image.layer, image.state, value);
      return;
    }
  }
  for (const auto& color : kColors) {
    if (name == color.name) {
      SetSelectedStateColor(color.state, value);
      return;
    }
  }
  ButtonTemplate<B>::SetAttribute(name, value);
}

template <typename B>
void CheckBoxTemplate<B>::PaintStateColors(IRenderContext* context) {
  if (!selected_) {
    ButtonTemplate<B>::PaintStateColors(context);
    return;
  }
  this->PaintStateColorSet(context, selected_colors_);
}

template <typename B>
void CheckBoxTemplate<B>::PaintStateImages(IRenderContext* context) {
  if (!selected_) {
    ButtonTemplate<B>::PaintStateImages(context);
    return;
  }
  this->PaintStateImageLayer(context, selected_images_[kStateImageBackground]);
  this->PaintStateImageLayer(context, selected_images_[kStateImageForeground]);
}

template <typename B>
void CheckBoxTemplate<B>::PaintText(IRenderContext* context) {
  if (!selected_) {
    ButtonTemplate<B>::PaintText(context);
    return;
  }
  std::wstring color = selected_text_color_;
  if (color.empty()) color = this->GetStateTextColor(kControlStateNormal);
  if (this->GetState() == kControlStateDisabled) {
    color = this->GetStateTextColor(kControlStateDisabled);
  }
  this->DrawTextInColor(context, color, 255);
}

template <typename B>
bool CheckBoxTemplate<B>::HasHotState() const {
  return !selected_colors_[kControlStateHot].empty() || ButtonTemplate<B>::HasHotState();
}

extern template class CheckBoxTemplate<Control>;
extern template class CheckBoxTemplate<Box>;

using CheckBox = CheckBoxTemplate<Control>;
using CheckBoxBox = CheckBoxTemplate<Box>;

}  // namespace ui
