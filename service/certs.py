"""Test certificates for the reference service.

Makes, once, a test certificate authority, a certificate for ``localhost``
signed by it, and a self-signed ``localhost`` certificate that nothing trusts
(for tests of rejected certificates). With ``--install`` the authority is
added to the machine's trust store (Debian's update-ca-certificates); Wine's
WinHTTP validates server certificates against that store, and a running
wineserver only sees the change after a restart (``--restart-wineserver``).

    python3 -m service.certs [--dir DIR] [--install] [--restart-wineserver PREFIX]

The files are made with the ``openssl`` command-line tool.
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile

DEFAULT_DIR = os.environ.get(
    "INSTALL_ASSISTANT_TEST_CA",
    os.path.join(os.path.expanduser("~"), ".local", "share", "install-assistant", "test-ca"))
TRUST_DIR = "/usr/local/share/ca-certificates"
TRUST_NAME = "install-assistant-test-ca.crt"
SYSTEM_BUNDLE = "/etc/ssl/certs/ca-certificates.crt"


def _openssl(*args):
    subprocess.run(["openssl", *args], check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.PIPE)


def _valid_for_a_while(cert):
    """True when cert exists and stays valid for at least 30 more days."""
    if not os.path.exists(cert):
        return False
    result = subprocess.run(["openssl", "x509", "-checkend", str(30 * 86400), "-noout",
                             "-in", cert], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return result.returncode == 0


def paths(directory=DEFAULT_DIR):
    return {name: os.path.join(directory, name) for name in (
        "ca.pem", "ca.key", "localhost.pem", "localhost.key", "untrusted.pem", "untrusted.key")}


def ensure(directory=DEFAULT_DIR):
    """Creates whatever is missing or about to expire; answers the paths."""
    os.makedirs(directory, exist_ok=True)
    p = paths(directory)
    if not (_valid_for_a_while(p["ca.pem"]) and os.path.exists(p["ca.key"])):
        _openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-sha256", "-days", "3650",
                 "-keyout", p["ca.key"], "-out", p["ca.pem"],
                 "-subj", "/CN=Install Assistant Test CA",
                 "-addext", "basicConstraints=critical,CA:TRUE",
                 "-addext", "keyUsage=critical,keyCertSign,cRLSign")
        for name in ("localhost.pem", "localhost.key"):
            if os.path.exists(p[name]):
                os.remove(p[name])
    if not (_valid_for_a_while(p["localhost.pem"]) and os.path.exists(p["localhost.key"])):
        with tempfile.TemporaryDirectory() as tmp:
            csr = os.path.join(tmp, "localhost.csr")
            ext = os.path.join(tmp, "ext.cnf")
            with open(ext, "w") as f:
                f.write("subjectAltName=DNS:localhost\n"
                        "basicConstraints=critical,CA:FALSE\n"
                        "keyUsage=critical,digitalSignature,keyEncipherment\n"
                        "extendedKeyUsage=serverAuth\n")
            _openssl("req", "-newkey", "rsa:2048", "-nodes", "-keyout", p["localhost.key"],
                     "-out", csr, "-subj", "/CN=localhost")
            _openssl("x509", "-req", "-sha256", "-days", "825", "-in", csr, "-CA", p["ca.pem"],
                     "-CAkey", p["ca.key"], "-set_serial", str(int.from_bytes(os.urandom(8), "big")),
                     "-extfile", ext, "-out", p["localhost.pem"])
    if not (_valid_for_a_while(p["untrusted.pem"]) and os.path.exists(p["untrusted.key"])):
        _openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-sha256", "-days", "825",
                 "-keyout", p["untrusted.key"], "-out", p["untrusted.pem"],
                 "-subj", "/CN=localhost", "-addext", "subjectAltName=DNS:localhost")
    return p


def _pem_body(path):
    with open(path) as f:
        return "".join(line.strip() for line in f if "-----" not in line)


def is_trusted(directory=DEFAULT_DIR, bundle=SYSTEM_BUNDLE):
    """True when the machine's trust bundle holds our authority."""
    ca = paths(directory)["ca.pem"]
    if not os.path.exists(ca) or not os.path.exists(bundle):
        return False
    with open(bundle) as f:
        return _pem_body(ca) in "".join(line.strip() for line in f)


def install(directory=DEFAULT_DIR):
    """Adds the authority to the machine trust store; True when that changed it."""
    ca = paths(directory)["ca.pem"]
    target = os.path.join(TRUST_DIR, TRUST_NAME)
    same = os.path.exists(target) and _pem_body(target) == _pem_body(ca)
    if same and is_trusted(directory):
        return False
    os.makedirs(TRUST_DIR, exist_ok=True)
    shutil.copyfile(ca, target)
    subprocess.run(["update-ca-certificates"], check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    return True


def main(argv=None):
    parser = argparse.ArgumentParser(prog="python3 -m service.certs", description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--dir", default=DEFAULT_DIR, help="where the files live")
    parser.add_argument("--install", action="store_true",
                        help="add the authority to the machine's trust store (root)")
    parser.add_argument("--restart-wineserver", metavar="PREFIX",
                        help="after a change of the trust store, stop this prefix's wineserver")
    args = parser.parse_args(argv)
    ensure(args.dir)
    print(f"certificates in {args.dir}")
    if args.install:
        if os.geteuid() != 0:
            print("not root: the test authority is not installed", file=sys.stderr)
            return 1
        if install(args.dir):
            print("test authority added to the trust store")
            if args.restart_wineserver and os.path.isdir(args.restart_wineserver):
                env = dict(os.environ, WINEPREFIX=os.path.abspath(args.restart_wineserver))
                subprocess.run(["wineserver", "-k"], env=env, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    return 0


if __name__ == "__main__":
    sys.exit(main())
