#!/usr/bin/env python3
"""Judges a guest folder of `commands/erase-vs-tools.sh` (profile erase): `tarvikdorn erase` and
`optimize` against lsblk, hdparm, nvme-cli, sg_sanitize, blkdiscard, wipefs, fstrim and the
image sizes QEMU reports. Every function returns a list of differences, one line each naming
the drive and what differs; empty means agreement.

    compare_erase_tools.py FOLDER [SIM_ATA_TRACE [SANITIZE_TRACE]]
"""

import json
import re
import sys
from pathlib import Path

ERASED = ("sata1", "nvme1", "scsi512", "scsi4k")
STEP = 256 << 20


class Folder:
    def __init__(self, folder):
        self.folder = Path(folder)

    def text(self, name):
        p = self.folder / name
        return p.read_text(errors="replace") if p.exists() else ""

    def rc(self, name):
        t = self.text(f"{name}.rc").strip()
        return int(t) if t else None

    def json(self, name):
        try:
            return json.loads(self.text(f"{name}.out"))
        except ValueError:
            return None

    def disks(self):
        """id -> (kernel name, bytes, logical sector size)"""
        out = {}
        for line in self.text("disks.txt").splitlines():
            ident, name, sectors, bs = line.split()
            out[ident] = (name, int(sectors) * 512, int(bs))
        return out


def hex_bytes(text):
    return bytes.fromhex("".join(re.findall(r"\b[0-9a-fA-F]{2}\b", text)))


# --- what the drives offer --------------------------------------------------------------------

def compare_offers(f):
    diffs = []
    disks = f.disks()
    lsblk = {}
    try:
        for d in json.loads(f.text("lsblk-d.out"))["blockdevices"]:
            lsblk[d["name"]] = d
    except (ValueError, KeyError):
        return ["lsblk -D: no output to compare with"]
    for ident, (name, _, _) in disks.items():
        check = f.json(f"check-{ident}")
        if f.rc(f"check-{ident}") != 0 or not check:
            diffs.append(f"{ident}: erase --check failed: {f.text(f'check-{ident}.err')[:200]}")
            continue
        disc = int(lsblk.get(name, {}).get("disc-max") or 0)
        trim = check.get("method") == "trim"
        if trim != (disc > 0):
            diffs.append(f"{ident}: erase --check method {check.get('method')}, lsblk DISC-MAX {disc}")
    # hdparm -I: QEMU's AHCI disk has no security feature set.
    hd = f.text("hdparm-i-sata1.out")
    if not hd:
        diffs.append("sata1: hdparm -I printed nothing")
    hd_security = re.search(r"^Security:\s*\n((?:\t.*\n)*)", hd, re.M)
    hd_supported = bool(hd_security and re.search(r"^\t\s*supported\s*$", hd_security.group(1),
                                                   re.M))
    ours = (f.json("check-sata1") or {}).get("ataSecurity")
    if hd_supported != (ours not in (None, "not supported")):
        diffs.append(f"sata1: ATA security: hdparm -I {'supported' if hd_supported else 'not supported'}, "
                     f"tarvikdorn {ours}")
    named = f.json("check-sata1-ata") or {}
    if not hd_supported and named.get("methodAvailable") is not False:
        diffs.append(f"sata1: --method ata-security offered without the feature set: {named}")
    # nvme id-ctrl: SANICAP 0, and the controller rejects a sanitize.
    try:
        sanicap = int(json.loads(f.text("nvme-id-ctrl.out")).get("sanicap", -1))
    except ValueError:
        sanicap = -1
        diffs.append("nvme1: nvme id-ctrl -o json printed no JSON")
    named = f.json("check-nvme1-nvme") or {}
    if sanicap == 0:
        if f.rc("nvme-sanitize") == 0:
            diffs.append("nvme1: SANICAP 0 but nvme sanitize succeeded")
        if named.get("methodAvailable") is not False or named.get("wouldErase"):
            diffs.append(f"nvme1: --method nvme-sanitize offered with SANICAP 0: {named}")
    # The sanitize status log: readable for nvme-cli exactly when --check could read it.
    ours_log = named.get("sanitizeLog")
    if (f.rc("nvme-sanitize-log") == 0) != bool(ours_log):
        diffs.append(f"nvme1: sanitize log: nvme sanitize-log exit {f.rc('nvme-sanitize-log')}, "
                     f"erase --check {ours_log!r}")
    # Refused unsent: exit 4, no writing command in the trace.
    for name in ("erase-sata1-ata", "erase-nvme1-nvme"):
        if f.rc(name) != 4 or (f.json(name) or {}).get("result") != "refused":
            diffs.append(f"{name}: exit {f.rc(name)}, expected 4 (method not offered): "
                         f"{f.text(name + '.out')[:200]}")
        diffs += writing_commands(name, f.text(f"{name}.err"))
    return diffs


