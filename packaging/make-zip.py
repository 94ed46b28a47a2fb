#!/usr/bin/env python3
"""Writes the portable zip reproducibly: the named files of one folder, in the
order given, each with the same time (SOURCE_DATE_EPOCH, else the time of the
commit checked out in the current folder), fixed permissions, deflated.

    make-zip.py OUT.zip FOLDER NAME...
"""
import os
import subprocess
import sys
import time
import zipfile

DOS_EPOCH = 315532800  # 1980-01-01, the earliest time a zip entry can hold


def source_date_epoch():
    if os.environ.get("SOURCE_DATE_EPOCH"):
        return int(os.environ["SOURCE_DATE_EPOCH"])
    try:
        out = subprocess.run(["git", "log", "-1", "--format=%ct"], capture_output=True, text=True, check=True)
        return int(out.stdout.strip())
    except (OSError, subprocess.CalledProcessError, ValueError):
        return DOS_EPOCH


def main(argv):
    if len(argv) < 4:
        sys.exit(__doc__)
    out, folder, names = argv[1], argv[2], argv[3:]
    stamp = time.gmtime(max(source_date_epoch(), DOS_EPOCH))[:6]
    partial = out + ".part"
    try:
        with zipfile.ZipFile(partial, "w") as archive:
            for name in names:
                entry = zipfile.ZipInfo(name, date_time=stamp)
                entry.compress_type = zipfile.ZIP_DEFLATED
                entry.create_system = 3  # Unix, so that the permissions below mean the same everywhere
                entry.external_attr = (0o100755 if name.lower().endswith(".exe") else 0o100644) << 16
                with open(os.path.join(folder, name), "rb") as source:
                    archive.writestr(entry, source.read(), compresslevel=9)
        os.replace(partial, out)
    finally:
        if os.path.exists(partial):
            os.remove(partial)


if __name__ == "__main__":
    main(sys.argv)
