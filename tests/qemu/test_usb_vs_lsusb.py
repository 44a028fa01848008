#!/usr/bin/env python3
"""qemu.usb_vs_lsusb: USB disks on xHCI (bulk-only and UAS), behind a hub and on EHCI; for each,
the ids, strings, hub port and link that `tarvikdorn identify` reports must be what lsusb reads
from the device's descriptors and draws in its tree."""

import sys

sys.dont_write_bytecode = True  # no __pycache__ beside the sources

import compare_usb_lsusb as cmp
import guesttest
import harness
from guesttest import Failure


def body():
    args = guesttest.parse_args(__doc__)
    res = guesttest.boot(args, "usb-vs-lsusb.sh", profile="usb")
    o = guesttest.Output(res.out)
    tree = cmp.parse_tree(o.ok("lsusb-tree"))
    disks = [line.split() for line in (res.out / "usb-disks.txt").read_text().splitlines()]
    expected = len(harness.PROFILES["usb"].drives)
    if len(disks) != expected:
        raise Failure(f"{len(disks)} USB disks in the guest, {expected} in the profile: {disks}")
    drivers = sorted(d[4] if len(d) > 4 else "" for d in disks)
    if "uas" not in drivers or "usb-storage" not in drivers:
        raise Failure(f"the guest's drivers {drivers} do not cover both uas and usb-storage")
    speeds = set()
    for name, _usbdev, bus, dev, *_ in disks:
        usb = o.json(f"identify-{name}").get("usb")
        if not usb:
            raise Failure(f"{name}: tarvikdorn identify shows no USB facts")
        node = tree.get((int(bus), int(dev)))
        if not node:
            raise Failure(f"{name}: bus {bus} device {dev} is not in lsusb -t")
        speeds.add(node["speed"])
        wrong = cmp.compare(name, usb, cmp.parse_verbose(o.ok(f"lsusb-{name}")), node)
        if wrong:
            raise Failure(f"{name}: tool and lsusb differ (field, tool, lsusb): {wrong}")
        print(f"{name}: {usb['vendorId']}:{usb['productId']} \"{usb['serial']}\" port "
              f"{usb['port']}, {usb['link']} ({node['driver']}) agree with lsusb")
    if len(speeds) < 2:
        raise Failure(f"every disk ran at {speeds}: the EHCI and xHCI links were not both seen")


if __name__ == "__main__":
    sys.exit(guesttest.main(body))
