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
# The wrong password the tests try; its header check must fail on every
# encrypted entry (see make_encrypted).
WRONG_PASSWORD = b"wrong"


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

    def _mask(self):
        t = (self.k[2] | 2) & 0xFFFF
        return ((t * (t ^ 1)) >> 8) & 0xFF

    def encrypt(self, data):
        out = bytearray()
        for p in data:
            out.append(p ^ self._mask())
            self.update(p)
        return bytes(out)

    def decrypt(self, data):
        out = bytearray()
        for c in data:
            p = c ^ self._mask()
            out.append(p)
            self.update(p)
        return bytes(out)


def header_check_passes(archive, index, password):
    """Whether `password` passes the 12-byte encryption header check of entry
    `index`: one byte, so about one wrong password in 256 passes."""
    with zipfile.ZipFile(io.BytesIO(archive)) as z:
        zi = z.infolist()[index]
    offset = zi.header_offset
    name_len, extra_len = struct.unpack_from("<HH", archive, offset + 26)
    flags, = struct.unpack_from("<H", archive, offset + 6)
    t, = struct.unpack_from("<H", archive, offset + 10)
    start = offset + 30 + name_len + extra_len
    header = ZipCrypto(password).decrypt(archive[start:start + 12])
    check = (t >> 8) & 0xFF if flags & 8 else zi.CRC >> 24
    return header[11] == check


def lucky_password(archive, index):
    """A wrong password that passes entry `index`'s header check by chance."""
    n = 0
    while True:
        candidate = b"lucky%d" % n
        if candidate != PASSWORD and header_check_passes(archive, index, candidate):
            return candidate
        n += 1


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
    # Info-ZIP writes a data descriptor for encrypted entries (check byte
    # from the DOS time); -0 stores the second one. Its encryption headers
    # are random, so the wrong password would pass a header check in about
    # one run in a hundred: write the archive again until it fails both.
    for _ in range(100):
        if os.path.exists(out):
            os.remove(out)
        subprocess.run(["zip", "-q", "-X", "-P", PASSWORD.decode(), out, "secret.txt"], cwd=work,
                       check=True)
        subprocess.run(["zip", "-q", "-X", "-0", "-P", PASSWORD.decode(), out, "tiny.txt"],
                       cwd=work, check=True)
        with open(out, "rb") as f:
            archive = f.read()
        if not any(header_check_passes(archive, i, WRONG_PASSWORD) for i in (0, 1)):
            break
    else:
        sys.exit("encrypted.zip: the wrong password keeps passing a header check")
    # Without a data descriptor the check byte comes from the CRC.
    raw = RawZip()
    raw.add("secret.txt", text, method=8, password=PASSWORD)
    raw.add("tiny.txt", tiny, method=0, password=PASSWORD)
    archive = raw.bytes()
    assert not any(header_check_passes(archive, i, WRONG_PASSWORD) for i in (0, 1))
    write(outdir, "encrypted_crc.zip", archive)
    # Wrong passwords that pass each entry's header check, for the tests of
    # what follows a check passed by chance.
    for i in (0, 1):
        with open(os.path.join(work, "lucky%d.txt" % i), "wb") as f:
            f.write(lucky_password(archive, i))


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


# --- zip64 ------------------------------------------------------------------

ZIP64_FILES = [
    ("zip64/readme.txt", lambda: text_bytes(11, 6000), zipfile.ZIP_DEFLATED),
    ("zip64/stored.bin", lambda: binary_bytes(12, 2500), zipfile.ZIP_STORED),
    ("zip64/empty.txt", lambda: b"", zipfile.ZIP_DEFLATED),
]


def raw_zip64(entries, stub=b"", eocd64=True, count=None, count_here=None, locator_offset=None,
              record_size=44, record_size_field=None, directory_size=None):
    """Writes stored entries whose central records saturate the fields named
    in each entry's `saturate` ("usize", "csize", "offset", "disk") and carry
    just those in a zip64 block behind an unrelated block; local headers
    carry both sizes in theirs. `entries`: (name, data, saturate)."""
    body = bytearray()
    central = bytearray()
    t, d = dos_time(DOS_DATE)
    for name, data, saturate in entries:
        name_b = name.encode()
        crc = zlib.crc32(data)
        offset = len(body)
        local_extra = struct.pack("<HHQQ", 1, 16, len(data), len(data))
        body += struct.pack("<IHHHHHIIIHH", 0x04034B50, 45, 0, 0, t, d, crc, 0xFFFFFFFF,
                            0xFFFFFFFF, len(name_b), len(local_extra)) + name_b + local_extra
        body += data
        fields = {"usize": len(data), "csize": len(data), "offset": offset, "disk": 0}
        block = b""
        for key in ("usize", "csize", "offset"):
            if key in saturate:
                block += struct.pack("<Q", fields[key])
        if "disk" in saturate:
            block += struct.pack("<I", 0)
        # An unrelated block first: the reader must walk to the zip64 one.
        extra = struct.pack("<HHB", 0x5455, 1, 0)
        if saturate:
            extra += struct.pack("<HH", 1, len(block)) + block
        value = lambda key, v: (0xFFFFFFFF if key in saturate else v)
        central += struct.pack(
            "<IHHHHHHIIIHHHHHII", 0x02014B50, 0x031E, 45, 0, 0, t, d, crc,
            value("csize", len(data)), value("usize", len(data)), len(name_b), len(extra), 0,
            0xFFFF if "disk" in saturate else 0, 0, 0o644 << 16,
            value("offset", offset)) + name_b + extra
    n = len(entries) if count is None else count
    here = n if count_here is None else count_here
    dir_offset = len(body)
    dir_size = len(central) if directory_size is None else directory_size
    tail = bytearray()
    if eocd64:
        record_at = dir_offset + len(central)
        size_field = record_size if record_size_field is None else record_size_field
        tail += struct.pack("<IQHHIIQQQQ", 0x06064B50, size_field, 45, 45, 0, 0, here, n,
                            dir_size, dir_offset)
        tail += bytes(record_size - 44)
        tail += struct.pack("<IIQI", 0x07064B50, 0,
                            record_at if locator_offset is None else locator_offset, 1)
        tail += struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 0xFFFF, 0xFFFF, 0xFFFFFFFF,
                            0xFFFFFFFF, 0)
    else:
        tail += struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, n, n, len(central), dir_offset, 0)
    return stub + bytes(body + central + tail)


