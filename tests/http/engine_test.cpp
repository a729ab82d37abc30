#include <windows.h>

#include <atomic>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "http/http_client.h"
#include "http/http_functions.h"
#include "http/http_session.h"
#include "http/proxy_resolver.h"
#include "http/request.h"
#include "http/response.h"
#include "tests/http/answering_server.h"
#include "tests/http/silent_server.h"
#include "tests/http/test_service.h"

namespace winhttpx {
namespace {

using testing_support::AnsweringServer;
using testing_support::ClosedPort;
using testing_support::CompletionWaiter;
using testing_support::SilentServer;
using testing_support::TestService;

const TestService& Service() { return TestService::Get(); }

std::string Pattern(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i % 251);
  return bytes;
}

std::string ReadFile(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A fresh file path in the temporary folder, removed afterwards.
class TempFile {
 public:
  TempFile() {
    wchar_t dir[MAX_PATH], name[MAX_PATH];
    GetTempPathW(MAX_PATH, dir);
    GetTempFileNameW(dir, L"htt", 0, name);
    path_ = name;
  }
  ~TempFile() { DeleteFileW(path_.c_str()); }
  const std::wstring& path() const { return path_; }

 private:
  std::wstring path_;
};

std::shared_ptr<Response> GetAndWait(const std::wstring& url) {
  CompletionWaiter waiter;
  waiter.Watch(HttpGet(url));
  EXPECT_TRUE(waiter.Wait());
  return waiter.response();
}

bool RunningUnderWine() {
  return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

// Whether nobody holds the file open any more.
bool FileClosed(const std::wstring& path) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  CloseHandle(h);
  return true;
}

TEST(RequestTest, HeaderBlockCarriesLengthAndType) {
  HttpSession session;
  HttpClient client(session, L"127.0.0.1", 1, false);
  auto get = client.NewGetRequest(L"/");
  EXPECT_EQ(get->BuildHeaderBlock(), L"Content-Length: 0\r\n\r\n");

  auto post = client.NewPostRequest(L"/");
  HeaderMap headers;
  headers.emplace(L"X-B", L"2");
  headers.emplace(L"content-length", L"999");
  post->AddHeaders(headers);
  post->SetContentType(L"application/json");
  post->SetBody("{}");
  EXPECT_EQ(post->BuildHeaderBlock(),
            L"Content-Length: 2\r\nContent-Type: application/json\r\nX-B: 2\r\n\r\n");

  auto streamed = client.NewPostRequest(L"/");
  streamed->SetBodyProvider([](int64_t, size_t, DataSink&) {});
  EXPECT_EQ(streamed->BuildHeaderBlock(), L"Transfer-Encoding: chunked\r\n\r\n");
}

TEST(RequestTest, DestroyingAnUnsentRequestReturns) {
  HttpSession session;
  HttpClient client(session, L"127.0.0.1", 1, false);
  const ULONGLONG start = GetTickCount64();
  client.NewGetRequest(L"/").reset();
  EXPECT_LT(GetTickCount64() - start, 2000u);
}

TEST(HttpFunctionsTest, BadUrlsRaiseBeforeSending) {
  try {
    HttpGet(L"ftp://127.0.0.1/x");
    FAIL();
  } catch (const std::invalid_argument& e) {
    EXPECT_STREQ(e.what(), "'ftp' scheme is not supported.");
  }
  EXPECT_THROW(HttpGet(L"http://127.0.0.1:99999999999/"), std::out_of_range);
}

TEST(HttpFunctionsTest, UrlsWithoutAUsableHostFailWithStatusZero) {
  for (const wchar_t* url : {L"", L"http://", L"no-such-host.invalid"}) {
    std::shared_ptr<TextResponse> response;
    try {
      response = HttpGet(url);
    } catch (const std::runtime_error& e) {
      // WinHTTP may refuse the host at once; then with its call's name.
      EXPECT_EQ(std::string(e.what()).rfind("WinHttpConnect failed: ", 0), 0u) << e.what();
      continue;
    }
    CompletionWaiter waiter;
    waiter.Watch(response);
    ASSERT_TRUE(waiter.Wait()) << url;
    EXPECT_EQ(response->state(), ResponseState::kFailed) << url;
    EXPECT_EQ(response->status_code(), 0u) << url;
    EXPECT_NE(response->error_code(), 0u) << url;
  }
}

TEST(EngineTest, GetSendsZeroContentLengthAndTheUserAgent) {
  REQUIRE_TEST_SERVICE();
  HeaderMap headers;
  headers.emplace(L"X-Test", L"one");
  CompletionWaiter waiter;
  waiter.Watch(HttpGet(Service().Http(L"/test/echo?a=1"), headers));
  ASSERT_TRUE(waiter.Wait());
  auto r = waiter.response();
  EXPECT_EQ(r->state(), ResponseState::kCompleted);
  EXPECT_EQ(r->status_code(), 200u);
  const std::string body = r->Body();
  EXPECT_NE(body.find("\"method\": \"GET\""), std::string::npos) << body;
  EXPECT_NE(body.find("[\"Content-Length\", \"0\"]"), std::string::npos) << body;
  EXPECT_NE(body.find("[\"X-Test\", \"one\"]"), std::string::npos) << body;
  EXPECT_NE(body.find("Chrome/91.0.4472.114 Safari/537.36"), std::string::npos) << body;
  EXPECT_NE(body.find("\"body_length\": 0"), std::string::npos) << body;
  EXPECT_EQ(waiter.calls(), 1);
}

// A request on a session of its own never uses its connection again (on
// Windows the session closes it); going direct, it lets the connection end
// with the response. Requests on a shared session keep theirs for the next.
TEST(EngineTest, OnlyARequestOnASessionOfItsOwnLetsItsConnectionEnd) {
  AnsweringServer server;
  ASSERT_NE(server.port(), 0);
  const std::string body = AnsweringServer::kBody;

  // First, while nothing in this process has a connection to the server
  // cached. Windows 8.1 and later find the proxy inside WinHTTP, which may
  // need the connection for a logon; the test machine finds none for the
  // loopback.
  if (!ProxyResolver::ForProcess().automatic()) {
    auto response = GetAndWait(L"http://127.0.0.1:" + std::to_wstring(server.port()) + L"/a");
    ASSERT_TRUE(response);
    EXPECT_EQ(response->Body(), body);
    EXPECT_EQ(server.accepted(), 1);
    EXPECT_TRUE(server.WaitForOpen(0, 2000)) << server.open();
  }

  HttpSession session;
  HttpClient client(session, L"127.0.0.1", server.port(), false);
  for (const bool keep_alive : {false, true}) {
    const int accepted = server.accepted();
    Request::Options options;
    options.keep_alive = keep_alive;
    auto request = Request::Create(client.handle(), L"GET", L"/b", options);
    auto response = request->Send();  // nothing else holds it
    CompletionWaiter waiter;
    waiter.Watch(response);
    ASSERT_TRUE(waiter.Wait()) << keep_alive;
    EXPECT_EQ(response->Body(), body);
    EXPECT_EQ(server.accepted(), accepted + 1);
    if (keep_alive) {
      Sleep(300);  // the connection outlives the response
      EXPECT_EQ(server.open(), 1);
    } else {
      EXPECT_TRUE(server.WaitForOpen(0, 2000)) << server.open();
    }
  }
}

TEST(EngineTest, PostSendsTheBodyWithItsType) {
  REQUIRE_TEST_SERVICE();
  CompletionWaiter waiter;
  waiter.Watch(
      HttpPost(Service().Http(L"/test/echo"), "{\"name\":\"startup\"}", L"application/json"));
  ASSERT_TRUE(waiter.Wait());
  const std::string body = waiter.response()->Body();
  EXPECT_NE(body.find("\"method\": \"POST\""), std::string::npos) << body;
  EXPECT_NE(body.find("[\"Content-Type\", \"application/json\"]"), std::string::npos) << body;
  EXPECT_NE(body.find("\"body\": \"{\\\"name\\\":\\\"startup\\\"}\""), std::string::npos) << body;
}

TEST(EngineTest, DuplicateResponseHeadersAreKeptInOrder) {
  REQUIRE_TEST_SERVICE();
  auto r =
      GetAndWait(Service().Http(L"/test/headers?h=X-Dup:first&h=x-dup:%20second%20&h=X-One:1"));
  ASSERT_TRUE(r);
  std::vector<std::pair<std::wstring, std::wstring>> dups;
  auto range = r->headers().equal_range(L"X-DUP");
  for (auto it = range.first; it != range.second; ++it) dups.emplace_back(it->first, it->second);
  ASSERT_EQ(dups.size(), 2u);
  EXPECT_EQ(dups[0], std::make_pair(std::wstring(L"X-Dup"), std::wstring(L"first")));
  EXPECT_EQ(dups[1], std::make_pair(std::wstring(L"x-dup"), std::wstring(L"second")));
  ASSERT_NE(FindHeader(r->headers(), L"content-length"), nullptr);
  EXPECT_EQ(*FindHeader(r->headers(), L"content-length"), L"2");
  EXPECT_EQ(r->Body(), "ok");
}

TEST(EngineTest, HttpErrorsCompleteWithTheirStatus) {
  REQUIRE_TEST_SERVICE();
  auto missing = GetAndWait(Service().Http(L"/no/such/thing"));
  ASSERT_TRUE(missing);
  EXPECT_EQ(missing->state(), ResponseState::kCompleted);
  EXPECT_EQ(missing->status_code(), 404u);
  EXPECT_EQ(missing->Body(), "{\"error\": \"not found\"}");
  auto injected = GetAndWait(Service().Http(L"/api/get-bdvid?fault_status=503&fault_delay=100"));
  ASSERT_TRUE(injected);
  EXPECT_EQ(injected->status_code(), 503u);
}

TEST(EngineTest, RefusedConnectionFailsWithStatusZero) {
  CompletionWaiter waiter;
  waiter.Watch(HttpGet(L"http://127.0.0.1:" + std::to_wstring(ClosedPort()) + L"/"));
  ASSERT_TRUE(waiter.Wait());
  auto r = waiter.response();
  EXPECT_EQ(r->state(), ResponseState::kFailed);
  EXPECT_EQ(r->status_code(), 0u);
  EXPECT_EQ(r->error_code(), static_cast<DWORD>(ERROR_WINHTTP_CANNOT_CONNECT));
  EXPECT_EQ(waiter.calls(), 1);
}

TEST(EngineTest, HandlersRunInAttachOrderAndLateOnesRunAtOnce) {
  REQUIRE_TEST_SERVICE();
  std::mutex lock;
  std::vector<std::pair<int, Response*>> runs;
  auto record = [&](int n) {
    return [&, n](const std::shared_ptr<Response>& r) {
      std::lock_guard<std::mutex> guard(lock);
      runs.emplace_back(n, r.get());
    };
  };
  auto response = HttpGet(Service().Http(L"/test/bytes?size=1000&fault_delay=50"));
  response->Then(record(1))->Then(record(2));
  CompletionWaiter waiter;
  waiter.Watch(response);
  ASSERT_TRUE(waiter.Wait());
  {
    std::lock_guard<std::mutex> guard(lock);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0], std::make_pair(1, static_cast<Response*>(response.get())));
    EXPECT_EQ(runs[1], std::make_pair(2, static_cast<Response*>(response.get())));
  }
  // Handlers attached after completion still run, each exactly once; once
  // the completing thread is done with the response they run at once, on
  // the attaching thread.
  std::atomic<int> late_runs{0};
  for (int i = 0; i < 50; ++i) {
    response->Then([&](const std::shared_ptr<Response>&) { ++late_runs; });
  }
  CompletionWaiter late;
  late.Watch(response);
  ASSERT_TRUE(late.Wait());
  EXPECT_EQ(late_runs.load(), 50);
  EXPECT_EQ(late.calls(), 1);
  EXPECT_EQ(waiter.calls(), 1);
  // The completing thread may still be finishing its drain of the handler
  // list, in which case it runs this one; otherwise it runs here at once.
  // Either way it runs exactly once and soon.
  int before = late_runs;
  response->Then([&](const std::shared_ptr<Response>&) { ++late_runs; });
  for (int i = 0; i < 500 && late_runs.load() == before; ++i) Sleep(10);
  EXPECT_EQ(late_runs.load(), before + 1);
  Sleep(50);
  EXPECT_EQ(late_runs.load(), before + 1);
}

