// The proxy road of the application's requests. The SystemProxy tests write
// the user's Internet settings, which a process reads once: ctest runs each
// of them alone (--gtest_filter) in a Wine prefix of their own, against a
// squid the fixture started (PROXY_TEST_STATE) and the reference service.
#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "http/http_functions.h"
#include "http/proxy_resolver.h"
#include "http/response.h"
#include "tests/http/silent_server.h"
#include "tests/http/test_service.h"

namespace winhttpx {
namespace {

using testing_support::CompletionWaiter;
using testing_support::TestService;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

ProxyResolver::Settings Settings(bool auto_detect, const std::wstring& pac,
                                 const std::wstring& proxy, const std::wstring& bypass) {
  ProxyResolver::Settings s;
  s.auto_detect = auto_detect;
  s.pac_url = pac;
  s.proxy = proxy;
  s.bypass = bypass;
  return s;
}

TEST(ProxyResolverTest, DescribesTheSettingsForTheSupportLog) {
  ProxyResolver::Settings automatic;
  automatic.automatic = true;
  EXPECT_EQ(ProxyResolver(automatic).Describe(), L"automatic");
  EXPECT_EQ(ProxyResolver(Settings(false, L"", L"", L"")).Describe(), L"direct");
  EXPECT_EQ(ProxyResolver(Settings(false, L"", L"127.0.0.1:3128", L"")).Describe(),
            L"proxy 127.0.0.1:3128");
  EXPECT_EQ(ProxyResolver(Settings(false, L"", L"p:1", L"<local>")).Describe(),
            L"proxy p:1 bypass <local>");
  EXPECT_EQ(ProxyResolver(Settings(true, L"http://h/x.pac", L"p:1", L"")).Describe(),
            L"auto-detect, pac http://h/x.pac, proxy p:1");
}

TEST(ProxyResolverTest, AFixedProxyIsKnownAtOnceWithItsBypassList) {
  ProxyResolver resolver(Settings(false, L"", L"127.0.0.1:3128", L"*.corp;<local>"));
  ProxyChoice choice;
  ASSERT_TRUE(resolver.Lookup(L"https://localhost:1/a", &choice));
  EXPECT_TRUE(choice.named);
  EXPECT_EQ(choice.proxy, L"127.0.0.1:3128");
  EXPECT_EQ(choice.bypass, L"*.corp;<local>");

  ProxyResolver direct(Settings(false, L"", L"", L""));
  ASSERT_TRUE(direct.Lookup(L"http://localhost:1/a", &choice));
  EXPECT_FALSE(choice.named);
}

TEST(ProxyResolverTest, AScriptThatCannotBeFetchedFallsBackToTheFixedProxyAndIsCachedPerHost) {
  const std::wstring pac =
      L"http://127.0.0.1:" + std::to_wstring(testing_support::ClosedPort()) + L"/x.pac";
  ProxyResolver resolver(Settings(false, pac, L"127.0.0.1:3128", L""));
  ProxyChoice choice;
  // Not known without running the script: a request must go to a worker.
  EXPECT_FALSE(resolver.Lookup(L"http://localhost:81/a", &choice));
  choice = resolver.Resolve(L"http://localhost:81/a");
  EXPECT_TRUE(choice.named);
  EXPECT_EQ(choice.proxy, L"127.0.0.1:3128");
  // The same scheme, host and port is answered from the cache; another
  // port is not.
  EXPECT_TRUE(resolver.Lookup(L"http://LOCALHOST:81/other?q=1", &choice));
  EXPECT_FALSE(resolver.Lookup(L"http://localhost:82/a", &choice));
  EXPECT_FALSE(resolver.Lookup(L"https://localhost:81/a", &choice));
}

// A script server that closes every connection, and the address of its
// script: each search there costs one connection attempt, or a fixed number.
std::wstring ScriptAt(const testing_support::SilentServer& server) {
  return L"http://127.0.0.1:" + std::to_wstring(server.port()) + L"/x.pac";
}

TEST(ProxyResolverTest, RequestsResolvedTogetherFetchTheScriptOnce) {
  testing_support::SilentServer once(1000);
  testing_support::SilentServer together(1000);
  ASSERT_NE(once.port(), 0);
  ASSERT_NE(together.port(), 0);
  ProxyResolver alone(Settings(false, ScriptAt(once), L"", L""));
  alone.Resolve(L"http://localhost:81/a");
  Sleep(200);  // the server counts a connection on its own thread
  const int per_search = once.accepted();
  ASSERT_GT(per_search, 0);

  ProxyResolver resolver(Settings(false, ScriptAt(together), L"", L""));
  HANDLE go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::vector<std::thread> requests;
  std::vector<int> named(4, -1);
  for (size_t i = 0; i < named.size(); ++i) {
    requests.emplace_back([&, i] {
      WaitForSingleObject(go, INFINITE);
      named[i] = resolver.Resolve(L"http://localhost:81/r" + std::to_wstring(i)).named ? 1 : 0;
    });
  }
  SetEvent(go);
  for (std::thread& t : requests) t.join();
  CloseHandle(go);
  Sleep(200);
  EXPECT_EQ(together.accepted(), per_search);
  EXPECT_EQ(named, std::vector<int>(4, 0));
}

TEST(ProxyResolverTest, AnUnparsableAddressNeitherThrowsNorPoisonsTheCache) {
  ProxyResolver resolver(Settings(false, L"http://127.0.0.1:1/x.pac", L"", L""));
  ProxyChoice choice;
  EXPECT_FALSE(resolver.Lookup(L"ftp://localhost/a", &choice));
  EXPECT_FALSE(resolver.Resolve(L"ftp://localhost/a").named);
}

// The squid the fixture started, from PROXY_TEST_STATE.
struct Squid {
  bool present = false;
  bool absent = false;  // the fixture found no squid to start
  int port = 0;
  std::string log;

