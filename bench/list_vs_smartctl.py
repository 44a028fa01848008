#!/usr/bin/env python3
"""`tarvikdorn list` (every drive opened, identified and its SMART read) beside `smartctl -a` on
each of the same drives, in one boot of the QEMU harness's storage profile. Goal: our time over
theirs at 1.0 or below.

    bench/list_vs_smartctl.py [--tarvikdorn build/linux/tarvikdorn] [--rounds 5]

Both sides run in the same guest, alternating, so the emulator's speed cancels out of the
ratio; the first round of each warms the guest's caches and is left out."""

import argparse
import statistics
import sys
import tempfile
from pathlib import Path

TOP = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(TOP / "tests" / "qemu"))
sys.dont_write_bytecode = True

import harness  # noqa: E402

COMMANDS = r"""
now() { read -r up _ </proc/uptime; echo "${up%.*}${up#*.}0"; } # milliseconds, 10 ms steps
drives=$(for b in /sys/block/sd* /sys/block/nvme*n*; do [ -e "$b" ] && echo "/dev/${b##*/}"; done)
echo "$drives" >"$out/drives.txt"
tarvikdorn --json list >"$out/list.json" 2>"$out/list.err"
echo $? >"$out/list.rc"
i=0
while [ $i -le "$ROUNDS" ]; do
    t0=$(now)
    tarvikdorn list >/dev/null 2>&1
    t1=$(now)
    for d in $drives; do smartctl -a "$d" >/dev/null 2>&1; done
    t2=$(now)
    echo "$((t1 - t0)) $((t2 - t1))" >>"$out/times.txt"
    i=$((i + 1))
done
true
"""


def main():
    ap = argparse.ArgumentParser(description=__doc__,
                                 formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--tarvikdorn", default=str(TOP / "build" / "linux" / "tarvikdorn"))
    ap.add_argument("--rounds", type=int, default=5)
    ap.add_argument("--cache", default=str(harness.DEFAULT_CACHE))
    a = ap.parse_args()
    harness.check_qemu()
    harness.prepare_assets(a.cache)
    work = Path(tempfile.mkdtemp(prefix="tvdlist-"))
    commands = work / "commands.sh"
    commands.write_text(COMMANDS)
    run = harness.GuestRun("storage", commands, work / "out", binaries=[a.tarvikdorn],
                           env={"ROUNDS": str(a.rounds)}, timeout=900, cache=a.cache)
    res = run.run()
    if res.status != 0:
        sys.exit(f"guest commands failed ({res.status}); see {res.out}")
    rows = [tuple(int(x) for x in line.split())
            for line in (res.out / "times.txt").read_text().splitlines()][1:]
    drives = (res.out / "drives.txt").read_text().split()
    ours = statistics.median(r[0] for r in rows)
    theirs = statistics.median(r[1] for r in rows)
    print(f"{len(drives)} drives: {' '.join(drives)}; {len(rows)} rounds after a warm-up")
    print(f"tarvikdorn list       median {ours:6d} ms")
    print(f"smartctl -a per drive median {theirs:6d} ms")
    print(f"ratio (ours / theirs) {ours / theirs:.2f}  (goal <= 1.0)" if theirs else "no peer time")
    print(f"guest output: {res.out}")


if __name__ == "__main__":
    main()