TEST(EngineTest, ManyConcurrentRequestsEachCompleteOnce) {
  REQUIRE_TEST_SERVICE();
  constexpr int kRequests = 40;
  std::vector<CompletionWaiter> waiters(kRequests);
  for (int i = 0; i < kRequests; ++i) {
    const std::wstring size = std::to_wstring(1000 + i * 997);
    waiters[i].Watch(HttpGet(Service().Http(L"/test/bytes?size=" + size)));
  }
  for (int i = 0; i < kRequests; ++i) {
    ASSERT_TRUE(waiters[i].Wait()) << i;
    auto r = waiters[i].response();
    EXPECT_EQ(r->status_code(), 200u);
    EXPECT_EQ(r->Body(), Pattern(1000 + i * 997)) << i;
  }
  for (auto& w : waiters) EXPECT_EQ(w.calls(), 1);
}

TEST(EngineTest, DroppingTheResponseStopsTheRequestSafely) {
  REQUIRE_TEST_SERVICE();
  // Without handlers nothing keeps the response: each request is destroyed
  // on this thread while its notifications may be running.
  HttpSession session;
  HttpClient client(session, L"127.0.0.1", Service().http_port, false);
  for (int i = 0; i < 20; ++i) {
    auto request = client.NewGetRequest(L"/test/bytes?size=200000&fault_slow=1");
    auto response = request->Send();
    request.reset();
    Sleep(static_cast<DWORD>(i % 4));
    response.reset();
  }
  // The client still works afterwards.
  CompletionWaiter waiter;
  waiter.Watch(client.Get(L"/test/bytes?size=10", {}));
  ASSERT_TRUE(waiter.Wait());
  EXPECT_EQ(waiter.response()->Body(), Pattern(10));
}

