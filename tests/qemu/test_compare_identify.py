#!/usr/bin/env python3
"""qemu.identify_compare_selftest: the identify-versus-tools comparison on guest output recorded
from the storage profile (data/identify/). The recording agrees; each field changed on the
tool's side fails with the drive and the field named. The same for the command blocks of
`identify --trace` against sg3-utils': a changed byte fails unless it is an allowed one."""

import sys

sys.dont_write_bytecode = True  # no __pycache__ beside the sources

import json
import unittest
from pathlib import Path

import recordingcase
import compare_cdbs
import compare_identify_tools as cmp

DATA = Path(__file__).resolve().parent / "data" / "identify"

# (file, path into its JSON, wrong value, what the difference line must name)
CHANGES = [
    ("ours-sata1", ["ata", "model"], "OTHER DISK", "sata1: model"),
    ("ours-sata1", ["ata", "serial"], "X", "sata1: serial"),
    ("ours-sata1", ["ata", "firmware"], "9.9", "sata1: firmware"),
    ("ours-sata1", ["ata", "capacityBytes"], 1 << 30, "sata1: capacityBytes"),
    ("ours-sata1", ["ata", "logicalSectorSize"], 4096, "sata1: logicalSectorSize"),
    ("ours-sata1", ["ata", "wwn"], "5000c50012345678", "sata1: wwn"),
    ("ours-sata1", ["ata", "rotationRate"], 7200, "sata1: rotationRate"),
    ("ours-sata1", ["ata", "majorVersion"], 8, "sata1: majorVersion"),
    ("ours-sata1", ["ata", "sata"], True, "sata1: sata"),
    ("ours-sata1", ["ata"], None, "sata1: tarvikdorn has no ata section"),
    ("ours-nvme1", ["nvme", "model"], "Other", "nvme1: model"),
    ("ours-nvme1", ["nvme", "pciVendorId"], 0x144D, "nvme1: pciVendorId"),
    ("ours-nvme1", ["nvme", "pciSubsystemVendorId"], 1, "nvme1: pciSubsystemVendorId"),
    ("ours-nvme1", ["nvme", "namespaceCount"], 1, "nvme1: namespaceCount"),
    ("ours-nvme1", ["nvme", "oacs"], 0, "nvme1: oacs"),
    ("ours-nvme1", ["nvme", "sanicap"], 7, "nvme1: sanicap"),
    ("ours-nvme1", ["nvme", "namespace", "sizeBlocks"], 1, "nvme1: namespace.sizeBlocks"),
    ("ours-nvme1", ["nvme", "namespace", "capacityBlocks"], 1, "nvme1: namespace.capacityBlocks"),
    ("ours-nvme1", ["nvme", "namespace", "blockSize"], 4096, "nvme1: namespace.blockSize"),
    ("ours-scsi512", ["scsi", "vendor"], "ACME", "scsi512: vendor"),
    ("ours-scsi4k", ["scsi", "product"], "SCSI 512", "scsi4k: product"),
    ("ours-scsi4k", ["scsi", "blockLength"], 512, "scsi4k: blockLength"),
    ("ours-scsibig", ["scsi", "lastLba"], 0xFFFFFFFF, "scsibig: lastLba"),
    ("ours-scsibig", ["scsi", "readCapacity16"], False, "scsibig: a disk above 2 TiB"),
    ("ours-scsi512", ["scsi", "revision"], "1.0", "scsi512: revision"),
    ("ours-usb1", ["ata"], {"model": "x"}, "usb1: tarvikdorn reports ATA data"),
    ("ours-usb1", ["interfaces", "scsi"], None, "usb1: tarvikdorn has no SCSI interface"),
]


