"""Host side of the QEMU test harness: boots Debian's kernel with the cached initramfs and a set of
emulated drives (a profile), shares a folder with the guest over 9p, runs a command file there,
answers the guest's hot-plug requests through QMP and brings the guest's output back.

Used by the `run-guest` command and imported by the tests."""

import json
import os
import shlex
import shutil
import socket
import subprocess
import sys
import tempfile
import time
from dataclasses import dataclass, field
from pathlib import Path

HERE = Path(__file__).resolve().parent
TOP = HERE.parent.parent
DEFAULT_CACHE = Path(os.environ.get("TVD_QEMU_CACHE", TOP / "build" / "qemu-cache"))
QEMU = os.environ.get("TVD_QEMU", "qemu-system-x86_64")

EXIT_SKIP = 77  # CTest's skip code: no QEMU, no assets
EXIT_HARNESS = 125  # the guest did not boot, did not finish in time, or the host side failed


class Skip(Exception):
    """The run cannot happen on this machine (not a failure of what is tested)."""


class HarnessError(Exception):
    pass


@dataclass
class Drive:
    """One emulated disk: a sparse image of `size` bytes and the QEMU device that shows it.

    `props` are the device's QEMU properties with Python types (bool, int, str); they serve both
    the command line and QMP device_add, so a drive unplugged by id can be plugged back."""

    id: str
    device: str
    size: int
    props: dict = field(default_factory=dict)
    fmt: str = "qcow2"
    # blkdebug rules (the text of its config file) that make reads of the image fail where a
    # test wants a bad sector; the image is then raw under blkdebug.
    blkdebug: str = ""

    @property
    def node(self):
        return f"{self.id}-img"

    def device_props(self):
        return {"driver": self.device, "id": self.id, "drive": self.node, **self.props}


@dataclass
class Profile:
    name: str
    description: str
    drives: list
    # Controllers and buses the drives hang on, as -device arguments.
    controllers: list = field(default_factory=list)
    machine: str = "q35"
    memory_mb: int = 768
    # Further QEMU arguments (firmware tables, NICs), given as they are.
    extra_args: list = field(default_factory=list)

    def drive(self, drive_id):
        for d in self.drives:
            if d.id == drive_id:
                return d
        raise HarnessError(f"profile {self.name} has no drive {drive_id}")


KiB, MiB, GiB, TiB = 1 << 10, 1 << 20, 1 << 30, 1 << 40

# The unreadable spot of the faults profile, in 512-byte units as blkdebug counts them.
BAD_SECTOR = 300008
BAD_SECTOR_RULE = """[inject-error]
event = "none"
iotype = "read"
errno = "5"
sector = "{sector}"
"""

