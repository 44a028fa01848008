#!/usr/bin/env python3
"""Compares `tarvikdorn smart --json` with `smartctl -A -j` (the SATA disk) and with
`nvme smart-log -o json` (the NVMe controller), and checks that the USB mass-storage disk, which
carries no ATA behind it, has no SMART data. Every function returns a list of differences, one
line each naming the drive, the field and both values; an empty list means agreement.

The NVMe log is read before and after tarvikdorn: a counter that moves between the reads (data
units, commands, busy time) must lie within the two.

    compare_smart_tools.py FOLDER   # a guest's output folder of identify-vs-tools.sh
"""

import json
import sys
from pathlib import Path

# Pseudo attribute id: the nvme-cli key of its health-log field.
NVME_FIELDS = {
    1: "critical_warning", 2: "temperature", 3: "avail_spare", 4: "spare_thresh",
    5: "percent_used", 6: "data_units_read", 7: "data_units_written", 8: "host_read_commands",
    9: "host_write_commands", 10: "controller_busy_time", 11: "power_cycles",
    12: "power_on_hours", 13: "unsafe_shutdowns", 14: "media_errors", 15: "num_err_log_entries",
}


def _diff(drive, field, ours, theirs):
    return f"{drive}: {field}: tarvikdorn {ours!r}, the tool {theirs!r}"


def _smart(drive, ours, diffs):
    s = ours.get("smart") if isinstance(ours, dict) else None
    if not isinstance(s, dict):
        diffs.append(f"{drive}: tarvikdorn has no smart section")
        return None
    return s


def _number(v):
    """nvme-cli writes the 128-bit counters as numbers or as decimal strings."""
    if isinstance(v, str) and v.strip().isdigit():
        return int(v)
    return v


def compare_ata(drive, ours, smartctl):
    """Attributes against `smartctl -A -j`: ids in order, value/worst/thresh, raw.value; the
    temperature, power-on hours and power cycles smartctl derives, where it shows them."""
    diffs = []
    s = _smart(drive, ours, diffs)
    if s is None:
        return diffs
    mine = {a.get("id"): a for a in s.get("attributes") or []}
    table = (smartctl.get("ata_smart_attributes") or {}).get("table") or []
    if not table:
        return [f"{drive}: smartctl lists no attributes"]
    ids = [a.get("id") for a in table]
    if list(mine) != ids:
        diffs.append(_diff(drive, "attribute ids", list(mine), ids))
    for t in table:
        a = mine.get(t.get("id"))
        if a is None:
            continue
        for ours_key, theirs in (("current", t.get("value")), ("worst", t.get("worst")),
                                 ("threshold", t.get("thresh")),
                                 ("raw", (t.get("raw") or {}).get("value"))):
            if a.get(ours_key) != theirs:
                diffs.append(_diff(drive, f"attribute {t.get('id')} {ours_key}", a.get(ours_key),
                                   theirs))
    derived = s.get("derived") or {}
    for key, theirs in (("temperature", (smartctl.get("temperature") or {}).get("current")),
                        ("power_on_hours", (smartctl.get("power_on_time") or {}).get("hours")),
                        ("power_cycles", smartctl.get("power_cycle_count"))):
        if theirs is not None and derived.get(key) != theirs:
            diffs.append(_diff(drive, key, derived.get(key), theirs))
    return diffs


def _within(drive, field, ours, before, after, diffs):
    lo, hi = sorted((before, after)) if None not in (before, after) else (before, after)
    if ours is None or lo is None or hi is None or not lo <= ours <= hi:
        diffs.append(f"{drive}: {field}: tarvikdorn {ours!r}, the tool {before!r} before and "
                     f"{after!r} after")


def compare_nvme(drive, ours, before, after):
    """Pseudo attributes and derived values against two `nvme smart-log -o json` reads."""
    diffs = []
    s = _smart(drive, ours, diffs)
    if s is None:
        return diffs
    mine = {a.get("id"): a.get("raw") for a in s.get("attributes") or []}
    if sorted(mine) != list(NVME_FIELDS):
        diffs.append(_diff(drive, "attribute ids", sorted(mine), list(NVME_FIELDS)))
    for ident, key in NVME_FIELDS.items():
        if key not in before or key not in after:
            diffs.append(f"{drive}: nvme smart-log has no {key}")
            continue
        _within(drive, f"attribute {ident} ({key})", mine.get(ident), _number(before[key]),
                _number(after[key]), diffs)
    if diffs:
        return diffs
    # What the derived values must be, from each log read.
    def derived(log):
        k, used = _number(log["temperature"]), _number(log["percent_used"])
        return {
            "temperature": k - 273 if k else None,
            "host_writes_gib": _number(log["data_units_written"]) * 1000 >> 21,
            "host_reads_gib": _number(log["data_units_read"]) * 1000 >> 21,
            "health": 100 - used,
            "life": 100 - used,
            "power_cycles": _number(log["power_cycles"]),
            "power_on_hours": _number(log["power_on_hours"]),
        }
    d0, d1, got = derived(before), derived(after), s.get("derived") or {}
    for key in d0:
        if d0[key] is None or d1[key] is None:
            if got.get(key) is not None or d0[key] != d1[key]:
                diffs.append(_diff(drive, key, got.get(key), d0[key]))
        else:
            _within(drive, key, got.get(key), d0[key], d1[key], diffs)
    return diffs


def check_no_smart(drive, ours, rc):
    """A disk without SMART: status 1 and `"smart": null` with a reason."""
    diffs = []
    if rc != 1:
        diffs.append(f"{drive}: tarvikdorn smart ended with {rc}, not 1, on a disk without SMART")
    if not isinstance(ours, dict) or "smart" not in ours or ours["smart"] is not None:
        diffs.append(f"{drive}: tarvikdorn smart reports SMART data on a disk without SMART")
    elif not ours.get("reason"):
        diffs.append(f"{drive}: tarvikdorn smart gives no reason for missing SMART data")
    return diffs


def compare_folder(folder):
    """Every SMART comparison of one guest's output folder."""
    folder = Path(folder)

    def read(name, ext="out"):
        p = folder / f"{name}.{ext}"
        return p.read_text(errors="replace") if p.exists() else ""

    def load(name):
        try:
            return json.loads(read(name))
        except ValueError:
            return None

    diffs = []
    for name in ("smart-sata1", "smart-nvme1", "smart-usb1", "smartctl-a-sata1",
                 "nvme-smart-log-before", "nvme-smart-log-after"):
        if load(name) is None:
            diffs.append(f"{name} gave no JSON: {read(name)[:200]!r} {read(name, 'err')[:200]!r}")
    if diffs:
        return diffs
    for drive in ("sata1", "nvme1"):
        if read(f"smart-{drive}", "rc").strip() != "0":
            diffs.append(f"{drive}: tarvikdorn smart failed: {read('smart-' + drive, 'err')[:200]!r}")
    diffs += compare_ata("sata1", load("smart-sata1"), load("smartctl-a-sata1"))
    diffs += compare_nvme("nvme1", load("smart-nvme1"), load("nvme-smart-log-before"),
                          load("nvme-smart-log-after"))
    rc = read("smart-usb1", "rc").strip()
    diffs += check_no_smart("usb1", load("smart-usb1"), int(rc) if rc.isdigit() else None)
    return diffs


if __name__ == "__main__":
    found = compare_folder(sys.argv[1])
    print("\n".join(found) if found else "agree")
    sys.exit(1 if found else 0)
