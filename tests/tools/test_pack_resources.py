"""Tests of tools/pack_resources.py: python3 -m unittest discover -s tests/tools -p 'test_*.py'"""

import contextlib
import io
import json
import os
import shutil
import sys
import tempfile
import unittest
import zipfile

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
sys.path.insert(0, os.path.join(ROOT, "tools"))

import pack_resources  # noqa: E402
from pack_resources import PackError, build_entries, parse_skin, zip_bytes  # noqa: E402

RESOURCES = os.path.join(ROOT, "resources")
DEPLOYMENT = {"service_url": "http://127.0.0.1:8080", "stats_url": "https://stats.example.com/",
              "stats_hostname": "stats.example.com"}


class FolderTest(unittest.TestCase):
    """Each test works on its own copy of the repository's resources folder."""

    def setUp(self):
        self.tmp = tempfile.mkdtemp()
        self.folder = os.path.join(self.tmp, "acme-resources")
        shutil.copytree(RESOURCES, self.folder)

    def tearDown(self):
        shutil.rmtree(self.tmp)

    def path(self, rel):
        return os.path.join(self.folder, *rel.split("/"))

    def write(self, rel, data):
        os.makedirs(os.path.dirname(self.path(rel)), exist_ok=True)
        with open(self.path(rel), "wb") as f:
            f.write(data.encode("utf-8") if isinstance(data, str) else data)

    def read(self, rel):
        with open(self.path(rel), "rb") as f:
            return f.read()

    def problems(self, overrides=None):
        with self.assertRaises(PackError) as caught:
            build_entries(self.folder, overrides)
        return "\n".join(caught.exception.problems)


class PackingTest(FolderTest):
    def test_members_are_rooted_at_resources_whatever_the_folder_is_called(self):
        self.write("CMakeLists.txt", "# build file")
        self.write(".hidden", "x")
        self.write("themes/default/__pycache__/x.pyc", b"\0")
        names = [name for name, _ in build_entries(self.folder, DEPLOYMENT)]
        self.assertEqual(sorted(names), names)
        for required in pack_resources.REQUIRED_MEMBERS:
            self.assertIn(required, names)
        self.assertIn("resources/themes/default/images/header.png", names)
        self.assertIn("resources/themes/default/public/bk/bk_shadow.png", names)
        self.assertTrue(all(n.startswith("resources/") for n in names), names)
        self.assertFalse([n for n in names if "CMakeLists" in n or "/." in n or "pycache" in n])

    def test_archive_holds_the_files_and_the_configured_deployment(self):
        entries = build_entries(self.folder, DEPLOYMENT)
        data = zip_bytes(entries)
        self.assertEqual(data, zip_bytes(build_entries(self.folder, DEPLOYMENT)))  # repeatable
        with zipfile.ZipFile(io.BytesIO(data)) as archive:
            self.assertIsNone(archive.testzip())
            for info in archive.infolist():
                self.assertEqual((1980, 1, 1, 0, 0, 0), info.date_time)
                if info.filename != "resources/config.json":
                    rel = info.filename[len("resources/"):]
                    self.assertEqual(self.read(rel), archive.read(info), rel)
            config = json.loads(archive.read("resources/config.json").decode("utf-8"))
            # Text compresses; the PNGs are kept as they are when that is smaller.
            self.assertEqual(zipfile.ZIP_DEFLATED,
                             archive.getinfo("resources/themes/default/basic/basic.xml")
                             .compress_type)
        original = json.loads(self.read("config.json").decode("utf-8"))
        self.assertEqual(["product", "channel", "name", "intro", "service_url", "stats_url",
                          "stats_hostname"], list(config))
        for key in ("product", "channel", "name", "intro"):
            self.assertEqual(original[key], config[key])
        self.assertEqual("http://127.0.0.1:8080", config["service_url"])
        self.assertEqual("https://stats.example.com", config["stats_url"])  # no trailing "/"
        self.assertEqual("stats.example.com", config["stats_hostname"])

    def test_an_empty_setting_leaves_the_key_out_and_the_folder_is_not_changed(self):
        before = self.read("config.json")
        self.write("config.json", before.decode("utf-8").replace(
            '"channel"', '"service_url": "http://old.example.com", "channel"'))
        entries = dict(build_entries(self.folder, {"service_url": "", "channel": "07"}))
        config = json.loads(entries["resources/config.json"])
        self.assertNotIn("service_url", config)
        self.assertEqual("07", config["channel"])
        self.assertIn(b"http://old.example.com", self.read("config.json"))

    def test_product_configuration_problems(self):
        cases = [
            (b"\xef\xbb\xbf{}", "byte-order mark"),
            (b'{"product": "x",', "not valid JSON"),
            (b'["product"]', "JSON object"),
            (b'{"product": "x", "name": 7}', '"name" must be a string'),
            (b'{"name": "X"}', '"product" must be a non-empty string'),
            (b'{"product": "x", "name": "  "}', '"name" must be a non-empty string'),
            (b'{"product": "x", "name": "X", "service_url": "ftp://h"}', '"service_url"'),
            (b'{"product": "x", "name": "X", "stats_url": "http://h/a?b=1"}', "without query"),
            (b'{"product": "x", "name": "X", "stats_url": "http://h:99999"}', "invalid port"),
            (b'{"product": "x", "name": "X", "stats_hostname": "http://h/"}', "bare host name"),
            (b'{"product": "x", "name": "\xff"}', "not UTF-8"),
            (b'{"product": "x", "name": "X", "outcome_events": "false"}', "true or false"),
            (b'{"product": "x", "name": "X", "outcome_events": 0}', "true or false"),
        ]
        for data, expected in cases:
            with self.subTest(expected=expected):
                self.write("config.json", data)
                self.assertIn(expected, self.problems())

    def test_missing_required_files_are_all_reported(self):
        os.remove(self.path("config.json"))
        os.remove(self.path("themes/default/toast/toast.xml"))
        problems = self.problems()
        self.assertIn("resources/config.json: missing", problems)
        self.assertIn("resources/themes/default/toast/toast.xml: missing", problems)


