#include "tests/app/app_test_service.h"

#include <cstdlib>

#include "http/http_client.h"
#include "http/http_functions.h"
#include "http/http_session.h"
#include "tests/support/scoped_temp_dir.h"

namespace testing_support {

using winhttpx::testing_support::CompletionWaiter;
using winhttpx::testing_support::TestService;

namespace {

std::wstring FromEnvironment(const wchar_t* name) {
  wchar_t value[MAX_PATH * 2] = {};
  const DWORD length = ::GetEnvironmentVariableW(name, value, MAX_PATH * 2);
  return length == 0 || length >= MAX_PATH * 2 ? std::wstring() : std::wstring(value, length);
}

BlockingReply Wait(const std::shared_ptr<winhttpx::Response>& response) {
  CompletionWaiter waiter;
  waiter.Watch(response);
  BlockingReply reply;
  if (!waiter.Wait()) return reply;
  reply.status = waiter.response()->status_code();
  reply.body = waiter.response()->Body();
  return reply;
}

}  // namespace

std::wstring ServiceBase() { return TestService::Get().Http(L""); }

std::wstring ServicePackagesFolder() {
  const std::wstring data = FromEnvironment(L"APP_TEST_SERVICE_DATA");
  return data.empty() ? data : data + L"\\packages";
}

std::wstring PublishPackage(const std::wstring& name, const std::string& bytes) {
  WriteBytes(ServicePackagesFolder() + L"\\" + name, bytes);
  return ServiceBase() + L"/packages/" + name;
}

BlockingReply BlockingGet(const std::wstring& url) { return Wait(winhttpx::HttpGet(url)); }

BlockingReply BlockingPost(const std::wstring& url, const std::string& body) {
  return Wait(winhttpx::HttpPost(url, body, L"application/json"));
}

bool QueueFault(const std::wstring& path, const Json& faults, int times) {
  Json request = Json::object();
  request["path"] = std::string(path.begin(), path.end());
  request["faults"] = faults;
  request["times"] = times;
  return BlockingPost(ServiceBase() + L"/admin/faults", DumpJson(request)).status / 100 == 2;
}

void ClearFaults() {
  winhttpx::HttpSession session;
  winhttpx::HttpClient client(session, L"127.0.0.1", TestService::Get().http_port, false);
  Wait(client.NewRequest(L"DELETE", L"/admin/faults")->Send());
}

int EventCount(const std::string& name) {
  const Json stats = ParseJson(BlockingGet(ServiceBase() + L"/api/stats").body);
  const Json& count = JsonMember(JsonMember(stats, "events"), name);
  return count.is_number_integer() ? count.get<int>() : 0;
}

std::wstring MarkerProgramPath() { return FromEnvironment(L"APP_TEST_MARKER_PROGRAM"); }

std::string FileBytes(const std::wstring& path) { return ReadBytes(path); }

std::string WaitForFile(const std::wstring& path, DWORD timeout_ms) {
  const ULONGLONG deadline = ::GetTickCount64() + timeout_ms;
  while (::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
    if (::GetTickCount64() >= deadline) return std::string();
    ::Sleep(50);
  }
  return ReadBytes(path);
}

}  // namespace testing_support
