#!/usr/bin/python3
"""Checks that a peer's archive holds what the reference archive (lormex-pack's) holds.

    check_archive.py REFERENCE.zip CANDIDATE.zip

The same entry names; every re-encoded picture ("*.jpg"/"*.jpeg") a JPEG of the same width and
height as the reference's, with no Exif block; every other entry byte for byte the same (CRC-32
and size). A benchmark against a peer that does less than Lormex would say nothing. Prints one
line per difference and exits 1 when there is any.
"""

import io
import sys
import zipfile

from PIL import Image


def is_picture(name):
    base = name.rsplit("/", 1)[-1]
    return "." in base and base.rsplit(".", 1)[-1] in ("jpg", "jpeg")


def entry_name(info):
    """The name as its bytes say. Info-ZIP's zip stores UTF-8 names without the flag that says
    so (readers that go by the flag show them garbled); that is noted, not counted here."""
    if info.flag_bits & 0x800:
        return info.filename
    try:
        return info.filename.encode("cp437").decode("utf-8")
    except UnicodeError:
        return info.filename


def describe(archive):
    entries = {}
    for info in archive.infolist():
        if info.is_dir():
            continue
        name = entry_name(info)
        if is_picture(name):
            with Image.open(io.BytesIO(archive.read(info))) as image:
                entries[name] = ("picture", image.format, image.size, "exif" in image.info)
        else:
            entries[name] = ("stored", info.CRC, info.file_size)
    return entries


def main():
    if len(sys.argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    with zipfile.ZipFile(sys.argv[1]) as reference, zipfile.ZipFile(sys.argv[2]) as candidate:
        want = describe(reference)
        got = describe(candidate)
    problems = []
    for name in sorted(set(want) | set(got)):
        if name not in got:
            problems.append("missing: " + name)
        elif name not in want:
            problems.append("extra: " + name)
        elif got[name] != want[name]:
            problems.append("%s: %s, Lormex %s" % (name, got[name], want[name]))
    for problem in problems:
        print("  " + problem, file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
