// Baseline for the download benchmark: the least an asynchronous WinHTTP
// download can do (one session, one request, a status callback that reads
// each available piece and appends it to a file through a 1 MiB buffer, as a
// buffered stream would), with none of our engine.
//   raw_winhttp_download <host> <port> <path> <file>
// Prints "<seconds> <bytes> <status> <cpu seconds>" measured from sending to the end.
#include <windows.h>

#include <winhttp.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

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

struct Transfer {
  HANDLE file = INVALID_HANDLE_VALUE;
  HANDLE done = nullptr;
  char buffer[64 * 1024];
  char pending[1 << 20];
  DWORD pending_size = 0;
  long long bytes = 0;
  DWORD status = 0;
  bool failed = false;
};

void Flush(Transfer* t) {
  DWORD written = 0;
  if (t->pending_size) WriteFile(t->file, t->pending, t->pending_size, &written, nullptr);
  t->pending_size = 0;
}

void CALLBACK OnStatus(HINTERNET request, DWORD_PTR context, DWORD code, LPVOID info,
                       DWORD length) {
  auto* t = reinterpret_cast<Transfer*>(context);
  if (!t) return;
  bool ok = true;
  switch (code) {
    case WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE:
      ok = WinHttpReceiveResponse(request, nullptr);
      break;
    case WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE: {
      DWORD size = sizeof(t->status);
      WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                          WINHTTP_HEADER_NAME_BY_INDEX, &t->status, &size, WINHTTP_NO_HEADER_INDEX);
      ok = WinHttpQueryDataAvailable(request, nullptr);
      break;
    }
    case WINHTTP_CALLBACK_STATUS_DATA_AVAILABLE: {
      DWORD n = *static_cast<DWORD*>(info);
      if (n == 0) {
        Flush(t);
        SetEvent(t->done);
        return;
      }
      if (n > sizeof(t->buffer)) n = sizeof(t->buffer);
      ok = WinHttpReadData(request, t->buffer, n, nullptr);
      break;
    }
    case WINHTTP_CALLBACK_STATUS_READ_COMPLETE: {
      if (t->pending_size + length > sizeof(t->pending)) Flush(t);
      memcpy(t->pending + t->pending_size, info, length);
      t->pending_size += length;
      t->bytes += length;
      ok = WinHttpQueryDataAvailable(request, nullptr);
      break;
    }
    case WINHTTP_CALLBACK_STATUS_REQUEST_ERROR:
      ok = false;
      break;
    default:
      return;
  }
  if (!ok) {
    t->failed = true;
    SetEvent(t->done);
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: raw_winhttp_download host port path file\n");
    return 2;
  }
  static Transfer t;
  t.done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  t.file = CreateFileW(argv[4], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
  if (t.file == INVALID_HANDLE_VALUE) return 1;
  HINTERNET session = WinHttpOpen(L"bench", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                  WINHTTP_NO_PROXY_BYPASS, WINHTTP_FLAG_ASYNC);
  HINTERNET connection =
      WinHttpConnect(session, argv[1], static_cast<INTERNET_PORT>(_wtoi(argv[2])), 0);
  HINTERNET request = WinHttpOpenRequest(connection, L"GET", argv[3], nullptr, WINHTTP_NO_REFERER,
                                         WINHTTP_DEFAULT_ACCEPT_TYPES, WINHTTP_FLAG_REFRESH);
  if (!session || !connection || !request) return 1;
  WinHttpSetStatusCallback(request, OnStatus, WINHTTP_CALLBACK_FLAG_ALL_NOTIFICATIONS, 0);

  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  const double cpu_start = ProcessCpuSeconds();
  QueryPerformanceCounter(&start);
  if (!WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0,
                          reinterpret_cast<DWORD_PTR>(&t))) {
    return 1;
  }
  WaitForSingleObject(t.done, INFINITE);
  QueryPerformanceCounter(&end);
  const double cpu = ProcessCpuSeconds() - cpu_start;
  CloseHandle(t.file);
  std::printf("%.6f %lld %lu %.6f\n",
              static_cast<double>(end.QuadPart - start.QuadPart) / frequency.QuadPart, t.bytes,
              static_cast<unsigned long>(t.status), cpu);
  WinHttpSetStatusCallback(request, nullptr, WINHTTP_CALLBACK_FLAG_ALL_NOTIFICATIONS, 0);
  WinHttpCloseHandle(request);
  WinHttpCloseHandle(connection);
  WinHttpCloseHandle(session);
  return t.failed || t.status != 200 ? 1 : 0;
}
