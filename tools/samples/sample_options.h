// SampleOptions: what a sample program (Fernwick.exe, fernwick-setup.exe)
// takes from its command line. Every argument is kept for the run marker;
// the ones it understands are
//   /S                  unattended installation (setup only; exact case)
//   --exit-after <ms>   close the window by itself after that many
//                       milliseconds (0: no window at all)
// Anything else, and an --exit-after without a whole number of 0 or more, is
// recorded and otherwise ignored.
//
// A plain value type; any thread.
#pragma once

#include <string>
#include <vector>

struct SampleOptions {
  std::vector<std::wstring> arguments;  // all arguments after the program name
  bool silent = false;                  // "/S" given
  int exit_after_ms = -1;               // < 0: the window stays until it is closed

  // Splits a whole command line (as GetCommandLineW gives it) the way
  // CommandLineToArgvW does and reads the options above.
  static SampleOptions FromCommandLine(const wchar_t* command_line);
};
