#!/usr/bin/env python3
"""libzok.so exports its public API and nothing else: every dynamic symbol it defines is a name
of namespace zok that the public headers declare (its members, type information and virtual
tables included), never an internal class, an anonymous namespace or a template of the standard
library.

Usage: check_exports.py LIBRARY INCLUDE_DIR
"""
import pathlib
import re
import subprocess
import sys


def public_words(include_dir):
    words = set()
    for header in pathlib.Path(include_dir).glob("*.h"):
        words.update(re.findall(r"[A-Za-z_][A-Za-z0-9_]*", header.read_text()))
    return words


def exported(library):
    out = subprocess.run(["nm", "-D", "--defined-only", "-C", library], check=True,
                         capture_output=True, text=True).stdout
    for line in out.splitlines():
        parts = line.split(" ", 2)
        if len(parts) == 3:
            yield parts[2]


def scope(symbol):
    """The qualified name's components before any parameter or template list."""
    for prefix in ("typeinfo name for ", "typeinfo for ", "vtable for "):
        if symbol.startswith(prefix):
            symbol = symbol[len(prefix):]
    name = re.split(r"[(<\[]", symbol, maxsplit=1)[0]
    return name.split("::")


def main():
    library, include_dir = sys.argv[1], sys.argv[2]
    words = public_words(include_dir)
    wrong = []
    count = 0
    for symbol in exported(library):
        count += 1
        parts = scope(symbol)
        # An operator is public when a header declares one ("operator=" has the word operator).
        names = [re.sub(r"^operator\W.*", "operator", p.lstrip("~")) for p in parts[1:]]
        if parts[0] != "zok" or "(anonymous namespace)" in symbol or \
                not all(n in words for n in names):
            wrong.append(symbol)
    if count == 0:
        print(f"{library} exports nothing", file=sys.stderr)
        return 1
    for symbol in wrong:
        print(f"not public API: {symbol}", file=sys.stderr)
    print(f"{count} symbols, {len(wrong)} outside the public API")
    return 1 if wrong else 0


if __name__ == "__main__":
    sys.exit(main())
