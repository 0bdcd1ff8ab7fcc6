"""Reading archives: zok.open, zok.Archive, its entries and the streams over them."""

from __future__ import annotations

import dataclasses
import io
import os
from typing import TYPE_CHECKING, Iterable, Iterator, Union

from . import _zok
from ._errors import Error, ErrorCode, combine, make_error

if TYPE_CHECKING:
    import numpy

#: An entry's name (letter case ignored) or its position in the directory.
Key = Union[str, int]
StrPath = Union[str, "os.PathLike[str]", bytes]


@dataclasses.dataclass(frozen=True)
class Entry:
    """One entry of an archive, as its directory describes it (nothing is read).

    kind is what the entry holds in words: "png" (a picture, stored as a PNG stream),
    "bitmap" (a BMP file stored as it is), "deflated", "stored" (a name ending in "old") or
    "unknown"; kind_number is the directory's kind byte (0 to 3). size is the content's size
    (what read() gives), stored_size the bytes it takes in the archive, source_size the size
    of the file it was made from. holds_data is False for an entry that could not be encoded
    when the archive was built (it is kept empty); is_picture tells whether picture() applies.
    """

    index: int
    name: str
    kind_number: int
    kind: str
    offset: int
    source_size: int
    stored_size: int
    size: int
    is_picture: bool
    holds_data: bool


class EntryFile(io.RawIOBase):
    """An entry's content as a read-only binary file, streamed from the archive.

    Only what the caller's buffer holds is in memory; readinto() has the library write
    straight into that buffer. An entry is sound only when it yields exactly its size from its
    own bytes: damage raises zok.Error when it is met, at the latest when the end is reached,
    so bytes already read may belong to a damaged entry. Wrap it in io.BufferedReader for
    small reads, or io.TextIOWrapper for text.
    """

    def __init__(self, stream: _zok.EntryStream, name: str) -> None:
        super().__init__()
        self._stream = stream
        self.name = name

    @property
    def size(self) -> int:
        """The content's size in bytes."""
        return self._stream.size

    def readable(self) -> bool:
        return True

    def readinto(self, buffer) -> int:
        self._check_closed()
        return self._stream.readinto(buffer)

    def read(self, size: int | None = -1) -> bytes:
        self._check_closed()
        return self._stream.read(-1 if size is None else size)

    def readall(self) -> bytes:
        return self.read(-1)

    def tell(self) -> int:
        self._check_closed()
        return self._stream.done

    def close(self) -> None:
        if not self.closed:
            self._stream.close()
        super().close()

    def _check_closed(self) -> None:
        if self.closed:
            raise ValueError("I/O operation on a closed entry file")

    def __repr__(self) -> str:
        return f"<zok.EntryFile {self.name!r} size={self.size}>"


