"""DLL planting: a user starts the assistant from a Downloads folder in which a
web page has left DLLs named like system DLLs. The assistant must load none
of them, neither at start-up nor later while it downloads a package and
launches the product.

Wine prefers its own builtin DLLs; WINEDLLOVERRIDES with "name=n,b" makes it
search for those names the way Windows does, beside the program first. Each
planted DLL is tests/e2e/planted_dll.cpp under another name, which leaves a
marker file in a folder of the test's when any process loads it. The control
is a program that imports winmm and msimg32 without restricting its search:
its markers show that the planting works, so the assistant's clean run means
something.

Besides the harness's programs this needs PLANTED_DLL, UNHARDENED_PROGRAM and
the build's sample packages (see launch_test.py).
"""

import os
import shutil
import struct
import subprocess
import unittest

import harness
from harness import wait_for
from launch_test import PRODUCT_TITLE, read_marker, sample_packages

# Planted: the DLLs the assistant imports that are not KnownDLLs, and those
# that system DLLs load for it later (themes, the rich edit control and its
# text shaping, sound, proxy scripts), as Wine's loaddll trace of a start and
# a download with launch lists them.
PLANTED = (
    "comctl32", "dwmapi", "gdiplus", "jsproxy", "msacm32", "msftedit", "msimg32", "riched20",
    "usp10", "uxtheme", "winhttp", "winmm",
)

# Not planted: what Wine's own system DLLs pull in through their import
# tables, which Wine 8 resolves with the search path the process started
# with, whatever the program restricted since: user32's version and zlib1 at
# start-up; winhttp's crypt32, secur32 and iphlpapi, and crypt32's bcrypt;
# gdiplus's windowscodecs and its propsys. Windows resolves a KnownDLL's
# imports from System32 and every later one with the restricted search.
# bcrypt is delay-loaded like the planted imports, and that the executable
# imports nothing but KnownDLLs at start is checked on its import table.
KNOWN_DLLS = {
    "advapi32", "clbcatq", "combase", "comdlg32", "coml2", "gdi32", "imagehlp", "imm32",
    "kernel32", "msctf", "msvcrt", "normaliz", "nsi", "ole32", "oleaut32", "psapi", "rpcrt4",
    "sechost", "setupapi", "shcore", "shell32", "shlwapi", "user32", "wldap32", "ws2_32",
}


def load_time_imports(path):
    """The lower-case names of the DLLs a PE executable's import directory
    lists (what the loader resolves before the program runs)."""
    with open(path, "rb") as f:
        image = f.read()
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    assert image[pe:pe + 4] == b"PE\0\0", "not a PE file"
    sections_count, optional_size = struct.unpack_from("<H12xH", image, pe + 6)
    optional = pe + 24
    magic = struct.unpack_from("<H", image, optional)[0]
    directories = optional + (112 if magic == 0x20B else 96)
    import_rva = struct.unpack_from("<I", image, directories + 8)[0]
    sections = []
    for i in range(sections_count):
        at = optional + optional_size + 40 * i
        size, rva, raw_size, raw = struct.unpack_from("<IIII", image, at + 8)
        sections.append((rva, max(size, raw_size), raw))

    def offset(rva):
        for start, size, raw in sections:
            if start <= rva < start + size:
                return raw + rva - start
        raise AssertionError("address %#x outside the sections" % rva)

    names = []
    at = offset(import_rva)
    while True:
        name_rva = struct.unpack_from("<I", image, at + 12)[0]
        if name_rva == 0:
            return names
        start = offset(name_rva)
        name = image[start:image.index(b"\0", start)].decode("ascii").lower()
        names.append(name[:-4] if name.endswith(".dll") else name)
        at += 20


