#!/usr/bin/env python3
"""qemu.report_vs_tools: in one boot of the report profile (the storage drives, SMBIOS tables of
known strings, a display with an EDID, a NIC with a static address), `tarvikdorn report` beside
dmidecode, lspci, lscpu, lsusb, lsblk, ip and /proc/meminfo in the guest and edid-decode on the
host; the drive sections beside smartctl (--identify, -x), nvme-cli (id-ctrl, list-ns, id-ns),
sg_inq, sg_readcap, sfdisk, blkid and lsblk, with MBR and GPT tables written in the guest to the
scratch disks scsi512 and scsi4k. File systems made on the host (FAT32, NTFS and exFAT on scsi512,
FAT16 with 4096-byte sectors on scsi4k) are written to those partitions and mounted in the guest, so
the volume blocks and the Drives section are compared with lsblk, blkid and mountinfo. Every
compared section must agree, and the UTF-16 report file must pass the format check of Python's
own codec."""

import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

sys.dont_write_bytecode = True  # no __pycache__ beside the sources

import compare_report_tools as cmp
import guesttest
from guesttest import Failure


MiB = 1 << 20
BLOCK = 4096  # the unit of the block maps the guest copies by; a multiple of both sector sizes

# The volumes the guest mounts: (name, size in bytes, mkfs command without the image path). The
# sizes and hidden-sector counts are those of the partitions report-vs-tools.sh writes; the
# serials and labels are fixed so that a recording stays stable (mkntfs picks its own serial).
VOLUMES = (
    ("fat32", 100 * MiB, ["mkfs.fat", "-F", "32", "-S", "512", "-h", "2048", "-i", "7D0A0512",
                          "-n", "TVD FAT32"]),
    ("ntfs", 200 * MiB, ["mkntfs", "-F", "-Q", "-q", "-s", "512", "-p", "206848", "-L",
                         "TVD NTFS Data"]),
    ("fat16-4k", 100 * MiB, ["mkfs.fat", "-F", "16", "-S", "4096", "-h", "256", "-i", "7D0A4096",
                             "-n", "TVD ESP"]),
    # This mkfs.exfat picks its own serial and has 512-byte sectors only: scsi512's third
    # partition.
    ("exfat", 100 * MiB, ["mkfs.exfat", "-L", "TVD EXFAT"]),
)


