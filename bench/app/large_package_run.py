#!/usr/bin/env python3
"""A package past 4 GiB through the whole pipeline, once (not in the test run).

    large_package_run.py --build DIR [--work DIR] [--big-gib 4.3] [--drop-at BYTES]

Makes a zip64 package under --work: one stored entry of --big-gib GiB whose
every 1 MiB block starts with its own index (so a block written at the wrong
offset is seen), and two small files. Serves it from the reference service in
test mode with one fault rule: the answer that carries byte --drop-at of the
package (past the 4 GiB mark by default) drops the connection there, so the
download must resume with Range. Then runs large_package_client.exe under
Wine: download with the real retries and hash check, record, launch (hash
check again, unpack). Finally compares every unpacked file with its source
by SHA-256 and prints the service's request lines (200, then 206).
About 14 GB of disk; the work folder is kept for a second run unless
--clean is given.
"""
import argparse
import hashlib
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time
import urllib.request
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, ROOT)

from service import fixture  # noqa: E402 (after the path)
MIB = 1 << 20
FILLER = hashlib.sha256(b"filler").digest() * (MIB // 32)


def block(index):
    return index.to_bytes(8, "little") + FILLER[8:]


def make_package(path, big_bytes):
    """Writes the package; answers {name: sha256} of its entries."""
    digests = {}
    small = {"Fernwick/readme.txt": b"Fernwick, the large edition\n",
             "Fernwick/bin/run.cmd": b"@echo off\r\necho run\r\n"}
    with zipfile.ZipFile(path, "w", zipfile.ZIP_STORED, allowZip64=True) as archive:
        for name, data in small.items():
            archive.writestr(name, data)
            digests[name] = hashlib.sha256(data).hexdigest()
        digest = hashlib.sha256()
        with archive.open("Fernwick/data/big.bin", "w", force_zip64=True) as out:
            written, index = 0, 0
            while written < big_bytes:
                piece = block(index)[:big_bytes - written]
                out.write(piece)
                digest.update(piece)
                written += len(piece)
                index += 1
        digests["Fernwick/data/big.bin"] = digest.hexdigest()
    return digests


def sha256_of(path):
    digest = hashlib.sha256()
    with open(path, "rb") as f:
        while True:
            piece = f.read(8 * MIB)
            if not piece:
                return digest.hexdigest()
            digest.update(piece)


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", required=True)
    parser.add_argument("--work")
    parser.add_argument("--big-gib", type=float, default=4.3)
    parser.add_argument("--drop-at", type=int, default=(4 << 30) + 100 * MIB)
    parser.add_argument("--clean", action="store_true")
    args = parser.parse_args()
    client = os.path.join(os.path.abspath(args.build), "bench", "app", "large_package_client.exe")
    if not os.path.exists(client):
        raise SystemExit(f"{client} not built (target large_package_client)")

    work = os.path.abspath(args.work or tempfile.mkdtemp(prefix="large-package-"))
    data = os.path.join(work, "data")
    package = os.path.join(data, "packages", "large.zip")
    manifest = package + ".json"
    if not os.path.exists(manifest):
        os.makedirs(os.path.dirname(package), exist_ok=True)
        started = time.time()
        digests = make_package(package, int(args.big_gib * (1 << 30)))
        info = {"entries": digests, "sha256": sha256_of(package)}
        with open(manifest, "w") as f:
            json.dump(info, f)
        print(f"package: {os.path.getsize(package) / (1 << 30):.2f} GiB made in "
              f"{time.time() - started:.0f} s", flush=True)
    info = json.load(open(manifest))
    size = os.path.getsize(package)
    print(f"package: {size} bytes ({size / (1 << 30):.2f} GiB), sha256 {info['sha256']}")

    run = os.path.join(work, "run")
    shutil.rmtree(run, ignore_errors=True)
    log_path = os.path.join(work, "service.log")
    if os.path.exists(log_path):
        os.remove(log_path)
    service, ports = fixture.start_one(["--port", "0", "--data", data, "--test-mode",
                                        "--verbose"], work)
    try:
        port = ports["http_port"]
        base = f"http://127.0.0.1:{port}"
        # A standing rule: whichever answer carries that byte of the package is
        # cut there, once, however the download was split before.
        rule = json.dumps({"path": "/packages/large.zip", "faults": {"drop_at": args.drop_at},
                           "times": None}).encode()
        request = urllib.request.Request(base + "/admin/faults", rule,
                                         {"Content-Type": "application/json"})
        urllib.request.urlopen(request).read()
        print(f"fault: the answer carrying byte {args.drop_at} drops there", flush=True)

        started = time.time()
        result = subprocess.run([os.path.join(ROOT, "scripts", "wine-run"), "--prefix",
                                 os.path.join(os.path.abspath(args.build), "wineprefix"), client,
                                 base + "/packages/large.zip", info["sha256"],
                                 windows_path(run)], stdout=subprocess.PIPE,
                                stderr=subprocess.STDOUT)
        print(result.stdout.decode("utf-8", "replace"), end="")
        print(f"wall time of the client under Wine: {time.time() - started:.1f} s")
    finally:
        service.terminate()
        service.wait(10)
    requests = [line for line in open(log_path, errors="replace") if "/packages/large.zip" in line]
    print("service requests for the package:")
    for line in requests:
        print("  " + line.strip())

    failures = 0
    for name, digest in info["entries"].items():
        path = os.path.join(run, "fernwick", *name.split("/"))
        ok = os.path.exists(path) and sha256_of(path) == digest
        failures += not ok
        print(f"{'byte-equal' if ok else 'DIFFERS'}: {name}")
    if args.clean:
        shutil.rmtree(work, ignore_errors=True)
    ok = result.returncode == 0 and failures == 0
    print("large package run:", "passed" if ok else "FAILED")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
