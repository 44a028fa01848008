#!/usr/bin/env python3
"""Drives Tarvikdorn.exe under Wine with simulated drives and its test mode (docs/ui-test-mode.md).

Each scenario starts the program on a fresh copy of the example drives, talks to it through the
request file of --ui-test and gives it real input with xdotool. Run it inside an X server
(xvfb-run -a -s "-screen 0 1600x1000x24"). Screenshots and dumps stay in --artifacts.
"""
import argparse
import json
import os
import shutil
import struct
import subprocess
import sys
import time
import zlib

WS_POPUP, WS_CAPTION, WS_THICKFRAME = 0x80000000, 0x00C00000, 0x00040000
WS_MINIMIZEBOX, WS_SYSMENU = 0x00020000, 0x00080000

# The layout as the window's rows must show it, in pixels at 96 DPI: written here from the
# layout description, not from the program's table.
MENU = ["PageSsd", "PageDiag", "PageUtil", "PageOpti", "PageSysinfo", "PageBenchMark", "PageClone"]
MENU_TEXT = ["Drive Information", "Diagnostic Scan", "Utility", "System Optimization",
             "System Information", "Benchmark", "CloneDrive"]
MENU_IDS = [21001, 21002, 21003, 21004, 21005, 21007, 21006]
MENU_TOPS = [76, 133, 190, 247, 304, 361, 418]
LANGUAGES = ["ENG", "CHT", "CHS", "JPN", "KOR", "RUS"]
# The face each language's texts ask for.
FACES = {"CHT": "\u5FAE\u8EDF\u6B63\u9ED1\u9AD4", "CHS": "Microsoft YaHei", "JPN": "Yu Gothic UI"}
TOOLS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..", "tools")
MESSAGES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..", "resources",
                        "messages", "main")
EXPECTED_ROWS = {
    "Frame": (0, 0, 1280, 768),
    "Title": (41, 30, 205, 15),
    "MinimizeButton": (1208, 8, 16, 16),
    "CloseButton": (1248, 8, 16, 16),
    "Logo": (45, 488, 197, 220),
    "Divider": (288, 76, 2, 632),
    "Advertisement": (1102, 76, 147, 631),
}
for i, name in enumerate(MENU):
    EXPECTED_ROWS["Menu" + name] = (35, MENU_TOPS[i], 218, 54)
    EXPECTED_ROWS["Frame" + name] = (323, 76, 769, 631)
for i, top in enumerate([132, 189, 246, 303, 360, 417]):
    EXPECTED_ROWS["Separator%d" % (i + 1)] = (35, top, 218, 1)


class Failure(Exception):
    pass


def check(cond, what):
    if not cond:
        raise Failure(what)


