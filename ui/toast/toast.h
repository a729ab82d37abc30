// Toast: a small self-closing popup that shows one short text over its owner
// window (for example after something was copied). ShowToast creates, fills,
// centres and shows one; it closes itself after three seconds, on Escape, on a
// double click or through a "close_btn" in its skin, and, like every
// WindowImplBase, deletes itself once its native window is gone.
//
// Ownership: nobody holds a toast; the close timer and the click handler are
// bound to its weak flag, so a toast that is already gone is never touched.
// Several toasts may live at once. UI thread only.
#pragma once

#include <windows.h>

#include <string>

#include "base/thread_checker.h"
#include "ui/core/window_impl_base.h"

namespace ui {

class Control;
class RichEdit;

class Toast : public WindowImplBase {
 public:
  static constexpr int kCloseDelayMs = 3000;

  // What ShowToast does, answering the toast (nullptr when it could not be
  // made) so callers may watch it while it lives.
  static Toast* Open(const std::wstring& text, HWND owner);

  Toast() = default;

  virtual std::wstring GetWindowClassName() const { return L"Toast"; }
  std::wstring ClassName() const override { return GetWindowClassName(); }
  UINT ClassStyle() const override { return CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS; }
  std::wstring SkinFolder() const override { return L"toast"; }
  std::wstring SkinFile() const override { return L"toast.xml"; }
  LRESULT ProcessMessage(UINT message, WPARAM wparam, LPARAM lparam) override;
  void OnSkinLoaded() override;

  RichEdit* GetContent() const { return content_; }
  Control* GetCloseButton() const { return close_button_; }
  // Puts |text| into the content and fits the content's height to it.
  void SetText(const std::wstring& text);

 protected:
  ~Toast() override = default;

 private:
  RichEdit* content_ = nullptr;
  Control* close_button_ = nullptr;
  cbase::ThreadChecker thread_checker_;
};

// Shows |text| in a new toast centred on |owner|.
void ShowToast(const std::wstring& text, HWND owner);

}  // namespace ui
