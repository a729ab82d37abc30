// The installation pipeline's cost over the work it drives: one package
// downloaded from the reference service and unpacked, through the real
// InstallationPipeline (StartInstallation, then LaunchInstaller on the
// recorded zip) against, in the same process and run, the engine's raw
// HttpDownload followed by ExtractArchive alone.
//
//   pipeline_bench.exe <package url> <work folder> [rounds] [hashed]
//
// Prints per-round seconds, the medians and the ratio pipeline / baseline.
// With "hashed" the pipeline is given the package's SHA-256, as the service
// sends it, and checks it; the baseline checks nothing, so the difference is
// the price of the check.
// The work folder is emptied between runs (not timed).
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/file_hash.h"
#include "app/installation_pipeline.h"
#include "app/json_file.h"
#include "archive/package_extraction.h"
#include "bench/app/bench_support.h"
#include "http/http_functions.h"
#include "tests/app/recording_shell.h"
#include "tests/app/test_ui_thread.h"

namespace {

using bench_support::Median;
using bench_support::Now;
using bench_support::RemoveTree;

// CPU seconds this process has used (all its threads, the HTTP client's
// included): steadier than wall time on a shared machine.
double CpuSeconds() {
  FILETIME created, exited, kernel, user;
  ::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user);
  auto seconds = [](const FILETIME& t) {
    return ((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
  };
  return seconds(kernel) + seconds(user);
}

// HttpDownload to a file, then ExtractArchive: what the pipeline drives.
double Baseline(const std::wstring& url, const std::wstring& work) {
  CreateFolderTree(work);
  const std::wstring file = work + L"\\package.zip";
  HANDLE done = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  DWORD status = 0;
  const double start = Now();
  const double start_cpu = CpuSeconds();
  winhttpx::HttpDownload(url, file, nullptr)
      ->Then([done, &status](const std::shared_ptr<winhttpx::Response>& response) {
        status = response->status_code();
        ::SetEvent(done);
      });
  ::WaitForSingleObject(done, INFINITE);
  const double downloaded = Now();
  const double downloaded_cpu = CpuSeconds();
  ExtractArchive(file.c_str(), (work + L"\\out").c_str());
  const double seconds = Now() - start;
  std::printf("  baseline: download %.3f s (cpu %.3f), extract %.3f s (cpu %.3f)\n",
              downloaded - start, downloaded_cpu - start_cpu, seconds - (downloaded - start),
              CpuSeconds() - downloaded_cpu);
  ::CloseHandle(done);
  if (status != 200) std::fprintf(stderr, "baseline: status %lu\n", status);
  return seconds;
}

// The same through the pipeline: details in, download with progress posted
// to a UI loop, the package recorded, then the launch unpacks it.
double Pipeline(const std::wstring& url, const std::wstring& work, const std::string& sha256) {
  testing_support::TestUiThread ui;
  testing_support::RecordingShell shell;
  const InstallationPipeline::Environment env = bench_support::PipelineEnvironment(ui, shell, work);
  int percent = 0;
  InstallationPipeline::View view;
  view.set_progress = [&percent](int value) { percent = value; };
  CreateFolderTree(work);
  InstallationPipeline pipeline(env, view);
  InstallationDetails details;
  details.download_url = url;
  details.sha256 = sha256;

  const double start = Now();
  const double start_cpu = CpuSeconds();
  pipeline.StartInstallation(details);
  ui.RunUntil([&] { return !pipeline.downloading(); }, INFINITE);
  const double downloaded = Now();
  const double downloaded_cpu = CpuSeconds();
  pipeline.LaunchInstaller();
  ui.RunUntil([&] { return !pipeline.launching(); }, INFINITE);
  const double seconds = Now() - start;
  std::printf("  pipeline: download %.3f s (cpu %.3f), launch %.3f s (cpu %.3f)\n",
              downloaded - start, downloaded_cpu - start_cpu, seconds - (downloaded - start),
              CpuSeconds() - downloaded_cpu);
  if (!shell.messages.empty() || percent != 100) {
    std::fprintf(stderr, "pipeline: %zu messages, bar at %d\n", shell.messages.size(), percent);
  }
  return seconds;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: pipeline_bench <package url> <work folder> [rounds]\n");
    return 2;
  }
  const std::wstring url = argv[1];
  const std::wstring work = argv[2];
  const int rounds = argc > 3 ? _wtoi(argv[3]) : 5;
  const bool hashed = argc > 4 && std::wstring(argv[4]) == L"hashed";
  std::string sha256;
  std::vector<double> baseline, pipeline, ratios, baseline_cpu, pipeline_cpu;
  // A warm-up of each: the service's ETag, the page cache, Wine's own caches.
  RemoveTree(work);
  Baseline(url, work + L"\\baseline");
  if (hashed) {
    const double start = Now();
    sha256 = Sha256OfFile(work + L"\\baseline\\package.zip");
    std::printf("sha256 %s (a pass over the file: %.3f s)\n", sha256.c_str(), Now() - start);
  }
  RemoveTree(work);
  Pipeline(url, work + L"\\pipeline", sha256);
  RemoveTree(work);
  for (int round = 0; round < rounds; ++round) {
    double b = 0, p = 0, bc = 0, pc = 0;
    for (int turn = 0; turn < 2; ++turn) {
      const double cpu = CpuSeconds();
      if ((round + turn) % 2 == 0) {
        b = Baseline(url, work + L"\\baseline");
        bc = CpuSeconds() - cpu;
      } else {
        p = Pipeline(url, work + L"\\pipeline", sha256);
        pc = CpuSeconds() - cpu;
      }
      RemoveTree(work);
    }
    baseline.push_back(b);
    pipeline.push_back(p);
    ratios.push_back(p / b);
    baseline_cpu.push_back(bc);
    pipeline_cpu.push_back(pc);
    std::printf("round %d: baseline %.3f s (cpu %.3f), pipeline %.3f s (cpu %.3f), ratio %.3f\n",
                round + 1, b, bc, p, pc, p / b);
    std::fflush(stdout);
  }
  std::printf(
      "median: baseline %.3f s, pipeline %.3f s; ratio of medians %.3f, "
      "median of ratios %.3f, best %.3f / %.3f = %.3f\n",
      Median(baseline), Median(pipeline), Median(pipeline) / Median(baseline), Median(ratios),
      *std::min_element(pipeline.begin(), pipeline.end()),
      *std::min_element(baseline.begin(), baseline.end()),
      *std::min_element(pipeline.begin(), pipeline.end()) /
          *std::min_element(baseline.begin(), baseline.end()));
  std::printf("process CPU, median: baseline %.3f s, pipeline %.3f s, ratio %.3f\n",
              Median(baseline_cpu), Median(pipeline_cpu),
              Median(pipeline_cpu) / Median(baseline_cpu));
  return 0;
}
