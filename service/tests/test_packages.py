"""Tests of the service's package options: packages copied in from a build
folder (--packages) and one package answered for every channel (--package,
--launch-cmd)."""

import http.client
import io
import json
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import unittest
import unittest.mock
import zipfile

from service.__main__ import main
from service.catalogue import Catalogue, CatalogueError, copy_packages
from service.server import Server, ServiceState

SETUP_BYTES = b"MZ sample installer " * 64


def built_packages(folder):
    """A folder laid out like <build>/tools/samples/packages."""
    os.makedirs(folder, exist_ok=True)
    with zipfile.ZipFile(os.path.join(folder, "fernwick-1.0.zip"), "w") as z:
        z.writestr("Fernwick/Fernwick.exe", b"MZ sample product")
    with open(os.path.join(folder, "fernwick-setup.exe"), "wb") as f:
        f.write(SETUP_BYTES)
    return folder


class Service:
    """A service over a new data folder, on a free loopback port."""

    def __init__(self, data, **options):
        self.state = ServiceState(data, **options)
        self.server = Server(("127.0.0.1", 0), self.state)
        self.port = self.server.server_address[1]
        threading.Thread(target=self.server.serve_forever, daemon=True).start()

    def get(self, path):
        conn = http.client.HTTPConnection("127.0.0.1", self.port, timeout=10)
        try:
            conn.request("GET", path)
            response = conn.getresponse()
            return response.status, response.read()
        finally:
            conn.close()

    def installation(self, channel):
        status, body = self.get(f"/api/installation?channel={channel}&product=fernwick")
        assert status == 200, (status, body)
        return json.loads(body)

    def close(self):
        self.server.shutdown()
        self.server.server_close()
        self.state.store.close()


class PackagesTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="service-packages-")
        self.built = built_packages(os.path.join(self.tmp, "built"))
        self.data = os.path.join(self.tmp, "data")
        self.services = []

    def tearDown(self):
        for service in self.services:
            service.close()
        shutil.rmtree(self.tmp, ignore_errors=True)

    def start(self, **options):
        service = Service(self.data, **options)
        self.services.append(service)
        return service

    def test_built_packages_are_served_and_the_catalogue_names_them(self):
        service = self.start(packages_from=self.built)
        zip_details = service.installation("02")
        self.assertEqual(zip_details["download_url"],
                         f"http://127.0.0.1:{service.port}/packages/fernwick-1.0.zip")
        self.assertEqual(zip_details["launch_cmd"], "{target_dir}\\Fernwick\\Fernwick.exe")
        status, body = service.get("/packages/fernwick-1.0.zip")
        self.assertEqual(status, 200)
        with zipfile.ZipFile(io.BytesIO(body)) as z:
            self.assertIn("Fernwick/Fernwick.exe", z.namelist())
        # Channel "03" installs with the sample installer, its path quoted
        # for cmd.exe (a user folder may contain a blank).
        setup_details = service.installation("03")
        self.assertTrue(setup_details["download_url"].endswith("/packages/fernwick-setup.exe"))
        self.assertEqual(setup_details["launch_cmd"], "\"{installer}\" /S")
        self.assertEqual(service.get("/packages/fernwick-setup.exe"), (200, SETUP_BYTES))

    def test_without_built_packages_a_zip_without_program_is_seeded(self):
        service = self.start()
        status, body = service.get("/packages/fernwick-1.0.zip")
        self.assertEqual(status, 200)
        with zipfile.ZipFile(io.BytesIO(body)) as z:
            self.assertEqual(z.namelist(), ["Fernwick/README.txt"])
        self.assertEqual(service.get("/packages/fernwick-setup.exe")[0], 404)
        service.close()
        self.services.remove(service)
        # A later start with the built packages replaces the seeded zip.
        service = self.start(packages_from=self.built)
        with zipfile.ZipFile(io.BytesIO(service.get("/packages/fernwick-1.0.zip")[1])) as z:
            self.assertIn("Fernwick/Fernwick.exe", z.namelist())

    def test_copy_replaces_changed_files_and_skips_the_rest(self):
        target = os.path.join(self.tmp, "packages")
        os.makedirs(os.path.join(self.built, "sub"))
        for name in (".hidden", "half.exe.tmp"):
            with open(os.path.join(self.built, name), "wb") as f:
                f.write(b"x")
        self.assertEqual(copy_packages(self.built, target),
                         ["fernwick-1.0.zip", "fernwick-setup.exe"])
        self.assertEqual(sorted(os.listdir(target)), ["fernwick-1.0.zip", "fernwick-setup.exe"])
        self.assertEqual(copy_packages(self.built, target), [])
        with open(os.path.join(self.built, "fernwick-setup.exe"), "ab") as f:
            f.write(b"rebuilt")
        self.assertEqual(copy_packages(self.built, target), ["fernwick-setup.exe"])
        with open(os.path.join(target, "fernwick-setup.exe"), "rb") as f:
            self.assertEqual(f.read(), SETUP_BYTES + b"rebuilt")
        with self.assertRaises(CatalogueError):
            copy_packages(os.path.join(self.tmp, "missing"), target)

    def test_one_package_for_every_channel(self):
        service = self.start(packages_from=self.built, package="fernwick-setup.exe")
        for channel in ("02", "web"):
            details = service.installation(channel)
            self.assertTrue(details["download_url"].endswith("/packages/fernwick-setup.exe"))
            # The command the catalogue gives with that package (channel 03's).
            self.assertEqual(details["launch_cmd"], "\"{installer}\" /S")
            self.assertEqual(details["tutorial_url"], "https://fernwick.example/tutorial")
        self.assertEqual(service.get("/api/installation?channel=99&product=fernwick")[0], 404)

    def test_launch_command_override(self):
        service = self.start(packages_from=self.built, package="fernwick-setup.exe",
                             launch_cmd="{installer} /S")
        self.assertEqual(service.installation("02")["launch_cmd"], "{installer} /S")
        self.assertEqual(service.installation("03")["launch_cmd"], "{installer} /S")