def block_map(image, data, map_file):
    """Writes the image's non-zero blocks to `data` and their runs to `map_file` as lines of
    "first block in data, first block on the device, count", so that the guest writes a few
    megabytes instead of the whole partition."""
    runs = []
    with open(image, "rb") as src, open(data, "wb") as out:
        n = 0
        while block := src.read(BLOCK):
            if block.count(0) != len(block):
                if runs and runs[-1][1] + runs[-1][2] == n:
                    runs[-1][2] += 1
                else:
                    runs.append([out.tell() // BLOCK, n, 1])
                out.write(block.ljust(BLOCK, b"\0"))
            n += 1
    map_file.write_text("".join(f"{a} {b} {c}\n" for a, b, c in runs))


def make_volumes(folder):
    """The file-system images of VOLUMES as block maps in `folder`: [(host path, guest path)]."""
    files = []
    for name, size, command in VOLUMES:
        if not shutil.which(command[0]):
            raise Failure(f"{command[0]} is not installed on the host (scripts/setup.sh installs it)")
        image = folder / f"{name}.img"
        with open(image, "wb") as f:
            f.truncate(size)
        done = subprocess.run(command + [str(image)], capture_output=True, text=True)
        if done.returncode != 0:
            raise Failure(f"{' '.join(command)} failed: {done.stderr.strip()[:300]}")
        block_map(image, folder / f"{name}.data", folder / f"{name}.map")
        image.unlink()
        for ext in ("data", "map"):
            files.append((folder / f"{name}.{ext}", f"/root/tvdfs/{name}.{ext}"))
    return files


def drive_checks(report, o, folder):
    """The drive sections against the drive tools; every tool that had something to read must
    have succeeded, and each kind of comparison must have happened."""
    for rc in folder.glob("*.rc"):
        name = rc.stem
        if name.startswith(("sg-inq-", "sg-readcap-", "nvme-", "smartctl-identify-",
                            "sfdisk-write-")):
            o.ok(name)
        elif name.startswith("smartctl-x-") and int(o.rc(name)) & 3:
            raise Failure(f"{name}: smartctl could not read the drive (status {o.rc(name)})")
    checks = cmp.drive_checks(report, folder)
    names = [n for n, _ in checks]
    for kind, least in ((" SCSI", 5), (" ATA identify", 1), (" SMART", 2), (" NVMe", 1),
                        (" lsblk", 6), (" partitions (sfdisk)", 6), (" partitions (blkid)", 6)):
        if sum(n.endswith(kind) for n in names) < least:
            raise Failure(f"fewer than {least} drive comparisons of kind{kind}: {names}")
    styles = sorted((cmp.report_layout(lines) or {}).get("style", "")
                    for lines in cmp.report_disks(report).values())
    if "MBR" not in styles or "GPT" not in styles:
        raise Failure(f"the report shows no MBR and GPT tables written in the guest: {styles}")
    return checks


def volume_checks(report, o, folder):
    """The volumes the guest mounted against lsblk, blkid and mountinfo; each must have been
    mounted and compared in its volume block and in the Drives section."""
    for name, _, _ in VOLUMES:
        o.ok(f"put-{name}")
        o.ok(f"mount-{name}")
    o.ok("lsblk-volumes")
    checks = cmp.volume_checks(report, folder)
    names = [n for n, _ in checks]
    for kind, least in ((" volume", 4), ("Drives /mnt/", len(VOLUMES)), (" Drives", 6)):
        if sum(kind in n for n in names) < least:
            raise Failure(f"fewer than {least} volume comparisons of kind {kind.strip()}: {names}")
    mounted = [v for v in cmp.report_volumes(report).values() if v["root"]]
    if len(mounted) != len(VOLUMES):
        raise Failure(f"{len(mounted)} mounted volumes in the report, {len(VOLUMES)} mounted")
    return checks


def body():
    args = guesttest.parse_args(__doc__)
    tools = []
    # sfdisk and blkid are not in the guest's initramfs; they travel with the tool.
    for name in ("dmidecode", "lspci", "lscpu", "ip", "sfdisk", "blkid"):
        path = shutil.which(name)
        if not path:
            raise Failure(f"{name} is not installed on the host (scripts/setup.sh installs it)")
        tools.append(path)
    with tempfile.TemporaryDirectory(prefix="tvd-volumes-") as tmp:
        res = guesttest.boot(args, "report-vs-tools.sh", profile="report", binaries=tools,
                             files=make_volumes(Path(tmp)))
    o = guesttest.Output(res.out)
    report = o.ok("report")
    o.ok("report-file")
    checks = [
        ("SM-BIOS", cmp.compare_smbios(report, o.ok("dmidecode"))),
        ("controllers", cmp.compare_controllers(report, o.ok("lspci"))),
        ("controller names", cmp.compare_controller_names(report, o.ok("lspci-names"))),
        ("CPU", cmp.compare_cpu(report, o.ok("lscpu"))),
        ("USB", cmp.compare_usb(report, o.ok("lsusb-v"))),
        ("USB tree", cmp.usb_tree_problems(report)),
        ("disks", cmp.compare_disk_lengths(report, o.json("lsblk"))),
        ("memory", cmp.compare_memory(report, (res.out / "meminfo.out").read_text())),
        ("file format", cmp.check_file_format((res.out / "report.log").read_bytes())),
    ]
    checks.append(("network", cmp.compare_network(report, o.json("ip-addr"), o.json("ip-route"))))
    if not shutil.which("edid-decode"):
        raise Failure("edid-decode is not installed on the host (scripts/setup.sh installs it)")
    edids = sorted(res.out.glob("edid-*.bin"))
    monitors = cmp.report_monitors(report)
    if not edids:
        raise Failure("the guest shows no connected display (bochs DRM driver not loaded?)")
    if len(monitors) != len(edids):
        raise Failure(f"{len(monitors)} monitors in the report, {len(edids)} connected connectors")
    for path, monitor in zip(edids, monitors):
        decoded = cmp.parse_edid_decode(
            subprocess.run(["edid-decode", str(path)], capture_output=True, text=True).stdout)
        checks.append((f"monitor {path.name}", cmp.compare_monitor(monitor, decoded)))
    names = [n for h in ("ATA Controller Class", "SCSI Controller Class")
             for n in cmp.report_controller_names(report, h).values()]
    if len(names) < 3 or not all(names):
        raise Failure(f"controllers without a name (is pci.ids in the guest?): {names}")
    if not cmp.report_adapters(report):
        raise Failure("the report lists no network adapter")
    checks += drive_checks(report, o, res.out)
    checks += volume_checks(report, o, res.out)
    failed = [(name, diff) for name, diff in checks if diff]
    if failed:
        raise Failure("report and tools differ: " + "; ".join(f"{n}: {d}" for n, d in failed))
    if not cmp.smbios_strings(report).get(("Type1", "Serial")):
        raise Failure("the report shows no system serial: the SMBIOS table was not read")
    for name, _ in checks:
        print(f"{name}: agrees")


if __name__ == "__main__":
    sys.exit(guesttest.main(body))
