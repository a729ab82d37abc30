// Small helpers the app benchmarks share: a wall clock in seconds, removing
// a work folder between rounds, the median of a round's figures, and the
// environment of a pipeline that works under one folder. The calling thread
// only.
#pragma once

#include <windows.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "app/installation_pipeline.h"
#include "tests/app/recording_shell.h"
#include "tests/app/test_ui_thread.h"
#include "tests/support/scoped_temp_dir.h"

namespace bench_support {

inline double Now() {
  LARGE_INTEGER counter, frequency;
  ::QueryPerformanceCounter(&counter);
  ::QueryPerformanceFrequency(&frequency);
  return static_cast<double>(counter.QuadPart) / frequency.QuadPart;
}

using testing_support::RemoveTree;

inline double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// The product "fernwick" with its local application data at |work| and its
// downloader folder inside: tasks go to |ui|, messages and launches to
// |shell|, events nowhere. |ui| runs no task loop of the runtime, so retries
// of a failed download wait on a thread of their own and then go to |ui|.
inline InstallationPipeline::Environment PipelineEnvironment(testing_support::TestUiThread& ui,
                                                             testing_support::RecordingShell& shell,
                                                             const std::wstring& work) {
  InstallationPipeline::Environment env;
  env.post = ui.poster();
  env.shell = &shell;
  env.local_app_data = work + L"\\";
  env.downloader_directory = work + L"\\fernwick_downloader";
  env.product = L"fernwick";
  env.report_event = [](const std::string&, const Json&) {};
  PostToUIFunction post = env.post;
  env.retry_scheduler = [post](DWORD delay_ms, UiTask task) {
    std::thread([post, delay_ms, task] {
      ::Sleep(delay_ms);
      post(task);
    }).detach();
  };
  return env;
}

}  // namespace bench_support
