"""A squid proxy of its own for the proxy tests.

    python3 tests/http/squid_fixture.py start --dir DIR
    python3 tests/http/squid_fixture.py stop --dir DIR

start runs squid in the foreground mode (-N) on a free loopback port with a
configuration, pid file and logs all in DIR, and returns once it accepts
connections. DIR/state then holds "port=N" and "log=<access log>", or
"absent=1" when squid is not installed (the tests then skip). stop ends it.
"""
import argparse
import os
import pwd
import shutil
import signal
import socket
import subprocess
import sys
import time

CONFIG = """\
http_port 127.0.0.1:{port}
pid_filename {dir}/squid.pid
cache_log {dir}/cache.log
access_log stdio:{dir}/access.log
coredump_dir {dir}
cache deny all
# Requests for /test/proxy-login must log on to the proxy with NTLM (any
# user: the fake helper accepts everyone), as a corporate proxy would ask.
auth_param ntlm program /usr/lib/squid/ntlm_fake_auth
auth_param ntlm children 2
acl login_path urlpath_regex ^/test/proxy-login
acl logged_on proxy_auth REQUIRED
acl localnet src 127.0.0.1/32
acl SSL_ports port 1-65535
acl CONNECT method CONNECT
http_access deny CONNECT !SSL_ports
http_access deny login_path !logged_on
http_access allow localnet
http_access deny all
shutdown_lifetime 0 seconds
strip_query_terms off
"""


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def stop(work):
    pid_file = os.path.join(work, "fixture.pid")
    try:
        with open(pid_file) as f:
            pid = int(f.read().strip())
    except (OSError, ValueError):
        return
    try:
        os.kill(pid, signal.SIGTERM)
        for _ in range(100):
            os.kill(pid, 0)
            time.sleep(0.1)
        os.kill(pid, signal.SIGKILL)
    except ProcessLookupError:
        pass
    os.remove(pid_file)


def start(work):
    stop(work)
    os.makedirs(work, exist_ok=True)
    state = os.path.join(work, "state")
    squid = shutil.which("squid") or shutil.which("squid", path="/usr/sbin:/sbin")
    if not squid:
        with open(state, "w") as f:
            f.write("absent=1\n")
        return
    for name in ("access.log", "cache.log"):
        if os.path.exists(os.path.join(work, name)):
            os.remove(os.path.join(work, name))
    port = free_port()
    conf = os.path.join(work, "squid.conf")
    with open(conf, "w") as f:
        f.write(CONFIG.format(port=port, dir=work))
    if os.geteuid() == 0:
        # Started as root, squid works as the user "proxy": its folder must
        # be that user's to write.
        user = pwd.getpwnam("proxy")
        for name in [work] + [os.path.join(work, n) for n in os.listdir(work)]:
            os.chown(name, user.pw_uid, user.pw_gid)
    out = open(os.path.join(work, "squid.out"), "w")
    process = subprocess.Popen([squid, "-N", "-f", conf], stdout=out, stderr=subprocess.STDOUT,
                               stdin=subprocess.DEVNULL, start_new_session=True)
    with open(os.path.join(work, "fixture.pid"), "w") as f:
        f.write(str(process.pid))
    deadline = time.time() + 30
    while time.time() < deadline:
        if process.poll() is not None:
            raise RuntimeError(f"squid ended at start-up, see {work}/squid.out and cache.log")
        try:
            socket.create_connection(("127.0.0.1", port), timeout=1).close()
            break
        except OSError:
            time.sleep(0.2)
    else:
        stop(work)
        raise RuntimeError("squid did not accept connections within 30 s")
    with open(state, "w") as f:
        f.write(f"port={port}\nlog={work}/access.log\n")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("command", choices=("start", "stop"))
    parser.add_argument("--dir", required=True)
    args = parser.parse_args()
    work = os.path.abspath(args.dir)
    start(work) if args.command == "start" else stop(work)


if __name__ == "__main__":
    sys.exit(main())
