#!/usr/bin/env python3
"""Builds the zip archives the archive tests read, with real tools.

    make_test_archives.py OUTDIR

Python's zipfile writes the ordinary archives, Info-ZIP `zip` the encrypted
ones and those with "UT" extended timestamps; a small raw writer below makes
the archives no tool writes on purpose (wrong CRC, lying sizes, entries
encrypted without a data descriptor). The source files of each archive are
kept under OUTDIR/src/<archive>/ so the tests can compare extracted bytes.
Everything is deterministic.
"""
import io
import os
import random
import shutil
import struct
import subprocess
import sys
import zipfile
import zlib

DOS_DATE = (2021, 6, 15, 10, 20, 30)
PASSWORD = b"secret"


def text_bytes(seed, size):
    rnd = random.Random(seed)
    words = ["archive", "folder", "entry", "install", "package", "zip", "data", "window"]
    out = []
    total = 0
    while total < size:
        line = " ".join(rnd.choice(words) for _ in range(rnd.randint(4, 12))) + "\n"
        out.append(line)
        total += len(line)
    return "".join(out).encode()[:size]


def binary_bytes(seed, size):
    # Compressible but not trivially: short runs of a few byte values.
    rnd = random.Random(seed)
    out = bytearray()
    while len(out) < size:
        out += bytes([rnd.randrange(16)]) * rnd.randint(1, 40)
    return bytes(out[:size])


def keep_source(outdir, archive, name, data):
    path = os.path.join(outdir, "src", archive, name)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def info(name, mode=0o644, system=3, date=DOS_DATE):
    zi = zipfile.ZipInfo(name, date_time=date)
    zi.create_system = system
    if system == 3:
        zi.external_attr = mode << 16
        if name.endswith("/"):
            zi.external_attr |= 0x10
    return zi


# --- a writer for archives no tool makes on purpose -----------------------

CRC_TABLE = []
for n in range(256):
    c = n
    for _ in range(8):
        c = (0xEDB88320 ^ (c >> 1)) if c & 1 else c >> 1
    CRC_TABLE.append(c)


class ZipCrypto:
    def __init__(self, password):
        self.k = [0x12345678, 0x23456789, 0x34567890]
        for b in password:
            self.update(b)

    def update(self, p):
        k0 = CRC_TABLE[(self.k[0] ^ p) & 0xFF] ^ (self.k[0] >> 8)
        k1 = ((self.k[1] + (k0 & 0xFF)) * 134775813 + 1) & 0xFFFFFFFF
        k2 = CRC_TABLE[(self.k[2] ^ (k1 >> 24)) & 0xFF] ^ (self.k[2] >> 8)
        self.k = [k0, k1, k2]

    def encrypt(self, data):
        out = bytearray()
        for p in data:
            t = (self.k[2] | 2) & 0xFFFF
            out.append(p ^ (((t * (t ^ 1)) >> 8) & 0xFF))
            self.update(p)
        return bytes(out)


def dos_time(date):
    y, mo, d, h, mi, s = date
    return (h << 11) | (mi << 5) | (s // 2), ((y - 1980) << 9) | (mo << 5) | d


class RawZip:
    """Writes entries field by field; each field may be overridden."""

    def __init__(self):
        self.body = bytearray()
        self.central = bytearray()
        self.count = 0

    def add(self, name, data, method=8, password=None, crc=None, csize=None, usize=None,
            flags=0, version_made_by=0x031E, external=0o644 << 16, local_extra=b""):
        name_b = name.encode()
        real_crc = zlib.crc32(data)
        payload = data
        if method == 8:
            co = zlib.compressobj(9, zlib.DEFLATED, -15)
            payload = co.compress(data) + co.flush()
        t, d = dos_time(DOS_DATE)
        if password is not None:
            flags |= 1
            header = bytes(random.Random(len(data)).randrange(256) for _ in range(11))
            check = (t >> 8) & 0xFF if flags & 8 else real_crc >> 24
            payload = ZipCrypto(password).encrypt(header + bytes([check]) + payload)
        crc = real_crc if crc is None else crc
        csize = len(payload) if csize is None else csize
        usize = len(data) if usize is None else usize
        offset = len(self.body)
        self.body += struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, flags, method, t, d, crc, csize,
                                 usize, len(name_b), len(local_extra)) + name_b + local_extra
        self.body += payload
        self.central += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, version_made_by, 20, flags,
                                    method, t, d, crc, csize, usize, len(name_b), 0, 0, 0, 0,
                                    external, offset) + name_b
        self.count += 1

    def bytes(self, count=None):
        count = self.count if count is None else count
        end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, count, count, len(self.central),
                          len(self.body), 0)
        return bytes(self.body + self.central + end)


