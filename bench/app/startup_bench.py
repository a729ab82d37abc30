#!/usr/bin/env python3
"""The assistant's start-up: process start to first presented frame, the
executable's size and the peak working set, against a bare layered window.

    startup_bench.py --build DIR [--rounds N] [--memory-rounds N] [--work DIR]
                     [--keep-menubuilder]

DIR is a build with the targets assistant, brand, startup_bare_window and
peak_working_set (an optimised one gives the meaningful figures).

Everything runs on a private Xvfb display (1280 x 1024) in a Wine prefix of
the benchmark's own (DIR/bench/app/startup/wineprefix), with one wineserver
kept running (`wineserver -p`) and one throwaway start of each program first.
The assistant is a copy branded to use the reference service, started on a
free loopback port, so that it opens on its normal welcome page (display,
service, prefix and branding are the end-to-end tests' harness,
tests/e2e/harness.py).

First frame. Subject: the assistant. Floor: startup_bare_window.exe, a
process that shows a bare 800 x 600 layered window (one white frame,
UpdateLayeredWindow) centred like the assistant's. A second floor, reported
beside it: the same window whose first frame also makes the system calls the
assistant's first frame makes, without any of the assistant's own work
around them: GDI+ started, a header-sized picture drawn, the welcome page's
texts drawn with GDI+ in the assistant's face, the rich edit library loaded
(startup_bare_window.exe --gdiplus). That is what the system charges any
program for drawing its first frame the way the assistant does. All are
started the same way (`wine program.exe`), and the clock runs from just
before the process is spawned until the display shows the window: this
script polls the X server's
framebuffer every 2 ms (XGetImage, through Xlib, of two rows across the
window's content: through the assistant's header image and through its page
area near the bottom), and the first frame is the first image in which most
of either row is no longer the black of the empty screen. Wine shows a
layered window's constant alpha on Xvfb by blending against the black
screen: the assistant fades in from alpha 0, so this is its first frame
with visible content (any alpha above about 3 % of the header's colour
counts). After each assistant start
the script checks that the window named "Basic" is visible and shows the
welcome page (the green "ok1" button), closes it with its close button, waits
for the process to end (exit code 0), and removes its user data (the
downloader folder and the desktop shortcut), so every round is a first start.
Rounds alternate which program starts first; figures are medians.

Executable size: the built assistant.exe, resources included.

Peak working set: peak_working_set.exe (a Windows program, under Wine)
starts the program with CreateProcess, waits for its visible window, lets it
run 2 s more, posts WM_CLOSE and reads PROCESS_MEMORY_COUNTERS through
GetProcessMemoryInfo every 20 ms until it ends: the program's own figure, as
Windows tools show it (Wine answers it from the kernel's peak resident size
of the process). Median over --memory-rounds starts of each.

The same is measured for a third floor, reported beside the others: the
GDI+ floor that, after its first frame, also asks the system for what the
assistant asks in its first seconds (COM, the multimedia timer, a saved
shell link, one automatic proxy search, three requests one after another
to the reference service, none keeping its connection, as the assistant's
direct requests do not, and then one more present of its frame, as the
assistant presents frames all through its first seconds: Wine's
UpdateLayeredWindow borrows a scratch buffer of the whole window's size for
every call; startup_bare_window.exe --platform URL). What the assistant
holds beyond it is its own.

Targets: first frame <= 1.3 x the bare window's; executable < 3 MB; peak
working set < 36 MB (the bare window: about 24 MB). MB are 10^6 bytes.

Start-up trace: an assistant built with -DASSISTANT_STARTUP_TRACE=ON writes
when each step of its start-up happened into its support log
("startup_trace step=... ms=..."); the script reads them after every round
and prints each step's median, so a traced build shows where the time goes.

Besides the readable report, every figure is printed as one line
`RESULT {json}` for bench/run-all.
"""

import argparse
import ctypes
import ctypes.util
import json
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, ROOT)
# The end-to-end tests' pieces: display, reference service, prefix with its
# user folders and branding, the skin's control places.
from tests.e2e import harness  # noqa: E402

