// What the assistant's tests need of the reference service that the ctest
// fixture runs for them (tests/http's TestService finds it): its base
// address, a place to put packages it serves, blocking requests for checking
// its state, and the fault queue.
#pragma once

#include <windows.h>

#include <string>

#include "app/json_value.h"
#include "tests/http/test_service.h"

namespace testing_support {

// "http://127.0.0.1:<port>".
std::wstring ServiceBase();
// The service's packages folder, "" when the run did not say where it is.
std::wstring ServicePackagesFolder();
// Writes |bytes| as packages/<name> and answers its download address.
std::wstring PublishPackage(const std::wstring& name, const std::string& bytes);

struct BlockingReply {
  DWORD status = 0;
  std::string body;
};
BlockingReply BlockingGet(const std::wstring& url);
BlockingReply BlockingPost(const std::wstring& url, const std::string& body);

// Queues |faults| (such as {"drop": 1000}) for the next |times| requests to
// |path|.
bool QueueFault(const std::wstring& path, const Json& faults, int times = 1);
void ClearFaults();

// The service's count of events named |name|.
int EventCount(const std::string& name);

// The program that writes a marker file (marker_program.cpp), and the bytes
// of a file on disk.
std::wstring MarkerProgramPath();
std::string FileBytes(const std::wstring& path);
// Waits up to |timeout_ms| for |path| to exist; its content or "".
std::string WaitForFile(const std::wstring& path, DWORD timeout_ms = 30000);

}  // namespace testing_support

// Skips a test that needs the service (or the packages folder) when this run
// has none.
#define REQUIRE_APP_SERVICE()                                                        \
  do {                                                                               \
    if (!::winhttpx::testing_support::TestService::Get().available ||                \
        ::testing_support::ServicePackagesFolder().empty())                          \
      GTEST_SKIP() << "no reference service for this run (HTTP_TEST_SERVICE_STATE)"; \
  } while (0)