  static Squid Read() {
    Squid squid;
    const char* file = std::getenv("PROXY_TEST_STATE");
    std::map<std::string, std::string> values;
    std::ifstream in(file ? file : "");
    std::string line;
    while (std::getline(in, line)) {
      const size_t eq = line.find('=');
      if (eq != std::string::npos) values[line.substr(0, eq)] = line.substr(eq + 1);
    }
    squid.port = std::atoi(values["port"].c_str());
    squid.present = squid.port > 0;
    squid.absent = values["absent"] == "1";
    // Wine sees the Linux file system as drive Z:.
    squid.log =
        values["log"].empty() || values["log"][0] != '/' ? values["log"] : "Z:" + values["log"];
    return squid;
  }
  std::wstring address() const { return L"127.0.0.1:" + std::to_wstring(port); }

  size_t LogSize() const { return ReadFile(log).size(); }
  // Waits a little for squid to write the line after the first |from| bytes
  // of its log: it logs a request when it has ended.
  bool Logged(const std::string& text, size_t from) const {
    for (int i = 0; i < 100; ++i) {
      if (ReadFile(log).find(text, from) != std::string::npos) return true;
      Sleep(100);
    }
    return false;
  }
};

// What Wine 8 reads the user's proxy from (the "Connections" value the
// Internet settings dialog writes): a header, then the proxy, bypass and
// script strings, each after its length.
void WriteInternetSettings(DWORD flags, const std::string& proxy, const std::string& bypass,
                           const std::string& pac) {
  std::vector<BYTE> blob;
  auto dword = [&blob](DWORD v) {
    for (int i = 0; i < 4; ++i) blob.push_back(static_cast<BYTE>(v >> (8 * i)));
  };
  auto text = [&](const std::string& s) {
    dword(static_cast<DWORD>(s.size()));
    blob.insert(blob.end(), s.begin(), s.end());
  };
  dword(0x46);
  dword(1);
  dword(flags);
  text(proxy);
  text(bypass);
  text(pac);
  blob.resize(blob.size() + 32, 0);
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER,
                            L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet "
                            L"Settings\\Connections",
                            0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExW(key, L"DefaultConnectionSettings", 0, REG_BINARY, blob.data(),
                           static_cast<DWORD>(blob.size())),
            ERROR_SUCCESS);
  RegCloseKey(key);
}

constexpr DWORD kDirect = 1, kProxy = 2, kScript = 4;

std::shared_ptr<Response> Wait(const std::shared_ptr<Response>& response) {
  CompletionWaiter waiter;
  waiter.Watch(response);
  EXPECT_TRUE(waiter.Wait(60000));
  return waiter.response();
}

// The requests the assistant makes: the channel, an event and the package
// over HTTPS. Wine sends a bare path to a proxy of the same name as the
// server, so the service is named localhost and the proxy 127.0.0.1.
void RunFlowAndExpectItInTheLog(const Squid& squid) {
  const TestService& service = TestService::Get();
  const std::string http = "http://localhost:" + std::to_string(service.http_port);
  const std::wstring whttp(http.begin(), http.end());
  // The log is shared with the other case: only this flow's lines count.
  const size_t from = squid.LogSize();

  auto channel = Wait(HttpGet(whttp + L"/api/channel?product=fernwick&channel=02"));
  ASSERT_TRUE(channel);
  EXPECT_EQ(channel->state(), ResponseState::kCompleted) << channel->error_code();
  EXPECT_EQ(channel->status_code(), 200u);

  auto event = Wait(HttpPost(whttp + L"/api/send?product=fernwick&channel=02",
                             "{\"type\":\"event\",\"payload\":{\"name\":\"proxy_test\"}}",
                             L"application/json"));
  ASSERT_TRUE(event);
  EXPECT_EQ(event->status_code(), 200u) << event->Body();

  wchar_t dir[MAX_PATH], file[MAX_PATH];
  GetTempPathW(MAX_PATH, dir);
  GetTempFileNameW(dir, L"prx", 0, file);
  // squid logs a tunnel when it closes; "close" ends it with the transfer
  // instead of when WinHTTP drops its idle connection.
  HeaderMap close;
  close.emplace(L"Connection", L"close");
  auto package = Wait(
      HttpDownload(service.Https(L"localhost", L"/test/bytes?size=300000"), file, nullptr, close));
  ASSERT_TRUE(package);
  EXPECT_EQ(package->state(), ResponseState::kCompleted) << package->error_code();
  EXPECT_EQ(package->status_code(), 200u);
  EXPECT_EQ(package->body_bytes(), 300000);
  DeleteFileW(file);

  EXPECT_TRUE(squid.Logged("GET " + http + "/api/channel?product=fernwick&channel=02", from))
      << ReadFile(squid.log);
  EXPECT_TRUE(squid.Logged("POST " + http + "/api/send?", from)) << ReadFile(squid.log);
  EXPECT_TRUE(squid.Logged("CONNECT localhost:" + std::to_string(service.https_port), from))
      << ReadFile(squid.log);
}

#define REQUIRE_SQUID(squid)                                                             \
  do {                                                                                   \
    REQUIRE_TEST_SERVICE();                                                              \
    if ((squid).absent) GTEST_SKIP() << "squid is not installed: no proxy to test with"; \
    if (!(squid).present) GTEST_SKIP() << "PROXY_TEST_STATE names no running squid";     \
    if (!TestService::Get().ca_trusted)                                                  \
      GTEST_SKIP() << "the test authority is not trusted: no HTTPS to test with";        \
  } while (0)

TEST(SystemProxyTest, AFixedProxyCarriesEveryRequest) {
  const Squid squid = Squid::Read();
  REQUIRE_SQUID(squid);
  WriteInternetSettings(kDirect | kProxy, Narrow(squid.address()), "", "");
  EXPECT_EQ(ProxyInUse(), L"proxy " + squid.address());
  RunFlowAndExpectItInTheLog(squid);
}

// squid asks for an NTLM logon on this path (squid_fixture.py, whose helper
// accepts any user). The request must answer with the user's own logon and
// resend once: on Windows the service then answers (404, no such page).
// Wine 8 gives its NTLM no default credentials without Samba's ntlm_auth, so
// there the resend goes without a logon and the 407 stands; either way the
// proxy sees the request twice, never more.
TEST(SystemProxyTest, AProxyLogonIsAnsweredOnceWithTheUsersOwn) {
  const Squid squid = Squid::Read();
  REQUIRE_SQUID(squid);
  WriteInternetSettings(kDirect | kProxy, Narrow(squid.address()), "", "");
  const std::string url =
      "http://localhost:" + std::to_string(TestService::Get().http_port) + "/test/proxy-login";
  const size_t from = squid.LogSize();
  auto response = Wait(HttpGet(std::wstring(url.begin(), url.end())));
  ASSERT_TRUE(response);
  EXPECT_EQ(response->state(), ResponseState::kCompleted) << response->error_code();
  const DWORD status = response->status_code();
  EXPECT_TRUE(status == 404 || status == 407) << status;
  const std::string seen = (status == 404 ? "TCP_MISS/404 " : "TCP_DENIED/407 ");
  ASSERT_TRUE(squid.Logged(seen, from)) << ReadFile(squid.log);
  Sleep(500);  // anything after the end would be a resend too many
  const std::string lines = ReadFile(squid.log).substr(from);
  size_t count = 0;
  for (size_t at = lines.find(" GET " + url); at != std::string::npos;
       at = lines.find(" GET " + url, at + 1)) {
    ++count;
  }
  EXPECT_EQ(count, 2u) << lines;
}

TEST(SystemProxyTest, AProxyScriptNamesTheProxy) {
  const Squid squid = Squid::Read();
  REQUIRE_SQUID(squid);
  const std::string pac = "http://localhost:" + std::to_string(TestService::Get().http_port) +
                          "/test/proxy.pac?proxy=" + Narrow(squid.address());
  WriteInternetSettings(kDirect | kScript, "", "", pac);
  EXPECT_EQ(ProxyInUse(), L"pac " + std::wstring(pac.begin(), pac.end()));
  RunFlowAndExpectItInTheLog(squid);
}

}  // namespace
}  // namespace winhttpx
