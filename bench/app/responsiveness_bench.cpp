// Whether the window keeps answering while a package is checked and
// unpacked. A probe thread sends WM_NULL to a window of the UI thread with
// SendMessageTimeout every 50 ms and keeps the longest wait; Windows calls a
// window "Not responding" once such a wait reaches 5 s.
//
//   responsiveness_bench.exe <package.zip> <work folder> [rounds]
//
// Measured in one process, round after round:
//   launch   InstallationPipeline::LaunchInstaller on the recorded package
//            (hash re-check and unpacking on the pipeline's worker)
//   idle     the UI loop doing nothing for as long (the floor of the probe)
//   on UI    the same hash check and ExtractArchive called on the UI
//            thread, the way the launch used to run
// Prints the longest waits per round, their medians and the ratios of the
// launch's to the other two.
// Target: the launch's longest wait < 100 ms.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "app/file_hash.h"
#include "app/installation_pipeline.h"
#include "app/json_file.h"
#include "archive/package_extraction.h"
#include "bench/app/bench_support.h"
#include "tests/app/recording_shell.h"
#include "tests/app/test_ui_thread.h"

namespace {

using bench_support::Median;
using bench_support::Now;
using bench_support::RemoveTree;

// Sends WM_NULL to |window| every 50 ms from its own thread while it lives;
// longest() is the longest any of them waited, in milliseconds.
class Probe {
 public:
  explicit Probe(HWND window) : window_(window), thread_([this] { Run(); }) {}
  ~Probe() {
    stop_ = true;
    thread_.join();
  }
  double longest() const { return longest_ms_.load(); }
  int sent() const { return sent_.load(); }

 private:
  void Run() {
    while (!stop_) {
      const double start = Now();
      DWORD_PTR result = 0;
      ::SendMessageTimeoutW(window_, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &result);
      const double waited = (Now() - start) * 1000;
      if (waited > longest_ms_) longest_ms_ = waited;
      ++sent_;
      ::Sleep(50);
    }
  }

  HWND window_;
  std::atomic<bool> stop_{false};
  std::atomic<double> longest_ms_{0};
  std::atomic<int> sent_{0};
  std::thread thread_;
};

struct Round {
  double launch_ms, launch_s, idle_ms, on_ui_ms, on_ui_s;
};

Round Measure(HWND window, const std::wstring& package, const std::wstring& work) {
  Round round{};
  const std::wstring downloader = work + L"\\fernwick_downloader";
  CreateFolderTree(downloader + L"\\installer");
  const std::wstring recorded = downloader + L"\\installer\\bench.zip";
  ::CopyFileW(package.c_str(), recorded.c_str(), FALSE);
  const std::string sha256 = Sha256OfFile(recorded);
  MergeJsonFile(downloader + L"\\config.json",
                {{"installer", "installer\\bench.zip"}, {"launch_cmd", ""}, {"sha256", sha256}});

  testing_support::TestUiThread ui;
  testing_support::RecordingShell shell;
  const InstallationPipeline::Environment env = bench_support::PipelineEnvironment(ui, shell, work);
  int percent = 0;
  InstallationPipeline::View view;
  view.set_progress = [&percent](int value) { percent = value; };
  {
    InstallationPipeline pipeline(env, view);
    Probe probe(window);
    const double start = Now();
    pipeline.LaunchInstaller();
    ui.RunUntil([&] { return !pipeline.launching(); }, INFINITE);
    round.launch_s = Now() - start;
    round.launch_ms = probe.longest();
    if (!shell.messages.empty() || percent != 100) {
      std::fprintf(stderr, "launch: %zu messages, bar at %d\n", shell.messages.size(), percent);
    }
  }
  {
    Probe probe(window);
    ui.RunFor(static_cast<DWORD>(round.launch_s * 1000));
    round.idle_ms = probe.longest();
  }
  RemoveTree(work + L"\\fernwick");
  {
    Probe probe(window);
    ::Sleep(60);  // the probe's first message is answered before the work
    ui.RunFor(1);
    const double start = Now();
    const bool same = Sha256OfFile(recorded) == sha256;
    ExtractArchive(recorded.c_str(), (work + L"\\fernwick").c_str());
    round.on_ui_s = Now() - start;
    ui.RunFor(100);
    round.on_ui_ms = probe.longest();
    if (!same) std::fprintf(stderr, "on UI: hash differs\n");
  }
  return round;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: responsiveness_bench <package.zip> <work folder> [rounds]\n");
    return 2;
  }
  const std::wstring package = argv[1];
  const std::wstring work = argv[2];
  const int rounds = argc > 3 ? _wtoi(argv[3]) : 3;
  // The UI thread's window the probe talks to; its messages are pumped
  // wherever the UI loop waits.
  HWND window = ::CreateWindowExW(0, L"STATIC", L"probe", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  nullptr, nullptr);
  if (!window) {
    std::fprintf(stderr, "no window\n");
    return 1;
  }
  std::vector<double> launch, idle, on_ui;
  for (int i = 0; i < rounds; ++i) {
    RemoveTree(work);
    const Round r = Measure(window, package, work);
    launch.push_back(r.launch_ms);
    idle.push_back(r.idle_ms);
    on_ui.push_back(r.on_ui_ms);
    std::printf(
        "round %d: longest wait: launch %.1f ms (%.2f s of work), idle %.1f ms, "
        "on the UI thread %.1f ms (%.2f s of work)\n",
        i + 1, r.launch_ms, r.launch_s, r.idle_ms, r.on_ui_ms, r.on_ui_s);
    std::fflush(stdout);
  }
  RemoveTree(work);
  std::printf(
      "median longest wait: launch %.1f ms, idle %.1f ms, on the UI thread %.1f ms; "
      "launch / idle %.2f, launch / on the UI thread %.3f\n",
      Median(launch), Median(idle), Median(on_ui), Median(launch) / Median(idle),
      Median(launch) / Median(on_ui));
  return 0;
}
