"""ZOK archives from Python: pack files, read entries and pictures, extract and check.

The module is the ZOK library (libzok.so) seen from Python: every operation is the
library's own, with the GIL released while it works, so threads may read at once.

    import zok

    zok.create("sprites.zok", ["hero.png", "map.txt", "intro.old"])
    with zok.open("sprites.zok") as archive:
        for entry in archive:                      # zok.Entry: name, kind, sizes ...
            print(entry.name, entry.kind, entry.size)
        text = archive.read("map.txt")             # bytes; names ignore letter case
        hero = archive.picture("HERO.PNG")         # numpy uint8 (height, width, 3 or 4)
        with archive.open("intro.old") as stream:  # a binary file object, streamed
            head = stream.read(16)
        problems = archive.check()                 # [] when every entry is sound
        archive.extract("out/")                    # contained in out/, nothing half-written

Failures raise zok.Error (code: zok.ErrorCode, path, entry, errno), or its subclasses
zok.NoSuchEntryError (also a LookupError), zok.DamagedError and zok.CancelledError.
"""

import types as _types

from ._archive import Archive, Entry, EntryFile, open
from ._errors import CancelledError, DamagedError, Error, ErrorCode, NoSuchEntryError
from ._writing import CancelFlag, Progress, Report, create, delete, update, upgrade
from ._zok import __version__

__all__ = [
    "Archive", "CancelFlag", "CancelledError", "DamagedError", "Entry", "EntryFile", "Error",
    "ErrorCode", "NoSuchEntryError", "Progress", "Report", "create", "delete", "open", "update",
    "upgrade",
]

# Shown as zok.X (help, repr, tracebacks), wherever they are defined.
for _name in __all__:
    _item = globals()[_name]
    if isinstance(_item, (type, _types.FunctionType)):
        _item.__module__ = __name__
del _name, _item
