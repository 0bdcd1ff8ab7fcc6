"""Shared inputs of the module's tests: pictures written by hand, mixed files, a large entry."""

import struct
import zlib

import pytest


def png_rgba(width, height, pixels):
    """An 8-bit RGBA PNG file of pixels (rows top-down, 4 bytes a pixel)."""
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    rows = b"".join(b"\0" + pixels[y * width * 4:(y + 1) * width * 4] for y in range(height))
    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows))
            + chunk(b"IEND", b""))


def bmp24(width, height, pixels):
    """A 24-bit BMP file of pixels (rows top-down, RGB): stored bottom-up, BGR, padded."""
    stride = (width * 3 + 3) // 4 * 4
    rows = []
    for y in reversed(range(height)):
        row = bytearray()
        for x in range(width):
            r, g, b = pixels[(y * width + x) * 3:(y * width + x) * 3 + 3]
            row += bytes((b, g, r))
        rows.append(bytes(row) + b"\0" * (stride - len(row)))
    data = b"".join(rows)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    return b"BM" + struct.pack("<IHHI", 14 + 40 + len(data), 0, 0, 54) + info + data


def gradient(width, height, channels):
    """Pixels that differ in every row, column and channel, so that any flip or swap shows."""
    return bytes((x * 37 + y * 11 + c * 101) % 256
                 for y in range(height) for x in range(width) for c in range(channels))


@pytest.fixture
def mixed_files(tmp_path):
    """Files of every kind the archive knows, with their contents."""
    folder = tmp_path / "in"
    folder.mkdir()
    contents = {
        "notes.txt": "안녕, assets!\n".encode() * 500,
        "save.old": bytes(range(256)) * 40,
        "empty.txt": b"",
        "noise.bin": bytes((i * 7919 + (i >> 3)) % 251 for i in range(70000)),
        "hero.png": png_rgba(5, 3, gradient(5, 3, 4)),
        "tile.bmp": bmp24(7, 2, gradient(7, 2, 3)),
    }
    for name, data in contents.items():
        (folder / name).write_bytes(data)
    return folder, contents


@pytest.fixture(scope="session")
def big_archive(tmp_path_factory):
    """An archive whose entry big.bin inflates to 64 MiB, and that entry's SHA-256."""
    import hashlib

    folder = tmp_path_factory.mktemp("big")
    piece = bytes(range(256)) * 4096
    digest = hashlib.sha256()
    with open(folder / "big.bin", "wb") as out:
        for i in range(64):
            block = piece[i * 97:] + piece[:i * 97]  # each megabyte starts elsewhere
            out.write(block)
            digest.update(block)
    import zok

    zok.create(folder / "big.zok", [folder / "big.bin"])
    (folder / "big.bin").unlink()
    return folder / "big.zok", digest.hexdigest(), 64 << 20
