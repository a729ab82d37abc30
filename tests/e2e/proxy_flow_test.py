"""The assistant's whole run through a proxy the user's Internet settings
name: a squid of its own on loopback, a Wine prefix of its own whose settings
point at it, and a copy branded for the service under the name "localhost"
(Wine sends a bare path to a proxy of the same name as the server, so the
proxy is 127.0.0.1). Every request the service answers must show in squid's
access log."""

import os
import sys
import unittest
import urllib.parse

import harness
from harness import wait_for

sys.path.insert(0, os.path.join(harness.REPO, "tests", "http"))
import squid_fixture  # noqa: E402 (found through the path above)

CONNECTIONS = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings\Connections"


def connection_settings(proxy):
    """The binary "DefaultConnectionSettings" value Wine 8 reads the user's
    proxy from: version, counter, flags (direct | proxy), then the proxy,
    bypass and script strings, each after its length."""
    def dword(v):
        return v.to_bytes(4, "little")

    def text(s):
        return dword(len(s)) + s.encode("ascii")

    return (dword(0x46) + dword(1) + dword(1 | 2) + text(proxy) + text("") + text("") +
            bytes(32)).hex()


class ProxyFlowTest(harness.AssistantTestCase):
    folder_name = "proxy"

    @classmethod
    def setUpClass(cls):
        root = os.path.join(os.environ["E2E_DIR"], cls.folder_name)
        os.makedirs(root, exist_ok=True)
        cls.squid_dir = os.path.join(root, "squid")
        squid_fixture.start(cls.squid_dir)
        state = dict(line.split("=", 1) for line in
                     open(os.path.join(cls.squid_dir, "state")).read().split())
        if "port" not in state:
            raise unittest.SkipTest("squid is not installed: no proxy to test with")
        cls.proxy = "127.0.0.1:%s" % state["port"]
        cls.access_log = state["log"]
        cls.root = root
        cls.display = harness.Display()
        try:
            cls.wine = harness.Wine(os.path.join(root, "wine"), cls.display)
            cls.service = harness.Service(os.path.join(root, "service"))
            cls.service.address = "http://localhost:%d" % cls.service.port
            cls.exe = cls.wine.brand_for(cls.service, folder=os.path.join(root, "branded"))
            cls.wine.reg_add(CONNECTIONS, "DefaultConnectionSettings", "REG_BINARY",
                             connection_settings(cls.proxy))
        except BaseException:
            cls.tearDownClass()
            raise

    @classmethod
    def tearDownClass(cls):
        if getattr(cls, "service", None) is not None:
            cls.service.stop()
        for name in ("wine", "display"):
            if getattr(cls, name, None) is not None:
                getattr(cls, name).close()
        squid_fixture.stop(cls.squid_dir)

    def logged(self, text):
        with open(self.access_log, encoding="utf-8", errors="replace") as f:
            return text in f.read()

    def https_port(self):
        """The service's HTTPS port (it listens on both; the test localhost
        certificate's authority is installed by scripts/test)."""
        with open(os.path.join(self.service.folder, "service.port")) as f:
            ports = dict(line.strip().split("=", 1) for line in f if "=" in line)
        return int(ports["https_port"])

    def setUp(self):
        super().setUp()
        # Served over HTTPS too, so the package can come through CONNECT.
        self.service.stop()
        self.service.start(args=("--tls-port", "0"))

    def test_the_whole_run_goes_through_the_proxy(self):
        name = "fernwick-proxy.zip"
        self.service.add_package(name, 64 * 1024)
        package_url = "https://localhost:%d/packages/%s" % (self.https_port(), name)
        self.service.edit_catalogue(
            lambda product: product.update(package=name, download_url=package_url))
        assistant, _ = self.start_and_show()
        assistant.click_control("ok1")
        package = wait_for(self.wine.recorded_package, 60)
        self.assertTrue(package, "no package recorded: %r" % self.wine.installer_config())
        self.assertEqual(self.close_with_button(assistant), 0)
        self.assert_log_in_order([("startup", ['proxy="proxy %s"' % self.proxy])])
        # Through the tunnel, Wine names the package by its whole address.
        served = [(method, urllib.parse.urlsplit(target)._replace(scheme="", netloc="").geturl())
                  for method, target, _ in self.service.requests()
                  if not target.startswith("/admin/")]
        paths = {target.split("?", 1)[0] for _, target in served}
        for path in ("/api/channel", "/api/installation", "/api/get-bdvid", "/api/send",
                     "/packages/" + name):
            self.assertIn(path, paths, served)
        for method, target in served:
            if target.startswith("/packages/"):
                continue  # over HTTPS: squid sees only the tunnel, below
            line = "%s %s%s " % (method, self.service.address, target)
            self.assertTrue(wait_for(lambda: self.logged(line), 10),
                            "not through the proxy: %s %s\n%s" % (
                                method, target, open(self.access_log).read()))
        # The package over HTTPS, tunnelled through the proxy.
        tunnel = "CONNECT localhost:%d " % self.https_port()
        self.assertTrue(wait_for(lambda: self.logged(tunnel), 10),
                        "the package did not come through a tunnel:\n%s" %
                        open(self.access_log).read())


if __name__ == "__main__":
    unittest.main()
