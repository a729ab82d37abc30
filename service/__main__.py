"""python3 -m service: run the reference operator service.

    python3 -m service [--host 127.0.0.1] [--port 8080] [--tls-port 8443]
                       [--tls-cert FILE --tls-key FILE] [--data DIR]
                       [--test-mode] [--port-file FILE] [--verbose]

Listens on loopback unless --host says otherwise. --port 0 / --tls-port 0
pick free ports; --port-file then tells which (lines "http_port=N",
"https_port=N", "pid=N"). --test-mode turns on fault injection and the test
endpoints; never use it on a service others can reach.
"""

import argparse
import os
import signal
import sys
import threading

from . import certs
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
    parser.add_argument("--test-mode", action="store_true",
                        help="fault injection, /admin/faults and /test/ endpoints")
    parser.add_argument("--port-file", help="write the chosen ports here once listening")
    parser.add_argument("--verbose", action="store_true", help="log every request")
    args = parser.parse_args(argv)

    state = ServiceState(args.data, test_mode=args.test_mode)
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
