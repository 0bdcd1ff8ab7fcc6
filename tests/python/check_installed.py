"""The module as installed below PREFIX: imported from there, with the library of that prefix
(not the build's), it packs and reads an archive and help() shows it.

Usage: check_installed.py PREFIX
"""
import os
import pathlib
import pydoc
import sys
import tempfile

prefix = pathlib.Path(sys.argv[1]).resolve()
import zok  # noqa: E402

assert prefix in pathlib.Path(zok.__file__).resolve().parents, zok.__file__
libraries = {line.split()[-1] for line in open("/proc/self/maps") if "libzok.so" in line}
assert libraries and all(prefix in pathlib.Path(p).parents for p in libraries), libraries
with tempfile.TemporaryDirectory() as work:
    source = os.path.join(work, "a.txt")
    with open(source, "w") as out:
        out.write("installed\n" * 100)
    zok.create(os.path.join(work, "a.zok"), [source])
    with zok.open(os.path.join(work, "a.zok")) as archive:
        assert archive.read("A.TXT") == b"installed\n" * 100
text = pydoc.render_doc(zok, renderer=pydoc.plaintext)
assert "ZOK archives from Python" in text and "create(output:" in text, text[:300]
print(f"zok {zok.__version__} from {zok.__file__}, libzok from {libraries.pop()}")
