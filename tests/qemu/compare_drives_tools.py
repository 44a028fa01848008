#!/usr/bin/env python3
"""Compares `tarvikdorn list --json`, `info --json` and `watch --json` with what lsblk,
smartctl, nvme-cli, sfdisk and sgdisk report in the same guest (drives-vs-tools.sh). Every
function returns a list of differences, one line each naming the drive and the field; an empty
list means agreement.

    compare_drives_tools.py FOLDER   # a guest's output folder of drives-vs-tools.sh
"""

import json
import re
import sys
from pathlib import Path

# The summary fields `list` puts in "drive" and `info` at its top level.
SUMMARY = ("model", "serial", "firmware", "busText", "ssd", "smart", "health", "healthReason",
           "life", "temperature", "powerOnHours", "hostWritesGib")
# Free space shorter than this is not shown as a gap of its own.
MIN_GAP = 8 << 20
ESP_TYPE = "C12A7328-F81F-11D2-BA4B-00A0C93EC93B"
MBR_CONTAINERS = {"5", "f", "85"}


def _diff(drive, field, ours, theirs):
    return f"{drive}: {field}: tarvikdorn {ours!r}, the tool {theirs!r}"


def _text(v):
    return v.strip() if isinstance(v, str) else v


class Folder:
    def __init__(self, folder):
        self.dir = Path(folder)

    def text(self, name):
        p = self.dir / name
        return p.read_text(errors="replace") if p.exists() else None

    def json(self, name):
        t = self.text(name + ".out")
        try:
            return json.loads(t) if t else None
        except ValueError:
            return None

    def rc(self, name):
        t = self.text(name + ".rc")
        return int(t) if t and t.strip().lstrip("-").isdigit() else None

    def disks(self):
        """{id: device path} from disks.txt."""
        pairs = (line.split() for line in (self.text("disks.txt") or "").splitlines())
        return {p[0]: p[1] for p in pairs if len(p) == 2}


def _attr_raw(smart_a, attr_id):
    for a in smart_a.get("ata_smart_attributes", {}).get("table", []):
        if a.get("id") == attr_id:
            return a.get("raw", {}).get("value")
    return None


def _int(v):
    return int(v) if isinstance(v, (int, str)) and str(v).isdigit() else None


def expected_sata(smart_i, smart_a):
    """What the summary must say of the SATA disk, from smartctl -i -j and -A -j."""
    temp = _attr_raw(smart_a, 194)
    if temp is None:  # QEMU's disk has only the airflow temperature
        temp = _attr_raw(smart_a, 190)
    hours = _attr_raw(smart_a, 9)
    return {"model": _text(smart_i.get("model_name")),
            "serial": _text(smart_i.get("serial_number")),
            "firmware": _text(smart_i.get("firmware_version")),
            "capacity": smart_i.get("user_capacity", {}).get("bytes"),
            "temperature": temp & 0xFF if temp is not None else None,
            "powerOnHours": hours & 0xFFFFFFFF if hours is not None else None}


def expected_nvme(ctrl, smart_i, log):
    return {"model": _text(ctrl.get("mn")), "serial": _text(ctrl.get("sn")),
            "firmware": _text(ctrl.get("fr")),
            "smartctl model": _text(smart_i.get("model_name")),
            "smartctl serial": _text(smart_i.get("serial_number")),
            "smartctl firmware": _text(smart_i.get("firmware_version")),
            "temperature": log["temperature"] - 273 if _int(log.get("temperature")) else None,
            "powerOnHours": _int(log.get("power_on_hours"))}


