"""The module's face: its codes agree with the library, its stubs with the extension, help."""

import pathlib
import pydoc
import re
import subprocess
import sys

import zok
from conftest import gradient, png_rgba
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


def test_readme_pipeline_runs(tmp_path):
    readme = pathlib.Path(__file__).parents[2] / "README.md"
    section = readme.read_text().split("## From Python", 1)[1]
    code = section.split("```python\n", 1)[1].split("```", 1)[0]
    (tmp_path / "art" / "ui").mkdir(parents=True)
    (tmp_path / "art" / "hero.png").write_bytes(png_rgba(5, 3, gradient(5, 3, 4)))
    (tmp_path / "art" / "ui" / "menu.txt").write_text("start\n")
    done = subprocess.run([sys.executable, "-c", code], cwd=tmp_path, capture_output=True,
                          text=True, check=True).stdout.splitlines()
    assert done[-1] == "(3, 5, 4) [  0 101 202  47]"
    assert done[-2] == "[('hero.png', 'kept'), ('menu.txt', 'kept'), ('hero.txt', 'added')]"
    assert done[-3].endswith("menu.txt")
