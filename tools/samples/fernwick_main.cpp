// Fernwick.exe: the sample product that the reference service's zip package
// carries. It records how it was started (RunMarker, "fernwick-ran.txt"
// beside itself unless FERNWICK_MARKER names another file) and shows the
// "Fernwick" window until it is closed, or for --exit-after milliseconds.
// Exit code: 0, or 2 when the marker could not be written.
#include <windows.h>

#include "tools/samples/run_marker.h"
#include "tools/samples/sample_options.h"
#include "tools/samples/sample_window.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
  const SampleOptions options = SampleOptions::FromCommandLine(::GetCommandLineW());
  const RunMarker marker(L"product", options.arguments);
  const int code = marker.Write(RunMarker::PathFor(L"fernwick-ran.txt")) ? 0 : 2;
  if (options.exit_after_ms == 0) return code;

  std::wstring arguments;
  for (const std::wstring& argument : options.arguments) {
    const bool quote = argument.empty() || argument.find(L' ') != std::wstring::npos;
    arguments += (arguments.empty() ? L"" : L" ") + (quote ? L"\"" + argument + L"\"" : argument);
  }
  SampleWindowContent content;
  content.title = L"Fernwick";
  content.heading = L"Fernwick";
  content.version = L"\u7248\u672C 1.0 \u00B7 \u5B98\u65B9\u6B63\u7248";  // 版本 1.0 · 官方正版
  content.lines = {
      L"Fernwick \u5DF2\u5B89\u88C5\uFF0C\u6B63\u5728\u8FD0\u884C\u3002",  // 已安装，正在运行。
      L"installed at " + ModuleFolder(),
      L"arguments: " + (arguments.empty() ? std::wstring(L"none") : arguments),
  };
  content.close_after_ms = options.exit_after_ms;
  SampleWindow window(content);
  const int result = window.Run(instance, show);
  return result != 0 ? result : code;
}
