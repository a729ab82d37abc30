"""Starts and stops reference services in the background for a test run.

    python3 -m service.fixture start --state FILE [--data DIR]
    python3 -m service.fixture stop --state FILE

start runs two services in test mode on free loopback ports and returns once
they listen: one with plain HTTP and HTTPS under the test authority's
``localhost`` certificate, and one whose HTTPS certificate nobody trusts.
FILE then holds "key=value" lines: http_port, https_port, untrusted_https_port,
ca_trusted (1 when the machine trusts the test authority), pids. stop ends the
services that FILE names.
"""

import argparse
import os
import signal
import subprocess
import sys
import tempfile
import time

from . import certs

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def _read(path):
    values = {}
    try:
        with open(path) as f:
            for line in f:
                key, sep, value = line.strip().partition("=")
                if sep:
                    values[key] = value
    except OSError:
        pass
    return values


def _is_our_service(pid):
    try:
        with open(f"/proc/{pid}/cmdline", "rb") as f:
            return b"service" in f.read()
    except OSError:
        return False


def stop(state_file):
    pids = [int(p) for p in _read(state_file).get("pids", "").split(",") if p.strip()]
    for pid in pids:
        if _is_our_service(pid):
            try:
                os.kill(pid, signal.SIGTERM)
            except ProcessLookupError:
                pass
    deadline = time.time() + 10
    for pid in pids:
        while _is_our_service(pid) and time.time() < deadline:
            time.sleep(0.05)
        if _is_our_service(pid):
            os.kill(pid, signal.SIGKILL)
    if os.path.exists(state_file):
        os.remove(state_file)


def _launch(args, port_file, log):
    if os.path.exists(port_file):
        os.remove(port_file)
    with open(log, "ab") as out:
        process = subprocess.Popen([sys.executable, "-m", "service", *args,
                                    "--port-file", port_file],
                                   cwd=ROOT, stdin=subprocess.DEVNULL, stdout=out, stderr=out,
                                   start_new_session=True)
    return process


def _log_tail(log, lines=15):
    try:
        with open(log, errors="replace") as f:
            return "".join(f.readlines()[-lines:])
    except OSError:
        return ""


def _wait_for(port_file, process, log, timeout=30):
    deadline = time.time() + timeout
    while time.time() < deadline:
        values = _read(port_file)
        if "pid" in values:
            return values
        if process.poll() is not None:
            break
        time.sleep(0.05)
    raise RuntimeError(f"service did not start, port file {port_file}; the end of {log}:\n"
                       + _log_tail(log))


def start_one(args, work):
    """Starts one service with |args| on ports it picks, its output appended to
    work/service.log; answers the process and its port-file values
    ("http_port", "pid", ...). For benchmarks that run a service of their own
    and terminate it themselves."""
    port_file = os.path.join(work, "ports")
    log = os.path.join(work, "service.log")
    process = _launch(args, port_file, log)
    try:
        return process, _wait_for(port_file, process, log)
    except RuntimeError:
        process.kill()
        raise


def start(state_file, data_dir):
    stop(state_file)  # a service left over from an interrupted run
    os.makedirs(os.path.dirname(os.path.abspath(state_file)), exist_ok=True)
    p = certs.ensure()
    work = os.path.dirname(os.path.abspath(state_file))
    log = os.path.join(work, "service.log")
    main = _launch(["--port", "0", "--tls-port", "0", "--tls-cert", p["localhost.pem"],
                    "--tls-key", p["localhost.key"], "--data", data_dir, "--test-mode"],
                   state_file + ".main", log)
    untrusted = _launch(["--port", "-1", "--tls-port", "0", "--tls-cert", p["untrusted.pem"],
                         "--tls-key", p["untrusted.key"], "--data", data_dir, "--test-mode"],
                        state_file + ".untrusted", log)
    try:
        a = _wait_for(state_file + ".main", main, log)
        b = _wait_for(state_file + ".untrusted", untrusted, log)
    except RuntimeError:
        for process in (main, untrusted):
            process.kill()
        raise
    fd, tmp = tempfile.mkstemp(dir=work)
    with os.fdopen(fd, "w") as f:
        f.write(f"http_port={a['http_port']}\n")
        f.write(f"https_port={a['https_port']}\n")
        f.write(f"untrusted_https_port={b['https_port']}\n")
        f.write(f"ca_trusted={1 if certs.is_trusted() else 0}\n")
        f.write(f"pids={main.pid},{untrusted.pid}\n")
    os.replace(tmp, state_file)
    for name in (state_file + ".main", state_file + ".untrusted"):
        os.remove(name)


def main(argv=None):
    parser = argparse.ArgumentParser(prog="python3 -m service.fixture", description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("action", choices=("start", "stop"))
    parser.add_argument("--state", required=True)
    parser.add_argument("--data", help="data folder (default: beside the state file)")
    args = parser.parse_args(argv)
    if args.action == "start":
        data = args.data or os.path.join(os.path.dirname(os.path.abspath(args.state)), "data")
        start(args.state, data)
    else:
        stop(args.state)
    return 0


if __name__ == "__main__":
    sys.exit(main())
