"""What the QEMU tests share: argument parsing, the skip and failure conventions, and reading
the guest's output files."""

import argparse
import json
import sys
from pathlib import Path

import harness


class Failure(Exception):
    pass


def parse_args(description):
    ap = argparse.ArgumentParser(description=description)
    ap.add_argument("--tarvikdorn", required=True, help="the tool built for this machine")
    ap.add_argument("--artifacts", required=True, help="folder for the guest's output")
    ap.add_argument("--cache", default=str(harness.DEFAULT_CACHE))
    ap.add_argument("--timeout", type=float, default=300)
    ap.add_argument("-v", "--verbose", action="store_true")
    return ap.parse_args()


def main(body):
    """Runs a test body: 0 when it passes, 77 on Skip, 1 with the reason on Failure."""
    try:
        body()
    except harness.Skip as e:
        print(f"SKIP: {e}")
        return harness.EXIT_SKIP
    except (Failure, harness.HarnessError) as e:
        print(f"FAIL: {e}", file=sys.stderr)
        return 1
    return 0


def boot(args, commands, files=(), profile="storage", env=None, binaries=()):
    """`binaries`: further host programs for the guest (with their libraries)."""
    harness.check_qemu()
    harness.prepare_assets(args.cache)
    run = harness.GuestRun(profile, harness.HERE / "commands" / commands, args.artifacts,
                           binaries=[args.tarvikdorn, *binaries], files=files, env=env,
                           timeout=args.timeout,
                           cache=args.cache, verbose=args.verbose)
    res = run.run()
    print(f"guest run: {res.wall_seconds:.1f} s, output in {res.out}")
    print(res.session_log, end="")
    if res.status != 0:
        why = res.out / "failures.txt"
        detail = ":\n" + why.read_text() if why.exists() else ""
        raise Failure(f"the guest commands ended with status {res.status}{detail}")
    return res


class Output:
    """The files `run NAME ...` left: NAME.out, NAME.err, NAME.rc."""

    def __init__(self, folder):
        self.folder = Path(folder)

    def rc(self, name):
        p = self.folder / f"{name}.rc"
        if not p.exists():
            raise Failure(f"the guest did not run {name}")
        return int(p.read_text().strip())

    def text(self, name, stream="out"):
        return (self.folder / f"{name}.{stream}").read_text(errors="replace")

    def json(self, name):
        try:
            return json.loads(self.text(name))
        except ValueError as e:
            raise Failure(f"{name}: output is not JSON ({e}); see {self.folder / (name + '.out')}")

    def ok(self, name):
        """The command's output, after checking that it succeeded."""
        rc = self.rc(name)
        if rc != 0:
            raise Failure(f"{name} failed with status {rc}: {self.text(name, 'err').strip()[:500]}")
        return self.text(name)

    def unknown_command(self, name, command):
        """True when the tool rejected `command` as one it does not have (yet)."""
        return self.rc(name) == 2 and f"unknown command {command}" in self.text(name, "err")
