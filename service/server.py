"""The reference operator service: HTTP handler, routes and servers.

Routes (see README.md):
  GET  /api/channel?channel=C&product=P       channel reply
  GET  /api/installation?channel=C&product=P  installation details
  GET  /api/get-bdvid                         attribution id
  POST /api/send                              store a usage event
  GET  /api/stats[?product=&channel=&from=&to=&website=]  the statistics report
  GET  /dashboard                             the operator's dashboard page
  GET  /static/<file>                         its script, style and chart library
  GET  /packages/<file>                       package files (Range, ETag)
The dashboard, /api/stats and /admin/ need the operator token off loopback
(access.py). In test mode only, fault injection (faults.py), /admin/faults and the
/test/ endpoints that the client's tests use.
"""

import email.utils
import hashlib
import http.server
import json
import mimetypes
import os
import re
import secrets
import socket
import ssl
import threading
import time
import urllib.parse

from . import access
from . import catalogue as catalogue_mod
from . import stats
from .faults import FaultRules, Faults, split_query
from .store import Store

MAX_BODY = 1 << 20          # request bodies we accept
PIECE = 256 * 1024          # file read size
SLOW_PIECE = 1024           # piece size of a slow body
PATTERN_BLOCK = bytes(i % 251 for i in range(251)) * 1044  # /test/bytes pattern source

STATIC_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "static")
# The chart library comes from the system's package (scripts/bootstrap);
# without it the dashboard still shows its numbers as tables.
CHART_JS = ("/usr/share/javascript/chart.js/chart.umd.js",
            "/usr/share/javascript/chart.js/chart.min.js",
            "/usr/share/javascript/chart.js/chart.js")
STATIC_FILES = {
    "dashboard.js": ((os.path.join(STATIC_DIR, "dashboard.js"),), "text/javascript"),
    "dashboard.css": ((os.path.join(STATIC_DIR, "dashboard.css"),), "text/css"),
    "chart.js": (CHART_JS, "text/javascript"),
}
DASHBOARD_HTML = os.path.join(STATIC_DIR, "dashboard.html")
# The page and its scripts come from this service only; labels from events
# reach the page as text, never as markup.
PAGE_POLICY = ("default-src 'none'; script-src 'self'; style-src 'self'; "
               "connect-src 'self'; img-src 'self' data:; form-action 'self'; "
               "base-uri 'none'; frame-ancestors 'none'")


class ServiceState:
    """What all requests share: catalogue, store, fault rules, packages."""

    def __init__(self, data_dir, test_mode=False, packages_from=None, package=None,
                 launch_cmd=None, admin_token=None):
        self.data_dir = os.path.abspath(data_dir)
        # The operator token of the pages that need one off loopback.
        self.admin_token = admin_token
        catalogue_mod.seed_data_folder(self.data_dir, packages_from)
        # Overrides of every installation reply (demos, tests), see catalogue.py.
        self.package = package
        self.launch_cmd = launch_cmd
        self.catalogue_path = os.path.join(self.data_dir, "catalogue.json")
        self.packages_dir = os.path.join(self.data_dir, "packages")
        self.store = Store(os.path.join(self.data_dir, "events.sqlite"))
        self.test_mode = test_mode
        self.rules = FaultRules()
        self._lock = threading.Lock()
        self._catalogue = None
        self._catalogue_mtime = None
        self._etags = {}

    def catalogue(self):
        """The catalogue, re-read when its file changed."""
        mtime = os.stat(self.catalogue_path).st_mtime_ns
        with self._lock:
            if self._catalogue is None or mtime != self._catalogue_mtime:
                self._catalogue = catalogue_mod.Catalogue.load(self.catalogue_path)
                self._catalogue_mtime = mtime
            return self._catalogue

    def etag(self, path, st):
        """Strong ETag: the SHA-256 of the content, cached per size and mtime."""
        key = (path, st.st_size, st.st_mtime_ns)
        with self._lock:
            tag = self._etags.get(key)
        if tag is None:
            h = hashlib.sha256()
            with open(path, "rb") as f:
                for block in iter(lambda: f.read(1 << 20), b""):
                    h.update(block)
            tag = '"' + h.hexdigest()[:32] + '"'
            with self._lock:
                self._etags[key] = tag
        return tag


