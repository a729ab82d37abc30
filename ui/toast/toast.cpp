#include "ui/toast/toast.h"

#include <algorithm>

#include "ui/animation/timer_manager.h"
#include "ui/control/box.h"
#include "ui/control/rich_edit.h"
#include "ui/core/global_manager.h"

namespace ui {

Toast* Toast::Open(const std::wstring& text, HWND owner) {
  auto* toast = new Toast();
  // A toast whose window could not be made has already deleted itself.
  if (toast->Create(owner, L"", WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX, 0,
                    true) == nullptr) {
    return nullptr;
  }
  toast->SetText(text);
  TimerManager::Current().AddTimer(
      toast->GetWeakFlag(), [toast] { toast->Close(1); }, kCloseDelayMs, 1);
  toast->CenterWindow();
  toast->Show(true, true);
  return toast;
}

void ShowToast(const std::wstring& text, HWND owner) { Toast::Open(text, owner); }

void Toast::SetText(const std::wstring& text) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  if (content_ == nullptr) return;
  content_->SetText(text);
  const int width = std::max(0, content_->GetFixedWidth());
  const int height = content_->NaturalSize(width);
  // The natural height is in pixels already; only a positive one is scaled.
  content_->SetFixedHeight(height, true, height > 0);
}

void Toast::OnSkinLoaded() {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  if (auto* root = dynamic_cast<Box*>(GetRoot())) {
    root->AttachBubbledEvent(
        kEventClick, ToWeakCallback([this](const EventArgs& args) {
          if (args.sender != nullptr && args.sender->GetName() == L"close_btn") {
            Close(1);
          }
          return true;
        }));
  }
  content_ = dynamic_cast<RichEdit*>(FindControlByName(L"content"));
  close_button_ = FindControlByName(L"close_btn");
}

LRESULT Toast::ProcessMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_MOUSEMOVE:
    case WM_NCMOUSEMOVE:
      if (lparam != -1 && close_button_ != nullptr && !close_button_->IsVisible()) {
        close_button_->SetFadeVisible(true);
      }
      break;
    case WM_MOUSELEAVE:
    case WM_NCMOUSELEAVE:
      if (close_button_ != nullptr) {
        RECT client = {};
        ::GetClientRect(GetHWND(), &client);
        ::InflateRect(&client, -1, -1);
        POINT cursor = {};
        ::GetCursorPos(&cursor);
        ::ScreenToClient(GetHWND(), &cursor);
        if (!::PtInRect(&client, cursor)) close_button_->SetFadeVisible(false);
      }
      break;
    case WM_KEYDOWN:
      if (wparam == VK_ESCAPE) Close(1);
      break;
    case WM_LBUTTONDBLCLK:
    case WM_NCLBUTTONDBLCLK:
      Close(1);
      break;
    default:
      break;
  }
  return WindowImplBase::ProcessMessage(message, wparam, lparam);
}

}  // namespace ui
