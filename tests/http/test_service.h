// Access to the reference service that the ctest fixture started for this
// run (its ports come from the file named by HTTP_TEST_SERVICE_STATE), and
// a waiter for completed responses.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <string>

#include "http/response.h"
#include "tests/http/closed_port.h"

namespace winhttpx {
namespace testing_support {

struct TestService {
  bool available = false;
  int http_port = 0;
  int https_port = 0;
  int untrusted_https_port = 0;
  bool ca_trusted = false;

  // Read once per process.
  static const TestService& Get();

  std::wstring Http(const std::wstring& path) const;
  std::wstring Https(const std::wstring& host, const std::wstring& path) const;
};

// Catches the completion of a response; safe to drop before it fires.
class CompletionWaiter {
 public:
  CompletionWaiter();
  // Attaches the waiter's handler with Then.
  void Watch(const std::shared_ptr<Response>& response);
  // True when the handler ran within timeout_ms.
  bool Wait(DWORD timeout_ms = 30000);
  std::shared_ptr<Response> response() const;
  int calls() const;

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace testing_support
}  // namespace winhttpx

// Skips a test that needs the service when this run has none.
#define REQUIRE_TEST_SERVICE()                                                      \
  do {                                                                              \
    if (!::winhttpx::testing_support::TestService::Get().available)                 \
      GTEST_SKIP() << "HTTP_TEST_SERVICE_STATE names no running reference service"; \
  } while (0)
