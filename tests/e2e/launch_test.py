"""Launching what the assistant downloaded, end to end: the service serves the
build's sample packages (tools/samples/), a person clicks "ok1" and then the
launch button, and the sample program proves through its window and its run
marker that it ran, and how.

Besides the harness's programs this needs SAMPLE_PACKAGES, the folder of the
built packages (by default <build>/tools/samples/packages beside
ASSISTANT_EXE's <build>/app/).
"""

import json
import os
import re
import shutil
import unittest
import zipfile

import harness
from harness import ANY, wait_for

PRODUCT_TITLE = "Fernwick"
SETUP_TITLE = "Fernwick 安装程序"
SAMPLE_CLASS = "FernwickSampleWindow"
USER_SHELL_FOLDERS = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders"
TEAL = (0x14, 0x8A, 0x7C)  # top of the sample window's header


def sample_packages():
    folder = os.environ.get("SAMPLE_PACKAGES")
    if not folder:
        build = os.path.dirname(os.path.dirname(os.environ["ASSISTANT_EXE"]))
        folder = os.path.join(build, "tools", "samples", "packages")
    return folder


def read_marker(path):
    """The run marker's lines as (key, value) pairs, or None before it exists."""
    try:
        with open(path, encoding="utf-8", newline="") as f:
            text = f.read()
    except OSError:
        return None
    return [tuple(line.split("=", 1)) for line in text.split("\r\n") if "=" in line]


