#!/usr/bin/env python3
"""Full-scan read throughput on a loop device beside fio and dd reading the same device the same
way (one request at a time, direct I/O, the scan's piece size), in one run. Needs root.

    sudo bench/scan_vs_fio.py [--tarvikdorn build/linux/tarvikdorn] [--size-gib 4]

A full scan of a drive below 156 GiB reads the whole disk in 10000 strides, each one read whole
(in pieces of at most 4 MiB), so its peer is a sequential read of the device with that block
size at queue depth 1. The loop device reads its backing file with direct I/O, so the figures
are the machine's disk, not its page cache. Target: the scan at 95 % of fio or better."""

import argparse
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

TOP = Path(__file__).resolve().parent.parent


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--tarvikdorn", default=str(TOP / "build" / "linux" / "tarvikdorn"))
    ap.add_argument("--size-gib", type=int, default=4)
    a = ap.parse_args()
    if os.geteuid() != 0:
        sys.exit("loop devices need root")
    fio = shutil.which("fio")
    if not fio:
        sys.exit("fio is not installed (scripts/setup.sh installs it)")
    work = Path(tempfile.mkdtemp(prefix="tvdscan-", dir="/var/tmp"))
    image = work / "disk.img"
    size = a.size_gib << 30
    # Written, not sparse: holes would read as fast as memory.
    subprocess.run(["dd", "if=/dev/urandom", f"of={image}", "bs=4M", f"count={size >> 22}",
                    "status=none"], check=True)
    loop = subprocess.run(["losetup", "--find", "--show", "--direct-io=on", str(image)],
                          check=True, capture_output=True, text=True).stdout.strip()
    try:
        env = dict(os.environ, TARVIKDORN_LIST_LOOP="1")
        r = subprocess.run([a.tarvikdorn, "--json", "scan", loop, "--full"], env=env,
                           capture_output=True, text=True)
        if r.returncode != 0:
            sys.exit(f"tarvikdorn scan failed ({r.returncode}): {r.stdout}{r.stderr}")
        scan = json.loads(r.stdout)
        piece = min(scan["stride"], 4 << 20)
        ours = scan["bytesRead"] / 1e6 / scan["seconds"]
        out = subprocess.run([fio, "--name=peer", f"--filename={loop}", "--rw=read", f"--bs={piece}",
                              "--iodepth=1", "--direct=1", "--ioengine=psync", "--readonly",
                              "--output-format=json"], check=True, capture_output=True, text=True)
        peer = json.loads(out.stdout)["jobs"][0]["read"]["bw_bytes"] / 1e6
        dd = subprocess.run(["dd", f"if={loop}", "of=/dev/null", f"bs={piece}", "iflag=direct"],
                            capture_output=True, text=True).stderr
        m = re.search(r"copied, ([0-9.]+) s", dd)
        dd_rate = size / 1e6 / float(m.group(1)) if m else float("nan")
    finally:
        subprocess.run(["losetup", "-d", loop])
        shutil.rmtree(work, ignore_errors=True)
    print(f"loop device over a {a.size_gib} GiB file (direct I/O), pieces of {piece} bytes, QD 1")
    print(f"tarvikdorn scan --full {ours:9.1f} MB/s")
    print(f"fio rw=read            {peer:9.1f} MB/s   ratio {ours / peer:.2f}")
    print(f"dd iflag=direct        {dd_rate:9.1f} MB/s   ratio {ours / dd_rate:.2f}")


if __name__ == "__main__":
    main()
