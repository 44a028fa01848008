#!/usr/bin/env python3
"""qemu.clone_disks: in one boot of the clone profile, `tarvikdorn clone` copies a disk the host
built (MBR with FAT and NTFS at 512-byte sectors; GPT with an ESP and NTFS at 4096-byte sectors)
onto a larger and a smaller target: the host's sfdisk finds the planned table, fsck.fat -n and
ntfsfix -n pass on every copied volume, ntfsinfo opens it, its files read back, and each source
partition's bytes equal the start of its copy; the guest's sgdisk -v passes on the 4096-byte GPT.
A clone onto another sector size is refused (3) and leaves the disk unchanged. A clone killed
(kill -9) while it copies leaves a disk without a table (blkid -p, sfdisk), and a second clone
then completes."""

import hashlib
import json
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

sys.dont_write_bytecode = True

import guesttest
import harness
from guesttest import Failure

MiB = 1 << 20
HOST_TOOLS = ("sfdisk", "mkfs.fat", "fsck.fat", "mkntfs", "ntfsfix", "ntfsinfo", "ntfscp",
              "ntfscat", "mcopy", "mtype")
GUEST_TOOLS = ("sfdisk", "sgdisk", "blkid")
FAT_TEXT = b"a file on the FAT volume\n" * 40
NTFS_DATA = bytes(range(256)) * 300

# Each source: sector size, table, partitions (kind, start sector, sectors, type).
SOURCES = {
    "src512": (512, "label: dos\nlabel-id: 0x2a2b2c2d\n", [
        ("fat", 2048, 24576, "6"),
        ("ntfs", 28672, 28672, "7"),
    ]),
    "src4k": (4096, "label: gpt\nlabel-id: 4E1D8A22-7C30-4A8B-9F3E-2D4B6C8A0F11\n"
                    "first-lba: 256\n", [
        ("fat", 256, 3072, "C12A7328-F81F-11D2-BA4B-00A0C93EC93B"),
        ("ntfs", 3584, 3584, "EBD0A0A2-B9E5-4433-87C0-68B6B72699C7"),
    ]),
}


def sh(*cmd, input=None, check=True):
    r = subprocess.run(cmd, input=input, capture_output=True)
    if check and r.returncode != 0:
        raise Failure(f"{' '.join(map(str, cmd))}: status {r.returncode}: "
                      f"{r.stderr.decode(errors='replace')[:400]}")
    return r


def build_source(work, name):
    """The volumes of one source as files, and the guest's lines that write the table (the
    guest's sfdisk on the disk itself, so that a 4096-byte disk gets a 4096-byte table) and the
    volumes onto it."""
    bps, head, parts = SOURCES[name]
    script = work / f"{name}.sfdisk"
    script.write_text(head + "".join(f"start={s}, size={n}, type={t}\n" for _, s, n, t in parts))
    files = [(script, f"/clone/{name}.sfdisk")]
    lines = [f"sfdisk /dev/${name} </clone/{name}.sfdisk || exit 1"]
    for kind, start, count, _ in parts:
        vol = work / f"{name}-{kind}.vol"
        with open(vol, "wb") as f:
            f.truncate(count * bps)
        if kind == "fat":
            sh("mkfs.fat", "-n", "SRCFAT", "-S", str(bps), "-h", str(start), str(vol))
            text = work / "fat.txt"
            text.write_bytes(FAT_TEXT)
            sh("mcopy", "-i", str(vol), str(text), "::HELLO.TXT")
        else:
            sh("mkntfs", "-F", "-Q", "-q", "-L", "SRCNTFS", "-s", str(bps), "-p", str(start),
               "-H", "255", "-S", "63", str(vol))
            data = work / "ntfs.bin"
            data.write_bytes(NTFS_DATA)
            sh("ntfscp", "-f", str(vol), str(data), "/data.bin")
        files.append((vol, f"/clone/{vol.name}"))
        lines.append(f"dd if=/clone/{vol.name} of=/dev/${name} bs={bps} seek={start} "
                     f"conv=notrunc,fsync || exit 1")
    return files, lines


def read_range(path, offset, length):
    with open(path, "rb") as f:
        f.seek(offset)
        return f.read(length)


