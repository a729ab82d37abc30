#include "tools/samples/sample_options.h"

#include <windows.h>

#include <shellapi.h>

namespace {

// A whole number of milliseconds, at most a day; -1 for anything else.
int Milliseconds(const std::wstring& text) {
  if (text.empty() || text.size() > 8) return -1;
  int value = 0;
  for (wchar_t c : text) {
    if (c < L'0' || c > L'9') return -1;
    value = value * 10 + (c - L'0');
  }
  return value <= 24 * 60 * 60 * 1000 ? value : -1;
}

}  // namespace

SampleOptions SampleOptions::FromCommandLine(const wchar_t* command_line) {
  SampleOptions options;
  int count = 0;
  wchar_t** argv = ::CommandLineToArgvW(command_line, &count);
  if (argv == nullptr) return options;
  for (int i = 1; i < count; ++i) options.arguments.emplace_back(argv[i]);
  ::LocalFree(argv);

  const std::vector<std::wstring>& args = options.arguments;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == L"/S") {
      options.silent = true;
    } else if (args[i] == L"--exit-after" && i + 1 < args.size()) {
      const int ms = Milliseconds(args[i + 1]);
      if (ms >= 0) options.exit_after_ms = ms;
      ++i;
    }
  }
  return options;
}
