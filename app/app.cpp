#include "app/app.h"

#include <windows.h>

#include <memory>
#include <utility>

#include "app/app_directories.h"
#include "app/basic_form.h"
#include "app/desktop_shortcut.h"
#include "app/module_path.h"
#include "app/product_config.h"
#include "app/support_log.h"
#include "app/usage_events.h"
#include "base/com_apartment.h"
#include "base/message_loop.h"
#include "base/startup_trace.h"
#include "base/thread_table.h"
#include "ui/animation/timer_manager.h"
#include "ui/core/global_manager.h"
#include "ui/core/window_builder.h"
#include "ui/render/display_scale.h"
#include "ui/render/gdiplus_fwd.h"
#include "ui/render/render.h"
#include "ui/render/render_factory_gdiplus.h"

App::App() : FrameworkThread("MainThread") {}

App::~App() { Stop(); }

void App::Init() {
  STARTUP_TRACE("init");
  cbase::ThreadTable::BindThreadId(cbase::UIThreadId);
  const std::wstring module_directory = ModuleDirectory();

  OpenResourceArchive();
  STARTUP_TRACE("archive_open");
  // The skin's lengths, fonts and images follow the scale of the monitor the
  // window opens on (the primary one: it is created at the default place
  // and centred there); a move to another monitor brings WM_DPICHANGED.
  const HMONITOR monitor = ::MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
  ui::GlobalManager::SetDisplayScale(
      ui::DisplayScale::PercentForDpi(ui::DisplayScale::MonitorDpi(monitor)), true);
  ui::SetRenderFactory(std::make_unique<ui::RenderFactory_GdiPlus>());
  ui::GlobalManager::SetResourcePath(std::wstring(kResourceRoot) + kThemeFolder);
  // Custom element names are the main window's business (CreateCustomControl).
  ui::GlobalManager::SetGlobalCreateControlCallback(nullptr);
  {
    ui::WindowBuilder global;
    global.Create(L"global.xml");
  }
  LoadLanguage();
  STARTUP_TRACE("skin_globals");

  Gdiplus::GdiplusStartupInput input;
  gdiplus_started_ = Gdiplus::GdiplusStartup(&gdiplus_token_, &input, nullptr) == Gdiplus::Ok;
  STARTUP_TRACE("gdiplus");

  ProductConfig& config = ProductConfig::Instance();
  if (!config.Load(module_directory)) {
    // To the build's statistics host: the configuration that would name
    // another is what failed.
    ReportEvent("error_shown", {{"key", "config_load"}});
    // Without a product there is no downloader folder: the log keeps this
    // line only if it is ever started.
    SupportLog::Instance().Write("message_box",
                                 {{"caption", kErrorCaption}, {"text", kConfigFailure}});
    ::MessageBoxW(nullptr, kConfigFailure, kErrorCaption, MB_OK | MB_ICONSTOP);
    // Nothing else would ever end the loop: no window exists.
    ::PostQuitMessage(0);
    return;
  }
  // The log's writer starts once the first frame is out: its thread and its
  // folder and file cost the window's creation several milliseconds. Lines
  // written until then wait in memory.
  product_known_ = true;
  STARTUP_TRACE("config");

  // The window's fade needs no tick before its first frame is on screen
  // (its paints move it on): the animation pulse starts after that frame.
  ui::TimerManager::GetInstance().HoldPulse();
  auto* form = new BasicForm();
  // Nothing of this is needed to draw the first frame. Neither is the
  // focus: activating the window (focus, input method, the window manager's
  // answer) cost the first frame several milliseconds, so the window is shown
  // without it and takes it as soon as that frame is out.
  form->SetAfterFirstFrame([this, form] {
    form->BringToFront();
    AfterFirstFrame();
  });
  if (form->Create(nullptr, BasicForm::kWindowName, kWindowStyle, 0, true) == nullptr) {
    // The skin did not load (the window host has told the user and the form
    // is gone); end the run as the configuration failure does. Support still
    // learns what ran (Cleanup starts the log).
    WriteStartupLine();
    ::PostQuitMessage(0);
    return;
  }
  STARTUP_TRACE("window_created");
  form->CenterWindow();
  form->Show(true, false);
  STARTUP_TRACE("window_shown");
}

