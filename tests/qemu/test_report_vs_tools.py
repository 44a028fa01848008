#!/usr/bin/env python3
"""qemu.report_vs_tools: in one boot of the report profile (the storage drives, SMBIOS tables of
known strings, a display with an EDID, a NIC with a static address), `tarvikdorn report` beside
dmidecode, lspci, lscpu, lsusb, lsblk, ip and /proc/meminfo in the guest and edid-decode on the
host; the drive sections beside smartctl (--identify, -x), nvme-cli (id-ctrl, list-ns, id-ns),
sg_inq, sg_readcap, sfdisk, blkid and lsblk, with MBR and GPT tables written in the guest to the
scratch disks scsi512 and scsi4k. Every compared section must agree, and the UTF-16 report file
must pass the format check of Python's own codec."""

import shutil
import subprocess
import sys

sys.dont_write_bytecode = True  # no __pycache__ beside the sources

import compare_report_tools as cmp
import guesttest
from guesttest import Failure


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


def body():
    args = guesttest.parse_args(__doc__)
    tools = []
    # sfdisk and blkid are not in the guest's initramfs; they travel with the tool.
    for name in ("dmidecode", "lspci", "lscpu", "ip", "sfdisk", "blkid"):
        path = shutil.which(name)
        if not path:
            raise Failure(f"{name} is not installed on the host (scripts/setup.sh installs it)")
        tools.append(path)
    res = guesttest.boot(args, "report-vs-tools.sh", profile="report", binaries=tools)
    o = guesttest.Output(res.out)
    report = o.ok("report")
    o.ok("report-file")
    checks = [
        ("SM-BIOS", cmp.compare_smbios(report, o.ok("dmidecode"))),
        ("controllers", cmp.compare_controllers(report, o.ok("lspci"))),
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
    if not cmp.report_adapters(report):
        raise Failure("the report lists no network adapter")
    checks += drive_checks(report, o, res.out)
    failed = [(name, diff) for name, diff in checks if diff]
    if failed:
        raise Failure("report and tools differ: " + "; ".join(f"{n}: {d}" for n, d in failed))
    if not cmp.smbios_strings(report).get(("Type1", "Serial")):
        raise Failure("the report shows no system serial: the SMBIOS table was not read")
    for name, _ in checks:
        print(f"{name}: agrees")


if __name__ == "__main__":
    sys.exit(guesttest.main(body))
