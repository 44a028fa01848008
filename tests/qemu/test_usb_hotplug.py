#!/usr/bin/env python3
"""qemu.usb_hotplug: the guest asks the host to unplug the USB disk (QMP device_del) and to plug
it back (device_add); the disk must leave /sys/block and come back, and `tarvikdorn list` must
follow when the tool has that command. After the plug, `tarvikdorn identify` must report the USB
device's ids, strings, hub port and link as the guest's sysfs shows them."""

import sys

sys.dont_write_bytecode = True  # no __pycache__ beside the sources

import compare_list_lsblk as cmp
import guesttest
import harness
from guesttest import Failure


def paths(o, name):
    return set(cmp.normalize_list(o.json(name)))


def body():
    args = guesttest.parse_args(__doc__)
    profile = harness.PROFILES["storage"]
    res = guesttest.boot(args, "usb-hotplug.sh")
    o = guesttest.Output(res.out)

    before = (res.out / "usb-before.txt").read_text().split()
    after = (res.out / "usb-after.txt").read_text().split()
    unplugged = o.ok("sysblock-unplugged").split()
    replugged = o.ok("sysblock-replugged").split()
    if len(before) != 1 or before[0] in unplugged:
        raise Failure(f"USB disk before {before}, /sys/block after the unplug {unplugged}")
    if len(after) != 1 or after[0] not in replugged:
        raise Failure(f"USB disk after the plug {after}, /sys/block {replugged}")
    if len(replugged) != len(unplugged) + 1:
        raise Failure(f"/sys/block {unplugged} after the unplug, {replugged} after the plug")
    print(f"USB disk {before[0]} left /sys/block and came back as {after[0]} "
          f"({len(profile.drives)} drives)")

    if o.unknown_command("list-before", "list"):
        print("note: tarvikdorn has no list command yet; its part of the check waits for it")
        return
    old, new = "/dev/" + before[0], "/dev/" + after[0]
    if old not in paths(o, "list-before"):
        raise Failure(f"tarvikdorn list before the unplug lacks {old}")
    if old in paths(o, "list-unplugged"):
        raise Failure(f"tarvikdorn list still shows {old} after the unplug")
    if new not in paths(o, "list-replugged"):
        raise Failure(f"tarvikdorn list lacks {new} after the plug")
    print("tarvikdorn list followed the unplug and the plug")
    check_usb_facts(o, res.out)


# sysfs speed (Mb/s) -> the link the hub's connection record gives.
LINKS = {"1.5": "USB 1.0 (low speed)", "12": "USB 1.1", "480": "USB 2.0", "5000": "USB 3.0",
         "10000": "USB 3.0", "20000": "USB 3.0"}


def check_usb_facts(o, out):
    sysfs = dict(line.split("=", 1) for line in
                 (out / "usb-sysfs.txt").read_text().splitlines() if "=" in line)
    usb = o.json("usb-identify").get("usb")
    if not usb:
        raise Failure(f"tarvikdorn identify shows no USB facts: {o.text('usb-identify')[:500]}")
    want = {
        "vendorId": sysfs.get("idVendor", ""),
        "productId": sysfs.get("idProduct", ""),
        "manufacturer": sysfs.get("manufacturer", ""),
        "product": sysfs.get("product", ""),
        "serial": sysfs.get("serial", ""),
        "port": int(sysfs.get("devpath", "0").split(".")[-1] or 0),
        "link": LINKS.get(sysfs.get("speed", ""), "?"),
    }
    wrong = {k: (usb.get(k), v) for k, v in want.items() if usb.get(k) != v}
    if wrong:
        raise Failure(f"USB facts differ from sysfs (tool, sysfs): {wrong}")
    print(f"USB facts agree with sysfs: {want}")


if __name__ == "__main__":
    sys.exit(guesttest.main(body))