class LaunchTest(harness.AssistantTestCase):
    folder_name = "launch"
    start_service = False

    def setUp(self):
        super().setUp()
        self.packages = sample_packages()
        for name in ("fernwick-1.0.zip", "fernwick-setup.exe"):
            if not os.path.isfile(os.path.join(self.packages, name)):
                self.fail("no sample package %s in %s (build target sample_packages)"
                          % (name, self.packages))

    def start_service_with(self, *args):
        self.service.start(args=["--packages", self.packages] + list(args))

    def windows_path(self, unix_path):
        """How the user's programs name a path under the prefix's drive C."""
        drive_c = os.path.join(self.wine.prefix, "drive_c")
        return "C:\\" + os.path.relpath(unix_path, drive_c).replace(os.sep, "\\")

    def download_and_launch(self, downloader):
        """Shows the assistant, clicks "ok1", waits for the package recorded in
        downloader's config.json and the install page, then clicks the launch
        button. Answers the assistant and the package's path."""
        assistant, _ = self.start_and_show()
        assistant.click_control("ok1")

        def recorded():
            try:
                with open(os.path.join(downloader, "config.json"), encoding="utf-8") as f:
                    installer = json.load(f).get("installer")
            except (OSError, ValueError, AttributeError):
                return None
            path = installer and os.path.join(downloader, installer.replace("\\", os.sep))
            return path if path and os.path.isfile(path) else None
        package = wait_for(recorded, 60)
        self.assertTrue(package, "no package recorded under %s" % downloader)
        assistant.park_mouse()
        assistant.wait_screen("install_page", lambda shot: assistant.is_install_page(shot) and
                              not assistant.overlay_shown(shot), 30)
        assistant.click_control("p3_install_launch")
        return assistant, package

    def sample_window(self, title, timeout=60):
        """The screen rectangle of the visible sample window titled title, as
        the Windows side reports it (class and title checked), or None."""
        def found():
            for klass, text, rect in self.wine.windows():
                if klass == SAMPLE_CLASS and text == title:
                    return rect
            return None
        return wait_for(found, timeout, step=0.1)

    # -- 4 ----------------------------------------------------------------------
    def test_4_zip_package_unpacks_and_its_product_runs_from_the_target_folder(self):
        self.start_service_with()
        details = self.service.installation()
        self.assertEqual(details["launch_cmd"], "{target_dir}\\Fernwick\\Fernwick.exe")
        assistant, package = self.download_and_launch(self.wine.downloader)
        self.assertTrue(package.endswith(os.sep + "fernwick-1.0.zip"), package)

        # The product's files under local application data + "fernwick".
        product = os.path.join(self.wine.product_dir, "Fernwick")
        marker_path = os.path.join(product, "fernwick-ran.txt")
        marker = wait_for(lambda: read_marker(marker_path), 60)
        self.assertTrue(marker, "the product did not run (no %s)" % marker_path)
        with zipfile.ZipFile(os.path.join(self.packages, "fernwick-1.0.zip")) as z:
            for name in z.namelist():
                with open(os.path.join(self.wine.product_dir, name), "rb") as unpacked:
                    self.assertEqual(unpacked.read(), z.read(name), name)

        # It ran from the product folder that "{target_dir}" became, with no
        # arguments (the command is opened as a whole file name).
        values = dict(marker)
        target = self.windows_path(self.wine.product_dir)
        self.assertEqual(values["program"], "product")
        self.assertEqual(values["module"].lower(), (target + "\\Fernwick\\Fernwick.exe").lower())
        self.assertNotIn("arg", [key for key, _ in marker])

        # Its window shows up beside the assistant, painted.
        rect = self.sample_window(PRODUCT_TITLE)
        self.assertIsNotNone(rect, "no Fernwick window: %r" % (self.wine.windows(),))
        window = self.display.find_window(PRODUCT_TITLE, 30)
        self.assertIsNotNone(window, "no X window named Fernwick")
        x, y, width, height = wait_for(lambda: self.display.geometry(window), 10)

        def painted():
            shot = self.display.screenshot(os.path.join(self.screens, "launched_product.png"))
            return harness.near(shot.pixel(x + 10, y + 4), TEAL, 24)
        self.assertTrue(wait_for(painted, 30), "the Fernwick window shows no header")
        # No event for a zip launch.
        self.assertEqual(self.service.event_count("installer_launch"), 0)

        # It closes when asked (Alt+F4 is WM_CLOSE), the assistant stays.
        self.display.xdotool("mousemove", x + width // 2, y + height // 2, "click", "1")
        self.display.xdotool("key", "alt+F4")
        self.assertTrue(wait_for(lambda: self.sample_window(PRODUCT_TITLE, 0) is None, 30),
                        "the Fernwick window did not close")
        self.assertIsNone(assistant.process.poll())

        # The run as the service stored it: the download's and the
        # unpacking's facts, and the page the user closed the window on.
        self.assertEqual(self.close_with_button(assistant), 0)
        with zipfile.ZipFile(package) as z:
            entries = z.infolist()
        self.assert_events([
            ("startup", {}),
            ("download_start", {"host": "127.0.0.1", "recorded": False}),
            ("download_done", {"bytes": os.path.getsize(package), "retries": 0,
                               "resumed": False}),
            ("unpack_done", {"entries": len(entries),
                             "bytes": sum(e.file_size for e in entries)}),
            ("closed", {"page": "install"})])

        # What support would read of the run, in order: the start-up, the
        # package request, both hash checks, the unpacking, the launch with
        # the command as substituted (the profile folder hidden) and the exit.
        lines = self.assert_log_in_order([
            # Wine's default Internet settings, like Windows', detect a proxy.
            ("startup", ["product=fernwick", "channel=", "display_scale=100",
                         "proxy=auto-detect"]),
            ("request", ["method=GET", "/api/channel", "status=200"]),
            ("request", ["url=127.0.0.1:", "/fernwick-1.0.zip", "status=200",
                         "bytes=%d" % os.path.getsize(package), "outcome=done"]),
            # The service names no SHA-256 for its packages.
            ("hash", ["check=download", "result=none_expected"]),
            ("hash", ["check=launch", "result=none_recorded"]),
            ("extraction", ["status=kOk", "entries=%d" % len(entries),
                            "bytes=%d" % sum(e.file_size for e in entries)]),
            ("launch", ["command=", "%LOCALAPPDATA%\\fernwick",
                        "\\Fernwick\\Fernwick.exe", "result=started"]),
            ("exit", ["code=0", "seconds="])])
        self.assertNotIn("bd_vid=", "".join(lines))

    # -- 5 ----------------------------------------------------------------------
    def test_5_installer_runs_through_cmd_with_its_switch_from_a_folder_with_a_blank(self):
        # The user's local application data folder gets a blank in its name
        # (as under a profile such as "C:\Users\Jane Doe"); the downloader
        # folder lives in it.
        self.set_local_appdata("%USERPROFILE%\\Local Data")
        local = os.path.join(self.wine.user, "Local Data")
        self.addCleanup(shutil.rmtree, local, True)
        # Every channel gets the sample installer, with the catalogue's
        # command for it: "{installer}" quoted, then /S.
        self.start_service_with("--package", "fernwick-setup.exe")
        self.assertEqual(self.service.installation()["launch_cmd"], "\"{installer}\" /S")
        module = self.launch_installer(os.path.join(local, harness.PRODUCT + "_downloader"))
        self.assertIn(" ", module)

    def test_5c_installer_from_a_profile_folder_with_an_ampersand(self):
        # A profile folder such as "C:\users\张 三&A": the bare placeholder
        # is quoted when substituted and the whole command once more, so "&"
        # stays in the path instead of splitting the command processor's line.
        self.set_local_appdata("%USERPROFILE%\\\u5f20 \u4e09&A")
        local = os.path.join(self.wine.user, "\u5f20 \u4e09&A")
        self.addCleanup(shutil.rmtree, local, True)
        self.start_service_with("--package", "fernwick-setup.exe", "--launch-cmd",
                                "{installer} /S")
        module = self.launch_installer(os.path.join(local, harness.PRODUCT + "_downloader"))
        self.assertIn("&", module)

    def test_4b_a_launch_command_naming_no_file_is_reported_as_a_failed_launch(self):
        self.start_service_with("--launch-cmd", "{target_dir}\\Fernwick\\Missing.exe")
        assistant, package = self.download_and_launch(self.wine.downloader)
        box = self.display.find_window(harness.ERROR_CAPTION, 60)
        self.assertIsNotNone(box, "no error box")
        self.assertIn("启动安装程序失败！", self.wine.window_texts(harness.ERROR_CAPTION) or [])
        self.display.press_in(box, "Return")
        self.assertTrue(wait_for(lambda: self.wine.window_texts(harness.ERROR_CAPTION) is None,
                                 20), "the error box stayed")
        self.assertEqual(self.close_with_button(assistant), 0)
        self.assert_events([
            ("startup", {}),
            ("download_start", {"host": "127.0.0.1", "recorded": False}),
            ("download_done", {"bytes": os.path.getsize(package), "retries": 0,
                               "resumed": False}),
            ("unpack_done", {"entries": ANY, "bytes": ANY}),
            ("launch_failed", {"reason": "missing_file", "code": 2}),
            ("error_shown", {"key": "launch_failed"}),
            ("closed", {"page": "install"})])

    def test_5d_switched_off_outcome_events_leave_the_funnel_alone(self):
        quiet = self.wine.brand("quiet.exe", lambda config: dict(
            config, service_url=self.service.address, stats_url=self.service.address,
            outcome_events=False), os.path.join(self.root, "quiet"))
        self.start_service_with("--package", "fernwick-setup.exe")
        assistant, _ = self.start_and_show(quiet)
        assistant.click_control("ok1")
        package = os.path.join(self.wine.installer_folder, "fernwick-setup.exe")
        self.assertTrue(wait_for(lambda: self.wine.recorded_package() == package, 60),
                        self.wine.installer_config())
        assistant.park_mouse()
        assistant.wait_screen("install_page", lambda shot: assistant.is_install_page(shot) and
                              not assistant.overlay_shown(shot), 30)
        assistant.click_control("p3_install_launch")
        self.assertTrue(wait_for(lambda: self.service.event_count("installer_launch") == 1, 60),
                        self.service.events())
        self.assertTrue(wait_for(lambda: self.display.find_window(SETUP_TITLE, 0) is None, 60),
                        "the installer window stayed")
        self.assertEqual(self.close_with_button(assistant), 0)
        # The funnel still comes, with its payload as ever; nothing else does.
        self.assert_events([("startup", {}), ("installer_launch", {})])
        self.assertEqual(self.service.events(), {"startup": 1, "installer_launch": 1})

    def test_5b_installer_with_the_bare_placeholder(self):
        # "{installer} /S" as it stands: fine for a path without a blank.
        self.start_service_with("--package", "fernwick-setup.exe", "--launch-cmd",
                                "{installer} /S")
        self.launch_installer(self.wine.downloader)

    def launch_installer(self, downloader):
        """Downloads and launches the sample installer, which must run from
        downloader's installer folder with /S alone while "installer_launch"
        is counted once. Answers the module path its marker gives."""
        assistant, package = self.download_and_launch(downloader)
        self.assertEqual(package, os.path.join(downloader, "installer", "fernwick-setup.exe"))

        # cmd.exe runs it with the switch: its window shows the unattended
        # installation for two seconds, and it marks its run beside itself.
        window = wait_for(lambda: self.display.find_window(SETUP_TITLE, 0), 60, step=0.05)
        self.assertIsNotNone(window, "no installer window")
        self.display.screenshot(os.path.join(self.screens, "launched_installer.png"))
        marker_path = os.path.join(downloader, "installer", "fernwick-setup-ran.txt")
        marker = wait_for(lambda: read_marker(marker_path), 30)
        self.assertTrue(marker, "the installer did not run (no %s)" % marker_path)
        values = dict(marker)
        self.assertEqual(values["program"], "setup")
        self.assertEqual(values["mode"], "silent")
        self.assertEqual([value for key, value in marker if key == "arg"], ["/S"])
        self.assertEqual(values["module"].lower(), self.windows_path(package).lower())

        self.assertTrue(wait_for(lambda: self.service.event_count("installer_launch") == 1, 30),
                        self.service.events())
        # The unattended installer ends by itself; the assistant stays.
        self.assertTrue(wait_for(lambda: self.display.find_window(SETUP_TITLE, 0) is None, 30),
                        "the installer window stayed")
        self.assertIsNone(assistant.process.poll())
        return values["module"]

    def set_local_appdata(self, value):
        """Points the user's local application data folder at value (with
        environment strings) for this test; the old setting comes back after."""
        query = self.wine.reg("query", USER_SHELL_FOLDERS, "/v", "Local AppData")
        found = re.search(r"Local AppData\s+REG_\w+\s+(.+?)\s*$",
                          query.stdout.decode("utf-8", "replace"), re.M)
        old = found.group(1) if found else None
        self.wine.reg_add(USER_SHELL_FOLDERS, "Local AppData", "REG_EXPAND_SZ", value)
        restore = old or "%USERPROFILE%\\AppData\\Local"
        self.addCleanup(lambda: self.wine.reg_add(USER_SHELL_FOLDERS, "Local AppData",
                                                  "REG_EXPAND_SZ", restore))


if __name__ == "__main__":
    unittest.main()
