#!/usr/bin/env python3
"""Writes a zip archive whose bytes depend only on the files' names and
contents: fixed order, fixed timestamps, fixed attributes.

usage: make_zip.py ARCHIVE FILE...   (files are stored under their base names)
"""
import os
import sys
import zipfile

FIXED_TIME = (2026, 1, 1, 0, 0, 0)


def main(argv):
    if len(argv) < 3:
        print(__doc__, file=sys.stderr)
        return 2
    archive, files = argv[1], sorted(argv[2:], key=os.path.basename)
    with zipfile.ZipFile(archive + ".tmp", "w") as out:
        for path in files:
            info = zipfile.ZipInfo(os.path.basename(path), date_time=FIXED_TIME)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.create_system = 0
            info.external_attr = 0x20  # the archive bit, as Windows tools write it
            with open(path, "rb") as source:
                out.writestr(info, source.read(), compresslevel=9)
    os.replace(archive + ".tmp", archive)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