def write(outdir, name, data):
    with open(os.path.join(outdir, name), "wb") as f:
        f.write(data)


# --- the archives ----------------------------------------------------------

def make_basic(outdir):
    files = [
        ("readme.txt", text_bytes(1, 3000), zipfile.ZIP_DEFLATED, 0o644),
        ("data/", b"", zipfile.ZIP_STORED, 0o40755),
        ("data/stored.bin", binary_bytes(2, 1000), zipfile.ZIP_STORED, 0o644),
        ("data/big.bin", binary_bytes(3, 100000), zipfile.ZIP_DEFLATED, 0o644),
        ("empty.txt", b"", zipfile.ZIP_DEFLATED, 0o644),
        ("readonly.txt", b"do not change\n", zipfile.ZIP_DEFLATED, 0o444),
        ("docs/Caf\u00e9.txt", "caf\u00e9 cr\u00e8me\n".encode(), zipfile.ZIP_DEFLATED, 0o644),
    ]
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, "w") as z:
        for name, data, method, mode in files:
            z.writestr(info(name, mode), data, compress_type=method)
            if not name.endswith("/"):
                keep_source(outdir, "basic", name, data)
    basic = buf.getvalue()
    write(outdir, "basic.zip", basic)
    # An executable stub in front: every stored offset is now 100 bytes short.
    write(outdir, "stub.zip", b"MZ" + bytes(range(98)) + basic)


def make_escaping(outdir):
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, "w") as z:
        for i, name in enumerate(["../../x.txt", "\\x.txt", "C:x.txt", "a/../../b.txt"]):
            z.writestr(info(name), ("escape %d\n" % i).encode())
        # Names the sanitising leaves unsafe: each must be skipped.
        for name in ["x.txt:stream", "..", "a/..", "....", "/", "aux.txt", "sub/nul", "dir/. ./y",
                     "C:/../..", "q/\x00../../z.txt"]:
            zi = info(name)
            zi.filename = name  # keep a NUL instead of cutting the name
            z.writestr(zi, b"must not be written\n")
        z.writestr(info("inside/ok.txt"), b"fine\n")
    write(outdir, "escaping.zip", buf.getvalue())


def make_windows_attributes(outdir):
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, "w") as z:
        hidden = info("hidden.txt", system=0)
        hidden.external_attr = 0x23  # read-only, hidden, archive
        z.writestr(hidden, b"hidden\n")
        folder = info("folder/", system=0)
        folder.external_attr = 0x10
        z.writestr(folder, b"")
        # A Unix folder marked only by its trailing slash (mode 0).
        bare = info("bare/", mode=0)
        bare.external_attr = 0
        z.writestr(bare, b"")
    write(outdir, "attributes.zip", buf.getvalue())


def make_encrypted(outdir):
    work = os.path.join(outdir, "src", "encrypted")
    os.makedirs(work, exist_ok=True)
    text = text_bytes(4, 5000)
    tiny = b"tiny secret\n"
    for name, data in (("secret.txt", text), ("tiny.txt", tiny)):
        with open(os.path.join(work, name), "wb") as f:
            f.write(data)
    out = os.path.join(outdir, "encrypted.zip")
    if os.path.exists(out):
        os.remove(out)
    # Info-ZIP writes a data descriptor for encrypted entries (check byte
    # from the DOS time); -0 stores the second one.
    subprocess.run(["zip", "-q", "-X", "-P", PASSWORD.decode(), out, "secret.txt"], cwd=work,
                   check=True)
    subprocess.run(["zip", "-q", "-X", "-0", "-P", PASSWORD.decode(), out, "tiny.txt"], cwd=work,
                   check=True)
    # Without a data descriptor the check byte comes from the CRC.
    raw = RawZip()
    raw.add("secret.txt", text, method=8, password=PASSWORD)
    raw.add("tiny.txt", tiny, method=0, password=PASSWORD)
    write(outdir, "encrypted_crc.zip", raw.bytes())


