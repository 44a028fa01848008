#!/usr/bin/env python3
"""Builds the SMART attribute-name resource IDFILE_SMART_LANG.

Each language's INI source (UTF-8, <LLLL>.ini named by the 4-hex-digit language id) is checked,
turned into UTF-16LE with byte-order mark and CRLF line ends, tree-coded (Huffman code, tree
stored pre-order in the bit stream) and packed into a container whose last 4 bytes hold the
entry count N, preceded by N 16-byte directory entries (language, offset, decoded size, coded
size; little-endian 32-bit).

Outputs: the container (.bin) and optionally a C++ source that embeds it in the engine's
embedded-resource table (or an empty table with --no-embed, where the platform carries the
container as a real resource).
"""

import argparse
import heapq
import re
import struct
import sys
from pathlib import Path

RESOURCE_NAME = "IDFILE_SMART_LANG"
DEFAULT_LANGUAGES = ["0809", "0404", "0804", "0411", "0412", "0419"]
MAX_TREE_NODES = 511

SECTION_RE = re.compile(r"^\[([^\[\]\s][^\[\]]*)\]$")
ENTRY_RE = re.compile(r"^([0-9A-F]{2}|VENDOR_SPECIFIC)=(.*)$")


class PackError(Exception):
    pass


def ini_lines(path, raw):
    """The source's lines without line ends; strict UTF-8, no stray carriage returns."""
    try:
        text = raw.decode("utf-8")
    except UnicodeDecodeError as e:
        raise PackError(f"{path}: not valid UTF-8 ({e})")
    if text.startswith("\ufeff"):
        text = text[1:]
    lines = text.split("\n")
    if lines and lines[-1] == "":
        lines.pop()
    lines = [line[:-1] if line.endswith("\r") else line for line in lines]
    for number, line in enumerate(lines, 1):
        if "\r" in line or "\x00" in line:
            raise PackError(f"{path}:{number}: stray carriage return or NUL character")
    return lines


def validate(path, lines):
    sections = set()
    keys = None
    for number, line in enumerate(lines, 1):
        where = f"{path}:{number}"
        stripped = line.strip()
        if not stripped or stripped.startswith(";"):
            continue
        m = SECTION_RE.match(stripped)
        if m:
            name = m.group(1)
            if name.lower() in sections:
                raise PackError(f"{where}: section [{name}] appears twice")
            sections.add(name.lower())
            keys = set()
            continue
        m = ENTRY_RE.match(stripped)
        if not m:
            raise PackError(
                f"{where}: expected [Section] or KEY=value with KEY two upper-case hex digits "
                f"or VENDOR_SPECIFIC, got {line!r}")
        if keys is None:
            raise PackError(f"{where}: entry before the first section")
        key, value = m.group(1), m.group(2).strip()
        if not value:
            raise PackError(f"{where}: key {key} has an empty name")
        if key in keys:
            raise PackError(f"{where}: key {key} appears twice in its section")
        keys.add(key)
    if not sections:
        raise PackError(f"{path}: no section")


def utf16_text(lines):
    return ("\ufeff" + "".join(line + "\r\n" for line in lines)).encode("utf-16-le")


class BitWriter:
    def __init__(self):
        self.out = bytearray()
        self.acc = 0
        self.count = 0

    def bit(self, b):
        self.acc = (self.acc << 1) | (1 if b else 0)
        self.count += 1
        if self.count == 8:
            self.out.append(self.acc)
            self.acc = 0
            self.count = 0

    def bits(self, value, width):
        for i in range(width - 1, -1, -1):
            self.bit((value >> i) & 1)

    def finish(self):
        if self.count:
            self.out.append(self.acc << (8 - self.count))
            self.acc = 0
            self.count = 0
        return bytes(self.out)


def build_tree(data):
    """Huffman tree: a leaf is an int (byte value), an inner node a (left, right) tuple.

    Ties break on a creation rank (leaves by byte value, then inner nodes in creation order),
    so the same text always gives the same code.
    """
    freq = [0] * 256
    for b in data:
        freq[b] += 1
    heap = [(f, v, v) for v, f in enumerate(freq) if f]
    if not heap:
        raise PackError("empty text")
    heapq.heapify(heap)
    rank = 256
    while len(heap) > 1:
        f1, _, a = heapq.heappop(heap)
        f2, _, b = heapq.heappop(heap)
        heapq.heappush(heap, (f1 + f2, rank, (a, b)))
        rank += 1
    return heap[0][2]


