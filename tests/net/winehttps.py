#!/usr/bin/env python3
"""Runs the Windows test program's WinHTTP tests under Wine against the local HTTPS server:
makes the certificates, starts the server, names its folder in TVD_HTTPS_TEST_DIR.
Usage: winehttps.py build/windows/tests/tvdtests.exe [wine prefix]"""
import json
import os
import subprocess
import sys
import tempfile
import time
from pathlib import Path

here = Path(__file__).resolve().parent


def main():
    exe = Path(sys.argv[1]).resolve()
    prefix = sys.argv[2] if len(sys.argv) > 2 else str(exe.parent.parent / "wineprefix")
    with tempfile.TemporaryDirectory(prefix="tvdwinehttps") as d:
        subprocess.run([sys.executable, here / "makecerts.py", d], check=True)
        (Path(d) / "routes.json").write_text("{}")
        server = subprocess.Popen([sys.executable, here / "httpsserver.py", d], stdin=subprocess.PIPE)
        try:
            for _ in range(200):
                if (Path(d) / "ports.json").exists():
                    break
                time.sleep(0.05)
            env = dict(os.environ, TVD_HTTPS_TEST_DIR=d, WINEPREFIX=prefix, WINEDEBUG="-all",
                       WINEDLLOVERRIDES="mscoree,mshtml=")
            r = subprocess.run(["wine", str(exe), "--gtest_filter=WinHttpLocal.*"], env=env)
            return r.returncode
        finally:
            server.stdin.close()
            server.wait(timeout=10)


if __name__ == "__main__":
    sys.exit(main())