PROFILES = {
    "storage": Profile(
        name="storage",
        description="SATA on AHCI, NVMe, SCSI 512 and 4096-byte sectors, SCSI above 2 TiB, USB mass storage",
        controllers=[
            # q35's own ICH9 AHCI gives the SATA buses ide.0 .. ide.5.
            "virtio-scsi-pci,id=scsi0",
            "qemu-xhci,id=xhci",
            # A root port so that the NVMe controller can be unplugged and plugged again.
            "pcie-root-port,id=rp1,chassis=1,slot=1",
        ],
        drives=[
            # A world wide name, so that every tool has one to show (words 108-111).
            Drive("sata1", "ide-hd", 2 * GiB,
                  {"bus": "ide.0", "serial": "TVDSATA0001", "model": "TVD SATA DISK",
                   "wwn": 0x5000C50012345678}),
            Drive("nvme1", "nvme", 4 * GiB, {"bus": "rp1", "serial": "TVDNVME0001"}),
            Drive("scsi512", "scsi-hd", 1 * GiB,
                  {"bus": "scsi0.0", "scsi-id": 1, "lun": 0, "serial": "TVDSCSI0512",
                   "vendor": "TVD", "product": "SCSI 512"}),
            Drive("scsi4k", "scsi-hd", 1 * GiB,
                  {"bus": "scsi0.0", "scsi-id": 2, "lun": 0, "serial": "TVDSCSI4096",
                   "vendor": "TVD", "product": "SCSI 4K", "logical_block_size": 4096,
                   "physical_block_size": 4096}),
            Drive("scsibig", "scsi-hd", 3 * TiB,
                  {"bus": "scsi0.0", "scsi-id": 3, "lun": 0, "serial": "TVDSCSI3TIB",
                   "vendor": "TVD", "product": "SCSI 3T"}),
            Drive("usb1", "usb-storage", 512 * MiB,
                  {"bus": "xhci.0", "serial": "TVDUSB0001", "removable": True}),
        ],
    ),
    # USB disks on each transport the Linux drivers serve: bulk-only on xHCI, behind a hub and
    # on EHCI (usb-storage), and UAS on xHCI (uas).
    "usb": Profile(
        name="usb",
        description="USB mass storage on xHCI, behind a hub and on EHCI; UAS on xHCI",
        controllers=[
            "qemu-xhci,id=xhci",
            "usb-ehci,id=ehci",
            "usb-hub,id=hub1,bus=xhci.0,port=3",
            "usb-uas,id=uas1,bus=xhci.0,port=2,serial=TVDUSBUAS",
        ],
        drives=[
            Drive("bot1", "usb-storage", 256 * MiB,
                  {"bus": "xhci.0", "port": "1", "serial": "TVDUSBBOT", "removable": True}),
            Drive("uasdisk", "scsi-hd", 256 * MiB,
                  {"bus": "uas1.0", "scsi-id": 0, "lun": 0, "serial": "TVDUASDISK"}),
            Drive("hubdisk", "usb-storage", 256 * MiB,
                  {"bus": "xhci.0", "port": "3.2", "serial": "TVDUSBHUB"}),
            Drive("ehcidisk", "usb-storage", 256 * MiB,
                  {"bus": "ehci.0", "port": "1", "serial": "TVDUSBEHCI"}),
        ],
    ),
    # Disks with a bad sector (blkdebug fails every read that touches it) and a clean one, for
    # the surface scan.
    "faults": Profile(
        name="faults",
        description="SCSI disks with an unreadable sector (512 and 4096-byte sectors), a clean SCSI disk",
        controllers=["virtio-scsi-pci,id=scsi0"],
        drives=[
            Drive("bad512", "scsi-hd", 256 * MiB,
                  {"bus": "scsi0.0", "scsi-id": 0, "lun": 0, "serial": "TVDBAD512",
                   "vendor": "TVD", "product": "SCSI BAD 512"}, fmt="raw",
                  blkdebug=BAD_SECTOR_RULE.format(sector=BAD_SECTOR)),
            Drive("bad4k", "scsi-hd", 256 * MiB,
                  {"bus": "scsi0.0", "scsi-id": 1, "lun": 0, "serial": "TVDBAD4K",
                   "vendor": "TVD", "product": "SCSI BAD 4K", "logical_block_size": 4096,
                   "physical_block_size": 4096}, fmt="raw",
                  blkdebug=BAD_SECTOR_RULE.format(sector=BAD_SECTOR)),
            Drive("clean", "scsi-hd", 512 * MiB,
                  {"bus": "scsi0.0", "scsi-id": 2, "lun": 0, "serial": "TVDCLEAN",
                   "vendor": "TVD", "product": "SCSI CLEAN"}, fmt="raw"),
        ],
    ),
    # Disks the erase and optimize tests write over: discard-capable SATA, NVMe and SCSI disks of
    # sizes on and off the 256 MiB TRIM step, and a small one that holds a mounted FAT volume.
    "erase": Profile(
        name="erase",
        description="SATA, NVMe and SCSI (512 and 4096-byte sectors) disks to erase, a SCSI disk "
                    "with a mounted FAT volume",
        controllers=[
            "virtio-scsi-pci,id=scsi0",
            "pcie-root-port,id=rp1,chassis=1,slot=1",
        ],
        drives=[
            Drive("sata1", "ide-hd", 256 * MiB,
                  {"bus": "ide.0", "serial": "TVDERASATA1", "model": "TVD ERASE SATA",
                   "discard_granularity": 512}),
            Drive("nvme1", "nvme", 320 * MiB, {"bus": "rp1", "serial": "TVDERANVME1"}),
            Drive("scsi512", "scsi-hd", 300 * MiB,
                  {"bus": "scsi0.0", "scsi-id": 1, "lun": 0, "serial": "TVDERA512",
                   "vendor": "TVD", "product": "ERASE 512"}),
            Drive("scsi4k", "scsi-hd", 256 * MiB,
                  {"bus": "scsi0.0", "scsi-id": 2, "lun": 0, "serial": "TVDERA4K",
                   "vendor": "TVD", "product": "ERASE 4K", "logical_block_size": 4096,
                   "physical_block_size": 4096}),
            Drive("scsimnt", "scsi-hd", 64 * MiB,
                  {"bus": "scsi0.0", "scsi-id": 3, "lun": 0, "serial": "TVDERAMNT",
                   "vendor": "TVD", "product": "ERASE MOUNTED"}),
        ],
    ),
}

