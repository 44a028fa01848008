#!/usr/bin/env python3
"""qemu.erase_compare_selftest: the erase-versus-tools comparison on guest output recorded from
the erase profile (data/erase/). The recording agrees; each fault an erase or optimize could
have, and each changed byte of a command block or password sector, fails with the drive and
what differs named."""

import sys

sys.dont_write_bytecode = True  # no __pycache__ beside the sources

import json
import re
import shutil
import tempfile
import unittest
from pathlib import Path

import compare_erase_tools as cmp

DATA = Path(__file__).resolve().parent / "data" / "erase"


def sub(pattern, repl, count=1):
    """A text edit: the first `count` matches of `pattern` replaced."""
    return lambda text: re.sub(pattern, repl, text, count=count, flags=re.M)


def json_edit(fn):
    def edit(text):
        data = json.loads(text)
        fn(data)
        return json.dumps(data)
    return edit


def node_size(node, size):
    def fn(nodes):
        for n in nodes:
            if n.get("node-name") == node:
                n["image"]["actual-size"] = size
    return json_edit(fn)


def lsblk_field(name, field, value):
    def fn(data):
        for d in data["blockdevices"]:
            if d["name"] == name:
                d[field] = value
    return json_edit(fn)


def disk_of(ident):
    for line in (DATA / "disks.txt").read_text().splitlines():
        if line.split()[0] == ident:
            return line.split()[1]
    raise KeyError(ident)