struct ProgressLog {
  std::mutex lock;
  std::vector<std::pair<int64_t, int64_t>> reports;
  int reports_before_handler = -1;
  bool file_closed_in_handler = false;
};

std::shared_ptr<DownloadResponse> Download(const std::wstring& url, const std::wstring& file,
                                           const std::shared_ptr<ProgressLog>& log) {
  auto response = HttpDownload(url, file, [log](int64_t received, int64_t total) {
    std::lock_guard<std::mutex> guard(log->lock);
    log->reports.emplace_back(received, total);
  });
  response->Then([log, file](const std::shared_ptr<Response>&) {
    std::lock_guard<std::mutex> guard(log->lock);
    log->reports_before_handler = static_cast<int>(log->reports.size());
    log->file_closed_in_handler = FileClosed(file);
  });
  return response;
}

TEST(DownloadTest, WritesTheFileAndReportsProgress) {
  REQUIRE_TEST_SERVICE();
  TempFile file;
  auto log = std::make_shared<ProgressLog>();
  CompletionWaiter waiter;
  waiter.Watch(Download(Service().Http(L"/test/bytes?size=300000"), file.path(), log));
  ASSERT_TRUE(waiter.Wait());
  auto r = std::dynamic_pointer_cast<DownloadResponse>(waiter.response());
  ASSERT_TRUE(r);
  EXPECT_EQ(r->state(), ResponseState::kCompleted);
  EXPECT_EQ(r->content_length(), 300000);
  EXPECT_EQ(r->Body(), "");
  EXPECT_EQ(ReadFile(file.path()), Pattern(300000));
  std::lock_guard<std::mutex> guard(log->lock);
  ASSERT_GE(log->reports.size(), 2u);
  EXPECT_EQ(log->reports.back(), std::make_pair(int64_t{300000}, int64_t{300000}));
  EXPECT_EQ(log->reports_before_handler, static_cast<int>(log->reports.size()));
  EXPECT_TRUE(log->file_closed_in_handler);
  for (size_t i = 1; i < log->reports.size(); ++i) {
    EXPECT_GE(log->reports[i].first, log->reports[i - 1].first);
  }
}