def make_zip64(outdir):
    sources = [(name, make(), method) for name, make, method in ZIP64_FILES]
    for name, data, _ in sources:
        keep_source(outdir, "zip64", name, data)

    # Python's zipfile: zip64 local headers (both sizes saturated), classic
    # central records.
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, "w") as z:
        for name, data, method in sources:
            zi = info(name)
            zi.compress_type = method
            with z.open(zi, "w", force_zip64=True) as f:
                f.write(data)
    write(outdir, "zip64_python.zip", buf.getvalue())

    # Streamed: a data descriptor with 64-bit sizes after each entry.
    stream = Unseekable()
    with zipfile.ZipFile(stream, "w") as z:
        for name, data, method in sources:
            zi = info(name)
            zi.compress_type = method
            with z.open(zi, "w", force_zip64=True) as f:
                f.write(data)
    write(outdir, "zip64_descriptor.zip", bytes(stream.data))

    # Info-ZIP: saturated uncompressed sizes in the central records, the
    # zip64 end record and locator; the same again behind a stub.
    work = os.path.join(outdir, "src", "zip64")
    out = os.path.join(outdir, "zip64_fz.zip")
    if os.path.exists(out):
        os.remove(out)
    subprocess.run(["zip", "-q", "-X", "-fz", "-r", out, "zip64"], cwd=work, check=True)
    with open(out, "rb") as f:
        fz = f.read()
    write(outdir, "zip64_fz_stub.zip", b"MZ" + bytes(range(98)) * 3 + fz)

    # Every combination of saturated central fields, in the fixed order.
    entries = [("zip64/only_offset.txt", b"offset only\n", ["offset"]),
               ("zip64/only_usize.txt", b"uncompressed only\n", ["usize"]),
               ("zip64/only_csize.txt", b"compressed only\n", ["csize"]),
               ("zip64/all.txt", b"all four\n", ["usize", "csize", "offset", "disk"]),
               ("zip64/none.txt", b"classic record\n", [])]
    for name, data, _ in entries:
        keep_source(outdir, "zip64_raw", name, data)
    write(outdir, "zip64_raw.zip", raw_zip64(entries))
    write(outdir, "zip64_raw_stub.zip", raw_zip64(entries, stub=b"MZ" + bytes(300)))
    write(outdir, "zip64_raw_extensible.zip", raw_zip64(entries, record_size=60))

    # Damaged zip64 data: each must fail cleanly.
    small = entries[:2]
    write(outdir, "zip64_bad_locator.zip", raw_zip64(small, locator_offset=1 << 40))
    write(outdir, "zip64_bad_counts.zip", raw_zip64(small, count_here=1))
    write(outdir, "zip64_huge_count.zip", raw_zip64(small, count=1 << 40))
    write(outdir, "zip64_bad_directory.zip", raw_zip64(small, directory_size=1 << 40))
    write(outdir, "zip64_bad_record_size.zip", raw_zip64(small, record_size_field=1 << 40))
    # A central record that saturates its size but has no zip64 block: that
    # entry is unreadable, the classic one after it is fine.
    missing = raw_zip64([("zip64/missing.txt", b"missing\n", ["usize"]),
                         ("zip64/fine.txt", b"fine\n", [])])
    block = struct.pack("<HHQ", 1, 8, len(b"missing\n"))
    write(outdir, "zip64_missing_field.zip", missing.replace(block, struct.pack("<HHQ", 0x9999, 8, 0), 1))
    # Cut inside the zip64 end record: no end record is found any more.
    write(outdir, "zip64_truncated.zip", fz[:fz.find(b"PK\x06\x06") + 30])


def make_many64(outdir):
    # More entries than a classic end record can count: zipfile writes the
    # zip64 end record. Kept apart from the seeds (listing it is slow).
    os.makedirs(os.path.join(outdir, "large"), exist_ok=True)
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, "w") as z:
        for i in range(70000):
            z.writestr(info("m%02d/%05d" % (i // 1000, i)), b"")
    write(outdir, os.path.join("large", "many64.zip"), buf.getvalue())


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
    make_zip64(outdir)
    make_many64(outdir)


if __name__ == "__main__":
    main()
