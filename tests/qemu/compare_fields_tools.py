#!/usr/bin/env python3
"""Compares the drive details rows of `tarvikdorn identify --fields --json` with the drive tools'
decoding of the same structures: the NVMe controller's fields (VID to SUBNQN) and power-state
descriptors with `nvme id-ctrl -o json`, every IDENTIFY DEVICE word of an ATA disk with
`smartctl --identify=wn`. Every function returns a list of differences, one line each naming the
drive, the field and both values; an empty list means agreement.

    compare_fields_tools.py FOLDER   # a guest's output folder of identify-vs-tools.sh
"""

import json
import re
import sys
from pathlib import Path

# nvme-cli's names where they differ from the field's short name.
NVME_ALIASES = {"nvscc": "icsvscc"}


def _diff(drive, field, ours, theirs, tool):
    return f"{drive}: {field}: tarvikdorn {ours!r}, {tool} {theirs!r}"


def _raw_bytes(value):
    return bytes(int(x, 16) for x in value.split())


def _number(value):
    """The leading hexadecimal of a formatted row: "0x1F2E", "0x0001 (1)"."""
    m = re.match(r"0x([0-9A-Fa-f]+)", value or "")
    return int(m.group(1), 16) if m else None


def _rows(fields):
    rows = fields.get("rows") if isinstance(fields, dict) else None
    return rows if isinstance(rows, list) else []


def _text(v):
    return v.rstrip(" \0") if isinstance(v, str) else v


def compare_nvme(drive, fields, ctrl):
    """The named rows of the controller against `nvme id-ctrl -o json`."""
    diffs = []
    rows = _rows(fields)
    if fields.get("kind") != "nvme" or not rows:
        return [f"{drive}: tarvikdorn gave no NVMe rows"]
    named = {r.get("name"): r for r in rows if r.get("name")}
    compared = 0
    for name, row in named.items():
        key = NVME_ALIASES.get(name.lower(), name.lower())
        if name == "Reserved" or name.startswith("PSD") or key not in ctrl:
            continue
        theirs = ctrl[key]
        fmt, value = row.get("format"), row.get("value", "")
        if fmt == "s":
            ours, theirs = _text(value), _text(theirs)
        elif fmt == "":
            raw = _raw_bytes(value)
            if key == "fguid":
                ours, theirs = raw.hex(), str(theirs).replace("-", "").lower()
            else:
                ours = int.from_bytes(raw, "little")
                theirs = int(str(theirs), 0)
        else:
            ours = _number(value)
            theirs = int(str(theirs), 0) if theirs is not None else None
        compared += 1
        if ours != theirs:
            diffs.append(_diff(drive, name, ours, theirs, "nvme id-ctrl"))
    if compared < 50:
        diffs.append(f"{drive}: only {compared} rows had a field of nvme id-ctrl to compare")
    diffs += compare_power_states(drive, named, ctrl)
    return diffs


def _power_state(raw):
    le = lambda a, n: int.from_bytes(raw[a:a + n], "little")  # noqa: E731
    return {
        "max_power": le(0, 2), "flags": raw[3], "entry_lat": le(4, 4), "exit_lat": le(8, 4),
        "read_tput": raw[12] & 0x1F, "read_lat": raw[13] & 0x1F, "write_tput": raw[14] & 0x1F,
        "write_lat": raw[15] & 0x1F, "idle_power": le(16, 2), "idle_scale": raw[18] >> 6,
        "active_power": le(20, 2), "active_power_work": raw[22] & 0x07,
        "active_scale": raw[22] >> 6,
    }


def compare_power_states(drive, named, ctrl):
    diffs = []
    psds = ctrl.get("psds")
    if not isinstance(psds, list) or not psds:
        return [f"{drive}: nvme id-ctrl lists no power states"]
    for i, theirs in enumerate(psds):
        row = named.get(f"PSD{i}")
        if row is None:
            diffs.append(f"{drive}: tarvikdorn has no row PSD{i}")
            continue
        raw = _raw_bytes(row.get("value", ""))
        if len(raw) != 32:
            diffs.append(f"{drive}: PSD{i} has {len(raw)} bytes, not 32")
            continue
        ours = _power_state(raw)
        shared = [k for k in ours if k in theirs]
        if len(shared) < 6:
            diffs.append(f"{drive}: PSD{i}: nvme id-ctrl names too few of the descriptor's fields")
        for k in shared:
            if ours[k] != theirs[k]:
                diffs.append(_diff(drive, f"PSD{i}.{k}", ours[k], theirs[k], "nvme id-ctrl"))
    return diffs