def writing_commands(name, trace):
    """Lines of a trace that would have changed the disk."""
    found = []
    for line in trace.splitlines():
        if line.startswith(("trim:", "delete-layout:", "write:", "data-out:")):
            found.append(line)
        elif line.startswith("nvme:") and hex_bytes(line[5:])[:1] in (b"\x84", b"\x80"):
            found.append(line)
        elif line.startswith("cdb:"):
            cdb = hex_bytes(line[4:])
            if cdb[:1] == b"\x48" or (cdb[:1] in (b"\x85", b"\xa1") and
                                      (cdb[14 if cdb[0] == 0x85 else 9]) in (0xF1, 0xF3, 0xF4)):
                found.append(line)
    return [f"{name}: a writing command was sent: {line}" for line in found[:3]]


# --- the erases --------------------------------------------------------------------------------

_BLKDISCARD = re.compile(r"Discarded (\d+) bytes from the offset (\d+)")
_TRIM = re.compile(r"^trim: offset (\d+) length (\d+): (.*)$", re.M)


def alloc(f, moment):
    """node name -> actual-size of the image QEMU reports."""
    try:
        nodes = json.loads(f.text(f"alloc-{moment}.json"))
    except ValueError:
        return {}
    return {n.get("node-name"): n.get("image", {}).get("actual-size") for n in nodes}


def merged(ranges):
    """(offset, length) ranges joined where one ends at the next one's start."""
    out = []
    for o, n in sorted(ranges):
        if out and out[-1][0] + out[-1][1] == o:
            out[-1] = (out[-1][0], out[-1][1] + n)
        else:
            out.append((o, n))
    return out


def compare_erases(f):
    diffs = []
    disks = f.disks()
    before, after = alloc(f, "before"), alloc(f, "after")
    for ident in ERASED:
        name, size, _ = disks[ident]
        res = f.json(f"erase-{ident}")
        if f.rc(f"erase-{ident}") != 0 or not res or res.get("result") != "done":
            diffs.append(f"{ident}: erase exit {f.rc(f'erase-{ident}')}: "
                         f"{f.text(f'erase-{ident}.out')[:300]} {f.text(f'erase-{ident}.err')[-300:]}")
            continue
        trims = [(int(o), int(n)) for o, n, r in _TRIM.findall(f.text(f"erase-{ident}.err"))]
        want = [(o, min(STEP, size - o)) for o in range(0, size, STEP)]
        if trims != want:
            diffs.append(f"{ident}: TRIM ranges {trims}, expected {want} over {size} bytes")
        if res.get("trimmedBytes") != size or res.get("sizeBytes") != size:
            diffs.append(f"{ident}: erase reports {res.get('trimmedBytes')} of {res.get('sizeBytes')}"
                         f" bytes trimmed, the disk has {size}")
        if not res.get("samplesWithData"):
            diffs.append(f"{ident}: the erase sampled no sector holding the pattern")
        # No partition left, no signature, every byte zero.
        try:
            dev = json.loads(f.text(f"lsblk-after-{ident}.out"))["blockdevices"][0]
            if dev.get("children"):
                diffs.append(f"{ident}: partitions after the erase: {dev['children']}")
        except (ValueError, KeyError, IndexError):
            diffs.append(f"{ident}: lsblk after the erase printed no disk")
        if f.rc(f"wipefs-after-{ident}") != 0 or f.text(f"wipefs-after-{ident}.out").strip():
            diffs.append(f"{ident}: wipefs -n still finds: {f.text(f'wipefs-after-{ident}.out')[:200]}")
        nonzero = f.text(f"nonzero-after-{ident}.out").strip()
        if nonzero != "0":
            diffs.append(f"{ident}: {nonzero or 'unknown'} non-zero bytes read after the erase")
        node = f"{ident}-img"
        if not (before.get(node) and after.get(node) is not None and after[node] < before[node]):
            diffs.append(f"{ident}: the image on the host did not shrink: {before.get(node)} bytes "
                         f"before, {after.get(node)} after")
    # blkdiscard -p 256MiB over the same disks: its -v sums the steps of each second, so the
    # ranges are compared merged (the steps themselves are checked above).
    for ident in ("scsi512", "nvme1"):
        theirs = merged((int(o), int(n)) for n, o in
                        _BLKDISCARD.findall(f.text(f"blkdiscard-{ident}.out")))
        ours = merged((int(o), int(n)) for o, n, r in _TRIM.findall(f.text(f"erase-{ident}.err")))
        if not theirs:
            diffs.append(f"{ident}: blkdiscard -v printed no step: {f.text(f'blkdiscard-{ident}.err')[:200]}")
        elif theirs != ours:
            diffs.append(f"{ident}: TRIM steps cover {ours}, blkdiscard -p 256MiB {theirs}")
    # The disk with a mounted volume: refused, written nothing, unchanged.
    said = f.text("erase-scsimnt.err")
    res = f.json("erase-scsimnt") or {}
    if (f.rc("erase-scsimnt") != 3 or "refused: a volume of the drive is mounted" not in said
            or res.get("result") != "refused"):
        diffs.append(f"scsimnt: mounted volume: exit {f.rc('erase-scsimnt')}, {res}, {said[-300:]}")
    diffs += writing_commands("erase-scsimnt", f.text("erase-scsimnt.err"))
    md5a, md5b = f.text("md5-mnt-before.out").split()[:1], f.text("md5-mnt-after.out").split()[:1]
    if not md5a or md5a != md5b:
        diffs.append(f"scsimnt: the refused disk changed: md5 {md5a} then {md5b}")
    return diffs


