"""Tests of the reference operator service over real loopback connections."""

import http.client
import json
import os
import shutil
import socket
import ssl
import tempfile
import threading
import time
import unittest

from service import certs
from service.catalogue import Catalogue, CatalogueError
from service.server import Server, ServiceState, parse_range, tls_context


class ServiceCase(unittest.TestCase):
    test_mode = True

    @classmethod
    def setUpClass(cls):
        cls.data = tempfile.mkdtemp(prefix="service-test-")
        cls.state = ServiceState(cls.data, test_mode=cls.test_mode)
        cls.server = Server(("127.0.0.1", 0), cls.state)
        cls.port = cls.server.server_address[1]
        cls.thread = threading.Thread(target=cls.server.serve_forever, daemon=True)
        cls.thread.start()

    @classmethod
    def tearDownClass(cls):
        cls.server.shutdown()
        cls.server.server_close()
        cls.state.store.close()
        shutil.rmtree(cls.data, ignore_errors=True)

    def request(self, method, path, body=None, headers=None):
        conn = http.client.HTTPConnection("127.0.0.1", self.port, timeout=10)
        try:
            conn.request(method, path, body=body, headers=headers or {})
            response = conn.getresponse()
            data = response.read()
            return response, data
        finally:
            conn.close()

    def get_json(self, path):
        response, data = self.request("GET", path)
        return response.status, json.loads(data)


class ApiTest(ServiceCase):
    def test_channel_reply_comes_from_the_catalogue(self):
        status, reply = self.get_json("/api/channel?channel=02&product=fernwick")
        self.assertEqual(status, 200)
        self.assertEqual(reply["custom_service_qq"], "800800202")
        self.assertIsInstance(reply["custom_service"], str)
        self.assertEqual(reply["product"]["display_name"], "Fernwick")
        self.assertEqual(reply["product"]["help_url"], "https://fernwick.example/help")

    def test_unknown_and_incomplete_queries(self):
        self.assertEqual(self.get_json("/api/channel?channel=99&product=fernwick")[0], 404)
        self.assertEqual(self.get_json("/api/channel?channel=02&product=nope")[0], 404)
        self.assertEqual(self.get_json("/api/channel?channel=02")[0], 400)
        self.assertEqual(self.get_json("/api/installation?product=fernwick")[0], 400)
        self.assertEqual(self.get_json("/nothing/here")[0], 404)
        response, _ = self.request("POST", "/api/channel?channel=02&product=fernwick", b"")
        self.assertEqual(response.status, 405)

    def test_installation_details_point_at_a_served_package(self):
        status, details = self.get_json("/api/installation?channel=02&product=fernwick")
        self.assertEqual(status, 200)
        self.assertEqual(details["download_url"],
                         f"http://127.0.0.1:{self.port}/packages/fernwick-1.0.zip")
        self.assertIn("{target_dir}", details["launch_cmd"])
        self.assertIn("tutorial_url", details)
        response, data = self.request("GET", "/packages/fernwick-1.0.zip")
        self.assertEqual(response.status, 200)
        self.assertEqual(data[:2], b"PK")
        self.assertEqual(int(response.getheader("Content-Length")), len(data))

    def test_bdvid_is_new_each_time(self):
        first = self.get_json("/api/get-bdvid")[1]
        second = self.get_json("/api/get-bdvid")[1]
        self.assertIs(first["success"], True)
        self.assertRegex(first["bdvid"], r"^[0-9a-f]{16}$")
        self.assertNotEqual(first["bdvid"], second["bdvid"])

    def send_event(self, name, website="site-1"):
        body = json.dumps({"type": "event", "payload": {
            "hostname": "stats.example", "website": website, "name": name, "data": {}}})
        return self.request("POST", "/api/send", body.encode(),
                            {"Content-Type": "application/json"})[0].status

    def test_events_are_stored_and_counted_as_a_funnel(self):
        site = "funnel-site"
        for name in ("startup", "startup", "startup", "startup", "installer_launch"):
            self.assertEqual(self.send_event(name, site), 200)
        status, stats = self.get_json("/api/stats?website=" + site)
        self.assertEqual(status, 200)
        self.assertEqual(stats["events"], {"startup": 4, "installer_launch": 1})
        self.assertEqual(stats["total"], 5)
        self.assertEqual(stats["funnel"][0], {"name": "startup", "count": 4})
        self.assertEqual(stats["funnel"][1]["of_previous"], 0.25)
        stored = [e for e in self.state.store.events("installer_launch")
                  if e["website"] == site]
        self.assertEqual(len(stored), 1)
        self.assertEqual(stored[0]["hostname"], "stats.example")
        self.assertEqual(json.loads(stored[0]["payload"])["data"], {})

    def test_product_and_channel_from_the_address_come_first(self):
        site = "filed-site"

        def send(query, **payload):
            body = json.dumps({"type": "event", "payload": dict(
                {"hostname": "h", "website": site, "name": "startup", "data": {}}, **payload)})
            status = self.request("POST", "/api/send" + query, body.encode(),
                                  {"Content-Type": "application/json"})[0].status
            self.assertEqual(status, 200, query)

        # The address wins over the payload and its data; an empty or missing
        # parameter falls back to them, one parameter at a time.
        send("?product=p%C3%A9&channel=0%262", product="x", data={"channel": "y"})
        send("?channel=03", product="beside", data={"product": "inside"})
        send("?product=&channel=", data={"product": "inside", "channel": "04"})
        send("")
        status, stats = self.get_json("/api/stats?website=" + site)
        self.assertEqual(status, 200)
        groups = sorted((g["product"], g["channel"], g["funnel"][0]["count"])
                        for g in stats["groups"])
        self.assertEqual(groups, [("", "", 1), ("beside", "03", 1), ("inside", "04", 1),
                                  ("p\u00e9", "0&2", 1)])
        # The payload is stored as it came: nothing of the address is added.
        stored = [json.loads(e["payload"]) for e in self.state.store.events("startup")
                  if e["website"] == site]
        self.assertEqual(stored[-1], {"hostname": "h", "website": site, "name": "startup",
                                      "data": {}})

    def test_bad_events_are_refused(self):
        for body in (b"not json", b"[]", b'{"type": "event"}',
                     b'{"type": "other", "payload": {"name": "x"}}',
                     b'{"type": "event", "payload": {"name": 3}}', b"\xff\xfe"):
            response, _ = self.request("POST", "/api/send", body)
            self.assertEqual(response.status, 400, body)
        # An oversized body is refused from its Content-Length alone; the
        # server answers before reading it, so announce it without sending.
        conn = http.client.HTTPConnection("127.0.0.1", self.port, timeout=10)
        try:
            conn.putrequest("POST", "/api/send")
            conn.putheader("Content-Length", str((1 << 20) + 1))
            conn.endheaders()
            self.assertEqual(conn.getresponse().status, 400)
        finally:
            conn.close()


