#!/usr/bin/env python3
"""qemu.drives_compare_selftest: the list/info/watch-versus-tools comparison on guest output
recorded from the storage profile (data/drives/). The recording agrees; each field changed on
the tool's side fails with the drive or table and the field named."""

import sys

sys.dont_write_bytecode = True  # no __pycache__ beside the sources

import json
import unittest
from pathlib import Path

import recordingcase
import compare_drives_tools as cmp

DATA = Path(__file__).resolve().parent / "data" / "drives"


def _served(doc, drive_path):
    return next(d for d in doc["disks"] if d["path"] == drive_path)


# (file, how to change its JSON, what a difference line must contain)
def _set(*path_value):
    *path, value = path_value

    def change(doc, disks):
        node = doc
        for key in path[:-1]:
            node = node[key]
        node[path[-1]] = value
    return change


def _list_field(drive, field, value):
    def change(doc, disks):
        _served(doc, disks[drive])["drive"][field] = value
    return change


def _partition(index, field, value):
    def change(doc, disks):
        doc["partitions"][index][field] = value
    return change


CHANGES = [
    ("info-sata1", _set("model", "OTHER DISK"), "sata1: model"),
    ("info-sata1", _set("serial", "X"), "sata1: serial"),
    ("info-sata1", _set("firmware", "9.9"), "sata1: firmware"),
    ("info-sata1", _set("capacity", 1 << 30), "sata1: capacity"),
    ("info-sata1", _set("temperature", 40), "sata1: temperature"),
    ("info-sata1", _set("powerOnHours", 1 << 32 | 1), "sata1: powerOnHours"),
    ("info-nvme1", _set("serial", "TVDNVME0002"), "nvme1: serial"),
    ("info-nvme1", _set("firmware", "1.0"), "nvme1: firmware"),
    ("info-nvme1", _set("temperature", 323), "nvme1: temperature"),
    ("info-nvme1", _set("powerOnHours", 7), "nvme1: powerOnHours"),
    ("info-nvme1", _set("sectorSize", 4096), "nvme1: sectorSize"),
    ("info-scsi4k", _set("sectors", 1 << 21), "scsi4k: sectors x sectorSize"),
    ("info-scsi512", _set("model", "SCSI 512"), "scsi512: model"),
    ("info-scsibig", _set("serial", "TVDSCSI0512"), "scsibig: serial"),
    ("list", _list_field("sata1", "health", "caution"), "sata1: health"),
    ("list", _list_field("nvme1", "life", 99), "nvme1: life"),
    ("info-mbr-scsi512", _partition(0, "kind", "ordinary"), "mbr-scsi512: partitions"),
    ("info-mbr-scsi512", _partition(2, "number", 3), "mbr-scsi512: partitions"),
    ("info-mbr-scsi512", _partition(1, "length", 30408704), "mbr-scsi512: partitions"),
    ("info-gpt-scsi512", _partition(0, "kind", "ordinary"), "gpt-scsi512: partitions"),
    ("info-gpt-scsi4k", _partition(3, "start", 542113792 + 4096), "gpt-scsi4k: partitions"),
    ("info-gpt-scsi4k", _partition(3, "number", 5), "gpt-scsi4k: partitions"),
]


class CompareDrivesTest(recordingcase.RecordingCase):
    DATA = DATA
    COMPARE = staticmethod(cmp.compare_folder)

    def setUp(self):
        super().setUp()
        self.disks = cmp.Folder(self.dir).disks()

    def test_each_wrong_field_is_named(self):
        for name, change, needle in CHANGES:
            with self.subTest(file=name, needle=needle):
                self.restore()
                doc = json.loads((DATA / (name + ".out")).read_text())
                change(doc, self.disks)
                (self.dir / (name + ".out")).write_text(json.dumps(doc))
                diffs = cmp.compare_folder(self.dir)
                self.assertTrue(any(needle in d for d in diffs), diffs)

    def test_watch_events_counted_once_in_order(self):
        lines = (DATA / "watch.out").read_text().splitlines(keepends=True)
        mark = int((DATA / "watch-mark.txt").read_text())
        removal, arrival = lines[mark], lines[mark + 1]
        cases = {
            "no removal": lines[:mark] + [arrival],
            "no arrival": lines[:mark] + [removal],
            "arrival twice": lines + [arrival],
            "removal twice": lines[:mark] + [removal, removal, arrival],
            "arrival first": lines[:mark] + [arrival, removal],
            "a start arrival missing": lines[1:mark] + [removal, arrival],
            "not JSON": lines + ["watch: tick\n"],
        }
        for what, text in cases.items():
            with self.subTest(what):
                self.restore()
                (self.dir / "watch.out").write_text("".join(text))
                (self.dir / "watch-mark.txt").write_text(
                    str(mark - 1 if what == "a start arrival missing" else mark))
                self.assertTrue(any(d.startswith("watch:") for d in cmp.compare_folder(self.dir)))

    def test_failed_watch_fails(self):
        (self.dir / "watch.rc").write_text("1\n")
        self.assertTrue(any(d.startswith("watch: ended with status 1")
                            for d in cmp.compare_folder(self.dir)))

    def test_missing_ebr_chain_fails(self):
        (self.dir / "ebr-mbr-scsi512.txt").unlink()
        self.assertTrue(any("no extended boot records" in d for d in cmp.compare_folder(self.dir)))


if __name__ == "__main__":
    unittest.main()