def tree_encode(data):
    data = bytes(data)
    root = build_tree(data)
    codes = {}
    w = BitWriter()
    nodes = 0
    # Pre-order, iteratively: ("node", n, path) writes a node; ("bit", b) writes a presence bit.
    work = [("node", root, ())]
    while work:
        item = work.pop()
        if item[0] == "bit":
            w.bit(item[1])
            continue
        _, node, path = item
        nodes += 1
        if isinstance(node, int):
            w.bit(1)
            w.bits(node, 8)
            codes[node] = path
        else:
            w.bit(0)
            left, right = node
            work.append(("node", right, path + (1,)))
            work.append(("bit", 1))
            work.append(("node", left, path + (0,)))
            work.append(("bit", 1))
    if nodes > MAX_TREE_NODES:
        raise PackError(f"code tree has {nodes} nodes")
    for b in data:
        for bit in codes[b]:
            w.bit(bit)
    return w.finish()


def tree_decode(coded, size):
    """Reference decoder, used to check every packed entry before it is written."""
    pos = 0

    def bit():
        nonlocal pos
        if pos >= len(coded) * 8:
            raise PackError("coded stream ends early")
        b = (coded[pos // 8] >> (7 - pos % 8)) & 1
        pos += 1
        return b

    def node():
        if bit():
            v = 0
            for _ in range(8):
                v = (v << 1) | bit()
            return v
        left = node() if bit() else None
        right = node() if bit() else None
        return (left, right)

    root = node()
    out = bytearray()
    for _ in range(size):
        n = root
        while not isinstance(n, int):
            n = n[bit()]
        out.append(n)
    return bytes(out)


def pack(texts):
    """texts: list of (language id, UTF-16 bytes) in container order."""
    body = bytearray()
    directory = bytearray()
    for language, text in texts:
        coded = tree_encode(text)
        if tree_decode(coded, len(text)) != text:
            raise PackError(f"language {language:04X}: tree code does not round-trip")
        directory += struct.pack("<IIII", language, len(body), len(text), len(coded))
        body += coded
    return bytes(body + directory + struct.pack("<I", len(texts)))


def read_languages(source_dir, languages):
    texts = []
    for lang in languages:
        if not re.fullmatch(r"[0-9A-Fa-f]{4}", lang):
            raise PackError(f"language id {lang!r} is not 4 hex digits")
        path = Path(source_dir) / f"{lang}.ini"
        if not path.is_file():
            raise PackError(f"{path}: missing; every language of the resource needs its file")
        lines = ini_lines(path, path.read_bytes())
        validate(path, lines)
        texts.append((int(lang, 16), utf16_text(lines)))
    return texts


def cpp_source(blob, embed):
    out = ["// Generated by tools/smartlang/packsmartlang.py; do not edit.",
           '#include "foundation/embeddedresource.h"', "", "namespace tvd {", ""]
    if not embed:
        out += ["std::span<const EmbeddedResource> EmbeddedResources() { return {}; }"]
    else:
        out += ["namespace {", "", f"alignas(4) constexpr std::uint8_t kSmartLang[{len(blob)}] = {{"]
        for i in range(0, len(blob), 16):
            out.append("    " + ", ".join(f"0x{b:02x}" for b in blob[i:i + 16]) + ",")
        out += ["};", "",
                "constexpr EmbeddedResource kTable[] = {",
                f'    {{"{RESOURCE_NAME}", kSmartLang, sizeof(kSmartLang)}},',
                "};", "", "} // namespace", "",
                "std::span<const EmbeddedResource> EmbeddedResources() { return kTable; }"]
    out += ["", "} // namespace tvd", ""]
    return "\n".join(out)


def write_file(path, data):
    path = Path(path)
    path.parent.mkdir(parents=True, exist_ok=True)
    tmp = path.with_name(path.name + ".tmp")
    tmp.write_bytes(data)
    tmp.replace(path)


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--source-dir", required=True, help="folder with the <LLLL>.ini files")
    ap.add_argument("--languages", default=",".join(DEFAULT_LANGUAGES),
                    help="comma-separated language ids in container order (fallback first)")
    ap.add_argument("--bin", required=True, help="container to write")
    ap.add_argument("--cpp", help="C++ source with the embedded-resource table to write")
    ap.add_argument("--no-embed", action="store_true",
                    help="write an empty embedded-resource table")
    args = ap.parse_args(argv)
    try:
        languages = [x for x in args.languages.split(",") if x]
        if len({x.upper() for x in languages}) != len(languages):
            raise PackError("a language is listed twice")
        blob = pack(read_languages(args.source_dir, languages))
        write_file(args.bin, blob)
        if args.cpp:
            write_file(args.cpp, cpp_source(blob, not args.no_embed).encode("ascii"))
    except (PackError, OSError) as e:
        print(f"packsmartlang: error: {e}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
