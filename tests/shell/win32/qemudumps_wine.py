#!/usr/bin/env python3
"""The Drive Information page and both drive windows on drives dumped from QEMU's emulated SATA
and NVMe disks (tests/qemu/data/dumps, written by qemu.identify_vs_tools with `tarvikdorn dump`
beside the tools' answers from the same boot). Every expected value is taken from what smartctl,
nvme-cli and hdparm made of those drives:

- the frames: model, firmware, serial, WWN or EUI-64, capacity, bytes written, health,
  temperature and remaining life, and the gauges' cover angles;
- the S.M.A.R.T. window: each ATA attribute's id, threshold, value, worst and raw value against
  `smartctl -x -j`; each NVMe health-log field against two reads of `nvme smart-log` made before
  and after the dump;
- the details window: every IDENTIFY DEVICE word against `smartctl --identify=wn`, model, serial,
  firmware, LBA48 count, sector size, WWN and rotation rate against `hdparm --Istdin` fed the
  words smartctl printed, and the controller's fields and power states against `nvme id-ctrl`.

Run inside an X server (xvfb-run -a -s "-screen 0 1600x1000x24"), like mainwindow_wine.py.
"""
import argparse
import json
import os
import re
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "..", "qemu"))
sys.dont_write_bytecode = True  # no __pycache__ beside the sources
import compare_fields_tools  # noqa: E402
from compare_smart_tools import NVME_FIELDS  # noqa: E402
from drivedetail_wine import NVME_RAW, open_detail, rows_of  # noqa: E402
from mainwindow_wine import (Failure, Program, check, check_gauge, control, f32, is_smart,  # noqa: E402
                             run_scenarios, started, window, xdo)

# The formatted IDENTIFY DEVICE fields and their codes, from the words' layout.
ATA_FORMATS = {(1, 1): "w", (3, 3): "w", (6, 6): "w", (10, 19): "s", (23, 26): "s", (27, 46): "s",
               (54, 54): "w", (55, 55): "w", (56, 56): "w", (57, 58): "d", (60, 61): "d",
               (65, 65): "w", (66, 66): "w", (67, 67): "w", (68, 68): "w", (100, 103): "q",
               (108, 111): "h", (117, 118): "d", (217, 217): "w"}
NVME_TEXT = {"SN", "MN", "FR", "SUBNQN"}
DEGREE = "\u00b0"


class Dumps:
    """The stored dump set: the two drive files and the tools' answers."""

    def __init__(self, folder):
        self.folder = folder

    def text(self, name):
        path = os.path.join(self.folder, name)
        check(os.path.exists(path), "the dump set lacks %s" % name)
        return open(path, encoding="utf-8", errors="replace").read()

    def json(self, name):
        try:
            return json.loads(self.text(name))
        except ValueError as e:
            raise Failure("%s is not JSON: %s" % (name, e))


def size_rounded(n):
    """The capacity line's size: single-precision steps up to TB, no decimals."""
    if n == 0:
        return "0 Byte"
    if n < 1024:
        return "%d Bytes" % n
    v, unit = f32(f32(float(n)) / 1024.0), 0
    while v >= 1024.0 and unit < 3:
        v, unit = f32(v / 1024.0), unit + 1
    return "%.f %s" % (v, ["KB", "MB", "GB", "TB"][unit])


def written_line(gib):
    if gib is None:
        return "Total Bytes Written: N/A"
    return "Total Bytes Written: %dGB" % gib if gib < 1000 else "Total Bytes Written: %.2fTB" % (gib / 1000)


def number(v):
    """nvme-cli writes its 128-bit counters as decimal strings."""
    return int(v) if isinstance(v, str) and v.strip().isdigit() else v


def hdparm_of(words, folder):
    """hdparm's own decoding of the IDENTIFY DEVICE words smartctl printed."""
    path = os.path.join(folder, "identify-words.txt")
    with open(path, "w") as f:
        f.write(" ".join("%04x" % w for w in words) + "\n")
    with open(path) as f:
        r = subprocess.run([HDPARM, "--Istdin"], stdin=f, capture_output=True, text=True)
    check(r.returncode == 0 and r.stdout, "hdparm --Istdin failed: %s" % r.stderr)
    return r.stdout


