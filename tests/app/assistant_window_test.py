"""The assistant executable as a person meets it: started under Wine on a
private Xvfb display, found by its window name, looked at through
screenshots and clicked with xdotool.

Run by ctest (tests/app/CMakeLists.txt), which passes the programs through
the environment: ASSISTANT_EXE, BRAND_EXE, THEME_ZIP, WINE_RUN and TEST_DIR
(a scratch folder in the build tree holding the Wine prefix). The reference
service (service/) runs on a loopback port; the assistant under test is a
copy branded to use it. The display, service, prefix and assistant come
from the end-to-end harness (tests/e2e/harness.py).
"""

import os
import sys
import time
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
        cls.display = harness.Display()
        try:
            cls.wine = harness.Wine(cls.root, cls.display)
            cls.service = harness.Service(os.path.join(cls.root, "service")).start()
            cls.exe = cls.wine.brand_for(cls.service, folder=os.path.join(cls.root, "branded"))
        except BaseException:
            cls.display.close()
            raise
        cls.desktop = cls.wine.desktop
        cls.downloader = cls.wine.downloader

    @classmethod
    def tearDownClass(cls):
        cls.service.stop()
        cls.wine.close()
        cls.display.close()

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

    def settled_screenshot(self, name):
        time.sleep(1.5)  # let the frames after an input reach the X server
        return self.assistant.screenshot(name)

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
        time.sleep(2)  # the channel reply comes in meanwhile (or "ok1" waits)
        self.assistant.click(386, 497)
        installer = wait_for(self.wine.recorded_package, 60)
        self.assertTrue(installer, "no package recorded")
        self.assertTrue(self.wine.installer_config()["installer"].startswith("installer\\"))
        shot = self.settled_screenshot("downloaded")
        self.assertFalse(self.assistant.is_welcome_page(shot))
        # The overlay is hidden again: the launch card shows its own green.
        r, g, b = shot.pixel(600, 420)
        self.assertTrue(g > r + 40, (r, g, b))
        # "p3_support" opens the customer-service overlay over a dimmed page.
        self.assistant.click_control("p3_support")
        shot = self.settled_screenshot("support")
        self.assertLess(sum(shot.pixel(100, 300)), 3 * 200)
        # The channel's QR code (168 x 168 at (320, 201)): a real symbol is
        # roughly half dark.
        samples = [sum(shot.pixel(320 + x, 201 + y)) < 200
                   for x in range(4, 168, 8) for y in range(4, 168, 8)]
        self.assertTrue(0.25 < sum(samples) / len(samples) < 0.75, sum(samples))
        # The QQ number link copies it and shows the "复制成功" toast over the
        # window, which closes itself after three seconds.
        self.assistant.click(457, 393)
        toast = self.settled_screenshot("toast")
        # It is centred on the window, over the QR code (the link's own
        # hover colour lies outside that square).
        changed = sum(1 for x in range(320, 488, 4) for y in range(201, 369, 4)
                      if toast.pixel(x, y) != shot.pixel(x, y))
        self.assertGreater(changed, 20, "no toast")
        time.sleep(3)
        # "support_ok" hides the overlay again.
        self.assistant.click(400, 453)
        shot = self.settled_screenshot("support_closed")
        self.assertEqual(shot.pixel(100, 300), harness.WHITE)
        self.close_and_expect_zero()

    def test_proceed_before_channel_reply_waits_then_starts_once(self):
        # The next channel reply is held back for six seconds.
        self.service.queue_fault("/api/channel", delay=6000)
        self.start()
        self.window_origin()
        before = self.shown("before_proceed")
        self.assistant.click(300, 497)
        self.assistant.move(700, 580)
        waiting = self.settled_screenshot("waiting")
        # "ok1" waits disabled ("加载中..."): its face is no longer the
        # enabled green.
        self.assertNotEqual(waiting.pixel(300, 497), before.pixel(300, 497))
        installer_folder = os.path.join(self.downloader, "installer")
        downloaded = wait_for(lambda: os.path.isdir(installer_folder) and [
            name for name in os.listdir(installer_folder) if not name.endswith(".part")], 60)
        self.assertEqual(len(downloaded or []), 1, downloaded)
        shot = self.settled_screenshot("after_wait")
        self.assertFalse(self.assistant.is_welcome_page(shot))
        self.close_and_expect_zero()

    def test_empty_configuration_shows_error_and_exits_zero(self):
        branded = self.wine.brand("assistant_empty.exe", lambda config: b"",
                                  os.path.join(self.root, "branded_empty"))
        self.start(branded)
        box = self.display.find_window(harness.ERROR_CAPTION)
        self.assertIsNotNone(box, "no error box")
        self.assertIsNone(self.display.find_window(harness.WINDOW_NAME, timeout=1))
        self.assertFalse(os.listdir(self.desktop))
        self.assistant.screenshot("config_failure")
        self.display.xdotool("windowactivate", "--sync", box)
        self.display.xdotool("key", "Return")
        self.assertEqual(self.assistant.wait_exit(60), 0)
        self.assertFalse(os.listdir(self.desktop))


if __name__ == "__main__":
    unittest.main()
