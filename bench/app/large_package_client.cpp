// One run of the real pipeline over a large package, for the run outside the
// test suite that bench/app/large_package_run.py drives: the details (address
// and SHA-256) in, the download with its retries, the record, then the launch
// that checks the hash again and unpacks the zip under the product folder.
//
//   large_package_client.exe <package url> <sha256> <work folder>
//
// Prints the outcome, the seconds of each phase, the last progress figures
// and the process's peak working set.
#include <windows.h>

#include <psapi.h>

#include <cstdio>
#include <string>

#include "app/installation_pipeline.h"
#include "app/json_file.h"
#include "bench/app/bench_support.h"
#include "tests/app/recording_shell.h"
#include "tests/app/test_ui_thread.h"

int wmain(int argc, wchar_t** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: large_package_client <package url> <sha256> <work folder>\n");
    return 2;
  }
  const std::wstring url = argv[1];
  const std::wstring sha256 = argv[2];
  const std::wstring work = argv[3];
  CreateFolderTree(work);

  testing_support::TestUiThread ui;
  testing_support::RecordingShell shell;
  const InstallationPipeline::Environment env = bench_support::PipelineEnvironment(ui, shell, work);
  int percent = -1;
  int reports = 0;
  InstallationPipeline::View view;
  view.set_progress = [&](int value) {
    percent = value;
    ++reports;
  };
  InstallationPipeline pipeline(env, view);
  InstallationDetails details;
  details.download_url = url;
  details.sha256 = std::string(sha256.begin(), sha256.end());

  const double start = bench_support::Now();
  pipeline.StartInstallation(details);
  ui.RunUntil([&] { return !pipeline.downloading(); }, INFINITE);
  const double downloaded = bench_support::Now();
  std::printf("download: %.1f s, bar at %d after %d reports, %zu messages\n", downloaded - start,
              percent, reports, shell.messages.size());
  std::fflush(stdout);
  if (!pipeline.HasDownloadedPackage() || !shell.messages.empty()) {
    std::printf("result: download failed\n");
    return 1;
  }
  percent = -1;
  reports = 0;
  pipeline.LaunchInstaller();
  ui.RunUntil([&] { return !pipeline.launching(); }, INFINITE);
  const double launched = bench_support::Now();
  std::printf("check and unpack: %.1f s, bar at %d after %d reports, %zu messages\n",
              launched - downloaded, percent, reports, shell.messages.size());

  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof(counters);
  ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof(counters));
  std::printf("peak working set: %.1f MB\n", counters.PeakWorkingSetSize / 1e6);
  std::printf("result: %s, %.1f s in all\n", shell.messages.empty() ? "ok" : "failed",
              launched - start);
  return shell.messages.empty() ? 0 : 1;
}
