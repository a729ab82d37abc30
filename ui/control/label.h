// LabelTemplate: adds a text to a control (Label = over Control) or to a box
// (LabelBox = over Box): font, DrawText-style alignment bits, padding, and a
// text colour per state. A plain label sizes itself to its text; a label box
// stretches and lays out its children like any box.
//
// Owned like its base; UI thread only.
#pragma once

#include <windows.h>

#include <algorithm>
#include <string>
#include <type_traits>

#include "base/utf8.h"
#include "ui/control/attribute_parsing.h"
#include "ui/control/attribute_table.h"
#include "ui/control/box.h"
#include "ui/control/control.h"
#include "ui/core/global_manager.h"
#include "ui/core/high_contrast.h"
#include "ui/core/window.h"
#include "ui/render/render.h"
#include "ui/render/text_image.h"

namespace ui {

// Measures text for controls that have no window (or whose window has no
// render context yet): one context for the process, made from the render
// factory on first use. nullptr when no factory is installed.
IRenderContext* TextMeasuringContext(const Control* control);

template <typename B>
class LabelTemplate : public B {
 public:
  static constexpr UINT kDefaultTextStyle = DT_SINGLELINE | DT_NOCLIP | DT_END_ELLIPSIS;

  LabelTemplate();

  // The text, or the language string of the text id when no text is set.
  virtual std::wstring GetText() const;
  // Both re-lay out the ancestors of an auto-sized label and otherwise only
  // repaint; an unchanged value does nothing.
  virtual void SetText(const std::wstring& text);
  virtual void SetTextId(const std::wstring& id);
  void SetUtf8Text(const std::string& text) { SetText(cbase::Utf8ToUtf16Lenient(text)); }
  void SetUtf8TextId(const std::string& id) { SetTextId(cbase::Utf8ToUtf16Lenient(id)); }
  const std::wstring& GetTextId() const { return text_id_; }

  UINT GetTextStyle() const { return text_style_; }
  void SetTextStyle(UINT style);
  bool IsSingleLine() const { return single_line_; }
  void SetSingleLine(bool single_line);
  bool IsLineLimit() const { return line_limit_; }
  void SetLineLimit(bool line_limit);
  const std::wstring& GetFont() const { return font_id_; }
  void SetFont(const std::wstring& font_id);
  const RECT& GetTextPadding() const { return text_padding_; }
  void SetTextPadding(const RECT& padding, bool scale = true);
  const std::wstring& GetStateTextColor(ControlStateType state) const {
    return text_colors_[state];
  }
  void SetStateTextColor(ControlStateType state, const std::wstring& color);

  void SetAttribute(const std::wstring& name, const std::wstring& value) override;
  SIZE EstimateText(SIZE available) override;
  void PaintText(IRenderContext* context) override;
  bool HasHotState() const override;
  // The text when there is one.
  std::wstring GetAccessibleName() const override;

 protected:
  // A plain label is static text; a label box is a container like any box.
  AccessibleRole DefaultAccessibleRole() const override;
  // The style with the single-line flag copied in, as every measure and
  // paint uses it.
  UINT EffectiveTextStyle();
  // Draws the text in the colour named |color| (nothing for an empty text);
  // |overlay| for the hot colour fading in over the normal one. Text drawn
  // whole is kept between frames.
  void DrawTextInColor(IRenderContext* context, const std::wstring& color, BYTE fade,
                       bool overlay = false);

