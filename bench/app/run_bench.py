#!/usr/bin/env python3
"""Installation pipeline benchmark.

    run_bench.py --build DIR [--rounds N] [--work DIR] [--hashed]

DIR is a build with the app subsystem and the target app_pipeline_bench (an
optimised one gives the meaningful figures). Serves one generated package
(bench/archive/make_bench_package.py: about 200 MB packed, 290 MB unpacked,
1,500 files; made under --work, never in the repository) from the reference
service on loopback and runs app_pipeline_bench under Wine, which times in one
process, round after round in alternating order:
  baseline  HttpDownload of the package, then ExtractArchive
  pipeline  InstallationPipeline::StartInstallation (download into ".part",
            progress posted to a UI loop, rename, InstallerConfig), then
            LaunchInstaller (the recorded zip unpacked under the product)
With --hashed the pipeline also checks the package's SHA-256 (made while
the bytes are written), which the baseline does not.
Target: pipeline <= 1.05 x baseline.
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, ROOT)

from service import fixture  # noqa: E402 (after the path)


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", required=True)
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--work")
    parser.add_argument("--hashed", action="store_true",
                        help="give the pipeline the package's SHA-256 to check")
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    bench = os.path.join(build, "bench", "app", "app_pipeline_bench.exe")
    if not os.path.exists(bench):
        raise SystemExit(f"{bench} not built (cmake --build {build} --target app_pipeline_bench)")

    work = args.work or tempfile.mkdtemp(prefix="pipeline-bench-")
    data = os.path.join(work, "data")
    package = os.path.join(data, "packages", "bench.zip")
    if not os.path.exists(package):
        os.makedirs(os.path.dirname(package), exist_ok=True)
        subprocess.run([sys.executable, os.path.join(ROOT, "bench", "archive",
                                                     "make_bench_package.py"), package], check=True)
    service, ports = fixture.start_one(["--port", "0", "--data", data], work)
    try:
        port = ports["http_port"]
        size = os.path.getsize(package)
        print(f"package: {size / 1e6:.0f} MB packed", flush=True)
        subprocess.run([os.path.join(ROOT, "scripts", "wine-run"), "--prefix",
                        os.path.join(build, "wineprefix"), bench,
                        f"http://127.0.0.1:{port}/packages/bench.zip", "Z:" + os.path.join(work, "out"),
                        str(args.rounds)] + (["hashed"] if args.hashed else []), check=True)
    finally:
        service.terminate()
        service.wait()
        if not args.work:
            shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
