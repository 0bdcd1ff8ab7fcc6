"""Writing archives: zok.create, zok.update, zok.delete and zok.upgrade, and the report they
return.

Each is the library's own operation; what the module adds is the Python shape of its
arguments: paths, jobs, a progress callable and a cancel flag.
"""

from __future__ import annotations

import dataclasses
import os
from typing import Callable, Iterable, Optional, Protocol, Union

from . import _zok
from ._archive import StrPath, _jobs


class CancelFlag(Protocol):
    """Anything with is_set(), such as threading.Event."""

    def is_set(self) -> bool: ...


#: Called as progress(done_bytes, total_bytes, name) while an archive is written, after each
#: file or entry and within large ones about every megabyte, on the calling thread.
Progress = Callable[[int, int, str], object]


@dataclasses.dataclass(frozen=True)
class Report:
    """What an operation that wrote an archive tells.

    output: the archive written. unencoded: inputs (create) or entries (upgrade) that could not
    be encoded and were kept as empty entries; the archive holds everything else.
    carried_empty: entries that held no data already and were carried over as empty.
    kept_backup: after an in-place upgrade with unencoded entries, where the old archive is
    kept (it holds what the new one lacks), else None.
    changes: after update or delete, (name, action) for every entry of the old archive and
    every input in the new archive's order, action one of "kept", "replaced", "added",
    "deleted", "unchanged" (an equal input left the entry as stored).
    """

    output: str
    unencoded: list[str]
    carried_empty: list[str] = dataclasses.field(default_factory=list)
    kept_backup: Optional[str] = None
    changes: list[tuple[str, str]] = dataclasses.field(default_factory=list)

    @property
    def complete(self) -> bool:
        """True when every input or entry was encoded."""
        return not self.unencoded


def create(output: StrPath, paths: Iterable[StrPath], *, jobs: int | None = None,
           allow_duplicate_names: bool = False, progress: Progress | None = None,
           cancel: CancelFlag | None = None) -> Report:
    """Builds the archive output from files, in the order given; a folder gives its files and
    those of its subfolders, sorted by path, each entry named by its file name alone. Two files
    of one name (letter case ignored) are refused (DUPLICATE_NAME) unless
    allow_duplicate_names. An existing file at output is replaced only when the new archive is
    complete, keeping its permissions; on any failure nothing is left at output.

    Every input is checked before anything is written: zok.Error names the first problem
    (IS_A_FOLDER, CANNOT_OPEN, NAME_NOT_IN_CP949 ...) and its message every one. jobs: files
    encoded at a time (default one per core; the archive is the same, byte for byte, for any
    number). progress(done_bytes, total_bytes, name) hears how far it is; raising from it stops
    the build and the exception comes through. cancel: a flag such as threading.Event, looked
    at with each progress report; when set the build stops with zok.CancelledError.
    """
    paths = [os.fsencode(path) for path in paths]
    return _report(_zok.create(os.fsencode(output), paths, _jobs(jobs), allow_duplicate_names,
                               progress, cancel))


def update(path: StrPath, paths: Iterable[StrPath] = (), *, delete: Iterable[str] = (),
           only_changed: bool = False, allow_duplicate_names: bool = False,
           out: StrPath | None = None, overwrite: bool = False,
           progress: Progress | None = None, cancel: CancelFlag | None = None) -> Report:
    """Changes a version 1.1.0 archive without rebuilding it: each file of paths (folders
    walked as by create) takes the place of the first entry of its name, or is appended; the
    entries that delete names (names or shell-style patterns) go; every other entry is copied
    as stored. The result equals a full create of the resulting files, byte for byte.

    only_changed: a file whose content equals its entry leaves the entry as stored. out: write
    the new archive there instead of replacing path (an existing out only with overwrite,
    else ALREADY_EXISTS). Nothing is changed on any failure:
    zok.Error names why (NEEDS_UPGRADE, NO_MATCH for a deletion matching nothing,
    DUPLICATE_NAME, an input's problem ...). Report.changes says what became of each entry.
    """
    paths = [os.fsencode(p) for p in paths]
    if isinstance(delete, str):
        delete = [delete]
    output = b"" if out is None else os.fsencode(out)
    return _report(_zok.update(os.fsencode(path), paths, list(delete), only_changed,
                               allow_duplicate_names, output, overwrite, progress, cancel))


def delete(path: StrPath, names: Iterable[str] | str, *, out: StrPath | None = None,
           overwrite: bool = False, progress: Progress | None = None,
           cancel: CancelFlag | None = None) -> Report:
    """Deletes the entries that names (names or shell-style patterns) give; the others are
    copied as stored. zok.Error NO_MATCH, nothing changed, when a name matches no entry."""
    return update(path, delete=names, out=out, overwrite=overwrite, progress=progress,
                  cancel=cancel)


def upgrade(path: StrPath, out: StrPath | None = None, *, in_place: bool = False,
            overwrite: bool = False, progress: Progress | None = None,
            cancel: CancelFlag | None = None) -> Report | None:
    """Rewrites a version 1.0.0 archive as version 1.1.0: as out, by default beside it as
    NAME110.zok, or over itself with in_place (then, when some entries cannot be encoded again,
    the old archive is kept as ~NAME; see Report.kept_backup). An existing out is replaced only
    with overwrite. Returns None, writing nothing, for an archive that is current already.

    On failure the archive is left exactly as it was and zok.Error says why; progress and
    cancel work as for create (names are the entries').
    """
    if in_place and out is not None:
        raise ValueError("upgrade: out and in_place exclude each other")
    output = b"" if out is None else os.fsencode(out)
    return _report(_zok.upgrade(os.fsencode(path), output, in_place, overwrite, progress, cancel))


def _report(fields: Union[dict, None]) -> Report | None:
    return None if fields is None else Report(**fields)
