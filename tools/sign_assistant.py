#!/usr/bin/env python3
"""Signs a branded copy of the assistant with Authenticode (SHA-256) and
checks that the signature verifies before the signed file is written.

    python3 tools/sign_assistant.py branded.exe signed.exe \\
        --cert signer.pem --key signer.key [--password-env VAR | --password-file FILE] \\
        [--timestamp URL]... [--ca-file roots.pem] [--name NAME] [--url URL]
    python3 tools/sign_assistant.py branded.exe signed.exe --pkcs12 signer.p12 ...

Branding rewrites the executable's resources, which breaks any signature, so
this is the last step: brand.exe first, then this. It runs osslsigncode (on
PATH, or --osslsigncode), on Linux and on Windows alike. A password never
goes on a command line, where other users could read it: it comes from an
environment variable or a file, and osslsigncode reads it from a file
(-readpass; a private temporary one for the variable).

Exit codes: 0 signed and verified, 1 failed (nothing written), 2 wrong arguments.
"""

import argparse
import os
import subprocess
import sys
import tempfile

DIGEST = "sha256"
# A timestamp server that does not answer must not hold a release forever.
TOOL_TIMEOUT_S = 300


class SigningError(Exception):
    pass


def parse_arguments(argv):
    parser = argparse.ArgumentParser(
        description="Sign a branded assistant (Authenticode, SHA-256) and verify the signature.")
    parser.add_argument("input", help="the branded executable")
    parser.add_argument("output", help="where the signed copy goes (not the input)")
    parser.add_argument("--cert", help="signer certificate and its chain, PEM")
    parser.add_argument("--key", help="private key of --cert, PEM")
    parser.add_argument("--pkcs12", help="certificate, chain and key in one PKCS#12 file")
    password = parser.add_mutually_exclusive_group()
    password.add_argument("--password-env", metavar="VAR",
                          help="environment variable holding the key's password")
    password.add_argument("--password-file", metavar="FILE",
                          help="file whose first line is the key's password")
    parser.add_argument("--timestamp", action="append", default=[], metavar="URL",
                        help="RFC 3161 timestamp server (repeat for fallbacks)")
    parser.add_argument("--ca-file", help="trusted roots for the check (default: the system's)")
    parser.add_argument("--tsa-ca-file", help="trusted roots of the timestamp server")
    parser.add_argument("--name", help="description shown in the signature")
    parser.add_argument("--url", help="web address shown in the signature")
    parser.add_argument("--osslsigncode", default="osslsigncode", help="the signing tool")
    args = parser.parse_args(argv)
    if bool(args.pkcs12) == bool(args.cert or args.key):
        parser.error("give either --pkcs12 or both --cert and --key")
    if not args.pkcs12 and not (args.cert and args.key):
        parser.error("--cert and --key go together")
    return args


def password_file(args, folder):
    """(file osslsigncode reads the password from or None, whether it is a
    temporary file of ours to delete)."""
    if args.password_file:
        if not os.path.isfile(args.password_file):
            raise SigningError("no such password file: %s" % args.password_file)
        return args.password_file, False
    if not args.password_env:
        return None, False
    value = os.environ.get(args.password_env)
    if value is None:
        raise SigningError("environment variable %s is not set" % args.password_env)
    # mkstemp makes it readable by its owner alone.
    handle, path = tempfile.mkstemp(prefix=".signing-", suffix=".pass", dir=folder)
    with os.fdopen(handle, "wb") as f:
        f.write(value.encode("utf-8"))
    return path, True


def run(command):
    try:
        result = subprocess.run(command, stdin=subprocess.DEVNULL, capture_output=True,
                                timeout=TOOL_TIMEOUT_S)
    except FileNotFoundError:
        raise SigningError("%s not found (install osslsigncode)" % command[0])
    except subprocess.TimeoutExpired:
        raise SigningError("%s %s took longer than %d s" % (command[0], command[1],
                                                            TOOL_TIMEOUT_S))
    return result.returncode, (result.stdout + result.stderr).decode("utf-8", "replace")


def sign_command(args, source, target, password):
    command = [args.osslsigncode, "sign", "-h", DIGEST]
    if args.pkcs12:
        command += ["-pkcs12", args.pkcs12]
    else:
        command += ["-certs", args.cert, "-key", args.key]
    if password is not None:
        command += ["-readpass", password]
    if args.name:
        command += ["-n", args.name]
    if args.url:
        command += ["-i", args.url]
    for url in args.timestamp:
        command += ["-ts", url]
    return command + ["-in", source, "-out", target]


def verify(args, path):
    """Checks path's signature; answers osslsigncode's report."""
    command = [args.osslsigncode, "verify", "-in", path]
    if args.ca_file:
        command += ["-CAfile", args.ca_file]
    if args.tsa_ca_file:
        command += ["-TSA-CAfile", args.tsa_ca_file]
    code, report = run(command)
    if code != 0:
        raise SigningError("the signature does not verify:\n" + report)
    # osslsigncode would also accept a weaker digest an older tool left behind.
    digests = {value.strip() for key, _, value in
               (line.partition(":") for line in report.splitlines())
               if key.strip() == "Message digest algorithm"}
    if digests != {"SHA256"}:
        raise SigningError("the signature is not SHA-256:\n" + report)
    if args.timestamp and "Timestamp is not available" in report:
        raise SigningError("the signature carries no timestamp:\n" + report)
    return report


def sign(args):
    if not os.path.isfile(args.input):
        raise SigningError("no such file: %s" % args.input)
    if os.path.exists(args.output) and os.path.samefile(args.input, args.output):
        raise SigningError("the output must not be the input")
    folder = os.path.dirname(os.path.abspath(args.output))
    # The signed copy appears under its name only once it verifies.
    handle, staging = tempfile.mkstemp(prefix=".signing-", suffix=".exe", dir=folder)
    os.close(handle)
    os.remove(staging)  # osslsigncode refuses to overwrite
    password, temporary = password_file(args, folder)
    try:
        code, report = run(sign_command(args, args.input, staging, password))
        if code != 0 or not os.path.isfile(staging):
            raise SigningError("osslsigncode sign failed:\n" + report)
        verify(args, staging)
        os.replace(staging, args.output)
    finally:
        if os.path.exists(staging):
            os.remove(staging)
        if temporary:
            os.remove(password)


def main(argv=None):
    args = parse_arguments(argv)
    try:
        sign(args)
    except SigningError as e:
        print("sign_assistant: %s" % e, file=sys.stderr)
        return 1
    print("signed and verified: %s" % args.output)
    return 0


if __name__ == "__main__":
    sys.exit(main())
