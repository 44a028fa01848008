#!/usr/bin/env python3
"""The drive details window under Wine (docs/ui-test-mode.md): opened through the test mode for a
simulated ATA and a simulated NVMe drive, its rows asserted from the dump, its screenshots kept,
and its closing when the drive it shows is pulled.

Run inside an X server (xvfb-run -a -s "-screen 0 1600x1000x24"), like mainwindow_wine.py.
"""
import argparse
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from mainwindow_wine import (Failure, Program, check, check_scrolled_capture, control,  # noqa: E402
                             run_scenarios, scale, started, window)

# The field ranges, written here from the layout of the two structures, not from the program.
ATA_FIELDS = [
    (0, 0), (1, 1), (2, 2), (3, 3), (4, 5), (6, 6), (7, 8), (9, 9), (10, 19), (20, 21), (22, 22),
    (23, 26), (27, 46)] + [(w, w) for w in range(47, 51)] + [(51, 52)] + [
    (w, w) for w in range(53, 57)] + [(57, 58), (59, 59), (60, 61)] + [
    (w, w) for w in range(62, 71)] + [(71, 74)] + [(w, w) for w in range(75, 98)] + [
    (98, 99), (100, 103)] + [(w, w) for w in range(104, 108)] + [
    (108, 111), (112, 115), (116, 116), (117, 118), (119, 119), (120, 120), (121, 126), (127, 127),
    (128, 128), (129, 159), (160, 167), (168, 168), (169, 169), (170, 173), (174, 175), (176, 205),
    (206, 206), (207, 208), (209, 209), (210, 211), (212, 213), (214, 216)] + [
    (w, w) for w in range(217, 224)] + [(224, 229), (230, 233), (234, 234), (235, 235), (236, 254),
                                         (255, 255)]
ATA_FORMATTED = {(1, 1), (3, 3), (6, 6), (10, 19), (23, 26), (27, 46), (54, 54), (55, 55), (56, 56),
                 (57, 58), (60, 61), (65, 65), (66, 66), (67, 67), (68, 68), (100, 103), (108, 111),
                 (117, 118), (217, 217)}
NVME_FIELDS = [
    ("VID", 0, 1), ("SSVID", 2, 3), ("SN", 4, 23), ("MN", 24, 63), ("FR", 64, 71), ("RAB", 72, 72),
    ("IEEE", 73, 75), ("CMIC", 76, 76), ("MDTS", 77, 77), ("CNTLID", 78, 79), ("VER", 80, 83),
    ("RTD3R", 84, 87), ("RTD3E", 88, 91), ("OAES", 92, 95), ("CTRATT", 96, 99),
    ("Reserved", 100, 111), ("FGUID", 112, 127), ("Reserved", 128, 239), ("Reserved", 240, 255),
    ("OACS", 256, 257)] + [(n, 258 + i, 258 + i) for i, n in enumerate(
        ["ACL", "AERL", "FRMW", "LPA", "ELPE", "NPSS", "AVSCC", "APSTA"])] + [
    ("WCTEMP", 266, 267), ("CCTEMP", 268, 269), ("MTFA", 270, 271), ("HMPRE", 272, 275),
    ("HMMIN", 276, 279), ("TNVMCAP", 280, 295), ("UNVMCAP", 296, 311), ("RPMBS", 312, 315),
    ("EDSTT", 316, 317), ("DSTO", 318, 318), ("FWUG", 319, 319), ("KAS", 320, 321),
    ("HCTMA", 322, 323), ("MNTMT", 324, 325), ("MXTMT", 326, 327), ("SANICAP", 328, 331),
    ("Reserved", 332, 511), ("SQES", 512, 512), ("CQES", 513, 513), ("MAXCMD", 514, 515),
    ("NN", 516, 519), ("ONCS", 520, 521), ("FUSES", 522, 523), ("FNA", 524, 524), ("VWC", 525, 525),
    ("AWUN", 526, 527), ("AWUPF", 528, 529), ("NVSCC", 530, 530), ("Reserved", 531, 531),
    ("ACWU", 532, 533), ("Reserved", 534, 535), ("SGLS", 536, 539), ("Reserved", 540, 767),
    ("SUBNQN", 768, 1023), ("Reserved", 1024, 1791), ("Reserved", 1792, 2047)] + [
    ("PSD%d" % n, 2048 + 32 * n, 2079 + 32 * n) for n in range(32)] + [("Reserved", 3072, 4095)]
NVME_RAW = {"IEEE", "FGUID", "Reserved"} | {"PSD%d" % n for n in range(32)}


def pos(a, b):
    return str(a) if a == b else "%d..%d" % (a, b)