def after(out, label):
    for line in out.splitlines():
        if label in line:
            return line.split(label, 1)[1].strip()
    return ""


def decimal(value):
    m = re.search(r"\((-?[0-9]+)\)", value)
    return m.group(1) if m else ""


# --- what the tools say ----------------------------------------------------------------------

# Failure counts: reallocated sectors, spin retries, end-to-end errors, reallocation events,
# pending and uncorrectable sectors, data address marks.
FAILURE_COUNTS = {5, 10, 184, 196, 197, 198, 201}


def ata_life(table, names):
    """The remaining life an ATA drive shows: without a wear or life attribute (smartctl names
    them), the health left by its failure counts, whole when every count smartctl shows is 0;
    none without any count."""
    if re.search(r"Wear|Life|Perc|Endurance", names):
        return "any"
    counts = [a["raw"]["value"] & 0xFFFFFFFF for a in table if a["id"] in FAILURE_COUNTS]
    if not counts:
        return None
    return {100} if not any(counts) else "any"


def ata_expected(dumps):
    x = dumps.json("smartctl-x-sata1.json")
    wwn = x.get("wwn")
    table = (x.get("ata_smart_attributes") or {}).get("table") or []
    check(table, "smartctl -x lists no attributes")
    names = " ".join(a.get("name", "") for a in table)
    return {
        "model": x["model_name"], "firmware": x["firmware_version"], "serial": x["serial_number"],
        "line4": "WWN: " + ("%016X" % (wwn["naa"] << 60 | wwn["oui"] << 36 | wwn["id"]) if wwn else "N/A"),
        "capacity": x["user_capacity"]["bytes"],
        "passed": (x.get("smart_status") or {}).get("passed"),
        "temperatures": {(x.get("temperature") or {}).get("current")},
        "life": ata_life(table, names),
        # smartctl names the attributes: without a host-writes one there is no written figure.
        "written": None if not re.search(r"Written|Writes", names) else "any",
        "table": table,
    }


def nvme_expected(dumps):
    ctrl = dumps.json("nvme-id-ctrl.json")
    ns = dumps.json("nvme-id-ns.json")
    logs = [dumps.json("nvme-smart-log-before.json"), dumps.json("nvme-smart-log-after.json")]
    x = dumps.json("smartctl-x-nvme1.json")
    lbaf = ns["lbafs"][ns["flbas"] & 0xF]
    eui = ns.get("eui64", "0" * 16)
    gib = sorted(number(g["data_units_written"]) * 1000 >> 21 for g in logs)
    return {
        "model": ctrl["mn"].strip(), "firmware": ctrl["fr"].strip(), "serial": ctrl["sn"].strip(),
        "line4": "EUI64: " + (eui.upper() if int(eui, 16) else "N/A"),
        "capacity": ns["nsze"] << lbaf["ds"],
        "passed": (x.get("smart_status") or {}).get("passed") and
        all(number(g["critical_warning"]) == 0 for g in logs),
        "temperatures": {number(g["temperature"]) - 273 for g in logs if number(g["temperature"])},
        "life": {100 - number(g["percent_used"]) for g in logs},
        "written": gib,
        "logs": logs, "ctrl": ctrl,
    }


# --- the page --------------------------------------------------------------------------------

def frames_by_model(main):
    """Visible drive frames by the model their first identity line shows."""
    frames = {}
    for c in main["controls"]:
        if c["class"] == "TclDiskFrame" and c["visible"]:
            frames[c["name"]] = {"": c}
    for c in main["controls"]:
        head, _, rest = c["name"].partition(".")
        if head in frames and rest:
            frames[head][rest] = c
    return {f["Line1"]["text"][len("Model: "):]: f for f in frames.values() if "Line1" in f}


