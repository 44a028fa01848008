#!/usr/bin/env python3
"""report.host_vs_tools and wine.report_vs_tools: the system sections of a report written on this
machine, by the Linux tool or by the Windows build under Wine (drives simulated), against the
host's own tools: /proc/meminfo (the memory total), ip -j (each adapter's MAC, IPv4 addresses
with masks and default gateway), hostname, id -un and lscpu (the CPU vendor); on Linux also lspci
(the controller classes) and lsusb (the USB devices); under Wine also wmic (" OS Name"), cmd's
ver (the version) and /sys/class/dmi/id (the SM-BIOS strings Wine builds its table from). The
UTF-16 file must pass the format check of Python's own codec.

  report_vs_host.py --tarvikdorn PATH
  report_vs_host.py --wine-cli PATH --simulate DIR

Exit status: 0 agreed, 1 differed, 77 (skip) when a host tool is missing."""

import argparse
import json
import re
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

sys.dont_write_bytecode = True  # no __pycache__ beside the sources
sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "qemu"))
import compare_report_tools as cmp  # noqa: E402

SKIP = 77

# (report block, label) -> the file of /sys/class/dmi/id Wine reads the same string from.
DMI_FILES = {
    ("Type0", "Vendor"): "bios_vendor", ("Type0", "Version"): "bios_version",
    ("Type0", "ReleaseDate"): "bios_date", ("Type1", "Manufacturer"): "sys_vendor",
    ("Type1", "Product"): "product_name", ("Type1", "Version"): "product_version",
    ("Type2", "Manufacturer"): "board_vendor", ("Type2", "Product"): "board_name",
    ("Type2", "Version"): "board_version", ("Type3", "Manufacturer"): "chassis_vendor",
    ("Type3", "Version"): "chassis_version",
}


def tool(*command, may_fail=False):
    """A tool's output as text; wmic writes UTF-16 with a byte-order mark into a pipe."""
    done = subprocess.run(command, capture_output=True, timeout=300)
    if done.returncode != 0 and not may_fail:
        why = done.stderr.decode(errors="replace")[:300]
        raise RuntimeError(f"{' '.join(command)} failed: {why}")
    out = done.stdout
    if out.startswith(b"\xff\xfe"):
        return out[2:].decode("utf-16-le", errors="replace")
    return out.decode(errors="replace")


def adapters_by_name(report):
    """report_adapters keyed by the interface name: the AdapterName on Linux, the Description
    under Wine (whose AdapterName is a GUID), with Wine's 0.0.0.0 for "none" left out."""
    names = dict(re.findall(r"^  AdapterName = \[(.*)\]\n  Description = \[(.*)\]$", report, re.M))
    out = {}
    for name, a in cmp.report_adapters(report).items():
        out[names.get(name, name) if name.startswith("{") else name] = {
            "mac": a["mac"],
            "ipv4": [p for p in a["ipv4"] if p[0] != "0.0.0.0"],
            "gateways": [g for g in a["gateways"] if g != "0.0.0.0"],
        }
    return out


def value(report, label):
    m = re.search(rf"^ {re.escape(label)} = \[(.*)\]$", report, re.M)
    return m.group(1) if m else None


def checks(report, wine):
    out = [("memory", cmp.compare_memory(report, Path("/proc/meminfo").read_text()))]
    want = cmp.ip_adapters(json.loads(tool("ip", "-j", "addr")),
                           json.loads(tool("ip", "-j", "route")))
    got = adapters_by_name(report)
    out.append(("adapters", [] if got == want else [("Net Adapter", got, want)]))
    for label, theirs in (("Dns Hostname", tool("hostname").strip()),
                          ("UserName", tool("id", "-un").strip()),
                          ("Vendor String", re.search(r"^Vendor ID:\s+(.*)$", tool("lscpu"),
                                                      re.M).group(1).strip())):
        ours = value(report, label)
        out.append((label, [] if ours == theirs else [(label, ours, theirs)]))
    if wine:
        strings = cmp.smbios_strings(report)
        diff = []
        for key, name in DMI_FILES.items():
            path = Path("/sys/class/dmi/id") / name
            theirs = path.read_text(errors="replace").strip() if path.exists() else ""
            if strings.get(key, "") != theirs:
                diff.append((f"{key[0]} {key[1]}", strings.get(key), theirs))
        out.append(("SM-BIOS", diff))
    else:
        lspci = tool("lspci", "-D", "-n", "-k")
        out.append(("controllers", cmp.compare_controllers(report, lspci)))
        out.append(("controller names",
                    cmp.compare_controller_names(report, tool("lspci", "-D", "-nn", "-vmm"))))
        # lsusb fails when the machine has no USB bus at all: no devices on either side then.
        out.append(("USB", cmp.compare_usb(report, tool("lsusb", "-v", may_fail=True))))
    return out


def main():
    ap = argparse.ArgumentParser(description=__doc__)
    ap.add_argument("--tarvikdorn")
    ap.add_argument("--wine-cli")
    ap.add_argument("--simulate")
    a = ap.parse_args()
    wine = shutil.which("wine64") or shutil.which("wine")
    needed = ["ip", "hostname", "id", "lscpu"] + ([] if a.wine_cli else ["lspci", "lsusb"])
    missing = [t for t in needed if not shutil.which(t)]
    if a.wine_cli and not wine:
        missing.append("wine")
    if missing:
        print(f"SKIP: not installed: {', '.join(missing)}")
        return SKIP
    with tempfile.TemporaryDirectory(prefix="tvd-report-host-") as tmp:
        sim = Path(tmp) / "sim"
        out = Path(tmp) / "report.log"
        if a.wine_cli:
            shutil.copytree(a.simulate, sim)  # the simulation may write its drives' state
            as_wine = lambda p: "Z:" + str(p).replace("/", "\\")
            command = [wine, a.wine_cli, "--simulate", as_wine(sim), "report", "--output",
                       as_wine(out)]
        else:
            command = [a.tarvikdorn, "report", "--output", str(out)]
        done = subprocess.run(command, capture_output=True, timeout=600)
        if done.returncode != 0 or not out.exists():
            print(f"FAIL: {' '.join(command)} exited {done.returncode}: "
                  f"{done.stderr.decode(errors='replace')[-500:]}", file=sys.stderr)
            return 1
        data = out.read_bytes()
    report = data[2:].decode("utf-16-le", errors="replace").replace("\r\n", "\n")
    results = [("file format", cmp.check_file_format(data))] + checks(report, bool(a.wine_cli))
    if a.wine_cli:
        caption = [l.strip() for l in tool(wine, "wmic", "os", "get", "Caption").splitlines()
                   if l.strip()][1:2]
        ours = value(report, "OS Name")
        results.append(("OS Name", [] if [ours] == caption else [("OS Name", ours, caption)]))
        # The true version, as cmd's ver shows it ("Microsoft Windows 6.1.7601").
        ver = re.search(r"(\d+\.\d+\.\d+)", tool(wine, "cmd", "/c", "ver"))
        ours = re.search(r"^  Version = \[(.*)\]$", report, re.M)
        got, want = (ours.group(1) if ours else None), (ver.group(1) if ver else None)
        results.append(("Version", [] if got == want else [("Version", got, want)]))
    failed = [(n, d) for n, d in results if d]
    for name, diff in results:
        print(f"{name}: {'agrees' if not diff else diff}")
    if failed:
        print("FAIL: report and host tools differ: " + "; ".join(n for n, _ in failed),
              file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