WIDTH, HEIGHT = harness.WIDTH, harness.HEIGHT
# The content's top left on the screen, for both windows (both centred).
LEFT, TOP = (harness.SCREEN[0] - WIDTH) // 2, (harness.SCREEN[1] - HEIGHT) // 2
# Rows of the content the first frame is looked for in: through the
# assistant's header image, and through the page area near the bottom.
PROBE_ROWS = (100, 580)
MB = 1000 * 1000
FIRST_FRAME_RATIO = 1.3
PEAK_MB = 36


class XImage(ctypes.Structure):
    _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int),
                ("format", ctypes.c_int), ("data", ctypes.c_void_p),
                ("byte_order", ctypes.c_int), ("bitmap_unit", ctypes.c_int),
                ("bitmap_bit_order", ctypes.c_int), ("bitmap_pad", ctypes.c_int),
                ("depth", ctypes.c_int), ("bytes_per_line", ctypes.c_int),
                ("bits_per_pixel", ctypes.c_int)]


class Framebuffer:
    """Reads pixels of a display's screen through Xlib: cheap enough to poll
    every few milliseconds, unlike a screenshot."""

    ZPIXMAP = 2
    ALL_PLANES = ctypes.c_ulong(0xFFFFFFFF)

    def __init__(self, name):
        self.x11 = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
        self.x11.XOpenDisplay.restype = ctypes.c_void_p
        self.x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.x11.XDefaultRootWindow.restype = ctypes.c_ulong
        self.x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        self.x11.XGetImage.restype = ctypes.POINTER(XImage)
        self.x11.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                                       ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
        self.x11.XDestroyImage.argtypes = [ctypes.POINTER(XImage)]
        self.x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
        self.display = self.x11.XOpenDisplay(name.encode())
        if not self.display:
            raise SystemExit("cannot open display " + name)
        self.root = self.x11.XDefaultRootWindow(self.display)

    def pixels(self, x, y, width, height=1):
        """(r, g, b) of every pixel of the rectangle, row by row."""
        image = self.x11.XGetImage(self.display, self.root, x, y, width, height, self.ALL_PLANES,
                                   self.ZPIXMAP)
        if not image:
            return []
        try:
            info = image.contents
            raw = ctypes.string_at(info.data, info.bytes_per_line * height)
            step = info.bits_per_pixel // 8
            out = []
            for row in range(height):
                line = raw[row * info.bytes_per_line:]
                out += [(line[i + 2], line[i + 1], line[i]) for i in range(0, width * step, step)]
            return out
        finally:
            self.x11.XDestroyImage(image)

    def lit_share(self):
        """The largest share of a probe row that is not black."""
        shares = [0.0]
        for y in PROBE_ROWS:
            row = self.pixels(LEFT, TOP + y, WIDTH)
            if row:
                shares.append(sum(1 for p in row if max(p) > 2) / len(row))
        return max(shares)

    def close(self):
        if self.display:
            self.x11.XCloseDisplay(self.display)
            self.display = None


def result_line(**fields):
    print("RESULT " + json.dumps(fields, ensure_ascii=False), flush=True)