def make_timestamps(outdir):
    work = os.path.join(outdir, "src", "timestamps")
    os.makedirs(work, exist_ok=True)
    path = os.path.join(work, "stamped.txt")
    with open(path, "wb") as f:
        f.write(b"stamped\n")
    os.utime(path, (1500000000, 1600000000))  # access, write
    for archive, options in (("ut.zip", []), ("no_ut.zip", ["-X"])):
        out = os.path.join(outdir, archive)
        if os.path.exists(out):
            os.remove(out)
        subprocess.run(["zip", "-q"] + options + [out, "stamped.txt"], cwd=work, check=True)


def make_damaged(outdir):
    good = text_bytes(5, 4000)
    raw = RawZip()
    raw.add("bad_crc.txt", good, crc=zlib.crc32(good) ^ 0x1)
    raw.add("good.txt", good)
    write(outdir, "bad_crc.zip", raw.bytes())
    keep_source(outdir, "damaged", "good.txt", good)

    # Sizes that lie: the recorded size bounds what is written.
    big = binary_bytes(6, 50000)
    raw = RawZip()
    raw.add("short.bin", big, usize=1000)
    raw.add("long.bin", good, usize=len(good) + 5000)
    raw.add("stored_short.bin", good, method=0, usize=100, csize=100)
    write(outdir, "lying_sizes.zip", raw.bytes())
    keep_source(outdir, "damaged", "big.bin", big)

    # A method this reader does not support (bzip2).
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, "w") as z:
        z.writestr(info("packed.txt"), good, compress_type=zipfile.ZIP_BZIP2)
        z.writestr(info("plain.txt"), good, compress_type=zipfile.ZIP_DEFLATED)
    write(outdir, "unsupported.zip", buf.getvalue())


class Unseekable(io.RawIOBase):
    def __init__(self):
        self.data = bytearray()

    def writable(self):
        return True

    def write(self, b):
        self.data += b
        return len(b)


def make_descriptor(outdir):
    # Written to a stream that cannot seek, zipfile puts CRC and sizes in a
    # data descriptor after the data and zeros in the local header.
    stream = Unseekable()
    data = text_bytes(7, 20000)
    streamed = info("streamed.txt")
    streamed.compress_type = zipfile.ZIP_DEFLATED
    with zipfile.ZipFile(stream, "w") as z:
        with z.open(streamed, "w") as f:
            f.write(data)
    write(outdir, "descriptor.zip", bytes(stream.data))
    keep_source(outdir, "descriptor", "streamed.txt", data)


def make_many(outdir):
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, "w", compression=zipfile.ZIP_DEFLATED) as z:
        for i in range(300):
            z.writestr(info("many/f%03d.txt" % i), ("file %d\n" % i).encode())
    write(outdir, "many.zip", buf.getvalue())


def make_lying_count(outdir):
    # The end record counts the most entries it can while the directory holds
    # far fewer: every index past the real ones must fail at once, not after
    # walking the directory again.
    # Short names and stored data keep it small: it is a fuzzing seed too.
    raw = RawZip()
    for i in range(1000):
        raw.add("l/%04d" % i, ("%d\n" % i).encode(), method=0)
    write(outdir, "lying_count.zip", raw.bytes(count=65535))


def make_large(outdir):
    # A big entry that packs small, for progress and for stopping a run while
    # it writes. Kept apart from the seed archives: the fuzzing harnesses
    # would inflate it on every mutation.
    os.makedirs(os.path.join(outdir, "large"), exist_ok=True)
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, "w") as z:
        for name, data in (("first.txt", b"first\n"), ("sub/zeros.bin", bytes(12 << 20)),
                           ("last.txt", b"last\n")):
            z.writestr(info(name), data, compress_type=zipfile.ZIP_DEFLATED)
    write(outdir, os.path.join("large", "zeros.zip"), buf.getvalue())


def make_long_name(outdir):
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, "w") as z:
        z.writestr(info("long/" + "n" * 300 + ".txt"), b"long\n")
        z.writestr(info("short.txt"), b"short\n")
    write(outdir, "long_name.zip", buf.getvalue())


def main():
    outdir = sys.argv[1]
    if os.path.isdir(os.path.join(outdir, "src")):
        shutil.rmtree(os.path.join(outdir, "src"))
    os.makedirs(outdir, exist_ok=True)
    make_basic(outdir)
    make_escaping(outdir)
    make_windows_attributes(outdir)
    make_encrypted(outdir)
    make_timestamps(outdir)
    make_damaged(outdir)
    make_descriptor(outdir)
    make_many(outdir)
    make_lying_count(outdir)
    make_large(outdir)
    make_long_name(outdir)


if __name__ == "__main__":
    main()
