#!/usr/bin/env python3
"""Packs square PNG renders into one .ico (PNG-compressed entries, as Windows Vista and later read
them):  packico.py OUT.ico IN16.png IN32.png ...  Each input's size comes from its own header."""
import struct
import sys


def png_size(data):
    if data[:8] != b"\x89PNG\r\n\x1a\n" or data[12:16] != b"IHDR":
        raise ValueError("not a PNG")
    return struct.unpack(">II", data[16:24])


def pack(pngs):
    entries, images = [], []
    offset = 6 + 16 * len(pngs)
    for data in pngs:
        w, h = png_size(data)
        if w > 256 or h > 256:
            raise ValueError("icon entries are at most 256 pixels")
        # 256 is written as 0 in the directory.
        entries.append(struct.pack("<BBBBHHII", w % 256, h % 256, 0, 0, 1, 32, len(data), offset))
        images.append(data)
        offset += len(data)
    return struct.pack("<HHH", 0, 1, len(pngs)) + b"".join(entries) + b"".join(images)


def main():
    if len(sys.argv) < 3:
        sys.exit("usage: packico.py OUT.ico IN.png...")
    pngs = []
    for name in sys.argv[2:]:
        with open(name, "rb") as f:
            pngs.append(f.read())
    with open(sys.argv[1], "wb") as f:
        f.write(pack(pngs))


if __name__ == "__main__":
    main()