class PackageOverrideUnitTest(unittest.TestCase):
    def test_a_package_no_entry_names_keeps_the_requested_command(self):
        catalogue = Catalogue({"p": {
            "package": "p.zip", "launch_cmd": "{target_dir}\\p.exe",
            "download_url": "https://cdn.example/p.zip",
            "channels": {"a": {"launch_cmd": "{target_dir}\\a.exe"}, "b": {}}}})
        a = catalogue.installation("p", "a", "http://h:1", package="other.exe")
        self.assertEqual(a["download_url"], "http://h:1/packages/other.exe")
        self.assertEqual(a["launch_cmd"], "{target_dir}\\a.exe")
        # The product's own package keeps the product's command, even for a
        # channel that has another one.
        a = catalogue.installation("p", "a", "http://h:1", package="p.zip")
        self.assertEqual(a["launch_cmd"], "{target_dir}\\p.exe")
        b = catalogue.installation("p", "b", "http://h:1", launch_cmd="")
        self.assertEqual(b, {"download_url": "https://cdn.example/p.zip", "launch_cmd": ""})


class SharedDataFolderTest(unittest.TestCase):
    """The test fixture starts two services on one new data folder at once;
    neither may trip over the other while seeding or migrating it."""

    ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))

    def run_together(self, code, *args):
        processes = [subprocess.Popen([sys.executable, "-c", code, *args], cwd=self.ROOT,
                                      stderr=subprocess.PIPE) for _ in range(4)]
        for process in processes:
            _, err = process.communicate(timeout=60)
            self.assertEqual(process.returncode, 0, err.decode(errors="replace"))

    def test_services_opening_one_new_folder_together_all_start(self):
        with tempfile.TemporaryDirectory() as tmp:
            built = built_packages(os.path.join(tmp, "built"))
            for round_ in range(6):
                data = os.path.join(tmp, f"data{round_}")
                self.run_together("import sys; from service.server import ServiceState; "
                                  "ServiceState(sys.argv[1], packages_from=sys.argv[2])"
                                  ".store.close()", data, built)
                self.assertEqual(sorted(n for n in os.listdir(os.path.join(data, "packages"))),
                                 ["fernwick-1.0.zip", "fernwick-setup.exe"])
                Catalogue.load(os.path.join(data, "catalogue.json"))

    def test_stores_opening_one_new_file_together_migrate_it_once(self):
        with tempfile.TemporaryDirectory() as tmp:
            for round_ in range(6):
                self.run_together("import sys; from service.store import Store; "
                                  "Store(sys.argv[1]).close()",
                                  os.path.join(tmp, f"events{round_}.sqlite"))


class CommandLineTest(unittest.TestCase):
    def test_bad_package_options_stop_before_listening(self):
        with tempfile.TemporaryDirectory() as tmp:
            data = os.path.join(tmp, "data")
            for argv in (["--package", "../catalogue.json"], ["--package", ""],
                         ["--package", "missing.exe"],
                         ["--packages", os.path.join(tmp, "nowhere")]):
                with self.subTest(argv=argv), \
                        self.assertRaises(SystemExit) as stop, \
                        open(os.devnull, "w") as quiet, \
                        unittest.mock.patch("sys.stderr", quiet):
                    main(["--port", "0", "--data", data] + argv)
                self.assertEqual(stop.exception.code, 2)


if __name__ == "__main__":
    unittest.main()
