"""The sample programs and their packages, run under Wine without a window
(--exit-after 0): the run marker they write, their exit codes, and the
members of the zip package.

Run by ctest (tests/tools/CMakeLists.txt) with PRODUCT_EXE, SETUP_EXE,
PACKAGES_DIR, WINE_RUN, WINE_PREFIX (the tests' Wine prefix) and TEST_DIR
(a scratch folder) in the environment.
"""

import os
import shutil
import subprocess
import unittest
import zipfile


def windows_path(path):
    """The path as Wine shows it (the Unix root is drive Z:)."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class SampleProgramsTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.root = os.environ["TEST_DIR"]
        cls.prefix = os.environ.get("WINE_PREFIX") or os.path.join(cls.root, "wineprefix")
        cls.work = os.path.join(cls.root, "work dir")  # a blank in every path
        shutil.rmtree(cls.work, ignore_errors=True)
        os.makedirs(cls.work)

    def run_program(self, exe, *args, marker=None):
        env = dict(os.environ)
        env.pop("FERNWICK_MARKER", None)
        if marker is not None:
            env["FERNWICK_MARKER"] = marker
        result = subprocess.run([os.environ["WINE_RUN"], "--prefix", self.prefix, exe] + list(args),
                                env=env, cwd=self.work, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL, timeout=300)
        return result.returncode

    @staticmethod
    def read_marker(path):
        lines = []
        with open(path, encoding="utf-8", newline="") as f:
            for line in f.read().split("\r\n"):
                if line:
                    key, _, value = line.partition("=")
                    lines.append((key, value))
        return lines

    def copy_into_work(self, exe, name):
        target = os.path.join(self.work, name)
        shutil.copyfile(exe, target)
        return target

    def test_product_records_arguments_path_and_folder_beside_itself(self):
        exe = self.copy_into_work(os.environ["PRODUCT_EXE"], "Fernwick.exe")
        marker = os.path.join(self.work, "fernwick-ran.txt")
        if os.path.exists(marker):
            os.remove(marker)
        self.assertEqual(self.run_program(exe, "--exit-after", "0", "two words", "蕨"), 0)
        lines = self.read_marker(marker)
        values = dict(lines)
        self.assertEqual(values["program"], "product")
        self.assertEqual([v for k, v in lines if k == "arg"],
                         ["--exit-after", "0", "two words", "蕨"])
        self.assertEqual(values["module"].lower(), windows_path(exe).lower())
        self.assertEqual(values["cwd"].lower(), windows_path(self.work).lower())
        self.assertIn('"two words"', values["command_line"])
        self.assertFalse(os.path.exists(marker + ".tmp"))

    def test_setup_marks_silent_and_interactive_runs_where_told(self):
        marker = os.path.join(self.work, "setup marker.txt")
        for args, mode in ((["/S", "--exit-after", "0"], "silent"),
                           (["/s", "--exit-after", "0"], "interactive")):
            with self.subTest(args=args):
                self.assertEqual(self.run_program(os.environ["SETUP_EXE"], *args,
                                                  marker=windows_path(marker)), 0)
                values = dict(self.read_marker(marker))
                self.assertEqual(values["program"], "setup")
                self.assertEqual(values["mode"], mode)
                os.remove(marker)

    def test_unwritable_marker_gives_exit_code_two(self):
        missing = os.path.join(self.work, "no such folder", "marker.txt")
        self.assertEqual(self.run_program(os.environ["PRODUCT_EXE"], "--exit-after", "0",
                                          marker=windows_path(missing)), 2)

    def test_zip_package_carries_the_product_where_the_catalogue_launches_it(self):
        packages = os.environ["PACKAGES_DIR"]
        with zipfile.ZipFile(os.path.join(packages, "fernwick-1.0.zip")) as z:
            self.assertEqual(sorted(z.namelist()), ["Fernwick/Fernwick.exe", "Fernwick/README.txt"])
            with open(os.environ["PRODUCT_EXE"], "rb") as f:
                self.assertEqual(z.read("Fernwick/Fernwick.exe"), f.read())
        with open(os.path.join(packages, "fernwick-setup.exe"), "rb") as packed, \
                open(os.environ["SETUP_EXE"], "rb") as built:
            self.assertEqual(packed.read(), built.read())


if __name__ == "__main__":
    unittest.main()
