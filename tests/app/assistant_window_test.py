"""The assistant executable as a person meets it: started under Wine on a
private Xvfb display, found by its window name, looked at through
screenshots and clicked with xdotool.

Run by ctest (tests/app/CMakeLists.txt), which passes the programs through
the environment: ASSISTANT_EXE, BRAND_EXE, PROBE_EXE (assistant_probe.cpp),
THEME_ZIP, WINE_RUN and TEST_DIR (a scratch folder in the build tree holding
the Wine prefix). The reference
service (service/) runs on a loopback port; the assistant under test is a
copy branded to use it. The display, service, prefix and assistant come
from the end-to-end harness (tests/e2e/harness.py).
"""

import json
import os
import shutil
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))),
                                "e2e"))
import harness  # noqa: E402
from harness import wait_for  # noqa: E402


class AssistantWindowTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.root = os.environ["TEST_DIR"]
        os.makedirs(cls.root, exist_ok=True)
        cls.session = harness.Session(cls.root, cls.root)
        cls.display, cls.wine = cls.session.display, cls.session.wine
        cls.service, cls.exe = cls.session.service.start(), cls.session.exe
        cls.desktop = cls.wine.desktop
        cls.downloader = cls.wine.downloader

    @classmethod
    def tearDownClass(cls):
        cls.session.close()

    def setUp(self):
        self.wine.clean_user_data()
        self.assistant = None

    def tearDown(self):
        if self.assistant is not None:
            self.assistant.kill()

    # --- helpers -------------------------------------------------------------
    def start(self, exe=None):
        self.assistant = harness.Assistant(self.wine, exe or self.exe, self.root)
        return self.assistant

    def window_origin(self):
        """Top left of the 800 x 600 window content, after checking that the
        window is centred on the screen at that size."""
        left, top = self.assistant.wait_window()
        x, y, width, height = self.assistant.screen_rect
        self.assertEqual(self.assistant.size, (harness.WIDTH, harness.HEIGHT))
        self.assertLessEqual(abs(x - (harness.SCREEN[0] - width) // 2), 1)
        self.assertLessEqual(abs(y - (harness.SCREEN[1] - height) // 2), 1)
        return left, top

    def close_and_expect_zero(self):
        self.assistant.click_control("btn_close")
        self.assertEqual(self.assistant.wait_exit(60), 0)

    def write_installer_config(self, installer, create_file):
        os.makedirs(os.path.join(self.downloader, "installer"), exist_ok=True)
        if create_file:
            with open(os.path.join(self.downloader, installer.replace("\\", os.sep)), "wb") as f:
                f.write(b"PK\x05\x06" + b"\0" * 18)
        self.wine.write_installer_config({"installer": installer})

    def shown(self, name):
        """A screenshot once the window has faded in fully."""
        return self.assistant.wait_screen(name, self.assistant.opaque, 30)

    def probe(self, *args):
        """Runs assistant_probe; answers its output, failing the test when it
        fails."""
        result = subprocess.run([self.wine.wine_run, "--prefix", self.wine.prefix,
                                 os.environ["PROBE_EXE"]] + [str(a) for a in args],
                                env=self.wine.env, capture_output=True, timeout=120)
        self.assertEqual(result.returncode, 0, result.stderr.decode("utf-8", "replace"))
        return result.stdout.decode("utf-8", "replace")

    def fresh_folder(self, name):
        folder = os.path.join(self.root, name)
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        return folder

    def content(self, shot):
        """The RGB bytes of the 800 x 600 window content in shot."""
        left, top = shot.origin
        return subprocess.run(["convert", shot.path, "-crop", "%dx%d+%d+%d" % (
            harness.WIDTH, harness.HEIGHT, left, top), "+repage", "-depth", "8", "rgb:-"],
            capture_output=True, check=True, timeout=60).stdout

    def looks_like(self, reference):
        """A check for wait_screen: the window content is reference's, give or
        take the caret (a few pixels)."""
        expected = self.content(reference)

        def check(shot):
            actual = self.content(shot)
            if len(actual) != len(expected):
                return False
            differing = sum(1 for i in range(0, len(actual), 3)
                            if actual[i:i + 3] != expected[i:i + 3])
            return differing <= 100
        return check

    def change_dpi(self, dpi, rect):
        """Sends WM_DPICHANGED with the suggested window rectangle rect
        (left, top, width, height) and waits for the window to take it;
        answers the new origin of the content."""
        left, top, width, height = rect
        self.assertIn("result=0", self.probe("dpi", dpi, left, top, left + width, top + height))
        self.assertTrue(wait_for(lambda: self.display.geometry(self.assistant.window) == rect, 20),
                        self.display.geometry(self.assistant.window))
        return self.assistant.wait_window()

    def shortcuts(self):
        """The shell links on the desktop (Wine's menu builder may add
        .desktop files of its own there, late)."""
        return [name for name in os.listdir(self.desktop) if name.endswith(".lnk")]

    def expect_config_error_and_exit_zero(self):
        """The "错误" box instead of a window, no shortcut; the process ends
        with 0 once the box is answered."""
        box = self.display.find_window(harness.ERROR_CAPTION)
        self.assertIsNotNone(box, "no error box")
        self.assertIsNone(self.display.find_window(harness.WINDOW_NAME, timeout=1))
        self.assertFalse(self.shortcuts())
        self.assistant.screenshot("config_failure")
        # No window manager here: the box gets the keyboard focus directly,
        # with the pointer inside it (the focus may follow the pointer).
        self.display.xdotool("mousemove", "--window", box, 20, 20)
        self.display.xdotool("windowfocus", "--sync", box)
        self.display.xdotool("key", "Return")
        self.assertEqual(self.assistant.wait_exit(60), 0)
        self.assertFalse(self.shortcuts())

    # --- tests -----------------------------------------------------------------
    def test_welcome_window_shortcut_and_close(self):
        self.start()
        self.window_origin()
        shot = self.shown("welcome")
        # Header image: the teal gradient at its left end.
        r, g, b = shot.pixel(10, 100)
        self.assertTrue(g > r + 30 and b > r, (r, g, b))
        # The page area is white, the welcome page shows "ok1".
        self.assertEqual(shot.pixel(400, 580), harness.WHITE)
        self.assertTrue(self.assistant.is_welcome_page(shot))
        # The display name under the logo: dark text pixels in its row.
        dark = [x for x in range(20, 200) if sum(shot.pixel(x, 402)) < 300]
        self.assertTrue(dark, "no text under the logo")
        link = os.path.join(self.desktop, harness.SHORTCUT)
        self.assertTrue(wait_for(lambda: os.path.exists(link), 10), os.listdir(self.desktop))
        with open(link, "rb") as f:
            data = f.read()
        self.assertEqual(data[:4], b"L\0\0\0")
        # The link's working folder is the executable's folder (Wine sees
        # the Unix root as Z:), written in the link's string data.
        folder = self.wine.windows_path(os.path.dirname(self.exe))
        self.assertIn(folder.encode("utf-16-le"), data)
        self.assertIn(os.path.basename(self.exe).encode(), data)
        # The install location: LocalAppData + product, in the read-only edit.
        dark = [x for x in range(240, 500) if sum(shot.pixel(x, 427)) < 450]
        self.assertTrue(dark, "no install location")
        self.close_and_expect_zero()
        self.assertTrue(self.assistant.window_gone(2))

    def test_existing_installer_opens_install_page(self):
        self.write_installer_config("installer\\fernwick-1.0.zip", create_file=True)
        self.start()
        self.window_origin()
        shot = self.shown("install")
        self.assertFalse(self.assistant.is_welcome_page(shot))
        # The launch card (class "btn_primary") is green on the right half.
        r, g, b = shot.pixel(600, 420)
        self.assertTrue(g > r + 40, (r, g, b))
        self.close_and_expect_zero()

    def test_empty_installer_stays_on_welcome_page(self):
        self.write_installer_config("", create_file=False)
        self.start()
        self.window_origin()
        shot = self.shown("welcome_empty_installer")
        self.assertTrue(self.assistant.is_welcome_page(shot))
        self.close_and_expect_zero()

    def test_proceed_downloads_package_then_support_overlay(self):
        self.start()
        self.window_origin()
        self.shown("before_proceed")
        # The channel reply comes in first (otherwise "ok1" would wait).
        self.assertTrue(wait_for(lambda: self.service.requests("/api/channel"), 30))
        self.assistant.click(386, 497)
        installer = wait_for(self.wine.recorded_package, 60)
        self.assertTrue(installer, "no package recorded")
        self.assertTrue(self.wine.installer_config()["installer"].startswith("installer\\"))
        # The overlay is hidden again: the launch card shows its own green.
        self.assistant.wait_screen("downloaded", lambda shot: self.assistant.is_install_page(
            shot) and not self.assistant.overlay_shown(shot))
        # "p3_support" opens the customer-service overlay over a dimmed page,
        # with the channel's QR code (168 x 168 at (320, 201)): a real symbol
        # is roughly half dark.

        def qr_share(shot):
            samples = [sum(shot.pixel(320 + x, 201 + y)) < 200
                       for x in range(4, 168, 8) for y in range(4, 168, 8)]
            return sum(samples) / len(samples)
        self.assistant.click_control("p3_support")
        shot = self.assistant.wait_screen("support", lambda shot: self.assistant.overlay_shown(
            shot) and 0.25 < qr_share(shot) < 0.75)
        # The QQ number link copies it and shows the "复制成功" toast over the
        # window, centred on it, over the QR code (the link's own hover colour
        # lies outside that square); the toast closes itself.

        def toast_pixels(toast):
            return sum(1 for x in range(320, 488, 4) for y in range(201, 369, 4)
                       if toast.pixel(x, y) != shot.pixel(x, y))
        self.assistant.click(457, 393)
        self.assistant.wait_screen("toast", lambda toast: toast_pixels(toast) > 20, 10)
        self.assistant.wait_screen("toast_closed", lambda toast: toast_pixels(toast) == 0, 15)
        # "support_ok" hides the overlay again.
        self.assistant.click(400, 453)
        self.assistant.wait_screen("support_closed",
                                   lambda shot: shot.pixel(100, 300) == harness.WHITE)
        self.close_and_expect_zero()

    def test_proceed_before_channel_reply_waits_then_starts_once(self):
        # The next channel reply is held back for six seconds.
        self.service.queue_fault("/api/channel", delay=6000)
        self.start()
        self.window_origin()
        before = self.shown("before_proceed")
        self.assistant.click(300, 497)
        self.assistant.move(700, 580)
        # "ok1" waits disabled ("加载中..."): its face is no longer the
        # enabled green.
        self.assistant.wait_screen(
            "waiting", lambda shot: shot.pixel(300, 497) != before.pixel(300, 497), 10)
        installer_folder = os.path.join(self.downloader, "installer")
        downloaded = wait_for(lambda: os.path.isdir(installer_folder) and [
            name for name in os.listdir(installer_folder) if not name.endswith(".part")], 60)
        self.assertEqual(len(downloaded or []), 1, downloaded)
        self.assistant.wait_screen("after_wait", self.assistant.is_install_page)
        self.close_and_expect_zero()

    def test_empty_configuration_shows_error_and_exits_zero(self):
        branded = self.wine.brand("assistant_empty.exe", lambda config: b"",
                                  os.path.join(self.root, "branded_empty"))
        self.start(branded)
        self.expect_config_error_and_exit_zero()

    def test_without_archive_resources_come_from_disk(self):
        # A copy without its embedded archive, started in its own folder next
        # to a resources folder naming another product: skin, images, classes
        # and the configuration are read from there.
        folder = self.fresh_folder("from_disk")
        exe = os.path.join(folder, "assistant.exe")
        self.probe("drop-theme", self.wine.windows_path(os.environ["ASSISTANT_EXE"]),
                   self.wine.windows_path(exe))
        resources = os.path.join(folder, "resources")
        shutil.copytree(os.path.join(harness.REPO, "resources"), resources,
                        ignore=shutil.ignore_patterns("CMakeLists.txt"))
        with open(os.path.join(resources, "config.json"), encoding="utf-8") as f:
            config = json.load(f)
        config.update(name="Ashgrove", service_url=self.service.address,
                      stats_url=self.service.address)
        with open(os.path.join(resources, "config.json"), "w", encoding="utf-8") as f:
            json.dump(config, f, ensure_ascii=False)
        self.assistant = harness.Assistant(self.wine, exe, self.root, cwd=folder)
        self.window_origin()
        self.display.xdotool("mousemove", 0, 0)  # no hover in the comparison below
        # Header image, page, "btn_primary" face: all from the folder.
        shot = self.shown("from_disk")
        self.assertTrue(self.assistant.is_welcome_page(shot))
        self.assertTrue([x for x in range(20, 200) if sum(shot.pixel(x, 402)) < 300],
                        "no text under the logo")
        self.assertEqual(self.shortcuts(), ["Ashgrove 安装助手.lnk"])
        # A DPI change reads the global definitions again, from the same
        # folder: at 125 % and back at 100 %, the window looks as before.
        x, y, width, height = self.assistant.screen_rect
        self.change_dpi(120, (x - 100, y - 60, width * 5 // 4, height * 5 // 4))
        self.change_dpi(96, (x - 100, y - 60, width, height))
        self.assistant.wait_screen("from_disk_dpi", self.looks_like(shot), 20)
        self.close_and_expect_zero()

    def test_no_archive_and_no_resources_folder_shows_error_and_exits_zero(self):
        # The embedded archive is there but unreadable (its bytes zeroed), and
        # nothing lies beside the copy.
        with open(os.environ["ASSISTANT_EXE"], "rb") as f:
            program = f.read()
        with open(os.environ["THEME_ZIP"], "rb") as f:
            archive = f.read()
        self.assertEqual(program.count(archive), 1)
        exe = os.path.join(self.fresh_folder("no_resources"), "assistant.exe")
        with open(exe, "wb") as f:
            f.write(program.replace(archive, bytes(len(archive))))
        self.assistant = harness.Assistant(self.wine, exe, self.root, cwd=os.path.dirname(exe))
        self.expect_config_error_and_exit_zero()

    def test_dpi_change_scales_content_and_takes_suggested_rectangle(self):
        self.start()
        self.window_origin()
        self.display.xdotool("mousemove", 0, 0)  # no hover in the comparisons below
        x, y, width, height = self.assistant.screen_rect
        # Moved to a 150 % monitor, where the system suggests a rectangle
        # half as large again: the content is laid out and drawn at 150 %
        # (the shadow too: 21 pixels).
        scaled = (10, 10, harness.WIDTH * 3 // 2 + 42, harness.HEIGHT * 3 // 2 + 42)
        self.change_dpi(144, scaled)
        self.assistant.origin = (scaled[0] + 21, scaled[1] + 21)

        def at_150(shot):
            r, g, b = shot.pixel(375, 745)  # "ok1" at 150 %
            return (g > r + 40 and g > b and shot.pixel(1185, 885) == harness.WHITE
                    and shot.pixel(600, 318) == harness.WHITE
                    and shot.pixel(600, 306) != harness.WHITE)  # the header ends at 312
        self.assistant.wait_screen("dpi_150", at_150, 20)
        # A larger suggested rectangle: the window takes it and lays its
        # content out again (the page stays white to the new bottom right).
        self.change_dpi(96, (x - 120, y - 80, width + 160, height + 120))
        self.assertEqual(self.assistant.size, (harness.WIDTH + 160, harness.HEIGHT + 120))

        def laid_out(shot):
            return (self.assistant.opaque(shot) and self.assistant.is_welcome_page(shot)
                    and shot.pixel(harness.WIDTH + 150, harness.HEIGHT + 110) == harness.WHITE)
        self.assistant.wait_screen("dpi_resized", laid_out, 20)
        # Still answering: the close button, now at the wider header's end.
        self.assistant.click(harness.WIDTH + 160 - 24, 24)
        self.assertEqual(self.assistant.wait_exit(60), 0)


if __name__ == "__main__":
    unittest.main()