class SkinTest(FolderTest):
    def window(self, body, root_attributes=' size="100,100"'):
        self.write("themes/default/basic/basic.xml",
                   f'<?xml version="1.0" encoding="UTF-8"?>\n<Window{root_attributes}>\n'
                   f"{body}\n</Window>\n")

    def test_the_repository_skins_parse_into_the_expected_tree(self):
        root = parse_skin(self.read("themes/default/basic/basic.xml").decode("utf-8"))
        names = {el.get("name") for el in root.walk() if el.get("name")}
        for name in ("btn_close", "pages", "p1_lb_name", "p1_lb_intro", "p1_lb_fullname",
                     "p1_et_location", "ok1", "p3_support", "p3_install_tutorial",
                     "p3_install_tutorial_text", "p3_install_launch", "p3_install_launch_text",
                     "p3_dir", "install", "install_close", "install_lb_status",
                     "install_progress", "support", "support_close", "support_qr", "support_qq",
                     "support_qq_link", "support_ok"):
            self.assertIn(name, names)
        event = next(el for el in root.walk() if el.name == "Event")
        self.assertEqual('normaltextcolor="blue"', event.get("applyattribute"))  # &quot;

    def test_markup_the_skin_parser_would_misread(self):
        cases = [
            ("<Box name='a'/>", "double quotes"),
            ('<Box data-x="1"/>', "attribute"),
            ('<Label text="a&nbsp;b"/>', "&nbsp;"),
            ('<Label text="&#26;"/>', "&#26;"),
            ("<!-- header -> pages -->", '"->"'),
            ("<Box/> loose text <Box/>", "text between elements"),
            ("<Box><Label></Box>", "does not close"),
            ("<Box>", "</Window> does not close <Box>"),
            ("<!DOCTYPE x>", "only comments"),
        ]
        for body, expected in cases:
            with self.subTest(body=body):
                self.window(body)
                self.assertIn(expected, self.problems())
        attributes = " ".join(f'a{i}="{i}"' for i in range(65))
        self.window(f"<Box {attributes}/>")
        self.assertIn("reads only 64", self.problems())
        self.write("themes/default/basic/basic.xml", b"\xef\xbb\xbf<Window/>")
        self.assertIn("byte-order mark", self.problems())
        self.write("themes/default/basic/basic.xml", '<Window size="1,1"><Box>')
        self.assertIn("<Box> is not closed", self.problems())

    def test_images_are_resolved_like_the_program_does(self):
        # Relative to the window's folder; "images/x" below it does not exist.
        self.window('<Control bkimage="../images/logo.png"/>'
                    '<Control bkimage="file=\'../images/header.png\' corner=\'1,2,3,4\'"/>')
        build_entries(self.folder)
        self.window('<Control bkimage="images/logo.png"/>')
        self.assertIn("resources/themes/default/basic/images/logo.png is not in the folder",
                      self.problems())
        self.window("<Control normalimage=\"file='../images/logo.png'corner='1,1,1,1'\"/>")
        self.assertIn("a space must follow", self.problems())
        self.window('<Control bkimage="C:\\skins\\logo.png"/>')
        self.assertIn("absolute path", self.problems())
        # Names match with ASCII case folded, as in the archive lookup.
        self.window('<Control bkimage="../IMAGES/Logo.PNG"/>')
        build_entries(self.folder)

    def test_global_classes_and_the_default_shadow_are_checked(self):
        os.remove(self.path("themes/default/images/scrollbar/v_rail.png"))
        problems = self.problems()
        self.assertIn("global.xml: line", problems)
        self.assertIn("resources/themes/default/images/scrollbar/v_rail.png is not", problems)

        shutil.copy(self.path("themes/default/images/logo.png"),
                    self.path("themes/default/images/scrollbar/v_rail.png"))
        os.remove(self.path("themes/default/public/bk/bk_shadow.png"))
        self.assertIn("default shadow", self.problems())
        # A window without the shadow does not need the image.
        self.window("<Box/>", ' size="10,10" shadowattached="false"')
        build_entries(self.folder)


