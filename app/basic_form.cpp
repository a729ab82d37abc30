#include "app/basic_form.h"

#include <windows.h>

#include <cstring>
#include <utility>

#include "app/app_directories.h"
#include "app/assistant_texts.h"
#include "app/attribution.h"
#include "app/desktop_shell.h"
#include "app/install_starter.h"
#include "app/installation_pipeline.h"
#include "app/one_at_a_time.h"
#include "app/product_config.h"
#include "app/qr_code_ctrl.h"
#include "app/support_log.h"
#include "app/usage_events.h"
#include "base/message_loop.h"
#include "base/monotonic_clock.h"
#include "base/scoped_hglobal.h"
#include "base/startup_trace.h"
#include "base/utf8.h"
#include "base/weak_callback.h"
#include "ui/control/box.h"
#include "ui/control/label.h"
#include "ui/control/progress.h"
#include "ui/control/rich_edit.h"
#include "ui/control/tab_box.h"
#include "ui/core/global_manager.h"
#include "ui/core/window_builder.h"
#include "ui/toast/toast.h"

namespace {

constexpr wchar_t kCopiedText[] = L"复制成功";
constexpr wchar_t kNameSuffix[] = L" 官方正版";
// The resource path start-up gives the GlobalManager (relative: inside the
// archive it names entries, on disk it resolves against the current folder).
constexpr wchar_t kThemePath[] = L"resources\\themes\\default";

// The heap closure message 1124 carries.
struct PostedTask {
  std::function<void()> run;
};

// Label or LabelBox text access for a control of either kind.
bool GetLabelText(ui::Control* control, std::wstring& text) {
  if (auto* label = dynamic_cast<ui::Label*>(control)) {
    text = label->GetText();
    return true;
  }
  if (auto* box = dynamic_cast<ui::LabelBox*>(control)) {
    text = box->GetText();
    return true;
  }
  return false;
}

void SetLabelText(ui::Control* control, const std::wstring& text) {
  if (auto* label = dynamic_cast<ui::Label*>(control)) {
    label->SetText(text);
  } else if (auto* box = dynamic_cast<ui::LabelBox*>(control)) {
    box->SetText(text);
  }
}

// Posts |task| to |hwnd|; the task is destroyed unrun if posting fails.
void PostTaskTo(HWND hwnd, std::function<void()> task) {
  auto* posted = new PostedTask{std::move(task)};
  if (!::PostMessageW(hwnd, BasicForm::kPostToUIMessage, 0, reinterpret_cast<LPARAM>(posted))) {
    delete posted;
  }
}

}  // namespace

std::wstring ReplaceProduct(std::wstring text, const std::wstring& product) {
  const std::wstring placeholder = BasicForm::kProductPlaceholder;
  size_t at = 0;
  while ((at = text.find(placeholder, at)) != std::wstring::npos) {
    text.replace(at, placeholder.size(), product);
    at += product.size();
  }
  return text;
}

bool CopyTextToClipboard(const std::wstring& text) {
  if (!::OpenClipboard(nullptr)) return false;
  bool copied = false;
  ::EmptyClipboard();
  const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
  cbase::ScopedHGlobal block(::GlobalAlloc(GMEM_MOVEABLE, bytes));
  bool filled = false;
  if (cbase::ScopedGlobalLock data{block.get()}) {
    std::memcpy(data.get(), text.c_str(), bytes);
    filled = true;
  }
  // The clipboard owns the block only once SetClipboardData took it.
  if (filled && ::SetClipboardData(CF_UNICODETEXT, block.get()) != nullptr) {
    block.release();
    copied = true;
  }
  ::CloseClipboard();
  return copied;
}

BasicForm::BasicForm() = default;

BasicForm::~BasicForm() = default;

std::wstring BasicForm::ClassName() const { return kWindowName; }

std::wstring BasicForm::SkinFolder() const { return L"basic"; }

std::wstring BasicForm::SkinFile() const { return L"basic.xml"; }

ui::Control* BasicForm::CreateCustomControl(const std::wstring& class_name) {
  if (class_name == L"QRCode") return new QRCodeCtrl();
  return nullptr;
}

LRESULT BasicForm::ProcessMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == kPostToUIMessage) {
    if (lparam != 0) {
      std::unique_ptr<PostedTask> posted(reinterpret_cast<PostedTask*>(lparam));
      if (posted->run) posted->run();
    }
    return 0;
  }
  return WindowImplBase::ProcessMessage(message, wparam, lparam);
}

void BasicForm::PostToUI(std::function<void()> task) {
  if (!task || GetHWND() == nullptr || !::IsWindow(GetHWND())) return;
  PostTaskTo(GetHWND(), ToWeakCallback(std::move(task)));
}

PostToUIFunction BasicForm::GetPoster() {
  const HWND hwnd = GetHWND();
  std::weak_ptr<cbase::WeakFlag> flag = GetWeakFlag();
  return [hwnd, flag](std::function<void()> task) {
    if (!task || hwnd == nullptr || !::IsWindow(hwnd)) return;
    PostTaskTo(hwnd, cbase::MakeWeakCallback(flag, std::move(task)));
  };
}

