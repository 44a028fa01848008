#!/usr/bin/env python3
"""qemu.compare_selftest: the list-versus-lsblk comparison on lsblk output recorded in a guest of
the storage profile (data/lsblk-storage.json). A list that says what lsblk says passes; one wrong
field, a missing or an extra disk each fails with the disk and the field named."""

import sys

sys.dont_write_bytecode = True  # no __pycache__ beside the sources

import copy
import json
import unittest
from pathlib import Path

import compare_list_lsblk as cmp

LSBLK = json.loads((Path(__file__).resolve().parent / "data" / "lsblk-storage.json").read_text())


def list_from_lsblk():
    """A list that agrees with the recording, written by hand from its transports."""
    bus = {"sata": "SATA", "nvme": "NVMe", "usb": "USB", None: "SCSI"}
    return [{"index": i, "path": d["path"], "bus": bus[d["tran"]], "removable": d["rm"],
             "capacity": d["size"], "sector_size": d["log-sec"]}
            for i, d in enumerate(LSBLK["blockdevices"]) if d["type"] == "disk"]


def entry(lst, path):
    return next(r for r in lst if r["path"] == path)


class CompareTest(unittest.TestCase):
    def test_recording_has_every_kind_of_disk(self):
        disks = cmp.normalize_lsblk(LSBLK)
        self.assertEqual(6, len(disks))
        self.assertEqual({"sata", "nvme", "usb", None}, {d["tran"] for d in disks.values()})
        self.assertIn(4096, {d["log-sec"] for d in disks.values()})
        self.assertTrue(any(d["size"] > 2 << 40 for d in disks.values()))

    def test_agreeing_list_passes(self):
        self.assertEqual([], cmp.compare(list_from_lsblk(), LSBLK))

    def test_other_spellings_and_shapes_pass(self):
        lst = [{"devicePath": r["path"], "busType": r["bus"], "removableMedia": int(r["removable"]),
                "capacity": {"bytes": r["capacity"], "text": "x"}, "bytesPerSector": str(r["sector_size"])}
               for r in list_from_lsblk()]
        self.assertEqual([], cmp.compare({"disks": lst}, LSBLK))

    def check_one_wrong(self, path, field, value, words):
        lst = list_from_lsblk()
        entry(lst, path)[field] = value
        diffs = cmp.compare(lst, LSBLK)
        self.assertEqual(1, len(diffs), diffs)
        self.assertIn(path, diffs[0])
        for w in words:
            self.assertIn(w, diffs[0])

    def test_wrong_capacity_fails(self):
        self.check_one_wrong("/dev/sdd", "capacity", (3 << 40) - 512, ["capacity", "size"])

    def test_wrong_sector_size_fails(self):
        self.check_one_wrong("/dev/sdc", "sector_size", 512, ["sector size", "log-sec"])

    def test_wrong_removable_fails(self):
        self.check_one_wrong("/dev/sde", "removable", False, ["removable", "rm"])

    def test_wrong_bus_fails(self):
        self.check_one_wrong("/dev/sda", "bus", "ATA", ["bus", "sata"])
        self.check_one_wrong("/dev/sdb", "bus", "SAS", ["bus", "scsi"])
        self.check_one_wrong("/dev/nvme0n1", "bus", "SCSI", ["bus", "nvme"])

    def test_missing_and_extra_disks_fail(self):
        lst = [r for r in list_from_lsblk() if r["path"] != "/dev/nvme0n1"]
        lst.append(dict(lst[0], path="/dev/sdz", index=99))
        diffs = cmp.compare(lst, LSBLK)
        self.assertEqual(2, len(diffs), diffs)
        self.assertTrue(any("/dev/nvme0n1" in d and "missing" in d for d in diffs))
        self.assertTrue(any("/dev/sdz" in d for d in diffs))

    def test_duplicate_index_fails(self):
        lst = list_from_lsblk()
        lst[1]["index"] = lst[0]["index"]
        self.assertTrue(any("indices" in d for d in cmp.compare(lst, LSBLK)))

    def test_record_without_a_field_is_an_error(self):
        lst = list_from_lsblk()
        del lst[2]["sector_size"]
        with self.assertRaisesRegex(cmp.CompareError, "sector_size"):
            cmp.compare(lst, LSBLK)

    def test_partitions_and_loops_are_not_disks(self):
        doc = copy.deepcopy(LSBLK)
        sda = next(d for d in doc["blockdevices"] if d["name"] == "sda")
        sda["children"] = [dict(sda, name="sda1", path="/dev/sda1", type="part")]
        doc["blockdevices"].append(dict(sda, name="loop0", path="/dev/loop0", type="loop"))
        self.assertEqual([], cmp.compare(list_from_lsblk(), doc))

    def test_main_prints_the_diff(self):
        import io
        import sys
        import tempfile
        lst = list_from_lsblk()
        entry(lst, "/dev/sdc")["sector_size"] = 512
        with tempfile.TemporaryDirectory() as d:
            a, b = Path(d) / "list.json", Path(d) / "lsblk.json"
            a.write_text(json.dumps(lst))
            b.write_text(json.dumps(LSBLK))
            err, old = io.StringIO(), sys.stderr
            sys.stderr = err
            try:
                rc = cmp.main(["compare", str(a), str(b)])
            finally:
                sys.stderr = old
        self.assertEqual(1, rc)
        self.assertIn("/dev/sdc: sector size 512 != lsblk log-sec 4096", err.getvalue())


if __name__ == "__main__":
    unittest.main()