class CompareIdentifyTest(recordingcase.RecordingCase):
    DATA = DATA
    COMPARE = staticmethod(cmp.compare_folder)

    def test_each_wrong_field_is_named(self):
        original = {f.name: f.read_text() for f in DATA.iterdir()}
        for name, path, value, needle in CHANGES:
            with self.subTest(file=name, field=".".join(path)):
                for fname, text in original.items():
                    (self.dir / fname).write_text(text)
                doc = json.loads(original[name + ".out"])
                node = doc
                for key in path[:-1]:
                    node = node[key]
                node[path[-1]] = value
                (self.dir / (name + ".out")).write_text(json.dumps(doc))
                diffs = cmp.compare_folder(self.dir)
                self.assertTrue(any(needle in d for d in diffs), diffs)

    def test_missing_output_fails(self):
        (self.dir / "ours-nvme1.out").write_text("tarvikdorn: no drive /dev/nvme0n1\n")
        self.assertTrue(any(d.startswith("nvme1: tarvikdorn identify gave no JSON")
                            for d in cmp.compare_folder(self.dir)))


# (drive, command, byte, new value (or a function of the old), what the difference line must
# name; None: an allowed change)
CDB_CHANGES = [
    ("scsibig", "READ CAPACITY (16)", 1, 0x11, "scsibig: tarvikdorn sent no READ CAPACITY (16)"),
    ("scsibig", "READ CAPACITY (16)", 13, 0x0C, "READ CAPACITY (16): byte 13"),
    ("scsibig", "READ CAPACITY (16)", 15, 0x04, "READ CAPACITY (16): byte 15"),
    ("scsibig", "INQUIRY", 4, 0x60, None),
    ("scsibig", "INQUIRY", 2, 0x80, "INQUIRY: byte 2"),
    ("scsibig", "INQUIRY", 5, 0x01, "INQUIRY: byte 5"),
    ("sata1", "ATA", 1, 0x0C, "IDENTIFY DEVICE: byte 1"),
    ("sata1", "ATA", 2, 0x2D, "IDENTIFY DEVICE: byte 2"),
    ("sata1", "ATA", "count", 0x02, "IDENTIFY DEVICE: byte"),
    ("sata1", "ATA", "device", lambda old: old ^ 0xA0, None),  # 0x00 <-> 0xA0
    ("sata1", "ATA", "device", 0x40, "IDENTIFY DEVICE: byte"),
    ("sata1", "ATA", "command", 0xA1, "sata1: tarvikdorn sent no ATA PASS-THROUGH"),
]
# Where the ATA registers sit in each pass-through block.
ATA_BYTES = {0xA1: {"count": 4, "device": 8, "command": 9},
             0x85: {"count": 6, "device": 13, "command": 14}}


class CompareCdbsTest(recordingcase.RecordingCase):
    DATA = DATA
    COMPARE = staticmethod(compare_cdbs.compare_folder)

    def test_each_changed_byte_is_judged(self):
        for drive, command, byte, value, needle in CDB_CHANGES:
            with self.subTest(drive=drive, command=command, byte=byte):
                trace = (DATA / f"trace-{drive}.err").read_text()
                lines = trace.splitlines(keepends=True)
                i = next(n for n, line in enumerate(lines) if line.startswith("cdb:")
                         and (compare_cdbs.kind(compare_cdbs.parse(line)[0]) or "")
                         .startswith(command))
                cdb = bytearray(compare_cdbs.parse(lines[i])[0])
                if isinstance(byte, str):
                    byte = ATA_BYTES[cdb[0]][byte]
                if callable(value):
                    value = value(cdb[byte])
                self.assertNotEqual(cdb[byte], value)
                cdb[byte] = value
                lines[i] = "cdb: " + " ".join(f"{b:02x}" for b in cdb) + "\n"
                (self.dir / f"trace-{drive}.err").write_text("".join(lines))
                diffs = compare_cdbs.compare_folder(self.dir)
                (self.dir / f"trace-{drive}.err").write_text(trace)
                if needle is None:
                    self.assertEqual([], diffs)
                else:
                    self.assertTrue(any(d.startswith(drive) and needle in d for d in diffs), diffs)

    def test_missing_trace_fails(self):
        (self.dir / "trace-sata1.err").write_text("tarvikdorn: identify: unknown option --trace\n")
        self.assertTrue(any(d.startswith("sata1: tarvikdorn identify --trace printed no")
                            for d in compare_cdbs.compare_folder(self.dir)))


if __name__ == "__main__":
    unittest.main()
