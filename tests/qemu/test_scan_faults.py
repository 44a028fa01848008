#!/usr/bin/env python3
"""qemu.scan_faults: in one boot of the faults profile, `tarvikdorn scan` on disks whose sector
BAD_SECTOR cannot be read (QEMU's blkdebug) must fail in the sample point holding that sector,
with the sectors of its failed read around it, where dd with direct reads fails too; a full scan
of a clean disk reads every byte; SIGINT stops a full scan as aborted (status 130)."""

import sys

sys.dont_write_bytecode = True

import guesttest
import harness
from guesttest import Failure


def check_bad(o, name, sector_size, mode_points):
    scan = o.json(f"scan-{name}")
    if o.rc(f"scan-{name}") != 1 or scan.get("result") != "failed":
        raise Failure(f"scan of {name}: status {o.rc(f'scan-{name}')}, {scan}")
    err = scan.get("error") or {}
    bad_byte = harness.BAD_SECTOR * 512
    first, last = err.get("firstSector"), err.get("lastSector")
    if first is None or not (first * sector_size <= bad_byte < (last + 1) * sector_size):
        raise Failure(f"{name}: the failed read {first}..{last} does not hold byte {bad_byte}")
    stride = scan["stride"]
    point = bad_byte // stride + 1
    if err.get("point") != point or scan.get("pointsRead") != point - 1:
        raise Failure(f"{name}: failed at point {err.get('point')} after {scan.get('pointsRead')}"
                      f" read, expected point {point}")
    if scan.get("points") != mode_points:
        raise Failure(f"{name}: {scan.get('points')} points")
    if err.get("code") in (None, 0):
        raise Failure(f"{name}: no error code")


def body():
    args = guesttest.parse_args(__doc__)
    res = guesttest.boot(args, "scan-faults.sh", profile="faults",
                         env={"BAD_SECTOR": harness.BAD_SECTOR})
    o = guesttest.Output(res.out)
    # The independent reading of the same spot.
    o.ok("dd-bad512-before")
    for name in ("dd-bad512-at", "dd-bad4k-at"):
        if o.rc(name) == 0:
            raise Failure(f"{name}: dd read the sector blkdebug should fail")
    check_bad(o, "bad512", 512, 1000)
    check_bad(o, "bad4k", 4096, 10000)

    size = int(o.ok("size-clean").strip()) * 512
    o.ok("scan-clean")
    clean = o.json("scan-clean")
    if clean.get("result") != "done" or clean.get("bytesRead") != size:
        raise Failure(f"clean full scan read {clean.get('bytesRead')} of {size} bytes: {clean}")

    if o.rc("abort-clean") != 130 or "aborted" not in o.text("abort-clean"):
        raise Failure(f"SIGINT: status {o.rc('abort-clean')}, {o.text('abort-clean')[:300]}")
    print(f"scan failed where dd does on both bad disks, read all {size} bytes of the clean one, "
          f"and stopped on SIGINT")


if __name__ == "__main__":
    sys.exit(guesttest.main(body))
