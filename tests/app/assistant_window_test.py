"""The assistant executable as a person meets it: started under Wine on a
private Xvfb display, found by its window name, looked at through
screenshots and clicked with xdotool.

Run by ctest (tests/app/CMakeLists.txt), which passes the programs through
the environment: ASSISTANT_EXE, BRAND_EXE, THEME_ZIP, WINE_RUN and TEST_DIR
(a scratch folder in the build tree holding the Wine prefix). The reference
service (service/) runs on a free loopback port; the assistant under test is
a copy branded to use it.
"""

import json

import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import urllib.request
import unittest
import zipfile

SHADOW = 14  # the skin's shadow around the 800 x 600 window
WIDTH, HEIGHT = 800, 600
SCREEN = (1280, 1024)
SHORTCUT = "Fernwick 安装助手.lnk"
REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def wait_for(predicate, timeout, step=0.25):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(step)
    return predicate()


class Display:
    """A private Xvfb server."""

    def __init__(self):
        read, write = os.pipe()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write), "-screen", "0", "%dx%dx24" % SCREEN, "-nolisten", "tcp"],
            pass_fds=(write,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write)
        number = b""
        while not number.endswith(b"\n"):
            chunk = os.read(read, 16)
            if not chunk:
                break
            number += chunk
        os.close(read)
        self.name = ":" + number.decode().strip()

    def close(self):
        self.process.terminate()
        self.process.wait(10)


class AssistantWindowTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.wine_run = os.environ["WINE_RUN"]
        cls.root = os.environ["TEST_DIR"]
        cls.prefix = os.path.join(cls.root, "wineprefix")
        os.makedirs(cls.root, exist_ok=True)
        cls.display = Display()
        cls.env = dict(os.environ, DISPLAY=cls.display.name)
        port_file = os.path.join(cls.root, "service.port")
        if os.path.exists(port_file):
            os.remove(port_file)
        cls.service = subprocess.Popen(
            [sys.executable, "-m", "service", "--test-mode", "--port", "0", "--port-file",
             port_file, "--data", os.path.join(cls.root, "service-data")],
            cwd=REPO, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        # Make the prefix, then give it a desktop folder of its own (Wine links
        # it to the Unix home by default).
        subprocess.run([cls.wine_run, "--prefix", cls.prefix, "cmd.exe", "/c", "exit"],
                       env=cls.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=300)
        user = os.path.join(cls.prefix, "drive_c", "users", os.environ.get("USER", "root"))
        if not os.path.isdir(user):
            user = next(os.path.join(cls.prefix, "drive_c", "users", name)
                        for name in os.listdir(os.path.join(cls.prefix, "drive_c", "users"))
                        if name != "Public")
        cls.desktop = os.path.join(user, "Desktop")
        if os.path.islink(cls.desktop):
            os.unlink(cls.desktop)
        os.makedirs(cls.desktop, exist_ok=True)
        cls.downloader = os.path.join(user, "AppData", "Local", "fernwick_downloader")
        port = wait_for(lambda: cls.read_port(port_file), 60)
        assert port, "the reference service did not start"
        address = "http://127.0.0.1:%d" % port
        cls.service_address = address
        cls.exe = cls.branded("assistant.exe", lambda config: dict(
            config, service_url=address, stats_url=address))

    @staticmethod
    def read_port(port_file):
        try:
            with open(port_file) as f:
                values = dict(line.strip().split("=", 1) for line in f if "=" in line)
            return int(values["http_port"])
        except (OSError, KeyError, ValueError):
            return None

    @classmethod
    def branded(cls, name, change_config):
        """A copy of the assistant whose archive carries the configuration
        change_config makes of the built one (bytes or a dict)."""
        work = tempfile.mkdtemp(dir=cls.root)
        archive = os.path.join(work, "theme.zip")
        with zipfile.ZipFile(os.environ["THEME_ZIP"]) as source, \
                zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED) as target:
            for item in source.infolist():
                data = source.read(item)
                if item.filename == "resources/config.json":
                    changed = change_config(json.loads(data.decode("utf-8")))
                    data = changed if isinstance(changed, bytes) else json.dumps(
                        changed, ensure_ascii=False).encode("utf-8")
                target.writestr(item.filename, data)
        branded = os.path.join(work, name)
        subprocess.run([cls.wine_run, "--prefix", cls.prefix, os.environ["BRAND_EXE"],
                        os.environ["ASSISTANT_EXE"], archive, branded],
                       env=cls.env, check=True, stdout=subprocess.DEVNULL, timeout=120)
        return branded

    @classmethod
    def tearDownClass(cls):
        cls.service.terminate()
        cls.service.wait(30)
        cls.display.close()

    def setUp(self):
        for name in os.listdir(self.desktop):
            os.remove(os.path.join(self.desktop, name))
        shutil.rmtree(self.downloader, ignore_errors=True)
        self.process = None
        self._pixels = {}

    def tearDown(self):
        # The whole session: wine-run and the Windows program it started.
        if self.process is not None:
            try:
                os.killpg(self.process.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
            self.process.wait(30)

    # --- helpers -------------------------------------------------------------
    def start(self, exe=None):
        self.process = subprocess.Popen([self.wine_run, "--prefix", self.prefix, exe or self.exe],
                                        env=self.env, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL, cwd=self.root,
                                        start_new_session=True)

    def xdotool(self, *args):
        result = subprocess.run(["xdotool"] + list(args), env=self.env, capture_output=True,
                                text=True, timeout=30)
        return result.stdout

    def find_window(self, name, timeout=90):
        def visible():
            ids = self.xdotool("search", "--onlyvisible", "--name", "^%s$" % name).split()
            return ids[0] if ids else None
        return wait_for(visible, timeout)

    def geometry(self, window):
        values = {}
        for line in self.xdotool("getwindowgeometry", "--shell", window).splitlines():
            key, _, value = line.partition("=")
            values[key] = int(value) if value.isdigit() else value
        return values["X"], values["Y"], values["WIDTH"], values["HEIGHT"]

    def screenshot(self, name):
        path = os.path.join(self.root, name + ".png")
        subprocess.run(["import", "-window", "root", path], env=self.env, check=True, timeout=60)
        return path

    def pixel(self, path, x, y):
        if path not in self._pixels:
            self._pixels[path] = subprocess.run(["convert", path, "-depth", "8", "rgb:-"],
                                                capture_output=True, check=True).stdout
        at = (y * SCREEN[0] + x) * 3
        return tuple(self._pixels[path][at:at + 3])

    def window_origin(self):
        """Top left of the 800 x 600 window content, after checking that the
        window is centred on the screen at that size."""
        window = self.find_window("Basic")
        self.assertIsNotNone(window, "no visible window named Basic")
        x, y, width, height = wait_for(lambda: self.geometry(window), 10)
        self.assertEqual((width - 2 * SHADOW, height - 2 * SHADOW), (WIDTH, HEIGHT))
        self.assertLessEqual(abs(x - (SCREEN[0] - width) // 2), 1)
        self.assertLessEqual(abs(y - (SCREEN[1] - height) // 2), 1)
        return window, x + SHADOW, y + SHADOW

    def close_and_expect_zero(self, left, top):
        # "btn_close": 24 x 24, 12 from the right and top edges of the header.
        self.xdotool("mousemove", str(left + WIDTH - 24), str(top + 24), "click", "1")
        self.assertEqual(self.process.wait(60), 0)

    def write_installer_config(self, installer, create_file):
        os.makedirs(os.path.join(self.downloader, "installer"), exist_ok=True)
        if create_file:
            with open(os.path.join(self.downloader, installer.replace("\\", os.sep)), "wb") as f:
                f.write(b"PK\x05\x06" + b"\0" * 18)
        with open(os.path.join(self.downloader, "config.json"), "w", encoding="utf-8") as f:
            f.write('{"installer":"%s"}' % installer.replace("\\", "\\\\"))

    def settled_screenshot(self, name):
        time.sleep(1.5)  # let the first frames reach the X server
        return self.screenshot(name)

    def is_welcome_page(self, path, left, top):
        # The "ok1" button is a green pill 300 x 48 at (236, 473) of the
        # welcome page; the install page is white at its left part.
        r, g, b = self.pixel(path, left + 300, top + 473 + 24)
        return g > r + 40 and g > b

    # --- tests -----------------------------------------------------------------
    def test_welcome_window_shortcut_and_close(self):
        self.start()
        _, left, top = self.window_origin()
        shot = self.settled_screenshot("welcome")
        # Header image: the teal gradient at its left end.
        r, g, b = self.pixel(shot, left + 10, top + 100)
        self.assertTrue(g > r + 30 and b > r, (r, g, b))
        # The page area is white, the welcome page shows "ok1".
        self.assertEqual(self.pixel(shot, left + 400, top + 580), (255, 255, 255))
        self.assertTrue(self.is_welcome_page(shot, left, top))
        # The display name under the logo: dark text pixels in its row.
        dark = [x for x in range(left + 20, left + 200)
                if sum(self.pixel(shot, x, top + 402)) < 300]
        self.assertTrue(dark, "no text under the logo")
        link = os.path.join(self.desktop, SHORTCUT)
        self.assertTrue(wait_for(lambda: os.path.exists(link), 10), os.listdir(self.desktop))
        with open(link, "rb") as f:
            data = f.read()
        self.assertEqual(data[:4], b"L\0\0\0")
        # The link's working folder is the executable's folder (Wine sees
        # the Unix root as Z:), written in the link's string data.
        folder = "Z:" + os.path.dirname(self.exe).replace("/", "\\")
        self.assertIn(folder.encode("utf-16-le"), data)
        self.assertIn(os.path.basename(self.exe).encode(), data)
        # The install location: LocalAppData + product, in the read-only edit.
        dark = [x for x in range(left + 240, left + 500)
                if sum(self.pixel(shot, x, top + 427)) < 450]
        self.assertTrue(dark, "no install location")
        self.close_and_expect_zero(left, top)
        self.assertIsNone(self.find_window("Basic", timeout=2))

    def test_existing_installer_opens_install_page(self):
        self.write_installer_config("installer\\fernwick-1.0.zip", create_file=True)
        self.start()
        _, left, top = self.window_origin()
        shot = self.settled_screenshot("install")
        self.assertFalse(self.is_welcome_page(shot, left, top))
        # The launch card (class "btn_primary") is green on the right half.
        r, g, b = self.pixel(shot, left + 600, top + 420)
        self.assertTrue(g > r + 40, (r, g, b))
        self.close_and_expect_zero(left, top)

    def test_empty_installer_stays_on_welcome_page(self):
        self.write_installer_config("", create_file=False)
        self.start()
        _, left, top = self.window_origin()
        shot = self.settled_screenshot("welcome_empty_installer")
        self.assertTrue(self.is_welcome_page(shot, left, top))
        self.close_and_expect_zero(left, top)

    def test_proceed_downloads_package_then_support_overlay(self):
        self.start()
        _, left, top = self.window_origin()
        time.sleep(2)  # the channel reply comes in meanwhile (or "ok1" waits)
        self.xdotool("mousemove", str(left + 386), str(top + 497), "click", "1")
        config_path = os.path.join(self.downloader, "config.json")

        def recorded_installer():
            try:
                with open(config_path, encoding="utf-8") as f:
                    installer = json.load(f).get("installer", "")
            except (OSError, ValueError):
                return None
            path = os.path.join(self.downloader, installer.replace("\\", os.sep))
            return installer if installer and os.path.isfile(path) else None
        installer = wait_for(recorded_installer, 60)
        self.assertTrue(installer, "no package recorded")
        self.assertTrue(installer.startswith("installer\\"), installer)
        shot = self.settled_screenshot("downloaded")
        self.assertFalse(self.is_welcome_page(shot, left, top))
        # The overlay is hidden again: the launch card shows its own green.
        r, g, b = self.pixel(shot, left + 600, top + 420)
        self.assertTrue(g > r + 40, (r, g, b))
        # "p3_support" opens the customer-service overlay over a dimmed page.
        self.xdotool("mousemove", str(left + 563), str(top + 298), "click", "1")
        shot = self.settled_screenshot("support")
        self.assertLess(sum(self.pixel(shot, left + 100, top + 300)), 3 * 200)
        # The channel's QR code (168 x 168 at (320, 201)): a real symbol is
        # roughly half dark.
        samples = [sum(self.pixel(shot, left + 320 + x, top + 201 + y)) < 200
                   for x in range(4, 168, 8) for y in range(4, 168, 8)]
        self.assertTrue(0.25 < sum(samples) / len(samples) < 0.75, sum(samples))
        # The QQ number link copies it and shows the "复制成功" toast over the
        # window, which closes itself after three seconds.
        self.xdotool("mousemove", str(left + 457), str(top + 393), "click", "1")
        toast = self.settled_screenshot("toast")
        # It is centred on the window, over the QR code (the link's own
        # hover colour lies outside that square).
        changed = sum(1 for x in range(320, 488, 4) for y in range(201, 369, 4)
                      if self.pixel(toast, left + x, top + y) != self.pixel(shot, left + x, top + y))
        self.assertGreater(changed, 20, "no toast")
        time.sleep(3)
        # "support_ok" hides the overlay again.
        self.xdotool("mousemove", str(left + 400), str(top + 453), "click", "1")
        shot = self.settled_screenshot("support_closed")
        self.assertEqual(self.pixel(shot, left + 100, top + 300), (255, 255, 255))
        self.close_and_expect_zero(left, top)

    def test_proceed_before_channel_reply_waits_then_starts_once(self):
        # The next channel reply is held back for six seconds.
        request = urllib.request.Request(
            self.service_address + "/admin/faults", method="POST",
            data=json.dumps({"path": "/api/channel", "faults": {"delay": 6000},
                             "times": 1}).encode(),
            headers={"Content-Type": "application/json"})
        urllib.request.urlopen(request, timeout=10).read()
        self.start()
        _, left, top = self.window_origin()
        before = self.screenshot("before_proceed")
        self.xdotool("mousemove", str(left + 300), str(top + 497), "click", "1")
        self.xdotool("mousemove", str(left + 700), str(top + 580))
        waiting = self.settled_screenshot("waiting")
        # "ok1" waits disabled ("加载中..."): its face is no longer the
        # enabled green.
        self.assertNotEqual(self.pixel(waiting, left + 300, top + 497),
                            self.pixel(before, left + 300, top + 497))
        installer_folder = os.path.join(self.downloader, "installer")
        downloaded = wait_for(lambda: os.path.isdir(installer_folder) and [
            name for name in os.listdir(installer_folder) if not name.endswith(".part")], 60)
        self.assertEqual(len(downloaded or []), 1, downloaded)
        shot = self.settled_screenshot("after_wait")
        self.assertFalse(self.is_welcome_page(shot, left, top))
        self.close_and_expect_zero(left, top)

    def test_empty_configuration_shows_error_and_exits_zero(self):
        branded = self.branded("assistant_empty.exe", lambda config: b"")
        self.start(branded)
        box = self.find_window("错误")
        self.assertIsNotNone(box, "no error box")
        self.assertIsNone(self.find_window("Basic", timeout=1))
        self.assertFalse(os.listdir(self.desktop))
        self.screenshot("config_failure")
        self.xdotool("windowactivate", "--sync", box)
        self.xdotool("key", "Return")
        self.assertEqual(self.process.wait(60), 0)
        self.assertFalse(os.listdir(self.desktop))


if __name__ == "__main__":
    unittest.main()