def check_target(work, out, name, source, bps):
    """The host's tools on one target image: table as planned, volumes sound, bytes equal."""
    clone = json.loads((out / f"clone-{name}.out").read_text())
    if clone.get("result") != "completed":
        raise Failure(f"clone onto {name}: {clone}")
    img = out / f"{name}.img"
    # The host's sfdisk reads an image in 512-byte sectors: a 4096-byte disk's table is read
    # by the same sfdisk in the guest, on the disk itself.
    if bps == 512:
        table = json.loads(sh("sfdisk", "-J", str(img)).stdout)
    else:
        table = json.loads((out / f"sfdisk-{name}.out").read_text())
    found = [(p["start"], p["size"]) for p in table["partitiontable"]["partitions"]]
    planned = [(p["targetStart"], p["targetSectors"]) for p in clone["plan"]["partitions"]]
    if found != planned:
        raise Failure(f"{name}: sfdisk finds {found}, the plan said {planned}")
    _, _, parts = SOURCES[source]
    for (kind, start, count, _), (tstart, tcount) in zip(parts, found):
        if tstart % (MiB // bps) != 0 or tcount < count:
            raise Failure(f"{name}: {kind} at {tstart}, {tcount} sectors (source {count})")
        src = (work / f"{source}-{kind}.vol").read_bytes()
        dst = read_range(img, tstart * bps, count * bps)
        if hashlib.sha256(src).digest() != hashlib.sha256(dst).digest():
            raise Failure(f"{name}: the {kind} partition's bytes differ from the source's")
        # The whole target partition: a grown one must carry NTFS's backup boot sector at its end.
        vol = work / f"{name}-{kind}.part"
        vol.write_bytes(read_range(img, tstart * bps, tcount * bps))
        if kind == "fat":
            sh("fsck.fat", "-n", str(vol))
            if sh("mtype", "-i", str(vol), "::HELLO.TXT").stdout != FAT_TEXT:
                raise Failure(f"{name}: HELLO.TXT reads back different")
        else:
            sh("ntfsfix", "-n", str(vol))
            info = sh("ntfsinfo", "-m", str(vol)).stdout.decode(errors="replace")
            if "SRCNTFS" not in info:
                raise Failure(f"{name}: ntfsinfo shows no volume name: {info[:300]}")
            if sh("ntfscat", str(vol), "/data.bin").stdout != NTFS_DATA:
                raise Failure(f"{name}: data.bin reads back different")
        vol.unlink()


def body():
    args = guesttest.parse_args(__doc__)
    missing = [t for t in HOST_TOOLS + GUEST_TOOLS if not shutil.which(t)]
    if missing:
        raise harness.Skip(f"needs {', '.join(missing)} on the host")
    with tempfile.TemporaryDirectory(prefix="tvd-clone-") as tmp:
        work = Path(tmp)
        files, lines = [], []
        for n in SOURCES:
            f, l = build_source(work, n)
            files += f
            lines += l
        fill = work / "fill.sh"
        fill.write_text("\n".join(lines) + "\n")
        files.append((fill, "/clone/fill.sh"))
        res = guesttest.boot(args, "clone-disks.sh", files=files, profile="clone",
                             binaries=[shutil.which(t) for t in GUEST_TOOLS])
        o = guesttest.Output(res.out)
        if o.unknown_command("clone-big512", "clone"):
            raise harness.Skip("tarvikdorn has no clone command yet")
        out = Path(res.out)
        for name in ("big512", "small512", "dst4k"):
            o.ok(f"image-{name}")
        check_target(work, out, "big512", "src512", 512)
        check_target(work, out, "small512", "src512", 512)
        check_target(work, out, "dst4k", "src4k", 4096)
        if "No problems found" not in o.text("sgdisk-dst4k"):
            raise Failure(f"sgdisk -v on the 4096-byte target: {o.text('sgdisk-dst4k')[:400]}")

        refused = o.json("clone-512-to-4k")
        if o.rc("clone-512-to-4k") != 3 or refused.get("refusal", {}).get("code") != "sector-size":
            raise Failure(f"512 onto 4096: status {o.rc('clone-512-to-4k')}, {refused}")
        if o.ok("hash-dst4k-before").split()[0] != o.ok("hash-dst4k-after").split()[0]:
            raise Failure("the refused clone changed the 4096-byte target")

        if o.rc("clone-killed") != 137:
            raise Failure(f"the killed clone ended with {o.rc('clone-killed')}, not by the kill")
        if o.rc("blkid-killed") != 2:
            raise Failure(f"blkid -p finds something on the interrupted target: "
                          f"{o.text('blkid-killed')}")
        if o.rc("sfdisk-killed") == 0 and o.text("sfdisk-killed").strip():
            raise Failure(f"sfdisk finds a table on the interrupted target: "
                          f"{o.text('sfdisk-killed')[:300]}")
        again = o.json("clone-again")
        if o.rc("clone-again") != 0 or again.get("result") != "completed":
            raise Failure(f"the clone after the killed one: {again}")
        table = json.loads(o.ok("sfdisk-again"))["partitiontable"]["partitions"]
        planned = [(p["targetStart"], p["targetSectors"]) for p in again["plan"]["partitions"]]
        if [(p["start"], p["size"]) for p in table] != planned:
            raise Failure(f"after the second clone sfdisk finds {table}, planned {planned}")
    print("clones onto larger and smaller targets at 512 and 4096-byte sectors pass sfdisk, "
          "sgdisk -v, fsck.fat, ntfsfix and ntfsinfo with equal partition bytes; 512 onto 4096 "
          "was refused untouched; a killed clone left no table and the next one completed")


if __name__ == "__main__":
    sys.exit(guesttest.main(body))
