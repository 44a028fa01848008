#!/usr/bin/env python3
"""Compares `tarvikdorn identify --json` with what smartctl, nvme-cli and sg3-utils report for
the same drive. Every function returns a list of differences, one line each naming the drive, the
field and both values; an empty list means agreement.

    compare_identify_tools.py FOLDER   # a guest's output folder of identify-vs-tools.sh
"""

import json
import re
import sys
from pathlib import Path


def _diff(drive, field, ours, theirs):
    return f"{drive}: {field}: tarvikdorn {ours!r}, the tool {theirs!r}"


def _text(v):
    return v.strip() if isinstance(v, str) else v


def _section(drive, ours, name, diffs):
    s = ours.get(name) if isinstance(ours, dict) else None
    if not isinstance(s, dict):
        diffs.append(f"{drive}: tarvikdorn has no {name} section")
        return None
    return s


def _words(raw_hex):
    b = bytes.fromhex(raw_hex or "")
    return [b[2 * i] | b[2 * i + 1] << 8 for i in range(len(b) // 2)]


def compare_ata(drive, ours, smart):
    """ATA identity against `smartctl -i -j` of a SATA disk."""
    diffs = []
    ata = _section(drive, ours, "ata", diffs)
    if ata is None:
        return diffs
    cap = smart.get("user_capacity", {})
    pairs = [
        ("model", ata.get("model"), _text(smart.get("model_name"))),
        ("serial", ata.get("serial"), _text(smart.get("serial_number"))),
        ("firmware", ata.get("firmware"), _text(smart.get("firmware_version"))),
        ("capacityBytes", ata.get("capacityBytes"), cap.get("bytes")),
        ("sectors", ata.get("sectors"), cap.get("blocks")),
        ("logicalSectorSize", ata.get("logicalSectorSize"), smart.get("logical_block_size")),
    ]
    wwn = smart.get("wwn")
    theirs_wwn = (f"{wwn['naa'] << 60 | wwn['oui'] << 36 | wwn['id']:016x}" if wwn else None)
    pairs.append(("wwn", ata.get("wwn"), theirs_wwn))
    # smartctl shows a rotation rate only when the drive reports one: 0 for solid state.
    rate = ata.get("rotationRate")
    ours_rate = 0 if rate == 1 else rate if rate and 0x401 <= rate <= 0xFFFE else None
    pairs.append(("rotationRate", ours_rate, smart.get("rotation_rate")))
    version = smart.get("ata_version", {})
    major = version.get("major_value")
    if major is not None:
        highest = major.bit_length() - 1 if major not in (0, 0xFFFF) else 0
        pairs.append(("majorVersion", ata.get("majorVersion"), highest))
    minor = version.get("minor_value")
    words = _words(ours.get("raw", {}).get("identify"))
    if minor is not None and len(words) > 81:
        pairs.append(("identify word 81", words[81], minor))
    sata = smart.get("sata_version")
    pairs.append(("sata", ata.get("sata"), sata is not None))
    speed = smart.get("interface_speed", {}).get("max", {}).get("string")
    if speed and ata.get("sataMaxSpeed") is not None:
        if speed not in ata["sataMaxSpeed"]:
            diffs.append(_diff(drive, "sataMaxSpeed", ata["sataMaxSpeed"], speed))
    diffs += [_diff(drive, f, a, b) for f, a, b in pairs if a != b]
    return diffs


def compare_nvme(drive, ours, smart, ctrl, ns):
    """NVMe identity against `smartctl -i -j`, `nvme id-ctrl -o json`, `nvme id-ns -o json`."""
    diffs = []
    nvme = _section(drive, ours, "nvme", diffs)
    if nvme is None:
        return diffs
    ons = nvme.get("namespace") or {}
    flbas = ns.get("flbas", 0) & 0x0F
    formats = ns.get("lbafs") or []
    lba = 1 << formats[flbas]["ds"] if flbas < len(formats) else None
    pci = smart.get("nvme_pci_vendor", {})
    pairs = [
        ("model", nvme.get("model"), _text(ctrl.get("mn"))),
        ("serial", nvme.get("serial"), _text(ctrl.get("sn"))),
        ("firmware", nvme.get("firmware"), _text(ctrl.get("fr"))),
        ("pciVendorId", nvme.get("pciVendorId"), ctrl.get("vid")),
        ("pciSubsystemVendorId", nvme.get("pciSubsystemVendorId"), ctrl.get("ssvid")),
        ("namespaceCount", nvme.get("namespaceCount"), ctrl.get("nn")),
        ("oacs", nvme.get("oacs"), ctrl.get("oacs")),
        ("sanicap", nvme.get("sanicap"), ctrl.get("sanicap")),
        ("namespace.sizeBlocks", ons.get("sizeBlocks"), ns.get("nsze")),
        ("namespace.capacityBlocks", ons.get("capacityBlocks"), ns.get("ncap")),
        ("namespace.blockSize", ons.get("blockSize"), lba),
        ("model (smartctl)", nvme.get("model"), _text(smart.get("model_name"))),
        ("serial (smartctl)", nvme.get("serial"), _text(smart.get("serial_number"))),
        ("pciVendorId (smartctl)", nvme.get("pciVendorId"), pci.get("id")),
    ]
    return [_diff(drive, f, a, b) for f, a, b in pairs if a != b]


def _field(text, pattern):
    m = re.search(pattern, text, re.MULTILINE)
    return m.group(1).strip() if m else None


def compare_scsi(drive, ours, inq, readcap):
    """SCSI identity against the texts of `sg_inq` and `sg_readcap --long`."""
    diffs = []
    scsi = _section(drive, ours, "scsi", diffs)
    if scsi is None:
        return diffs
    last = _field(readcap, r"Last LBA=(\d+)")
    block = _field(readcap, r"Logical block length=(\d+)")
    pairs = [
        ("vendor", scsi.get("vendor"), _field(inq, r"Vendor identification:(.*)$")),
        ("product", scsi.get("product"), _field(inq, r"Product identification:(.*)$")),
        ("revision", scsi.get("revision"), _field(inq, r"Product revision level:(.*)$")),
        ("lastLba", scsi.get("lastLba"), int(last) if last else None),
        ("blockLength", scsi.get("blockLength"), int(block) if block else None),
    ]
    return [_diff(drive, f, a, b) for f, a, b in pairs if a != b]


def compare_usb(drive, ours, inq, readcap):
    """A USB mass-storage disk: SCSI only (QEMU's has no ATA behind it) and SCSI agreeing."""
    diffs = compare_scsi(drive, ours, inq, readcap)
    if ours.get("ata") is not None:
        diffs.append(f"{drive}: tarvikdorn reports ATA data on a disk without ATA")
    if not (ours.get("interfaces") or {}).get("scsi"):
        diffs.append(f"{drive}: tarvikdorn has no SCSI interface")
    return diffs


SCSI_DRIVES = ("scsi512", "scsi4k", "scsibig")


def compare_folder(folder):
    """Every comparison of one guest's output folder (identify-vs-tools.sh)."""
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
    needed = {"sata1": ["smartctl-sata1"], "nvme1": ["smartctl-nvme1", "nvme-id-ctrl", "nvme-id-ns"]}
    for d in SCSI_DRIVES + ("usb1",):
        needed[d] = []
    ours = {}
    for drive, tools in needed.items():
        ours[drive] = load(f"ours-{drive}")
        if ours[drive] is None:
            diffs.append(f"{drive}: tarvikdorn identify gave no JSON: {read('ours-' + drive)[:200]!r}")
        for t in tools:
            if load(t) is None:
                diffs.append(f"{drive}: {t} gave no JSON")
    if diffs:
        return diffs
    diffs += compare_ata("sata1", ours["sata1"], load("smartctl-sata1"))
    diffs += compare_nvme("nvme1", ours["nvme1"], load("smartctl-nvme1"), load("nvme-id-ctrl"),
                          load("nvme-id-ns"))
    for d in SCSI_DRIVES:
        diffs += compare_scsi(d, ours[d], read(f"sg-inq-{d}"), read(f"sg-readcap-{d}"))
    diffs += compare_usb("usb1", ours["usb1"], read("sg-inq-usb1"), read("sg-readcap-usb1"))
    if (ours["scsibig"].get("scsi") or {}).get("readCapacity16") is not True:
        diffs.append("scsibig: a disk above 2 TiB must need READ CAPACITY (16)")
    return diffs


if __name__ == "__main__":
    found = compare_folder(sys.argv[1])
    print("\n".join(found) if found else "agree")
    sys.exit(1 if found else 0)
