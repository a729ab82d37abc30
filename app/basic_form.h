// BasicForm: the assistant's only window ("Basic", skin basic/basic.xml).
// It shows the product on the welcome page, proceeds to the installation,
// and offers the install page's actions and the customer-service overlay.
// It is also the way back to the UI thread for work finished elsewhere
// (PostToUI, window message 1124).
//
// The network-driven work lives in two helpers the window owns and feeds
// with its controls: InstallStarter (channel details, the "ok1" handshake,
// the installation details) and InstallationPipeline (download, launch,
// tutorial, folder). The window itself reports "startup", resolves the
// attribution id and asks for the channel details once its first frame is on
// the screen (nothing of that is needed to draw it), reports "error_shown" for the
// starter's message boxes, and "closed" (what was showing, and for how long
// the program had run) when it is closed.
//
// Ownership: created with new; deletes itself after its native window is
// destroyed (WindowImplBase). UI thread only, except PostToUI/GetPoster.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "app/post_to_ui.h"
#include "base/thread_checker.h"
#include "ui/core/window_impl_base.h"

class InstallStarter;
class InstallationPipeline;
class OneAtATime;

class BasicForm : public ui::WindowImplBase {
 public:
  // The message carrying a posted closure (WM_USER + 100).
  static constexpr UINT kPostToUIMessage = WM_USER + 100;
  // Skin names the window looks for.
  static constexpr wchar_t kWindowName[] = L"Basic";
  static constexpr wchar_t kProductPlaceholder[] = L"{product}";
  // How long after its skin has loaded the window starts the work that waits
  // for its first frame (the service's questions, "startup") if no frame
  // has been seen by then.
  static constexpr int kFirstFrameDeadlineMs = 3000;
  // How long a start-up question without an answer holds up the next.
  static constexpr int kNextQuestionAfterMs = 2000;

  BasicForm();

  // WindowImplBase
  std::wstring ClassName() const override;
  LRESULT ProcessMessage(UINT message, WPARAM wparam, LPARAM lparam) override;
  void OnSkinLoaded() override;
  void OnFirstFrameShown() override;
  ui::Control* CreateCustomControl(const std::wstring& class_name) override;
  LRESULT OnClose(UINT message, WPARAM wparam, LPARAM lparam, bool& handled) override;
  LRESULT OnDpiChanged(UINT message, WPARAM wparam, LPARAM lparam, bool& handled) override;
  std::wstring SkinFolder() const override;
  std::wstring SkinFile() const override;

  // Runs |task| on the UI thread between window messages, unless the window
  // is gone by then. Any thread, but only while this object exists; code
  // that may outlive the window uses GetPoster().
  void PostToUI(std::function<void()> task);
  // A PostToUI that holds no pointer to this object: safe from any thread at
  // any time (tasks for a destroyed window are dropped unrun).
  PostToUIFunction GetPoster();

  // Runs once, on the UI thread, when the first visible frame is on the
  // screen, before the window's own work that waits for it (App writes its
  // start-up line and the desktop shortcut there).
  void SetAfterFirstFrame(std::function<void()> task) { after_first_frame_ = std::move(task); }

  // The helpers, once the skin has loaded (null before).
  InstallStarter* starter() const { return starter_.get(); }
  InstallationPipeline* pipeline() const { return pipeline_.get(); }

  // --- Page flow ---------------------------------------------------------------
  // Index in "pages" of the page holding the "p3_" controls; -1 if none.
  int InstallPageIndex() const;
  bool SelectInstallPage();
  void ShowSupport();
  // Puts the QQ number on the clipboard and shows "复制成功".
  void CopyQQNumber();
  // A short self-closing notice over the window (ui::ShowToast).
  void ShowToast(const std::wstring& text);
  void SetVisibleByName(const std::wstring& name, bool visible);
  // What the user sees now, as "closed" reports it: an overlay
  // ("support_overlay", "install_overlay") over anything else, else the
  // page ("welcome", "install", "page_<index>"); "none" before the skin.
  std::string ShowingPageName() const;

 protected:
  ~BasicForm() override;

 private:
  void MakeHelpers();
  void BindClicks();
  void FillLabels();
  void SetProceedButton(bool enabled, const std::wstring& text);
  void SetProgress(int percent);
  // The first frame is on the screen, or its deadline has passed: runs the
  // after-first-frame task, then reports "startup", asks for the attribution
  // id and asks for the channel details, each once the one before is
  // answered (at most kNextQuestionAfterMs later). Once.
  void StartAfterFirstFrame();

  ui::Control* pages_ = nullptr;
  bool closed_reported_ = false;
  bool started_after_first_frame_ = false;
  std::function<void()> after_first_frame_;
  std::unique_ptr<InstallationPipeline> pipeline_;
  std::unique_ptr<InstallStarter> starter_;
  std::unique_ptr<OneAtATime> startup_questions_;
  // Everything but PostToUI and GetPoster; debug builds check it.
  cbase::ThreadChecker thread_checker_;
};

// Copies |text| to the clipboard as Unicode text. False when the clipboard
// could not be opened or written.
bool CopyTextToClipboard(const std::wstring& text);

// Every "{product}" in |text| replaced by |product|.
std::wstring ReplaceProduct(std::wstring text, const std::wstring& product);
