#!/usr/bin/env python3
"""qemu.usb_hotplug: the guest asks the host to unplug the USB disk (QMP device_del) and to plug
it back (device_add); the disk must leave /sys/block and come back, and `tarvikdorn list` must
follow when the tool has that command."""

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


if __name__ == "__main__":
    sys.exit(guesttest.main(body))
