#!/usr/bin/env python3
"""qemu.erase_vs_tools: one boot of the erase profile. `tarvikdorn erase --check` on every drive
agrees with lsblk -D (TRIM exactly where DISC-MAX > 0), hdparm -I (no security feature set on
QEMU's AHCI disk) and nvme id-ctrl (SANICAP 0, and nvme sanitize fails); the methods QEMU lacks
are refused unsent. Whole-disk erases of the SATA, NVMe and SCSI disks after a table and a
pattern leave no partition (lsblk), no signature (wipefs), only zeros, a smaller image on the
host, and TRIM steps equal to blkdiscard -p 256MiB's; a disk with a mounted FAT volume is refused
unchanged, and `optimize` on that volume trims what fstrim -v trims. Command bytes: hdparm's
SECURITY SET PASSWORD / ERASE PREPARE / ERASE UNIT against our trace of the same erase on a
simulated drive (block and data sector), sg_sanitize's SANITIZE blocks against the Windows
build's trace under Wine when that build is present."""

import os
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

sys.dont_write_bytecode = True

import compare_erase_tools as cmp
import guesttest
import harness
from guesttest import Failure

# Not in the guest's initramfs; they travel with the tool.
HOST_TOOLS = ("sfdisk", "fsck.fat")


def sim_trace(tool, drive_text, args, wine=None):
    """Our trace (standard error) of an erase of a simulated drive made for it."""
    with tempfile.TemporaryDirectory(prefix="tvd-erase-sim-") as d:
        Path(d, "disk.drive").write_text(drive_text)
        with open(Path(d, "disk.img"), "wb") as img:
            img.truncate(8 << 20)
        cmd = [tool, "--simulate", d, "erase", "disk", "--yes", "--trace", *args]
        env = dict(os.environ)
        if wine:
            cmd = [wine, tool, "--simulate", "Z:" + d.replace("/", "\\"), *cmd[3:]]
            env.update(WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
        res = subprocess.run(cmd, capture_output=True, text=True, env=env, timeout=300)
        if res.returncode != 0:
            raise Failure(f"{' '.join(cmd)}: exit {res.returncode}: {res.stdout}{res.stderr}")
        return res.stderr


def sanitize_trace():
    """The Windows build's SANITIZE blocks (the command goes to the NVMe drive as SCSI there),
    or None with the reason when that build or Wine is missing."""
    exe = harness.TOP / "build" / "windows" / "tarvikdorn-cli.exe"
    wine = shutil.which("wine64") or shutil.which("wine")
    if not exe.is_file() or not wine:
        return None, f"no {exe} or no Wine: the SANITIZE blocks are not compared"
    text = ""
    for action in ("block", "crypto"):
        text += sim_trace(str(exe), "[Drive]\nBus=NVMe\nCapacity=8M\n[Nvme]\nSanicap=3\n",
                          ["--method", "scsi-sanitize", "--action", action], wine=wine)
    return text, ""


def body():
    args = guesttest.parse_args(__doc__)
    tools = [shutil.which(t) for t in HOST_TOOLS]
    if None in tools:
        raise harness.Skip(f"needs {' and '.join(HOST_TOOLS)} on the host to copy into the guest")
    ata = sim_trace(args.tarvikdorn, "[Drive]\nCapacity=8M\n[Ata]\n", [])
    sanitize, why = sanitize_trace()
    res = guesttest.boot(args, "erase-vs-tools.sh", profile="erase", binaries=tools)
    o = guesttest.Output(res.out)
    if o.unknown_command("check-sata1", "erase"):
        raise harness.Skip("tarvikdorn has no erase command yet")
    (res.out / "sim-ata-trace.txt").write_text(ata)
    if sanitize is not None:
        (res.out / "sanitize-trace.txt").write_text(sanitize)
    diffs = cmp.compare_folder(res.out, ata, sanitize)
    if diffs:
        raise Failure("tarvikdorn erase and optimize disagree with the drive tools:\n  "
                      + "\n  ".join(diffs))
    print("erase --check agrees with lsblk -D, hdparm -I and nvme id-ctrl; the SATA, NVMe and "
          "SCSI disks were erased to zeros without a table, in blkdiscard's steps, their images "
          "shrank; the mounted disk was refused unchanged; optimize trimmed what fstrim -v trims; "
          "the ATA security blocks and sectors match hdparm's"
          + ("" if sanitize is None else ", the SANITIZE blocks sg_sanitize's"))
    if why:
        print(f"note: {why}")


if __name__ == "__main__":
    sys.exit(guesttest.main(body))