 private:
  std::wstring font_id_;
  UINT text_style_ = kDefaultTextStyle;
  bool single_line_ = true;
  bool line_limit_ = false;
  RECT text_padding_ = {0, 0, 0, 0};
  RECT written_text_padding_ = {0, 0, 0, 0};
  std::wstring text_;
  std::wstring text_id_;
  std::wstring text_colors_[4];
  // The drawn text, and the hot colour's over it.
  TextImage text_images_[2];
};

template <typename B>
LabelTemplate<B>::LabelTemplate() {
  text_colors_[kControlStateNormal] = GlobalManager::GetDefaultTextColor();
  text_colors_[kControlStateDisabled] = GlobalManager::GetDefaultDisabledTextColor();
  // A plain label sizes to its text; a label box stretches like any box.
  if constexpr (!std::is_base_of_v<Box, B>) {
    this->SetFixedWidth(Control::kAuto, false);
    this->SetFixedHeight(Control::kAuto, false);
  }
}

template <typename B>
std::wstring LabelTemplate<B>::GetText() const {
  if (text_.empty() && !text_id_.empty()) return GlobalManager::GetText(text_id_);
  return text_;
}

namespace label_internal {

// After a text change: a content-sized control changes size.
inline void OnContentChanged(Control* control) {
  if (control->GetFixedWidth() == Control::kAuto || control->GetFixedHeight() == Control::kAuto) {
    control->RelayoutUpward();
  } else {
    control->Invalidate();
  }
}

}  // namespace label_internal

template <typename B>
void LabelTemplate<B>::SetText(const std::wstring& text) {
  if (text_ == text) return;
  text_ = text;
  label_internal::OnContentChanged(this);
  this->NotifyAccessibleEvent(EVENT_OBJECT_NAMECHANGE);
}

template <typename B>
void LabelTemplate<B>::SetTextId(const std::wstring& id) {
  if (text_id_ == id) return;
  text_id_ = id;
  label_internal::OnContentChanged(this);
  this->NotifyAccessibleEvent(EVENT_OBJECT_NAMECHANGE);
}

template <typename B>
std::wstring LabelTemplate<B>::GetAccessibleName() const {
  std::wstring text = GetText();
  return text.empty() ? B::GetAccessibleName() : text;
}

template <typename B>
AccessibleRole LabelTemplate<B>::DefaultAccessibleRole() const {
  if constexpr (std::is_base_of_v<Box, B>) {
    return B::DefaultAccessibleRole();
  } else {
    return AccessibleRole::kStaticText;
  }
}

template <typename B>
void LabelTemplate<B>::SetTextStyle(UINT style) {
  text_style_ = style;
  this->Invalidate();
}

template <typename B>
void LabelTemplate<B>::SetSingleLine(bool single_line) {
  if (single_line_ == single_line) return;
  single_line_ = single_line;
  this->Invalidate();
}

template <typename B>
void LabelTemplate<B>::SetLineLimit(bool line_limit) {
  if (line_limit_ == line_limit) return;
  line_limit_ = line_limit;
  this->Invalidate();
}

template <typename B>
void LabelTemplate<B>::SetFont(const std::wstring& font_id) {
  font_id_ = font_id;
  this->Invalidate();
}

template <typename B>
void LabelTemplate<B>::SetTextPadding(const RECT& padding, bool scale) {
  written_text_padding_ = padding;
  text_padding_ = padding;
  if (scale) GlobalManager::ScaleRect(text_padding_);
  label_internal::OnContentChanged(this);
}

template <typename B>
void LabelTemplate<B>::SetStateTextColor(ControlStateType state, const std::wstring& color) {
  if (text_colors_[state] == color) return;
  text_colors_[state] = color;
  this->Invalidate();
}

namespace label_internal {

// "align": words are matched as substrings, in this order: "vcenter"
// therefore also centres horizontally.
template <typename T>
void SetAlignWords(T& label, const std::wstring& value) {
  UINT style = label.GetTextStyle();
  if (value.find(L"left") != std::wstring::npos) {
    style &= ~(DT_CENTER | DT_RIGHT | DT_VCENTER | DT_SINGLELINE);
  }
  if (value.find(L"center") != std::wstring::npos) {
    style = (style & ~DT_RIGHT) | DT_CENTER;
  }
  if (value.find(L"right") != std::wstring::npos) {
    style = (style & ~(DT_CENTER | DT_VCENTER | DT_SINGLELINE)) | DT_RIGHT;
  }
  if (value.find(L"top") != std::wstring::npos) {
    style = (style & ~(DT_VCENTER | DT_BOTTOM)) | DT_SINGLELINE;
  }
  if (value.find(L"vcenter") != std::wstring::npos) {
    style = (style & ~DT_BOTTOM) | DT_CENTER | DT_VCENTER | DT_SINGLELINE;
  }
  if (value.find(L"bottom") != std::wstring::npos) {
    style = (style & ~DT_VCENTER) | DT_BOTTOM | DT_SINGLELINE;
  }
  label.SetTextStyle(style);
}

template <typename T>
void SetEndEllipsisSwitch(T& label, const std::wstring& value) {
  const UINT style = label.GetTextStyle();
  label.SetTextStyle(ParseSwitch(value) ? (style | DT_END_ELLIPSIS) : (style & ~DT_END_ELLIPSIS));
}

template <typename T, ControlStateType State>
void SetStateTextColorValue(T& label, const std::wstring& value) {
  label.SetStateTextColor(State, value);
}

// The names a label handles itself, for LabelTemplate<B> as T.
template <typename T>
const AttributeTable<T>& LabelAttributes() {
  static const AttributeTable<T> table = {
      {L"text", TextAttribute<T, &T::SetText>},
      {L"textid", TextAttribute<T, &T::SetTextId>},
      {L"font", TextAttribute<T, &T::SetFont>},
      {L"align", SetAlignWords<T>},
      {L"endellipsis", SetEndEllipsisSwitch<T>},
      {L"linelimit", SwitchAttribute<T, &T::SetLineLimit>},
      {L"singleline", SwitchAttribute<T, &T::SetSingleLine>},
      {L"textpadding", ScaledRectAttribute<T, &T::SetTextPadding>},
      {L"normaltextcolor", SetStateTextColorValue<T, kControlStateNormal>},
      {L"hottextcolor", SetStateTextColorValue<T, kControlStateHot>},
      {L"pushedtextcolor", SetStateTextColorValue<T, kControlStatePushed>},
      {L"disabledtextcolor", SetStateTextColorValue<T, kControlStateDisabled>},
  };
  return table;
}

}  // namespace label_internal

template <typename B>
void LabelTemplate<B>::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (!label_internal::LabelAttributes<LabelTemplate>().Apply(*this, name, value)) {
    B::SetAttribute(name, value);
  }
}