# The report's profile: the storage drives with SMBIOS tables of known strings, which the guest's
# dmidecode and the report both read.
PROFILES["report"] = Profile(
    name="report",
    description="the storage drives with SMBIOS types 0, 1, 2, 3, 4 and 17 of known strings, a "
                "display with an EDID and a NIC with a fixed MAC",
    controllers=PROFILES["storage"].controllers,
    drives=PROFILES["storage"].drives,
    extra_args=[
        "-smbios", "type=0,vendor=TVD Firmware,version=TVD-BIOS-1.2,date=03/14/2024",
        "-smbios", "type=1,manufacturer=TVD Systems,product=TVD Report Box,version=R1,"
                   "serial=TVDSYS0001",
        "-smbios", "type=2,manufacturer=TVD Boards,product=TVD-MB-42,version=B2,serial=TVDMB0001",
        "-smbios", "type=3,manufacturer=TVD Cases,version=C3,serial=TVDCASE01,asset=TVDASSET7",
        "-smbios", "type=4,manufacturer=TVD Chips,version=TVD CPU 3000",
        "-smbios", "type=17,loc_pfx=TVDSLOT,bank=TVDBANK,manufacturer=TVD Memory,"
                   "serial=TVDRAM0001,part=TVDPART-8G,speed=3200",
        # A display with an EDID for the bochs DRM driver, and a NIC on a hub of its own (no
        # host network) with a fixed MAC; the guest gives it a static address.
        "-device", "VGA,edid=on,xres=1280,yres=800",
        "-netdev", "hubport,id=net0,hubid=0",
        "-device", "virtio-net-pci,netdev=net0,mac=52:54:00:7d:0a:01",
    ],
)


# The clone's profile: sources the host fills (MBR with FAT and NTFS on 512-byte sectors, GPT on
# 4096-byte sectors), a larger and a smaller target for each, and a large pair for a clone that
# is killed while it copies.
def _clone_disk(drive_id, size, scsi_id, product, block=512):
    props = {"bus": "scsi0.0", "scsi-id": scsi_id, "lun": 0, "serial": f"TVDCL{scsi_id:04d}",
             "vendor": "TVD", "product": product}
    if block != 512:
        props.update({"logical_block_size": block, "physical_block_size": block})
    return Drive(drive_id, "scsi-hd", size, props)


PROFILES["clone"] = Profile(
    name="clone",
    description="clone sources and targets on virtio-scsi: 512 and 4096-byte sectors, larger "
                "and smaller targets, a large pair for an interrupted clone",
    controllers=["virtio-scsi-pci,id=scsi0"],
    drives=[
        _clone_disk("src512", 32 * MiB, 0, "CLONE SRC 512"),
        _clone_disk("big512", 48 * MiB, 1, "CLONE BIG 512"),
        _clone_disk("small512", 30 * MiB, 2, "CLONE SMALL 512"),
        _clone_disk("src4k", 32 * MiB, 3, "CLONE SRC 4K", 4096),
        _clone_disk("dst4k", 48 * MiB, 4, "CLONE DST 4K", 4096),
        _clone_disk("ksrc", 512 * MiB, 5, "CLONE KILL SRC"),
        _clone_disk("kdst", 512 * MiB, 6, "CLONE KILL DST"),
    ],
)


def qemu_value(v):
    if isinstance(v, bool):
        return "on" if v else "off"
    return str(v)


def device_arg(props):
    props = dict(props)
    head = props.pop("driver")
    return ",".join([head] + [f"{k}={qemu_value(v)}" for k, v in props.items()])