class Archive:
    """An open ZOK archive (made by zok.open). Use it as a context manager, or close() it.

    len(archive) is the number of entries; iterating gives each Entry in directory order.
    Entries are named by name (letter case ignored; the first entry of that name) or by
    position (negative positions count from the end). Reading releases the GIL: several
    threads may read entries of one archive at once.
    """

    def __init__(self, path: StrPath, *, picture_limit: int | None = None) -> None:
        self._native = _zok.Archive(os.fsencode(path), picture_limit)

    # The archive as a whole.

    @property
    def path(self) -> str:
        return self._native.path

    @property
    def version(self) -> str:
        """The format version as stored: "110", or "100" for a version 1.0.0 archive."""
        return self._native.version

    @property
    def needs_upgrade(self) -> bool:
        """True for a version 1.0.0 archive, which zok.upgrade rewrites as 1.1.0."""
        return self._native.needs_upgrade

    @property
    def closed(self) -> bool:
        return self._native.closed

    def close(self) -> None:
        """Closes the archive; streams opened from it keep reading until they are closed."""
        self._native.close()

    def __enter__(self) -> Archive:
        return self

    def __exit__(self, *exc_info) -> None:
        self.close()

    def __len__(self) -> int:
        return self._native.count

    def __iter__(self) -> Iterator[Entry]:
        for index in range(len(self)):
            yield self._entry(index)

    def __contains__(self, name: object) -> bool:
        return isinstance(name, str) and self._native.find(name) is not None

    def __repr__(self) -> str:
        state = "closed" if self.closed else f"{len(self)} entries"
        return f"<zok.Archive {self._native_path()!r} {state}>"

    # Entries.

    def find(self, name: str) -> Entry | None:
        """The first entry of that name (letter case ignored), or None."""
        index = self._native.find(name)
        return None if index is None else self._entry(index)

    def glob(self, pattern: str) -> list[Entry]:
        """The entries a shell-style pattern (*, ?, [a-z]) matches, in directory order; a name
        that an entry has literally gives that entry alone."""
        return [self._entry(index) for index in self._native.find_all(pattern)]

    def entry(self, key: Key) -> Entry:
        """The entry of that name or position; zok.NoSuchEntryError when there is none."""
        return self._entry(self._index(key))

    def read(self, key: Key) -> bytes:
        """The entry's whole content, proven whole and exact; zok.Error when it is damaged or
        holds no data."""
        return self._native.read(self._index(key))

    def open(self, key: Key) -> EntryFile:
        """The entry's content as a binary file object that streams it (see EntryFile)."""
        index = self._index(key)
        return EntryFile(self._native.open(index), self._native.describe(index)[0])

    def picture(self, key: Key) -> numpy.ndarray:
        """A picture entry decoded: a numpy array of shape (height, width, 3 or 4), uint8, the
        top row first, RGB or RGBA (when the picture has alpha or a transparent colour).
        zok.Error NOT_A_PICTURE for an entry that holds none, PICTURE_TOO_LARGE past the
        picture limit (see zok.open)."""
        return self._native.picture(self._index(key))

    def extract(self, folder: StrPath, names: Iterable[Key] | Key | None = None, *,
                overwrite: bool = False, jobs: int | None = None) -> list[str]:
        """Writes entries into folder (made when missing): all of them, or those names give
        (names, shell-style patterns or positions). Returns the names of the files written.

        The library's one extraction: nothing is written outside folder (names that would
        leave it and links leading out are refused), each file appears only when its entry
        read whole and exactly, a picture entry named *.bmp is written as a 24-bit BMP. An
        existing file is replaced only with overwrite. When some entries fail, the others are
        still written and zok.Error is raised for the first failure, naming every one (its
        failures attribute lists them). jobs: files written at a time (default one per core).
        """
        if names is None:
            indices = list(range(len(self)))
        else:
            if isinstance(names, (str, int)):
                names = [names]
            indices = []
            for key in names:
                indices.extend(self._matches(key))
        written, failures = self._native.extract(os.fsencode(folder), indices, overwrite,
                                                 _jobs(jobs))
        if failures:
            raise combine(failures)
        return written

    def check(self, *, jobs: int | None = None) -> list[Error]:
        """Reads every entry to its end (pictures decoded, row by row) and returns the
        problems found, one zok.Error per entry that is damaged or holds no data, in directory
        order; an empty list for a sound archive. jobs: entries read at a time (default one
        per core)."""
        return self._native.check(_jobs(jobs))

    # Helpers.

    def _native_path(self) -> str:
        return "" if self.closed else self._native.path

    def _entry(self, index: int) -> Entry:
        return Entry(index, *self._native.describe(index))

    def _index(self, key: Key) -> int:
        if isinstance(key, str):
            index = self._native.find(key)
            if index is None:
                raise make_error(ErrorCode.NO_SUCH_ENTRY, self.path, key)
            return index
        if isinstance(key, int) and not isinstance(key, bool):
            count = len(self)
            index = key + count if key < 0 else key
            if not 0 <= index < count:
                raise make_error(ErrorCode.NO_SUCH_ENTRY, self.path,
                                 detail=f"position {key} of {count} entries")
            return index
        raise TypeError(f"an entry is named by a str or an int, not {type(key).__name__}")

    def _matches(self, key: Key) -> list[int]:
        if isinstance(key, str):
            found = self._native.find_all(key)
            if not found:
                raise make_error(ErrorCode.NO_MATCH, self.path, key)
            return found
        return [self._index(key)]


def _jobs(jobs: int | None) -> int:
    if jobs is None:
        return 0
    if jobs < 1:
        raise ValueError("jobs must be at least 1 (or None: one per core)")
    return jobs


def open(path: StrPath, *, picture_limit: int | None = None) -> Archive:  # noqa: A001
    """Opens a ZOK archive for reading: zok.Error when it cannot be opened (CANNOT_OPEN, with
    errno) or is not a ZOK archive that can be trusted (NOT_AN_ARCHIVE, DIRECTORY_PAST_END ...).

    picture_limit: pictures with more pixels are refused (default 2**28, 16384 x 16384).
    """
    return Archive(path, picture_limit=picture_limit)