template <typename B>
UINT LabelTemplate<B>::EffectiveTextStyle() {
  text_style_ = single_line_ ? (text_style_ | DT_SINGLELINE) : (text_style_ & ~DT_SINGLELINE);
  return text_style_;
}

template <typename B>
SIZE LabelTemplate<B>::EstimateText(SIZE available) {
  const UINT style = EffectiveTextStyle();
  const std::wstring text = GetText();
  if (text.empty()) return SIZE{0, 0};
  IRenderContext* context = TextMeasuringContext(this);
  if (context == nullptr) return SIZE{0, 0};
  const HFONT font = GlobalManager::GetFont(font_id_);
  const int budget = std::max(0, this->GetFixedWidth());
  const RECT measured = context->MeasureText(text, font, style, budget);
  LONG width = measured.right - measured.left;
  LONG height = measured.bottom - measured.top;
  const LONG padding_x = text_padding_.left + text_padding_.right;
  const LONG padding_y = text_padding_.top + text_padding_.bottom;
  SIZE size = {0, 0};
  if (this->GetFixedWidth() == Control::kAuto) size.cx = padding_x + width;
  if (this->GetFixedHeight() == Control::kAuto) {
    if (!single_line_ && this->GetFixedWidth() == Control::kAuto &&
        this->GetMaxWidth() == Control::kStretch) {
      // Wrapped text depends on the width offered: measured again for each
      // layout, never from the cache.
      this->SetReEstimate(true);
      const LONG offered = available.cx - padding_x;
      if (offered < width) {
        const RECT wrapped = context->MeasureText(text, font, style, std::max(0L, offered));
        width = wrapped.right - wrapped.left;
        height = wrapped.bottom - wrapped.top;
        size.cx = padding_x + width;
      }
    }
    size.cy = padding_y + height;
  }
  return size;
}

template <typename B>
void LabelTemplate<B>::DrawTextInColor(IRenderContext* context, const std::wstring& color,
                                       BYTE fade, bool overlay) {
  const std::wstring text = GetText();
  if (text.empty()) return;
  const RECT& rect = this->GetRect();
  const RECT area = {rect.left + text_padding_.left, rect.top + text_padding_.top,
                     rect.right - text_padding_.right, rect.bottom - text_padding_.bottom};
  DWORD argb = GlobalManager::GetTextColor(color);
  if (HighContrast::IsOn()) {
    const bool face = !this->GetStateColor(kControlStateNormal).empty();
    argb = HighContrast::SystemColor(!this->IsEnabled() ? COLOR_GRAYTEXT
                                     : face             ? COLOR_BTNTEXT
                                                        : COLOR_WINDOWTEXT);
  }
  const HFONT font = GlobalManager::GetFont(font_id_);
  if (fade != 255) {
    context->DrawText(area, text, argb, font, EffectiveTextStyle(), fade, line_limit_);
    return;
  }
  context->DrawKeptText(area, text, argb, font, EffectiveTextStyle(), line_limit_,
                        &text_images_[overlay ? 1 : 0]);
}

template <typename B>
void LabelTemplate<B>::PaintText(IRenderContext* context) {
  if (GetText().empty()) return;
  const ControlStateType state = this->GetState();
  if (this->HasHotFade() && (state == kControlStateNormal || state == kControlStateHot)) {
    // The hot colour fades in over the normal one.
    if (!text_colors_[kControlStateNormal].empty()) {
      DrawTextInColor(context, text_colors_[kControlStateNormal], 255);
    }
    if (this->GetHotAlpha() >= 1 && !text_colors_[kControlStateHot].empty()) {
      DrawTextInColor(context, text_colors_[kControlStateHot],
                      static_cast<BYTE>(this->GetHotAlpha()), true);
    }
    return;
  }
  DrawTextInColor(context, text_colors_[Control::FallbackState(text_colors_, state)], 255);
}

template <typename B>
bool LabelTemplate<B>::HasHotState() const {
  return !text_colors_[kControlStateHot].empty() || B::HasHotState();
}

extern template class LabelTemplate<Control>;
extern template class LabelTemplate<Box>;

using Label = LabelTemplate<Control>;
using LabelBox = LabelTemplate<Box>;

}  // namespace ui
