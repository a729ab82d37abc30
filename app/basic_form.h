// BasicForm: the assistant's only window ("Basic", skin basic/basic.xml).
// It shows the product on the welcome page, proceeds to the installation,
// and offers the install page's actions and the customer-service overlay.
// It is also the way back to the UI thread for work finished elsewhere
// (PostToUI, window message 1124).
//
// The network-driven work (attribution and the "startup" event, the channel
// request, the installation pipeline, the toast) is reached through
// BasicFormActions, which the application supplies; without it those steps
// do nothing and "ok1" waits for a channel reply that never comes.
//
// Ownership: created with new; deletes itself after its native window is
// destroyed (WindowImplBase). UI thread only, except PostToUI/GetPoster.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "ui/core/window_impl_base.h"

class BasicForm;

// What the window asks of the network half. Every call runs on the UI
// thread; the form outlives none of the calls' asynchronous work, so
// continuations must come back through BasicForm::GetPoster().
class BasicFormActions {
 public:
  virtual ~BasicFormActions() = default;
  // The skin has loaded: resolve the attribution id, report "startup".
  virtual void ReportStartup(BasicForm& form) = 0;
  // Ask the service for the channel details; the answer ends in
  // BasicForm::OnChannelReplyHandled or OnChannelRequestFailed.
  virtual void RequestChannelInfo(BasicForm& form) = 0;
  // "ok1" with the channel details in: obtain the installation details and
  // start the pipeline (download with progress).
  virtual void StartInstallation(BasicForm& form) = 0;
  virtual void OpenTutorial(BasicForm& form) = 0;
  virtual void LaunchInstaller(BasicForm& form) = 0;
  // A short notice over the window ("复制成功" after copying the QQ number).
  virtual void ShowToast(BasicForm& form, const std::wstring& text) = 0;
};

class BasicForm : public ui::WindowImplBase {
 public:
  // The message carrying a posted closure (WM_USER + 100).
  static constexpr UINT kPostToUIMessage = WM_USER + 100;
  // Skin names the window looks for.
  static constexpr wchar_t kWindowName[] = L"Basic";
  static constexpr wchar_t kProductPlaceholder[] = L"{product}";

  // |actions| may be null; it must outlive the window.
  explicit BasicForm(BasicFormActions* actions);

  // WindowImplBase
  std::wstring ClassName() const override;
  LRESULT ProcessMessage(UINT message, WPARAM wparam, LPARAM lparam) override;
  void OnSkinLoaded() override;
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
  std::function<void(std::function<void()>)> GetPoster();

  // --- Channel details (set by the channel request, UI thread) ---------------
  // UTF-8 texts as the service sends them.
  void SetChannelInfo(const std::string& qr_text, const std::string& qq,
                      const std::string& help_url);
  const std::string& qr_text() const { return qr_text_; }
  const std::string& qq() const { return qq_; }
  const std::string& help_url() const { return help_url_; }
  bool channel_info_ready() const { return channel_info_ready_; }
  bool start_waiting() const { return start_waiting_; }
  // The reply was handled: a waiting start goes ahead now.
  void OnChannelReplyHandled();
  // The request failed: a waiting "ok1" becomes clickable again.
  void OnChannelRequestFailed();

  // --- Current package (set by the pipeline, UI thread) ----------------------
  void SetPackageDetails(const std::string& launch_command, const std::string& tutorial_url);
  const std::string& launch_command() const { return launch_command_; }
  const std::string& tutorial_url() const { return tutorial_url_; }

  // --- Page flow ---------------------------------------------------------------
  // Index in "pages" of the page holding the "p3_" controls; -1 if none.
  int InstallPageIndex() const;
  bool SelectInstallPage();
  // "ok1": start now, or wait disabled with "加载中..." for the channel reply.
  void Proceed();
  void ShowSupport();
  // Puts the QQ number on the clipboard and shows "复制成功".
  void CopyQQNumber();
  // Opens DownloaderDirectory()\installer in the file browser.
  void OpenDownloadFolder();
  void SetVisibleByName(const std::wstring& name, bool visible);

 protected:
  ~BasicForm() override;

 private:
  void BindClicks();
  void FillLabels();
  void ChooseFirstPage();
  void StartInstallation();
  void ResetProceedButton();

  BasicFormActions* actions_;
  ui::Control* pages_ = nullptr;
  std::string qr_text_;
  std::string qq_;
  std::string help_url_;
  bool channel_info_ready_ = false;
  bool start_waiting_ = false;
  std::string launch_command_;
  std::string tutorial_url_;
};

// Copies |text| to the clipboard as Unicode text. False when the clipboard
// could not be opened or written.
bool CopyTextToClipboard(const std::wstring& text);

// Every "{product}" in |text| replaced by |product|.
std::wstring ReplaceProduct(std::wstring text, const std::wstring& product);
