#!/usr/bin/env python3
"""Makes the package the extraction benchmark unpacks (deterministic).

    make_bench_package.py OUT.zip [--files N] [--big-mb M]

About 1,500 files in nested folders, about 290 MB unpacked and 200 MB
packed: source-like text, binary-like data that compresses about in half,
incompressible data (stored, as archivers do when deflate does not help), and
a few 20 MB files among them. --files and --big-mb make a smaller package of
the same kinds (for checking the benchmark scripts quickly; bench/run-all
--quick uses --files 150 --big-mb 2, about 20 MB).
"""
import argparse
import os
import random
import zipfile

SEED = 20240611
FILES = 1500
MB = 1 << 20


def make_vocabulary(rnd):
    syllables = ["ka", "lo", "mi", "ne", "su", "ra", "to", "vi", "de", "po", "an", "el", "or",
                 "us", "qu", "ix", "th", "ch", "st", "ng", "re", "co", "ma", "ti"]
    words = set()
    while len(words) < 3000:
        words.add("".join(rnd.choice(syllables) for _ in range(rnd.randint(1, 4))))
    return sorted(words)


def text_data(rnd, vocabulary, size):
    out = []
    total = 0
    while total < size:
        indent = " " * (4 * rnd.randint(0, 3))
        words = [rnd.choice(vocabulary) for _ in range(rnd.randint(2, 14))]
        line = indent + " ".join(words)
        if rnd.random() < 0.3:
            line += "(%d, %d);" % (rnd.randint(0, 99999), rnd.randint(0, 255))
        out.append(line + "\n")
        total += len(out[-1])
    return "".join(out).encode()[:size]


def binary_data(rnd, size):
    # Like executables and libraries: random stretches, repeats of earlier
    # stretches, padding runs.
    out = bytearray()
    while len(out) < size:
        choice = rnd.random()
        if choice < 0.6 or len(out) < 4096:
            out += rnd.randbytes(rnd.randint(8, 96))
        elif choice < 0.92:
            length = rnd.randint(16, 256)
            start = rnd.randint(max(0, len(out) - 32768), len(out) - length)
            out += out[start:start + length]
        else:
            out += bytes(rnd.randint(16, 512))
    return bytes(out[:size])


def plan(rnd, count=FILES, big=20 * MB):
    """(path, kind, size) for every file."""
    files = [
        ("assets/video/intro.bin", "random", big),
        ("assets/video/outro.bin", "random", big),
        ("bin/engine.dll", "binary", big),
        ("data/world.db", "binary", big),
    ]
    folders = []
    for top in ("bin", "lib", "share", "assets", "data", "docs"):
        for a in range(rnd.randint(2, 5)):
            folders.append("%s/m%02d" % (top, a))
            for b in range(rnd.randint(0, 4)):
                folders.append("%s/m%02d/s%02d" % (top, a, b))
                for c in range(rnd.randint(0, 2)):
                    folders.append("%s/m%02d/s%02d/d%d" % (top, a, b, c))
    while len(files) < count:
        folder = rnd.choice(folders)
        r = rnd.random()
        size = int(2 ** rnd.uniform(9, 19.8))  # 512 B to about 1 MB
        if r < 0.24:
            kind, ext = "text", rnd.choice([".txt", ".xml", ".json", ".lua", ".ini"])
        elif r < 0.50:
            kind, ext = "binary", rnd.choice([".dll", ".bin", ".dat", ".exe"])
        else:
            kind, ext = "random", rnd.choice([".png", ".ogg", ".jpg", ".pak"])
        files.append(("%s/f%04d%s" % (folder, len(files), ext), kind, size))
    return files


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("out")
    parser.add_argument("--files", type=int, default=FILES)
    parser.add_argument("--big-mb", type=int, default=20)
    args = parser.parse_args()
    out = args.out
    rnd = random.Random(SEED)
    vocabulary = make_vocabulary(rnd)
    files = plan(rnd, args.files, args.big_mb * MB)
    os.makedirs(os.path.dirname(os.path.abspath(out)), exist_ok=True)
    tmp = out + ".tmp"
    total = 0
    with zipfile.ZipFile(tmp, "w") as z:
        for path, kind, size in files:
            if kind == "text":
                data, method = text_data(rnd, vocabulary, size), zipfile.ZIP_DEFLATED
            elif kind == "binary":
                data, method = binary_data(rnd, size), zipfile.ZIP_DEFLATED
            else:
                data, method = rnd.randbytes(size), zipfile.ZIP_STORED
            info = zipfile.ZipInfo(path, date_time=(2024, 6, 11, 12, 0, 0))
            info.external_attr = 0o644 << 16
            z.writestr(info, data, compress_type=method, compresslevel=6)
            total += size
    os.replace(tmp, out)
    print("%s: %d files, %.1f MB unpacked, %.1f MB packed" %
          (out, len(files), total / 1e6, os.path.getsize(out) / 1e6))


if __name__ == "__main__":
    main()