LRESULT BasicForm::OnClose(UINT, WPARAM, LPARAM, bool& handled) {
  if (!closed_reported_) {
    closed_reported_ = true;
    ReportEvent("closed", {{"page", ShowingPageName()},
                           {"seconds", EventSeconds(SecondsSinceProcessStart())}});
  }
  ::PostQuitMessage(0);
  handled = false;
  return 0;
}

LRESULT BasicForm::OnDpiChanged(UINT message, WPARAM wparam, LPARAM lparam, bool& handled) {
  // Fonts are made at the display scale, so the global definitions are read
  // again. They are read from where start-up read them (the archive first):
  // a path under the executable's folder would miss the archive's entries and
  // leave the window without its fonts and classes.
  if (ui::GlobalManager::IsAdaptDpi()) {
    ui::GlobalManager::SetDisplayScale(::MulDiv(LOWORD(wparam), 100, 96), true);
  }
  ui::GlobalManager::SetResourcePath(kThemePath);
  ui::GlobalManager::RemoveAllFonts();
  ui::WindowBuilder global;
  global.Create(L"global.xml");
  // The base rescales the shadow and the controls, applies the suggested
  // rectangle (no Z-order change, no activation) and lays the tree out.
  WindowImplBase::OnDpiChanged(message, wparam, lparam, handled);
  handled = false;
  return 0;
}

void BasicForm::OnSkinLoaded() {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  pages_ = FindControlByName(L"pages");
  const ProductConfig& config = ProductConfig::Instance();
  for (const wchar_t* name : {L"p1_lb_fullname", L"p3_install_tutorial_text",
                              L"p3_install_launch_text", L"install_lb_status"}) {
    ui::Control* control = FindControlByName(name);
    std::wstring text;
    if (control != nullptr && GetLabelText(control, text)) {
      SetLabelText(control, ReplaceProduct(text, config.name()));
    }
  }
  MakeHelpers();
  BindClicks();
  FillLabels();
  if (pipeline_->HasDownloadedPackage()) SelectInstallPage();
  // The work waits for the first frame, but not for ever: a window started
  // minimised draws nothing until it is restored.
  if (cbase::MessageLoop* loop = cbase::MessageLoop::current()) {
    loop->PostDelayedTask(ToWeakCallback([this] { StartAfterFirstFrame(); }),
                          cbase::Milliseconds(kFirstFrameDeadlineMs));
  }
}

void BasicForm::OnFirstFrameShown() { StartAfterFirstFrame(); }

void BasicForm::StartAfterFirstFrame() {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  if (started_after_first_frame_) return;
  started_after_first_frame_ = true;
  // The owner's part first: the support log's start-up line goes before any
  // request's.
  if (after_first_frame_) std::exchange(after_first_frame_, nullptr)();
  // The network's first use loads WinHTTP and its TLS stack: after the
  // first frame, which needs neither. The questions go one at a time.
  startup_questions_ = std::make_unique<OneAtATime>(
      [this](std::function<void()> task, int delay_ms) {
        if (cbase::MessageLoop* loop = cbase::MessageLoop::current()) {
          loop->PostDelayedTask(ToWeakCallback(std::move(task)), cbase::Milliseconds(delay_ms));
        }
      },
      kNextQuestionAfterMs);
  const PostToUIFunction post = GetPoster();
  // "startup" goes first: it is queued at once, so a window closed before
  // the other answers still reports it before "closed".
  startup_questions_->Run({
      [post](OneAtATime::Done done) {
        ReportEvent(StatisticsTarget::FromProductConfig(), "startup", Json::object(),
                    [post, done] { post(done); });
      },
      [post](OneAtATime::Done done) {
        ResolveAttribution(
            AttributionSources::ForThisProcess(), post, [](const std::wstring&) {},
            std::move(done));
      },
      [this](OneAtATime::Done done) {
        if (starter_ != nullptr) {
          starter_->RequestChannelInfoAtStart(std::move(done));
        } else {
          done();
        }
      },
  });
  STARTUP_TRACE("service_asked");
}

void BasicForm::MakeHelpers() {
  InstallationPipeline::View view;
  view.show_installing = [this] {
    SelectInstallPage();
    SetVisibleByName(L"install", true);
  };
  view.set_progress = [this](int percent) { SetProgress(percent); };
  view.hide_installing = [this] { SetVisibleByName(L"install", false); };
  // The skin's status line, product already filled in, comes back after a
  // launch has written its own.
  std::wstring skin_status;
  if (ui::Control* status = FindControlByName(L"install_lb_status")) {
    GetLabelText(status, skin_status);
  }
  view.set_status = [this, skin_status](const std::wstring& text) {
    if (ui::Control* status = FindControlByName(L"install_lb_status")) {
      SetLabelText(status, text.empty() ? skin_status : text);
    }
  };
  const HWND hwnd = GetHWND();
  pipeline_ = std::make_unique<InstallationPipeline>(
      InstallationPipeline::Environment::ForProductConfig(GetPoster(), [hwnd] { return hwnd; }),
      view);

  InstallStarter::Hooks hooks;
  hooks.set_proceed_button = [this](bool enabled, const std::wstring& text) {
    SetProceedButton(enabled, text);
  };
  hooks.show_error = [hwnd](const std::wstring& text) {
    ReportEvent("error_shown", {{"key", ErrorKeyForText(text)}});
    ShowError(DesktopShell::System(), hwnd, text);
  };
  hooks.start_installation = [this](const InstallationDetails& details) {
    pipeline_->StartInstallation(details);
  };
  starter_ = std::make_unique<InstallStarter>(InstallStarter::ChannelAddressFromProductConfig(),
                                              InstallStarter::DetailsAddressFromProductConfig(),
                                              GetPoster(), hooks);
}

