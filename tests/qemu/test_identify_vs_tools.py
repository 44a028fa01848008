#!/usr/bin/env python3
"""qemu.identify_vs_tools: in one boot of the storage profile, `tarvikdorn identify --json` must
agree with smartctl (SATA, NVMe), nvme-cli (controller and namespace) and sg3-utils (SCSI and the
USB disk) field by field on every drive; see compare_identify_tools.py for the fields. The
details rows of `identify --fields --json` must match nvme id-ctrl (VID to SUBNQN and the power
states) and smartctl --identify word by word (compare_fields_tools.py). The SATA
and NVMe drives dumped in the guest must identify the same as simulated drives on the host. The
command blocks `identify --trace` sends must match sg3-utils' (compare_cdbs.py). The same boot
compares `tarvikdorn smart --json` with smartctl -A and nvme smart-log (compare_smart_tools.py)."""

import json
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

sys.dont_write_bytecode = True  # no __pycache__ beside the sources

import compare_cdbs
import compare_fields_tools
import compare_identify_tools as cmp
import compare_smart_tools
import guesttest
import harness
from guesttest import Failure


def check_dumps(o, tool):
    """A drive dumped in the guest, simulated on the host, identifies as the real one did."""
    diffs = []
    for drive, section, raw in (("sata1", "ata", "identify"), ("nvme1", "nvme", "controller")):
        with tempfile.TemporaryDirectory(prefix="tvdident-") as folder:
            (Path(folder) / f"{drive}.drive").write_text(o.ok(f"dump-{drive}"))
            run = subprocess.run([tool, "--simulate", folder, "--json", "identify", "--raw", drive],
                                 capture_output=True, text=True, timeout=60)
            if run.returncode != 0:
                diffs.append(f"{drive}: the dumped drive does not identify: {run.stderr.strip()}")
                continue
        sim, real = json.loads(run.stdout), o.json(f"ours-{drive}")
        if sim.get(section) != real.get(section):
            diffs.append(f"{drive}: {section} of the dumped drive {sim.get(section)} "
                         f"differs from the real one {real.get(section)}")
        if sim.get("raw", {}).get(raw) != real.get("raw", {}).get(raw):
            diffs.append(f"{drive}: raw {raw} of the dumped drive differs from the real one")
    return diffs


# The dumped drives and the tools' answers the window test under Wine reads
# (tests/shell/win32/qemudumps_wine.py), by their names in tests/qemu/data/dumps/.
DUMP_SET = {
    "sata1.drive": "dump-sata1", "nvme1.drive": "dump-nvme1",
    "smartctl-x-sata1.json": "smartctl-x-sata1",
    "smartctl-identify-sata1.txt": "smartctl-identify-sata1",
    "nvme-id-ctrl.json": "nvme-id-ctrl", "nvme-id-ns.json": "nvme-id-ns",
    "nvme-smart-log-before.json": "nvme-smart-log-dump-before",
    "nvme-smart-log-after.json": "nvme-smart-log-dump-after",
    "smartctl-x-nvme1.json": "smartctl-x-nvme1",
}


def keep_dumps(o, folder):
    """Writes the dump set to `folder`; refreshing the stored one is a copy of it."""
    diffs = []
    shutil.rmtree(folder, ignore_errors=True)
    folder.mkdir(parents=True)
    for name, output in DUMP_SET.items():
        text = o.text(output)
        if not text.strip():
            diffs.append(f"dumps: {output} gave nothing")
        elif name.endswith(".json"):
            try:
                json.loads(text)
            except ValueError:
                diffs.append(f"dumps: {output} is not JSON")
        (folder / name).write_text(text)
    for drive in ("sata1", "nvme1"):
        o.ok(f"dump-{drive}")
    return diffs


def body():
    args = guesttest.parse_args(__doc__)
    res = guesttest.boot(args, "identify-vs-tools.sh")
    o = guesttest.Output(res.out)
    if o.unknown_command("ours-sata1", "identify"):
        raise harness.Skip("tarvikdorn has no identify command yet")
    for tool in ("smartctl-sata1", "smartctl-nvme1", "nvme-id-ctrl", "nvme-id-ns"):
        o.rc(tool)  # ran at all; smartctl's status bits are no verdict on its JSON
    diffs = (cmp.compare_folder(res.out) + check_dumps(o, args.tarvikdorn)
             + keep_dumps(o, Path(res.out) / "dumps")
             + compare_cdbs.compare_folder(res.out) + compare_fields_tools.compare_folder(res.out))
    if diffs:
        raise Failure("tarvikdorn identify and the drive tools disagree:\n  " + "\n  ".join(diffs))
    smart = compare_smart_tools.compare_folder(res.out)
    if smart:
        raise Failure("tarvikdorn smart and the drive tools disagree:\n  " + "\n  ".join(smart))
    print("tarvikdorn identify agrees with smartctl, nvme-cli and sg3-utils on 6 drives, its "
          "details rows with nvme id-ctrl and smartctl --identify, "
          "the dumped SATA and NVMe drives identify the same when simulated, and the SATA and "
          "SCSI command blocks match sg3-utils'; tarvikdorn smart agrees with smartctl -A and "
          "nvme smart-log, and finds no SMART on the USB mass-storage disk")


if __name__ == "__main__":
    sys.exit(guesttest.main(body))
