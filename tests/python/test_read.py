"""Packing mixed files and reading them back: entries, contents, pictures, extraction."""

import io

import numpy
import pytest

import zok
from conftest import bmp24, gradient, png_rgba


@pytest.fixture
def packed(tmp_path, mixed_files):
    folder, contents = mixed_files
    zok.create(tmp_path / "mixed.zok", [folder / name for name in contents])
    with zok.open(tmp_path / "mixed.zok") as archive:
        yield archive, contents


def test_round_trip_of_mixed_files(packed):
    archive, contents = packed
    assert len(archive) == len(contents)
    assert archive.version == "110" and not archive.needs_upgrade
    entries = list(archive)
    assert [e.name for e in entries] == list(contents)
    assert [e.index for e in entries] == list(range(len(contents)))
    kinds = {e.name: (e.kind, e.kind_number, e.is_picture) for e in entries}
    assert kinds == {"notes.txt": ("deflated", 3, False), "save.old": ("stored", 3, False),
                     "empty.txt": ("deflated", 3, False), "noise.bin": ("deflated", 3, False),
                     "hero.png": ("png", 2, True), "tile.bmp": ("png", 2, True)}
    for entry in entries:
        data = archive.read(entry.name)
        assert entry.holds_data and len(data) == entry.size
        if not entry.is_picture:
            assert data == contents[entry.name] and entry.source_size == entry.size
        else:
            assert data.startswith(b"\x89PNG\r\n\x1a\n")  # pictures are kept as PNG streams
    assert archive.entry("notes.txt").stored_size < len(contents["notes.txt"])
    assert archive.entry("save.old").stored_size == len(contents["save.old"])


def test_entries_by_name_position_and_pattern(packed):
    archive, contents = packed
    assert archive.read("NOTES.TXT") == archive.read(0) == contents["notes.txt"]
    assert archive.read(-1) == archive.read("tile.bmp")
    assert "Save.OLD" in archive and "nothing" not in archive and 3 not in archive
    assert archive.find("HERO.png").index == 4 and archive.find("x") is None
    assert [e.name for e in archive.glob("*.[pb][nm]?")] == ["hero.png", "tile.bmp"]
    with pytest.raises(zok.NoSuchEntryError) as missing:
        archive.read("absent.txt")
    assert isinstance(missing.value, LookupError)
    assert (missing.value.code, missing.value.entry) == (zok.ErrorCode.NO_SUCH_ENTRY, "absent.txt")
    assert missing.value.path.endswith("mixed.zok")
    for position in (6, -7):
        with pytest.raises(zok.NoSuchEntryError):
            archive.read(position)
    with pytest.raises(TypeError):
        archive.read(1.0)


def test_entry_file_is_a_raw_binary_file(packed):
    archive, contents = packed
    with archive.open("noise.bin") as stream:
        assert isinstance(stream, io.RawIOBase) and stream.readable() and not stream.seekable()
        assert stream.size == len(contents["noise.bin"])
        head = stream.read(10)
        buffer = bytearray(30000)
        assert stream.readinto(memoryview(buffer)[5:]) == 29995
        rest = stream.read()
        assert head + bytes(buffer[5:]) + rest == contents["noise.bin"]
        assert stream.read(1) == b"" and stream.readinto(bytearray(8)) == 0
    with pytest.raises(ValueError):
        stream.read()
    text = io.TextIOWrapper(io.BufferedReader(archive.open(0)), encoding="utf-8")
    assert text.readline() == "안녕, assets!\n"
    assert archive.open("empty.txt").read() == b""


def test_pictures_as_arrays(tmp_path):
    (tmp_path / "rgba.png").write_bytes(png_rgba(5, 3, gradient(5, 3, 4)))
    (tmp_path / "rgb.bmp").write_bytes(bmp24(7, 2, gradient(7, 2, 3)))
    zok.create(tmp_path / "p.zok", [tmp_path / "rgba.png", tmp_path / "rgb.bmp"])
    with zok.open(tmp_path / "p.zok") as archive:
        rgba = archive.picture("rgba.png")
        rgb = archive.picture(1)
        with pytest.raises(zok.Error) as small:
            zok.open(tmp_path / "p.zok", picture_limit=14).picture(0)
    # Looked at after the archive was closed: the arrays own the library's pixels.
    assert rgba.dtype == numpy.uint8 and rgba.shape == (3, 5, 4)
    assert rgba.tobytes() == gradient(5, 3, 4)
    assert rgb.shape == (2, 7, 3) and rgb.tobytes() == gradient(7, 2, 3)
    assert small.value.code == zok.ErrorCode.PICTURE_TOO_LARGE


def test_extract_through_the_library(packed, tmp_path):
    archive, contents = packed
    out = tmp_path / "out"
    assert archive.extract(out, ["*.txt", 1]) == ["notes.txt", "empty.txt", "save.old"]
    assert (out / "save.old").read_bytes() == contents["save.old"]
    with pytest.raises(zok.Error) as taken:
        archive.extract(out, "notes.txt")
    assert taken.value.code == zok.ErrorCode.ALREADY_EXISTS and taken.value.entry == "notes.txt"
    (out / "notes.txt").write_bytes(b"old")
    assert archive.extract(out, overwrite=True) == list(contents)
    for name in ("notes.txt", "noise.bin", "empty.txt"):
        assert (out / name).read_bytes() == contents[name]
    assert (out / "tile.bmp").read_bytes()[:2] == b"BM"  # a picture named *.bmp stays a BMP
    with pytest.raises(zok.NoSuchEntryError) as nothing:
        archive.extract(out, ["*.gif"])
    assert nothing.value.code == zok.ErrorCode.NO_MATCH


def test_closed_archive(tmp_path, mixed_files):
    folder, _ = mixed_files
    archive = zok.open(zok.create(tmp_path / "a.zok", [folder / "save.old"]).output)
    stream = archive.open(0)
    archive.close()
    assert archive.closed
    with pytest.raises(ValueError):
        len(archive)
    assert len(stream.read()) == 10240  # a stream keeps its archive open
