#!/usr/bin/env python3
"""The benchmark's four rates beside fio doing the same thing on the same file system, in one run.

    bench/benchmark_vs_fio.py [--tarvikdorn build/linux/tarvikdorn] [--dir DIR] [--size-mib N]
                              [--passes P]

Our measurements and their fio twins:
  sequential read   1 MiB requests, 8 in flight            fio rw=read bs=1m iodepth=8
  random read       4 KiB at the start of each MiB, 32 in  fio rw=randread bs=4k ba=1m iodepth=32,
                    flight, going round for one second         time_based runtime=1
  sequential write  as sequential read, O_DSYNC            fio rw=write ... sync=dsync
  random write      as random read, O_DSYNC                fio rw=randwrite ... sync=dsync
All with direct I/O through io_uring; each side's best of P passes. Prints the rates and the
ratios ours / fio (the target is within 10 %)."""

import argparse
import json
import os
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

TOP = Path(__file__).resolve().parent.parent
FIO_JOBS = [
    ("sequentialRead", "Sequential read", ["--rw=read", "--bs=1m", "--iodepth=8"], "read"),
    ("randomRead", "Random read",
     ["--rw=randread", "--bs=4k", "--blockalign=1m", "--iodepth=32", "--time_based", "--runtime=1",
      "--norandommap", "--randrepeat=0"], "read"),
    ("sequentialWrite", "Sequential write", ["--rw=write", "--bs=1m", "--iodepth=8", "--sync=dsync"],
     "write"),
    ("randomWrite", "Random write",
     ["--rw=randwrite", "--bs=4k", "--blockalign=1m", "--iodepth=32", "--time_based",
      "--runtime=1", "--norandommap", "--randrepeat=0", "--sync=dsync"], "write"),
]


def fio_rate(fio, path, size, args, direction):
    out = subprocess.run([fio, "--name=peer", f"--filename={path}", f"--size={size}",
                          "--direct=1", "--ioengine=io_uring", "--output-format=json", *args],
                         check=True, capture_output=True, text=True).stdout
    job = json.loads(out)["jobs"][0][direction]
    return job["bw_bytes"] / 1e6


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--tarvikdorn", default=str(TOP / "build" / "linux" / "tarvikdorn"))
    ap.add_argument("--dir", help="a folder on the file system to test (default: a new temporary one)")
    ap.add_argument("--size-mib", type=int, default=1024)
    ap.add_argument("--passes", type=int, default=3)
    a = ap.parse_args()
    fio = shutil.which("fio")
    if not fio:
        sys.exit("fio is not installed (scripts/setup.sh installs it)")
    base = Path(a.dir) if a.dir else Path(tempfile.mkdtemp(prefix="tvdbench-", dir="/var/tmp"))
    size = a.size_mib << 20
    try:
        r = subprocess.run([a.tarvikdorn, "--json", "benchmark", str(base), "--size",
                            f"{a.size_mib}M", "--passes", str(a.passes)],
                           capture_output=True, text=True)
        if r.returncode != 0:
            sys.exit(f"tarvikdorn benchmark failed ({r.returncode}): {r.stdout}{r.stderr}")
        ours = json.loads(r.stdout)
        peer_file = base / "fio-peer.tmp"
        peers = {}
        for key, _, args, direction in FIO_JOBS:
            peers[key] = max(fio_rate(fio, peer_file, size, args, direction) for _ in range(a.passes))
        peer_file.unlink(missing_ok=True)
    finally:
        if not a.dir:
            shutil.rmtree(base, ignore_errors=True)
    print(f"volume {base} ({os.statvfs(TOP).f_bsize} B blocks), test file {a.size_mib} MiB, "
          f"best of {a.passes}, requests by {ours['method']}")
    print(f"{'':18}{'tarvikdorn':>12}{'fio':>12}{'ratio':>8}")
    for key, name, _, _ in FIO_JOBS:
        mine = ours["megabytesPerSecond"][key]
        print(f"{name:18}{mine:>9.1f} MB/s{peers[key]:>7.1f} MB/s{mine / peers[key]:>8.2f}")


if __name__ == "__main__":
    main()
