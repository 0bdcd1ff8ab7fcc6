"""Errors of the zok module: one exception class, zok.Error, carrying the library's code."""

from __future__ import annotations

import enum
import os


class ErrorCode(enum.IntEnum):
    """What went wrong, as the library's stable numbers (ErrorCodeName gives the words)."""

    NONE = 0
    # The machine and the caller.
    OUT_OF_MEMORY = 1
    CANCELLED = 2
    # Files (errno gives the system's reason where there is one).
    CANNOT_OPEN = 10
    CANNOT_READ = 11
    CANNOT_WRITE = 12
    IS_A_FOLDER = 13
    IS_A_FIFO = 14
    IS_A_SOCKET = 15
    IS_A_DEVICE = 16
    NOT_REGULAR_FILE = 17
    ALREADY_EXISTS = 18
    FILE_TOO_LARGE = 19
    FILE_CHANGED = 20
    OUTPUT_IS_INPUT = 21
    LINK_LEADS_OUT = 22
    NO_FOLDER = 23
    OUTPUTS_COLLIDE = 24
    INPUT_IS_OUTPUT = 25
    # Archives as a whole.
    NOT_AN_ARCHIVE = 30
    ARCHIVE_TOO_LARGE = 31
    HEADER_CUT_SHORT = 32
    DIRECTORY_PAST_END = 33
    RECORD_PAST_END = 34
    NAME_PAST_END = 35
    DATA_OVERLAPS_DIRECTORY = 36
    DATA_OVERLAP = 37
    VERSION_NOT_UPGRADABLE = 38
    NEEDS_UPGRADE = 39
    ARCHIVE_WOULD_BE_TOO_LARGE = 40
    # One entry.
    NO_SUCH_ENTRY = 50
    UNKNOWN_KIND = 51
    HOLDS_NO_DATA = 52
    DATA_PAST_END = 53
    SIZE_LARGER_THAN_STORED = 54
    SIZE_LARGER_THAN_COMPRESSED = 55
    DATA_CUT_SHORT = 56
    DATA_CORRUPT = 57
    INFLATES_TOO_LONG = 58
    INFLATES_TOO_SHORT = 59
    NOT_A_PICTURE = 60
    PICTURE_DAMAGED = 61
    PICTURE_TOO_LARGE = 62
    PICTURE_TOO_LARGE_FOR_BMP = 63
    CANNOT_ENCODE = 64
    # Names.
    NAME_EMPTY = 70
    NAME_FOLDER_REFERENCE = 71
    NAME_HAS_SEPARATOR = 72
    NAME_HAS_NUL = 73
    NAME_NOT_IN_CP949 = 74
    DUPLICATE_NAME = 75
    NO_MATCH = 76

    @property
    def words(self) -> str:
        """The code's stable identifier as the library names it ("data-corrupt")."""
        return self.name.lower().replace("_", "-")


class Error(Exception):
    """A failure reported by the library.

    Attributes: code (ErrorCode; a plain int for a code this module does not know), path (the
    file it concerns, or None), entry (the entry's name, or None), errno (the system's reason,
    0 when there is none), number and other (numbers the code speaks of, such as a record's
    position), detail (a decoder's own message, or ""). failures: when one operation met
    several failures (create's inputs, extract's entries), all of them, this one first (its
    message names them all); else empty.
    """

    def __init__(self, message: str, code: ErrorCode | int, path: str | None = None,
                 entry: str | None = None, errno: int = 0, number: int = 0, other: int = 0,
                 detail: str = "") -> None:
        super().__init__(message)
        self.code = code
        self.path = path
        self.entry = entry
        self.errno = errno
        self.number = number
        self.other = other
        self.detail = detail
        self.failures: list[Error] = []

    def __reduce__(self):  # pickled whole, for multiprocessing pools
        return (type(self), (str(self), self.code, self.path, self.entry, self.errno,
                             self.number, self.other, self.detail))


class NoSuchEntryError(Error, LookupError):
    """No entry has that name or position (ErrorCode.NO_SUCH_ENTRY, NO_MATCH)."""


class DamagedError(Error):
    """The archive or an entry's data is damaged: it cannot be read as it claims."""


class CancelledError(Error):
    """The operation was cancelled by its cancel flag (ErrorCode.CANCELLED)."""


_CLASSES = {ErrorCode.NO_SUCH_ENTRY: NoSuchEntryError, ErrorCode.NO_MATCH: NoSuchEntryError,
            ErrorCode.CANCELLED: CancelledError}
_CLASSES.update((code, DamagedError) for code in (
    ErrorCode.HEADER_CUT_SHORT, ErrorCode.DIRECTORY_PAST_END, ErrorCode.RECORD_PAST_END,
    ErrorCode.NAME_PAST_END, ErrorCode.DATA_OVERLAPS_DIRECTORY, ErrorCode.DATA_OVERLAP,
    ErrorCode.UNKNOWN_KIND, ErrorCode.DATA_PAST_END, ErrorCode.SIZE_LARGER_THAN_STORED,
    ErrorCode.SIZE_LARGER_THAN_COMPRESSED, ErrorCode.DATA_CUT_SHORT, ErrorCode.DATA_CORRUPT,
    ErrorCode.INFLATES_TOO_LONG, ErrorCode.INFLATES_TOO_SHORT, ErrorCode.PICTURE_DAMAGED))


def _code(number: int) -> ErrorCode | int:
    try:
        return ErrorCode(number)
    except ValueError:
        return number


def _words(code: ErrorCode | int) -> str:
    return code.words.replace("-", " ") if isinstance(code, ErrorCode) else f"error {code}"


def make_error(code: ErrorCode | int, path: str | None = None, entry: str | None = None,
               errno: int = 0, number: int = 0, other: int = 0, detail: str = "") -> Error:
    """The exception for a failure: the class for its code, worded from the code, the file and
    entry it concerns and the system's reason."""
    code = _code(int(code))
    where = [part for part in (path, f'entry "{entry}"' if entry else None) if part]
    message = ": ".join(where + [_words(code)])
    if errno:
        message += f": {os.strerror(errno)}"
    if detail:
        message += f" ({detail})"
    cls = _CLASSES.get(code, Error)
    return cls(message, code, path or None, entry or None, errno, number, other, detail)


def combine(errors: list[Error]) -> Error:
    """The exception for the failures of one operation: the first, naming them all."""
    first = errors[0]
    if len(errors) > 1:
        first.args = ("; ".join(str(error) for error in errors),)
        first.failures = list(errors)
    return first


def _from_library(code, path, entry, errno, number, other, detail):
    # Called by the extension for every failure it raises or lists.
    return make_error(code, path, entry, errno, number, other, detail)
