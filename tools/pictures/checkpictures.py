#!/usr/bin/env python3
"""Checks the rendered pictures against their table:

  checkpictures.py --table pictures.tsv --sources DIR --rendered DIR [--icon FILE.ico]

Every row's source exists and every PNG was rendered at 1x and 2x of the row's size; every SVG in
the source folder is some row's source (or the icon's); the icon holds 16, 32, 48 and 256 pixel
entries. Exit status 1 with one line per fault."""
import argparse
import os
import struct
import sys

ICON_SOURCE = "program_icon.svg"
ICON_SIZES = [16, 32, 48, 256]


def read_table(path):
    rows = []
    with open(path, encoding="utf-8") as f:
        for n, line in enumerate(f, 1):
            line = line.rstrip("\n")
            if not line or line.startswith("#"):
                continue
            fields = line.split("\t")
            if len(fields) != 4:
                raise SystemExit(f"{path}:{n}: expected name, width, height, source")
            rows.append((fields[0], int(fields[1]), int(fields[2]), fields[3]))
    return rows


def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    if head[:8] != b"\x89PNG\r\n\x1a\n" or head[12:16] != b"IHDR":
        return None
    return struct.unpack(">II", head[16:24])


def ico_sizes(path):
    with open(path, "rb") as f:
        data = f.read()
    reserved, kind, count = struct.unpack("<HHH", data[:6])
    if reserved != 0 or kind != 1:
        return None
    sizes = []
    for i in range(count):
        w, h, _, _, _, _, size, offset = struct.unpack("<BBBBHHII", data[6 + 16 * i:22 + 16 * i])
        if offset + size > len(data) or png_size_bytes(data[offset:offset + 24]) != (w or 256, h or 256):
            return None
        sizes.append(w or 256)
    return sizes


def png_size_bytes(head):
    if head[:8] != b"\x89PNG\r\n\x1a\n":
        return None
    return struct.unpack(">II", head[16:24])


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--table", required=True)
    ap.add_argument("--sources", required=True)
    ap.add_argument("--rendered")
    ap.add_argument("--icon")
    a = ap.parse_args()
    faults = []
    rows = read_table(a.table)
    names = [r[0] for r in rows]
    for dup in sorted({n for n in names if names.count(n) > 1}):
        faults.append(f"{dup}: listed twice")
    used = {ICON_SOURCE}
    for name, w, h, source in rows:
        used.add(source)
        if not os.path.isfile(os.path.join(a.sources, source)):
            faults.append(f"{name}: source {source} missing")
        if a.rendered:
            for suffix, scale in (("", 1), ("_2X", 2)):
                png = os.path.join(a.rendered, name + suffix + ".png")
                got = png_size(png) if os.path.isfile(png) else None
                if got != (w * scale, h * scale):
                    faults.append(f"{name}{suffix}: rendered {got}, expected {(w * scale, h * scale)}")
    for f in sorted(os.listdir(a.sources)):
        if f.endswith(".svg") and f not in used:
            faults.append(f"{f}: a source no picture uses")
    if a.icon:
        sizes = ico_sizes(a.icon) if os.path.isfile(a.icon) else None
        if sizes != ICON_SIZES:
            faults.append(f"{a.icon}: entries {sizes}, expected {ICON_SIZES}")
    for f in faults:
        print(f)
    print(f"{len(rows)} pictures, {len(faults)} faults")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