# --- the FAT volume ----------------------------------------------------------------------------

_FSTRIM = re.compile(r"^(\S+): .*?\((\d+) bytes\) trimmed", re.M)


def compare_vfat(f):
    diffs = []
    for name in ("mkfs-vfat", "mount-vfat", "fill-vfat"):
        if f.rc(name) != 0:
            return [f"scsimnt: {name} failed: {f.text(name + '.err')[:200]}"]
    res = f.json("optimize-vfat") or {}
    trim = res.get("fileSystemTrim") or {}
    if f.rc("optimize-vfat") != 0 or res.get("result") != "done" or trim.get("result") != "done":
        diffs.append(f"scsimnt: optimize on vfat: exit {f.rc('optimize-vfat')}, {res}")
    if not res.get("folderRemoved") or "VornaTarvikdornTemp" in f.text("ls-vfat.out"):
        diffs.append(f"scsimnt: the optimization's folder stayed: {f.text('ls-vfat.out')}")
    m = _FSTRIM.search(f.text("fstrim-vfat.out"))
    if not m:
        diffs.append(f"scsimnt: fstrim -v printed no figure: {f.text('fstrim-vfat.out')}"
                     f"{f.text('fstrim-vfat.err')}")
    elif int(m.group(2)) != trim.get("trimmedBytes"):
        # FAT trims every free cluster each time: the two passes over the same free space agree.
        diffs.append(f"scsimnt: optimize trimmed {trim.get('trimmedBytes')} bytes, fstrim -v "
                     f"{m.group(2)}")
    deleted, optimized = alloc(f, "vfat-deleted"), alloc(f, "vfat-optimized")
    a, b = deleted.get("scsimnt-img"), optimized.get("scsimnt-img")
    # The deleted file's 24 MiB leave the image (less the clusters the pass itself rewrote).
    if a is None or b is None or a - b < 16 << 20:
        diffs.append(f"scsimnt: the image went from {a} to {b} bytes after the optimization")
    if f.rc("fsck-vfat") != 0:
        diffs.append(f"scsimnt: fsck.fat -n after the optimization: {f.text('fsck-vfat.out')[:300]}")
    return diffs


# --- command bytes -----------------------------------------------------------------------------

def ata_commands(text, *, ours):
    """(cdb, data) per ATA security command (F1 SET PASSWORD, F3 PREPARE, F4 ERASE UNIT) in a
    text: our trace ("cdb:", "data-out:") or hdparm --verbose ("outgoing cdb:", "outgoing_data:")."""
    found = {}
    lines = text.splitlines()
    i = 0
    while i < len(lines):
        line = lines[i]
        m = re.search(r"cdb:(.*)$", line)
        i += 1
        if not m:
            continue
        cdb = hex_bytes(m.group(1))
        if len(cdb) not in (12, 16):
            continue
        cmd = cdb[9] if len(cdb) == 12 else cdb[14]
        if cmd not in (0xF1, 0xF3, 0xF4):
            continue
        data = b""
        if i < len(lines) and re.search(r"data[-_]?(out)?:", lines[i]) and "cdb" not in lines[i]:
            chunk = [lines[i].split(":", 1)[1]]
            i += 1
            # hdparm continues its dump on lines of hex alone.
            while not ours and i < len(lines) and re.fullmatch(r"[\s0-9a-fA-F]+", lines[i] or "x"):
                chunk.append(lines[i])
                i += 1
            data = hex_bytes(" ".join(chunk))
        found.setdefault(cmd, (cdb, data))
    return found


