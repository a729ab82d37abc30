"""Signing a branded assistant with tools/sign_assistant.py: test
certificates made with openssl, a copy branded with brand.exe for the
reference service, signed, checked with osslsigncode verify, tampered with,
and started under Wine.

Run by ctest (tests/tools/CMakeLists.txt) with ASSISTANT_EXE, BRAND_EXE,
THEME_ZIP, WINE_RUN and TEST_DIR in the environment; the display, prefix and
service come from the end-to-end harness (tests/e2e/harness.py).
"""

import http.server
import os
import shutil
import subprocess
import sys
import threading
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
import harness  # noqa: E402

import pe_resources  # noqa: E402

SIGN = os.path.join(ROOT, "tools", "sign_assistant.py")
PASSWORD = "correct horse"


def openssl(*args):
    subprocess.run(["openssl"] + list(args), check=True, capture_output=True, timeout=120)


def self_signed(folder, name, usage):
    key, cert = os.path.join(folder, name + ".key"), os.path.join(folder, name + ".pem")
    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert,
            "-days", "2", "-subj", "/CN=Assistant test " + name,
            "-addext", "extendedKeyUsage=critical," + usage,
            "-addext", "keyUsage=critical,digitalSignature")
    return cert, key


def verify(path, ca_file, *extra):
    """(exit code, report) of osslsigncode verify."""
    result = subprocess.run(["osslsigncode", "verify", "-in", path, "-CAfile", ca_file]
                            + list(extra), capture_output=True, timeout=120)
    return result.returncode, (result.stdout + result.stderr).decode("utf-8", "replace")


class TimestampServer:
    """An RFC 3161 timestamp server on loopback: openssl ts answers each query."""

    def __init__(self, folder):
        self.cert, self.key = self_signed(folder, "tsa", "timeStamping")
        config = os.path.join(folder, "tsa.cnf")
        with open(os.path.join(folder, "tsa.serial"), "w") as f:
            f.write("01\n")
        with open(config, "w") as f:
            f.write("[tsa]\ndefault_tsa = tsa_config\n[tsa_config]\n"
                    "serial = %s\ncrypto_device = builtin\nsigner_digest = sha256\n"
                    "default_policy = 1.2.3.4.1\ndigests = sha256, sha384, sha512\n"
                    "ess_cert_id_alg = sha256\n" % os.path.join(folder, "tsa.serial"))
        server = self
        self.queries = 0

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_POST(self):
                query = os.path.join(folder, "query.tsq")
                reply = os.path.join(folder, "reply.tsr")
                with open(query, "wb") as f:
                    f.write(self.rfile.read(int(self.headers["Content-Length"])))
                openssl("ts", "-reply", "-config", config, "-queryfile", query,
                        "-inkey", server.key, "-signer", server.cert, "-out", reply)
                server.queries += 1
                with open(reply, "rb") as f:
                    body = f.read()
                self.send_response(200)
                self.send_header("Content-Type", "application/timestamp-reply")
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)

            def log_message(self, *args):
                pass

        self.httpd = http.server.HTTPServer(("127.0.0.1", 0), Handler)
        self.url = "http://127.0.0.1:%d/" % self.httpd.server_address[1]
        self.thread = threading.Thread(target=self.httpd.serve_forever, daemon=True)
        self.thread.start()

    def close(self):
        self.httpd.shutdown()
        self.httpd.server_close()


class AssistantSigningTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.root = os.environ["TEST_DIR"]
        cls.certs = os.path.join(cls.root, "certs")
        shutil.rmtree(cls.certs, ignore_errors=True)
        os.makedirs(cls.certs)
        cls.cert, cls.key = self_signed(cls.certs, "signer", "codeSigning")
        cls.other_cert, _ = self_signed(cls.certs, "other", "codeSigning")
        cls.pkcs12 = os.path.join(cls.certs, "signer.p12")
        openssl("pkcs12", "-export", "-in", cls.cert, "-inkey", cls.key, "-out", cls.pkcs12,
                "-passout", "pass:" + PASSWORD)
        # The prefix stays between runs: a fresh one starts its first window slowly.
        cls.session = harness.Session(cls.root, os.path.join(cls.root, "wine"))
        cls.wine, cls.branded = cls.session.wine, cls.session.exe

    @classmethod
    def tearDownClass(cls):
        cls.session.close()

    def setUp(self):
        self.out = os.path.join(self.root, self.id().split(".")[-1])
        shutil.rmtree(self.out, ignore_errors=True)
        os.makedirs(self.out)

    def sign(self, output, *args, env=None, source=None):
        result = subprocess.run([sys.executable, "-B", SIGN, source or self.branded, output]
                                + list(args),
                                capture_output=True, timeout=300,
                                env=dict(os.environ, **(env or {})))
        return result.returncode, result.stderr.decode("utf-8", "replace")

    def assert_nothing_left_but(self, *names):
        self.assertEqual(sorted(os.listdir(self.out)), sorted(names))

    def test_signed_copy_verifies_keeps_its_resources_and_starts(self):
        signed = os.path.join(self.out, "signed.exe")
        code, errors = self.sign(signed, "--cert", self.cert, "--key", self.key,
                                 "--ca-file", self.cert, "--name", "Fernwick")
        self.assertEqual(code, 0, errors)
        code, report = verify(signed, self.cert)
        self.assertEqual(code, 0, report)
        self.assertIn("Message digest algorithm  : SHA256", report)
        self.assertIn("Text description: Fernwick", report)
        # Trusting another certificate is not enough.
        self.assertNotEqual(verify(signed, self.other_cert)[0], 0)
        manifest = pe_resources.find_resources(signed, pe_resources.RT_MANIFEST)
        self.assertTrue(manifest)
        self.assertEqual(manifest, pe_resources.find_resources(self.branded,
                                                               pe_resources.RT_MANIFEST))

        self.session.service.start()
        self.wine.clean_user_data()
        assistant = harness.Assistant(self.wine, signed, os.path.join(self.out, "screens"))
        try:
            assistant.wait_window()
            assistant.screenshot("signed_started")
            assistant.click_control("btn_close")
            self.assertEqual(assistant.wait_exit(60), 0)
        finally:
            assistant.kill()
            self.session.service.stop()

    def test_tampered_or_rebranded_copy_fails_verification(self):
        signed = os.path.join(self.out, "signed.exe")
        self.assertEqual(self.sign(signed, "--cert", self.cert, "--key", self.key,
                                   "--ca-file", self.cert)[0], 0)
        with open(signed, "rb") as f:
            data = bytearray(f.read())
        tampered = os.path.join(self.out, "tampered.exe")
        data[len(data) // 3] ^= 0x01
        with open(tampered, "wb") as f:
            f.write(data)
        code, report = verify(tampered, self.cert)
        self.assertNotEqual(code, 0, report)

        # Branding a signed copy leaves its old signature behind, no longer
        # valid; signing again replaces it.
        rebranded = os.path.join(self.out, "rebranded.exe")
        subprocess.run([os.environ["WINE_RUN"], "--prefix", self.wine.prefix,
                        os.environ["BRAND_EXE"], signed, os.environ["THEME_ZIP"], rebranded],
                       env=self.wine.env, check=True, capture_output=True, timeout=300)
        self.assertNotEqual(verify(rebranded, self.cert)[0], 0)
        resigned = os.path.join(self.out, "resigned.exe")
        code, errors = self.sign(resigned, "--cert", self.cert, "--key", self.key,
                                 "--ca-file", self.cert, source=rebranded)
        self.assertEqual(code, 0, errors)
        code, report = verify(resigned, self.cert)
        self.assertEqual(code, 0, report)
        self.assertIn("Number of verified signatures: 1", report)

    def test_pkcs12_with_password_and_timestamp(self):
        tsa = TimestampServer(self.certs)
        try:
            signed = os.path.join(self.out, "signed.exe")
            code, errors = self.sign(signed, "--pkcs12", self.pkcs12, "--password-env",
                                     "SIGNING_PASSWORD", "--timestamp", tsa.url,
                                     "--ca-file", self.cert, "--tsa-ca-file", tsa.cert,
                                     env={"SIGNING_PASSWORD": PASSWORD})
            self.assertEqual(code, 0, errors)
            self.assertEqual(tsa.queries, 1)
            code, report = verify(signed, self.cert, "-TSA-CAfile", tsa.cert)
            self.assertEqual(code, 0, report)
            self.assertIn("Timestamp Server Signature verification: ok", report)
            # The password's temporary file is gone with the staging copy.
            self.assert_nothing_left_but("signed.exe")
        finally:
            tsa.close()

    def test_failures_write_nothing(self):
        output = os.path.join(self.out, "signed.exe")
        password_file = os.path.join(self.certs, "wrong.pass")
        with open(password_file, "w") as f:
            f.write("wrong\n")
        failures = {
            "wrong password": ["--pkcs12", self.pkcs12, "--password-file", password_file],
            "unset password variable": ["--pkcs12", self.pkcs12, "--password-env",
                                        "SIGNING_PASSWORD_NOT_SET"],
            # Self-signed, so the system's roots do not trust it.
            "untrusted signer": ["--cert", self.cert, "--key", self.key],
            "key of another certificate": ["--cert", self.other_cert, "--key", self.key,
                                           "--ca-file", self.other_cert],
            "unreachable timestamp server": ["--cert", self.cert, "--key", self.key,
                                             "--ca-file", self.cert,
                                             "--timestamp", "http://127.0.0.1:9/"],
        }
        for what, args in failures.items():
            with self.subTest(what):
                code, errors = self.sign(output, *args)
                self.assertEqual(code, 1, errors)
                self.assertIn("sign_assistant:", errors)
                self.assert_nothing_left_but()

        self.assertEqual(self.sign(self.branded, "--cert", self.cert, "--key", self.key)[0], 1)
        for args in (["--cert", self.cert], ["--pkcs12", self.pkcs12, "--key", self.key], []):
            with self.subTest(args=args):
                self.assertEqual(self.sign(output, *args)[0], 2)
        self.assert_nothing_left_but()


if __name__ == "__main__":
    unittest.main()
