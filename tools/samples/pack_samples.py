#!/usr/bin/env python3
"""Packs the sample programs into the packages the reference service serves.

    pack_samples.py --product Fernwick.exe --setup fernwick-setup.exe -o DIR

writes into DIR
  fernwick-1.0.zip     Fernwick/Fernwick.exe and Fernwick/README.txt (the
                       catalogue's launch command runs
                       {target_dir}\\Fernwick\\Fernwick.exe)
  fernwick-setup.exe   the sample installer as it is
Members carry a fixed time stamp, so the same programs give the same bytes
(and the same ETag from the service). Each file appears whole (written
aside, then renamed).
"""

import argparse
import os
import shutil
import sys
import zipfile

ZIP_NAME = "fernwick-1.0.zip"
SETUP_NAME = "fernwick-setup.exe"
STAMP = (2026, 1, 1, 0, 0, 0)
README = (
    "Fernwick 1.0\r\n"
    "\r\n"
    "Sample product of the installation assistant's reference service.\r\n"
    "Fernwick.exe shows its window and writes fernwick-ran.txt beside itself\r\n"
    "(or to the file named by the environment variable FERNWICK_MARKER):\r\n"
    "how it was started, its arguments, its path and its current folder.\r\n"
    "--exit-after <ms> closes it by itself.\r\n"
)


def member(name):
    info = zipfile.ZipInfo(name, STAMP)
    info.compress_type = zipfile.ZIP_DEFLATED
    info.external_attr = 0o644 << 16
    return info


def write_zip(path, product):
    tmp = path + ".tmp"
    with open(product, "rb") as f:
        program = f.read()
    with zipfile.ZipFile(tmp, "w") as z:
        z.writestr(member("Fernwick/Fernwick.exe"), program)
        z.writestr(member("Fernwick/README.txt"), README.encode("utf-8"))
    os.replace(tmp, path)


def copy(source, path):
    tmp = path + ".tmp"
    shutil.copyfile(source, tmp)
    os.replace(tmp, path)


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--product", required=True, help="the built Fernwick.exe")
    parser.add_argument("--setup", required=True, help="the built sample installer")
    parser.add_argument("-o", "--output", required=True, help="folder for the packages")
    args = parser.parse_args(argv)
    for program in (args.product, args.setup):
        if not os.path.isfile(program):
            parser.error(f"no such program: {program}")
    os.makedirs(args.output, exist_ok=True)
    write_zip(os.path.join(args.output, ZIP_NAME), args.product)
    copy(args.setup, os.path.join(args.output, SETUP_NAME))
    return 0


if __name__ == "__main__":
    sys.exit(main())