TEST(DownloadTest, TheWrittenHandlerSeesExactlyTheBytesOfTheFileInOrder) {
  REQUIRE_TEST_SERVICE();
  // Whole, and cut off after a third: either way what the handler saw is
  // what the file holds, so a hash made from it needs no second pass.
  for (const wchar_t* query : {L"size=3000000", L"size=3000000&fault_drop=1000000"}) {
    TempFile file;
    struct Seen {
      std::mutex lock;
      std::string bytes;
      std::vector<DWORD> statuses;
    };
    auto seen = std::make_shared<Seen>();
    CompletionWaiter waiter;
    waiter.Watch(HttpDownload(Service().Http(std::wstring(L"/test/bytes?") + query), file.path(),
                              nullptr, {}, 0,
                              [seen](const Response& response, const char* bytes, size_t count) {
                                std::lock_guard<std::mutex> guard(seen->lock);
                                seen->bytes.append(bytes, count);
                                seen->statuses.push_back(response.status_code());
                              }));
    ASSERT_TRUE(waiter.Wait());
    const bool dropped = std::wstring(query).find(L"drop") != std::wstring::npos;
    EXPECT_EQ(dropped ? ResponseState::kFailed : ResponseState::kCompleted,
              waiter.response()->state());
    std::lock_guard<std::mutex> guard(seen->lock);
    const std::string on_disk = ReadFile(file.path());
    EXPECT_EQ(dropped ? 1000000u : 3000000u, on_disk.size());
    EXPECT_TRUE(seen->bytes == on_disk);
    EXPECT_TRUE(on_disk == Pattern(3000000).substr(0, on_disk.size()));
    // Gathered into large pieces, each told with the answer's status.
    EXPECT_GE(seen->statuses.size(), 1u);
    EXPECT_LE(seen->statuses.size(), 4u);
    for (DWORD status : seen->statuses) EXPECT_EQ(200u, status);
  }
}