def winpath(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def read_png(path):
    """Width, height and RGBA rows of an 8-bit RGB or RGBA PNG (what the program writes)."""
    data = open(path, "rb").read()
    check(data[:8] == b"\x89PNG\r\n\x1a\n", path + ": not a PNG")
    pos, idat, width = 8, b"", 0
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour = struct.unpack(">IIBB", body[:10])
            check(depth == 8 and colour in (2, 6), path + ": unexpected PNG format")
            bpp = 4 if colour == 6 else 3
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    raw = zlib.decompress(idat)
    stride = width * bpp
    rows, prev = [], bytearray(stride)
    for y in range(height):
        f = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for x in range(stride):
            a = line[x - bpp] if x >= bpp else 0
            b = prev[x]
            c = prev[x - bpp] if x >= bpp else 0
            if f == 1:
                line[x] = (line[x] + a) & 255
            elif f == 2:
                line[x] = (line[x] + b) & 255
            elif f == 3:
                line[x] = (line[x] + (a + b) // 2) & 255
            elif f == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[x] = (line[x] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append(bytes(line))
        prev = line
    return width, height, bpp, rows


def pixel(png, x, y):
    width, height, bpp, rows = png
    return tuple(rows[y][x * bpp:x * bpp + 3])


class Program:
    """One Tarvikdorn.exe process with its drives and its test-mode folder."""

    def __init__(self, args, name, first=(), ui=True):
        self.args = args
        self.dir = os.path.join(args.artifacts, name)
        shutil.rmtree(self.dir, ignore_errors=True)
        self.sim = os.path.join(self.dir, "sim")
        self.ui = os.path.join(self.dir, "ui")
        os.makedirs(self.ui)
        shutil.copytree(args.sim, self.sim, ignore=shutil.ignore_patterns("*.img"))
        self.seq = 0
        cmd = [args.wine, args.exe] + list(first) + ["--simulate", winpath(self.sim)]
        if ui:
            cmd += ["--ui-test", winpath(self.ui)]
        self.log = open(os.path.join(self.dir, "wine.log"), "w")
        self.proc = subprocess.Popen(cmd, stdout=self.log, stderr=subprocess.STDOUT, env=wine_env(args))

    def request(self, *lines, timeout=60):
        self.seq += 1
        token = str(self.seq)
        reply = os.path.join(self.ui, "reply.json")
        tmp = os.path.join(self.ui, "request.tmp")
        with open(tmp, "w") as f:
            f.write("id %s\n%s\n" % (token, "\n".join(lines)))
        os.rename(tmp, os.path.join(self.ui, "request"))
        deadline = time.time() + timeout
        while time.time() < deadline:
            check(self.proc.poll() is None, "the program ended (status %s)" % self.proc.returncode)
            try:
                with open(reply) as f:
                    r = json.load(f)
                if r.get("id") == token:
                    return r
            except (OSError, ValueError):
                pass
            time.sleep(0.1)
        raise Failure("no answer to request %s (%s)" % (token, lines))

    def wait_state(self, what, cond, timeout=90):
        deadline = time.time() + timeout
        r = None
        while time.time() < deadline:
            r = self.request()
            if cond(r["state"]):
                return r["state"]
            time.sleep(0.1)
        raise Failure("timed out waiting for %s; last state %s" % (what, r and r["state"]))

    def dump(self, name):
        r = self.request("dump " + name)
        check(r["ok"], "dump %s: %s" % (name, r["errors"]))
        with open(os.path.join(self.ui, name + ".json")) as f:
            return json.load(f)

    def wait_exit(self, timeout=30):
        try:
            return self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            return None

    def stop(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        self.log.close()


def wine_env(args):
    env = dict(os.environ)
    env["WINEPREFIX"] = args.prefix
    env["WINEDEBUG"] = "-all"
    env["WINEDLLOVERRIDES"] = "mscoree,mshtml="
    return env


def window(d, cls):
    for w in d["windows"]:
        if w["class"] == cls:
            return w
    return None


def control(w, name):
    for c in w["controls"]:
        if c["name"] == name:
            return c
    raise Failure("no control " + name)


def scale(v, dpi):
    return (v * dpi + 48) // 96


def xdo(*args):
    subprocess.run(["xdotool"] + [str(a) for a in args], check=True)


def click(main, x, y, dpi):
    """A real click at client point (x, y) at 96 DPI of the dumped main window."""
    ox, oy = main["clientOrigin"]["x"], main["clientOrigin"]["y"]
    xdo("mousemove", ox + scale(x, dpi), oy + scale(y, dpi))
    time.sleep(0.2)
    xdo("click", "1")
    time.sleep(0.5)


def screen_pixel(x, y):
    out = subprocess.run(["import", "-window", "root", "-crop", "1x1+%d+%d" % (x, y), "-depth", "8",
                          "rgb:-"], capture_output=True, check=True).stdout
    return tuple(out[:3])


def wait_on_screen(x, y, rgb, timeout=20):
    """Waits until the X server shows `rgb` at (x, y): real input goes where the screen shows
    the control, not where the program has put it."""
    deadline = time.time() + timeout
    while time.time() < deadline:
        if screen_pixel(x, y) == rgb:
            return
        time.sleep(0.3)
    raise Failure("the screen does not show %s at (%d, %d): %s" % (rgb, x, y, screen_pixel(x, y)))


def screen_strip(x, y, width, height):
    out = subprocess.run(["import", "-window", "root", "-crop", "%dx%d+%d+%d" % (width, height, x, y),
                          "-depth", "8", "rgb:-"], capture_output=True, check=True).stdout
    return [tuple(out[3 * i:3 * i + 3]) for i in range(width * height)]


def check_scrolled_capture(p, find_window, view, name):
    """A list view scrolled by the wheel: the capture draws the list's own scroll bar, with its
    thumb where the screen shows it. `find_window` picks the list's window from a dump."""
    d = p.dump(name + "-before")
    w = find_window(d)
    r = control(w, view)["rect"]
    ox, oy = w["clientOrigin"]["x"], w["clientOrigin"]["y"]
    xdo("mousemove", ox + r["left"] + r["width"] // 2, oy + r["top"] + r["height"] // 2)
    xdo("click", "--repeat", "8", "--delay", "50", "5")
    for _ in range(50):
        d = p.dump(name)
        w = find_window(d)
        v = control(w, view)
        if v["extra"]["topIndex"] > 0:
            break
    check(v["extra"]["topIndex"] > 0, "the wheel did not scroll the list: %s" % v["extra"]["topIndex"])
    time.sleep(0.5)
    d = p.dump(name)
    w = find_window(d)
    shutil.copy(os.path.join(p.ui, w["capture"]), os.path.join(p.args.artifacts, name + ".png"))
    png = read_png(os.path.join(p.ui, w["capture"]))
    # The strip inside the list's right border, where its vertical scroll bar sits.
    bar = scale(16, d["dpi"])
    x0, top, height = r["left"] + r["width"] - 1 - bar, r["top"] + 1, r["height"] - 2
    screen = screen_strip(ox + x0, oy + top, bar, height)
    captured = [pixel(png, x0 + i % bar, top + i // bar) for i in range(bar * height)]
    same = sum(a == b for a, b in zip(captured, screen))
    # Both strips side by side, the capture's left of the screen's, kept for reading.
    with open(os.path.join(p.args.artifacts, name + "-strips.ppm"), "wb") as f:
        f.write(b"P6 %d %d 255\n" % (2 * bar, height))
        for y in range(height):
            f.write(b"".join(bytes(c) for c in captured[y * bar:(y + 1) * bar] + screen[y * bar:(y + 1) * bar]))
    check(same >= 0.95 * len(screen), "the capture's scroll bar differs from the screen's in %d of %d "
          "pixels" % (len(screen) - same, len(screen)))
    # The thumb has left the top: the strip is not one colour below the up arrow.
    column = [captured[y * bar + bar // 2] for y in range(bar + 2, height - bar - 2)]
    check(len(set(column)) > 1, "no thumb in the captured scroll bar")


def started(p):
    return p.wait_state("the staged start", lambda s: s["started"] and not s["splash"])


def drive_count(sim):
    return len([f for f in os.listdir(sim) if f.endswith(".drive")])


# --- scenarios ---------------------------------------------------------------------------------

def scenario_layout(args, name="layout", want_dpi=96):
    p = Program(args, name)
    try:
        # The splash stays at least a second: a dump during it shows it alone on top.
        state = p.wait_state("the splash", lambda s: s["splash"] or s["started"])
        check(not state["started"], "the splash was never seen")
        d = p.dump("splash")
        splash = window(d, "TFormLoading")
        check(splash and splash["visible"] and splash["capture"], "splash not shown")
        check(splash["client"] == {"width": scale(520, want_dpi), "height": scale(290, want_dpi)},
              "splash client %s" % splash["client"])
        check(int(splash["exStyle"], 16) & 0x8, "the splash is not stay-on-top")
        check(not window(d, "TFormTarvikdornMain")["visible"], "main window shown with the splash")
        state = started(p)
        d = p.dump("main")
        dpi = d["dpi"]
        check(dpi == want_dpi, "DPI %d, expected %d" % (dpi, want_dpi))
        main = window(d, "TFormTarvikdornMain")
        check(main is not None, "no main window")
        check(main["caption"] == "Tarvik", "caption " + main["caption"])
        style = int(main["style"], 16)
        check(style & WS_POPUP and style & WS_MINIMIZEBOX and style & WS_SYSMENU,
              "style %08X lacks popup/minimise/system menu" % style)
        check(not style & WS_CAPTION and not style & WS_THICKFRAME, "style %08X has a border" % style)
        check(main["client"] == {"width": scale(1280, dpi), "height": scale(768, dpi)},
              "client %s" % main["client"])
        check(main["visible"], "main window hidden")
        for name, (l, t, w, h) in EXPECTED_ROWS.items():
            c = control(main, name)
            want = {"left": scale(l, dpi), "top": scale(t, dpi), "width": scale(w, dpi),
                    "height": scale(h, dpi)}
            check(c["rect"] == want, "%s at %s, expected %s" % (name, c["rect"], want))
        sel = control(main, "DriveSelector")
        check(sel["rect"]["left"] == scale(607, dpi) and sel["rect"]["top"] == scale(25, dpi)
              and sel["rect"]["width"] == scale(440, dpi), "selector at %s" % sel["rect"])
        for i, name in enumerate(MENU):
            c = control(main, "Menu" + name)
            check(c["text"] == MENU_TEXT[i], "menu text %s" % c["text"])
            check(control(main, "Frame" + name)["visible"] == (i == 0), "frame %s visibility" % name)
        # The example folder has one drive the program refuses (a USB stick: removable media).
        n = drive_count(p.sim) - 1
        check(state["devices"] == n, "%d devices listed, expected %d" % (state["devices"], n))
        check(control(main, "DeviceCountLabel")["text"] == "%d Devices" % n, "count label")
        check(state["page"] == "PageSsd", "first page " + str(state["page"]))
        # The capture shows what the window drew: the divider's grey and the selected menu
        # button's gradient.
        png = read_png(os.path.join(p.ui, main["capture"]))
        check(png[0] == main["client"]["width"] and png[1] == main["client"]["height"], "capture size")
        check(pixel(png, scale(289, dpi), scale(400, dpi)) == (0xD2, 0xD2, 0xD2), "divider colour")
        r, g, b = pixel(png, scale(35 + 165, dpi), scale(76 + 49, dpi))
        check(b > 200 and r < 100, "selected menu button colour %s" % ((r, g, b),))
        check(pixel(png, scale(1110, dpi), scale(600, dpi)) == (0xF4, 0xF4, 0xF4), "ad colour")
        # Compare with what the X server shows.
        shot = os.path.join(p.ui, "screen.png")
        subprocess.run(["import", "-window", "root", "png:" + shot], check=True)
        scr = subprocess.run(["convert-im6.q16", shot, "-depth", "8", "rgba:-"], check=True,
                             capture_output=True).stdout
        sw = int(subprocess.run(["identify", "-format", "%w", shot], check=True,
                                capture_output=True, text=True).stdout)
        ox, oy = main["clientOrigin"]["x"], main["clientOrigin"]["y"]
        diff = 0
        for (x, y) in [(289, 400), (200, 125), (1110, 600), (100, 300), (600, 740), (40, 80)]:
            sx, sy = ox + scale(x, dpi), oy + scale(y, dpi)
            o = (sy * sw + sx) * 4
            if tuple(scr[o:o + 3]) != pixel(png, scale(x, dpi), scale(y, dpi)):
                diff += 1
        check(diff == 0, "%d sample pixels differ between the capture and the screen" % diff)
        p.request("close")
        check(p.wait_exit() == 0, "the program did not end cleanly")
    finally:
        p.stop()


def scenario_hotplug(args):
    p = Program(args, "hotplug")
    try:
        state = started(p)
        n = state["devices"]
        gone = os.path.join(p.sim, "nvme.drive")
        kept = os.path.join(p.dir, "nvme.drive.out")
        os.rename(gone, kept)
        state = p.wait_state("the removal", lambda s: s["devices"] == n - 1)
        check("Orvane Flint 990 1TB" not in state["entries"], "removed drive still listed")
        os.rename(kept, gone)
        state = p.wait_state("the arrival", lambda s: s["devices"] == n)
        d = p.dump("after")
        main = window(d, "TFormTarvikdornMain")
        check(control(main, "DeviceCountLabel")["text"] == "%d Devices" % n, "count after arrival")
        # Removing the selected first entry selects the next one.
        first = state["entries"][0]
        for f in os.listdir(p.sim):
            if f.endswith(".drive") and first.encode() in open(os.path.join(p.sim, f), "rb").read():
                os.rename(os.path.join(p.sim, f), os.path.join(p.dir, f + ".out"))
        state = p.wait_state("the first entry's removal", lambda s: s["devices"] == n - 1)
        check(state["selected"] == 0 and first not in state["entries"], "selection %s" % state)
        p.request("close")
        check(p.wait_exit() == 0, "the program did not end cleanly")
    finally:
        p.stop()


def scenario_menu(args):
    p = Program(args, "menu")
    try:
        started(p)
        d = p.dump("before")
        dpi = d["dpi"]
        main = window(d, "TFormTarvikdornMain")
        for i in list(range(1, 7)) + [0]:
            click(main, 35 + 150, MENU_TOPS[i] + 27, dpi)
            state = p.request()["state"]
            check(state["page"] == MENU[i], "click on %s gave %s" % (MENU[i], state["page"]))
            d = p.dump("menu%d" % i)
            m = window(d, "TFormTarvikdornMain")
            for j, name in enumerate(MENU):
                b = control(m, "Menu" + name)
                sel = b["textColor"] == "#FFFFFF"
                check(sel == (i == j) and b["enabled"] == (i != j), "look of %s after %s" % (name, MENU[i]))
                check(control(m, "Frame" + name)["visible"] == (i == j), "frame " + name)
        # While busy the menu does nothing.
        p.request("busy on")
        click(main, 35 + 150, MENU_TOPS[3] + 27, dpi)
        check(p.request()["state"]["page"] == MENU[0], "menu switched while busy")
        p.request("busy off")
        # Without a configured address the advertisement's click does nothing.
        click(main, 1102 + 70, 76 + 300, dpi)
        state = p.request()["state"]
        check(state["page"] == MENU[0] and not state["box"], "the advertisement click did something")
        p.request("close")
        check(p.wait_exit() == 0, "the program did not end cleanly")
    finally:
        p.stop()


def scenario_drag(args):
    p = Program(args, "drag")
    try:
        started(p)
        d = p.dump("before")
        dpi = d["dpi"]
        main = window(d, "TFormTarvikdornMain")
        before = main["rect"]
        ox, oy = main["clientOrigin"]["x"], main["clientOrigin"]["y"]
        x0, y0 = ox + scale(150, dpi), oy + scale(740, dpi)  # below the logo: nothing but the drag area
        xdo("mousemove", x0, y0)
        time.sleep(0.2)
        xdo("mousedown", "1")
        for step in range(1, 11):
            xdo("mousemove", x0 + 12 * step, y0 - 7 * step)
            time.sleep(0.05)
        xdo("mouseup", "1")
        time.sleep(0.5)
        after = window(p.dump("after"), "TFormTarvikdornMain")["rect"]
        moved = (after["left"] - before["left"], after["top"] - before["top"])
        check(moved == (120, -70), "the window moved by %s, expected (120, -70)" % (moved,))
        p.request("close")
        check(p.wait_exit() == 0, "the program did not end cleanly")
    finally:
        p.stop()


def scenario_close(args):
    p = Program(args, "close")
    try:
        started(p)
        d = p.dump("before")
        dpi = d["dpi"]
        main = window(d, "TFormTarvikdornMain")
        p.request("busy on")
        click(main, 1248 + 8, 8 + 8, dpi)
        time.sleep(1)
        check(p.proc.poll() is None, "closed while busy")
        # Alt+F4 (the uninstaller's close request takes the same way) is refused as well.
        p.request("close")
        time.sleep(1)
        check(p.proc.poll() is None, "closed by a request while busy")
        p.request("busy off")
        click(main, 1248 + 8, 8 + 8, dpi)
        check(p.wait_exit() == 0, "the close button did not end the program")
    finally:
        p.stop()


def scenario_instance(args):
    p = Program(args, "instance")
    try:
        started(p)
        d = p.dump("before")
        dpi = d["dpi"]
        click(window(d, "TFormTarvikdornMain"), 1208 + 8, 8 + 8, dpi)
        check(window(p.dump("minimised"), "TFormTarvikdornMain")["minimized"], "not minimised")
        second = subprocess.run([args.wine, args.exe], env=wine_env(args), timeout=60,
                                capture_output=True)
        check(second.returncode == 0, "second start ended with %d" % second.returncode)
        check(p.proc.poll() is None, "the first instance ended")
        state = p.wait_state("the restore", lambda s: True)
        w = window(p.dump("restored"), "TFormTarvikdornMain")
        check(not w["minimized"] and w["visible"], "the first instance was not restored")
        # "-RESTART" waits for the running instance, then starts once it has gone.
        q = Program(args, "instance-restart", first=["-RESTART"])
        time.sleep(5)
        check(q.proc.poll() is None, "-RESTART did not wait")
        check(not os.path.exists(os.path.join(q.ui, "reply.json")), "restarted instance too early")
        p.request("close")
        check(p.wait_exit() == 0, "the first instance did not end cleanly")
        started(q)
        q.request("close")
        check(q.wait_exit() == 0, "the restarted instance did not end cleanly")
        del state
    finally:
        p.stop()


def scenario_boxes(args):
    p = Program(args, "boxes")
    try:
        started(p)
        dpi = p.dump("main")["dpi"]
        # kind, text, client width at 96 DPI, the button clicked, the result it gives
        cases = [("error", "short text", 300, "PrimaryButton", "primary"),
                 ("warning", "x" * 20, 300, "PrimaryButton", "primary"),
                 ("information", "An information text.", 300, "PrimaryButton", "primary"),
                 ("question", "Do it now?", 300, "PrimaryButton", "primary"),
                 ("warningquestion", "Really do it now?", 300, "SecondaryButton", "secondary"),
                 ("information", " ".join(["word"] * 200), 640, "PrimaryButton", "primary")]
        for i, (kind, text, width, button, result) in enumerate(cases):
            p.request("box %s %s" % (kind, text))
            p.wait_state("the box", lambda s: s["box"])
            d = p.dump("box%d-%s" % (i, kind))
            box = window(d, "TFormAlert")
            check(box is not None and box["visible"], "no box window")
            check(box["caption"] == "Tarvik", "box caption")
            check(box["client"]["width"] == scale(width, dpi),
                  "%s box %d wide, expected %d" % (kind, box["client"]["width"], width))
            two = kind.endswith("question")
            check(control(box, "SecondaryButton")["visible"] == two, "secondary button of " + kind)
            check(control(box, "PrimaryButton")["text"] == ("Yes" if two else "OK"), "primary text")
            check(box["capture"], "box not captured")
            b = control(box, button)["rect"]
            xdo("mousemove", box["clientOrigin"]["x"] + b["left"] + b["width"] // 2,
                box["clientOrigin"]["y"] + b["top"] + b["height"] // 2)
            time.sleep(0.2)
            xdo("click", "1")
            state = p.wait_state("the box to close", lambda s: not s["box"])
            check(state["lastBoxResult"] == result, "%s result %s" % (kind, state["lastBoxResult"]))
        # The test mode's own way out of a box.
        p.request("box question Closed by request?")
        p.wait_state("the box", lambda s: s["box"])
        p.request("closebox secondary")
        state = p.wait_state("the box to close", lambda s: not s["box"])
        check(state["lastBoxResult"] == "secondary", "closebox result")
        p.request("close")
        check(p.wait_exit() == 0, "the program did not end cleanly")
    finally:
        p.stop()


def open_selector_popup(p, main, name):
    """Clicks the active-drive selector and returns the popup's visible rows from a dump."""
    sel = control(main, "DriveSelector")["rect"]
    xdo("mousemove", main["clientOrigin"]["x"] + sel["left"] + sel["width"] // 2,
        main["clientOrigin"]["y"] + sel["top"] + sel["height"] // 2)
    time.sleep(0.2)
    xdo("click", "1")
    time.sleep(0.5)
    d = p.dump(name)
    for w in d["windows"]:
        rows = [c for c in w["controls"] if c["class"] == "TclListRow" and c["visible"]]
        if w["visible"] and rows:
            return w, rows
    raise Failure("%s: no popup with rows" % name)


def scenario_selector(args):
    p = Program(args, "selector")
    try:
        state = started(p)
        p.request("selector show")
        d = p.dump("shown")
        main = window(d, "TFormTarvikdornMain")
        check(control(main, "DriveSelector")["visible"], "the selector is hidden")
        n = state["devices"]
        popup, rows = open_selector_popup(p, main, "popup")
        check(len(rows) == min(n, 32), "%d rows for %d drives" % (len(rows), n))
        check([r["text"] for r in rows] == state["entries"], "rows %s" % [r["text"] for r in rows])
        # A real click on the last row chooses it and closes the popup.
        last = rows[-1]["rect"]
        xdo("mousemove", popup["clientOrigin"]["x"] + last["left"] + last["width"] // 2,
            popup["clientOrigin"]["y"] + last["top"] + last["height"] // 2)
        time.sleep(0.2)
        xdo("click", "1")
        state = p.wait_state("the choice", lambda s: s["selected"] == n - 1)
        main = window(p.dump("chosen"), "TFormTarvikdornMain")
        check(control(main, "DriveSelector")["text"] == state["entries"][n - 1], "selector caption")
        # More drives than the popup shows: 32 rows, no more.
        hdd = open(os.path.join(p.sim, "hdd.drive"), encoding="utf-8").read()
        extra = 33 - n if n < 33 else 1
        for i in range(extra):
            with open(os.path.join(p.sim, "extra%02d.drive" % i), "w", encoding="utf-8") as f:
                f.write(hdd.replace("Serial=OR2T-0003-9021", "Serial=OR2T-1%03d-0000" % i))
        state = p.wait_state("the added drives", lambda s: s["devices"] == n + extra, timeout=180)
        main = window(p.dump("many"), "TFormTarvikdornMain")
        popup, rows = open_selector_popup(p, main, "popup-many")
        check(len(rows) == 32, "%d rows for %d drives" % (len(rows), n + extra))
        # A press outside closes it.
        click(main, 150, 740, d["dpi"])
        d = p.dump("outside")
        check(not any(c["class"] == "TclListRow" and c["visible"]
                      for w in d["windows"] for c in w["controls"]), "the popup stayed open")
        p.request("close")
        check(p.wait_exit() == 0, "the program did not end cleanly")
    finally:
        p.stop()


def with_prefix(args, suffix, *reg):
    """The arguments with a prefix of their own, prepared with `wine reg add` lines."""
    a = argparse.Namespace(**vars(args))
    a.prefix = args.prefix + "-" + suffix
    for r in reg:
        subprocess.run([args.wine, "reg", "add"] + list(r) + ["/f"], env=wine_env(a),
                       capture_output=True, check=True)
    return a


def scenario_dpi192(args):
    a = with_prefix(args, "dpi192",
                    ["HKCU\\Control Panel\\Desktop", "/v", "LogPixels", "/t", "REG_DWORD", "/d", "192"],
                    ["HKCC\\Software\\Fonts", "/v", "LogPixels", "/t", "REG_DWORD", "/d", "192"])
    subprocess.run(["wineserver", "-k"], env=wine_env(a), check=False)
    scenario_layout(a, "dpi192", 192)


def scenario_vista(args):
    a = with_prefix(args, "vista", ["HKCU\\Software\\Wine", "/v", "Version", "/d", "vista"])
    subprocess.run(["wineserver", "-k"], env=wine_env(a), check=False)
    p = Program(a, "vista")
    try:
        state = p.wait_state("the error box", lambda s: s["box"])
        check(not state["started"], "started on Vista")
        d = p.dump("vista")
        box = window(d, "TFormAlert")
        text = control(box, "Text")["text"]
        check(text.startswith("Tarvik does not support ") and text.endswith("."), "box text " + text)
        b = control(box, "PrimaryButton")["rect"]
        x, y = box["clientOrigin"]["x"] + b["left"] + 10, box["clientOrigin"]["y"] + b["top"] + 5
        wait_on_screen(x, y, (0x00, 0x79, 0xD8))
        xdo("mousemove", x, y)
        time.sleep(0.2)
        xdo("click", "1")
        # No second message: the program ends.
        check(p.wait_exit() == 1, "the program did not end after the message")
    finally:
        p.stop()
        subprocess.run(["wineserver", "-k"], env=wine_env(a), check=False)


def table_texts(code):
    """The ids and texts of a language's table source (UTF-8, "id<TAB>text")."""
    texts = {}
    with open(os.path.join(MESSAGES, code + ".txt"), encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\r\n")
            if "\t" in line and line.split("\t", 1)[0].isdigit():
                k, v = line.split("\t", 1)
                texts[int(k)] = v
    return texts


def write_config(prefix, lang):
    """Config.ini in the common application data folder, UTF-16 with a byte-order mark."""
    folder = os.path.join(prefix, "drive_c", "ProgramData", "Zolt", "VornaTarvikdorn")
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "Config.ini"), "wb") as f:
        f.write(b"\xff\xfe" + ("[UI]\r\nLang=%s\r\n" % lang).encode("utf-16-le"))


def scenario_languages(args):
    # The CJK faces the program asks for are not in the prefix: WenQuanYi Micro Hei takes their
    # place, so the captures show real glyphs.
    subs = ["Yu Gothic UI", "Microsoft YaHei", "\u5FAE\u8EDF\u6B63\u9ED1\u9AD4", "Segoe UI"]
    key = "HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes"
    a = with_prefix(args, "lang", *[[key, "/v", face, "/d", "WenQuanYi Micro Hei"] for face in subs])
    subprocess.run(["wineserver", "-k"], env=wine_env(a), check=False)
    try:
        for code in LANGUAGES:
            write_config(a.prefix, code)
            texts = table_texts(code)
            p = Program(a, "lang-" + code)
            try:
                state = started(p)
                d = p.dump("main")
                main = window(d, "TFormTarvikdornMain")
                check(main is not None and main["visible"], "%s: no main window" % code)
                for i, name in enumerate(MENU):
                    c = control(main, "Menu" + name)
                    check(c["font"]["face"] == FACES.get(code, "Segoe UI"),
                          "%s: menu %s in face %s" % (code, name, c["font"]["face"]))
                    check(c["text"] == texts[MENU_IDS[i]],
                          "%s: menu %s shows %r, table %r" % (code, name, c["text"],
                                                             texts[MENU_IDS[i]]))
                n = state["devices"]
                want = texts[21011] if n == 1 else texts[21012].replace("%i", str(n))
                check(control(main, "DeviceCountLabel")["text"] == want,
                      "%s: count label %r" % (code, control(main, "DeviceCountLabel")["text"]))
                check(control(main, "ActiveDriveLabel")["text"] == texts[21010],
                      "%s: active drive label" % code)
                shutil.copy(os.path.join(p.ui, main["capture"]),
                            os.path.join(args.artifacts, "main-%s.png" % code))
                p.request("close")
                check(p.wait_exit() == 0, "%s: the program did not end cleanly" % code)
            finally:
                p.stop()
    finally:
        subprocess.run(["wineserver", "-k"], env=wine_env(a), check=False)


def scenario_restartbound(args):
    p = Program(args, "restartbound")
    try:
        started(p)
        t0 = time.time()
        second = subprocess.run([args.wine, args.exe, "-restart"], env=wine_env(args), timeout=120,
                                capture_output=True)
        waited = time.time() - t0
        check(second.returncode == 0, "second start ended with %d" % second.returncode)
        check(28 <= waited < 60, "-restart gave up after %.1f s" % waited)
        check(p.proc.poll() is None, "the first instance ended")
        found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^Tarvik$"],
                               capture_output=True, text=True).stdout.split()
        check(len(found) == 1, "%d main windows on screen" % len(found))
        p.request("close")
        check(p.wait_exit() == 0, "the program did not end cleanly")
    finally:
        p.stop()


# --- Drive Information page --------------------------------------------------------------------

SCSI_DRIVE = """; A SAS-attached SCSI disk: no ATA or NVMe personality, so no SMART data.
[Drive]
Bus=SCSI
Vendor=ORVANE
Model=Orvane Span 600
Serial=OS6-0005-0001
Firmware=A100
Capacity=600G
"""


MIB = 1 << 20
BAR_SSD_KEYS = "Letters=1:S,2:T\nFree=1:128M,2:100G\n"
BAR_SSD = (256 * MIB + (256 * 1024 - 257) * MIB, 128 * MIB + 100 * 1024 * MIB)  # total, free
BAR_NVME_KEYS = "Letters=1:N\nFree=1:2T\n"
BAR_NVME = ((1024 * 1024 - 1) * MIB, 2 * 1024 * 1024 * MIB)


def f32(x):
    return struct.unpack("f", struct.pack("f", x))[0]


def size_compact(n):
    """The bar's size text, as the program's single-precision steps give it."""
    if n == 0:
        return "0 Byte"
    if n < 1024:
        return "%d Bytes" % n
    v, unit = f32(f32(n) / 1024.0), 0
    while v >= 1024.0 and unit < 2:
        v, unit = f32(v / 1024.0), unit + 1
    return ("%.f %s" if float(int(v)) == v else "%.2f %s") % (v, ["KB", "MB", "GB"][unit])


def check_bar(f, total, free, dpi):
    """The capacity bar of lettered volumes: fill width, colours and both texts."""
    used = 0 if free > total else total - free
    percent = min(100.0, max(0.0, used * 100.0 / total)) if total else 0.0
    fill = 680 if percent >= 100.0 else int(percent * 680 / 100.0)
    check(f["Bar.background"]["visible"], "bar hidden")
    g = f["Bar.gradient"]
    check(g["visible"] == (fill > 0), "gradient visible %s, fill %d" % (g["visible"], fill))
    if fill > 0:
        check(g["rect"]["width"] == scale(fill, dpi), "fill %s, expected %d" % (g["rect"], fill))
        want = ("#FF015C", "#FFAFD2") if percent > 80.0 else ("#004BFD", "#7FF2FF")
        check((g["backColor"], g["borderColor"]) == want, "bar colours %s" % g)
    check(f["Bar.left"]["text"] == "Used: " + size_compact(used), "left " + f["Bar.left"]["text"])
    check(f["Bar.right"]["text"] == "Free: " + size_compact(free), "right " + f["Bar.right"]["text"])


def drive_set(args, name):
    """The page's drives: a healthy SSD, a failing hard disk, NVMe, an SSD behind a USB bridge
    and a SCSI disk without SMART."""
    folder = os.path.join(args.artifacts, name + "-drives")
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    shutil.copy(os.path.join(args.sim, "usb-sat.drive"), folder)
    # Lettered volumes give the capacity bar its figures: the SSD's two partitions sum, the
    # NVMe drive's volume reports more free space than it holds (nothing used).
    for f, keys in (("ssd", BAR_SSD_KEYS), ("nvme", BAR_NVME_KEYS)):
        text = open(os.path.join(args.sim, f + ".drive")).read()
        open(os.path.join(folder, f + ".drive"), "w").write(text.replace("[Drive]\n", "[Drive]\n" + keys, 1))
    # The hard disk of the examples with a drive that says its threshold was exceeded.
    text = open(os.path.join(args.sim, "hdd.drive")).read()
    text = text.replace("[Ata]\n", "[Ata]\nSmartStatus=exceeded\n", 1)
    open(os.path.join(folder, "hdd.drive"), "w").write(text)
    open(os.path.join(folder, "scsi.drive"), "w").write(SCSI_DRIVE)
    a = argparse.Namespace(**vars(args))
    a.sim = folder
    return a


def disk_frames(main):
    """Drive frames by the drive name they show: frame, and its parts by short name."""
    frames = {}
    for c in main["controls"]:
        if c["class"] == "TclDiskFrame":
            frames[c["name"]] = {"": c}
    for c in main["controls"]:
        head, _, rest = c["name"].partition(".")
        if head in frames and rest:
            frames[head][rest] = c
    return {f["Name"]["text"].split(" | ")[0]: f for f in frames.values() if f[""]["visible"]}


def end_angle(v):
    v = max(0, min(100, v))
    e = int(360 - v * 360 / 100 + 90)
    return e - 360 if e > 360 else e


def check_frame_layout(f, dpi):
    """Sizes exactly; auto-sized labels by left and top only (Wine substitutes fonts)."""
    fr = f[""]["rect"]

    def at(part, l, t, w=None, h=None):
        r = f[part]["rect"]
        want = (fr["left"] + scale(l, dpi), fr["top"] + scale(t, dpi))
        check((r["left"], r["top"]) == want, "%s at %s, expected %s" % (part, r, want))
        if w is not None:
            check((r["width"], r["height"]) == (scale(w, dpi), scale(h, dpi)),
                  "%s sized %s" % (part, r))

    check((fr["width"], fr["height"]) == (scale(752, dpi), scale(303, dpi)), "frame %s" % fr)
    at("Icon", 25, 16, 30, 30)
    at("Name", 71, 20)
    at("SmartButton", 628, 20, 100, 27)
    at("DetailsButton", 628, 52, 100, 27)
    for i, top in enumerate([96, 119, 142, 165, 188, 211]):
        at("Line%d" % (i + 1), 502, top)
    at("Marker", 16, 20, 4, 263)
    for g, left in (("Health", 25), ("Temperature", 180), ("Life", 340)):
        at(g + ".caption", left, 60, 136, 32)
        at(g + ".back", left, 96, 136, 136)
        at(g + ".value", left, 96, 136, 136)
    at("Health.ring", 35, 106, 116, 116)
    for g, left in (("Temperature", 180), ("Life", 340)):
        at(g + ".ring", left + 5, 101, 126, 126)
        at(g + ".cover", left + 4, 100, 128, 128)
        at(g + ".front", left + 13, 109, 110, 110)
    at("Bar.background", 32, 250, 680, 33)
    check(f["Name"]["textColor"] == "#0071B5", "name colour")
    check(f["Temperature.cover"]["backColor"] == "#E5E5E5", "cover colour")
    check(f["Temperature.ring"]["picture"] == "IMG_RING_RED", "temperature ring")
    check(f["Life.ring"]["picture"] == "IMG_RING_GREEN", "life ring")
    check(f["Health.ring"]["picture"] == "IMG_RING_HEALTH", "health ring")


def check_gauge(f, g, value):
    cover = f[g + ".cover"]
    if value >= 100:
        check(not cover["visible"], "%s cover shown at %d" % (g, value))
    else:
        check(cover["visible"] and cover["text"] == "90..%d" % end_angle(value),
              "%s cover %s for %d" % (g, cover["text"], value))


def is_smart(w):
    return w["visible"] and any(c["name"] == "Header" and c["text"].startswith("S.M.A.R.T. Details")
                                for c in w["controls"])


def select_drive(p, name):
    entries = p.request()["state"]["entries"]
    r = p.request("select %d" % entries.index(name))
    check(r["ok"], "select %s: %s" % (name, r["errors"]))


def scenario_driveinfo(args):
    a = drive_set(args, "driveinfo")
    p = Program(a, "driveinfo")
    try:
        state = started(p)
        check(state["devices"] == 5, "%d devices" % state["devices"])
        time.sleep(2.5)  # two value updates
        d = p.dump("page-top")
        dpi = d["dpi"]
        main = window(d, "TFormTarvikdornMain")
        frames = disk_frames(main)
        check(len(frames) == 5, "frames %s" % sorted(frames))
        names = ["Orvane Ridge 2TB", "Orvane Flint 990 1TB", "ORVANE Orvane Span 600",
                 "Orvane Quill 860 256GB"]
        content = control(main, "PageSsd.Content")["rect"]
        check(content == {"left": scale(323, dpi), "top": scale(76, dpi), "width": scale(769, dpi),
                          "height": scale(631, dpi)}, "content %s" % content)
        # Registry order: disk numbers follow the drive files' names.
        tops = sorted((f[""]["rect"]["top"], n) for n, f in frames.items())
        check([n for _, n in tops][:4] == names, "order %s" % tops)
        for k, (top, n) in enumerate(tops):
            check(top == scale(76 + 310 * k, dpi), "%s at %d" % (n, top))
            check_frame_layout(frames[n], dpi)
        bar = control(main, "PageSsd.ScrollBar")
        check(bar["visible"] and bar["extra"]["range"] == scale(5 * 310 - 631, dpi),
              "scroll bar %s" % bar)
        # The failing hard disk: Bad on the red back picture.
        hdd = frames["Orvane Ridge 2TB"]
        check(hdd["Health.value"]["text"] == "Bad", "hdd health " + hdd["Health.value"]["text"])
        check(hdd["Health.back"]["picture"] == "IMG_CIRCLE_BACK_RED", "hdd back picture")
        check(hdd["Line4"]["text"].startswith("WWN: "), "hdd line 4")
        check(hdd["SmartButton"]["enabled"], "hdd S.M.A.R.T. button disabled")
        # The SSD and NVMe: Good on blue, values and gauges agree.
        for n in ("Orvane Quill 860 256GB", "Orvane Flint 990 1TB"):
            f = frames[n]
            check(f["Health.value"]["text"] == "Good", "%s health" % n)
            check(f["Health.back"]["picture"] == "IMG_CIRCLE_BACK_BLUE", "%s back" % n)
            t = int(f["Temperature.value"]["text"].split()[0])
            life = int(f["Life.value"]["text"].split()[0])
            check_gauge(f, "Temperature", t)
            check_gauge(f, "Life", life)
            check(f["Line6"]["text"].startswith("Total Bytes Written: "), "%s line 6" % n)
        written = frames["Orvane Flint 990 1TB"]["Line6"]["text"]
        check(written.endswith("TB") or written.endswith("GB"), "nvme written " + written)
        check(frames["Orvane Flint 990 1TB"]["Line4"]["text"].startswith("EUI64: "), "nvme line 4")
        check(frames["Orvane Quill 860 256GB"]["Icon"]["picture"] == "IMG_ICON_SSD", "ssd icon")
        check(hdd["Icon"]["picture"] == "IMG_ICON_HDD", "hdd icon")
        # The SCSI disk: four N/A and no S.M.A.R.T. button.
        scsi = frames["ORVANE Orvane Span 600"]
        for part in ("Health.value", "Temperature.value", "Life.value"):
            check(scsi[part]["text"] == "N/A", "scsi %s %s" % (part, scsi[part]["text"]))
        check(scsi["Line6"]["text"] == "Total Bytes Written: N/A", "scsi written")
        check(scsi["Line4"]["text"] == "", "scsi line 4")
        check(not scsi["SmartButton"]["enabled"], "scsi S.M.A.R.T. button enabled")
        check(scsi["Line5"]["text"] == "Capacity: 600 GB", "scsi capacity")
        # Lettered volumes fill the bar; drives without letters show none.
        check_bar(frames["Orvane Quill 860 256GB"], BAR_SSD[0], BAR_SSD[1], dpi)
        check_bar(frames["Orvane Flint 990 1TB"], BAR_NVME[0], BAR_NVME[1], dpi)
        for n in ("Orvane Ridge 2TB", "ORVANE Orvane Span 600"):
            check(not frames[n]["Bar.background"]["visible"], "%s shows a bar" % n)
        # The first entry is selected: its frame alone is marked.
        marked = [n for n, f in frames.items() if f["Marker"]["visible"]]
        check(marked == [state["entries"][0]], "marked %s" % marked)
        shutil.copy(os.path.join(p.ui, main["capture"]), os.path.join(args.artifacts, "driveinfo-top.png"))

        # Choosing the last entry marks its frame and scrolls it up (limited to the range).
        last = len(state["entries"]) - 1
        r = p.request("select %d" % last)
        check(r["ok"], "select: %s" % r["errors"])
        d = p.dump("page-scrolled")
        main = window(d, "TFormTarvikdornMain")
        frames = disk_frames(main)
        want = state["entries"][last]
        marked = [n for n, f in frames.items() if f["Marker"]["visible"]]
        check(marked == [want], "marked %s, selected %s" % (marked, want))
        bar = control(main, "PageSsd.ScrollBar")
        k = sorted(f[""]["rect"]["top"] for f in frames.values()).index(frames[want][""]["rect"]["top"])
        pos = min(310 * k, 5 * 310 - 631)
        check(bar["extra"]["position"] == scale(pos, dpi), "position %s, expected %d" % (bar["extra"], pos))
        check(frames[want][""]["rect"]["top"] == scale(76 + 310 * k - pos, dpi), "selected frame top")
        shutil.copy(os.path.join(p.ui, main["capture"]), os.path.join(args.artifacts, "driveinfo-scrolled.png"))
        p.request("select 0")

        # Unplugging the NVMe drive moves the frames below it up and keeps its frame as a spare;
        # plugging it again reuses that frame.
        before = {n: f[""]["name"] for n, f in frames.items()}
        gone = os.path.join(p.sim, "nvme.drive")
        kept = os.path.join(p.dir, "nvme.drive.out")
        os.rename(gone, kept)
        p.wait_state("the removal", lambda s: s["devices"] == 4)
        main = window(p.dump("unplugged"), "TFormTarvikdornMain")
        frames = disk_frames(main)
        check(sorted(frames) == sorted(set(before) - {"Orvane Flint 990 1TB"}), "after removal %s" % sorted(frames))
        tops = sorted((f[""]["rect"]["top"], n) for n, f in frames.items())
        for k, (top, n) in enumerate(tops):
            check(top == scale(76 + 310 * k, dpi), "%s at %d after removal" % (n, top))
        spare = [c for c in main["controls"] if c["name"] == before["Orvane Flint 990 1TB"]]
        check(spare and not spare[0]["visible"], "the removed drive's frame is not a hidden spare")
        check(control(main, "PageSsd.ScrollBar")["extra"]["range"] == scale(4 * 310 - 631, dpi), "range after removal")
        os.rename(kept, gone)
        p.wait_state("the arrival", lambda s: s["devices"] == 5)
        main = window(p.dump("replugged"), "TFormTarvikdornMain")
        frames = disk_frames(main)
        check(frames["Orvane Flint 990 1TB"][""]["name"] == before["Orvane Flint 990 1TB"], "spare not reused")
        made = [c for c in main["controls"] if c["class"] == "TclDiskFrame"]
        check(len(made) == 5, "%d frames made" % len(made))

        # The S.M.A.R.T. window of the SSD (ATA view), opened by a real click, closed by its
        # close button.
        def open_smart(n):
            f = disk_frames(window(p.dump("before-" + n.split()[1]), "TFormTarvikdornMain"))[n]
            r = f["SmartButton"]["rect"]
            click(main, (r["left"] + r["width"] // 2) * 96 // dpi, (r["top"] + r["height"] // 2) * 96 // dpi, dpi)
            deadline = time.time() + 20
            while time.time() < deadline:
                d = p.dump("smart-" + n.split()[1])
                for w in d["windows"]:
                    if is_smart(w):
                        return d, w
                time.sleep(0.5)
            raise Failure("no S.M.A.R.T. window for " + n)

        # The SSD's frame is below the viewport: select it so it scrolls into view.
        select_drive(p, "Orvane Quill 860 256GB")
        d, w = open_smart("Orvane Quill 860 256GB")
        check(w["client"] == {"width": scale(646, dpi), "height": scale(444, dpi)}, "window client %s" % w["client"])
        ws = {c["name"]: c for c in w["controls"]}
        check(ws["Header"]["text"] == "S.M.A.R.T. Details:\nOrvane Quill 860 256GB", "header %r" % ws["Header"]["text"])
        check(ws["Header"]["backColor"] == "#0175E9", "header colour")
        ata, nvme = ws["SmartAtaView"], ws["SmartNvmeView"]
        check(ata["visible"] and not nvme["visible"], "ATA view not the one shown")
        check(ata["rect"] == {"left": scale(15, dpi), "top": scale(98, dpi), "width": scale(616, dpi), "height": scale(336, dpi)}, "view %s" % ata["rect"])
        cols = [(c["text"], c["width"]) for c in ata["extra"]["columns"]]
        check(cols == [(t, scale(wd, dpi)) for t, wd in [("ID", 40), ("Name", 210), ("Threshold", 80), ("Value", 50), ("Worst", 50), ("Raw Data", 150)]], "columns %s" % cols)
        rows = ata["extra"]["rows"]
        check(len(rows) >= 5 and all(len(r[0]) == 2 and len(r[5]) == 16 for r in rows), "rows %s" % rows)
        check(any(r[0] == "C2" for r in rows), "no temperature row")
        main_w = window(d, "TFormTarvikdornMain")
        mr, sr = main_w["rect"], w["rect"]
        check(sr["left"] == mr["left"] + (mr["width"] - sr["width"]) // 2, "window not centred")
        shutil.copy(os.path.join(p.ui, w["capture"]), os.path.join(args.artifacts, "smart-ata.png"))
        close = ws["CloseButton"]["rect"]
        xdo("mousemove", w["clientOrigin"]["x"] + close["left"] + close["width"] // 2,
            w["clientOrigin"]["y"] + close["top"] + close["height"] // 2)
        time.sleep(0.2)
        xdo("click", "1")
        deadline = time.time() + 10
        while time.time() < deadline and any(
                is_smart(x) for x in p.dump("closed")["windows"]):
            time.sleep(0.5)
        check(time.time() < deadline, "the close button left the window open")

        # The Drive Details button opens the details window for the frame's drive.
        f = disk_frames(window(p.dump("before-details"), "TFormTarvikdornMain"))["Orvane Quill 860 256GB"]
        r = f["DetailsButton"]["rect"]
        click(main, (r["left"] + r["width"] // 2) * 96 // dpi, (r["top"] + r["height"] // 2) * 96 // dpi, dpi)
        deadline = time.time() + 20
        shown = None
        while time.time() < deadline and not shown:
            for w in p.dump("details")["windows"]:
                if w["visible"] and any(c["name"] == "Header" and "Orvane Quill 860 256GB" in c["text"]
                                        and not c["text"].startswith("S.M.A.R.T.") for c in w["controls"]):
                    shown = w
            time.sleep(0.3)
        check(shown is not None, "the Drive Details button opened no details window")
        r = p.request("closedetail")
        check(r["ok"], "closedetail: %s" % r["errors"])

        # The NVMe view; unplugging the drive while its window is open closes the window.
        select_drive(p, "Orvane Flint 990 1TB")
        d, w = open_smart("Orvane Flint 990 1TB")
        ws = {c["name"]: c for c in w["controls"]}
        nvme = ws["SmartNvmeView"]
        check(nvme["visible"] and not ws["SmartAtaView"]["visible"], "NVMe view not the one shown")
        cols = [(c["text"], c["width"]) for c in nvme["extra"]["columns"]]
        check(cols == [("ID", scale(40, dpi)), ("Name", scale(390, dpi)), ("Value", scale(150, dpi))], "nvme columns %s" % cols)
        check(len(nvme["extra"]["rows"]) >= 10, "nvme rows %s" % nvme["extra"]["rows"])
        shutil.copy(os.path.join(p.ui, w["capture"]), os.path.join(args.artifacts, "smart-nvme.png"))
        os.rename(gone, kept)
        p.wait_state("the removal with the window open", lambda s: s["devices"] == 4)
        deadline = time.time() + 20
        while time.time() < deadline and any(
                is_smart(x) for x in p.dump("gone")["windows"]):
            time.sleep(0.5)
        check(time.time() < deadline, "the S.M.A.R.T. window of a removed drive stayed open")
        check(window(p.dump("after-close"), "TFormTarvikdornMain")["enabled"], "main window left disabled")
        p.request("close")
        check(p.wait_exit() == 0, "the program did not end cleanly")
    finally:
        p.stop()


def scenario_smartscroll(args):
    """The S.M.A.R.T. window of a drive with 30 attributes, more than its list shows: scrolled by
    the wheel, its capture draws the list's scroll bar where the screen shows it."""
    folder = os.path.join(args.artifacts, "smartscroll-drives")
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    ids = [1, 3, 4, 5, 7, 9, 10, 12, 170, 171, 172, 173, 174, 177, 181, 182, 183, 184, 187, 188,
           190, 194, 195, 196, 197, 198, 199, 235, 241, 242]
    pages = subprocess.run([sys.executable, os.path.join(TOOLS, "smartpages.py"), "ata"] +
                           ["%d:100:100:10:%d" % (i, 3 * i) for i in ids],
                           capture_output=True, text=True, check=True).stdout
    model = "Orvane Quill 30 Attributes"
    with open(os.path.join(folder, "many.drive"), "w") as f:
        f.write("[Drive]\nBus=SATA\nModel=%s\nSerial=QA30-0001\nCapacity=64G\nTrim=1\n\n[Ata]\n%s"
                % (model, pages))
    a = argparse.Namespace(**vars(args))
    a.sim = folder
    p = Program(a, "smartscroll")
    try:
        started(p)
        main = window(p.dump("page"), "TFormTarvikdornMain")
        deadline = time.time() + 20
        while True:
            f = disk_frames(main).get(model)
            if f and f["SmartButton"]["enabled"]:
                break
            check(time.time() < deadline, "no enabled S.M.A.R.T. button for " + model)
            time.sleep(0.5)
            main = window(p.dump("page"), "TFormTarvikdornMain")
        r = f["SmartButton"]["rect"]
        dpi = p.dump("page")["dpi"]
        click(main, (r["left"] + r["width"] // 2) * 96 // dpi, (r["top"] + r["height"] // 2) * 96 // dpi, dpi)

        def smart_window(d):
            for w in d["windows"]:
                if is_smart(w):
                    return w
            raise Failure("no S.M.A.R.T. window")
        deadline = time.time() + 20
        while not any(is_smart(w) for w in p.dump("smart")["windows"]):
            check(time.time() < deadline, "the S.M.A.R.T. button opened no window")
            time.sleep(0.5)
        rows = control(smart_window(p.dump("smart")), "SmartAtaView")["extra"]["rows"]
        check([r[0] for r in rows] == ["%02X" % i for i in ids], "rows %s" % [r[0] for r in rows])
        check_scrolled_capture(p, smart_window, "SmartAtaView", "smart-scrolled")
        p.request("close")
    finally:
        p.stop()


SCENARIOS = {
    "layout": scenario_layout, "hotplug": scenario_hotplug, "menu": scenario_menu,
    "drag": scenario_drag, "close": scenario_close, "instance": scenario_instance,
    "boxes": scenario_boxes, "vista": scenario_vista, "restartbound": scenario_restartbound,
    "dpi192": scenario_dpi192, "languages": scenario_languages, "selector": scenario_selector,
    "driveinfo": scenario_driveinfo, "smartscroll": scenario_smartscroll,
}


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--exe", required=True)
    ap.add_argument("--sim", required=True, help="the example drives (copied)")
    ap.add_argument("--artifacts", required=True)
    ap.add_argument("--prefix", required=True, help="the Wine prefix of these tests")
    ap.add_argument("--wine", default="wine")
    ap.add_argument("scenarios", nargs="*", default=list(SCENARIOS))
    args = ap.parse_args()
    for a in ("exe", "sim", "artifacts", "prefix"):
        setattr(args, a, os.path.abspath(getattr(args, a)))
    return run_scenarios(args, {name: SCENARIOS[name] for name in args.scenarios})


def run_scenarios(args, scenarios, tools=()):
    """Runs {name: scenario(args)} with the checks and the clean-up every Wine window test
    shares: 77 without a display or a tool, else 1 when any scenario failed."""
    if not os.environ.get("DISPLAY"):
        print("no X display (run under xvfb-run)", file=sys.stderr)
        return 77
    for tool in ("xdotool", "import", args.wine) + tuple(tools):
        if not shutil.which(tool):
            print("skipped: %s is not installed" % tool, file=sys.stderr)
            return 77
    os.makedirs(args.artifacts, exist_ok=True)
    failed = 0
    for name, scenario in scenarios.items():
        try:
            scenario(args)
            print("ok   %s" % name)
        except Failure as e:
            failed += 1
            print("FAIL %s: %s" % (name, e))
    subprocess.run(["wineserver", "-k"], env=wine_env(args), check=False)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
