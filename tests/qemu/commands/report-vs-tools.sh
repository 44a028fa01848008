# Guest commands of qemu.report_vs_tools: the report (as text and as the UTF-16 file) beside
# dmidecode, lspci, lscpu, lsusb, lsblk and ip, and the monitors' EDID files for edid-decode on
# the host; the drive sections beside smartctl, nvme-cli, sg3_utils, sfdisk and blkid, all in
# one boot. Per-disk outputs are named by the kernel's disk name, which the report shows.
# The profile's NIC gets a static address and the default route.
for d in /sys/class/net/*; do
    [ "$(cat "$d/address" 2>/dev/null)" = 52:54:00:7d:0a:01 ] && nic=${d##*/}
done
if [ -n "${nic:-}" ]; then
    ip link set "$nic" up
    ip addr add 192.0.2.15/24 dev "$nic"
    ip route add default via 192.0.2.1 dev "$nic"
fi
for c in /sys/class/drm/card*-*; do
    [ "$(cat "$c/status" 2>/dev/null)" = connected ] && cat "$c/edid" >"$out/edid-${c##*/}.bin"
done

# Partition tables for the report's layout block, on this boot's scratch disks only (found by
# the product name the profile gave them): MBR on scsi512, GPT on scsi4k (4096-byte sectors).
# Fixed identifiers keep the recording stable.
scratch() {
    local d
    for d in $(disks); do
        case "$(cat "/sys/block/$d/device/model" 2>/dev/null)" in
        "$1"*) echo "/dev/$d" ;;
        esac
    done
}
d512=$(scratch "SCSI 512")
d4k=$(scratch "SCSI 4K")
if [ -n "$d512" ]; then
    printf '%s\n' 'label: dos' 'label-id: 0x7d0a5120' 'unit: sectors' \
        'start=2048, size=204800, type=83, bootable' 'start=206848, size=409600, type=7' \
        'start=616448, size=204800, type=7' |
        run sfdisk-write-mbr sfdisk --no-reread --wipe always "$d512"
    blockdev --rereadpt "$d512"
fi
if [ -n "$d4k" ]; then
    printf '%s\n' 'label: gpt' 'label-id: 7D0A4096-0000-4000-8000-0000000000A1' 'unit: sectors' \
        'start=256, size=25600, type=C12A7328-F81F-11D2-BA4B-00A0C93EC93B, uuid=7D0A4096-0001-4000-8000-0000000000A1, name="TVD ESP"' \
        'start=25856, size=51200, type=EBD0A0A2-B9E5-4433-87C0-68B6B72699C7, uuid=7D0A4096-0002-4000-8000-0000000000A1, name="TVD Data", attrs="RequiredPartition"' |
        run sfdisk-write-gpt sfdisk --no-reread --wipe always "$d4k"
    blockdev --rereadpt "$d4k"
fi
settle

# File systems the host made (test_report_vs_tools.py), copied to the scratch partitions by the
# maps of their non-zero blocks and mounted: FAT32, NTFS (at a mount point with a blank) and
# exFAT on scsi512, FAT16 with 4096-byte sectors on scsi4k, whose second partition stays unmounted.
# FAT is mounted with utf8 names: the kernel's default "ascii" has no module here.
put_fs() { # name device
    local a b n
    while read -r a b n; do
        dd if="/root/tvdfs/$1.data" of="$2" bs=4096 skip="$a" seek="$b" count="$n" \
            conv=notrunc 2>/dev/null || return 1
    done <"/root/tvdfs/$1.map"
}
mount_fs() { # name device mount-point mount-command...
    local name=$1 dev=$2 dir=$3
    shift 3
    [ -e "$dev" ] || return 0
    run "put-$name" put_fs "$name" "$dev" || return 0
    mkdir -p "$dir"
    run "mount-$name" "$@" "$dev" "$dir"
}
sync
if [ -n "$d512" ]; then
    mount_fs fat32 "${d512}1" /mnt/fat32 mount -t vfat -o iocharset=utf8
    mount_fs ntfs "${d512}2" "/mnt/tvd ntfs" ntfs-3g
    mount_fs exfat "${d512}3" /mnt/exfat mount -t exfat
fi
[ -n "$d4k" ] && mount_fs fat16-4k "${d4k}1" /mnt/esp4k mount -t vfat -o iocharset=utf8
settle

run report tarvikdorn report
run report-file tarvikdorn report --output "$out/report.log"
# Right after the report: the health counters that move with I/O are not compared.
for c in /dev/nvme[0-9]; do
    [ -e "$c" ] && run "smartctl-x-${c##*/}" smartctl -x -j "$c"
done
run dmidecode dmidecode
run lspci lspci -D -n -k
# The names, which lspci takes from pci.ids where the guest has no hardware database.
run lspci-names lspci -D -nn -vmm
run lscpu lscpu
run lsusb-v lsusb -v
run lsblk lsblk -J -b -o NAME,TYPE,SIZE,HCTL,RM,RO,DISC-MAX,HOTPLUG,FSTYPE,LABEL,PTTYPE,PTUUID,PARTUUID
run lsblk-volumes lsblk -J -b -o NAME,FSTYPE,LABEL,UUID,MOUNTPOINT,SIZE,FSSIZE,FSAVAIL
cat /proc/self/mountinfo >"$out/mountinfo.out"
run ip-addr /usr/local/bin/ip -j addr
run ip-route /usr/local/bin/ip -j route
cat /proc/meminfo >"$out/meminfo.out"

for d in $(disks); do
    case $d in
    nvme*) ;;
    *)
        run "sg-inq-$d" sg_inq --raw --len=128 "/dev/$d"
        run "sg-readcap-$d" sg_readcap --long "/dev/$d"
        ;;
    esac
    run "sfdisk-$d" sfdisk -J "/dev/$d"
    run "blkid-$d" blkid -p -o export "/dev/$d"
    for p in /sys/block/$d/$d*; do
        [ -e "$p/partition" ] && run "blkid-${p##*/}" blkid -p -o export "/dev/${p##*/}"
    done
    case "$(readlink -f "/sys/block/$d")" in
    */ata[0-9]*)
        run "smartctl-identify-$d" smartctl --identify=w "/dev/$d"
        run "smartctl-x-$d" smartctl -x -j "/dev/$d"
        ;;
    esac
done
for c in /dev/nvme[0-9]; do
    [ -e "$c" ] || continue
    run "nvme-id-ctrl-${c##*/}" nvme id-ctrl -b "$c"
    run "nvme-list-ns-${c##*/}" nvme list-ns "$c"
done
for n in /dev/nvme[0-9]n[0-9]*; do
    [ -e "$n" ] || continue
    case $n in *p[0-9]*) continue ;; esac
    run "nvme-id-ns-${n##*/}" nvme id-ns -b "$n"
done
true