class ConnectionDropped(Exception):
    """Raised after a fault dropped the connection on purpose."""


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "OperatorService/1.0"
    timeout = 60

    def version_string(self):
        return self.server_version

    # -- plumbing ---------------------------------------------------------
    def setup(self):
        super().setup()
        if isinstance(self.connection, ssl.SSLSocket):
            self.connection.do_handshake()

    def log_message(self, format, *args):  # noqa: A002 (base class signature)
        if self.server.verbose:
            super().log_message(format, *args)

    def do_GET(self):
        self.dispatch("GET")

    def do_HEAD(self):
        self.dispatch("HEAD")

    def do_POST(self):
        self.dispatch("POST")

    def do_PUT(self):
        self.dispatch("PUT")

    def do_DELETE(self):
        self.dispatch("DELETE")

    @property
    def state(self):
        return self.server.state

    def dispatch(self, method):
        self.method = method
        self.request_chunked = False
        parts = urllib.parse.urlsplit(self.path)
        self.route = parts.path
        query = parts.query
        self.faults = Faults()
        refused = None
        try:
            self.query = urllib.parse.parse_qs(query, keep_blank_values=True)
            if access.is_protected(self.route):
                refused = access.check(self.server.access_host(), self.state.admin_token,
                                       self.headers.get("Authorization"), self.param("token"))
            if refused is None and self.state.test_mode:
                query, self.faults = split_query(query)
                self.faults.merge(self.state.rules.take(self.route))
                self.query = urllib.parse.parse_qs(query, keep_blank_values=True)
            self.body = self.read_body() if method in ("POST", "PUT", "DELETE") else b""
        except ValueError as e:
            self.close_connection = True
            self.reply_json(400, {"error": str(e)}, faults=Faults())
            return
        if refused is not None:
            status, message = refused
            headers = [("WWW-Authenticate", "Bearer")] if status == 401 else []
            self.reply_json(status, {"error": message}, faults=Faults(), headers=headers)
            return
        try:
            self.handle_route()
        except ConnectionDropped:
            self.close_connection = True
        except (ConnectionError, socket.timeout, ssl.SSLError):
            self.close_connection = True

    def read_body(self):
        encoding = self.headers.get("Transfer-Encoding", "").lower()
        if encoding == "chunked":
            self.request_chunked = True
            chunks = []
            total = 0
            while True:
                line = self.rfile.readline(1024).strip()
                try:
                    size = int(line.split(b";")[0], 16)
                except ValueError:
                    raise ValueError("bad chunk size") from None
                if size == 0:
                    while self.rfile.readline(1024).strip():
                        pass  # trailers
                    break
                total += size
                if total > MAX_BODY:
                    raise ValueError("body too large")
                chunks.append(self.rfile.read(size))
                self.rfile.readline(8)
            return b"".join(chunks)
        length = self.headers.get("Content-Length")
        if length is None:
            return b""
        if not length.isdigit():
            raise ValueError("bad Content-Length")
        if int(length) > MAX_BODY:
            raise ValueError("body too large")
        return self.rfile.read(int(length))

    def param(self, name):
        values = self.query.get(name)
        return values[0] if values else None

    def base_url(self):
        scheme = "https" if self.server.tls else "http"
        host = self.headers.get("Host", "")
        if not re.fullmatch(r"[A-Za-z0-9.\-\[\]:]+", host or ""):
            host = "%s:%d" % (self.server.server_address[0], self.server.server_address[1])
        return f"{scheme}://{host}"

    # -- replies ----------------------------------------------------------
    def reply_json(self, status, obj, faults=None, headers=()):
        body = json.dumps(obj, ensure_ascii=False).encode("utf-8")
        self.reply(status, body, "application/json; charset=utf-8", faults=faults,
                   headers=headers, json_body=True)

    def reply(self, status, body, content_type, faults=None, headers=(), json_body=False):
        faults = self.faults if faults is None else faults
        if faults.status:
            status = faults.status
            body = json.dumps({"error": f"injected status {status}"}).encode()
            content_type = "application/json; charset=utf-8"
            json_body = True
        if faults.malformed and json_body:
            body = body[:max(1, len(body) // 2)]
        self.start_reply(status, content_type, len(body), faults, headers)
        if self.method != "HEAD" and status not in (204, 304):
            self.write_body(iter([body]), faults)

    def start_reply(self, status, content_type, length, faults, headers=()):
        if faults.delay:
            time.sleep(faults.delay / 1000.0)
        self.send_response(status)
        if content_type:
            self.send_header("Content-Type", content_type)
        for name, value in headers:
            self.send_header(name, value)
        if faults.chunked:
            self.send_header("Transfer-Encoding", "chunked")
        elif length is not None:
            self.send_header("Content-Length", str(length))
        self.end_headers()

    def write_body(self, pieces, faults):
        """Writes the body from an iterator of bytes, applying the faults."""
        sent = 0
        for piece in pieces:
            if faults.slow:
                pieces_here = [piece[i:i + SLOW_PIECE] for i in range(0, len(piece), SLOW_PIECE)]
            else:
                pieces_here = [piece]
            for part in pieces_here:
                if faults.drop is not None and sent + len(part) >= faults.drop:
                    self.send_raw(part[:faults.drop - sent], faults)
                    self.drop_connection()
                if part:
                    self.send_raw(part, faults)
                sent += len(part)
                if faults.slow:
                    time.sleep(faults.slow / 1000.0)
        if faults.drop is not None:
            self.drop_connection()
        if faults.chunked:
            self.wfile.write(b"0\r\n\r\n")

    def send_raw(self, data, faults):
        if not data:
            return
        if faults.chunked:
            self.wfile.write(b"%x\r\n" % len(data) + data + b"\r\n")
        else:
            self.wfile.write(data)

    def drop_connection(self):
        try:
            self.wfile.flush()
            self.connection.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
        raise ConnectionDropped()

    # -- routes -----------------------------------------------------------
    def handle_route(self):
        route, method = self.route, self.method
        table = {
            "/api/channel": (("GET", "HEAD"), self.api_channel),
            "/api/installation": (("GET", "HEAD"), self.api_installation),
            "/api/get-bdvid": (("GET",), self.api_get_bdvid),
            "/api/send": (("POST",), self.api_send),
            "/api/stats": (("GET", "HEAD"), self.api_stats),
            "/dashboard": (("GET", "HEAD"), self.dashboard),
        }
        if self.state.test_mode:
            table.update({
                "/admin/faults": (("GET", "POST", "DELETE"), self.admin_faults),
                "/test/echo": (("GET", "HEAD", "POST", "PUT", "DELETE"), self.test_echo),
                "/test/bytes": (("GET", "HEAD"), self.test_bytes),
                "/test/headers": (("GET", "HEAD"), self.test_headers),
                "/test/proxy.pac": (("GET", "HEAD"), self.test_proxy_pac),
            })
        if route.startswith("/packages/"):
            entry = (("GET", "HEAD"), self.package)
        elif route.startswith("/static/"):
            entry = (("GET", "HEAD"), self.static_file)
        else:
            entry = table.get(route)
        if entry is None:
            self.reply_json(404, {"error": "not found"})
            return
        methods, target = entry
        if method not in methods:
            self.reply_json(405, {"error": "method not allowed"},
                            headers=[("Allow", ", ".join(methods))])
            return
        target()

    def product_and_channel(self):
        product, channel = self.param("product"), self.param("channel")
        if not product or not channel:
            self.reply_json(400, {"error": "\"channel\" and \"product\" are required"})
            return None
        return product, channel

    def api_channel(self):
        pc = self.product_and_channel()
        if pc is None:
            return
        reply = self.state.catalogue().channel_reply(*pc)
        if reply is None:
            self.reply_json(404, {"error": "unknown product or channel"})
        else:
            self.reply_json(200, reply)

    def api_installation(self):
        pc = self.product_and_channel()
        if pc is None:
            return
        details = self.state.catalogue().installation(pc[0], pc[1], self.base_url(),
                                                      self.state.package, self.state.launch_cmd)
        if details is None:
            self.reply_json(404, {"error": "no package for this product and channel"})
        else:
            self.reply_json(200, details)

    def api_get_bdvid(self):
        bdvid = secrets.token_hex(8)
        self.state.store.issue_bdvid(bdvid, self.client_address[0])
        self.reply_json(200, {"success": True, "bdvid": bdvid})

    def api_send(self):
        try:
            message = json.loads(self.body.decode("utf-8"), parse_constant=_no_constants)
        except (UnicodeDecodeError, ValueError):
            self.reply_json(400, {"error": "body is not JSON"})
            return
        payload = message.get("payload") if isinstance(message, dict) else None
        if (message.get("type") if isinstance(message, dict) else None) != "event" or \
                not isinstance(payload, dict) or not isinstance(payload.get("name"), str) or \
                not payload["name"]:
            self.reply_json(400, {"error": "expected {\"type\": \"event\", \"payload\": "
                                           "{\"name\": ...}}"})
            return
        try:
            raw = json.dumps(payload, ensure_ascii=False, allow_nan=False)
        except ValueError:  # a number such as 1e999 that Python reads as infinity
            self.reply_json(400, {"error": "a number is out of range"})
            return
        # The assistant files every event under its product and channel in
        # the address, so that the payload of the funnel events stays as it
        # always was; older senders put them in the payload or its data.
        self.state.store.add_event(payload, raw, product=self.param("product") or None,
                                   channel=self.param("channel") or None)
        self.reply_json(200, {"ok": True})

    def api_stats(self):
        try:
            query = stats.StatsQuery.from_params(self.param)
        except stats.QueryError as e:
            self.reply_json(400, {"error": str(e)})
            return
        with self.state.store.reader() as db:
            result = stats.report(db, query)
        self.reply_json(200, result, headers=[("Cache-Control", "no-store")])

    # -- dashboard --------------------------------------------------------
    def dashboard(self):
        with open(DASHBOARD_HTML, "rb") as f:
            body = f.read()
        self.reply(200, body, "text/html; charset=utf-8",
                   headers=[("Content-Security-Policy", PAGE_POLICY),
                            ("Cache-Control", "no-store"), ("X-Content-Type-Options", "nosniff"),
                            ("Referrer-Policy", "no-referrer")])

    def static_file(self):
        entry = STATIC_FILES.get(self.route[len("/static/"):])
        body = None
        for path in entry[0] if entry else ():
            try:
                with open(path, "rb") as f:
                    body = f.read()
                break
            except OSError:
                continue
        if body is None:
            self.reply_json(404, {"error": "not found"})
            return
        self.reply(200, body, entry[1] + "; charset=utf-8",
                   headers=[("Cache-Control", "no-cache"), ("X-Content-Type-Options", "nosniff")])

    # -- packages ---------------------------------------------------------
    def package(self):
        name = urllib.parse.unquote(self.route[len("/packages/"):])
        if (not name or name.startswith(".") or "/" in name or "\\" in name or "\0" in name):
            self.reply_json(404, {"error": "not found"})
            return
        path = os.path.join(self.state.packages_dir, name)
        try:
            f = open(path, "rb")
        except OSError:
            self.reply_json(404, {"error": "not found"})
            return
        with f:
            st = os.fstat(f.fileno())
            if not os.path.isfile(path):
                self.reply_json(404, {"error": "not found"})
                return
            self.send_package(f, path, st)

    def send_package(self, f, path, st):
        size = st.st_size
        etag = self.state.etag(path, st)
        content_type = mimetypes.guess_type(path)[0] or "application/octet-stream"
        headers = [("ETag", etag), ("Accept-Ranges", "bytes"),
                   ("Last-Modified", email.utils.formatdate(st.st_mtime, usegmt=True))]
        if self.faults.status:
            self.reply(self.faults.status, b"", content_type)
            return
        if_none_match = self.headers.get("If-None-Match")
        if if_none_match and (if_none_match.strip() == "*" or
                              etag in [t.strip() for t in if_none_match.split(",")]):
            self.start_reply(304, None, None, Faults(), headers)
            return
        start, end, status = 0, size - 1, 200
        range_header = self.headers.get("Range")
        if_range = self.headers.get("If-Range")
        if range_header and (if_range is None or if_range.strip() == etag):
            parsed = parse_range(range_header, size)
            if parsed == "unsatisfiable":
                self.start_reply(416, None, 0, Faults(),
                                 headers + [("Content-Range", f"bytes */{size}")])
                return
            if parsed is not None:
                start, end = parsed
                status = 206
                headers.append(("Content-Range", f"bytes {start}-{end}/{size}"))
        length = end - start + 1 if size else 0
        self.faults = self.faults.for_range(start, end)
        self.start_reply(status, content_type, length, self.faults, headers)
        if self.method == "HEAD" or length == 0:
            if self.faults.chunked and self.method != "HEAD":
                self.wfile.write(b"0\r\n\r\n")
            return
        if not self.faults and not self.server.tls:
            self.wfile.flush()
            self.connection.sendfile(f, start, length)
            return
        f.seek(start)

        def pieces():
            left = length
            while left > 0:
                block = f.read(min(PIECE, left))
                if not block:
                    return
                left -= len(block)
                yield block
        self.write_body(pieces(), self.faults)

    # -- test mode --------------------------------------------------------
    def admin_faults(self):
        if self.method == "DELETE":
            self.state.rules.clear()
        elif self.method == "POST":
            try:
                rule = json.loads(self.body.decode("utf-8"))
                path = rule["path"]
                times = rule.get("times", 1)
                if not isinstance(path, str) or not (times is None or isinstance(times, int)):
                    raise ValueError("bad rule")
                self.state.rules.add(path, Faults.from_values(rule.get("faults", {})), times)
            except (KeyError, TypeError, ValueError, UnicodeDecodeError) as e:
                self.reply_json(400, {"error": f"bad fault rule: {e}"}, faults=Faults())
                return
        self.reply_json(200, {"rules": self.state.rules.describe()}, faults=Faults())

    def test_echo(self):
        self.reply_json(200, {
            "method": self.method,
            "path": self.path,
            "headers": [[k, v] for k, v in self.headers.items()],
            "body": self.body.decode("utf-8", "replace"),
            "body_length": len(self.body),
            "body_sha256": hashlib.sha256(self.body).hexdigest(),
            "chunked": self.request_chunked,
        })

    def test_proxy_pac(self):
        # A proxy script sending every request through ?proxy=host:port.
        proxy = self.param("proxy") or ""
        if not re.fullmatch(r"[A-Za-z0-9.-]{1,253}:[0-9]{1,5}", proxy):
            self.reply_json(400, {"error": "\"proxy\" must be host:port"})
            return
        script = 'function FindProxyForURL(url, host) { return "PROXY %s"; }\n' % proxy
        self.reply(200, script.encode("ascii"), "application/x-ns-proxy-autoconfig")

    def test_bytes(self):
        """size bytes whose byte i is i mod 251."""
        try:
            size = int(self.param("size") or "0")
        except ValueError:
            size = -1
        if size < 0:
            self.reply_json(400, {"error": "bad size"})
            return
        if self.faults.status:
            self.reply(self.faults.status, b"", "application/octet-stream")
            return
        self.start_reply(200, "application/octet-stream", size, self.faults)
        if self.method == "HEAD":
            return

        def pieces():
            offset = 0
            while offset < size:
                start = offset % 251
                n = min(size - offset, len(PATTERN_BLOCK) - 251)
                yield PATTERN_BLOCK[start:start + n]
                offset += n
        self.write_body(pieces(), self.faults)

    def test_headers(self):
        """Answers with the headers given as h=Name:Value, in that order."""
        headers = []
        for item in self.query.get("h", []):
            name, sep, value = item.partition(":")
            if not sep or not re.fullmatch(r"[!#$%&'*+\-.^_`|~0-9A-Za-z]+", name):
                self.reply_json(400, {"error": f"bad header {item!r}"})
                return
            headers.append((name, value.strip()))
        self.reply(200, b"ok", "text/plain", headers=headers)


def _no_constants(name):
    """NaN and Infinity are not JSON; the stored data must stay readable."""
    raise ValueError(f"{name} is not JSON")


def parse_range(header, size):
    """(start, end) of a single byte range, "unsatisfiable", or None to ignore it."""
    m = re.fullmatch(r"\s*bytes\s*=\s*(\d*)\s*-\s*(\d*)\s*", header)
    if not m or (m.group(1) == "" and m.group(2) == ""):
        return None  # malformed or several ranges: serve the whole file
    if m.group(1) == "":
        suffix = int(m.group(2))
        if suffix == 0:
            return "unsatisfiable"
        return max(0, size - suffix), size - 1
    start = int(m.group(1))
    end = int(m.group(2)) if m.group(2) else size - 1
    if start >= size or end < start:
        return "unsatisfiable"
    return start, min(end, size - 1)


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True
    request_queue_size = 64

    def __init__(self, address, state, tls_context=None, verbose=False):
        self.state = state
        self.tls_context = tls_context
        self.tls = tls_context is not None
        self.verbose = verbose
        # The address whose reach decides access (access.py); None: the one
        # listened on. Tests put a public one here while listening on loopback.
        self.access_address = None
        super().__init__(address, Handler)

    def access_host(self):
        return self.access_address or self.server_address[0]

    def get_request(self):
        sock, address = self.socket.accept()
        if self.tls_context is not None:
            # The handshake happens in the request's own thread.
            sock = self.tls_context.wrap_socket(sock, server_side=True,
                                                do_handshake_on_connect=False)
        return sock, address

    def handle_error(self, request, client_address):
        import sys
        error = sys.exc_info()[1]
        if isinstance(error, (ConnectionError, ssl.SSLError, socket.timeout, OSError)):
            return  # clients that go away or fail the handshake are not our fault
        super().handle_error(request, client_address)


def tls_context(cert, key):
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.minimum_version = ssl.TLSVersion.TLSv1_2
    context.load_cert_chain(cert, key)
    return context


def serve(servers):
    """Runs each server on a thread of its own; answers the threads."""
    threads = []
    for server in servers:
        t = threading.Thread(target=server.serve_forever, daemon=True)
        t.start()
        threads.append(t)
    return threads
