// Opening and repainting skinned windows under Wine, against a bare Win32
// layered window measured in the same run.
//
//   window_bench [rounds=15] [repaints=60] [--hold ms]
//
// 1. Create to first frame: from WindowImplBase::Create (class, native
//    window, skin parsing, control tree, shadow) through Show and the message
//    pump until the first visible frame (the first UpdateLayeredWindow: the
//    window fades in, and its frame at alpha 0 is never presented), for the
//    test sample window (400 x 300) and for the assistant's main window skin
//    (800 x 600).
//    Floor: a bare layered popup of the same size that fills one white
//    32-bit frame and presents it (CreateWindowEx, DIB, fill,
//    UpdateLayeredWindow, ShowWindow). A second floor for each, reported
//    beside it: the bare popup whose frame also makes the system calls of the
//    skinned window's first frame, read off the open window (its texts drawn
//    through GDI+, the rich edit library loaded, the frame presented at the
//    window alpha the fade starts from), a part of what the system
//    charges any window for that frame (bench/ui/first_frame_floor.h). The
//    main window shows the texts the assistant gives its welcome page.
// 2. One full repaint of the 800 x 600 main window, faded in: the whole client area
//    invalidated, then WM_PAINT (paint of the tree plus UpdateLayeredWindow).
//    Floor: the bare window filling and presenting its frame again.
// 3. One progress step during a download: the download overlay open, the
//    bar's value raised by one, then WM_PAINT (what the step invalidated,
//    painted and presented). Floor: the bare window filling and presenting
//    the bar's rectangle alone (UpdateLayeredWindowIndirect with it as the
//    dirty rectangle), the least a change there can cost.
//
// Rounds alternate between the subject and its floor; each opening starts on
// a settled system (see Settle). Wall figures are
// medians; the CPU figures (this thread's user + kernel time, which leaves out
// the wineserver and the X server and most of the noise of a shared machine)
// are means over all rounds, since the thread clock ticks coarsely under Wine.
// A breakdown gives the skin build alone (parse and controls, no native
// window) for the main window. With --hold the sample window stays open, faded
// in and centred, that long after the run, for a screenshot.
#include <windows.h>

#include <gdiplus.h>
#include <objidl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "bench/ui/bare_layered_window.h"
#include "bench/ui/first_frame_floor.h"
#include "bench/ui/welcome_page_floor.h"
#include "ui/control/control.h"
#include "ui/control/label.h"
#include "ui/control/progress.h"
#include "ui/control/rich_edit.h"
#include "ui/core/global_manager.h"
#include "ui/core/window_builder.h"
#include "ui/core/window_impl_base.h"
#include "ui/render/render.h"
#include "ui/render/render_factory_gdiplus.h"

namespace {

double NowMs() {
  static const LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    ::QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER now;
  ::QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

// This thread's CPU time in ms.
double CpuMs() {
  FILETIME created, exited, kernel, user;
  ::GetThreadTimes(::GetCurrentThread(), &created, &exited, &kernel, &user);
  auto ticks = [](const FILETIME& t) {
    return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
  };
  return static_cast<double>(ticks(kernel) + ticks(user)) / 10000.0;
}

// Wall time per round and CPU time over all rounds of one subject.
struct Samples {
  std::vector<double> wall;
  double cpu = 0;
  double Cpu() const { return cpu / static_cast<double>(wall.size()); }
};

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

void PumpMessages() {
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
}

std::wstring ProgramFolder() {
  wchar_t path[MAX_PATH];
  const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path, length);
  return folder.substr(0, folder.find_last_of(L"\\/") + 1);
}

// A skinned window over one skin file; deletes itself when destroyed.
class BenchWindow : public ui::WindowImplBase {
 public:
  BenchWindow(std::wstring folder, std::wstring file)
      : folder_(std::move(folder)), file_(std::move(file)) {}
  std::wstring ClassName() const override { return L"WindowBenchSkinned"; }
  std::wstring SkinFolder() const override { return folder_; }
  std::wstring SkinFile() const override { return file_; }

