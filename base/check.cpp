#include "base/check.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace cbase {

namespace {

void DefaultFailureHandler(const char* what, const char* file, int line) {
  char text[1024];
  std::snprintf(text, sizeof(text), "Check failed: %s (%s:%d)\n", what, file, line);
  std::fputs(text, stderr);
  std::fflush(stderr);
  OutputDebugStringA(text);
  std::abort();
}

std::atomic<CheckFailureHandler> g_handler{&DefaultFailureHandler};

}  // namespace

CheckFailureHandler SetCheckFailureHandler(CheckFailureHandler handler) {
  CheckFailureHandler previous = g_handler.exchange(handler ? handler : &DefaultFailureHandler);
  return previous == &DefaultFailureHandler ? nullptr : previous;
}

void ReportCheckFailure(const char* what, const char* file, int line) {
  g_handler.load()(what, file, line);
}

}  // namespace cbase