void BasicForm::FillLabels() {
  const ProductConfig& config = ProductConfig::Instance();
  if (ui::Control* name = FindControlByName(L"p1_lb_name")) {
    SetLabelText(name, config.name() + kNameSuffix);
  }
  if (ui::Control* intro = FindControlByName(L"p1_lb_intro")) SetLabelText(intro, config.intro());
  if (auto* location = dynamic_cast<ui::RichEdit*>(FindControlByName(L"p1_et_location"))) {
    location->SetText(LocalAppDataDirectory() + config.product());
  }
}

void BasicForm::BindClicks() {
  auto bind = [this](const wchar_t* name, std::function<void()> action) {
    if (ui::Control* control = FindControlByName(name)) {
      control->AttachClick([action](const ui::EventArgs&) {
        action();
        return true;
      });
    }
  };
  bind(L"btn_close", [this] { Close(1); });
  bind(L"ok1", [this] { starter_->OnProceed(); });
  bind(L"p3_support", [this] { ShowSupport(); });
  bind(L"support_qq_link", [this] { CopyQQNumber(); });
  // The recorded "tutorial_url" (the channel's help address when the package
  // named none, see InstallStarter).
  bind(L"p3_install_tutorial", [this] { pipeline_->OpenTutorial(); });
  bind(L"p3_install_launch", [this] { pipeline_->LaunchInstaller(); });
  bind(L"p3_dir", [this] { pipeline_->OpenInstallerFolder(); });
  bind(L"install_close", [this] { SetVisibleByName(L"install", false); });
  bind(L"support_close", [this] { SetVisibleByName(L"support", false); });
  bind(L"support_ok", [this] { SetVisibleByName(L"support", false); });
}

int BasicForm::InstallPageIndex() const {
  auto* pages = dynamic_cast<ui::Box*>(pages_);
  ui::Control* control = FindControlByName(L"p3_install_launch");
  if (pages == nullptr || control == nullptr) return -1;
  while (control != nullptr && control->GetParent() != pages) control = control->GetParent();
  return control == nullptr ? -1 : pages->IndexOf(control);
}

std::string BasicForm::ShowingPageName() const {
  const auto shown = [this](const wchar_t* name) {
    ui::Control* control = FindControlByName(name);
    return control != nullptr && control->IsVisible();
  };
  if (shown(L"support")) return "support_overlay";
  if (shown(L"install")) return "install_overlay";
  auto* pages = dynamic_cast<ui::TabBox*>(pages_);
  if (pages == nullptr) return "none";
  const int index = pages->GetCurrentIndex();
  if (index == 0) return "welcome";
  if (index >= 0 && index == InstallPageIndex()) return "install";
  return "page_" + std::to_string(index);
}

bool BasicForm::SelectInstallPage() {
  auto* pages = dynamic_cast<ui::TabBox*>(pages_);
  const int index = InstallPageIndex();
  return pages != nullptr && index >= 0 && pages->SelectPage(index);
}

void BasicForm::SetProceedButton(bool enabled, const std::wstring& text) {
  if (ui::Control* ok = FindControlByName(L"ok1")) {
    ok->SetEnabled(enabled);
    SetLabelText(ok, text);
  }
}

void BasicForm::SetProgress(int percent) {
  if (auto* progress = dynamic_cast<ui::Progress*>(FindControlByName(L"install_progress"))) {
    progress->SetValue(percent);
  }
}

void BasicForm::ShowSupport() {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  ui::Control* support = FindControlByName(L"support");
  if (support == nullptr) return;
  const ChannelInfo& info = starter_->channel_info();
  if (auto* qr = dynamic_cast<QRCodeCtrl*>(FindControlByName(L"support_qr"))) {
    qr->SetQrText(info.custom_service);
    qr->Invalidate();
  }
  if (ui::Control* qq = FindControlByName(L"support_qq")) {
    SetLabelText(qq, cbase::Utf8ToUtf16(info.custom_service_qq));
  }
  support->SetVisible(true);
}

void BasicForm::CopyQQNumber() {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  CopyTextToClipboard(cbase::Utf8ToUtf16(starter_->channel_info().custom_service_qq));
  ShowToast(kCopiedText);
}

void BasicForm::ShowToast(const std::wstring& text) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  ui::ShowToast(text, GetHWND());
}

void BasicForm::SetVisibleByName(const std::wstring& name, bool visible) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  if (ui::Control* control = FindControlByName(name)) control->SetVisible(visible);
}
