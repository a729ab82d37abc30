"""The assistant end to end, as a user and an operator meet it: first start,
proceeding early, the download with its progress, the support overlay with
the QR code and the QQ number, a second start, the failures a user can meet,
and closing. Each test starts from fresh user data and a fresh service.
"""

import os
import shutil
import subprocess
import time
import unittest

import harness
from harness import ANY, CONTROLS, WHITE, wait_for

IMAGES = os.path.join(harness.REPO, "resources", "themes", "default", "images")


class AssistantJourneyTest(harness.AssistantTestCase):

    # -- helpers --------------------------------------------------------------
    def proceed_and_wait_for_package(self, assistant, timeout=60):
        """Clicks "ok1" and waits until config.json records a package that
        exists; answers its path."""
        assistant.click_control("ok1")
        package = wait_for(self.wine.recorded_package, timeout)
        self.assertTrue(package, "no package recorded: %r" % self.wine.installer_config())
        return package

    def serve_package(self, name, size, **faults):
        """A package of size bytes that the service hands out for Fernwick,
        with faults queued for its first download; answers its path."""
        source = self.service.add_package(name, size)
        self.service.edit_catalogue(lambda product: product.update(package=name))
        self.service.queue_fault("/packages/" + name, **faults)
        return source

    def wait_install_page(self, assistant, name):
        def settled(shot):
            return assistant.is_install_page(shot) and not assistant.overlay_shown(shot)
        assistant.park_mouse()
        return assistant.wait_screen(name, settled, 30)

    def error_box(self, timeout=30):
        """The texts of the "错误" message box once it is visible."""
        return wait_for(lambda: self.wine.window_texts(harness.ERROR_CAPTION), timeout)

    def close_error_box(self, assistant):
        box = self.display.find_window(harness.ERROR_CAPTION, 10)
        self.assertIsNotNone(box, "no X window for the error box")
        self.display.press_in(box, "Return")
        self.assertTrue(wait_for(lambda: self.wine.window_texts(harness.ERROR_CAPTION) is None,
                                 20), "the error box stayed")

    def ok1_text_width(self, shot):
        """Width of the text on "ok1" (white or dimmed white on its face)."""
        left, top, width, height = CONTROLS["ok1"]
        face = shot.pixel(left + 14, top + height // 2)
        box = shot.ink((left + 30, top + 8, width - 60, height - 16), face, 100)
        return None if box is None else box[2] - box[0] + 1

    # -- 1 ----------------------------------------------------------------------
    def test_1_first_start_welcome_page_shortcut_and_one_startup_event(self):
        assistant, shot = self.start_and_show()
        self.assertEqual(assistant.size, (harness.WIDTH, harness.HEIGHT))
        # It has the focus (taken once its first frame is out).
        self.assertTrue(wait_for(lambda: self.wine.foreground_title() == harness.WINDOW_NAME, 10),
                        self.wine.foreground_title())
        x, y, width, height = assistant.screen_rect
        self.assertLessEqual(abs(x - (harness.SCREEN[0] - width) // 2), 1)
        self.assertLessEqual(abs(y - (harness.SCREEN[1] - height) // 2), 1)
        # Header and logo: the skin's own pictures, pixel for pixel (the close
        # button sits over the header's top right corner).
        self.assertGreater(shot.matches_image(0, 0, os.path.join(IMAGES, "header.png")), 0.98)
        self.assertGreater(shot.matches_image(*CONTROLS["logo"][:2],
                                              os.path.join(IMAGES, "logo.png")), 0.98)
        self.assertTrue(assistant.is_welcome_page(shot))
        # "Fernwick 官方正版" under the logo: one line of dark text, centred
        # under it.
        name = shot.ink(CONTROLS["p1_lb_name"], WHITE, 200)
        self.assertIsNotNone(name, "no display name")
        self.assertTrue(near_middle(name, CONTROLS["logo"]), name)
        self.assertGreater(name[2] - name[0], 100, name)
        # The introduction: a paragraph of several lines in its 80 high label.
        lines = shot.ink_rows(CONTROLS["p1_lb_intro"], WHITE, 200)
        self.assertGreaterEqual(len(lines), 3, lines)
        # "Fernwick 官方中文版" and the install location, each inside its
        # bordered box.
        for box in ("p1_lb_fullname_box", "p1_et_location_box"):
            left, top, width, height = CONTROLS[box]
            text = shot.ink((left + 4, top + 4, width - 8, height - 8), WHITE, 200)
            self.assertIsNotNone(text, box)
            self.assertGreater(text[2] - text[0], 80, (box, text))
        # The location (LocalAppData + product) is longer than the edition.
        full = shot.ink(CONTROLS["p1_lb_fullname_box"], WHITE, 200)
        location = shot.ink(CONTROLS["p1_et_location"], WHITE, 200)
        self.assertGreater(location[2] - location[0], full[2] - full[0] - 60)
        # The desktop shortcut points at this copy, started in its folder.
        link = os.path.join(self.wine.desktop, harness.SHORTCUT)
        self.assertTrue(wait_for(lambda: os.path.exists(link), 10), os.listdir(self.wine.desktop))
        with open(link, "rb") as f:
            data = f.read()
        self.assertEqual(data[:4], b"L\0\0\0")
        self.assertIn(self.wine.windows_path(os.path.dirname(self.exe)).encode("utf-16-le"), data)
        self.assertIn(os.path.basename(self.exe).encode(), data)
        # The service counted one start, and gave out one attribution id,
        # which the assistant keeps.
        self.assertTrue(wait_for(lambda: self.service.event_count("startup") >= 1, 20))
        issued = wait_for(lambda: self.service.issued_bdvids(), 20)
        self.assertEqual(len(issued), 1, issued)
        self.assertTrue(wait_for(lambda: (self.wine.installer_config() or {}).get("bd_vid")
                                 == issued[0], 20), self.wine.installer_config())
        self.assertEqual(self.close_with_button(assistant), 0)
        # "closed" left before the process ended: it is stored already.
        self.assert_events([("startup", {}), ("closed", {"page": "welcome"})], timeout=0)
        self.assertEqual(self.service.events(), {"startup": 1, "closed": 1})

    # -- 2 ----------------------------------------------------------------------
    def test_2_proceed_before_the_channel_reply_waits_then_starts(self):
        # The channel reply is held back long enough for the window to show and
        # take the click even on a busy machine.
        self.service.queue_fault("/api/channel", delay=8000)
        assistant, before = self.start_and_show()
        normal_width = self.ok1_text_width(before)
        self.assertIsNotNone(normal_width)
        self.assertEqual(self.service.requests("/api/channel"), [], "the reply came early")
        assistant.click_control("ok1")
        assistant.park_mouse()
        # "ok1" waits disabled with "加载中...": the translucent white layer
        # over its green, and a longer text than "下一步".
        waiting = assistant.wait_screen("waiting", lambda shot: disabled_face(
            shot.pixel(250, 497)) and assistant.is_welcome_page(shot), 10)
        self.assertEqual(self.service.requests("/api/channel"), [], "the reply came early")
        waiting_width = self.ok1_text_width(waiting)
        self.assertIsNotNone(waiting_width)
        self.assertGreater(waiting_width, normal_width + 10)
        # Once the reply is in, the installation starts by itself: the details,
        # then one download.
        package = wait_for(self.wine.recorded_package, 60)
        self.assertTrue(package, self.wine.installer_config())
        self.wait_install_page(assistant, "installed")
        paths = [target.split("?")[0] for _, target, _ in self.service.requests()]
        self.assertEqual(paths.count("/api/installation"), 1, paths)
        self.assertEqual(paths.count("/packages/fernwick-1.0.zip"), 1, paths)
        self.assertLess(paths.index("/api/channel"), paths.index("/api/installation"), paths)
        self.assertEqual(self.close_with_button(assistant), 0)

    # -- 3 ----------------------------------------------------------------------
    def test_3_download_shows_progress_then_records_the_package(self):
        name = "fernwick-2.0.zip"
        # 128 pieces of 1 KiB, 50 ms apart: over six seconds of download.
        source = self.serve_package(name, 128 * 1024, slow=50)
        assistant, _ = self.start_and_show()
        assistant.click_control("ok1")
        assistant.park_mouse()
        # Two screenshots of the overlay whose bars are filled differently,
        # the later one further. Until the first progress report the bar shows
        # the skin's value, 50 (200 of its 400 pixels).
        fills = {}
        deadline = time.monotonic() + 30
        while len(fills) < 2 and time.monotonic() < deadline:
            shot = assistant.screenshot("downloading")
            fill = assistant.progress_fill(shot) if assistant.overlay_shown(shot) else None
            if fill is not None and 0 < fill < 400 and fill != 200 and fill not in fills:
                fills[fill] = shot.path
            else:
                os.remove(shot.path)
        self.assertEqual(len(fills), 2, fills)
        first, last = sorted(fills, key=fills.get)
        self.assertLess(first, last, fills)
        # The overlay closes by itself onto the install page.
        self.wait_install_page(assistant, "downloaded")
        package = wait_for(self.wine.recorded_package, 10)
        self.assertTrue(package)
        self.assertEqual(harness.sha256_of(package), harness.sha256_of(source))
        config = self.wine.installer_config()
        details = self.service.installation()
        issued = self.service.issued_bdvids()
        self.assertEqual(len(issued), 1, issued)
        self.assertEqual(config.get("installer"), "installer\\" + name)
        self.assertEqual(config.get("launch_cmd"), details["launch_cmd"])
        self.assertEqual(config.get("tutorial_url"), details["tutorial_url"])
        self.assertEqual(config.get("bd_vid"), issued[0])
        self.assertEqual(os.listdir(self.wine.installer_folder), [name])
        self.assertEqual(self.close_with_button(assistant), 0)

    # -- 6 ----------------------------------------------------------------------
    def test_6_support_overlay_qr_code_and_copied_qq_number(self):
        channel = self.service.channel()
        assistant, _ = self.start_and_show()
        self.proceed_and_wait_for_package(assistant)
        self.wait_install_page(assistant, "install_page")
        assistant.click_control("p3_support")
        assistant.park_mouse()
        shot = assistant.wait_screen("support", assistant.overlay_shown, 10)
        # The QR symbol decodes to the channel's customer-service text.
        left, top, width, height = CONTROLS["support_qr"]
        crop = shot.crop((left - 8, top - 8, width + 16, height + 16),
                         os.path.join(self.screens, "qr.png"), border=24, scale=2)
        decoded = subprocess.run(["zbarimg", "--raw", "-q", crop], capture_output=True,
                                 timeout=60)
        self.assertEqual(decoded.returncode, 0, decoded.stderr)
        self.assertEqual(decoded.stdout.decode("utf-8").strip(), channel["custom_service"])
        # The QQ number is shown beside its label.
        self.assertIsNotNone(shot.ink(CONTROLS["support_qq_link"], WHITE, 200))
        # Clicking it puts it on the clipboard and shows "复制成功" for about
        # three seconds.
        self.assertNotEqual(self.display.clipboard(), channel["custom_service_qq"])
        assistant.click_control("support_qq_link")
        clicked = time.monotonic()
        assistant.park_mouse()
        with_toast = assistant.wait_screen("toast", toast_shown, 5)
        self.assertEqual(wait_for(self.display.clipboard, 5), channel["custom_service_qq"])
        # The framework's toast window, 120 wide and centred on the window.
        left, top, right, bottom = toast_box(with_toast)
        self.assertLessEqual(abs(right - left - 120), 2, (left, top, right, bottom))
        self.assertLessEqual(abs((left + right) / 2 - 400), 2, (left, top, right, bottom))
        self.assertLessEqual(abs((top + bottom) / 2 - 300), 40, (left, top, right, bottom))
        self.assertEqual([cls for cls, _, _ in self.wine.windows() if cls == "Toast"], ["Toast"])
        # It closes by itself after about three seconds.
        seen = time.monotonic() - clicked
        while time.monotonic() - clicked < 10:
            shot = assistant.screenshot("toast_later")
            if not toast_shown(shot):
                break
            seen = time.monotonic() - clicked
            os.remove(shot.path)
        gone = time.monotonic() - clicked
        self.assertGreater(seen, 2.0, "the toast closed too early")
        self.assertLess(gone, 6.0, "the toast stayed")
        # "好的" hides the overlay.
        assistant.click_control("support_ok")
        self.wait_install_page(assistant, "support_closed")
        self.assertEqual(self.close_with_button(assistant), 0)

    def test_6b_copied_toast_text_is_centred(self):
        assistant, _ = self.start_and_show()
        self.proceed_and_wait_for_package(assistant)
        self.wait_install_page(assistant, "install_page")
        assistant.click_control("p3_support")
        assistant.park_mouse()
        assistant.wait_screen("support", assistant.overlay_shown, 10)
        assistant.click_control("support_qq_link")
        assistant.park_mouse()
        shot = assistant.wait_screen("toast", toast_shown, 5)
        left, top, right, bottom = toast_box(shot)
        # The light text inside the dark box, centred in it.
        text = shot.ink((left + 1, top + 1, right - left - 2, bottom - top - 2), (23, 25, 28), 200)
        self.assertIsNotNone(text, "no text in the toast")
        self.assertLessEqual(abs((text[0] + text[2]) / 2 - (left + right) / 2), 4,
                             (text, (left, top, right, bottom)))

    # -- 7 ----------------------------------------------------------------------
    def test_7_second_start_opens_on_the_install_page(self):
        assistant, _ = self.start_and_show()
        self.proceed_and_wait_for_package(assistant)
        self.wait_install_page(assistant, "first_run")
        self.assertEqual(self.close_with_button(assistant), 0)
        again, shot = self.start_and_show()
        self.assertTrue(again.is_install_page(shot))
        self.assertFalse(again.overlay_shown(shot))
        self.assertTrue(wait_for(lambda: self.service.event_count("startup") == 2, 20))
        # Nothing is fetched again: one package download, one attribution id.
        self.assertEqual(len(self.service.requests("/packages/fernwick-1.0.zip")), 1)
        self.assertEqual(len(self.service.issued_bdvids()), 1)
        self.assertEqual(self.close_with_button(again), 0)

    # -- 8 ----------------------------------------------------------------------
    def test_8a_service_down_at_start_then_up(self):
        self.service.stop()
        assistant, _ = self.start_and_show()
        texts = self.error_box()
        self.assertTrue(texts, "no error box")
        self.assertTrue(any(t.startswith("请求失败，HTTP 状态码：") for t in texts), texts)
        assistant.screenshot("error_box")
        self.close_error_box(assistant)
        # Still down: "ok1" waits, the failure shows again, and "ok1" comes back.
        assistant.park_mouse()
        normal = assistant.screenshot("ok1_back")
        self.assertTrue(assistant.is_welcome_page(normal))
        assistant.click_control("ok1")
        self.assertTrue(self.error_box(), "no error box for the second request")
        self.close_error_box(assistant)
        assistant.park_mouse()
        back = assistant.wait_screen("ok1_back_again", lambda shot: shot.pixel(250, 497) == (
            normal.pixel(250, 497)), 10)
        self.assertEqual(self.ok1_text_width(back), self.ok1_text_width(normal))
        # Once the service is up, the next click gets the package.
        self.service.start()
        self.proceed_and_wait_for_package(assistant)
        self.wait_install_page(assistant, "installed")
        self.assertEqual(self.close_with_button(assistant), 0)

    def test_8b_missing_package_says_download_failed(self):
        self.service.edit_catalogue(lambda product: product.update(package="fernwick-9.9.zip"))
        assistant, _ = self.start_and_show()
        assistant.click_control("ok1")
        texts = self.error_box()
        self.assertTrue(texts, "no error box")
        self.assertIn("下载失败！", texts)
        assistant.screenshot("download_failed")
        self.assertEqual([r[2] for r in self.service.requests("/packages/fernwick-9.9.zip")],
                         [404])
        self.close_error_box(assistant)
        # Nothing is recorded and no file is left.
        self.assertNotIn("installer", self.wine.installer_config() or {})
        self.assertEqual(os.listdir(self.wine.installer_folder), [])
        # The overlay stays until the user closes it (it covers the header's
        # close button too).
        assistant.park_mouse()
        self.assertTrue(assistant.overlay_shown(assistant.screenshot("overlay_stays")))
        assistant.click_control("install_close")
        self.wait_install_page(assistant, "overlay_closed")
        self.assertEqual(self.close_with_button(assistant), 0)
        self.assert_events([
            ("startup", {}),
            ("download_start", {"host": "127.0.0.1", "recorded": False}),
            ("download_failed", {"status": 404, "error": 0, "retries": 0, "bytes": 0}),
            ("error_shown", {"key": "download_failed"}),
            ("closed", {"page": "install"})])
        # The refused request, its box, and the exit in the support log.
        self.assert_log_in_order([
            ("startup", []),
            ("request", ["/fernwick-9.9.zip", "status=404", "outcome=failed:server_status"]),
            ("message_box", ["caption=错误", "text=下载失败！"]),
            ("exit", ["code=0"])])

    def test_8c_dropped_download_resumes(self):
        name = "fernwick-3.0.zip"
        source = self.serve_package(name, 64 * 1024, drop=20000)
        assistant, _ = self.start_and_show()
        package = self.proceed_and_wait_for_package(assistant)
        self.assertEqual(harness.sha256_of(package), harness.sha256_of(source))
        # The second request asked for the rest only.
        self.assertEqual([r[2] for r in self.service.requests("/packages/" + name)], [200, 206])
        self.wait_install_page(assistant, "resumed")
        self.assertIsNone(self.wine.window_texts(harness.ERROR_CAPTION))
        self.assertEqual(self.close_with_button(assistant), 0)
        self.assert_events([
            ("startup", {}),
            ("download_start", {"host": "127.0.0.1", "recorded": False}),
            ("download_done", {"bytes": os.path.getsize(source), "retries": 1,
                               "resumed": True}),
            ("closed", {"page": "install"})])

    def test_8d_attribution_from_the_file_name(self):
        named = os.path.join(self.root, "named", "fernwick_abc123_downloader.exe")
        os.makedirs(os.path.dirname(named), exist_ok=True)
        shutil.copyfile(self.exe, named)
        assistant, _ = self.start_and_show(named)
        self.assertTrue(wait_for(lambda: (self.wine.installer_config() or {}).get("bd_vid")
                                 == "abc123", 20), self.wine.installer_config())
        self.assertTrue(wait_for(lambda: self.service.event_count("startup") == 1, 20))
        self.assertTrue(wait_for(lambda: self.service.requests("/api/channel"), 20))
        self.assertEqual(self.close_with_button(assistant), 0)
        self.assertEqual(self.service.issued_bdvids(), [])
        self.assertEqual(self.service.requests("/api/get-bdvid"), [])

    # -- 9 ----------------------------------------------------------------------
    def test_9_close_button_fades_out_and_exits_zero(self):
        assistant, _ = self.start_and_show()
        assistant.click_control("btn_close")
        self.assertEqual(assistant.wait_exit(60), 0)
        self.assertTrue(assistant.window_gone(5))

    def test_9b_a_skin_that_does_not_load_is_reported_and_the_run_still_logs(self):
        # The support log starts once the first frame is out; a run that
        # never gets there must still leave its lines.
        broken = self.wine.brand(
            "noskin.exe", lambda config: dict(config, service_url=self.service.address,
                                              stats_url=self.service.address),
            os.path.join(self.root, "noskin"),
            leave_out=("resources/themes/default/basic/basic.xml",))
        assistant = self.start(broken)
        box = self.display.find_window(SKIN_ERROR_CAPTION, 60)
        self.assertIsNotNone(box, "no skin error box; the assistant %s, windows %s" %
                             (assistant.state(), self.wine.windows()))
        texts = self.wine.window_texts(SKIN_ERROR_CAPTION) or []
        self.assertTrue(any(text.startswith("Failed to load xml file ") and
                            text.endswith("basic.xml") for text in texts), texts)
        self.display.press_in(box, "Return")
        self.assertEqual(assistant.wait_exit(60), 0)
        self.assertIsNone(self.display.find_window(harness.WINDOW_NAME, 0))
        self.assert_log_in_order([("startup", ["product=" + harness.PRODUCT]),
                                  ("exit", ["code=0"])])


SKIN_ERROR_CAPTION = "Tessaly"
TOAST_AREA = (250, 200, 300, 200)  # around the window's centre


def toast_box(shot):
    """The bounding box of the "复制成功" toast, whose "black" is darker than
    anything else around the window's centre (the QR code's "ink" is
    lighter), or None while no toast is there."""
    dark = [(x, y) for x, y, c in shot.pixels(TOAST_AREA, 2) if sum(c) < 90]
    if len(dark) < 300:  # a quarter of a toast of 120 x 40, sampled every 2 pixels
        return None
    xs = [x for x, _ in dark]
    ys = [y for _, y in dark]
    return min(xs), min(ys), max(xs) + 1, max(ys) + 1


def toast_shown(shot):
    return toast_box(shot) is not None


def disabled_face(colour):
    """"btn_primary" disabled: a translucent white layer over its green."""
    r, g, b = colour
    return r > harness.PRIMARY[0] + 60 and g > harness.PRIMARY[1] + 20 and g > b


def near_middle(box, rect, tolerance=8):
    left, _, width, _ = rect
    return abs((box[0] + box[2]) / 2 - (left + width / 2)) <= tolerance


if __name__ == "__main__":
    unittest.main()