def check_frame(f, want, what):
    lines = [f["Line%d" % i]["text"] for i in range(1, 7)]
    check(lines[0] == "Model: " + want["model"], "%s line 1 %r" % (what, lines[0]))
    check(lines[1] == "Firmware version: " + want["firmware"], "%s line 2 %r" % (what, lines[1]))
    check(lines[2] == "Serial number: " + want["serial"], "%s line 3 %r" % (what, lines[2]))
    check(lines[3] == want["line4"], "%s line 4 %r, the tools: %r" % (what, lines[3], want["line4"]))
    check(lines[4] == "Capacity: " + size_rounded(want["capacity"]),
          "%s line 5 %r for %d bytes" % (what, lines[4], want["capacity"]))
    written = want["written"]
    if written is None:
        check(lines[5] == written_line(None), "%s line 6 %r" % (what, lines[5]))
    elif written != "any":
        ok = {written_line(g) for g in range(written[0], written[1] + 1)} if written[1] - written[0] < 100 else None
        check(ok is None or lines[5] in ok, "%s line 6 %r, the tools %s GiB" % (what, lines[5], written))
    health = f["Health.value"]["text"]
    if want["passed"]:
        check(health == "Good" and f["Health.back"]["picture"] == "IMG_CIRCLE_BACK_BLUE",
              "%s health %s on %s" % (what, health, f["Health.back"]["picture"]))
    elif want["passed"] is False:
        check(health == "Bad", "%s health %s though the drive failed its status" % (what, health))
    temps = {t for t in want["temperatures"] if t is not None}
    t = f["Temperature.value"]["text"]
    if temps:
        check(t in {"%d %sC" % (x, DEGREE) for x in temps}, "%s temperature %r, the tools %s" % (what, t, temps))
        check_gauge(f, "Temperature", int(t.split()[0]))
    else:
        check(t == "N/A", "%s temperature %r where the tools show none" % (what, t))
    life = f["Life.value"]["text"]
    if want["life"] is None:
        check(life == "N/A", "%s life %r where the tools show none" % (what, life))
        check_gauge(f, "Life", 0)
    elif want["life"] != "any":
        check(life in {"%d %%" % v for v in want["life"]}, "%s life %r, the tools %s" % (what, life, want["life"]))
        check_gauge(f, "Life", int(life.split()[0]))
    check(f["SmartButton"]["enabled"], "%s S.M.A.R.T. button disabled" % what)


def wait_for_values(p, models):
    """The monitor reads SMART on the ticks after the start: wait until both frames show it."""
    deadline = time.time() + 30
    while True:
        d = p.dump("page")
        frames = frames_by_model(window(d, "TFormTarvikdornMain"))
        if all(m in frames for m in models) and all(
                frames[m]["Health.value"]["text"] != "N/A" for m in models):
            return d, frames
        check(time.time() < deadline, "the frames show no SMART values: %s" % sorted(frames))
        time.sleep(0.5)


# --- the S.M.A.R.T. window -------------------------------------------------------------------

