#include "tests/http/test_service.h"

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <mutex>

namespace winhttpx {
namespace testing_support {

const TestService& TestService::Get() {
  static const TestService service = [] {
    TestService s;
    const char* path = std::getenv("HTTP_TEST_SERVICE_STATE");
    if (!path) return s;
    std::ifstream in(path);
    std::map<std::string, std::string> values;
    std::string line;
    while (std::getline(in, line)) {
      const size_t eq = line.find('=');
      if (eq != std::string::npos) values[line.substr(0, eq)] = line.substr(eq + 1);
    }
    if (!values.count("http_port")) return s;
    s.http_port = std::atoi(values["http_port"].c_str());
    s.https_port = std::atoi(values["https_port"].c_str());
    s.untrusted_https_port = std::atoi(values["untrusted_https_port"].c_str());
    s.ca_trusted = values["ca_trusted"] == "1";
    s.available = s.http_port > 0;
    return s;
  }();
  return service;
}

std::wstring TestService::Http(const std::wstring& path) const {
  return L"http://127.0.0.1:" + std::to_wstring(http_port) + path;
}

std::wstring TestService::Https(const std::wstring& host, const std::wstring& path) const {
  return L"https://" + host + L":" + std::to_wstring(https_port) + path;
}

struct CompletionWaiter::State {
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::mutex lock;
  std::shared_ptr<Response> response;
  std::atomic<int> calls{0};
  ~State() { CloseHandle(event); }
};

CompletionWaiter::CompletionWaiter() : state_(std::make_shared<State>()) {}

void CompletionWaiter::Watch(const std::shared_ptr<Response>& response) {
  std::shared_ptr<State> state = state_;
  response->Then([state](const std::shared_ptr<Response>& r) {
    {
      std::lock_guard<std::mutex> lock(state->lock);
      state->response = r;
    }
    ++state->calls;
    SetEvent(state->event);
  });
}

bool CompletionWaiter::Wait(DWORD timeout_ms) {
  return WaitForSingleObject(state_->event, timeout_ms) == WAIT_OBJECT_0;
}

std::shared_ptr<Response> CompletionWaiter::response() const {
  std::lock_guard<std::mutex> lock(state_->lock);
  return state_->response;
}

int CompletionWaiter::calls() const { return state_->calls; }

}  // namespace testing_support
}  // namespace winhttpx