# Bits of the ATA PASS-THROUGH (16) block that may differ, and why: byte -> (mask of the bits
# that may differ, reason).
ATA_ALLOWED = {
    # CK_COND: hdparm asks for the registers back after a non-data command.
    2: (0x20, "CK_COND"),
    # DEVICE: bits 7 and 5 are obsolete (once always one), bit 6 (LBA) means nothing to a
    # command without an LBA.
    13: (0xE0, "DEVICE, obsolete bits 7 and 5, LBA bit"),
}
# Bytes of the data sector that may differ: command -> {byte: (values, reason)}.
DATA_ALLOWED = {
    # Word 17, the master password identifier: hdparm gives 0001h; this program leaves the whole
    # sector but words 0 to 16 zero, and a drive keeps its identifier for 0000h.
    0xF1: {34: ((0x00, 0x01), "master password identifier"), 35: ((0x00,), "")},
}


def to16(cdb):
    """An ATA PASS-THROUGH (12) block in its (16) form, for comparison."""
    if len(cdb) == 16:
        return cdb
    return bytes([0x85, cdb[1], cdb[2], 0, cdb[3], 0, cdb[4], 0, cdb[5], 0, cdb[6], 0, cdb[7],
                  cdb[8], cdb[9], cdb[11]])


def compare_ata(ours_text, hdparm_text):
    ours, theirs = ata_commands(ours_text, ours=True), ata_commands(hdparm_text, ours=False)
    names = {0xF1: "SECURITY SET PASSWORD", 0xF3: "SECURITY ERASE PREPARE",
             0xF4: "SECURITY ERASE UNIT"}
    diffs = []
    for cmd, name in names.items():
        if cmd not in ours:
            diffs.append(f"sata1: tarvikdorn sent no {name}")
            continue
        if cmd not in theirs:
            diffs.append(f"sata1: hdparm printed no {name}")
            continue
        (a, da), (b, db) = ours[cmd], theirs[cmd]
        a, b = to16(a), to16(b)
        for i, (x, y) in enumerate(zip(a, b)):
            mask = ATA_ALLOWED.get(i, (0, ""))[0]
            if (x & ~mask) != (y & ~mask):
                diffs.append(f"sata1: {name}: byte {i}: tarvikdorn 0x{x:02x}, hdparm 0x{y:02x}")
        if cmd == 0xF3:
            continue
        if len(da) != 512 or len(db) != 512:
            diffs.append(f"sata1: {name}: data sectors of {len(da)} and {len(db)} bytes")
            continue
        allowed = DATA_ALLOWED.get(cmd, {})
        for i, (x, y) in enumerate(zip(da, db)):
            values = allowed.get(i, ((),))[0]
            if x != y and not (x in values and y in values):
                diffs.append(f"sata1: {name}: data byte {i}: tarvikdorn 0x{x:02x}, hdparm 0x{y:02x}")
    return diffs


def compare_sanitize(ours_text, folder):
    """SANITIZE blocks of our trace against sg_sanitize -vvv's, by service action."""
    f = Folder(folder)

    def blocks(text):
        return {c[1] & 0x1F: c for c in (hex_bytes(m) for m in
                                         re.findall(r"cdb:\s*\[?\s*((?:[0-9a-fA-F]{2}\s*){10})", text))
                if len(c) == 10 and c[0] == 0x48}

    theirs = {}
    for name in ("block", "crypto", "fail"):
        theirs.update(blocks(f.text(f"sg-sanitize-{name}.out") + f.text(f"sg-sanitize-{name}.err")))
    ours = blocks(ours_text)
    diffs = []
    if not ours:
        diffs.append("tarvikdorn's trace holds no SANITIZE block")
    for sa, cdb in ours.items():
        if sa not in theirs:
            diffs.append(f"SANITIZE service action {sa:#x}: sg_sanitize printed none")
        elif cdb != theirs[sa]:
            diffs.append(f"SANITIZE service action {sa:#x}: tarvikdorn {cdb.hex(' ')}, "
                         f"sg_sanitize {theirs[sa].hex(' ')}")
    return diffs


def compare_folder(folder, sim_ata_trace=None, sanitize_trace=None):
    f = Folder(folder)
    if set(f.disks()) != set(ERASED) | {"scsimnt"}:
        return [f"the guest found the disks {sorted(f.disks())}, not the profile's"]
    diffs = compare_offers(f) + compare_erases(f) + compare_vfat(f)
    if sim_ata_trace is not None:
        diffs += compare_ata(sim_ata_trace, f.text("hdparm-setpass.err") + f.text("hdparm-setpass.out")
                             + f.text("hdparm-erase.err") + f.text("hdparm-erase.out"))
    if sanitize_trace is not None:
        diffs += compare_sanitize(sanitize_trace, folder)
    return diffs


if __name__ == "__main__":
    texts = [Path(p).read_text(errors="replace") for p in sys.argv[2:4]]
    found = compare_folder(sys.argv[1], *texts)
    print("\n".join(found) if found else "agree")
    sys.exit(1 if found else 0)