class Qmp:
    """A small QMP client: commands with their answers, events kept for wait_event."""

    def __init__(self, path, timeout=30):
        deadline = time.monotonic() + timeout
        while True:
            try:
                self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
                self.sock.connect(str(path))
                break
            except OSError:
                self.sock.close()
                if time.monotonic() > deadline:
                    raise HarnessError(f"no QMP socket at {path}")
                time.sleep(0.05)
        self.buf = b""
        self.events = []
        self._read(timeout)  # greeting
        self.execute("qmp_capabilities")

    def close(self):
        self.sock.close()

    def _read(self, timeout):
        deadline = time.monotonic() + timeout
        while b"\n" not in self.buf:
            left = deadline - time.monotonic()
            if left <= 0:
                raise HarnessError("QMP: no answer in time")
            self.sock.settimeout(left)
            try:
                chunk = self.sock.recv(65536)
            except socket.timeout:
                continue
            if not chunk:
                raise HarnessError("QMP: QEMU closed the monitor")
            self.buf += chunk
        line, self.buf = self.buf.split(b"\n", 1)
        return json.loads(line)

    def execute(self, command, arguments=None, timeout=30):
        msg = {"execute": command}
        if arguments:
            msg["arguments"] = arguments
        self.sock.sendall(json.dumps(msg).encode() + b"\n")
        while True:
            reply = self._read(timeout)
            if "event" in reply:
                self.events.append(reply)
            elif "error" in reply:
                raise HarnessError(f"QMP {command}: {reply['error'].get('desc', reply['error'])}")
            elif "return" in reply:
                return reply["return"]

    def wait_event(self, name, match=lambda data: True, timeout=30):
        deadline = time.monotonic() + timeout
        while True:
            for i, ev in enumerate(self.events):
                if ev["event"] == name and match(ev.get("data", {})):
                    return self.events.pop(i)
            left = deadline - time.monotonic()
            if left <= 0:
                raise HarnessError(f"QMP: no {name} event in time")
            self.events.append(self._read(left))

    def poll_events(self):
        """Takes in the events that are already waiting, without blocking."""
        self.sock.setblocking(False)
        try:
            while True:
                chunk = self.sock.recv(65536)
                if not chunk:
                    break
                self.buf += chunk
        except (BlockingIOError, InterruptedError):
            pass
        finally:
            self.sock.setblocking(True)
        while b"\n" in self.buf:
            line, self.buf = self.buf.split(b"\n", 1)
            self.events.append(json.loads(line))


def library_closure(binary):
    """The shared libraries (and loader) a host program needs, as ldd resolves them here."""
    res = subprocess.run(["ldd", str(binary)], capture_output=True, text=True)
    libs = []
    for line in res.stdout.splitlines():
        parts = line.split()
        if "=>" in parts:
            i = parts.index("=>")
            if i + 1 < len(parts) and parts[i + 1].startswith("/"):
                libs.append(parts[i + 1])
        elif parts and parts[0].startswith("/"):
            libs.append(parts[0])
    return libs


def guest_path(path):
    # The guest keeps every library in /lib/x86_64-linux-gnu (its /usr/lib/x86_64-linux-gnu is a
    # link there), and its loader in /lib64.
    for host_prefix, guest_prefix in (("/usr/lib/x86_64-linux-gnu/", "/lib/x86_64-linux-gnu/"),
                                      ("/usr/lib64/", "/lib64/")):
        if path.startswith(host_prefix):
            return guest_prefix + path[len(host_prefix):]
    return path


def assets_ready(cache):
    cache = Path(cache)
    return (cache / "kernel").is_file() and (cache / "initramfs.cpio").is_file()


def prepare_assets(cache=DEFAULT_CACHE):
    """Builds or refreshes the cached guest assets; Skip when the machine cannot."""
    res = subprocess.run([str(HERE / "prepare-assets"), "--cache", str(cache)])
    if res.returncode == EXIT_SKIP:
        raise Skip("the guest assets cannot be built on this machine")
    if res.returncode != 0:
        raise HarnessError(f"prepare-assets failed ({res.returncode})")


def check_qemu():
    if shutil.which(QEMU) is None:
        raise Skip(f"{QEMU} is not installed")


@dataclass
class Result:
    status: int  # the command file's status in the guest
    out: Path  # the guest's out/ folder, with console.log and qemu.log beside its files
    wall_seconds: float
    session_log: str


