#!/usr/bin/env python3
"""Runs the uninstaller under Wine against an installation the test makes in a prefix of its own.

Each scenario builds the installation afresh: the install folder with the real Tarvikdorn.exe,
the uninstaller under its installed name and the task file; the uninstall key and the HKLM Run
value in both registry views and the HKCU Run value (through Wine's reg.exe); shortcuts in the
all-users Desktop (one read-only), Startup and Programs\\VORNA; the application data folder with
Config.ini, a settings file, a subfolder and a host symbolic link to a canary folder outside; a
"Zolt\\Other" folder; and the task "Tarvik" made with Wine's schtasks. Run it inside an X server
(xvfb-run -a -s "-screen 0 1024x768x24"). Dumps and screenshots stay in --artifacts.
"""
import argparse
import json
import os
import shutil
import subprocess
import sys
import time

UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\VornaTarvikdorn"
RUN_KEY = r"Software\Microsoft\Windows\CurrentVersion\Run"
DEFAULT_INSTALL = r"C:\Program Files\VORNA\Tarvik"
# '%', '&' and a character without a spelling in the OEM code page (437 here).
ODD_INSTALL = "C:\\Program Files\\VORNA\\Tarvik 50% & \u4E2D"
DESKTOP = r"C:\users\Public\Desktop"
PROGRAMS = r"C:\ProgramData\Microsoft\Windows\Start Menu\Programs"
STARTUP = PROGRAMS + r"\StartUp"
APPDATA = r"C:\ProgramData\Zolt\VornaTarvikdorn"
LANGUAGES = ["ENG", "CHS", "CHT", "JPN", "KOR", "RUS"]
MESSAGES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..", "resources",
                        "messages", "uninstall")
TASK_XML = """<?xml version="1.0" encoding="UTF-16"?>
<Task version="1.2" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">
  <Triggers><LogonTrigger><Enabled>true</Enabled></LogonTrigger></Triggers>
  <Actions Context="Author"><Exec><Command>Tarvikdorn.exe</Command></Exec></Actions>
</Task>
"""


class Failure(Exception):
    pass


class Skip(Exception):
    pass


def check(cond, what):
    if not cond:
        raise Failure(what)


def table(code):
    out = {}
    with open(os.path.join(MESSAGES, code + ".txt"), encoding="utf-8") as f:
        for line in f:
            ident, _, text = line.rstrip("\n").partition("\t")
            out[int(ident)] = text
    return out