def compare_drives(f):
    diffs = []
    disks = f.disks()
    if not disks:
        return ["the guest recorded no disks (disks.txt)"]
    listed = f.json("list")
    if not isinstance(listed, dict) or not isinstance(listed.get("disks"), list):
        return ["tarvikdorn list gave no JSON with disks"]
    by_path = {d.get("path"): d for d in listed["disks"]}
    lsblk = {"/dev/" + b["name"]: b for b in (f.json("lsblk") or {}).get("blockdevices", [])}
    for drive, dev in sorted(disks.items()):
        entry = by_path.get(dev)
        if entry is None:
            diffs.append(f"{drive}: tarvikdorn list lacks {dev}")
            continue
        blk = lsblk.get(dev, {})
        if entry.get("capacity") != blk.get("size"):
            diffs.append(_diff(drive, "list capacity", entry.get("capacity"), blk.get("size")))
        summary = entry.get("drive")
        info = f.json(f"info-{drive}")
        if summary is None:
            if f.rc(f"info-{drive}") == 0:
                diffs.append(f"{drive}: list does not serve it, but info succeeds")
            continue
        if not isinstance(info, dict):
            diffs.append(f"{drive}: list serves it, but info gave no JSON")
            continue
        for k in SUMMARY:
            if info.get(k) != summary.get(k):
                diffs.append(f"{drive}: {k}: info {info.get(k)!r}, list {summary.get(k)!r}")
        pairs = [("capacity", info.get("capacity"), blk.get("size")),
                 ("sectorSize", info.get("sectorSize"), blk.get("log-sec"))]
        if isinstance(info.get("sectors"), int) and isinstance(info.get("sectorSize"), int):
            pairs.append(("sectors x sectorSize", info["sectors"] * info["sectorSize"],
                          blk.get("size")))
        if drive == "sata1":
            want = expected_sata(f.json("smartctl-i-sata1") or {},
                                 f.json("smartctl-a-sata1") or {})
            pairs += [(k, info.get(k), want[k]) for k in ("model", "serial", "firmware",
                                                          "capacity", "temperature",
                                                          "powerOnHours")]
        elif drive == "nvme1":
            want = expected_nvme(f.json("nvme-id-ctrl") or {}, f.json("smartctl-i-nvme1") or {},
                                 f.json("nvme-smart-log") or {})
            for k in ("model", "serial", "firmware"):
                pairs += [(k, info.get(k), want[k]), (k, info.get(k), want["smartctl " + k])]
            pairs += [(k, info.get(k), want[k]) for k in ("temperature", "powerOnHours")]
        else:
            # SCSI: the INQUIRY vendor and product joined by one blank, the revision.
            model = " ".join(x for x in (_text(blk.get("vendor")), _text(blk.get("model"))) if x)
            pairs += [("model", info.get("model"), model),
                      ("firmware", info.get("firmware"), _text(blk.get("rev")))]
            # Without ATA or NVMe identify data the serial may be absent, never another one.
            if info.get("serial") is not None:
                pairs.append(("serial", info.get("serial"), _text(blk.get("serial"))))
        diffs += [_diff(drive, k, a, b) for k, a, b in pairs if a != b]
    return diffs


def _number(node):
    m = re.search(r"(\d+)$", node or "")
    return int(m.group(1)) if m else None


def _sgdisk_rows(text):
    """(number, start, end, code) of each row of `sgdisk -p`."""
    rows = []
    for line in (text or "").splitlines():
        m = re.match(r"\s*(\d+)\s+(\d+)\s+(\d+)\s+\S+\s+\S+\s+([0-9A-F]{4})\b", line)
        if m:
            rows.append((int(m[1]), int(m[2]), int(m[3]), m[4]))
    return rows


def expected_partitions(table, disk_bytes, ebrs=()):
    """What `info` must list for the table sfdisk -J shows: the partitions in disk order with
    the free spans of at least MIN_GAP between them, within the usable area of a GPT disk. An
    extended container and each extended boot record (`ebrs`, sectors) end the free span
    before them and are no entry of their own."""
    ss = table.get("sectorsize", 512)
    gpt = table.get("label") == "gpt"
    begin, end = (table["firstlba"] * ss, (table["lastlba"] + 1) * ss) if gpt else (0, disk_bytes)
    out, cursor = [], begin
    links = [{"start": e, "size": 0, "type": "5"} for e in ebrs]
    for p in sorted(table.get("partitions", []) + links, key=lambda p: (p["start"], p["size"])):
        if not gpt and p.get("type", "").lower() in MBR_CONTAINERS:
            start = p["start"] * ss
            if start - cursor >= MIN_GAP:
                out.append({"number": None, "start": cursor, "length": start - cursor,
                            "kind": "unallocated"})
            cursor = max(cursor, start)
            continue
        start, length = p["start"] * ss, p["size"] * ss
        if start - cursor >= MIN_GAP:
            out.append({"number": None, "start": cursor, "length": start - cursor,
                        "kind": "unallocated"})
        if gpt:
            kind = "efi" if p.get("type", "").upper() == ESP_TYPE else "ordinary"
        else:
            kind = "boot" if p.get("bootable") else "ordinary"
        out.append({"number": _number(p.get("node")), "start": start, "length": length,
                    "kind": kind})
        cursor = start + length
    if end - cursor >= MIN_GAP:
        out.append({"number": None, "start": cursor, "length": end - cursor,
                    "kind": "unallocated"})
    return out


