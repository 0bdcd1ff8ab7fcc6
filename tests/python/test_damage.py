"""Damaged archives raise the library's codes: at once, or when a stream reaches its end."""

import pytest

import zok


@pytest.fixture
def damaged(tmp_path, mixed_files):
    """An archive whose noise.bin has its deflate checksum overwritten: every byte of its
    content inflates, and only the end shows the damage."""
    folder, contents = mixed_files
    path = tmp_path / "damaged.zok"
    zok.create(path, [folder / "noise.bin", folder / "notes.txt"])
    with zok.open(path) as archive:
        noise = archive.entry("noise.bin")
    data = bytearray(path.read_bytes())
    end = noise.offset + noise.stored_size
    data[end - 4:end] = bytes(b ^ 0x55 for b in data[end - 4:end])
    path.write_bytes(data)
    return path, contents, noise


def test_damage_raises_the_right_code(damaged):
    path, contents, _ = damaged
    with zok.open(path) as archive:
        with pytest.raises(zok.DamagedError) as raised:
            archive.read("noise.bin")
        assert raised.value.code == zok.ErrorCode.DATA_CORRUPT
        assert (raised.value.path, raised.value.entry) == (str(path), "noise.bin")
        assert archive.read("notes.txt") == contents["notes.txt"]  # its neighbour is sound
        problems = archive.check()
    assert [(p.code, p.entry) for p in problems] == [(zok.ErrorCode.DATA_CORRUPT, "noise.bin")]


def test_stream_raises_when_the_end_is_unproven(damaged):
    path, contents, noise = damaged
    with zok.open(path) as archive, archive.open("noise.bin") as stream:
        buffer = bytearray(4096)
        got = bytearray()
        with pytest.raises(zok.Error) as raised:
            while n := stream.readinto(buffer):
                got += buffer[:n]
    assert raised.value.code == zok.ErrorCode.DATA_CORRUPT
    assert got == contents["noise.bin"]  # every byte came, but the entry is not proven


def test_cut_and_foreign_files(damaged, tmp_path):
    path, _, noise = damaged
    cut = tmp_path / "cut.zok"
    cut.write_bytes(path.read_bytes()[:noise.offset + noise.stored_size])
    with zok.open(cut) as archive:  # still opens: only the entries cut off are damaged
        assert len(archive) == 2
        with pytest.raises(zok.DamagedError) as raised:
            archive.open("notes.txt")
        assert raised.value.code == zok.ErrorCode.DATA_PAST_END
    (tmp_path / "not.zok").write_bytes(b"PK\3\4 something else entirely")
    for name, code in (("not.zok", zok.ErrorCode.NOT_AN_ARCHIVE),
                       ("missing.zok", zok.ErrorCode.CANNOT_OPEN)):
        with pytest.raises(zok.Error) as raised:
            zok.open(tmp_path / name)
        assert raised.value.code == code and raised.value.path == str(tmp_path / name)
    assert raised.value.errno == 2 and "No such file" in str(raised.value)