def expected_ata_rows():
    rows = []
    for a, b in ATA_FIELDS:
        if (a, b) in ATA_FORMATTED:
            rows.append((pos(a, b), True))
            continue
        for s in range(a, b + 1, 16):
            rows.append((pos(s, min(s + 15, b)), s == a))
    return rows


def expected_nvme_rows():
    rows = []
    for name, a, b in NVME_FIELDS:
        if name not in NVME_RAW:
            rows.append((pos(a, b), name))
            continue
        for s in range(a, b + 1, 32):
            rows.append((pos(s, min(s + 31, b)), name if s == a else ""))
    return rows


def detail_window(d):
    for w in d["windows"]:
        names = {c["name"] for c in w["controls"]}
        if "AtaView" in names and "NvmeView" in names:
            return w
    raise Failure("no details window in the dump")


def rows_of(w, view):
    return [c["text"].split("\t") for c in w["controls"] if c["name"].startswith(view + ".row.")]


def columns_of(w, view):
    return [(c["text"], c["rect"]["width"]) for c in w["controls"]
            if c["name"].startswith(view + ".column.")]


def drive_keys(path):
    keys = {}
    for line in open(path, encoding="utf-8"):
        if "=" in line and not line.startswith(";"):
            k, v = line.strip().split("=", 1)
            keys.setdefault(k, v)
    return keys


def entry_of(state, model):
    for i, e in enumerate(state["entries"]):
        if model in e:
            return i
    raise Failure("no selector entry for %s in %s" % (model, state["entries"]))


def open_detail(p, index, shot):
    r = p.request("detail %d" % index)
    check(r["ok"], "detail %d: %s" % (index, r["errors"]))
    for _ in range(100):
        d = p.dump(shot)
        w = detail_window(d)
        if w["visible"] and any(c["name"].endswith(".row.0") for c in w["controls"]):
            return d, w
    raise Failure("the details window did not open")


