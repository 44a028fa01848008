#!/usr/bin/env python3
"""qemu.smart_compare_selftest: the smart-versus-tools comparison on guest output recorded from
the storage profile (data/smart/). The recording agrees; each field changed on either side fails
with the drive and the field named; a moving NVMe counter passes anywhere between the two log
reads and fails outside them."""

import sys

sys.dont_write_bytecode = True  # no __pycache__ beside the sources

import json
import shutil
import unittest
from pathlib import Path

import recordingcase
import compare_smart_tools as cmp

DATA = Path(__file__).resolve().parent / "data" / "smart"


def attr(ident):
    """Path to an attribute of ours by id (the recording lists them in drive order)."""
    return ("attr", ident)


# (edits: [(file, path into its JSON, new value)], what a difference line must name; None: no
# difference allowed)
CHANGES = [
    ([("smart-sata1", [attr(1), "current"], 99)], "sata1: attribute 1 current"),
    ([("smart-sata1", [attr(4), "worst"], 90)], "sata1: attribute 4 worst"),
    ([("smart-sata1", [attr(5), "threshold"], 10)], "sata1: attribute 5 threshold"),
    ([("smart-sata1", [attr(190), "raw"], 31)], "sata1: attribute 190 raw"),
    ([("smartctl-a-sata1", ["ata_smart_attributes", "table", 2, "raw", "value"], 7)],
     "sata1: attribute 4 raw"),
    ([("smart-sata1", [attr(190), "id"], 194)], "sata1: attribute ids"),
    ([("smart-sata1", ["smart", "derived", "temperature"], 30)], "sata1: temperature"),
    ([("smart-sata1", ["smart", "derived", "power_on_hours"], 2)], "sata1: power_on_hours"),
    ([("smart-sata1", ["smart", "derived", "power_cycles"], 1)], "sata1: power_cycles"),
    ([("smart-sata1", ["smart"], None)], "sata1: tarvikdorn has no smart section"),
    ([("smart-nvme1", [attr(2), "raw"], 310)], "nvme1: attribute 2 (temperature)"),
    ([("smart-nvme1", [attr(5), "raw"], 3)], "nvme1: attribute 5 (percent_used)"),
    ([("smart-nvme1", [attr(13), "raw"], 1)], "nvme1: attribute 13 (unsafe_shutdowns)"),
    ([("smart-nvme1", [attr(14), "raw"], 1)], "nvme1: attribute 14 (media_errors)"),
    ([("smart-nvme1", [attr(1), "raw"], 4)], "nvme1: attribute 1 (critical_warning)"),
    ([("smart-nvme1", [attr(6), "raw"], 50)], "nvme1: attribute 6 (data_units_read)"),
    ([("smart-nvme1", [attr(6), "raw"], 43)], None),  # the first read's value
    ([("smart-nvme1", [attr(6), "raw"], 49)], None),  # the second read's value
    ([("smart-nvme1", [attr(8), "raw"], 1013)], "nvme1: attribute 8 (host_read_commands)"),
    ([("smart-nvme1", ["smart", "derived", "temperature"], 323)], "nvme1: temperature"),
    ([("smart-nvme1", ["smart", "derived", "health"], 99)], "nvme1: health"),
    ([("smart-nvme1", ["smart", "derived", "life"], None)], "nvme1: life"),
    ([("smart-nvme1", ["smart", "derived", "power_cycles"], 1)], "nvme1: power_cycles"),
    ([("smart-nvme1", ["smart", "derived", "power_on_hours"], 1)], "nvme1: power_on_hours"),
    # Writes of 2^21 data units are 2^21 * 1000 >> 21 = 1000 GiB; 1024 would be 2^30-byte units.
    ([("smart-nvme1", [attr(7), "raw"], 1 << 21),
      ("nvme-smart-log-before", ["data_units_written"], str(1 << 21)),
      ("nvme-smart-log-after", ["data_units_written"], str(1 << 21)),
      ("smart-nvme1", ["smart", "derived", "host_writes_gib"], 1024)], "nvme1: host_writes_gib"),
    ([("smart-nvme1", [attr(7), "raw"], 1 << 21),
      ("nvme-smart-log-before", ["data_units_written"], str(1 << 21)),
      ("nvme-smart-log-after", ["data_units_written"], str(1 << 21)),
      ("smart-nvme1", ["smart", "derived", "host_writes_gib"], 1000)], None),
    ([("smart-nvme1", ["smart", "derived", "host_reads_gib"], 1)], "nvme1: host_reads_gib"),
    # A drive that reports 0 K has no sensor: no temperature rather than -273.
    ([("smart-nvme1", [attr(2), "raw"], 0),
      ("nvme-smart-log-before", ["temperature"], 0),
      ("nvme-smart-log-after", ["temperature"], 0),
      ("smart-nvme1", ["smart", "derived", "temperature"], -273)], "nvme1: temperature"),
    ([("smart-nvme1", [attr(2), "raw"], 0),
      ("nvme-smart-log-before", ["temperature"], 0),
      ("nvme-smart-log-after", ["temperature"], 0),
      ("smart-nvme1", ["smart", "derived", "temperature"], None)], None),
    ([("smart-usb1", ["smart"], {"kind": "ata"})], "usb1: tarvikdorn smart reports SMART data"),
    ([("smart-usb1", ["reason"], "")], "usb1: tarvikdorn smart gives no reason"),
]


def resolve(doc, path):
    """The container and key a path ends in; ("attr", id) steps into ours' attribute list."""
    node = doc
    steps = []
    for step in path:
        if isinstance(step, tuple):
            steps += ["smart", "attributes",
                      next(i for i, a in enumerate(doc["smart"]["attributes"]) if a["id"] == step[1])]
        else:
            steps.append(step)
    for key in steps[:-1]:
        node = node[key]
    return node, steps[-1]


class CompareSmartTest(recordingcase.RecordingCase):
    DATA = DATA
    COMPARE = staticmethod(cmp.compare_folder)

    def test_each_changed_field_is_judged(self):
        for edits, needle in CHANGES:
            with self.subTest(edits=edits):
                docs = {}
                for f in DATA.iterdir():
                    shutil.copy(f, self.dir / f.name)
                for name, path, value in edits:
                    doc = docs.setdefault(name, json.loads((DATA / f"{name}.out").read_text()))
                    node, key = resolve(doc, path)
                    node[key] = value
                for name, doc in docs.items():
                    (self.dir / f"{name}.out").write_text(json.dumps(doc))
                diffs = cmp.compare_folder(self.dir)
                if needle is None:
                    self.assertEqual([], diffs)
                else:
                    self.assertTrue(any(d.startswith(needle) for d in diffs), diffs)

    def test_status_and_output_are_checked(self):
        for name, text, needle in (
                ("smart-usb1.rc", "0\n", "usb1: tarvikdorn smart ended with 0"),
                ("smart-sata1.rc", "1\n", "sata1: tarvikdorn smart failed"),
                ("smart-nvme1.out", "tarvikdorn: unknown command smart\n",
                 "smart-nvme1 gave no JSON")):
            with self.subTest(file=name):
                for f in DATA.iterdir():
                    shutil.copy(f, self.dir / f.name)
                (self.dir / name).write_text(text)
                self.assertTrue(any(d.startswith(needle) for d in cmp.compare_folder(self.dir)))


if __name__ == "__main__":
    unittest.main()
