"""The application manifest as the built assistant carries it, and as a copy
branded with brand.exe still carries it: read back from the executables on
the Linux side (pe_resources.py) and parsed as XML.

Run by ctest (tests/tools/CMakeLists.txt) with ASSISTANT_EXE, BRAND_EXE,
THEME_ZIP, WINE_RUN and TEST_DIR in the environment.
"""

import os
import shutil
import subprocess
import unittest
import xml.etree.ElementTree as ET

import pe_resources

ASM_V1 = "{urn:schemas-microsoft-com:asm.v1}"
ASM_V3 = "{urn:schemas-microsoft-com:asm.v3}"
COMPAT = "{urn:schemas-microsoft-com:compatibility.v1}"
WS_2005 = "{http://schemas.microsoft.com/SMI/2005/WindowsSettings}"
WS_2016 = "{http://schemas.microsoft.com/SMI/2016/WindowsSettings}"

SUPPORTED_OS = {
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  # Windows 7
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  # Windows 8
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  # Windows 8.1
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  # Windows 10 and 11
}


def manifests(path):
    """{(name id, language): bytes} of every RT_MANIFEST resource of path."""
    return pe_resources.find_resources(path, pe_resources.RT_MANIFEST)


class ManifestChecks:
    """Checks of one executable's manifest; the subclass sets cls.exe."""

    @classmethod
    def manifest(cls):
        found = manifests(cls.exe)
        if len(found) != 1:
            raise AssertionError("expected one RT_MANIFEST resource, found %s" % sorted(found))
        (name, _), data = next(iter(found.items()))
        if name != 1:
            raise AssertionError("the manifest is RT_MANIFEST %d, not 1" % name)
        return ET.fromstring(data)

    def setUp(self):
        self.root = self.manifest()
        self.assertEqual(self.root.tag, ASM_V1 + "assembly")
        self.assertEqual(self.root.get("manifestVersion"), "1.0")

    def only(self, path):
        found = self.root.findall(path)
        self.assertEqual(len(found), 1, path)
        return found[0]

    def test_runs_as_invoker_without_ui_access(self):
        level = self.only("./%strustInfo/%ssecurity/%srequestedPrivileges/%srequestedExecutionLevel"
                          % (ASM_V3, ASM_V3, ASM_V3, ASM_V3))
        self.assertEqual(level.get("level"), "asInvoker")
        self.assertEqual(level.get("uiAccess"), "false")

    def test_supports_windows_7_to_11(self):
        ids = [node.get("Id") for node in self.root.findall(
            "./%scompatibility/%sapplication/%ssupportedOS" % (COMPAT, COMPAT, COMPAT))]
        self.assertEqual(len(ids), len(set(ids)), ids)
        self.assertEqual({i.lower() for i in ids}, SUPPORTED_OS)

    def test_windows_settings(self):
        settings = "./%sapplication/%swindowsSettings/" % (ASM_V3, ASM_V3)
        # The window scales itself: per-monitor V2, falling back to V1, and
        # per-monitor ("true/pm") or system aware where dpiAwareness is unknown.
        awareness = self.only(settings + WS_2016 + "dpiAwareness").text
        self.assertEqual([a.strip() for a in awareness.split(",")], ["PerMonitorV2", "PerMonitor"])
        self.assertEqual(self.only(settings + WS_2005 + "dpiAware").text.strip(), "true/pm")
        self.assertEqual(self.only(settings + WS_2016 + "longPathAware").text.strip(), "true")

    def test_asks_for_common_controls_6(self):
        identities = self.root.findall(
            "./%sdependency/%sdependentAssembly/%sassemblyIdentity" % (ASM_V1, ASM_V1, ASM_V1))
        self.assertEqual(len(identities), 1)
        identity = identities[0].attrib
        self.assertEqual(identity.get("type"), "win32")
        self.assertEqual(identity.get("name"), "Microsoft.Windows.Common-Controls")
        self.assertEqual(identity.get("version"), "6.0.0.0")
        self.assertEqual(identity.get("processorArchitecture"), "*")
        self.assertEqual(identity.get("publicKeyToken"), "6595b64144ccf1df")


class BuiltAssistantManifestTest(ManifestChecks, unittest.TestCase):
    exe = os.environ["ASSISTANT_EXE"]


class BrandedAssistantManifestTest(ManifestChecks, unittest.TestCase):
    """brand.exe rewrites THEME 129; the manifest must come through as it was."""

    @classmethod
    def setUpClass(cls):
        work = os.path.join(os.environ["TEST_DIR"], "manifest")
        shutil.rmtree(work, ignore_errors=True)
        os.makedirs(work)
        cls.exe = os.path.join(work, "branded.exe")
        subprocess.run([os.environ["WINE_RUN"], os.environ["BRAND_EXE"],
                        os.environ["ASSISTANT_EXE"], os.environ["THEME_ZIP"], cls.exe],
                       check=True, stdout=subprocess.DEVNULL, timeout=300)

    def test_manifest_bytes_unchanged(self):
        self.assertEqual(manifests(self.exe), manifests(os.environ["ASSISTANT_EXE"]))


if __name__ == "__main__":
    unittest.main()
