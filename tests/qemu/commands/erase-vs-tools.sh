# Guest commands of qemu.erase_vs_tools (profile erase): what `tarvikdorn erase --check` says of
# each drive beside lsblk -D, hdparm -I and nvme id-ctrl; the command blocks hdparm and
# sg_sanitize send for the erases QEMU does not serve; whole-disk erases of the disks after a
# table and a pattern were written, read back afterwards; a disk with a mounted FAT volume
# refused, then optimized beside fstrim -v. The host judges the outputs.
sata1=$(disk_on '*/ata[0-9]*')
nvme1=$(disk_on '*/nvme*')
scsi512=$(by_product "ERASE 512")
scsi4k=$(by_product "ERASE 4K")
scsimnt=$(by_product "ERASE MOUNTED")
for v in sata1 nvme1 scsi512 scsi4k scsimnt; do
    eval "d=\$$v"
    [ -n "$d" ] || { fail "no disk for $v among $(disks)"; exit 1; }
    echo "$v $d $(cat /sys/block/$d/size) $(cat /sys/block/$d/queue/logical_block_size)" >>"$out/disks.txt"
done
ctrl=/dev/${nvme1%n[0-9]*}
password="Qrvx Mp., Inc. Num:402-7-9154871"

# The QEMU node sizes on the host (actual-size of each image) at a named moment.
host_alloc() {
    host_request qmp '{"execute": "query-named-block-nodes", "arguments": {"flat": true}}' &&
        cp "$share/req/$req_seq.result" "$out/alloc-$1.json"
}

# What the drives offer, by the tools and by --check.
run lsblk-d lsblk -J -b -D
run hdparm-i-sata1 hdparm -I /dev/$sata1
run nvme-id-ctrl nvme id-ctrl $ctrl -o json
run nvme-sanitize-log nvme sanitize-log $ctrl -o json
for v in sata1 nvme1 scsi512 scsi4k scsimnt; do
    eval "d=\$$v"
    run check-$v tarvikdorn --json erase /dev/$d --check
done
run check-sata1-ata tarvikdorn --json erase /dev/$sata1 --check --method ata-security
run check-nvme1-nvme tarvikdorn --json erase /dev/$nvme1 --check --method nvme-sanitize
run check-nvme1-scsi tarvikdorn --json erase /dev/$nvme1 --check --method scsi-sanitize
run check-scsi512-scsi tarvikdorn --json erase /dev/$scsi512 --check --method scsi-sanitize
# The named methods the drives lack are refused unsent (exit 4), nothing written.
run erase-sata1-ata tarvikdorn --json erase /dev/$sata1 --method ata-security --yes --trace
run erase-nvme1-nvme tarvikdorn --json erase /dev/$nvme1 --method nvme-sanitize --yes --trace

# The other tools' command blocks for the erases QEMU does not serve (only the bytes matter).
run hdparm-setpass hdparm --verbose --user-master m --security-set-pass "$password" /dev/$sata1
run hdparm-erase hdparm --verbose --user-master m --security-erase "$password" /dev/$sata1
run sg-sanitize-block sg_sanitize -vvv --quick --early --block /dev/$scsi512
run sg-sanitize-crypto sg_sanitize -vvv --quick --early --crypto /dev/$scsi512
run sg-sanitize-fail sg_sanitize -vvv --quick --early --fail /dev/$scsi512
run nvme-sanitize nvme sanitize $ctrl --sanact=2

# A table and a pattern on each disk to erase: an MBR with one partition, non-zero sectors at
# the start, the middle and the last sector.
pattern() { # disk
    local d=$1 bs sectors
    bs=$(cat /sys/block/$d/queue/logical_block_size)
    sectors=$(($(cat /sys/block/$d/size) * 512 / bs))
    echo 'start=2048, type=83' | sfdisk -q /dev/$d || return 1
    dd if=/dev/zero bs=$bs count=1 2>/dev/null | tr '\000' '\245' >/tmp/pattern
    for at in 4096 $((sectors / 2)) $((sectors - 1)); do
        dd if=/tmp/pattern of=/dev/$d bs=$bs seek=$at count=1 conv=notrunc 2>/dev/null || return 1
    done
    sync
    # udev probes the disk sfdisk and dd just closed; the re-read waits for it.
    settle
    wait_until 10 blockdev --rereadpt /dev/$d
}
for v in sata1 nvme1 scsi512 scsi4k; do
    eval "d=\$$v"
    pattern $d || fail "$v: the table and pattern could not be written"
done
settle
run lsblk-before lsblk -J -b
host_alloc before

# A disk with a mounted volume is refused before any write; the image stays as it was.
echo 'start=2048, type=c' | sfdisk -q /dev/$scsimnt && settle && wait_until 10 blockdev --rereadpt /dev/$scsimnt && settle
part=$(ls /sys/block/$scsimnt | grep "^$scsimnt" | head -n1)
mkdir -p /mnt/vfat
run mkfs-vfat mkfs.fat -F 16 -n TVDVFAT /dev/$part
# The kernel's default character set (ascii) is not among the guest's modules.
run mount-vfat mount -t vfat -o iocharset=utf8 /dev/$part /mnt/vfat
run md5-mnt-before md5sum /dev/$scsimnt
run erase-scsimnt tarvikdorn --json erase /dev/$scsimnt --yes --trace
run md5-mnt-after md5sum /dev/$scsimnt

# The erases QEMU serves, each followed by what remains on the disk.
for v in sata1 nvme1 scsi512 scsi4k; do
    eval "d=\$$v"
    run erase-$v tarvikdorn --json erase /dev/$d --yes --trace
    settle
    run lsblk-after-$v lsblk -J -b /dev/$d
    run wipefs-after-$v /usr/sbin/wipefs -n /dev/$d
    run nonzero-after-$v sh -c "dd if=/dev/$d bs=1M iflag=direct 2>/dev/null | tr -d '\\000' | wc -c"
done
host_alloc after
# blkdiscard's own steps over the same disks (already empty: only the ranges are compared).
# util-linux's tools by their paths: busybox has applets of some of the same names.
run blkdiscard-scsi512 /usr/sbin/blkdiscard -v -p 256MiB /dev/$scsi512
run blkdiscard-nvme1 /usr/sbin/blkdiscard -v -p 256MiB /dev/$nvme1

# The FAT volume: a large file written and deleted, then our pass with its FITRIM, then fstrim.
run fill-vfat dd if=/dev/urandom of=/mnt/vfat/big.bin bs=1M count=24
sync
rm /mnt/vfat/big.bin
sync
host_alloc vfat-deleted
run optimize-vfat tarvikdorn --json optimize /dev/$scsimnt --volume /mnt/vfat
host_alloc vfat-optimized
run fstrim-vfat /usr/sbin/fstrim -v /mnt/vfat
run ls-vfat ls -a /mnt/vfat
umount /mnt/vfat
run fsck-vfat fsck.fat -n /dev/$part
true