class Bench:
    def __init__(self, build, work, menubuilder=False):
        self.build = build
        self.work = work
        # The harness takes the programs from the environment, as ctest
        # passes them to the tests.
        os.environ.update(
            WINE_RUN=os.path.join(ROOT, "scripts", "wine-run"),
            ASSISTANT_EXE=os.path.join(build, "app", "assistant.exe"),
            BRAND_EXE=os.path.join(build, "tools", "brand.exe"),
            THEME_ZIP=os.path.join(build, "resources", "theme.zip"))
        # Saving the desktop shortcut makes Wine start winemenubuilder.exe, a
        # process of Wine's own (it mirrors links into the Unix desktop's
        # menus) that Windows does not have: left out unless asked for.
        os.environ["WINEDLLOVERRIDES"] = "mscoree,mshtml=" + (
            "" if menubuilder else ";winemenubuilder.exe=d")
        self.display = harness.Display()
        self.screen = Framebuffer(self.display.name)
        self.service = self.wine = None
        self.server = None
        # step -> ms of each round, from a traced assistant's support log.
        self.trace = {}

    def start(self):
        self.service = harness.Service(os.path.join(self.work, "service")).start()
        self.wine = harness.Wine(os.path.join(self.build, "bench", "app", "startup"),
                                 self.display)
        self.env = dict(self.display.env, WINEPREFIX=self.wine.prefix, WINEDEBUG="-all")
        self.assistant = self.wine.brand_for(self.service, folder=self.work)
        # One wineserver for the whole run.
        self.server = subprocess.Popen(["wineserver", "-f", "-p"], env=self.env)
        time.sleep(0.5)

    def close(self):
        if self.server is not None:
            self.wine.close()
            self.server.wait(30)
        if self.service is not None:
            self.service.stop()
        self.screen.close()
        self.display.close()

    def spawn(self, *command):
        return subprocess.Popen(["wine", *command], env=self.env, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL, cwd=self.work, start_new_session=True)

    @staticmethod
    def end(process, timeout):
        """Waits for |process|; kills its session after |timeout| s. Its exit
        code, or None when it had to be killed."""
        try:
            return process.wait(timeout)
        except subprocess.TimeoutExpired:
            try:
                os.killpg(process.pid, 9)
            except ProcessLookupError:
                pass
            process.wait(30)
            return None

    def first_frame(self, kind, command):
        """ms from spawning |command| (a program and its arguments) to its
        first frame on the display; then the window is checked and closed."""
        if not harness.wait_for(lambda: self.screen.lit_share() < 0.05, 20, 0.05):
            raise SystemExit("the screen did not clear before a start")
        self.wine.clean_user_data()
        start = time.perf_counter()
        process = self.spawn(*command)
        deadline = start + 60
        shown = None
        while time.perf_counter() < deadline:
            if self.screen.lit_share() >= 0.5:
                shown = time.perf_counter()
                break
            if process.poll() is not None:
                break
            time.sleep(0.002)
        try:
            if shown is None:
                raise SystemExit("%s: no window within 60 s (exit code %s)" %
                                 (kind, process.poll()))
            if kind == "assistant":
                self.check_welcome_page()
                x, y = harness.centre("btn_close")
            else:
                x, y = WIDTH // 2, HEIGHT // 2
            self.display.xdotool("mousemove", LEFT + x, TOP + y, "click", "1")
            code = self.end(process, 30)
            if kind == "assistant":
                self.read_trace()
            if code != 0:
                raise SystemExit("%s did not end cleanly after closing (exit code %s)" %
                                 (kind, code))
        finally:
            self.end(process, 0.1 if process.poll() is None else 1)
        return (shown - start) * 1000

    def read_trace(self):
        """Adds a traced assistant's steps of this round to self.trace (the
        process has ended: its log is complete)."""
        path = os.path.join(self.wine.downloader, "logs", "assistant.log")

        def steps():
            try:
                with open(path, encoding="utf-8", errors="replace") as log:
                    lines = log.read().splitlines()
            except OSError:
                return {}
            found = {}
            for line in lines:
                fields = dict(f.split("=", 1) for f in line.split()[3:] if "=" in f)
                if " startup_trace " in line and "step" in fields and "ms" in fields:
                    found.setdefault(fields["step"], (float(fields["ms"]),
                                                      float(fields.get("working_set_mb", 0))))
            return found
        for step, ms_and_mb in steps().items():
            self.trace.setdefault(step, []).append(ms_and_mb)

    def check_welcome_page(self):
        if self.display.find_window(harness.WINDOW_NAME, 10) is None:
            raise SystemExit("the assistant shows no visible window named Basic")
        x, y = harness.centre("ok1")

        def green():  # the welcome page's "ok1" button
            r, g, b = self.screen.pixels(LEFT + x, TOP + y, 1)[0]
            return g > r + 40 and g > b
        if not harness.wait_for(green, 10, 0.05):
            shot = os.path.join(self.work, "not-welcome.png")
            self.display.screenshot(shot)
            raise SystemExit("the assistant does not show its welcome page (screenshot: %s)"
                             % shot)

    def peak_working_set(self, title, exe, *args):
        self.wine.clean_user_data()
        probe = os.path.join(self.build, "bench", "app", "peak_working_set.exe")
        run = subprocess.run(["wine", probe, title, "2000", self.wine.windows_path(exe), *args],
                             env=self.env, capture_output=True, text=True, timeout=180,
                             cwd=self.work)
        said = run.stdout.split()
        if run.returncode != 0 or "peak_working_set" not in said:
            raise SystemExit("peak_working_set %s failed (%d): %s %s" %
                             (title, run.returncode, run.stdout, run.stderr))
        values = dict(zip(said[::2], said[1::2]))
        if values.get("exit_code") != "0":
            raise SystemExit("%s ended with exit code %s after WM_CLOSE" %
                             (title, values.get("exit_code")))
        return int(values["peak_working_set"])


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", required=True)
    parser.add_argument("--rounds", type=int, default=9)
    parser.add_argument("--memory-rounds", type=int, default=3)
    parser.add_argument("--work", help="scratch folder (default: a new temporary one)")
    parser.add_argument("--keep-menubuilder", action="store_true",
                        help="let Wine start winemenubuilder.exe when the shortcut is saved")
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    needed = [os.path.join(build, *p) for p in (
        ("app", "assistant.exe"), ("tools", "brand.exe"), ("resources", "theme.zip"),
        ("bench", "app", "startup_bare_window.exe"), ("bench", "app", "peak_working_set.exe"))]
    missing = [p for p in needed if not os.path.exists(p)]
    if missing:
        raise SystemExit("not built: %s (cmake --build %s --target assistant brand "
                         "startup_bare_window peak_working_set)" % (", ".join(missing), build))
    assistant_exe, bare_exe = needed[0], needed[3]
    exe_size = os.path.getsize(assistant_exe)

    work = os.path.abspath(args.work or tempfile.mkdtemp(prefix="startup-bench-"))
    os.makedirs(work, exist_ok=True)
    bench = Bench(build, work, args.keep_menubuilder)
    try:
        bench.start()
        subjects = {"assistant": [bench.assistant], "bare": [bare_exe],
                    "gdiplus": [bare_exe, "--gdiplus"]}
        platform = [bare_exe, "--platform", bench.service.address + "/api/channel"]
        for kind, command in subjects.items():  # throwaway starts
            bench.first_frame(kind, command)
        times = {kind: [] for kind in subjects}
        for r in range(args.rounds):
            order = list(subjects) if r % 2 == 0 else list(reversed(list(subjects)))
            for kind in order:
                times[kind].append(bench.first_frame(kind, subjects[kind]))
            print("round %d: assistant %.0f ms, bare window %.0f ms, with GDI+ %.0f ms" %
                  (r + 1, times["assistant"][-1], times["bare"][-1], times["gdiplus"][-1]),
                  flush=True)
        peaks = {"assistant": [], "bare": [], "gdiplus": [], "platform": []}
        for _ in range(args.memory_rounds):
            peaks["bare"].append(bench.peak_working_set("Bare", bare_exe))
            peaks["gdiplus"].append(bench.peak_working_set("Bare", *subjects["gdiplus"]))
            peaks["platform"].append(bench.peak_working_set("Bare", *platform))
            peaks["assistant"].append(bench.peak_working_set("Basic", bench.assistant))
    finally:
        bench.close()
        trace = bench.trace
        if not args.work:
            shutil.rmtree(work, ignore_errors=True)

    assistant_ms = statistics.median(times["assistant"])
    bare_ms = statistics.median(times["bare"])
    gdiplus_ms = statistics.median(times["gdiplus"])
    paired = statistics.median(a / b for a, b in zip(times["assistant"], times["bare"]))
    ratio = assistant_ms / bare_ms
    peak = statistics.median(peaks["assistant"]) / MB
    bare_peak = statistics.median(peaks["bare"]) / MB
    gdiplus_peak = statistics.median(peaks["gdiplus"]) / MB
    platform_peak = statistics.median(peaks["platform"]) / MB
    print("\nstart-up under Wine (warm wineserver), %d rounds, medians:" % args.rounds)
    print("  process start to first frame: assistant %.0f ms, bare window %.0f ms"
          % (assistant_ms, bare_ms))
    print("    (assistant min %.0f max %.0f; bare min %.0f max %.0f)" %
          (min(times["assistant"]), max(times["assistant"]), min(times["bare"]),
           max(times["bare"])))
    print("  the bare window making the system calls of the assistant's first frame (GDI+, "
          "a picture, the page's texts, the rich edit library): %.0f ms, %.2f x the bare window; "
          "the assistant %.2f x that"
          % (gdiplus_ms, gdiplus_ms / bare_ms, assistant_ms / gdiplus_ms))
    print("  ratio %.2f of medians, %.2f median of round ratios (target <= %.1f): %s" %
          (ratio, paired, FIRST_FRAME_RATIO, "met" if ratio <= FIRST_FRAME_RATIO else "MISSED"))
    print("  assistant.exe: %d bytes = %.2f MB with its resources (target < 3 MB): %s" %
          (exe_size, exe_size / MB, "met" if exe_size < 3 * MB else "MISSED"))
    print("  peak working set (median of %d): assistant %.1f MB, bare window %.1f MB "
          "(target < %d MB): %s" % (args.memory_rounds, peak, bare_peak, PEAK_MB,
                                    "met" if peak < PEAK_MB else "MISSED"))
    print("  peak working set of the bare window making the first frame's system calls: "
          "%.1f MB" % gdiplus_peak)
    print("  peak working set of the bare window making the system calls of the first frame "
          "and of the first seconds: %.1f MB; the assistant %.1f MB more" %
          (platform_peak, peak - platform_peak))
    if trace:
        print("  start-up trace (medians of %d rounds): ms since process creation, "
              "working set in MB" % len(next(iter(trace.values()))))
        ordered = sorted(trace.items(), key=lambda item: statistics.median(v[0] for v in item[1]))
        for step, values in ordered:
            print("    %-24s %7.1f ms %6.1f MB" % (step, statistics.median(v[0] for v in values),
                                                  statistics.median(v[1] for v in values)))
    result_line(figure="assistant start to first frame", value=round(assistant_ms, 1), unit="ms",
                baseline="bare layered window", baseline_value=round(bare_ms, 1),
                ratio=round(ratio, 3), target="ratio <= %.1f" % FIRST_FRAME_RATIO,
                met=ratio <= FIRST_FRAME_RATIO)
    result_line(figure="assistant start to first frame, against GDI+'s first frame",
                value=round(assistant_ms, 1), unit="ms",
                baseline="bare window making the first frame's system calls",
                baseline_value=round(gdiplus_ms, 1), ratio=round(assistant_ms / gdiplus_ms, 3),
                target="report", met=None)
    result_line(figure="assistant.exe size", value=round(exe_size / MB, 2), unit="MB",
                baseline=None, baseline_value=None, ratio=None, target="< 3 MB",
                met=exe_size < 3 * MB)
    result_line(figure="assistant peak working set", value=round(peak, 1), unit="MB",
                baseline="bare layered window", baseline_value=round(bare_peak, 1),
                ratio=round(peak / bare_peak, 3), target="< %d MB" % PEAK_MB, met=peak < PEAK_MB)
    result_line(figure="assistant peak working set, against the system's share",
                value=round(peak, 1), unit="MB",
                baseline="bare window making the system calls of the first seconds",
                baseline_value=round(platform_peak, 1), ratio=round(peak / platform_peak, 3),
                target="report", met=None)
    return 0


if __name__ == "__main__":
    sys.exit(main())
