#!/usr/bin/env python3
"""Compares the SCSI command blocks `tarvikdorn identify --trace` sends with the ones sg3-utils
prints at -vvv for the same command on the same drive. Every function returns a list of
differences, one line each naming the drive, the command and the byte; empty means agreement.

    compare_cdbs.py FOLDER   # a guest's output folder of identify-vs-tools.sh
"""

import re
import sys
from pathlib import Path

# Ours: "cdb: 12 00 00 00 24 00". sg3-utils: "    Inquiry cdb: 12 00 ...", "Read capacity(16)
# cdb: 9e 10 ...", "ATA pass-through(16) cdb: [85 08 ...]"; the name varies between versions,
# so a block is known by its bytes, not by the name before it.
_CDB = re.compile(r"cdb:[ \t]*\[?[ \t]*((?:[0-9a-fA-F]{2}[ \t]*){6,16})")


def parse(text):
    """Every command block of a text, in order, as bytes."""
    return [bytes.fromhex(m.group(1)) for m in _CDB.finditer(text or "")]


def kind(cdb):
    """The commands compared here; None for any other block."""
    if cdb[0] == 0x12 and len(cdb) == 6 and not cdb[1] & 1:
        return "INQUIRY"
    if cdb[0] == 0x9E and len(cdb) == 16 and cdb[1] & 0x1F == 0x10:
        return "READ CAPACITY (16)"
    if cdb[0] == 0xA1 and len(cdb) == 12 and cdb[9] == 0xEC:
        return "ATA PASS-THROUGH (12) IDENTIFY DEVICE"
    if cdb[0] == 0x85 and len(cdb) == 16 and cdb[14] == 0xEC:
        return "ATA PASS-THROUGH (16) IDENTIFY DEVICE"
    return None


# Bytes that may differ, per command: byte -> (the values either side may hold, why). A byte not
# named here must be equal; a named byte must hold one of its values on both sides.
ALLOWED = {
    # The allocation length: each asks for as much as it wants to read.
    "INQUIRY": {3: (range(256), "allocation length (MSB)"),
                4: (range(256), "allocation length (LSB)")},
    "READ CAPACITY (16)": {},
    # DEVICE: bits 7 and 5 are obsolete (once always one); a target ignores them.
    "ATA PASS-THROUGH (12) IDENTIFY DEVICE": {8: ((0x00, 0xA0), "DEVICE, obsolete bits 7 and 5")},
    "ATA PASS-THROUGH (16) IDENTIFY DEVICE": {13: ((0x00, 0xA0), "DEVICE, obsolete bits 7 and 5")},
}


def _hex(b):
    return " ".join(f"{x:02x}" for x in b)


def compare_blocks(drive, name, ours, theirs):
    allowed = ALLOWED[name]
    if len(ours) != len(theirs):
        return [f"{drive}: {name}: tarvikdorn sends {len(ours)} bytes, the tool {len(theirs)}"]
    diffs = []
    for i, (a, b) in enumerate(zip(ours, theirs)):
        values, _ = allowed.get(i, ((), ""))
        if a != b and not (a in values and b in values):
            diffs.append(f"{drive}: {name}: byte {i}: tarvikdorn 0x{a:02x}, the tool 0x{b:02x} "
                         f"(tarvikdorn [{_hex(ours)}], the tool [{_hex(theirs)}])")
    return diffs


def compare_drive(drive, ours_text, tool_texts, required):
    """`ours_text`: the trace; `tool_texts`: what the tools printed; `required`: the commands
    tarvikdorn must have sent (at least one of each group)."""
    ours = [c for c in parse(ours_text) if kind(c)]
    theirs = {}
    for text in tool_texts:
        for c in parse(text):
            if kind(c):
                theirs.setdefault(kind(c), c)
    diffs = []
    sent = {kind(c) for c in ours}
    for group in required:
        if not sent & set(group):
            diffs.append(f"{drive}: tarvikdorn sent no {' or '.join(group)}")
    for c in ours:
        if kind(c) not in theirs:
            diffs.append(f"{drive}: {kind(c)}: no tool printed one to compare with")
            continue
        diffs += compare_blocks(drive, kind(c), c, theirs[kind(c)])
    return diffs


ATA_IDENTIFY = ("ATA PASS-THROUGH (12) IDENTIFY DEVICE", "ATA PASS-THROUGH (16) IDENTIFY DEVICE")
# drive -> the tools' outputs beside our trace, and what the trace must hold
DRIVES = {
    "sata1": (("sg-inq-v", "sg-readcap-v", "sg-sat-identify", "sg-sat-identify12"),
              (ATA_IDENTIFY,)),
    "scsibig": (("sg-inq-v", "sg-readcap-v"), (("INQUIRY",), ("READ CAPACITY (16)",))),
}


def compare_folder(folder):
    folder = Path(folder)

    def read(name):
        p = folder / name
        return p.read_text(errors="replace") if p.exists() else ""

    diffs = []
    for drive, (tools, required) in DRIVES.items():
        trace = read(f"trace-{drive}.err")
        if not parse(trace):
            diffs.append(f"{drive}: tarvikdorn identify --trace printed no command block: "
                         f"{trace[:200]!r}")
            continue
        texts = [read(f"{t}-{drive}.err") + read(f"{t}-{drive}.out") for t in tools]
        diffs += compare_drive(drive, trace, texts, required)
    return diffs


if __name__ == "__main__":
    found = compare_folder(sys.argv[1])
    print("\n".join(found) if found else "agree")
    sys.exit(1 if found else 0)
