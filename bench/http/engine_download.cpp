// The engine's side of the download benchmark: HttpDownload of one URL into
// a file, waiting for the completion handler.
//   engine_download <url> <file>
// Prints "<seconds> <bytes> <status> <cpu seconds>" measured from the call to the handler.
#include <windows.h>

#include <cstdio>
#include <exception>

#include "http/http_functions.h"

namespace {

// User and kernel time of this process so far, in seconds.
double ProcessCpuSeconds() {
  FILETIME created, exited, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  auto seconds = [](const FILETIME& t) {
    return (static_cast<double>(t.dwHighDateTime) * 4294967296.0 + t.dwLowDateTime) / 1e7;
  };
  return seconds(kernel) + seconds(user);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: engine_download url file\n");
    return 2;
  }
  HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  const double cpu_start = ProcessCpuSeconds();
  QueryPerformanceCounter(&start);
  std::shared_ptr<winhttpx::DownloadResponse> response;
  try {
    response = winhttpx::HttpDownload(argv[1], argv[2], nullptr);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  response->Then([done](const std::shared_ptr<winhttpx::Response>&) { SetEvent(done); });
  WaitForSingleObject(done, INFINITE);
  QueryPerformanceCounter(&end);
  const double cpu = ProcessCpuSeconds() - cpu_start;
  std::printf("%.6f %lld %lu %.6f\n",
              static_cast<double>(end.QuadPart - start.QuadPart) / frequency.QuadPart,
              static_cast<long long>(response->received()),
              static_cast<unsigned long>(response->status_code()), cpu);
  return response->state() == winhttpx::ResponseState::kCompleted && response->status_code() == 200
             ? 0
             : 1;
}
