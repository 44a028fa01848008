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


def run_cli(cli, folder, env):
    """The command-line tool's update-check through WinHTTP (the test CA is in the prefix's store
    by now), on a simulated drive; the outcomes and exit statuses as on Linux."""
    port = json.loads((folder / "ports.json").read_text())["good"]
    sim = folder / "sim"
    sim.mkdir()
    (sim / "a-ssd.drive").write_text("[Drive]\nModel=Flash Disk\nSerial=FL-2\nFirmware=FL02\nBus=NVMe\n")
    bom = "\xef\xbb\xbf"  # the server sends bodies as latin-1: these are the BOM bytes
    cases = [
        ("/ssd_api/tarvikdornFwUpdate",
         bom + '{"statuscode":"Y","successcode":"Y002","url":"https://localhost/d/Fw.exe"}',
         ["update-check", "a-ssd"], 0, '"updateAvailable": true'),
        ("/ssd_api/tarvikdornFwUpdate", bom + '{"statuscode":"N","errorcode":"S001"}',
         ["update-check", "a-ssd"], 1, "Token cannot be blank or false.(S001)"),
        ("/storage/ssd/api/tarvik.json", '{"Software":{"Tarvik":{"version":50208}}}',
         ["update-check", "--tool"], 0, '"status": "up to date"'),
        ("/storage/ssd/api/tarvik.json", '{"Software":{"Tarvik":{"version":50300,"download":"https://localhost/t.exe"}}}',
         ["update-check", "--tool"], 0, '"url": "https://localhost/t.exe"'),
    ]
    failures = 0
    for path, body, args, status, expected in cases:
        (folder / "routes.json").write_text(json.dumps({path: {"status": 200, "body": body}}))
        r = subprocess.run(["wine", str(cli), "--json", *args, "--service", f"https://localhost:{port}",
                            "--simulate", "Z:" + str(sim)], env=env, capture_output=True, text=True)
        ok = r.returncode == status and expected in r.stdout
        print(("ok  " if ok else "FAIL"), " ".join(args), "->", r.returncode)
        if not ok:
            print(r.stdout, r.stderr)
            failures += 1
    # --open goes to the user's desktop shell, never to a browser started from this process:
    # either that shell opens it, or the tool says there is none and opens nothing.
    (folder / "routes.json").write_text(json.dumps({"/storage/ssd/api/tarvik.json": {
        "status": 200,
        "body": '{"Software":{"Tarvik":{"version":50300,"download":"https://localhost/t.exe"}}}'}}))
    stub = folder / "bin"
    stub.mkdir()
    record = folder / "xdg-open.args"
    (stub / "xdg-open").write_text(f'#!/bin/sh\nprintf "%s\\n" "$@" >> "{record}"\n')
    (stub / "xdg-open").chmod(0o755)
    open_env = dict(env, PATH=f"{stub}:{env.get('PATH', '')}")
    # The desktop shell keeps the environment it started with: start it afresh with the stub.
    subprocess.run(["wineserver", "-k"], env=env)
    subprocess.run(["wineserver", "-w"], env=env)
    r = subprocess.run(["wine", str(cli), "update-check", "--tool", "--open", "--service",
                        f"https://localhost:{port}"], env=open_env, capture_output=True, text=True)
    # Wine's shell hands the page to the host's browser (winebrowser, then xdg-open).
    for _ in range(300):  # the desktop shell starts first on a fresh server
        if record.exists():
            break
        time.sleep(0.1)
    opened = r.returncode == 0 and record.exists() and \
        record.read_text().split() == ["https://localhost/t.exe"]
    refused = r.returncode == 1 and "no desktop shell" in r.stderr
    print(("ok  " if opened or refused else "FAIL"), "--open ->", r.returncode,
          "opened by the desktop shell" if opened else r.stderr.strip()[-120:])
    if not (opened or refused):
        failures += 1
    r = subprocess.run(["wine", str(cli), "update-check", "--tool", "--ca-file", "x.pem", "--service",
                        f"https://localhost:{port}"], env=env, capture_output=True, text=True)
    ok = r.returncode == 4 and "not supported on this platform" in r.stderr
    print(("ok  " if ok else "FAIL"), "--ca-file on Windows ->", r.returncode)
    return 1 if failures or not ok else 0


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
            if r.returncode != 0:
                return r.returncode
            return run_cli(exe.parent.parent / "tarvikdorn-cli.exe", Path(d), env)
        finally:
            server.stdin.close()
            server.wait(timeout=10)


if __name__ == "__main__":
    sys.exit(main())