def smartctl_words(text):
    """The IDENTIFY DEVICE words as `smartctl --identify=wn` prints them: one word, a word range
    of one repeated value, or rows of up to four words; None for each word it did not print."""
    words = [None] * 256
    for line in text.splitlines():
        m = re.match(r"\s*(\d+)-(\d+)\s+0x([0-9a-f]{2})\.\.\.\s", line)
        if m:
            a, b, low = int(m.group(1)), int(m.group(2)), int(m.group(3), 16)
            for w in range(a, b + 1):
                words[w] = 0xFFFF if low == 0xFF else 0
            continue
        m = re.match(r"\s*(\d+)-(\d+)\s+0x0000:0000:0000:00\.\.\.", line)
        if m:
            for w in range(int(m.group(1)), int(m.group(2)) + 1):
                words[w] = 0
            continue
        m = re.match(r"\s*(\d+)-(\d+)\s+0x([0-9a-f]{4}(?::[0-9a-f]{4})*)", line)
        if m:
            for i, h in enumerate(m.group(3).split(":")):
                if int(m.group(1)) + i <= int(m.group(2)):
                    words[int(m.group(1)) + i] = int(h, 16)
            continue
        m = re.match(r"\s*(\d+)\s+0x([0-9a-f]{4})\s", line)
        if m and int(m.group(1)) < 256:
            words[int(m.group(1))] = int(m.group(2), 16)
    return words


def _row_words(row):
    """The words a row shows, from its value text; None where the format hides them (a text
    after its end)."""
    first, last, fmt, value = row["first"], row["last"], row.get("format"), row.get("value", "")
    n = last - first + 1
    if fmt == "":
        return [int(x, 16) for x in value.split()]
    if fmt in ("w", "d", "q"):
        v = _number(value)
        return None if v is None else [(v >> (16 * i)) & 0xFFFF for i in range(n)]
    if fmt == "h":
        return [int(value[4 * i:4 * i + 4], 16) for i in range(len(value) // 4)]
    if fmt == "s":
        b = value.encode("latin-1", "replace")
        out = []
        for i in range(n):
            if 2 * i + 1 < len(b):
                out.append(b[2 * i] << 8 | b[2 * i + 1])
            elif 2 * i < len(b):
                out.append(b[2 * i] << 8)  # the text ended at the word's low byte
            else:
                out.append(None)
        return out
    return None


def compare_ata(drive, fields, smartctl_text):
    """Every row's words against the words `smartctl --identify=wn` printed."""
    rows = _rows(fields)
    if fields.get("kind") != "ata" or not rows:
        return [f"{drive}: tarvikdorn gave no ATA rows"]
    theirs = smartctl_words(smartctl_text)
    if sum(w is not None for w in theirs) < 200:
        return [f"{drive}: smartctl --identify printed only "
                f"{sum(w is not None for w in theirs)} words"]
    diffs = []
    for row in rows:
        ours = _row_words(row)
        if ours is None:
            diffs.append(f"{drive}: word {row['position']}: no words in {row.get('value')!r}")
            continue
        for i, w in enumerate(ours):
            word = row["first"] + i
            if w is None or word > row["last"] or theirs[word] is None:
                continue
            # A text stops at its first zero byte: the low byte after it is not shown.
            t = theirs[word]
            if row.get("format") == "s" and (w & 0xFF) == 0 and (t >> 8) == (w >> 8):
                t &= 0xFF00
            if w != t:
                diffs.append(_diff(drive, f"word {word} ({row['position']})", f"{w:04x}",
                                   f"{theirs[word]:04x}", "smartctl --identify"))
    return diffs


def compare_folder(folder):
    folder = Path(folder)

    def read(name):
        p = folder / f"{name}.out"
        return p.read_text(errors="replace") if p.exists() else ""

    def load(name):
        try:
            return json.loads(read(name))
        except ValueError:
            return None

    diffs = []
    for name in ("fields-sata1", "fields-nvme1", "nvme-id-ctrl"):
        if load(name) is None:
            diffs.append(f"{name} gave no JSON: {read(name)[:200]!r}")
    if not read("smartctl-identify-sata1").strip():
        diffs.append("smartctl --identify gave nothing")
    if diffs:
        return diffs
    return (compare_ata("sata1", load("fields-sata1"), read("smartctl-identify-sata1"))
            + compare_nvme("nvme1", load("fields-nvme1"), load("nvme-id-ctrl")))


if __name__ == "__main__":
    found = compare_folder(sys.argv[1])
    print("\n".join(found) if found else "agree")
    sys.exit(1 if found else 0)
