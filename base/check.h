// Debug-build consistency checks for the task runtime and the layers above it.
//
// CBASE_DCHECK(condition) reports a failed condition in debug builds and
// compiles to nothing in release builds (NDEBUG). A failure goes to the
// process-wide failure handler: by default it prints the failure to stderr and
// to the debugger and aborts; tests may install a recording handler instead.
// The handler may be called from any thread.
#pragma once

namespace cbase {

// Called with the failed expression (or a description) and its location.
using CheckFailureHandler = void (*)(const char* what, const char* file, int line);

// Installs `handler` (nullptr restores the default) and answers the previous
// one. Any thread; meant for start-up and tests.
CheckFailureHandler SetCheckFailureHandler(CheckFailureHandler handler);

// Reports a failure through the current handler.
void ReportCheckFailure(const char* what, const char* file, int line);

}  // namespace cbase

#ifdef NDEBUG
#define CBASE_DCHECK(condition) \
  do {                          \
  } while (false)
#else
#define CBASE_DCHECK(condition)                                                    \
  do {                                                                             \
    if (!(condition)) ::cbase::ReportCheckFailure(#condition, __FILE__, __LINE__); \
  } while (false)
#endif
