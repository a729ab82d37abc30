"""python3 -m service: run the reference operator service.

    python3 -m service [--host 127.0.0.1] [--port 8080] [--tls-port 8443]
                       [--tls-cert FILE --tls-key FILE] [--data DIR]
                       [--packages DIR] [--package FILE] [--launch-cmd CMD]
                       [--admin-token TOKEN] [--test-mode] [--port-file FILE]
                       [--verbose]

Listens on loopback unless --host says otherwise. Off loopback the
dashboard, /api/stats and /admin/ need --admin-token's token (as
"Authorization: Bearer TOKEN" or ?token=TOKEN) and answer 403 without one.
--port 0 / --tls-port 0 pick free ports; --port-file then tells which (lines "http_port=N",
"https_port=N", "pid=N"). --test-mode turns on fault injection and the test
endpoints; never use it on a service others can reach.

--packages DIR copies the files of DIR (the built sample packages,
<build>/tools/samples/packages) into the data folder's packages/ at start.
--package FILE answers every installation request with packages/FILE and the
launch command the catalogue gives with it; --launch-cmd replaces the
launch command of every reply.
"""

import argparse
import os
import signal
import sys
import threading

from . import access, certs
from .catalogue import CatalogueError
from .server import Server, ServiceState, serve, tls_context

HERE = os.path.dirname(os.path.abspath(__file__))


def main(argv=None):
    parser = argparse.ArgumentParser(prog="python3 -m service", description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=8080, help="HTTP port (-1: none)")
    parser.add_argument("--tls-port", type=int, help="HTTPS port (needs a certificate)")
    parser.add_argument("--tls-cert", help="certificate chain (default: the test localhost one)")
    parser.add_argument("--tls-key", help="private key of --tls-cert")
    parser.add_argument("--data", default=os.path.join(HERE, "data"),
                        help="data folder: catalogue.json, packages/, events.sqlite")
    parser.add_argument("--packages", metavar="DIR",
                        help="copy these package files into the data folder's packages/")
    parser.add_argument("--package", metavar="FILE",
                        help="answer every installation request with packages/FILE")
    parser.add_argument("--launch-cmd", metavar="CMD",
                        help="launch command of every installation reply")
    parser.add_argument("--admin-token", metavar="TOKEN",
                        help="operator token of the dashboard, /api/stats and /admin/ "
                             "when listening off loopback")
    parser.add_argument("--test-mode", action="store_true",
                        help="fault injection, /admin/faults and /test/ endpoints")
    parser.add_argument("--port-file", help="write the chosen ports here once listening")
    parser.add_argument("--verbose", action="store_true", help="log every request")
    args = parser.parse_args(argv)

    if args.package is not None and (not args.package or args.package.startswith(".") or
                                     any(c in args.package for c in "/\\\0")):
        parser.error(f"--package takes a file name in packages/, not {args.package!r}")
    try:
        state = ServiceState(args.data, test_mode=args.test_mode, packages_from=args.packages,
                             package=args.package, launch_cmd=args.launch_cmd,
                             admin_token=args.admin_token)
    except CatalogueError as e:
        parser.error(str(e))
    if args.package and not os.path.isfile(os.path.join(state.packages_dir, args.package)):
        state.store.close()
        parser.error(f"no package {args.package} in {state.packages_dir}")
    servers = []
    ports = {}
    if args.port >= 0:
        servers.append(Server((args.host, args.port), state, verbose=args.verbose))
        ports["http_port"] = servers[-1].server_address[1]
    if args.tls_port is not None:
        cert, key = args.tls_cert, args.tls_key
        if not cert:
            p = certs.ensure()
            cert, key = p["localhost.pem"], p["localhost.key"]
        servers.append(Server((args.host, args.tls_port), state, tls_context(cert, key or cert),
                              verbose=args.verbose))
        ports["https_port"] = servers[-1].server_address[1]
    if not servers:
        parser.error("nothing to listen on")

    serve(servers)
    if args.port_file:
        tmp = args.port_file + ".tmp"
        with open(tmp, "w") as f:
            for k, v in ports.items():
                f.write(f"{k}={v}\n")
            f.write(f"pid={os.getpid()}\n")
        os.replace(tmp, args.port_file)
    for k, v in ports.items():
        print(f"{k.split('_')[0]}://{args.host}:{v}/", flush=True)
    if not access.is_loopback(servers[0].server_address[0]) and not args.admin_token:
        print("no --admin-token: the dashboard, /api/stats and /admin/ answer 403 "
              "on this address", file=sys.stderr, flush=True)

    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    signal.signal(signal.SIGINT, lambda *_: stop.set())
    stop.wait()
    for s in servers:
        s.shutdown()
        s.server_close()
    state.store.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