TEST(DownloadTest, ExtraHeadersReachTheServer) {
  REQUIRE_TEST_SERVICE();
  TempFile file;
  HeaderMap headers;
  headers.emplace(L"Range", L"bytes=1024-");
  headers.emplace(L"If-Range", L"\"v1\"");
  headers.emplace(L"X-Download", L"two words");
  CompletionWaiter waiter;
  waiter.Watch(HttpDownload(Service().Http(L"/test/echo"), file.path(), nullptr, headers));
  ASSERT_TRUE(waiter.Wait());
  EXPECT_EQ(waiter.response()->state(), ResponseState::kCompleted);
  // The echo of the request is the downloaded file.
  const std::string echo = ReadFile(file.path());
  EXPECT_NE(echo.find("\"method\": \"GET\""), std::string::npos) << echo;
  EXPECT_NE(echo.find("[\"Range\", \"bytes=1024-\"]"), std::string::npos) << echo;
  EXPECT_NE(echo.find("[\"If-Range\", \"\\\"v1\\\"\"]"), std::string::npos) << echo;
  EXPECT_NE(echo.find("[\"X-Download\", \"two words\"]"), std::string::npos) << echo;
}

TEST(DownloadTest, AnIdleTimeoutEndsADownloadFromASilentServer) {
  // The response goes after the server has closed its connections: until
  // then WinHTTP under Wine still waits on them (a minute), and a response
  // let go waits for WinHTTP to close.
  CompletionWaiter waiter;
  SilentServer server;
  ASSERT_NE(server.port(), 0);
  TempFile file;
  waiter.Watch(HttpDownload(L"http://127.0.0.1:" + std::to_wstring(server.port()) + L"/x",
                            file.path(), nullptr, {}, 300));
  ASSERT_TRUE(waiter.Wait(20000));
  EXPECT_EQ(waiter.response()->state(), ResponseState::kFailed);
  EXPECT_EQ(waiter.response()->error_code(), static_cast<DWORD>(ERROR_WINHTTP_TIMEOUT));
}

TEST(DownloadTest, WithoutContentLengthTheTotalStaysUnknown) {
  REQUIRE_TEST_SERVICE();
  TempFile file;
  auto log = std::make_shared<ProgressLog>();
  CompletionWaiter waiter;
  waiter.Watch(
      Download(Service().Http(L"/test/bytes?size=50000&fault_chunked=1"), file.path(), log));
  ASSERT_TRUE(waiter.Wait());
  EXPECT_EQ(waiter.response()->state(), ResponseState::kCompleted);
  EXPECT_EQ(FindHeader(waiter.response()->headers(), L"Content-Length"), nullptr);
  EXPECT_EQ(ReadFile(file.path()), Pattern(50000));
  std::lock_guard<std::mutex> guard(log->lock);
  ASSERT_FALSE(log->reports.empty());
  for (const auto& report : log->reports) EXPECT_EQ(report.second, -1);
  EXPECT_EQ(log->reports.back().first, 50000);
}

TEST(DownloadTest, ADroppedConnectionFailsAfterClosingAndReporting) {
  REQUIRE_TEST_SERVICE();
  // With Content-Length the cut is noticed. (Wine's WinHTTP reports a chunked
  // body cut off between chunks as complete; that needs the framing, which
  // WinHTTP does not show.)
  for (const wchar_t* extra : {L""}) {
    TempFile file;
    auto log = std::make_shared<ProgressLog>();
    CompletionWaiter waiter;
    waiter.Watch(
        Download(Service().Http(std::wstring(L"/test/bytes?size=100000&fault_drop=40000") + extra),
                 file.path(), log));
    ASSERT_TRUE(waiter.Wait()) << extra;
    auto r = waiter.response();
    EXPECT_EQ(r->state(), ResponseState::kFailed) << extra;
    EXPECT_TRUE(r->status_code() == 0 || r->status_code() == 200) << r->status_code();
    EXPECT_NE(r->error_code(), 0u);
    std::lock_guard<std::mutex> guard(log->lock);
    ASSERT_FALSE(log->reports.empty());
    EXPECT_EQ(log->reports_before_handler, static_cast<int>(log->reports.size()));
    EXPECT_TRUE(log->file_closed_in_handler);
    const int64_t received = log->reports.back().first;
    EXPECT_LE(received, 40000);
    EXPECT_EQ(ReadFile(file.path()), Pattern(static_cast<size_t>(received)));
  }
}

TEST(DownloadTest, AFileThatCannotBeOpenedFailsBeforeAnythingIsSent) {
  REQUIRE_TEST_SERVICE();
  // A rule that answers the next request to /probe with 599 tells whether
  // the failed download reached the service.
  CompletionWaiter rule;
  rule.Watch(HttpPost(Service().Http(L"/admin/faults"),
                      "{\"path\": \"/probe\", \"faults\": {\"status\": 599}, \"times\": 1}",
                      L"application/json"));
  ASSERT_TRUE(rule.Wait());
  ASSERT_EQ(rule.response()->status_code(), 200u);

  const std::wstring bad = L"C:\\no-such-folder-4711\\x\\package.zip";
  try {
    HttpDownload(Service().Http(L"/probe"), bad, nullptr);
    FAIL() << "no error";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "Failed to open file: C:\\no-such-folder-4711\\x\\package.zip");
  }
  auto probe = GetAndWait(Service().Http(L"/probe"));
  ASSERT_TRUE(probe);
  EXPECT_EQ(probe->status_code(), 599u);
}

