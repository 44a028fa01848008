#!/usr/bin/env python3
"""qemu.drives_vs_tools: in one boot of the storage profile, `tarvikdorn list --json` and
`info --json` must agree with lsblk, smartctl -i/-A and nvme-cli (id-ctrl, smart-log) on every
drive; the partitions `info` shows must agree with sfdisk -J and sgdisk -p on an MBR table with
logical partitions and on GPT tables (ESP, MSR, basic data, recovery) written in the guest to the
profile's scratch disks scsi512 and scsi4k; and `watch --json` must report the unplug and the
plug of scsi512 once each, and nothing for the unserved USB disk. See compare_drives_tools.py."""

import shutil
import sys

sys.dont_write_bytecode = True  # no __pycache__ beside the sources

import compare_drives_tools as cmp
import guesttest
import harness
from guesttest import Failure

# The partitioning tools are not in the guest's initramfs; they travel with the tool.
PARTITIONERS = ("sfdisk", "sgdisk")


def body():
    args = guesttest.parse_args(__doc__)
    tools = [shutil.which(t) for t in PARTITIONERS]
    if None in tools:
        raise harness.Skip(f"needs {' and '.join(PARTITIONERS)} on the host to copy into the guest")
    harness.check_qemu()
    harness.prepare_assets(args.cache)
    run = harness.GuestRun("storage", harness.HERE / "commands" / "drives-vs-tools.sh",
                           args.artifacts, binaries=[args.tarvikdorn, *tools],
                           timeout=args.timeout, cache=args.cache, verbose=args.verbose)
    res = run.run()
    print(f"guest run: {res.wall_seconds:.1f} s, output in {res.out}")
    print(res.session_log, end="")
    if res.status != 0:
        why = res.out / "failures.txt"
        detail = ":\n" + why.read_text() if why.exists() else ""
        raise Failure(f"the guest commands ended with status {res.status}{detail}")
    o = guesttest.Output(res.out)
    if o.unknown_command("info-sata1", "info"):
        raise harness.Skip("tarvikdorn has no info command yet")
    diffs = cmp.compare_folder(res.out)
    if diffs:
        raise Failure("tarvikdorn list, info and watch disagree with the drive tools:\n  "
                      + "\n  ".join(diffs))
    print("tarvikdorn list and info agree with lsblk, smartctl and nvme-cli on every drive, "
          "info's partitions with sfdisk and sgdisk on MBR (logical partitions) and GPT at 512 "
          "and 4096-byte sectors, and watch reported the SCSI disk's unplug and plug once each")


if __name__ == "__main__":
    sys.exit(guesttest.main(body))