def check_common(d, w, model):
    dpi = d["dpi"]
    main = window(d, "TFormTarvikdornMain")
    check(w["caption"] == "Tarvik", "caption " + w["caption"])
    check(w["client"] == {"width": scale(646, dpi), "height": scale(444, dpi)}, "client %s" % w["client"])
    check(int(w["exStyle"], 16) & 0x8, "not stay-on-top")
    style = int(w["style"], 16)
    check(style & 0x80000000 and not style & 0x00C00000, "style %08X" % style)
    check(not main["enabled"], "the main window takes input while the details window is open")
    # Centred over the main window, integer division.
    mr, wr = main["rect"], w["rect"]
    check(wr["left"] == mr["left"] + (mr["width"] - wr["width"]) // 2 and
          wr["top"] == mr["top"] + (mr["height"] - wr["height"]) // 2, "not centred: %s over %s" % (wr, mr))
    header = control(w, "Header")
    want = {"left": scale(15, dpi), "top": scale(40, dpi), "width": scale(616, dpi), "height": scale(58, dpi)}
    check(header["rect"] == want, "header at %s" % header["rect"])
    check(header["text"] == "Drive Details:\n" + model, "header text %r" % header["text"])
    check(header["backColor"] == "#0175E9" and header["textColor"] == "#FFFFFF", "header colours")
    close = control(w, "CloseButton")
    check(close["rect"]["left"] == scale(646 - 32, dpi) and close["rect"]["top"] == scale(8, dpi),
          "close button at %s" % close["rect"])
    check(close["picture"] == "IMG_BTN_CLOSE", "close picture")
    for view in ("AtaView", "NvmeView"):
        v = control(w, view)
        want = {"left": scale(15, dpi), "top": scale(98, dpi), "width": scale(616, dpi), "height": scale(336, dpi)}
        check(v["rect"] == want, "%s at %s" % (view, v["rect"]))
        check(v["font"] and v["font"]["face"] == "Segoe UI" and v["font"]["height"] == scale(15, dpi),
              "%s font %s" % (view, v["font"]))
    return dpi


def scenario_drivedetail(args):
    p = Program(args, "drivedetail")
    try:
        state = started(p)
        n = state["devices"]
        ssd = drive_keys(os.path.join(p.sim, "ssd.drive"))
        nvme = drive_keys(os.path.join(p.sim, "nvme.drive"))

        # ATA: the IDENTIFY DEVICE words.
        d, w = open_detail(p, entry_of(state, ssd["Model"]), "detail-ata")
        dpi = check_common(d, w, ssd["Model"])
        check(control(w, "AtaView")["visible"] and not control(w, "NvmeView")["visible"], "ATA view")
        check(columns_of(w, "AtaView") == [("Word", scale(80, dpi)), ("Value", scale(260, dpi)),
                                           ("Description", scale(250, dpi))],
              "ATA columns %s" % columns_of(w, "AtaView"))
        rows = rows_of(w, "AtaView")
        want = expected_ata_rows()
        check([r[0] for r in rows] == [x[0] for x in want], "ATA row positions differ")
        for r, (_, described) in zip(rows, want):
            check(len(r) == 3 and (r[2] != "") == described, "ATA row %s" % r)
        byword = {r[0]: r for r in rows}
        check(byword["27..46"][1].rstrip() == ssd["Model"], "model row %s" % byword["27..46"])
        check(byword["10..19"][1].rstrip() == ssd["Serial"], "serial row %s" % byword["10..19"])
        check(byword["23..26"][1].rstrip() == ssd["Firmware"], "firmware row %s" % byword["23..26"])
        sectors = 256 * 2 ** 30 // 512
        check(byword["100..103"][1] == "0x%016X (%d)" % (sectors, sectors), "LBA48 row %s" % byword["100..103"])
        check(byword["217"][1] == "0x0001 (1)", "rotation row %s" % byword["217"])
        check(byword["66"][2] == "Manufacturer\u2019s recommended Multiword DMA transfer cycle time",
              "word 66 %r" % byword["66"][2])
        check(byword["96"][2] == "Streaming Transfer Time \u2013 DMA", "word 96 %r" % byword["96"][2])
        check(byword["129..144"][2] == "Vendor specific" and byword["145..159"][2] == "", "words 129-159")
        check(p.request("closedetail")["ok"], "closedetail")
        d = p.dump("detail-ata-closed")
        check(not detail_window(d)["visible"], "the details window stayed open")
        check(window(d, "TFormTarvikdornMain")["enabled"], "the main window stayed disabled")

        # NVMe: the Identify Controller bytes.
        d, w = open_detail(p, entry_of(state, nvme["Model"]), "detail-nvme")
        check_common(d, w, nvme["Model"])
        check(control(w, "NvmeView")["visible"] and not control(w, "AtaView")["visible"], "NVMe view")
        check(columns_of(w, "NvmeView") == [("Byte", scale(80, dpi)), ("Name", scale(100, dpi)),
                                            ("Value", scale(290, dpi)), ("Description", scale(120, dpi))],
              "NVMe columns %s" % columns_of(w, "NvmeView"))
        rows = rows_of(w, "NvmeView")
        check([(r[0], r[1]) for r in rows] == expected_nvme_rows(), "NVMe row positions or names differ")
        byname = {r[1]: r for r in rows if r[1]}
        check(byname["MN"][2].rstrip() == nvme["Model"], "MN row %s" % byname["MN"])
        check(byname["SN"][2].rstrip() == nvme["Serial"], "SN row %s" % byname["SN"])
        check(byname["FR"][2].rstrip() == nvme["Firmware"], "FR row %s" % byname["FR"])
        check(byname["PSD0"][3] == "Power State 0 Descriptor", "PSD0 %s" % byname["PSD0"])
        tail = [r for r in rows if int(r[0].split("..")[0]) >= 3072]
        check(len(tail) == 32 and all(r[1] == "" and r[3] == "" for r in tail[1:]), "vendor rows")

        check_scrolled_capture(p, detail_window, "NvmeView", "detail-scrolled")

        # Pulling the drive closes its window (the tick runs on under the modal window).
        gone = os.path.join(p.sim, "nvme.drive")
        os.rename(gone, os.path.join(p.dir, "nvme.drive.out"))
        p.wait_state("the removal", lambda s: s["devices"] == n - 1)
        for _ in range(100):
            d = p.dump("detail-nvme-removed")
            if not detail_window(d)["visible"]:
                break
        check(not detail_window(d)["visible"], "the window stayed open after its drive left")
        check(window(d, "TFormTarvikdornMain")["enabled"], "the main window stayed disabled")
        check(not p.request("closedetail")["ok"], "closedetail answered ok with no window open")
        p.request("close")
        check(p.wait_exit() == 0, "the program did not end cleanly")
    finally:
        p.stop()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--exe", required=True)
    ap.add_argument("--sim", required=True, help="the example drives (copied)")
    ap.add_argument("--artifacts", required=True)
    ap.add_argument("--prefix", required=True, help="the Wine prefix of these tests")
    ap.add_argument("--wine", default="wine")
    args = ap.parse_args()
    for a in ("exe", "sim", "artifacts", "prefix"):
        setattr(args, a, os.path.abspath(getattr(args, a)))
    return run_scenarios(args, {"drivedetail": scenario_drivedetail}, ())


if __name__ == "__main__":
    sys.exit(main())
