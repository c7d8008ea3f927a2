#!/usr/bin/python3
"""The benchmark's Pillow peer: packs an album the way a studio's own Python script would.

    pillow_pack.py --out ARCHIVE [--jobs N] [--max-size 2000] [--quality 70] ALBUM

Does the same job as lormex-pack: every file named "*.jpg" or "*.jpeg" (case-sensitive) is
decoded at full size (no DCT-scaled draft), turned upright by its Exif orientation, resized with
an area-averaging (box) filter so that its longer side is --max-size, and encoded at --quality
without metadata; every other file is stored as it is; the ZIP (deflate level 6) holds the
entries in walk order under their paths below the album folder.

Its fastest honest configuration: a process pool of --jobs workers (--jobs 1: no pool, one
process) re-encodes ahead of the main process, which writes the archive in order; each worker
keeps Pillow's image memory between pictures instead of getting a fresh 96 MB buffer per
picture; the resize runs on the stored orientation and only the small result is turned.
"""

import argparse
import io
import multiprocessing
import os
import sys
import zipfile

from PIL import Image

# Pillow's image memory comes from an arena of blocks that it frees after every picture by
# default. Keeping enough blocks for two full-size 24 MP pictures (4 bytes a pixel) lets every
# later picture reuse them.
BLOCK_SIZE = 16 << 20
BLOCKS_KEPT = 14

TRANSPOSE = {
    2: [Image.Transpose.FLIP_LEFT_RIGHT],
    3: [Image.Transpose.ROTATE_180],
    4: [Image.Transpose.FLIP_TOP_BOTTOM],
    5: [Image.Transpose.TRANSPOSE],
    6: [Image.Transpose.ROTATE_270],
    7: [Image.Transpose.TRANSVERSE],
    8: [Image.Transpose.ROTATE_90],
}

settings = {}


def init_worker(max_size, quality):
    settings["max_size"] = max_size
    settings["quality"] = quality
    Image.core.set_block_size(BLOCK_SIZE)
    Image.core.set_blocks_max(BLOCKS_KEPT)


def scaled_size(width, height, max_size):
    if width >= height:
        return max_size, max(1, round(max_size * height / width))
    return max(1, round(max_size * width / height)), max_size


def reencode(path):
    """The re-encoded picture, or None when Pillow cannot read it (then it is stored)."""
    try:
        with Image.open(path) as image:
            if image.format != "JPEG":
                return None
            orientation = image.getexif().get(0x0112, 1)
            image.load()
            if image.mode not in ("RGB", "L"):
                image = image.convert("RGB")
            width, height = image.size
            turned = orientation in (5, 6, 7, 8)
            upright_width, upright_height = (height, width) if turned else (width, height)
            out_width, out_height = scaled_size(upright_width, upright_height,
                                                settings["max_size"])
            if turned:
                out_width, out_height = out_height, out_width
            small = image.resize((out_width, out_height), Image.Resampling.BOX)
        for step in TRANSPOSE.get(orientation, []):
            small = small.transpose(step)
        out = io.BytesIO()
        small.save(out, "JPEG", quality=settings["quality"])
        return out.getvalue()
    except (OSError, ValueError, Image.DecompressionBombError):
        return None


def walk(album):
    """(full path, entry name) of every file below `album`, depth first."""
    for folder, folders, names in os.walk(album):
        for name in names:
            full = os.path.join(folder, name)
            yield full, os.path.relpath(full, album)


def is_picture(path):
    return path.rsplit(".", 1)[-1] in ("jpg", "jpeg") and "." in os.path.basename(path)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--out", required=True)
    parser.add_argument("--jobs", type=int, default=os.cpu_count())
    parser.add_argument("--max-size", type=int, default=2000)
    parser.add_argument("--quality", type=int, default=70)
    parser.add_argument("album")
    args = parser.parse_args()

    files = list(walk(args.album))
    pictures = [path for path, _ in files if is_picture(path)]
    init_worker(args.max_size, args.quality)
    pool = None
    if args.jobs > 1:
        pool = multiprocessing.Pool(args.jobs, init_worker, (args.max_size, args.quality))
        results = pool.imap(reencode, pictures, chunksize=1)
    else:
        results = map(reencode, pictures)

    partial = args.out + ".part"
    kept = 0
    with zipfile.ZipFile(partial, "w", zipfile.ZIP_DEFLATED, compresslevel=6) as archive:
        for path, name in files:
            data = next(results) if is_picture(path) else None
            if data is None:
                if is_picture(path):
                    kept += 1
                archive.write(path, name)
            else:
                info = zipfile.ZipInfo(name, (1980, 1, 1, 0, 0, 0))
                info.external_attr = 0o644 << 16
                archive.writestr(info, data, zipfile.ZIP_DEFLATED, 6)
    if pool is not None:
        pool.close()
        pool.join()
    os.replace(partial, args.out)
    if kept:
        print("pillow_pack: %d pictures stored unchanged" % kept, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