void App::AfterFirstFrame() {
  StartSupportLog();
  ui::TimerManager::GetInstance().ReleasePulse();
  // The shell (opening folders and pages) wants the thread in COM.
  cbase::ComApartment::Enter();
  STARTUP_TRACE("com");
  // Asking for the proxy loads WinHTTP: the service's questions follow.
  WriteStartupLine();
  // The shell's link object is slow to load and save: a pool thread writes
  // it while the window fades in, after the window's first questions have
  // been handed over (a posted task), so they do not wait behind it.
  shortcut_due_ = true;
  if (cbase::MessageLoop* loop = cbase::MessageLoop::current()) {
    loop->PostTask([this] { WriteShortcut(); });
  } else {
    WriteShortcut();
  }
  STARTUP_TRACE("after_first_frame");
#if defined(ASSISTANT_STARTUP_TRACE)
  // The trace once the window's own work after the first frame has run too;
  // a mark made later (the shortcut's, perhaps) is left out.
  if (cbase::MessageLoop* loop = cbase::MessageLoop::current()) {
    loop->PostTask([] {
      for (const auto& entry : cbase::StartupTrace::Instance().Take()) {
        SupportLog::Instance().Write(
            "startup_trace", {{"step", entry.step},
                              {"ms", entry.ms},
                              {"working_set_mb", static_cast<double>(entry.working_set) / 1e6},
                              {"thread", entry.thread_id}});
      }
    });
  }
#endif
}

void App::WriteStartupLine() {
  const ProductConfig& config = ProductConfig::Instance();
  SupportLog::Instance().Write("startup", {{"version", AssistantVersion()},
                                           {"product", config.product()},
                                           {"channel", config.channel()},
                                           {"display_scale", ui::GlobalManager::GetDpiScale()},
                                           {"proxy", ProxyInUseForLog()}});
}

void App::StartSupportLog() {
  if (product_known_) SupportLog::Instance().Start(DownloaderDirectory() + L"\\logs");
}

void App::WriteShortcut() {
  if (!shortcut_due_ || std::exchange(shortcut_started_, true)) return;
  const ProductConfig& config = ProductConfig::Instance();
  auto write = [name = config.name() + kShortcutSuffix, target = ModuleFilePath()] {
    CreateDesktopShortcut(name, target, L"", L"");
    STARTUP_TRACE("shortcut_written");
  };
  // Here, if the pool will not.
  if (!shortcut_writer_.Start(write)) write();
}

void App::Cleanup() {
  // A run that ends before its first frame still leaves its lines.
  StartSupportLog();
  // A run closed before the posted task ran still gets its shortcut.
  WriteShortcut();
  shortcut_writer_.Wait();
  ui::GlobalManager::CloseResourceArchive();
  ui::SetRenderFactory(nullptr);
  ui::GlobalManager::Shutdown();
  if (gdiplus_started_) Gdiplus::GdiplusShutdown(gdiplus_token_);
  gdiplus_started_ = false;
  MarkQuitProperly();
  cbase::ThreadTable::UnbindThreadId();
}

void App::OpenResourceArchive() {
  // Resource memory stays mapped for the life of the module, as the archive
  // requires of its bytes.
  ui::GlobalManager::CloseResourceArchive();
  const HMODULE module = ::GetModuleHandleW(nullptr);
  HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(kArchiveId), kArchiveType);
  if (found == nullptr) return;
  HGLOBAL loaded = ::LoadResource(module, found);
  const DWORD size = ::SizeofResource(module, found);
  const void* data = loaded != nullptr ? ::LockResource(loaded) : nullptr;
  if (data == nullptr || size == 0) return;
  ui::GlobalManager::OpenResourceArchive(data, size);
}

void App::LoadLanguage() {
  const std::wstring path = std::wstring(kResourceRoot) + kLanguageFolder + kLanguageFile;
  if (!ui::GlobalManager::IsArchiveOpen()) {
    ui::GlobalManager::LoadStringTableFromFile(path);
    return;
  }
  if (const auto bytes = ui::GlobalManager::GetArchiveData(path)) {
    ui::GlobalManager::LoadStringTableFromMemory(*bytes);
  }
}