# (file, edit, what a difference line must hold)
CHANGES = [
    # What the drives offer.
    ("lsblk-d.out", lambda t: lsblk_field(disk_of("nvme1"), "disc-max", 0)(t),
     "nvme1: erase --check method trim, lsblk DISC-MAX 0"),
    ("check-scsi4k.out", sub(r'"method": "trim"', '"method": "ata-security"'),
     "scsi4k: erase --check method ata-security"),
    ("check-sata1.out", sub(r'"ataSecurity": "not supported"', '"ataSecurity": "disabled"'),
     "sata1: ATA security: hdparm -I not supported, tarvikdorn disabled"),
    ("nvme-sanitize.rc", lambda t: "0\n", "nvme1: SANICAP 0 but nvme sanitize succeeded"),
    ("check-nvme1-nvme.out", sub(r'"methodAvailable": false', '"methodAvailable": true'),
     "nvme1: --method nvme-sanitize offered with SANICAP 0"),
    ("check-nvme1-nvme.out", sub(r'"sanitizeLog": ""', '"sanitizeLog": "never sanitized"'),
     "nvme1: sanitize log: nvme sanitize-log exit 1"),
    ("erase-sata1-ata.err", lambda t: t + "cdb: a1 0a 06 00 01 00 00 00 a0 f1 00 00\n",
     "erase-sata1-ata: a writing command was sent"),
    ("erase-nvme1-nvme.rc", lambda t: "1\n", "erase-nvme1-nvme: exit 1, expected 4"),
    # The erases.
    ("nonzero-after-scsi512.out", lambda t: "512\n", "scsi512: 512 non-zero bytes read"),
    ("wipefs-after-sata1.out",
     lambda t: "DEVICE OFFSET TYPE UUID LABEL\nsda 0x1fe dos\n", "sata1: wipefs -n still finds"),
    ("lsblk-after-scsi4k.out",
     json_edit(lambda d: d["blockdevices"][0].update(children=[{"name": "sdc1"}])),
     "scsi4k: partitions after the erase"),
    ("alloc-after.json", lambda t: node_size("nvme1-img", 1 << 30)(t),
     "nvme1: the image on the host did not shrink"),
    ("erase-scsi512.err", sub(r"^trim: offset 268435456 .*\n", ""),
     "scsi512: TRIM ranges"),
    ("blkdiscard-nvme1.out", sub(r"Discarded 335544320 bytes", "Discarded 335540224 bytes"),
     "nvme1: TRIM steps cover"),
    ("erase-sata1.out", sub(r'"result": "done"', '"result": "failed"'), "sata1: erase exit"),
    ("erase-scsi4k.out", sub(r'"samplesWithData": \d+', '"samplesWithData": 0'),
     "scsi4k: the erase sampled no sector"),
    # The mounted disk.
    ("erase-scsimnt.rc", lambda t: "0\n", "scsimnt: mounted volume: exit 0"),
    ("erase-scsimnt.out", sub(r'"result": "refused"', '"result": "done"'),
     "scsimnt: mounted volume: exit 3"),
    ("erase-scsimnt.err", lambda t: t + "delete-layout: The operation completed successfully.\n",
     "erase-scsimnt: a writing command was sent: delete-layout"),
    ("md5-mnt-after.out", sub(r"^[0-9a-f]{4}", "0000"), "scsimnt: the refused disk changed"),
    # The FAT volume.
    ("fstrim-vfat.out", sub(r"\((\d+) bytes\)", "(4096 bytes)"), "scsimnt: optimize trimmed"),
    ("ls-vfat.out", lambda t: t + "VornaTarvikdornTemp\n", "scsimnt: the optimization's folder"),
    ("alloc-vfat-optimized.json", lambda t: node_size("scsimnt-img", 60 << 20)(t),
     "scsimnt: the image went from"),
    ("fsck-vfat.rc", lambda t: "1\n", "scsimnt: fsck.fat -n"),
    # Command bytes: hdparm's and ours.
    ("hdparm-setpass.err", sub(r"(outgoing_data:\s+01 00) 51", r"\1 52"),
     "sata1: SECURITY SET PASSWORD: data byte 2: tarvikdorn 0x51, hdparm 0x52"),
    ("sim-ata-trace.txt", sub(r"(cdb: a1 0a 06 00 01 00 00 00 a0 f4) 00 00", r"\1 00 01"),
     "sata1: SECURITY ERASE UNIT: byte 15"),
    ("sim-ata-trace.txt", sub(r"^cdb: a1 06 00 00 00 00 00 00 a0 f3 00 00\n", ""),
     "sata1: tarvikdorn sent no SECURITY ERASE PREPARE"),
    ("sim-ata-trace.txt", sub(r"^(data-out: 01 00 51 72 76 78 20 4d 70 2e 2c 20 49 6e 63 2e 20 4e 75 6d 3a 34 30 32 2d 37 2d 39 31 35 34 38 37 31) 00 00",
                              r"\1 00 01"),
     "sata1: SECURITY SET PASSWORD: data byte 35"),
    ("sanitize-trace.txt", sub(r"cdb: 48 82", "cdb: 48 02"),
     "SANITIZE service action 0x2: tarvikdorn 48 02"),
    ("sg-sanitize-crypto.err", sub(r"Sanitize cdb: \[48 83", "Sanitize cdb: [48 a3"),
     "SANITIZE service action 0x3"),
]


def compare(folder):
    f = Path(folder)
    sanitize = f / "sanitize-trace.txt"
    return cmp.compare_folder(folder, (f / "sim-ata-trace.txt").read_text(),
                              sanitize.read_text() if sanitize.exists() else None)


class CompareErase(unittest.TestCase):
    def test_recording_agrees(self):
        self.assertEqual(compare(DATA), [])

    def test_each_change_is_found(self):
        for name, edit, want in CHANGES:
            with self.subTest(file=name, want=want), tempfile.TemporaryDirectory() as tmp:
                folder = Path(tmp) / "erase"
                shutil.copytree(DATA, folder)
                p = folder / name
                before = p.read_text()
                after = edit(before)
                self.assertNotEqual(before, after, f"the edit of {name} changed nothing")
                p.write_text(after)
                diffs = compare(folder)
                self.assertTrue(any(want in d for d in diffs), f"{want!r} not in {diffs}")

    def test_missing_guest_output_fails(self):
        with tempfile.TemporaryDirectory() as tmp:
            diffs = cmp.compare_folder(tmp, "", "")
            self.assertTrue(diffs)


if __name__ == "__main__":
    unittest.main()
