#!/usr/bin/env python3
"""Checks the message tables of every program: each file is valid UTF-8 with well-formed,
unique, non-empty lines; every language has every English id and no other; and each
translation takes exactly the English text's format arguments (the program's formatter only
uses a translation whose conversions match the arguments, so a mismatch would silently show
English)."""
import argparse
import re
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from msgtables import TableError, read_table  # noqa: E402

# The shell's formatter: flags, width, precision, length h/l/ll/I64, conversions d i u x X c C
# s S f; "%%" is a literal. Anything else after "%" ("*", "n", ...) is no conversion.
SPEC = re.compile(r"%([-+ 0#]*)([0-9]*)(\.[0-9]*)?(h|ll|l|I64)?([diuxXcCsSf])")
CLASS = {"d": "int", "i": "int", "u": "int", "x": "int", "X": "int", "c": "int", "C": "int",
         "s": "text", "S": "text", "f": "float"}


def specifiers(text):
    """Argument classes of the text's conversions; None when the text holds a "%" that is
    neither "%%" nor a supported conversion."""
    out, i = [], 0
    while True:
        i = text.find("%", i)
        if i < 0:
            return out
        if text.startswith("%%", i):
            i += 2
            continue
        m = SPEC.match(text, i)
        if not m:
            return None
        out.append(CLASS[m.group(5)])
        i = m.end()


def check_program(folder, languages):
    errors = []
    tables = {}
    for code in languages:
        path = folder / f"{code}.txt"
        if not path.exists():
            errors.append(f"{path}: missing")
            continue
        try:
            tables[code] = dict(read_table(path))
        except TableError as e:
            errors.append(str(e))
    english = tables.get("ENG")
    if english is None:
        errors.append(f"{folder}: no English table")
        return errors
    for ident, text in english.items():
        if specifiers(text) is None:
            errors.append(f"{folder}/ENG.txt: id {ident}: '%' that is no conversion")
    for code, table in tables.items():
        if code == "ENG":
            continue
        for ident in sorted(set(english) - set(table)):
            errors.append(f"{folder}/{code}.txt: id {ident} missing")
        for ident in sorted(set(table) - set(english)):
            errors.append(f"{folder}/{code}.txt: id {ident} is not in English")
        for ident in sorted(set(table) & set(english)):
            want, got = specifiers(english[ident]), specifiers(table[ident])
            if got != want:
                errors.append(f"{folder}/{code}.txt: id {ident}: conversions {got} differ "
                              f"from English {want}")
    return errors


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--root", default="resources/messages", help="folder of the programs' tables")
    ap.add_argument("--languages", default="ENG,CHT,CHS,JPN,KOR,RUS")
    args = ap.parse_args(argv)
    root = Path(args.root)
    programs = sorted(p for p in root.iterdir() if p.is_dir()) if root.is_dir() else []
    if not programs:
        print(f"checkmsgtables: no program tables under {root}", file=sys.stderr)
        return 1
    languages = [c for c in args.languages.split(",") if c]
    errors = []
    for folder in programs:
        errors += check_program(folder, languages)
    for e in errors:
        print(f"checkmsgtables: {e}", file=sys.stderr)
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