class DllPlantingTest(harness.AssistantTestCase):
    folder_name = "dll_planting"
    start_service = False

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        # The "Downloads" folder: the branded assistant, the control program
        # and a stand-in for every planted name.
        cls.downloads = os.path.join(cls.root, "Downloads")
        shutil.rmtree(cls.downloads, ignore_errors=True)
        os.makedirs(cls.downloads)
        cls.assistant_exe = os.path.join(cls.downloads, "FernwickSetup.exe")
        shutil.copyfile(cls.exe, cls.assistant_exe)
        cls.control_exe = os.path.join(cls.downloads, "unhardened_program.exe")
        shutil.copyfile(os.environ["UNHARDENED_PROGRAM"], cls.control_exe)
        for name in PLANTED:
            shutil.copyfile(os.environ["PLANTED_DLL"], os.path.join(cls.downloads, name + ".dll"))
        cls.markers = os.path.join(cls.root, "markers")
        cls.env = dict(
            cls.wine.env,
            WINEDLLOVERRIDES="mscoree,mshtml=;%s=n,b" % ",".join(PLANTED),
            PLANTED_DLL_MARKERS=cls.wine.windows_path(cls.markers))

    def setUp(self):
        super().setUp()
        shutil.rmtree(self.markers, ignore_errors=True)
        os.makedirs(self.markers)

    def loaded(self):
        """{planted DLL name: program that loaded it} from the markers."""
        found = {}
        for name in os.listdir(self.markers):
            with open(os.path.join(self.markers, name), encoding="utf-8") as f:
                found[name.lower().replace(".dll.loaded", "")] = f.read()
        return found

    def test_assistant_imports_only_known_dlls_at_load_time(self):
        imports = load_time_imports(self.assistant_exe)
        self.assertIn("kernel32", imports)
        self.assertEqual(sorted(set(imports) - KNOWN_DLLS), [])
        # The control is what a careless link gives: its imports are listed.
        self.assertTrue({"msimg32", "winmm"} <= set(load_time_imports(self.control_exe)))

    def test_control_program_loads_the_dlls_planted_beside_it(self):
        result = subprocess.run([self.wine.wine_run, "--prefix", self.wine.prefix,
                                 self.control_exe], env=self.env, cwd=self.downloads,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)
        self.assertEqual(result.returncode, 0)
        loaded = self.loaded()
        self.assertEqual(sorted(loaded), ["msimg32", "winmm"])
        for program in loaded.values():
            self.assertEqual(program.lower(),
                             self.wine.windows_path(self.control_exe).lower())

    def test_assistant_loads_none_at_start_up_download_or_launch(self):
        self.service.start(args=["--packages", sample_packages()])
        # Started the way a double click in the folder starts it. A planted
        # DLL that loads can keep the window from ever showing: whichever
        # comes first ends the wait.
        assistant = self.start(self.assistant_exe, cwd=self.downloads, env=self.env)
        wait_for(lambda: self.loaded() or self.display.find_window(harness.WINDOW_NAME, 0), 90)
        self.assertEqual(self.loaded(), {}, "planted DLLs loaded at start-up")
        assistant.wait_window()
        assistant.wait_screen("shown", assistant.opaque, 30)

        # ok1 downloads and unpacks the sample zip package: WinHTTP, the
        # download overlay's bar, the install page.
        assistant.click_control("ok1")
        package = wait_for(self.wine.recorded_package, 60)
        self.assertTrue(package, "no package recorded: %r" % self.wine.installer_config())
        assistant.park_mouse()
        assistant.wait_screen("install_page", lambda shot: assistant.is_install_page(shot) and
                              not assistant.overlay_shown(shot), 30)

        # The launch card starts the unpacked product, which proves its run.
        assistant.click_control("p3_install_launch")
        ran = os.path.join(self.wine.product_dir, "Fernwick", "fernwick-ran.txt")
        self.assertTrue(wait_for(lambda: read_marker(ran), 60), "the product did not run")
        self.assertEqual(self.loaded(), {}, "planted DLLs loaded while downloading or launching")

        # The assistant still works with every import resolved late, and
        # closes cleanly once the product's window is out of the way.
        self.assertIsNone(assistant.process.poll())
        product = self.display.find_window(PRODUCT_TITLE, 30)
        self.assertIsNotNone(product, "no product window")
        x, y, width, height = wait_for(lambda: self.display.geometry(product), 10)
        self.display.xdotool("mousemove", x + width // 2, y + height // 2, "click", "1")
        self.display.xdotool("key", "alt+F4")
        self.assertTrue(wait_for(lambda: self.display.find_window(PRODUCT_TITLE, 0) is None, 30),
                        "the product window did not close")
        self.assertEqual(self.close_with_button(assistant), 0)
        self.assertEqual(self.loaded(), {})


if __name__ == "__main__":
    unittest.main()
