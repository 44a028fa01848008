#!/usr/bin/env python3
"""qemu.usb_compare_selftest: the tool-versus-lsusb comparison on guest output recorded from the
usb profile (data/usb/). The recording agrees; each USB field changed on the tool's side, or a
port or speed changed in lsusb's tree, fails with that field named."""

import sys

sys.dont_write_bytecode = True  # no __pycache__ beside the sources

import json
import unittest
from pathlib import Path

import compare_usb_lsusb as cmp

DATA = Path(__file__).resolve().parent / "data" / "usb"


def recorded():
    tree = cmp.parse_tree((DATA / "lsusb-tree.out").read_text())
    for line in (DATA / "usb-disks.txt").read_text().splitlines():
        name, _usbdev, bus, dev, _driver = line.split()
        usb = json.loads((DATA / f"identify-{name}.out").read_text())["usb"]
        verbose = cmp.parse_verbose((DATA / f"lsusb-{name}.out").read_text())
        yield name, usb, verbose, tree[(int(bus), int(dev))]


class CompareUsb(unittest.TestCase):
    def test_recording_agrees(self):
        disks = list(recorded())
        self.assertEqual(len(disks), 4)
        for name, usb, verbose, node in disks:
            self.assertEqual(cmp.compare(name, usb, verbose, node), [], name)

    def test_tree_parse(self):
        tree = cmp.parse_tree((DATA / "lsusb-tree.out").read_text())
        # The disk behind the full-speed hub: its own port on the hub, not the hub's port.
        self.assertEqual(tree[(1, 3)], {"port": 2, "driver": "usb-storage", "speed": "12M"})
        self.assertEqual(tree[(2, 3)]["driver"], "uas")

    def test_each_changed_field_fails(self):
        changes = [("vendorId", "abcd"), ("productId", "0002"), ("manufacturer", "QEMU "),
                   ("product", ""), ("serial", "TVDUSBBOT2"), ("port", 3), ("link", "USB 2.0")]
        for name, usb, verbose, node in recorded():
            for field, value in changes:
                if usb.get(field) == value:
                    continue
                changed = dict(usb, **{field: value})
                diff = cmp.compare(name, changed, verbose, node)
                self.assertEqual([d[0] for d in diff], [field], (name, field))

    def test_tree_side_changes_fail(self):
        name, usb, verbose, node = next(recorded())
        for field, value, named in (("port", node["port"] + 1, "port"),
                                    ("speed", "1.5M", "link")):
            diff = cmp.compare(name, usb, verbose, dict(node, **{field: value}))
            self.assertEqual([d[0] for d in diff], [named])


if __name__ == "__main__":
    unittest.main()
