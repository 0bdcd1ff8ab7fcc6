#!/usr/bin/env python3
"""Writes the small seed corpora of the fuzz targets into fuzz/seeds/<target>/.

Usage: fuzz/make_seeds.py ZOK_BINARY
Archives are built with `zok create` from small pictures of ../shared/testdata and a few text
files; version 1.0.0 seeds are the same archives with the magic and version taken out.
"""
import os
import shutil
import struct
import subprocess
import sys
import tempfile

root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
testdata = os.path.join(root, "..", "shared", "testdata")
seeds = os.path.join(root, "fuzz", "seeds")


def put(target, name, data):
    folder = os.path.join(seeds, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def to_version_100(archive):
    """Drops magic and version and moves every offset 6 bytes back."""
    count = struct.unpack_from("<I", archive, 6)[0]
    out = bytearray(struct.pack("<I", count))
    pos = 10
    for _ in range(count):
        (length,) = struct.unpack_from("<I", archive, pos)
        name = archive[pos + 4:pos + 4 + length]
        offset, source, stored = struct.unpack_from("<III", archive, pos + 4 + length)
        kind = archive[pos + 16 + length]
        out += struct.pack("<I", length) + name + struct.pack("<III", offset - 6, source, stored)
        out.append(kind)
        pos += 17 + length
    return bytes(out) + archive[pos:]


def main():
    zok = sys.argv[1]
    shutil.rmtree(seeds, ignore_errors=True)
    pngs = ["basn0g01.png", "basn2c08.png", "basn3p04.png", "basn4a08.png", "basn6a16.png",
            "basi0g04.png", "tbbn3p08.png", "s01n3p01.png", "xcrn0g04.png", "ctzn0g04.png"]
    bmps = ["pal1.bmp", "pal4.bmp", "pal8.bmp", "pal8topdown.bmp", "pal8v5.bmp", "rgb24.bmp",
            "pal4rle.bmp", "rgb16.bmp"]
    for name in pngs:
        with open(os.path.join(testdata, "pngsuite", name), "rb") as f:
            put("png", name, f.read())
    for name in bmps:
        with open(os.path.join(testdata, "bmpsuite", "g", name), "rb") as f:
            put("bmp", name, f.read())

    with tempfile.TemporaryDirectory() as tmp:
        inputs = []
        for name, data in [("readme.txt", b"hello zok\n" * 20), ("notes.old", b"stored bytes"),
                           ("empty.txt", b"")]:
            path = os.path.join(tmp, name)
            with open(path, "wb") as f:
                f.write(data)
            inputs.append(path)
        inputs.append(os.path.join(testdata, "pngsuite", "basn6a08.png"))
        inputs.append(os.path.join(testdata, "bmpsuite", "g", "pal1.bmp"))
        for i, group in enumerate([inputs, inputs[:3], inputs[3:]]):
            out = os.path.join(tmp, "seed%d.zok" % i)
            subprocess.run([zok, "create", out] + group, check=True)
            with open(out, "rb") as f:
                archive = f.read()
            put("archive", "v110-%d.zok" % i, archive)
            put("archive", "v100-%d.zok" % i, to_version_100(archive))
            put("upgrade", "v100-%d.zok" % i, to_version_100(archive))
        # A version 1.0.0 entry of kind 1: a 24-bit BMP stored as it is.
        with open(os.path.join(testdata, "bmpsuite", "g", "rgb24.bmp"), "rb") as f:
            bmp = f.read()
        name = b"stored.bmp"
        head = struct.pack("<I", 1) + struct.pack("<I", len(name)) + name
        offset = len(head) + 13
        kind1 = head + struct.pack("<III", offset, len(bmp), len(bmp)) + b"\x01" + bmp
        put("archive", "v100-kind1.zok", kind1)
        put("upgrade", "v100-kind1.zok", kind1)


if __name__ == "__main__":
    main()
