"""Writing archives: progress, cancel by raising or by a flag, failures, folders, update and
delete, upgrade."""

import os
import struct
import threading

import pytest

import zok


def inputs(folder, contents):
    return [folder / name for name in contents]


def test_progress_reports_bytes_and_names(tmp_path, mixed_files):
    folder, contents = mixed_files
    for jobs in (1, 2):
        reports = []
        report = zok.create(tmp_path / f"j{jobs}.zok", inputs(folder, contents), jobs=jobs,
                            progress=lambda *args: reports.append(args))
        assert report.complete and report.output == str(tmp_path / f"j{jobs}.zok")
        total = sum(len(data) for data in contents.values())
        done = [d for d, _, _ in reports]
        assert done == sorted(done) and done[-1] == total
        assert {t for _, t, _ in reports} == {total}
        assert {n for _, _, n in reports} == {str(p) for p in inputs(folder, contents)}
    assert (tmp_path / "j1.zok").read_bytes() == (tmp_path / "j2.zok").read_bytes()


class Stop(Exception):
    pass


def test_cancel_by_raising_or_by_flag(tmp_path, mixed_files):
    folder, contents = mixed_files
    output = tmp_path / "out.zok"
    output.write_bytes(b"kept")

    def stop(done, total, name):
        if name.endswith("noise.bin"):
            raise Stop(name)

    with pytest.raises(Stop):
        zok.create(output, inputs(folder, contents), jobs=1, progress=stop)
    flag = threading.Event()
    flag.set()
    with pytest.raises(zok.CancelledError) as cancelled:
        zok.create(output, inputs(folder, contents), cancel=flag)
    assert cancelled.value.code == zok.ErrorCode.CANCELLED
    assert output.read_bytes() == b"kept"  # nothing replaced, nothing left beside it
    assert sorted(p.name for p in tmp_path.iterdir()) == ["in", "out.zok"]
    with pytest.raises(TypeError):
        zok.create(output, inputs(folder, contents), cancel=True)


def test_every_bad_input_is_named_before_writing(tmp_path, mixed_files):
    folder, contents = mixed_files
    os.mkfifo(tmp_path / "pipe")
    with pytest.raises(zok.Error) as raised:
        zok.create(tmp_path / "x.zok", [folder / "notes.txt", tmp_path / "pipe",
                                        tmp_path / "gone.txt"])
    assert raised.value.code == zok.ErrorCode.IS_A_FIFO
    assert raised.value.path == str(tmp_path / "pipe")
    assert [(f.code, f.errno) for f in raised.value.failures] == [
        (zok.ErrorCode.IS_A_FIFO, 0), (zok.ErrorCode.CANNOT_READ, 2)]
    assert "gone.txt: cannot read: No such file" in str(raised.value)  # naming every problem
    assert not (tmp_path / "x.zok").exists()


def test_folders_are_walked_and_name_clashes_refused(tmp_path, mixed_files):
    folder, contents = mixed_files
    report = zok.create(tmp_path / "all.zok", [folder])
    with zok.open(report.output) as archive:
        assert [e.name for e in archive] == sorted(contents)
    (folder / "sub").mkdir()
    (folder / "sub" / "NOTES.TXT").write_bytes(b"other")
    with pytest.raises(zok.Error) as clash:
        zok.create(tmp_path / "x.zok", [folder])
    assert clash.value.code == zok.ErrorCode.DUPLICATE_NAME
    assert clash.value.path == str(folder / "sub" / "NOTES.TXT")
    assert not (tmp_path / "x.zok").exists()
    assert zok.create(tmp_path / "x.zok", [folder], allow_duplicate_names=True).complete


def test_update_and_delete_equal_a_fresh_create(tmp_path, mixed_files):
    folder, contents = mixed_files
    names = sorted(contents)
    archive = tmp_path / "a.zok"
    zok.create(archive, [folder / n for n in names])
    (folder / "notes.txt").write_bytes(b"rewritten")
    (tmp_path / "new.txt").write_bytes(b"added")
    seen = []
    report = zok.update(archive, [folder / "notes.txt", folder / "save.old", tmp_path / "new.txt"],
                        delete="*.bmp", only_changed=True, progress=lambda *a: seen.append(a))
    assert dict(report.changes) == {
        "empty.txt": "kept", "hero.png": "kept", "noise.bin": "kept", "notes.txt": "replaced",
        "save.old": "unchanged", "tile.bmp": "deleted", "new.txt": "added"}
    assert seen and seen[-1][0] == seen[-1][1]
    kept = [n for n in names if n != "tile.bmp"]
    expected = zok.create(tmp_path / "full.zok", [folder / n for n in kept] + [tmp_path / "new.txt"])
    assert archive.read_bytes() == (tmp_path / "full.zok").read_bytes()

    before = archive.read_bytes()
    with pytest.raises(zok.NoSuchEntryError) as missing:
        zok.delete(archive, ["*.jpg"])
    assert missing.value.code == zok.ErrorCode.NO_MATCH and archive.read_bytes() == before
    zok.delete(archive, "noise.bin", out=tmp_path / "smaller.zok")
    assert archive.read_bytes() == before
    with zok.open(tmp_path / "smaller.zok") as smaller:
        assert "noise.bin" not in [e.name for e in smaller] and len(smaller) == len(kept)
    assert expected.complete


def version_100_archive(entries):
    """A version 1.0.0 archive (no magic) of stored entries named *.old."""
    directory = sum(4 + len(name) + 13 for name, _ in entries)
    records, offset = [], 4 + directory
    for name, data in entries:
        raw = name.encode()
        records.append(struct.pack("<I", len(raw)) + raw +
                       struct.pack("<IIIB", offset, len(data), len(data), 3))
        offset += len(data)
    return struct.pack("<I", len(entries)) + b"".join(records) + b"".join(d for _, d in entries)


def test_upgrade(tmp_path):
    entries = [("a.old", b"first entry"), ("b.old", bytes(range(200)))]
    (tmp_path / "pics.zok").write_bytes(version_100_archive(entries))
    with zok.open(tmp_path / "pics.zok") as old:
        assert old.version == "100" and old.needs_upgrade
    seen = []
    report = zok.upgrade(tmp_path / "pics.zok", progress=lambda *args: seen.append(args))
    assert report.output == str(tmp_path / "pics110.zok") and report.complete
    assert seen[-1] == (211, 211, "b.old")
    with zok.open(report.output) as new:
        assert new.version == "110" and [new.read(n) for n, _ in entries] == [d for _, d in entries]
    assert zok.upgrade(report.output) is None  # current already: nothing written
    with pytest.raises(zok.Error) as taken:
        zok.upgrade(tmp_path / "pics.zok")
    assert taken.value.code == zok.ErrorCode.ALREADY_EXISTS
    assert zok.upgrade(tmp_path / "pics.zok", tmp_path / "pics110.zok", overwrite=True).complete