class Wine:
    def __init__(self, prefix, artifacts):
        self.prefix = os.path.abspath(prefix)
        self.artifacts = artifacts
        self.env = dict(os.environ, WINEPREFIX=self.prefix, WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=")
        self.wine = shutil.which("wine64") or shutil.which("wine")
        if not self.wine:
            raise Skip("wine is not installed")

    def run(self, *args, timeout=120, cwd=None):
        return subprocess.run([self.wine, *args], env=self.env, timeout=timeout, cwd=cwd,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE)

    def start(self, *args):
        return subprocess.Popen([self.wine, *args], env=self.env, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)

    def host(self, path):
        check(path[1:3] == ":\\", path)
        drive = os.path.join(self.prefix, "drive_" + path[0].lower())
        return os.path.join(drive, *path[3:].split("\\"))

    def boot(self):
        if not os.path.isdir(os.path.join(self.prefix, "drive_c")):
            subprocess.run([shutil.which("wineboot") or "wineboot", "-i"], env=self.env,
                           timeout=300, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.server_wait()

    def server_wait(self):
        subprocess.run(["wineserver", "-w"], env=self.env, timeout=300)

    def kill(self):
        subprocess.run(["wineserver", "-k"], env=self.env, timeout=60)

    def reg_has(self, key, value, view):
        r = self.run("reg", "query", key, "/v", value, "/reg:" + view)
        return r.returncode == 0

    def task_exists(self):
        # Deleting is the only question Wine's schtasks answers: status 0 when it was there.
        return self.run("schtasks", "/delete", "/tn", "Tarvik", "/f").returncode == 0


class Installation:
    def __init__(self, wine, install, uninstaller, main, canary):
        self.w = wine
        self.install = install
        self.uninstaller = install + "\\VORNA_TarvikdornUninstall.exe"
        self.main = install + "\\Tarvikdorn.exe"
        self.canary = canary
        self.make(uninstaller, main)

    def make(self, uninstaller, main):
        w = self.w
        for p in (DEFAULT_INSTALL, ODD_INSTALL, r"C:\ProgramData\Zolt", PROGRAMS + r"\VORNA"):
            shutil.rmtree(w.host(p), ignore_errors=True)
        for p in (DESKTOP + r"\VORNA Tarvik.LNK", STARTUP + r"\VORNA Tarvik.LNK"):
            if os.path.lexists(w.host(p)):
                os.chmod(w.host(p), 0o644)
                os.remove(w.host(p))
        os.makedirs(w.host(self.install))
        shutil.copyfile(main, w.host(self.main))
        shutil.copyfile(uninstaller, w.host(self.uninstaller))
        with open(w.host(self.install + r"\VornaTarvikdorn.xml"), "wb") as f:
            f.write(TASK_XML.encode("utf-16"))
        for view in ("64", "32"):
            for args in (["add", UNINSTALL_KEY, "/v", "UninstallString", "/t", "REG_SZ", "/d",
                          '"%s"' % self.uninstaller, "/f"],
                         ["add", UNINSTALL_KEY + r"\Nested", "/v", "X", "/d", "y", "/f"],
                         ["add", "HKLM\\" + RUN_KEY, "/v", "VornaTarvikdorn", "/d",
                          '"%s"' % self.main, "/f"],
                         ["add", "HKLM\\" + RUN_KEY, "/v", "KeepMe", "/d", "x", "/f"]):
                check(w.run("reg", *args, "/reg:" + view).returncode == 0, "reg " + str(args))
        check(w.run("reg", "add", "HKCU\\" + RUN_KEY, "/v", "VornaTarvikdorn", "/d", "x",
                    "/f").returncode == 0, "HKCU Run")
        for folder, name, readonly in ((DESKTOP, "VORNA Tarvik.LNK", True),
                                       (STARTUP, "VORNA Tarvik.LNK", False),
                                       (PROGRAMS + r"\VORNA", "VORNA Tarvik.LNK", False),
                                       (PROGRAMS + r"\VORNA", "Uninstall.LNK", False)):
            os.makedirs(w.host(folder), exist_ok=True)
            path = w.host(folder + "\\" + name)
            with open(path, "wb") as f:
                f.write(b"L\0\0\0shortcut")
            if readonly:
                os.chmod(path, 0o444)
        data = w.host(APPDATA)
        os.makedirs(os.path.join(data, "bin"))
        with open(os.path.join(data, "Config.ini"), "wb") as f:
            f.write("[UI]\r\nLang=ENG\r\n".encode("utf-16"))
        with open(os.path.join(data, "Disk_TEST.ini"), "w") as f:
            f.write("[Smart]\nHealthWarning=90\n")
        with open(os.path.join(data, "bin", "service.exe"), "wb") as f:
            f.write(b"MZ")
        shutil.rmtree(self.canary, ignore_errors=True)
        os.makedirs(self.canary)
        with open(os.path.join(self.canary, "canary.txt"), "w") as f:
            f.write("keep me\n")
        os.symlink(self.canary, os.path.join(data, "link"))
        os.makedirs(w.host(r"C:\ProgramData\Zolt\Other"))
        with open(w.host(r"C:\ProgramData\Zolt\Other\keep.txt"), "w") as f:
            f.write("other product\n")
        w.run("schtasks", "/delete", "/tn", "Tarvik", "/f")
        xml = self.install + r"\VornaTarvikdorn.xml"
        check(w.run("schtasks", "/create", "/xml", xml, "/tn", "Tarvik").returncode == 0,
              "schtasks /create")

    # --- what is left ---------------------------------------------------------------------
    def items(self):
        w = self.w
        h = w.host
        return {
            "task file": os.path.exists(h(self.install + r"\VornaTarvikdorn.xml")),
            "main program": os.path.exists(h(self.main)),
            "desktop shortcut": os.path.lexists(h(DESKTOP + r"\VORNA Tarvik.LNK")),
            "startup shortcut": os.path.lexists(h(STARTUP + r"\VORNA Tarvik.LNK")),
            "menu folder": os.path.exists(h(PROGRAMS + r"\VORNA")),
            "application data": self.app_data_left(),
            "run 64": w.reg_has("HKLM\\" + RUN_KEY, "VornaTarvikdorn", "64"),
            "run 32": w.reg_has("HKLM\\" + RUN_KEY, "VornaTarvikdorn", "32"),
            "run user": w.reg_has("HKCU\\" + RUN_KEY, "VornaTarvikdorn", "64"),
            "uninstall key 64": w.run("reg", "query", UNINSTALL_KEY, "/reg:64").returncode == 0,
            "uninstall key 32": w.run("reg", "query", UNINSTALL_KEY, "/reg:32").returncode == 0,
        }

    def task_present(self):
        if not self.w.task_exists():
            return False
        # Put back what the question took away.
        check(self.w.run("schtasks", "/create", "/xml", self.install + r"\VornaTarvikdorn.xml",
                         "/tn", "Tarvik").returncode == 0, "schtasks /create")
        return True

    def app_data_left(self):
        # Wine 8 cannot remove a host symbolic link by any Windows call (its cmd's "rd" and
        # "del" fail on it too), so the link alone may stay, and with it its folder.
        data = self.w.host(APPDATA)
        if not os.path.lexists(data):
            return False
        return os.listdir(data) != ["link"] or not os.path.islink(os.path.join(data, "link"))

    def expect_untouched_outside(self):
        w = self.w
        check(os.path.exists(os.path.join(self.canary, "canary.txt")), "canary removed")
        check(os.path.exists(w.host(r"C:\ProgramData\Zolt\Other\keep.txt")), "Zolt\\Other removed")
        for view in ("64", "32"):
            check(w.reg_has("HKLM\\" + RUN_KEY, "KeepMe", view), "another Run value removed")

    def expect_all_present(self):
        left = self.items()
        gone = [k for k, v in left.items() if not v]
        check(not gone, "removed: %s" % gone)
        check(os.path.exists(self.w.host(self.uninstaller)), "uninstaller removed")
        check(self.task_present(), "task removed")
        self.expect_untouched_outside()

    def expect_all_removed(self):
        left = self.items()
        kept = [k for k, v in left.items() if v]
        check(not kept, "left in place: %s" % kept)
        check(not self.task_present(), "task still there")
        self.expect_untouched_outside()


def find_window(name, timeout=60):
    end = time.time() + timeout
    while time.time() < end:
        r = subprocess.run(["xdotool", "search", "--name", name], stdout=subprocess.PIPE,
                           stderr=subprocess.DEVNULL, text=True)
        if r.stdout.strip():
            return r.stdout.split()[0]
        time.sleep(0.5)
    return None


class TestMode:
    """The uninstaller's --ui-test folder: requests in, replies and dumps out."""

    def __init__(self, folder):
        self.folder = folder
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        self.n = 0

    def ask(self, lines, timeout=30):
        self.n += 1
        reply = os.path.join(self.folder, "reply.json")
        if os.path.exists(reply):
            os.remove(reply)
        tmp = os.path.join(self.folder, "request.tmp")
        with open(tmp, "w") as f:
            f.write("id %d\n" % self.n + "".join(l + "\n" for l in lines))
        os.rename(tmp, os.path.join(self.folder, "request"))
        end = time.time() + timeout
        while time.time() < end:
            try:
                with open(reply) as f:
                    r = json.load(f)
                if r.get("id") == str(self.n):
                    return r
            except (OSError, ValueError):
                pass
            time.sleep(0.2)
        raise Failure("no reply to " + str(lines))

    def dump(self, name):
        r = self.ask(["dump " + name])
        check(r["ok"], "dump " + name)
        with open(os.path.join(self.folder, name + ".json")) as f:
            return json.load(f), r["state"]

    def wait_page(self, page, timeout=60):
        end = time.time() + timeout
        while time.time() < end:
            r = self.ask([])
            if r["state"]["page"] == page and not r["state"]["running"]:
                return r["state"]
            time.sleep(0.3)
        raise Failure("page %d not reached" % page)


def wizard_window(dump):
    for w in dump["windows"]:
        if w["caption"] == "VORNA Tarvik Uninstaller" and w["visible"]:
            return w
    raise Failure("no wizard window in the dump")


def control(window, name):
    for c in window["controls"]:
        if c["name"] == name:
            return c
    raise Failure("no control " + name)


def click(window, name):
    c = control(window, name)
    check(c["visible"], name + " hidden")
    r = c["rect"]
    x = window["clientOrigin"]["x"] + r["left"] + r["width"] // 2
    y = window["clientOrigin"]["y"] + r["top"] + r["height"] // 2
    subprocess.run(["xdotool", "mousemove", str(x), str(y)], check=True)
    time.sleep(0.3)
    subprocess.run(["xdotool", "click", "1"], check=True)


def wait_exit(proc, timeout=90):
    try:
        return proc.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        proc.kill()
        raise Failure("did not end")


def start_main(w, inst, sim, artifacts):
    drives = os.path.join(artifacts, "drives")
    shutil.rmtree(drives, ignore_errors=True)
    shutil.copytree(sim, drives)
    proc = w.start(inst.main, "--simulate", "Z:" + drives.replace("/", "\\"))
    check(find_window("^Tarvik$", 90), "the main program's window did not appear")
    return proc


def start_main_busy(w, inst, sim, artifacts):
    drives = os.path.join(artifacts, "drives")
    shutil.rmtree(drives, ignore_errors=True)
    shutil.copytree(sim, drives)
    folder = os.path.join(artifacts, "main-ui")
    tm = TestMode(folder)
    proc = w.start(inst.main, "--simulate", "Z:" + drives.replace("/", "\\"), "--ui-test",
                   "Z:" + folder.replace("/", "\\"))
    check(find_window("^Tarvik$", 90), "the main program's window did not appear")
    end = time.time() + 90
    while time.time() < end:
        r = tm.ask(["busy on"])
        if r["state"].get("started") and r["state"].get("busy"):
            return proc, tm
        time.sleep(1)
    raise Failure("the main program did not take the busy lock")


def start_wizard(w, inst, artifacts, name):
    folder = os.path.join(artifacts, name)
    tm = TestMode(folder)
    proc = w.start(inst.uninstaller, "--ui-test", "Z:" + folder.replace("/", "\\"))
    check(find_window("^VORNA Tarvik Uninstaller$", 60), "no wizard window")
    time.sleep(1)
    return proc, tm


def batch_folders(w):
    temp = w.host(r"C:\windows\temp")
    return [n for n in os.listdir(temp) if n.startswith("TarvikdornUninstall-")]


# --- scenarios ------------------------------------------------------------------------------

def scenario_silent(w, args):
    inst = Installation(w, DEFAULT_INSTALL, args.uninstaller, args.main, args.canary)
    main = start_main(w, inst, args.sim, args.artifacts)
    r = w.run(inst.uninstaller, "-silent", timeout=180)
    check(r.returncode == 0, "-silent ended with %d" % r.returncode)
    check(wait_exit(main, 30) is not None, "main program still running")
    inst.expect_all_removed()
    check(os.path.exists(w.host(inst.uninstaller)), "-silent removed the uninstaller")
    check(os.path.isdir(w.host(inst.install)), "-silent removed the install folder")
    check(not batch_folders(w), "-silent wrote a batch")


def scenario_busy(w, args):
    inst = Installation(w, DEFAULT_INSTALL, args.uninstaller, args.main, args.canary)
    main, _ = start_main_busy(w, inst, args.sim, args.artifacts)
    try:
        r = w.run(inst.uninstaller, "-silent", timeout=180)
        # The host sees the low 8 bits of the exit status.
        check(r.returncode == 20054 & 0xFF,
              "-silent against a busy program ended with %d" % r.returncode)
        check(main.poll() is None, "the busy program ended")
        inst.expect_all_present()
        # The wizard: the same bound, then the message and the Start page.
        proc, tm = start_wizard(w, inst, args.artifacts, "busy-wizard")
        dump, _ = tm.dump("start")
        click(wizard_window(dump), "ButtonC")
        time.sleep(3)
        dump, state = tm.dump("progress")
        check(state["page"] == 2 and state["running"], "not running on the Progress page")
        end = time.time() + 90
        while time.time() < end and not tm.ask([])["state"]["box"]:
            time.sleep(1)
        dump, state = tm.dump("busy-box")
        box = [x for x in dump["windows"] if x["class"] == "TFormAlert"]
        check(box, "no message box")
        texts = [c["text"] for c in box[0]["controls"] if c["name"] == "Text"]
        check(texts == ["Tarvik is busy. Close it and try again."], "box text %s" % texts)
        tm.ask(["closebox"])
        state = tm.wait_page(1)
        inst.expect_all_present()
        w.run("taskkill", "/f", "/im", "VORNA_TarvikdornUninstall.exe")
        wait_exit(proc, 30)
    finally:
        main.kill()
        w.kill()


def scenario_no(w, args):
    inst = Installation(w, DEFAULT_INSTALL, args.uninstaller, args.main, args.canary)
    proc, tm = start_wizard(w, inst, args.artifacts, "no")
    dump, state = tm.dump("start")
    check(state["page"] == 1, "not on the Start page")
    click(wizard_window(dump), "ButtonB")
    check(wait_exit(proc) == 0, "No did not end the program")
    inst.expect_all_present()
    check(os.path.exists(w.host(inst.uninstaller)), "uninstaller removed")


def yes_path(w, args, install, name):
    inst = Installation(w, install, args.uninstaller, args.main, args.canary)
    before = set(batch_folders(w))
    proc, tm = start_wizard(w, inst, args.artifacts, name)
    dump, _ = tm.dump("start")
    click(wizard_window(dump), "ButtonC")
    tm.wait_page(3, 120)
    dump, state = tm.dump("final")
    window = wizard_window(dump)
    check(control(window, "ButtonB")["text"] == "Done", "Final page without Done")
    check(not control(window, "ButtonC")["visible"], "Yes on the Final page")
    inst.expect_all_removed()
    click(window, "ButtonB")
    check(wait_exit(proc) == 0, "Done did not end the program")
    end = time.time() + 90
    temp = w.host(r"C:\windows\temp")

    def batch_left():
        # Wine's cmd keeps the running batch open, so its folder may stay, empty, until the
        # next start of the system removes it.
        return [n for n in set(batch_folders(w)) - before if os.listdir(os.path.join(temp, n))]

    while time.time() < end:
        if (not os.path.exists(w.host(inst.uninstaller)) and
                not os.path.exists(w.host(inst.install)) and not batch_left()):
            break
        time.sleep(1)
    check(not os.path.exists(w.host(inst.uninstaller)), "uninstaller left")
    check(not os.path.exists(w.host(inst.install)), "install folder left")
    check(not batch_left(), "batch left")
    w.server_wait()
    subprocess.run(["wineboot", "-r"], env=w.env, timeout=300, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    w.server_wait()
    check(set(batch_folders(w)) <= before, "batch folder left after a restart")
    check(os.path.isdir(w.host(r"C:\Program Files\VORNA")), "the company folder went too")
    inst.expect_untouched_outside()


def scenario_yes(w, args):
    yes_path(w, args, DEFAULT_INSTALL, "yes")


def scenario_oddname(w, args):
    yes_path(w, args, ODD_INSTALL, "oddname")


def scenario_sharing(w, args):
    inst = Installation(w, DEFAULT_INSTALL, args.uninstaller, args.main, args.canary)
    # A helper process holds the main program file open without delete sharing until its
    # input ends.
    check(args.holder, "--holder is needed")
    holder = subprocess.Popen([w.wine, args.holder, inst.main], env=w.env, stdin=subprocess.PIPE,
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    try:
        check(holder.stdout.readline().strip() == b"held", "the helper holds nothing")
        proc, tm = start_wizard(w, inst, args.artifacts, "sharing")
        dump, _ = tm.dump("start")
        click(wizard_window(dump), "ButtonC")
        end = time.time() + 60
        while time.time() < end and not tm.ask([])["state"]["box"]:
            time.sleep(0.5)
        dump, state = tm.dump("box")
        box = [x for x in dump["windows"] if x["class"] == "TFormAlert"]
        check(box, "no message box")
        text = [c["text"] for c in box[0]["controls"] if c["name"] == "Text"][0]
        lowered = text.lower()
        check("shar" in lowered or "another process" in lowered, "box text: " + text)
        check(box[0]["caption"] == "VORNA Tarvik Uninstaller", "box caption")
        check([c["text"] for c in box[0]["controls"] if c["name"] == "PrimaryButton"] == ["OK"],
              "box button")
        tm.ask(["closebox"])
        tm.wait_page(1)
        left = inst.items()
        check(left["main program"], "the held file went")
        check(not left["desktop shortcut"], "the steps before it did not run")
        check(left["uninstall key 64"] and left["uninstall key 32"], "steps after it ran")
        dump, _ = tm.dump("start-again")
        click(wizard_window(dump), "ButtonB")
        wait_exit(proc)
    finally:
        holder.stdin.close()
        holder.wait(timeout=30)


def scenario_instance(w, args):
    inst = Installation(w, DEFAULT_INSTALL, args.uninstaller, args.main, args.canary)
    proc, tm = start_wizard(w, inst, args.artifacts, "instance")
    second = w.start(inst.uninstaller)
    check(wait_exit(second, 60) == 0, "the second start did not end")
    r = subprocess.run(["xdotool", "search", "--name", "^VORNA Tarvik Uninstaller$"],
                       stdout=subprocess.PIPE, text=True)
    dump, state = tm.dump("after-second")
    check(len([x for x in dump["windows"] if x["visible"]]) == 1, "a second wizard")
    check(state["page"] == 1, "the second start moved the wizard")
    click(wizard_window(dump), "ButtonB")
    wait_exit(proc)
    inst.expect_all_present()


def scenario_languages(w, args):
    inst = Installation(w, DEFAULT_INSTALL, args.uninstaller, args.main, args.canary)
    main, _ = start_main_busy(w, inst, args.sim, args.artifacts)
    try:
        for code in LANGUAGES:
            with open(w.host(APPDATA + r"\Config.ini"), "wb") as f:
                f.write(("[UI]\r\nLang=%s\r\n" % code).encode("utf-16"))
            texts = table(code)
            proc, tm = start_wizard(w, inst, args.artifacts, "lang-" + code)
            dump, _ = tm.dump("start")
            window = wizard_window(dump)
            check(control(window, "PageTitle")["text"] == texts[20050].replace("%s", "Tarvik"),
                  code + " title")
            check(control(window, "ButtonC")["text"] == texts[20002], code + " Yes")
            click(window, "ButtonC")
            time.sleep(3)
            dump, state = tm.dump("progress")
            window = wizard_window(dump)
            check(control(window, "PageTitle")["text"] == texts[20052], code + " progress title")
            check(control(window, "ButtonB")["text"] == texts[20005], code + " Cancel")
            click(window, "ButtonB")
            tm.wait_page(1, 60)
            w.run("taskkill", "/f", "/im", "VORNA_TarvikdornUninstall.exe")
            wait_exit(proc, 30)
        # The Final page: the main program ends, the removal runs through.
        main.kill()
        w.run("taskkill", "/f", "/im", "Tarvikdorn.exe")
        for code in LANGUAGES:
            inst = Installation(w, DEFAULT_INSTALL, args.uninstaller, args.main, args.canary)
            with open(w.host(APPDATA + r"\Config.ini"), "wb") as f:
                f.write(("[UI]\r\nLang=%s\r\n" % code).encode("utf-16"))
            texts = table(code)
            proc, tm = start_wizard(w, inst, args.artifacts, "lang-final-" + code)
            dump, _ = tm.dump("start")
            click(wizard_window(dump), "ButtonC")
            tm.wait_page(3, 120)
            dump, _ = tm.dump("final")
            window = wizard_window(dump)
            check(control(window, "PageTitle")["text"] == texts[20053], code + " final title")
            check(control(window, "ButtonB")["text"] == texts[20023], code + " Done")
            w.run("taskkill", "/f", "/im", "VORNA_TarvikdornUninstall.exe")
            wait_exit(proc, 30)
    finally:
        main.kill()
        w.kill()


SCENARIOS = {
    "silent": scenario_silent,
    "no": scenario_no,
    "yes": scenario_yes,
    "oddname": scenario_oddname,
    "busy": scenario_busy,
    "instance": scenario_instance,
    "sharing": scenario_sharing,
    "languages": scenario_languages,
}


def main(argv=None):
    ap = argparse.ArgumentParser()
    ap.add_argument("--uninstaller", required=True)
    ap.add_argument("--main", required=True)
    ap.add_argument("--sim", required=True)
    ap.add_argument("--holder", help="the helper that holds a file open (sharing scenario)")
    ap.add_argument("--prefix", required=True)
    ap.add_argument("--artifacts", required=True)
    ap.add_argument("scenario", choices=sorted(SCENARIOS))
    args = ap.parse_args(argv)
    args.artifacts = os.path.abspath(os.path.join(args.artifacts, args.scenario))
    os.makedirs(args.artifacts, exist_ok=True)
    args.canary = os.path.join(args.artifacts, "canary")
    try:
        if not shutil.which("xdotool"):
            raise Skip("xdotool is not installed")
        if not os.environ.get("DISPLAY"):
            raise Skip("no X display")
        w = Wine(args.prefix + "-" + args.scenario, args.artifacts)
        w.boot()
        try:
            SCENARIOS[args.scenario](w, args)
        finally:
            w.kill()
    except Skip as e:
        print("skipped:", e)
        return 77
    except Failure as e:
        print("FAILED:", e)
        return 1
    print("passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