def open_smart(p, model):
    main = window(p.dump("before-smart"), "TFormTarvikdornMain")
    r = frames_by_model(main)[model]["SmartButton"]["rect"]
    xdo("mousemove", main["clientOrigin"]["x"] + r["left"] + r["width"] // 2,
        main["clientOrigin"]["y"] + r["top"] + r["height"] // 2)
    time.sleep(0.2)
    xdo("click", "1")
    deadline = time.time() + 20
    while time.time() < deadline:
        for w in p.dump("smart")["windows"]:
            if is_smart(w) and control(w, "Header")["text"].endswith(model):
                return w
        time.sleep(0.5)
    raise Failure("no S.M.A.R.T. window for " + model)


def close_smart(p, w):
    close = control(w, "CloseButton")["rect"]
    xdo("mousemove", w["clientOrigin"]["x"] + close["left"] + close["width"] // 2,
        w["clientOrigin"]["y"] + close["top"] + close["height"] // 2)
    time.sleep(0.2)
    xdo("click", "1")
    deadline = time.time() + 10
    while any(is_smart(x) for x in p.dump("smart-closed")["windows"]):
        check(time.time() < deadline, "the close button left the S.M.A.R.T. window open")
        time.sleep(0.5)


def check_smart_ata(w, table):
    view = control(w, "SmartAtaView")
    check(view["visible"] and not control(w, "SmartNvmeView")["visible"], "ATA view not shown")
    rows = view["extra"]["rows"]
    check([r[0] for r in rows] == ["%02X" % a["id"] for a in table],
          "attribute ids %s, smartctl %s" % ([r[0] for r in rows], [a["id"] for a in table]))
    for r, a in zip(rows, table):
        want = ["%d" % a["thresh"], "%d" % a["value"], "%d" % a["worst"], "%016X" % a["raw"]["value"]]
        check(r[2:] == want, "attribute %02X: %s, smartctl %s" % (a["id"], r[2:], want))
        check(r[1] != "", "attribute %02X has no name" % a["id"])


def check_smart_nvme(w, logs):
    view = control(w, "SmartNvmeView")
    check(view["visible"] and not control(w, "SmartAtaView")["visible"], "NVMe view not shown")
    rows = {r[0]: r for r in view["extra"]["rows"]}
    check(sorted(rows) == ["%02X" % i for i in NVME_FIELDS], "NVMe rows %s" % sorted(rows))
    for ident, key in NVME_FIELDS.items():
        r = rows["%02X" % ident]
        lo, hi = sorted(number(g[key]) for g in logs)
        check(r[1] != "", "row %02X has no name" % ident)
        check(lo <= int(r[2], 16) <= hi, "%s: %s, nvme smart-log %d before and %d after the dump"
              % (key, r[2], number(logs[0][key]), number(logs[1][key])))


# --- the details window ----------------------------------------------------------------------

def span(position):
    a, _, b = position.partition("..")
    return int(a), int(b or a)


def ata_fields(rows):
    out = []
    for r in rows:
        a, b = span(r[0])
        out.append({"position": r[0], "first": a, "last": b, "format": ATA_FORMATS.get((a, b), ""),
                    "value": r[1]})
    return {"kind": "ata", "rows": out}


def nvme_fields(rows):
    out = []
    for r in rows:
        fmt = "s" if r[1] in NVME_TEXT else "" if r[1] in NVME_RAW or not r[1] else "x"
        out.append({"position": r[0], "name": r[1], "format": fmt, "value": r[2]})
    return {"kind": "nvme", "rows": out}


def check_hdparm(rows, words, folder):
    out = hdparm_of(words, folder)
    at = {r[0]: r[1] for r in rows}
    for position, label in (("27..46", "Model Number:"), ("10..19", "Serial Number:"),
                            ("23..26", "Firmware Revision:")):
        check(at[position].strip() == after(out, label),
              "word %s %r, hdparm %r" % (position, at[position], after(out, label)))
    check(decimal(at["100..103"]) == after(out, "LBA48  user addressable sectors:"),
          "LBA48 %r, hdparm %r" % (at["100..103"], after(out, "LBA48  user addressable sectors:")))
    wwn = after(out, "Logical Unit WWN Device Identifier:")
    check(at["108..111"].lower() == wwn, "WWN %r, hdparm %r" % (at["108..111"], wwn))
    # Words 117-118 count words, and count only when word 106 says so; else 512 bytes.
    logical = 2 * int(decimal(at["117..118"])) if (words[106] & 0xD000) == 0x5000 else 512
    check(after(out, "Logical  Sector size:") == "%d bytes" % logical,
          "sector size %d, hdparm %r" % (logical, after(out, "Logical  Sector size:")))
    rpm = int(decimal(at["217"]))
    theirs = after(out, "Nominal Media Rotation Rate:")
    want = "Solid State Device" if rpm == 1 else str(rpm) if rpm > 1 else ""
    check(theirs == want, "rotation %d, hdparm %r" % (rpm, theirs))


def check_details(p, state, model, view, compare):
    index = next((i for i, e in enumerate(state["entries"]) if model in e), None)
    check(index is not None, "no selector entry for %s in %s" % (model, state["entries"]))
    _, w = open_detail(p, index, "detail-" + view)
    check(control(w, view)["visible"], "%s not shown" % view)
    rows = rows_of(w, view)
    diffs = compare(rows)
    check(not diffs, "the details window and the tools disagree:\n  " + "\n  ".join(diffs))
    check(p.request("closedetail")["ok"], "closedetail")
    return w, rows


# --- the scenario ----------------------------------------------------------------------------

def scenario_qemudumps(args):
    dumps = Dumps(args.dumps)
    ata, nvme = ata_expected(dumps), nvme_expected(dumps)
    identify = dumps.text("smartctl-identify-sata1.txt")
    folder = os.path.join(args.artifacts, "qemudumps-drives")
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    for name in ("sata1.drive", "nvme1.drive"):
        shutil.copy(os.path.join(args.dumps, name), folder)
    a = argparse.Namespace(**vars(args))
    a.sim = folder
    p = Program(a, "qemudumps")
    try:
        state = started(p)
        check(state["devices"] == 2, "%d devices" % state["devices"])
        d, frames = wait_for_values(p, [ata["model"], nvme["model"]])
        check_frame(frames[ata["model"]], ata, "sata1")
        check_frame(frames[nvme["model"]], nvme, "nvme1")
        main = window(d, "TFormTarvikdornMain")
        shutil.copy(os.path.join(p.ui, main["capture"]), os.path.join(args.artifacts, "qemudumps-page.png"))

        w = open_smart(p, ata["model"])
        check_smart_ata(w, ata["table"])
        shutil.copy(os.path.join(p.ui, w["capture"]), os.path.join(args.artifacts, "qemudumps-smart-ata.png"))
        close_smart(p, w)
        w = open_smart(p, nvme["model"])
        check_smart_nvme(w, nvme["logs"])
        shutil.copy(os.path.join(p.ui, w["capture"]), os.path.join(args.artifacts, "qemudumps-smart-nvme.png"))
        close_smart(p, w)

        words = compare_fields_tools.smartctl_words(identify)
        check(None not in words, "smartctl --identify printed only %d words" % (256 - words.count(None)))
        w, rows = check_details(p, state, ata["model"], "AtaView", lambda rows: compare_fields_tools.compare_ata(
            "sata1", ata_fields(rows), identify))
        check_hdparm(rows, words, p.dir)
        shutil.copy(os.path.join(p.ui, w["capture"]), os.path.join(args.artifacts, "qemudumps-detail-ata.png"))
        w, _ = check_details(p, state, nvme["model"], "NvmeView", lambda rows: compare_fields_tools.compare_nvme(
            "nvme1", nvme_fields(rows), nvme["ctrl"]))
        shutil.copy(os.path.join(p.ui, w["capture"]), os.path.join(args.artifacts, "qemudumps-detail-nvme.png"))
        p.request("close")
        check(p.wait_exit() == 0, "the program did not end cleanly")
    finally:
        p.stop()


HDPARM = shutil.which("hdparm") or shutil.which("hdparm", path="/usr/sbin:/sbin")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--exe", required=True)
    ap.add_argument("--dumps", required=True, help="the dump set (tests/qemu/data/dumps)")
    ap.add_argument("--artifacts", required=True)
    ap.add_argument("--prefix", required=True, help="the Wine prefix of these tests")
    ap.add_argument("--wine", default="wine")
    args = ap.parse_args()
    for k in ("exe", "dumps", "artifacts", "prefix"):
        setattr(args, k, os.path.abspath(getattr(args, k)))
    return run_scenarios(args, {"qemudumps": scenario_qemudumps}, (HDPARM or "hdparm",))


if __name__ == "__main__":
    sys.exit(main())
