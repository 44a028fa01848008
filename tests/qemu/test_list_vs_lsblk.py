#!/usr/bin/env python3
"""qemu.list_vs_lsblk: in one boot of the storage profile, `tarvikdorn list --json` must agree
with `lsblk -J -b -O` on every disk (path, capacity, sector size, removable, bus type). The same
boot proves that the project's tool and the drive tools (smartctl, nvme-cli, sg3-utils) run in
the guest; their outputs stay in the artifacts folder for the comparisons to come."""

import sys

sys.dont_write_bytecode = True  # no __pycache__ beside the sources

import compare_list_lsblk as cmp
import guesttest
import harness
from guesttest import Failure


def check_drive_tools(o, profile):
    sata, nvme = profile.drive("sata1"), profile.drive("nvme1")
    scsi = profile.drive("scsi512")
    for name, needle in (("smartctl-sata", sata.props["serial"]),
                         ("smartctl-nvme", nvme.props["serial"]),
                         ("nvme-id-ctrl", nvme.props["serial"]),
                         ("sg-inq", scsi.props["vendor"])):
        if needle not in o.ok(name):
            raise Failure(f"{name}: the drive's {needle!r} is not in its output")
    system = o.json("system") if o.rc("system") == 0 else None
    if not system or not system.get("memory", {}).get("bytes"):
        raise Failure(f"tarvikdorn --json system in the guest: {o.text('system', 'err')[:300]}")


def body():
    args = guesttest.parse_args(__doc__)
    profile = harness.PROFILES["storage"]
    placeholder = harness.HERE / "placeholder-list.sh"
    res = guesttest.boot(args, "list-vs-lsblk.sh",
                         files=[(placeholder, "/usr/local/bin/placeholder-list")])
    o = guesttest.Output(res.out)

    o.ok("lsblk")
    lsblk = o.json("lsblk")
    disks = cmp.normalize_lsblk(lsblk)
    if len(disks) != len(profile.drives):
        raise Failure(f"lsblk shows {len(disks)} disks, the profile has {len(profile.drives)}")
    check_drive_tools(o, profile)

    # PLACEHOLDER check of the harness and of the comparison itself, not of the tool: a sysfs
    # reading in the list's shape must agree with lsblk before the tool's list is judged.
    o.ok("placeholder-list")
    diffs = cmp.compare(o.json("placeholder-list"), lsblk)
    if diffs:
        raise Failure("the placeholder list disagrees with lsblk:\n  " + "\n  ".join(diffs))

    if o.unknown_command("list", "list"):
        raise harness.Skip("tarvikdorn has no list command yet; the harness and the placeholder "
                           "comparison passed")
    o.ok("list")
    diffs = cmp.compare(o.json("list"), lsblk)
    if diffs:
        raise Failure("tarvikdorn list and lsblk disagree:\n  " + "\n  ".join(diffs))
    print(f"tarvikdorn list agrees with lsblk on {len(disks)} disks")


if __name__ == "__main__":
    sys.exit(guesttest.main(body))