class PackageTest(ServiceCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.content = bytes(range(256)) * 40
        with open(os.path.join(cls.data, "packages", "pkg.bin"), "wb") as f:
            f.write(cls.content)

    def test_ranges(self):
        cases = [("bytes=0-9", 206, self.content[:10]),
                 ("bytes=10-", 206, self.content[10:]),
                 ("bytes=-5", 206, self.content[-5:]),
                 ("bytes=100-99999", 206, self.content[100:]),
                 ("bytes=0-1,5-6", 200, self.content),
                 ("lines=1-2", 200, self.content)]
        for header, status, expected in cases:
            response, data = self.request("GET", "/packages/pkg.bin", headers={"Range": header})
            self.assertEqual(response.status, status, header)
            self.assertEqual(data, expected, header)
        response, _ = self.request("GET", "/packages/pkg.bin", headers={"Range": "bytes=20000-"})
        self.assertEqual(response.status, 416)
        self.assertEqual(response.getheader("Content-Range"), f"bytes */{len(self.content)}")

    def test_strong_etag_and_conditional_requests(self):
        response, _ = self.request("HEAD", "/packages/pkg.bin")
        etag = response.getheader("ETag")
        self.assertRegex(etag, r'^"[0-9a-f]{32}"$')  # strong: no W/
        self.assertEqual(response.getheader("Accept-Ranges"), "bytes")
        self.assertEqual(int(response.getheader("Content-Length")), len(self.content))
        response, data = self.request("GET", "/packages/pkg.bin", headers={"If-None-Match": etag})
        self.assertEqual((response.status, data), (304, b""))
        response, data = self.request("GET", "/packages/pkg.bin",
                                      headers={"Range": "bytes=0-3", "If-Range": etag})
        self.assertEqual((response.status, data), (206, self.content[:4]))
        response, data = self.request("GET", "/packages/pkg.bin",
                                      headers={"Range": "bytes=0-3", "If-Range": '"stale"'})
        self.assertEqual((response.status, data), (200, self.content))

    def test_drop_at_cuts_only_the_answer_that_carries_that_byte(self):
        # A standing rule: the whole answer and a resume from before the mark
        # are cut at byte 6000 of the file; the resume from the mark is whole.
        rule = {"path": "/packages/pkg.bin", "faults": {"drop_at": 6000}, "times": None}
        self.assertEqual(self.request("POST", "/admin/faults", json.dumps(rule).encode())[0].status,
                         200)
        try:
            for range_header, first in ((None, 0), ("bytes=2500-", 2500)):
                conn = http.client.HTTPConnection("127.0.0.1", self.port, timeout=10)
                conn.request("GET", "/packages/pkg.bin",
                             headers={"Range": range_header} if range_header else {})
                with self.assertRaises(http.client.IncompleteRead) as caught:
                    conn.getresponse().read()
                self.assertEqual(caught.exception.partial, self.content[first:6000])
                conn.close()
            for first, last in ((6000, len(self.content) - 1), (0, 5999)):
                response, data = self.request("GET", "/packages/pkg.bin",
                                              headers={"Range": f"bytes={first}-{last}"})
                self.assertEqual((response.status, data), (206, self.content[first:last + 1]))
        finally:
            self.request("DELETE", "/admin/faults")

    def test_only_files_of_the_packages_folder_are_served(self):
        for path in ("/packages/..%2Fcatalogue.json", "/packages/../catalogue.json",
                     "/packages/.hidden", "/packages/", "/packages/missing.zip",
                     "/packages/%2e%2e%5ccatalogue.json"):
            response, _ = self.request("GET", path)
            self.assertEqual(response.status, 404, path)


class FaultTest(ServiceCase):
    def test_status_delay_and_malformed_body(self):
        response, data = self.request("GET", "/api/get-bdvid?fault_status=503")
        self.assertEqual(response.status, 503)
        self.assertEqual(json.loads(data)["error"], "injected status 503")
        start = time.monotonic()
        response, _ = self.request("GET", "/api/get-bdvid?fault_delay=150")
        self.assertGreaterEqual(time.monotonic() - start, 0.15)
        response, data = self.request("GET", "/api/channel?channel=02&product=fernwick"
                                             "&fault_malformed=1")
        self.assertEqual(response.status, 200)
        with self.assertRaises(ValueError):
            json.loads(data)

    def test_chunked_and_slow_bodies_arrive_whole(self):
        response, data = self.request("GET", "/test/bytes?size=5000&fault_chunked=1&fault_slow=1")
        self.assertIsNone(response.getheader("Content-Length"))
        self.assertEqual(response.getheader("Transfer-Encoding"), "chunked")
        self.assertEqual(data, bytes(i % 251 for i in range(5000)))

    def test_dropped_connection_stops_mid_body(self):
        for extra in ("", "&fault_chunked=1"):
            conn = http.client.HTTPConnection("127.0.0.1", self.port, timeout=10)
            conn.request("GET", "/test/bytes?size=10000&fault_drop=3000" + extra)
            response = conn.getresponse()
            with self.assertRaises(http.client.IncompleteRead) as caught:
                response.read()
            self.assertEqual(len(caught.exception.partial), 3000)
            conn.close()

    def test_admin_rules_apply_to_the_next_requests(self):
        rule = {"path": "/api/get-bdvid", "faults": {"status": 500}, "times": 2}
        response, _ = self.request("POST", "/admin/faults", json.dumps(rule).encode())
        self.assertEqual(response.status, 200)
        statuses = [self.request("GET", "/api/get-bdvid")[0].status for _ in range(3)]
        self.assertEqual(statuses, [500, 500, 200])
        bad = self.request("POST", "/admin/faults", b'{"path": "/x", "faults": {"bogus": 1}}')
        self.assertEqual(bad[0].status, 400)
        self.assertEqual(self.request("GET", "/api/get-bdvid?fault_status=42")[0].status, 400)

    def test_echo_decodes_chunked_request_bodies(self):
        conn = http.client.HTTPConnection("127.0.0.1", self.port, timeout=10)
        conn.request("POST", "/test/echo", body=iter([b"abc", b"defg"]),
                     headers={"Transfer-Encoding": "chunked"}, encode_chunked=True)
        reply = json.loads(conn.getresponse().read())
        conn.close()
        self.assertEqual((reply["body"], reply["chunked"]), ("abcdefg", True))

    def test_headers_endpoint_keeps_order_and_duplicates(self):
        response, _ = self.request("GET", "/test/headers?h=X-Dup:1&h=x-dup:2")
        self.assertEqual([v for k, v in response.getheaders() if k.lower() == "x-dup"],
                         ["1", "2"])


class ProductionModeTest(ServiceCase):
    test_mode = False

    def test_fault_switches_and_test_endpoints_are_off(self):
        response, _ = self.request("GET", "/api/get-bdvid?fault_status=503")
        self.assertEqual(response.status, 200)
        for path in ("/test/echo", "/admin/faults"):
            self.assertEqual(self.request("GET", path)[0].status, 404)


class TlsTest(unittest.TestCase):
    def test_https_with_the_test_authority(self):
        with tempfile.TemporaryDirectory() as tmp:
            p = certs.ensure(os.path.join(tmp, "ca"))
            state = ServiceState(os.path.join(tmp, "data"))
            server = Server(("127.0.0.1", 0), state,
                            tls_context(p["localhost.pem"], p["localhost.key"]))
            threading.Thread(target=server.serve_forever, daemon=True).start()
            try:
                port = server.server_address[1]
                trusting = ssl.create_default_context(cafile=p["ca.pem"])
                conn = http.client.HTTPSConnection("localhost", port, context=trusting, timeout=10)
                conn.request("GET", "/api/installation?channel=02&product=fernwick")
                details = json.loads(conn.getresponse().read())
                conn.close()
                self.assertTrue(details["download_url"].startswith(f"https://localhost:{port}/"))
                with self.assertRaises(ssl.SSLError):
                    strict = ssl.create_default_context(cafile=p["untrusted.pem"])
                    conn = http.client.HTTPSConnection("localhost", port, context=strict,
                                                       timeout=10)
                    conn.request("GET", "/api/get-bdvid")
                # A client that gives up during the handshake does not stop the server.
                socket.create_connection(("127.0.0.1", port)).close()
                conn = http.client.HTTPSConnection("localhost", port, context=trusting, timeout=10)
                conn.request("GET", "/api/get-bdvid")
                self.assertEqual(conn.getresponse().status, 200)
                conn.close()
            finally:
                server.shutdown()
                server.server_close()
                state.store.close()


class UnitTest(unittest.TestCase):
    def test_parse_range(self):
        self.assertEqual(parse_range("bytes=0-0", 10), (0, 0))
        self.assertEqual(parse_range("bytes=5-", 10), (5, 9))
        self.assertEqual(parse_range("bytes=-20", 10), (0, 9))
        self.assertEqual(parse_range("bytes=-0", 10), "unsatisfiable")
        self.assertEqual(parse_range("bytes=10-", 10), "unsatisfiable")
        self.assertEqual(parse_range("bytes=5-4", 10), "unsatisfiable")
        self.assertIsNone(parse_range("bytes=-", 10))
        self.assertIsNone(parse_range("bytes=1-2,4-5", 10))

    def test_channel_overrides_and_absolute_download_urls(self):
        catalogue = Catalogue({"p": {
            "package": "p.zip", "launch_cmd": "{installer} /S",
            "channels": {"a": {}, "b": {"download_url": "https://cdn.example/p.exe",
                                        "launch_cmd": ""}}}})
        a = catalogue.installation("p", "a", "http://h:1")
        self.assertEqual(a, {"download_url": "http://h:1/packages/p.zip",
                             "launch_cmd": "{installer} /S"})
        b = catalogue.installation("p", "b", "http://h:1")
        self.assertEqual(b["download_url"], "https://cdn.example/p.exe")
        self.assertEqual(b["launch_cmd"], "")
        self.assertIsNone(catalogue.installation("p", "c", "http://h:1"))
        self.assertEqual(catalogue.channel_reply("p", "a")["product"],
                         {"display_name": "p", "help_url": ""})

    def test_broken_catalogue_is_reported(self):
        with tempfile.TemporaryDirectory() as tmp:
            path = os.path.join(tmp, "catalogue.json")
            for text in ("{", "[]", '{"products": 3}'):
                with open(path, "w") as f:
                    f.write(text)
                with self.assertRaises(CatalogueError):
                    Catalogue.load(path)


if __name__ == "__main__":
    unittest.main()
