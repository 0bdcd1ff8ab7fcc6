"""The module's face: its codes agree with the library, its stubs with the extension, help."""

import pathlib
import pydoc
import re

import zok
from zok import _zok


def test_error_codes_are_the_library_codes():
    library = {number: name for number, name in _zok.error_codes()}
    assert {code.value: code.words for code in zok.ErrorCode} == library


def test_stubs_cover_the_extension():
    stub = pathlib.Path(zok.__file__).with_name("_zok.pyi").read_text()
    declared = set(re.findall(r"^(?:def|class) (\w+)", stub, re.M))
    public = {name for name in dir(_zok) if not name.startswith("_")}
    assert declared == public
    for cls in ("Archive", "EntryStream"):
        body = stub.split(f"class {cls}")[1].split("\nclass ")[0]
        members = set(re.findall(r"^    def (\w+)", body, re.M)) - {"__init__"}
        assert members == {m for m in dir(getattr(_zok, cls)) if not m.startswith("_")}


def test_help_shows_the_api():
    text = pydoc.render_doc(zok, renderer=pydoc.plaintext)
    for name in zok.__all__:
        assert name in text
    for words in ("archive.picture(", "progress(done_bytes, total_bytes, name)", "is_set()"):
        assert words in text
    assert zok.__version__.count(".") == 3