class LanguageTest(FolderTest):
    def test_lines_the_program_would_drop_or_misread(self):
        good = "; comment = with equals\n\nSTRID_A = 确定\r\nSTRID_B==二\n"
        self.write("lang/zh_CN/gdstrings.ini", good)
        build_entries(self.folder)
        cases = [
            ("\ufeffSTRID_A = a\n", "byte-order mark"),
            ("STRID_A\n", 'expected "id = text"'),
            ("STRID_A = a = b\n", 'no "=" in the text'),
            ("STRID_A =\n", 'expected "id = text"'),
            ("STRID_A = a\nSTRID_A = b\n", "already defined on line 1"),
            ("ID;X = a\n", "read as a comment"),
            ("STRID_A = " + "长" * 1400 + "\n", "longer than 4095 bytes"),
        ]
        for text, expected in cases:
            with self.subTest(expected=expected):
                self.write("lang/zh_CN/gdstrings.ini", text)
                self.assertIn(expected, self.problems())


class CommandLineTest(FolderTest):
    def run_main(self, *argv):
        out, err = io.StringIO(), io.StringIO()
        with contextlib.redirect_stdout(out), contextlib.redirect_stderr(err):
            try:
                code = pack_resources.main(list(argv))
            except SystemExit as e:
                code = e.code
        return code, out.getvalue() + err.getvalue()

    def test_writes_the_zip_or_reports_and_keeps_the_old_one(self):
        target = os.path.join(self.tmp, "out", "theme.zip")
        code, output = self.run_main(self.folder, "-o", target, "--set", "stats_hostname=h.example")
        self.assertEqual(0, code, output)
        with zipfile.ZipFile(target) as archive:
            config = json.loads(archive.read("resources/config.json"))
        self.assertEqual("h.example", config["stats_hostname"])
        with open(target, "rb") as f:
            before = f.read()

        self.write("config.json", "{")
        code, output = self.run_main(self.folder, "-o", target)
        self.assertEqual(1, code)
        self.assertIn("pack_resources: resources/config.json: not valid JSON", output)
        with open(target, "rb") as f:
            self.assertEqual(before, f.read())
        self.assertFalse(os.path.exists(target + ".tmp"))

        self.assertEqual(1, self.run_main(self.folder, "--check")[0])
        self.assertEqual(2, self.run_main(self.folder)[0])  # neither -o nor --check
        code, output = self.run_main(self.folder, "--check", "--set", "service_url")
        self.assertEqual(1, code)
        self.assertIn("expected KEY=VALUE", output)
        self.assertEqual(1, self.run_main(os.path.join(self.tmp, "nowhere"), "--check")[0])

    def test_outcome_events_switch(self):
        target = os.path.join(self.tmp, "switch.zip")

        def packed(*argv):
            code, output = self.run_main(self.folder, "-o", target, *argv)
            self.assertEqual(0, code, output)
            with zipfile.ZipFile(target) as archive:
                return json.loads(archive.read("resources/config.json"))

        self.assertNotIn("outcome_events", packed())
        self.assertIs(False, packed("--outcome-events", "off")["outcome_events"])
        self.assertIs(True, packed("--outcome-events", "on")["outcome_events"])
        # A string the assistant would not read as the switch is refused.
        code, output = self.run_main(self.folder, "--check", "--set", "outcome_events=false")
        self.assertEqual(1, code)
        self.assertIn('"outcome_events" must be true or false', output)
        self.assertEqual(2, self.run_main(self.folder, "--check", "--outcome-events", "no")[0])


if __name__ == "__main__":
    unittest.main()