class GuestRun:
    """One boot of a profile.

    binaries: host programs copied to /usr/local/bin with their libraries.
    files: (host path, guest path) pairs copied into the guest before the commands run.
    env: extra shell variables for the command file."""

    def __init__(self, profile, commands, out_dir, binaries=(), files=(), env=None,
                 timeout=300, cache=DEFAULT_CACHE, udev=True, keep_work=False, verbose=False):
        self.profile = PROFILES[profile] if isinstance(profile, str) else profile
        self.commands = Path(commands)
        self.out_dir = Path(out_dir)
        self.binaries = [Path(b) for b in binaries]
        self.files = list(files)
        self.env = dict(env or {})
        self.timeout = timeout
        self.cache = Path(cache)
        self.udev = udev
        self.keep_work = keep_work
        self.verbose = verbose

    def log(self, msg):
        if self.verbose:
            print(f"run-guest: {msg}", file=sys.stderr, flush=True)

    # --- preparation ---------------------------------------------------------------------

    def _stage_share(self, share):
        harness = share / "harness"
        harness.mkdir(parents=True)
        shutil.copy(HERE / "guest" / "session.sh", harness / "session.sh")
        shutil.copy(self.commands, harness / "commands.sh")
        conf = {"TVD_DISKS": str(len(self.profile.drives)), "TVD_UDEV": "1" if self.udev else "0",
                "TVD_PROFILE": self.profile.name, **self.env}
        with open(harness / "run.conf", "w") as f:
            for k, v in conf.items():
                f.write(f"{k}={shlex.quote(str(v))}\n")
        payload = share / "payload"
        payload.mkdir()
        for b in self.binaries:
            if not b.is_file():
                raise HarnessError(f"no such program {b}")
            self._copy_in(b, payload, f"/usr/local/bin/{b.name}")
            for lib in library_closure(b):
                self._copy_in(Path(lib), payload, guest_path(lib))
        for src, dest in self.files:
            self._copy_in(Path(src), payload, dest)
        (share / "out").mkdir()
        (share / "req").mkdir()

    @staticmethod
    def _copy_in(src, payload, dest):
        target = payload / dest.lstrip("/")
        target.parent.mkdir(parents=True, exist_ok=True)
        if src.is_dir():
            shutil.copytree(src, target, dirs_exist_ok=True)
        else:
            shutil.copy2(src.resolve(), target)

    def _make_images(self, images):
        images.mkdir()
        paths = {}
        for d in self.profile.drives:
            p = images / f"{d.id}.{d.fmt}"
            if d.fmt == "raw":
                with open(p, "wb") as f:
                    f.truncate(d.size)
            else:
                subprocess.run(["qemu-img", "create", "-q", "-f", d.fmt, str(p), str(d.size)],
                               check=True)
            paths[d.id] = p
        return paths

    def _qemu_args(self, work, images, share):
        p = self.profile
        cmdline = "console=ttyS0,115200 panic=-1 quiet loglevel=4 rdinit=/init"
        args = [QEMU, "-machine", f"{p.machine},accel={os.environ.get('TVD_QEMU_ACCEL', 'tcg')}",
                "-m", str(p.memory_mb), "-smp", "1", "-nodefaults", "-no-user-config",
                "-display", "none", "-no-reboot",
                "-kernel", str(self.cache / "kernel"),
                "-initrd", str(self.cache / "initramfs.cpio"),
                "-append", cmdline,
                "-serial", f"file:{work / 'console.log'}",
                "-qmp", f"unix:{work / 'qmp.sock'},server=on,wait=off",
                "-virtfs", f"local,path={share},mount_tag=tvdshare,security_model=none,id=tvdshare"]
        for c in p.controllers:
            args += ["-device", c]
        args += p.extra_args
        for d in p.drives:
            if d.blkdebug:
                conf = work / f"{d.id}.blkdebug"
                conf.write_text(d.blkdebug)
                args += ["-blockdev", f"driver={d.fmt},node-name={d.node},file.driver=blkdebug,"
                                      f"file.config={conf},file.image.driver=file,"
                                      f"file.image.filename={images[d.id]}"]
                args += ["-device", device_arg(d.device_props())]
                continue
            args += ["-blockdev", f"driver={d.fmt},node-name={d.node},file.driver=file,"
                                  f"file.filename={images[d.id]},discard=unmap"]
            args += ["-device", device_arg(d.device_props())]
        return args

    # --- guest requests ------------------------------------------------------------------

    def _handle(self, qmp, text):
        words = text.split(None, 1)
        if not words:
            raise HarnessError("empty request")
        action, rest = words[0], (words[1].strip() if len(words) > 1 else "")
        if action == "device_del":
            qmp.execute("device_del", {"id": rest})
            qmp.wait_event("DEVICE_DELETED", lambda d: d.get("device") == rest, timeout=60)
            return None
        if action == "device_add":
            qmp.execute("device_add", self.profile.drive(rest).device_props())
            return None
        if action == "qmp":
            msg = json.loads(rest)
            return qmp.execute(msg["execute"], msg.get("arguments"))
        raise HarnessError(f"unknown request {action}")

    def _serve_requests(self, qmp, req_dir, done):
        for req in sorted(req_dir.glob("*.req"), key=lambda p: int(p.stem)):
            if req.stem in done:
                continue
            done.add(req.stem)
            text = req.read_text().strip()
            try:
                ret = self._handle(qmp, text)
                answer = "ok"
                if ret is not None:
                    (req_dir / f"{req.stem}.result").write_text(json.dumps(ret))
            except (HarnessError, ValueError, KeyError) as e:
                answer = f"error: {e}"
            self.log(f"request {req.stem} '{text}': {answer}")
            tmp = req_dir / f"{req.stem}.done.tmp"
            tmp.write_text(answer + "\n")
            tmp.rename(req_dir / f"{req.stem}.done")

    # --- the run -------------------------------------------------------------------------

    def run(self):
        check_qemu()
        if not assets_ready(self.cache):
            raise Skip(f"no guest assets in {self.cache} (run tests/qemu/prepare-assets)")
        work = Path(tempfile.mkdtemp(prefix="tvd-qemu-"))
        t0 = time.monotonic()
        try:
            share, images = work / "share", work / "images"
            self._stage_share(share)
            image_paths = self._make_images(images)
            args = self._qemu_args(work, image_paths, share)
            self.log(" ".join(args))
            with open(work / "qemu.log", "wb") as qlog:
                proc = subprocess.Popen(args, stdin=subprocess.DEVNULL, stdout=qlog, stderr=qlog)
            try:
                status = self._supervise(proc, work, share)
            except HarnessError as e:
                raise HarnessError(self._failure_text(work, str(e))) from None
            finally:
                if proc.poll() is None:
                    proc.kill()
                proc.wait()
            wall = time.monotonic() - t0
            self._collect(work, share)
            session_log = (self.out_dir / "session.log").read_text() \
                if (self.out_dir / "session.log").exists() else ""
            if status is None:
                what = f"no result within {self.timeout:.0f} s" if self.timed_out else \
                    "the guest stopped before its commands finished"
                raise HarnessError(self._failure_text(work, what))
            return Result(status, self.out_dir, wall, session_log)
        finally:
            if self.keep_work:
                print(f"run-guest: work folder kept: {work}", file=sys.stderr)
            else:
                shutil.rmtree(work, ignore_errors=True)

    def _supervise(self, proc, work, share):
        qmp = Qmp(work / "qmp.sock")
        done = set()
        status_file = share / "out" / ".status"
        deadline = time.monotonic() + self.timeout
        finished_at = None
        self.timed_out = False
        try:
            while proc.poll() is None:
                if time.monotonic() > deadline:
                    self.timed_out = True
                    break
                qmp.poll_events()
                self._serve_requests(qmp, share / "req", done)
                if status_file.exists() and finished_at is None:
                    finished_at = time.monotonic()
                if finished_at is not None and time.monotonic() - finished_at > 15:
                    # Powered off in the guest but still running: stop it ourselves.
                    qmp.execute("quit")
                    break
                time.sleep(0.1)
        except HarnessError as e:
            if proc.poll() is None:
                raise
            self.log(f"QEMU ended: {e}")
        finally:
            qmp.close()
        if self.timed_out:
            proc.kill()
        try:
            proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            proc.kill()
        if status_file.exists():
            return int(status_file.read_text().strip() or "125")
        return None

    def _collect(self, work, share):
        if self.out_dir.exists():
            shutil.rmtree(self.out_dir)
        shutil.copytree(share / "out", self.out_dir)
        status = self.out_dir / ".status"
        if status.exists():
            status.rename(self.out_dir / "status")
        for name in ("console.log", "qemu.log"):
            if (work / name).exists():
                shutil.copy(work / name, self.out_dir / name)

    def _failure_text(self, work, what):
        lines = [what]
        for name in ("qemu.log", "console.log"):
            p = work / name
            if p.exists():
                tail = p.read_text(errors="replace").splitlines()[-40:]
                lines.append(f"--- last lines of {name}:")
                lines += tail
        return "\n".join(lines)