def compare_partitions(f):
    diffs = []
    cases = sorted(p.name[len("sfdisk-"):-len(".out")] for p in f.dir.glob("sfdisk-*.out")
                   if not p.name.startswith("sfdisk-write"))
    if not cases:
        return ["the guest recorded no partition tables (sfdisk-*.out)"]
    for case in cases:  # mbr-scsi512, gpt-scsi512, gpt-scsi4k
        sf = (f.json(f"sfdisk-{case}") or {}).get("partitiontable")
        info = f.json(f"info-{case}")
        if not isinstance(sf, dict) or not sf.get("partitions"):
            diffs.append(f"{case}: sfdisk -J shows no table")
            continue
        if not isinstance(info, dict) or not isinstance(info.get("partitions"), list):
            diffs.append(f"{case}: tarvikdorn info gave no partitions")
            continue
        if case.startswith("gpt"):
            rows = _sgdisk_rows(f.text(f"sgdisk-p-{case[4:]}.out"))
            theirs = [(_number(p["node"]), p["start"], p["start"] + p["size"] - 1)
                      for p in sf["partitions"]]
            if [r[:3] for r in rows] != theirs:
                diffs.append(f"{case}: sgdisk -p {rows} and sfdisk -J {theirs} disagree")
            if [r[3] for r in rows][:1] != ["EF00"]:
                diffs.append(f"{case}: sgdisk -p shows no ESP first: {rows}")
        ebrs = [int(x) for x in (f.text(f"ebr-{case}.txt") or "").split()]
        if sf.get("label") == "dos" and not ebrs:
            diffs.append(f"{case}: the guest recorded no extended boot records")
        want = expected_partitions(sf, info.get("capacity") or 0, ebrs)
        ours = [{k: p.get(k) for k in ("number", "start", "length", "kind")}
                for p in info["partitions"]]
        if ours != want:
            diffs.append(f"{case}: partitions: tarvikdorn {ours}, from sfdisk {want}")
        for p in info["partitions"]:
            if p.get("number") is None and p.get("volume") is not None:
                diffs.append(f"{case}: the gap at {p.get('start')} has a volume")
    return diffs


def watch_events(f):
    """The events watch printed before and after the mark; None where a line is not JSON."""
    lines = (f.text("watch.out") or "").splitlines()
    mark = int((f.text("watch-mark.txt") or "0").strip() or 0)
    events = []
    for line in lines:
        try:
            events.append(json.loads(line))
        except ValueError:
            events.append(None)
    return events[:mark], events[mark:]


def compare_watch(f):
    diffs = []
    if f.text("watch.out") is None or f.text("watch-mark.txt") is None:
        return ["watch: the guest recorded no watch output"]
    rc = (f.text("watch.rc") or "").strip()
    if rc != "0":
        diffs.append(f"watch: ended with status {rc or 'unknown'}: "
                     f"{(f.text('watch.err') or '').strip()[:300]}")
    marked_before, marked_after = watch_events(f)
    if None in marked_before + marked_after:
        return diffs + ["watch: a line of its output is not JSON"]
    listed = f.json("list") or {}
    served = {d["path"]: d["drive"] for d in listed.get("disks", []) if d.get("drive")}
    # Disks the program does not serve (a USB stick) come and go too, as "not served" events;
    # they are checked to name such a disk and then set aside: the USB disk of the guest may be
    # pulled before the list was taken.
    unserved = [e for e in marked_before + marked_after
                if e.get("path") not in served and e.get("detail", "").startswith("not served")]
    for e in unserved:
        if e.get("health") != "unknown" or e.get("event") not in ("arrival", "removal"):
            diffs.append(f"watch: {e.get('event')} of the unserved {e.get('path')} says {e!r}")
    marked_before = [e for e in marked_before if e not in unserved]
    marked_after = [e for e in marked_after if e not in unserved]
    # The start-up announcements come first, one per served disk, however long the start takes
    # (a sanitizer build may still be announcing when the mark is taken); the rest follows.
    events = marked_before + marked_after
    before, after = events[:len(served)], events[len(served):]
    start = {e.get("path"): e for e in before if e.get("event") == "arrival"}
    if len(before) != len(served) or set(start) != set(served):
        diffs.append(f"watch: at its start {[(e.get('event'), e.get('path')) for e in before]}, "
                     f"list serves {sorted(served)}")
    for path, e in start.items():
        if path in served and (e.get("model"), e.get("health")) != (
                served[path]["model"], served[path]["health"]):
            diffs.append(f"watch: {path} arrives as {e.get('model')!r} {e.get('health')!r}, "
                         f"list shows {served[path]['model']!r} {served[path]['health']!r}")
    old = (f.text("hotplug-before.txt") or "").strip()
    new = (f.text("hotplug-after.txt") or "").strip()
    want = [("removal", old), ("arrival", new)]
    # The USB disk comes and goes as well: events for it only when list serves it.
    usb_old = (f.text("usb-before.txt") or "").strip()
    usb_new = (f.text("usb-after.txt") or "").strip()
    if usb_old in served:
        want += [("removal", usb_old), ("arrival", usb_new)]
    got = [(e.get("event"), e.get("path")) for e in after]
    if got != want:
        diffs.append(f"watch: after the start-up {got}, expected each of {want} once, in order")
    model = served.get(old, {}).get("model")
    for e in after:
        if e.get("path") in (old, new) and e.get("model") != model:
            diffs.append(f"watch: {e.get('event')} of {e.get('path')} names {e.get('model')!r}, "
                         f"list {model!r}")
    return diffs


def compare_folder(folder):
    f = Folder(folder)
    return compare_drives(f) + compare_partitions(f) + compare_watch(f)


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    found = compare_folder(sys.argv[1])
    print("\n".join(found) or "agree")
    sys.exit(1 if found else 0)