// A file whose writes fail part way (the disk is full): the download fails
// with ERROR_WRITE_FAULT, whether the write that fails is one made during
// the transfer (1.5 MB, past the write buffer) or the last one at its end,
// and the written handler never sees a byte that did not reach the file.
TEST(DownloadTest, AWriteThatFailsFailsTheDownload) {
  REQUIRE_TEST_SERVICE();
  // Wine opens the Linux device that answers every write with "disk full".
  if (!RunningUnderWine()) GTEST_SKIP() << "needs a file whose writes fail";
  for (const wchar_t* size : {L"1000", L"1500000"}) {
    std::atomic<int> handed{0};
    auto response = HttpDownload(Service().Http(std::wstring(L"/test/bytes?size=") + size),
                                 L"Z:\\dev\\full", nullptr, {}, kTextRequestIdleTimeoutMs,
                                 [&](const Response&, const char*, size_t) { ++handed; });
    CompletionWaiter waiter;
    waiter.Watch(response);
    ASSERT_TRUE(waiter.Wait()) << size;
    EXPECT_EQ(response->state(), ResponseState::kFailed) << size;
    EXPECT_EQ(response->error_code(), static_cast<DWORD>(ERROR_WRITE_FAULT)) << size;
    EXPECT_EQ(handed, 0) << size;
  }
}

TEST(DownloadTest, ProgressCountsAre64Bit) {
  REQUIRE_TEST_SERVICE();
  // HEAD announces a 5 GB body without sending it.
  TempFile file;
  HttpSession session;
  HttpClient client(session, L"127.0.0.1", Service().http_port, false);
  std::atomic<int64_t> total{0};
  auto response = client.NewRequest(L"HEAD", L"/test/bytes?size=5000000000")
                      ->SendToFile(file.path(), [&](int64_t, int64_t t) { total = t; });
  CompletionWaiter waiter;
  waiter.Watch(response);
  ASSERT_TRUE(waiter.Wait());
  EXPECT_EQ(response->state(), ResponseState::kCompleted);
  EXPECT_EQ(response->content_length(), 5000000000);
  EXPECT_EQ(total.load(), 5000000000);
}

TEST(StreamedBodyTest, ChunkedUploadArrivesWhole) {
  REQUIRE_TEST_SERVICE();
  // Wine's WinHTTP adds "Content-Length: 0" to a chunked POST and then never
  // reports the request as sent, so nothing can be written.
  if (RunningUnderWine()) GTEST_SKIP() << "Wine's WinHTTP cannot send chunked request bodies";
  const std::string payload = Pattern(40000);
  HttpSession session;
  HttpClient client(session, L"127.0.0.1", Service().http_port, false);
  auto request = client.NewPostRequest(L"/test/echo");
  std::vector<int64_t> offsets;
  request->SetBodyProvider([&](int64_t offset, size_t length, DataSink& sink) {
    offsets.push_back(offset);
    if (offset >= static_cast<int64_t>(payload.size())) {
      sink.Finish();
      return;
    }
    const size_t n = std::min<size_t>(length, std::min<size_t>(7000, payload.size() - offset));
    sink.Write(payload.data() + offset, n);
  });
  auto response = request->Send();  // the caller keeps the response alive
  CompletionWaiter waiter;
  waiter.Watch(response);
  ASSERT_TRUE(waiter.Wait());
  const std::string body = waiter.response()->Body();
  EXPECT_NE(body.find("\"chunked\": true"), std::string::npos) << body.substr(0, 300);
  EXPECT_NE(body.find("\"body_length\": 40000"), std::string::npos);
  // Offsets count payload bytes, not the chunk framing.
  ASSERT_GE(offsets.size(), 2u);
  EXPECT_EQ(offsets[1], 7000);
  EXPECT_EQ(offsets.back(), 40000);
}

