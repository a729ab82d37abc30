// fernwick-setup.exe: the sample installer that the reference service can
// serve instead of the zip package. It records how it was started
// (RunMarker, "fernwick-setup-ran.txt" beside itself unless FERNWICK_MARKER
// names another file, with a line "mode=silent" or "mode=interactive").
// - "/S": unattended. No questions; a small "Fernwick 安装程序" window shows
//   the installation's progress for two seconds (so a launch is visible) and
//   the program exits 0. --exit-after sets that time; 0 shows no window.
// - Otherwise the same window without progress stays until it is closed (or
//   for --exit-after milliseconds).
// Exit code: 0, or 2 when the marker could not be written. It installs
// nothing.
#include <windows.h>

#include "tools/samples/run_marker.h"
#include "tools/samples/sample_options.h"
#include "tools/samples/sample_window.h"

namespace {

constexpr int kSilentWindowMs = 2000;

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
  const SampleOptions options = SampleOptions::FromCommandLine(::GetCommandLineW());
  RunMarker marker(L"setup", options.arguments);
  marker.Add(L"mode", options.silent ? L"silent" : L"interactive");
  const int code = marker.Write(RunMarker::PathFor(L"fernwick-setup-ran.txt")) ? 0 : 2;
  const int close_after =
      options.exit_after_ms >= 0 ? options.exit_after_ms : (options.silent ? kSilentWindowMs : -1);
  if (close_after == 0) return code;

  SampleWindowContent content;
  content.title = L"Fernwick \u5B89\u88C5\u7A0B\u5E8F";                   // Fernwick 安装程序
  content.heading = L"Fernwick \u5B89\u88C5\u7A0B\u5E8F";                 // Fernwick 安装程序
  content.version = L"\u7248\u672C 1.0 \u00B7 \u5B98\u65B9\u6B63\u7248";  // 版本 1.0 · 官方正版
  if (options.silent) {
    content.lines = {
        L"\u6B63\u5728\u5B89\u88C5 Fernwick 1.0 \u2026",  // 正在安装 Fernwick 1.0 …
        L"unattended installation (/S)",
        L"installer at " + ModuleFolder(),
    };
    content.progress = true;
  } else {
    content.lines = {
        // Fernwick 1.0 安装程序已启动。
        L"Fernwick 1.0 \u5B89\u88C5\u7A0B\u5E8F\u5DF2\u542F\u52A8\u3002",
        L"installer at " + ModuleFolder(),
        // 静默安装：fernwick-setup.exe /S
        L"\u9759\u9ED8\u5B89\u88C5\uFF1A fernwick-setup.exe /S",
    };
  }
  content.close_after_ms = close_after;
  SampleWindow window(content);
  const int result = window.Run(instance, show);
  return result != 0 ? result : code;
}
