#!/usr/bin/env python3
"""Package extraction benchmark.

    run_bench.py [--build DIR] [--rounds N] [--work DIR]

DIR is an optimised build with the archive subsystem, for example:
    cmake -S . -B build-archive-release -G Ninja -DCMAKE_BUILD_TYPE=Release \\
      -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DSUBSYSTEMS=archive
    cmake --build build-archive-release --target zip_extract_bench zip_floor_extract

Unpacks one generated package (about 200 MB packed, 290 MB unpacked, 1,500
files; made under --work, never in the repository) with, in the same run:
  ours    ExtractArchive under Wine (bench/archive/extract_bench.cpp)
  floor   a no-checks program under Wine: zlib inflate in 16 KiB pieces and
          CreateFileW/WriteFile, nothing else (floor_extract.cpp)
  unzip   `unzip -qo`, native
  bsdtar  `bsdtar -xf`, native
Each round runs every tool once into an empty folder, in a rotating order
(the machine is shared and noisy); the figures are medians over the rounds,
with the median of the per-round ratios and the ratio of best times beside.
Wall time includes process start (about 40 ms for a Wine program with a warm
wineserver, which is kept running for the whole benchmark).
Targets: ours <= 1.10 x floor and <= 1.25 x unzip.
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import time
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))


def wine_path(path):
    return "Z:" + path  # Wine's drive for the Linux root; forward slashes are fine


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default=os.path.join(HERE, "..", "..", "build-archive-release"))
    ap.add_argument("--rounds", type=int, default=5)
    ap.add_argument("--work", default="/tmp/archive-bench")
    ap.add_argument("--any-build", action="store_true", help="allow an unoptimised build")
    args = ap.parse_args()

    build = os.path.abspath(args.build)
    cache = open(os.path.join(build, "CMakeCache.txt")).read()
    build_type = next((line.split("=", 1)[1] for line in cache.splitlines()
                       if line.startswith("CMAKE_BUILD_TYPE:")), "")
    print("build: %s (%s)" % (build, build_type or "no build type"))
    if build_type not in ("Release", "RelWithDebInfo") and not args.any_build:
        sys.exit("benchmark an optimised build (-DCMAKE_BUILD_TYPE=Release), or pass --any-build")
    work = os.path.abspath(args.work)
    os.makedirs(work, exist_ok=True)
    package = os.path.join(work, "package.zip")
    if not os.path.exists(package):
        subprocess.run([sys.executable, os.path.join(HERE, "make_bench_package.py"), package],
                       check=True)
    with zipfile.ZipFile(package) as z:
        entries = z.infolist()
    out_bytes = sum(e.file_size for e in entries)
    print("package: %d files, %.1f MB packed, %.1f MB unpacked" %
          (len(entries), os.path.getsize(package) / 1e6, out_bytes / 1e6))

    env = dict(os.environ, WINEPREFIX=os.path.join(build, "wineprefix"), WINEDEBUG="-all")
    if not os.path.exists(env["WINEPREFIX"] + "/.ready"):
        # Our test runner makes the prefix the same way the tests get it.
        subprocess.run([os.path.join(HERE, "..", "..", "scripts", "wine-run"), "--prefix",
                        env["WINEPREFIX"], "cmd", "/c", "exit"], check=True)
    bench = os.path.join(build, "bench", "archive")
    out = {name: os.path.join(work, "out_" + name) for name in ("ours", "floor", "unzip", "bsdtar")}
    commands = {
        "ours": ["wine", os.path.join(bench, "zip_extract_bench.exe"), wine_path(package),
                 wine_path(out["ours"])],
        "floor": ["wine", os.path.join(bench, "zip_floor_extract.exe"), wine_path(package),
                  wine_path(out["floor"])],
        "unzip": ["unzip", "-qo", package, "-d", out["unzip"]],
        "bsdtar": ["bsdtar", "-xf", package, "-C", out["bsdtar"]],
    }
    for name in ("unzip", "bsdtar"):
        if not shutil.which(commands[name][0]):
            sys.exit("missing %s (scripts/bootstrap installs it)" % commands[name][0])

    # A persistent wineserver for the prefix, and one throwaway run of each
    # Wine program, so no measured run pays for starting them.
    server = subprocess.Popen(["wineserver", "-f", "-p"], env=env)
    try:
        time.sleep(0.5)
        for name in ("ours", "floor"):
            shutil.rmtree(out[name], ignore_errors=True)
            subprocess.run(commands[name], env=env, check=True, stdout=subprocess.DEVNULL)

        times = {name: [] for name in commands}
        inside = {name: [] for name in commands}
        order = list(commands)
        for r in range(args.rounds):
            for name in order[r % len(order):] + order[:r % len(order)]:
                shutil.rmtree(out[name], ignore_errors=True)
                if name in ("unzip", "bsdtar"):
                    os.makedirs(out[name])
                subprocess.run(["sync"])
                start = time.perf_counter()
                run = subprocess.run(commands[name], env=env, check=True, stdout=subprocess.PIPE)
                times[name].append(time.perf_counter() - start)
                # The Wine programs also say how long they took inside.
                said = run.stdout.decode().split()
                if "s" in said:
                    inside[name].append(float(said[said.index("s") - 1]))
            print("round %d: " % (r + 1) +
                  "  ".join("%s %.2f s" % (n, times[n][-1]) for n in commands), flush=True)

        # Every tool must have written the same files.
        for name in ("ours", "floor", "bsdtar"):
            diff = subprocess.run(["diff", "-rq", out["unzip"], out[name]], capture_output=True)
            if diff.returncode != 0:
                sys.exit("%s differs from unzip:\n%s" % (name, diff.stdout.decode()[:2000]))
    finally:
        for folder in out.values():
            shutil.rmtree(folder, ignore_errors=True)
        subprocess.run(["wineserver", "-k"], env=env)
        server.wait()

    median = {n: statistics.median(t) for n, t in times.items()}
    print("\nmedians of %d rounds (wall time, MB/s of output):" % args.rounds)
    for name in commands:
        print("  %-7s %6.2f s  %6.1f MB/s   (min %.2f, max %.2f)" %
              (name, median[name], out_bytes / 1e6 / median[name], min(times[name]),
               max(times[name])))
    print("  inside the Wine processes: ours %.2f s, floor %.2f s (ratio of medians %.3f)" %
          (statistics.median(inside["ours"]), statistics.median(inside["floor"]),
           statistics.median(inside["ours"]) / statistics.median(inside["floor"])))

    # Ratios of medians, and medians of the per-round ratios (each round runs
    # the tools back to back, so its ratio is less touched by load drifting
    # between rounds).
    # Best times too: load only ever adds.
    def ratios(a, b):
        paired = statistics.median(x / y for x, y in zip(times[a], times[b]))
        return median[a] / median[b], paired, min(times[a]) / min(times[b])

    print()
    for a, b, note in (("ours", "floor", "target <= 1.10"), ("ours", "unzip", "target <= 1.25"),
                       ("ours", "bsdtar", ""), ("floor", "unzip", "Wine's cost for the same work")):
        of_medians, paired, best = ratios(a, b)
        print("%-6s / %-6s = %.3f  (median of round ratios %.3f, of best times %.3f)%s" %
              (a, b, of_medians, paired, best, "  " + note if note else ""))

if __name__ == "__main__":
    main()