 protected:
  // The main window shows the texts the assistant gives its welcome page
  // (the floor draws the same).
  void OnSkinLoaded() override {
    auto set = [this](const wchar_t* name, const wchar_t* text) {
      ui::Control* control = FindControlByName(name);
      if (auto* label = dynamic_cast<ui::Label*>(control)) label->SetText(text);
      if (auto* box = dynamic_cast<ui::LabelBox*>(control)) box->SetText(text);
      if (auto* edit = dynamic_cast<ui::RichEdit*>(control)) edit->SetText(text);
    };
    set(L"p1_lb_name", WelcomePageFloor::kTitle);
    set(L"p1_lb_intro", WelcomePageFloor::kIntroduction);
    set(L"p1_et_location", WelcomePageFloor::kLocation);
  }

 private:
  std::wstring folder_;
  std::wstring file_;
};

// Handles this thread's messages as they come until |done| answers true
// (then true) or |ms| have passed (then false).
bool PumpFor(int ms, const std::function<bool()>& done) {
  const double until = NowMs() + ms;
  while (!done()) {
    if (NowMs() >= until) return false;
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    PumpMessages();
  }
  return true;
}

// Until |window| has presented a frame at alpha 255 (its fade is over);
// false after 5 s.
bool WaitFadedIn(const BenchWindow& window) {
  return PumpFor(5000, [&window] {
    return window.GetPresentedAlpha() == 255 && window.GetWindowAlpha() == 255;
  });
}

// Create to first presented frame; the window is left open in |*out|.
double OpenSkinned(const wchar_t* folder, const wchar_t* file, BenchWindow** out) {
  const double start = NowMs();
  auto* window = new BenchWindow(folder, file);
  if (window->Create(nullptr, L"bench", WS_POPUP | WS_MINIMIZEBOX | WS_MAXIMIZEBOX, 0) == nullptr) {
    std::fprintf(stderr, "the skin %ls\\%ls did not load\n", folder, file);
    std::exit(1);
  }
  window->Show(true, false);
  while (window->GetPresentCount() == 0) {
    MSG msg;
    if (::GetMessageW(&msg, nullptr, 0, 0) <= 0) break;
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  const double elapsed = NowMs() - start;
  *out = window;
  return elapsed;
}

void CloseSkinned(BenchWindow* window) {
  ::DestroyWindow(window->GetHWND());  // the window deletes itself
  PumpMessages();
}

double OpenBare(int width, int height) {
  const double start = NowMs();
  BareLayeredWindow bare(0, 0, width, height);
  return NowMs() - start;
}

// The bare popup making the system calls of a skinned window's first frame.
double OpenCallsFloor(int width, int height, FirstFrameFloor& calls) {
  const double start = NowMs();
  calls.Make();
  double opened = 0;
  {
    BareLayeredWindow bare(
        0, 0, width, height, L"bare", [&calls](HDC dc) { calls.Paint(dc); }, calls.alpha());
    opened = NowMs() - start;
  }
  calls.Unmake();
  return opened;
}

// Waits |ms| while handling this thread's messages. Windows opened and
// closed back to back under Wine make each next opening slower: from the
// tenth or so on, a bare window took three times as long to open (this
// process and the wineserver both spent longer on it), and a pause between
// openings takes that away. A program opens its window on a settled system.
void Settle(int ms) {
  PumpFor(ms, [] { return false; });
}

struct Row {
  const char* what;
  const Samples* subject;
  const Samples* floor;
};

// Runs each of |runs| in turn, |rounds| times after one warm-up, into the
// samples of the same index. Each answers the wall time of the part it
// measures; the CPU time is taken around the whole call (closing included).
// Each run starts after |settle_ms| of settling.
void AlternateAll(int rounds, const std::vector<Samples*>& samples,
                  const std::vector<std::function<double()>>& runs, int settle_ms = 0) {
  for (int i = -1; i < rounds; ++i) {
    for (size_t k = 0; k < runs.size(); ++k) {
      Settle(settle_ms);
      const double cpu = CpuMs();
      const double wall = runs[k]();
      const double used = CpuMs() - cpu;
      if (i < 0) continue;
      samples[k]->wall.push_back(wall);
      samples[k]->cpu += used;
    }
  }
}

// |subject| and |floor| alternately.
void Alternate(int rounds, Samples& subject_samples, Samples& floor_samples,
               const std::function<double()>& subject, const std::function<double()>& floor) {
  AlternateAll(rounds, {&subject_samples, &floor_samples}, {subject, floor});
}

// Wall time of |work| in ms.
template <typename Work>
double Timed(Work work) {
  const double start = NowMs();
  work();
  return NowMs() - start;
}

// Points the resource path at |root| and reads its global.xml.
void UseSkin(const std::wstring& root) {
  ui::GlobalManager::SetResourcePath(root);
  ui::WindowBuilder global;
  global.Create(L"global.xml");
}

// How long the system is left to settle before each opening.
constexpr int kSettleMs = 150;

// Opening the skinned window against opening a bare one of the same size
// (shadow included), and against the bare one making the system calls of the
// skinned window's first frame.
void MeasureOpening(int rounds, const wchar_t* folder, const wchar_t* file, SIZE size,
                    Samples& skinned, Samples& bare, Samples& calls_floor) {
  BenchWindow* first = nullptr;
  OpenSkinned(folder, file, &first);
  FirstFrameFloor calls(*first);
  CloseSkinned(first);
  std::printf("%ls: %zu texts, %d rich edit fields, first frame at window alpha %d\n", file,
              calls.texts(), calls.rich_edits(), calls.alpha());
  const std::vector<std::function<double()>> runs = {
      [folder, file] {
        BenchWindow* window = nullptr;
        const double opened = OpenSkinned(folder, file, &window);
        CloseSkinned(window);
        return opened;
      },
      [size] {
        const double opened = OpenBare(size.cx + 28, size.cy + 28);
        PumpMessages();
        return opened;
      },
      [size, &calls] {
        const double opened = OpenCallsFloor(size.cx + 28, size.cy + 28, calls);
        PumpMessages();
        return opened;
      }};
  AlternateAll(rounds, {&skinned, &bare, &calls_floor}, runs, kSettleMs);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  int rounds = 15;
  int repaints = 60;
  int hold_ms = 0;
  int positional = 0;
  for (int i = 1; i < argc; ++i) {
    if (std::wcscmp(argv[i], L"--hold") == 0 && i + 1 < argc) {
      hold_ms = _wtoi(argv[++i]);
    } else if (positional++ == 0) {
      rounds = std::max(3, _wtoi(argv[i]));
    } else {
      repaints = std::max(3, _wtoi(argv[i]));
    }
  }

  Gdiplus::GdiplusStartupInput input;
  ULONG_PTR token = 0;
  Gdiplus::GdiplusStartup(&token, &input, nullptr);
  ui::SetRenderFactory(std::make_unique<ui::RenderFactory_GdiPlus>());
  BareLayeredWindow::Register();

  // The sample skin's fonts, colours and classes, then the assistant's: both
  // sets of names stay in the global tables (the assistant's second).
  const std::wstring folder = ProgramFolder();
  UseSkin(folder + L"window_bench_skin\\sample_skin");
  Samples sample, sample_floor, sample_calls;
  MeasureOpening(rounds, L"sample", L"sample.xml", SIZE{400, 300}, sample, sample_floor,
                 sample_calls);
  UseSkin(folder + L"window_bench_skin\\theme");
  ui::GlobalManager::LoadStringTableFromFile(folder + L"window_bench_skin\\gdstrings.ini");
  Samples main_open, main_floor, main_calls;
  MeasureOpening(rounds, L"basic", L"basic.xml", SIZE{800, 600}, main_open, main_floor, main_calls);

  // The skin build alone: parse basic.xml and make its controls.
  Samples build, build_floor;
  Alternate(
      rounds, build, build_floor,
      [] {
        ui::Window host;
        ui::WindowBuilder builder;
        return Timed([&] { host.AttachRoot(builder.Create(L"basic/basic.xml", nullptr, &host)); });
      },
      [] { return 0.0; });

  // Full repaints of the open main window, once it has faded in, against
  // re-presenting the bare frame. (Midway through the fade each frame would
  // be presented at an alpha below 255, which the system blends at a cost of
  // its own, and the bare window's is not.)
  BenchWindow* window = nullptr;
  OpenSkinned(L"basic", L"basic.xml", &window);
  HWND hwnd = window->GetHWND();
  auto bare = std::make_unique<BareLayeredWindow>(0, 0, 800 + 28, 600 + 28);
  if (!WaitFadedIn(*window)) {
    std::fprintf(stderr, "the main window did not fade in\n");
    return 1;
  }
  RECT client;
  ::GetClientRect(hwnd, &client);
  Samples repaint, repaint_floor;
  bool presented = true;
  Alternate(
      repaints, repaint, repaint_floor,
      [&] {
        const unsigned before = window->GetPresentCount();
        const double painted = Timed([&] {
          window->Invalidate(client);
          ::SendMessageW(hwnd, WM_PAINT, 0, 0);
        });
        presented = presented && window->GetPresentCount() != before;
        PumpMessages();
        return painted;
      },
      [&] { return Timed([&] { bare->Present(); }); });
  PumpMessages();
  if (!presented) {
    std::fprintf(stderr, "a repaint presented nothing\n");
    return 1;
  }

  // Progress steps with the download overlay open, as during a download.
  ui::Control* overlay = window->FindControlByName(L"install");
  auto* bar = dynamic_cast<ui::Progress*>(window->FindControlByName(L"install_progress"));
  if (overlay == nullptr || bar == nullptr) {
    std::fprintf(stderr, "the main skin has no download overlay or bar\n");
    return 1;
  }
  overlay->SetVisible(true);
  ::SendMessageW(hwnd, WM_PAINT, 0, 0);
  PumpMessages();
  const RECT bar_rect = bar->GetRect();
  Samples step, step_floor;
  int value = 0;
  Alternate(
      repaints, step, step_floor,
      [&] {
        const unsigned before = window->GetPresentCount();
        const double painted = Timed([&] {
          bar->SetValue(value++ % 100);
          ::SendMessageW(hwnd, WM_PAINT, 0, 0);
        });
        presented = presented && window->GetPresentCount() != before;
        PumpMessages();
        return painted;
      },
      [&] { return Timed([&] { bare->Present(&bar_rect); }); });
  if (!presented) {
    std::fprintf(stderr, "a progress step presented nothing\n");
    return 1;
  }

  const Row rows[] = {
      {"create to first frame, sample 400x300", &sample, &sample_floor},
      {"  sample, against its system calls", &sample, &sample_calls},
      {"create to first frame, main 800x600", &main_open, &main_floor},
      {"  main, against its system calls", &main_open, &main_calls},
      {"  of which skin build (parse + controls)", &build, nullptr},
      {"full repaint, main 800x600 (paint + ULW)", &repaint, &repaint_floor},
      {"progress step, main 800x600 (paint + ULW)", &step, &step_floor},
  };
  std::printf("window benchmark (%d rounds, %d repaints; wall medians and thread CPU means, ms)\n",
              rounds, repaints);
  std::printf("%-42s %9s %9s %7s | %9s %9s %7s\n", "", "wall", "bare", "ratio", "cpu", "bare",
              "ratio");
  for (const Row& row : rows) {
    const double wall = Median(row.subject->wall);
    const double cpu = row.subject->Cpu();
    if (row.floor == nullptr) {
      std::printf("%-42s %9.2f %9s %7s | %9.2f\n", row.what, wall, "", "", cpu);
      continue;
    }
    const double floor_wall = Median(row.floor->wall);
    const double floor_cpu = row.floor->Cpu();
    std::printf("%-42s %9.2f %9.2f %7.2f | %9.2f %9.2f %7.2f\n", row.what, wall, floor_wall,
                wall / floor_wall, cpu, floor_cpu, floor_cpu > 0 ? cpu / floor_cpu : 0.0);
  }
  std::printf(
      "targets: first frame <= 1.3 x bare; full repaint <= 1.3 x bare; progress step <= 1.2 x "
      "bare\n");
  std::fflush(stdout);

  ::DestroyWindow(hwnd);
  bare.reset();
  PumpMessages();

  if (hold_ms > 0) {
    // The sample window alone, centred and faded in, for a screenshot.
    ui::GlobalManager::Shutdown();
    UseSkin(folder + L"window_bench_skin\\sample_skin");
    BenchWindow* sample_window = nullptr;
    OpenSkinned(L"sample", L"sample.xml", &sample_window);
    sample_window->CenterWindow();
    Settle(hold_ms);
    ::DestroyWindow(sample_window->GetHWND());
    PumpMessages();
  }
  ui::GlobalManager::Shutdown();
  ui::SetRenderFactory(nullptr);
  Gdiplus::GdiplusShutdown(token);
  return 0;
}