TEST(StreamedBodyTest, KnownLengthUploadEndsWhenAllIsSent) {
  REQUIRE_TEST_SERVICE();
  const std::string payload = Pattern(20000);
  HttpSession session;
  HttpClient client(session, L"127.0.0.1", Service().http_port, false);
  auto request = client.NewPostRequest(L"/test/echo");
  std::vector<std::pair<int64_t, int64_t>> progress;
  request->SetUploadProgressHandler(
      [&](int64_t sent, int64_t total) { progress.emplace_back(sent, total); });
  request->SetBodyProvider([&](int64_t offset, size_t length,
                               DataSink& sink) { sink.Write(payload.data() + offset, length); },
                           static_cast<int64_t>(payload.size()));
  auto response = request->Send();  // the caller keeps the response alive
  CompletionWaiter waiter;
  waiter.Watch(response);
  ASSERT_TRUE(waiter.Wait());
  const std::string body = waiter.response()->Body();
  EXPECT_NE(body.find("\"body_length\": 20000"), std::string::npos) << body.substr(0, 300);
  EXPECT_NE(body.find("[\"Content-Length\", \"20000\"]"), std::string::npos);
  ASSERT_FALSE(progress.empty());
  EXPECT_EQ(progress.back(), std::make_pair(int64_t{20000}, int64_t{20000}));
}

TEST(StreamedBodyTest, AProviderThatFailsEndsTheRequestOnce) {
  REQUIRE_TEST_SERVICE();
  HttpSession session;
  HttpClient client(session, L"127.0.0.1", Service().http_port, false);
  for (int variant = 0; variant < 2; ++variant) {
    auto request = client.NewPostRequest(L"/test/echo");
    request->SetBodyProvider(
        [variant](int64_t, size_t, DataSink&) {
          if (variant == 1) throw std::runtime_error("source gone");
          // variant 0 writes nothing
        },
        100);
    auto response = request->Send();
    CompletionWaiter waiter;
    waiter.Watch(response);
    ASSERT_TRUE(waiter.Wait()) << variant;
    EXPECT_EQ(waiter.response()->state(), ResponseState::kFailed);
    EXPECT_EQ(waiter.response()->status_code(), 0u);
    EXPECT_NE(waiter.response()->error_code(), 0u);
    EXPECT_EQ(waiter.calls(), 1);
  }
}

class TlsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!Service().available) GTEST_SKIP() << "no reference service";
  }
  std::shared_ptr<Response> Fetch(const std::wstring& host, int port, bool ignore_errors) {
    HttpSession session;
    HttpClient client(session, host, port, true);
    client.SetIgnoreCertificateErrors(ignore_errors);
    CompletionWaiter waiter;
    waiter.Watch(client.Get(L"/api/get-bdvid", {}));
    EXPECT_TRUE(waiter.Wait());
    return waiter.response();
  }
};

TEST_F(TlsTest, TrustedCertificateForTheRightNameIsAccepted) {
  if (!Service().ca_trusted) GTEST_SKIP() << "the test authority is not installed";
  auto r = Fetch(L"localhost", Service().https_port, false);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->state(), ResponseState::kCompleted);
  EXPECT_EQ(r->status_code(), 200u);
  EXPECT_NE(r->Body().find("\"success\": true"), std::string::npos);
  // The application-level functions validate too.
  auto viaGet = GetAndWait(Service().Https(L"localhost", L"/api/get-bdvid"));
  ASSERT_TRUE(viaGet);
  EXPECT_EQ(viaGet->status_code(), 200u);
}

bool IsCertificateError(DWORD error) {
  switch (error) {
    case ERROR_WINHTTP_SECURE_FAILURE:
    case ERROR_WINHTTP_SECURE_CHANNEL_ERROR:
    case ERROR_WINHTTP_SECURE_INVALID_CA:
    case ERROR_WINHTTP_SECURE_CERT_CN_INVALID:
    case ERROR_WINHTTP_SECURE_INVALID_CERT:
      return true;
    default:
      return false;
  }
}

TEST_F(TlsTest, RefusedDownloadsEachEndOnce) {
  // Many in a row: every refusal must complete its response, once. (Before
  // any request here accepts the untrusted certificate: Wine's WinHTTP keeps
  // such a connection and hands it to later requests to the same host.)
  const std::wstring url =
      L"https://localhost:" + std::to_wstring(Service().untrusted_https_port) + L"/packages/x";
  for (int i = 0; i < 50; ++i) {
    TempFile file;
    CompletionWaiter waiter;
    waiter.Watch(HttpDownload(url, file.path(), nullptr));
    ASSERT_TRUE(waiter.Wait(20000)) << "download " << i;
    auto r = waiter.response();
    EXPECT_EQ(r->state(), ResponseState::kFailed) << i;
    EXPECT_EQ(r->status_code(), 0u) << i;
    EXPECT_TRUE(IsCertificateError(r->error_code())) << i << ": " << r->error_code();
    EXPECT_EQ(waiter.calls(), 1) << i;
  }
}

