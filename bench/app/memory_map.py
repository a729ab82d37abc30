#!/usr/bin/env python3
"""Where the assistant's resident memory goes, against the bare window's:
starts the branded assistant (as the start-up benchmark does: private
display, reference service, Wine prefix of its own), waits until it has shown
its welcome page and settled, sums the resident pages of its process by what
they map (a DLL, a Unix library, a font file, or anonymous memory), does the
same for the start-up benchmark's bare layered window, and prints the
difference by kind and the largest differences by mapping.

    memory_map.py --build DIR [--settle SECONDS] [--top N] [--platform]

DIR is a build with the targets assistant, brand and startup_bare_window.
With --platform the bare window also makes the system calls of the
assistant's first seconds (startup_bare_window.exe --platform, the start-up
benchmark's floor of the peak working set), so what is left is the
assistant's own. A
diagnostic, not a benchmark: the peak working set itself comes from
startup_bench.py.
"""

import argparse
import collections
import os
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, ROOT)
from tests.e2e import harness  # noqa: E402


def assistant_pid(exe_name):
    """The Linux process running |exe_name| under Wine, or None."""
    for pid in os.listdir("/proc"):
        if not pid.isdigit():
            continue
        try:
            with open("/proc/%s/cmdline" % pid, "rb") as f:
                args = f.read().split(b"\0")
        except OSError:
            continue
        if args and args[0].decode("utf-8", "replace").lower().endswith(exe_name.lower()):
            return int(pid)
    return None


def resident_by_mapping(pid):
    """{mapping: resident kB} and the process's peak resident size (VmHWM),
    in kB."""
    sums = collections.defaultdict(int)
    current = None
    with open("/proc/%d/smaps" % pid) as f:
        for line in f:
            parts = line.split()
            if "-" in parts[0] and len(parts) >= 5 and ":" in parts[3]:
                name = parts[5] if len(parts) > 5 else "[anonymous]"
                current = os.path.basename(name) if name.startswith("/") else name
            elif parts[0] == "Rss:" and current is not None:
                sums[current] += int(parts[1])
    peak = 0
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmHWM:"):
                peak = int(line.split()[1])
    return sums, peak


def kind_of(name):
    lower = name.lower()
    if lower.endswith((".dll", ".drv", ".exe", ".nls")) or lower.endswith(".dll.so"):
        return "Windows DLLs and data"
    if ".so" in lower:
        return "Unix libraries"
    if name.startswith("["):
        return "anonymous memory (heap, bitmaps, stacks)"
    if name.startswith("SYSV"):
        return "shared memory with the X server"
    return "other files (fonts, ...)"


def measure(build, display, service, wine, work, bare, settle, platform=False):
    """{mapping: resident kB} and the peak of one started program."""
    options = []
    if bare:
        exe, title = os.path.join(build, "bench", "app", "startup_bare_window.exe"), "Bare"
        if platform:
            options = ["--platform", service.address + "/api/channel"]
    else:
        exe, title = wine.brand_for(service, folder=work), harness.WINDOW_NAME
    env = dict(display.env, WINEPREFIX=wine.prefix, WINEDEBUG="-all")
    wine.clean_user_data()
    process = subprocess.Popen(["wine", exe] + options, env=env, cwd=work, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL, start_new_session=True)
    try:
        if display.find_window(title, 60) is None:
            raise SystemExit("%s showed no window" % os.path.basename(exe))
        time.sleep(settle)
        pid = assistant_pid(os.path.basename(exe))
        if pid is None:
            raise SystemExit("no process runs %s" % os.path.basename(exe))
        return resident_by_mapping(pid)
    finally:
        os.killpg(process.pid, 9)
        process.wait(30)


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", required=True)
    parser.add_argument("--settle", type=float, default=3.0)
    parser.add_argument("--top", type=int, default=30)
    parser.add_argument("--platform", action="store_true",
                        help="compare with the bare window making the first seconds' calls")
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    os.environ.update(
        WINE_RUN=os.path.join(ROOT, "scripts", "wine-run"),
        ASSISTANT_EXE=os.path.join(build, "app", "assistant.exe"),
        BRAND_EXE=os.path.join(build, "tools", "brand.exe"),
        THEME_ZIP=os.path.join(build, "resources", "theme.zip"))
    os.environ["WINEDLLOVERRIDES"] = "mscoree,mshtml=;winemenubuilder.exe=d"
    work = tempfile.mkdtemp(prefix="memory-map-")
    display = harness.Display()
    service = harness.Service(os.path.join(work, "service")).start()
    wine = harness.Wine(os.path.join(build, "bench", "app", "memory_map"), display)
    try:
        ours, peak = measure(build, display, service, wine, work, False, args.settle)
        bare, bare_peak = measure(build, display, service, wine, work, True, args.settle,
                                  args.platform)
    finally:
        wine.close()
        service.stop()
        display.close()
    print("resident after %.0f s: assistant %.1f MB (peak %.1f), bare window %.1f MB (peak %.1f)"
          % (args.settle, sum(ours.values()) / 1000, peak / 1000, sum(bare.values()) / 1000,
             bare_peak / 1000))
    by_kind = collections.defaultdict(lambda: [0, 0])
    for name in set(ours) | set(bare):
        by_kind[kind_of(name)][0] += ours.get(name, 0)
        by_kind[kind_of(name)][1] += bare.get(name, 0)
    print("by kind:                                  assistant     bare     more")
    for kind, (a, b) in sorted(by_kind.items(), key=lambda item: item[1][1] - item[1][0]):
        print("  %-40s %7.1f MB %6.1f MB %6.1f MB" % (kind, a / 1000, b / 1000, (a - b) / 1000))
    print("largest differences by mapping:")
    names = sorted(set(ours) | set(bare), key=lambda n: bare.get(n, 0) - ours.get(n, 0))
    for name in names[:args.top]:
        a, b = ours.get(name, 0), bare.get(name, 0)
        print("  %7.1f MB %6.1f MB %6.1f MB  %s" % (a / 1000, b / 1000, (a - b) / 1000, name))
    return 0


if __name__ == "__main__":
    sys.exit(main())
