#!/usr/bin/env python3
"""Compares `tarvikdorn list --json` with `lsblk -J -b -O` taken in the same guest, disk by disk
and field by field: path, capacity (lsblk size), sector size (log-sec), removable (rm) and bus
type (tran). Prints every difference and exits 1 when there is one.

  compare_list_lsblk.py LIST_JSON LSBLK_JSON"""

import json
import sys

# The list's field names are the tool's own; these are the spellings accepted for each.
LIST_FIELDS = {
    "path": ("path", "device_path", "devicePath", "device"),
    "bus": ("bus", "bus_type", "busType", "bus_type_name", "busTypeName", "bus_name"),
    "removable": ("removable", "is_removable", "removable_media", "removableMedia"),
    "capacity": ("capacity", "capacity_bytes", "capacityBytes", "size", "size_bytes", "bytes"),
    "sector_size": ("sector_size", "sectorSize", "logical_sector_size", "bytes_per_sector",
                    "bytesPerSector"),
    "index": ("index",),
}
REQUIRED = ("path", "bus", "removable", "capacity", "sector_size")

# lsblk's transport -> the bus type names that mean the same thing.
TRANSPORT_BUS = {
    "sata": {"sata"},
    "ata": {"ata"},
    "nvme": {"nvme"},
    "usb": {"usb"},
    "sas": {"sas"},
    "spi": {"scsi"},  # parallel SCSI (lsi53c895a and the like)
    "fc": {"fibre", "fibre channel"},
    "iscsi": {"iscsi"},
    "mmc": {"mmc", "sd"},
    "virtio": {"virtual", "virtio"},
}


class CompareError(Exception):
    pass


def _as_bool(v):
    if isinstance(v, bool):
        return v
    if isinstance(v, int):
        return v != 0
    if isinstance(v, str) and v.strip().lower() in ("1", "true", "yes"):
        return True
    if isinstance(v, str) and v.strip().lower() in ("0", "false", "no"):
        return False
    raise CompareError(f"not a yes/no value: {v!r}")


def _as_int(v):
    if isinstance(v, dict) and "bytes" in v:  # {"bytes": N, ...} as the tool writes sizes
        v = v["bytes"]
    if isinstance(v, bool):
        raise CompareError(f"not a number: {v!r}")
    if isinstance(v, int):
        return v
    if isinstance(v, str) and v.strip().isdigit():
        return int(v)
    raise CompareError(f"not a number: {v!r}")


def _records(doc, what, keys):
    if isinstance(doc, dict):
        for k in keys:
            if isinstance(doc.get(k), list):
                return doc[k]
        raise CompareError(f"{what}: no list under {', '.join(keys)}")
    if isinstance(doc, list):
        return doc
    raise CompareError(f"{what}: neither an array nor an object")


def _field(rec, name):
    for k in LIST_FIELDS[name]:
        if k in rec:
            return rec[k]
    return None


def normalize_list(doc):
    """The tool's list as {path: {bus, removable, capacity, sector_size, index}}."""
    out = {}
    for i, rec in enumerate(_records(doc, "list", ("disks", "drives", "devices"))):
        if not isinstance(rec, dict):
            raise CompareError(f"list entry {i} is not an object")
        missing = [n for n in REQUIRED if _field(rec, n) is None]
        if missing:
            tried = "; ".join(f"{n}: {'/'.join(LIST_FIELDS[n])}" for n in missing)
            raise CompareError(f"list entry {i} lacks {', '.join(missing)} (looked for {tried})")
        path = str(_field(rec, "path"))
        if path in out:
            raise CompareError(f"list names {path} twice")
        out[path] = {
            "bus": str(_field(rec, "bus")),
            "removable": _as_bool(_field(rec, "removable")),
            "capacity": _as_int(_field(rec, "capacity")),
            "sector_size": _as_int(_field(rec, "sector_size")),
            "index": _field(rec, "index"),
        }
    return out


def normalize_lsblk(doc):
    """lsblk's whole disks (not partitions, loop devices or optical drives) by path."""
    out = {}
    for rec in _records(doc, "lsblk", ("blockdevices",)):
        if rec.get("type") != "disk":
            continue
        path = rec.get("path") or f"/dev/{rec['name']}"
        out[path] = {
            "tran": rec.get("tran"),
            "subsystems": rec.get("subsystems") or "",
            "rm": _as_bool(rec.get("rm")),
            "size": _as_int(rec.get("size")),
            "log-sec": _as_int(rec.get("log-sec")),
        }
    return out


def buses_for(disk):
    """The bus type names that agree with what lsblk says of a disk."""
    tran = (disk["tran"] or "").lower()
    if tran in TRANSPORT_BUS:
        return TRANSPORT_BUS[tran]
    # No transport: lsblk names none for virtio-scsi and other plain SCSI hosts.
    if not tran and "scsi" in disk["subsystems"].split(":"):
        return {"scsi"}
    return set()


def compare(list_doc, lsblk_doc):
    """Every difference, as lines; empty when the two agree."""
    ours, theirs = normalize_list(list_doc), normalize_lsblk(lsblk_doc)
    diffs = []
    for path in sorted(set(theirs) - set(ours)):
        diffs.append(f"{path}: in lsblk, missing from the list")
    for path in sorted(set(ours) - set(theirs)):
        diffs.append(f"{path}: in the list, not a disk in lsblk")
    for path in sorted(set(ours) & set(theirs)):
        a, b = ours[path], theirs[path]
        if a["capacity"] != b["size"]:
            diffs.append(f"{path}: capacity {a['capacity']} != lsblk size {b['size']}")
        if a["sector_size"] != b["log-sec"]:
            diffs.append(f"{path}: sector size {a['sector_size']} != lsblk log-sec {b['log-sec']}")
        if a["removable"] != b["rm"]:
            diffs.append(f"{path}: removable {a['removable']} != lsblk rm {b['rm']}")
        want = buses_for(b)
        if a["bus"].lower() not in want:
            shown = "/".join(sorted(want)) or "no known bus"
            diffs.append(f"{path}: bus {a['bus']!r} != lsblk tran {b['tran']!r} ({shown})")
    indices = [r["index"] for r in ours.values() if r["index"] is not None]
    if len(indices) != len(set(map(str, indices))):
        diffs.append(f"list: indices are not unique: {indices}")
    return diffs


def main(argv):
    if len(argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    try:
        with open(argv[1]) as f:
            list_doc = json.load(f)
        with open(argv[2]) as f:
            lsblk_doc = json.load(f)
        diffs = compare(list_doc, lsblk_doc)
    except (OSError, ValueError, CompareError) as e:
        print(f"compare: {e}", file=sys.stderr)
        return 1
    if diffs:
        print(f"list and lsblk disagree ({len(diffs)}):", file=sys.stderr)
        for d in diffs:
            print(f"  {d}", file=sys.stderr)
        return 1
    print(f"list and lsblk agree on {len(normalize_lsblk(lsblk_doc))} disks")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