TEST_F(TlsTest, WrongNameAndUnknownAuthorityAreRejectedByDefault) {
  struct Case {
    const wchar_t* host;
    int port;
  } cases[] = {{L"127.0.0.1", Service().https_port},
               {L"localhost", Service().untrusted_https_port}};
  // Rejections first: Wine's WinHTTP may reuse a connection that an
  // ignoring request accepted.
  for (const Case& c : cases) {
    auto rejected = Fetch(c.host, c.port, false);
    ASSERT_TRUE(rejected);
    EXPECT_EQ(rejected->state(), ResponseState::kFailed) << c.host << c.port;
    EXPECT_EQ(rejected->status_code(), 0u);
    EXPECT_TRUE(IsCertificateError(rejected->error_code())) << rejected->error_code();
    EXPECT_EQ(rejected->Body(), "");
  }
  auto viaGet = GetAndWait(L"https://127.0.0.1:" + std::to_wstring(Service().https_port) + L"/");
  ASSERT_TRUE(viaGet);
  EXPECT_EQ(viaGet->status_code(), 0u);
  EXPECT_TRUE(IsCertificateError(viaGet->error_code())) << viaGet->error_code();

  for (const Case& c : cases) {
    auto accepted = Fetch(c.host, c.port, true);
    ASSERT_TRUE(accepted);
    EXPECT_EQ(accepted->status_code(), 200u) << c.host << c.port;
  }
}

TEST(IdleTimeoutTest, AServerThatNeverAnswersEndsTheTransfer) {
  // Released only after the server has closed its connections: until then
  // WinHTTP under Wine still waits on them, and a response let go waits for
  // WinHTTP to close.
  std::vector<std::shared_ptr<Response>> ended;
  SilentServer server;
  ASSERT_NE(server.port(), 0);
  for (const bool tls : {false, true}) {
    HttpSession session;
    HttpClient client(session, tls ? L"localhost" : L"127.0.0.1", server.port(), tls);
    client.SetIdleTimeout(300);
    TempFile file;
    CompletionWaiter waiter;
    const ULONGLONG start = GetTickCount64();
    auto response = client.NewGetRequest(L"/x")->SendToFile(file.path(), nullptr);
    ended.push_back(response);
    waiter.Watch(response);
    ASSERT_TRUE(waiter.Wait(20000)) << tls;
    EXPECT_GE(GetTickCount64() - start, 300u) << tls;
    EXPECT_EQ(response->state(), ResponseState::kFailed) << tls;
    EXPECT_EQ(response->error_code(), static_cast<DWORD>(ERROR_WINHTTP_TIMEOUT)) << tls;
    EXPECT_EQ(response->status_code(), 0u) << tls;
    EXPECT_EQ(waiter.calls(), 1) << tls;
    EXPECT_TRUE(FileClosed(file.path())) << tls;
  }
  EXPECT_EQ(server.accepted(), 2);
}

// Service replies and events have a bound of their own: a silent service
// cannot hold the assistant's "ok1" waiting for ever.
TEST(IdleTimeoutTest, TextRequestsEndWhenTheServerStaysSilent) {
  EXPECT_GT(kTextRequestIdleTimeoutMs, 0u);
  std::vector<std::shared_ptr<Response>> ended;
  SilentServer server;
  ASSERT_NE(server.port(), 0);
  const std::wstring url = L"http://127.0.0.1:" + std::to_wstring(server.port()) + L"/api";
  for (const bool post : {false, true}) {
    CompletionWaiter waiter;
    std::shared_ptr<Response> response;
    if (post) {
      response = HttpPost(url, "{}", L"application/json", {}, 300);
    } else {
      response = HttpGet(url, {}, 300);
    }
    ended.push_back(response);
    waiter.Watch(response);
    ASSERT_TRUE(waiter.Wait(20000)) << post;
    EXPECT_EQ(response->state(), ResponseState::kFailed) << post;
    EXPECT_EQ(response->error_code(), static_cast<DWORD>(ERROR_WINHTTP_TIMEOUT)) << post;
  }
}

TEST(IdleTimeoutTest, ASlowButSteadyTransferIsNotCut) {
  REQUIRE_TEST_SERVICE();
  HttpSession session;
  HttpClient client(session, L"127.0.0.1", Service().http_port, false);
  client.SetIdleTimeout(1500);
  // 1 KiB pieces 150 ms apart: about 1.5 s in all, never long without a byte.
  TempFile file;
  CompletionWaiter waiter;
  const ULONGLONG start = GetTickCount64();
  waiter.Watch(client.Download(L"/test/bytes?size=10240&fault_slow=150", file.path(), nullptr));
  ASSERT_TRUE(waiter.Wait());
  EXPECT_GE(GetTickCount64() - start, 1350u);
  EXPECT_EQ(waiter.response()->state(), ResponseState::kCompleted);
  EXPECT_EQ(waiter.response()->error_code(), 0u);
  EXPECT_EQ(ReadFile(file.path()), Pattern(10240));
}

}  // namespace
}  // namespace winhttpx
