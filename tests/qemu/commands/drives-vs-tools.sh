# Guest commands of qemu.drives_vs_tools: `tarvikdorn list --json` and `info --json` beside
# smartctl, nvme-cli and lsblk on every drive; the partitions `info` shows beside sfdisk and
# sgdisk on tables written here to the profile's own scratch disks (MBR with logical partitions,
# then GPT); `tarvikdorn watch --json` while the host unplugs the USB disk and plugs it back.
# Outputs are named by the drive's id in the profile; the host compares them.
# The profile's id of a disk, from where it hangs and the product name the profile gave it.
drive_id() {
    case "$(readlink -f "/sys/block/$1")" in
    */usb*) echo usb1 ;;
    */ata[0-9]*) echo sata1 ;;
    */nvme*) echo nvme1 ;;
    */virtio*)
        case "$(cat "/sys/block/$1/device/model")" in
        "SCSI 512"*) echo scsi512 ;;
        "SCSI 4K"*) echo scsi4k ;;
        "SCSI 3T"*) echo scsibig ;;
        esac
        ;;
    esac
}

for d in $(disks); do
    id=$(drive_id "$d")
    [ -n "$id" ] || { note "unexpected disk $d"; continue; }
    echo "$id /dev/$d" >>"$out/disks.txt"
done

run lsblk lsblk -J -b -O
run list tarvikdorn list --json
while read -r id dev; do
    run "info-$id" tarvikdorn info --json "$dev"
done <"$out/disks.txt"
sata=$(disk_on '*/ata[0-9]*')
run smartctl-i-sata1 smartctl -i -j "/dev/$sata"
run smartctl-a-sata1 smartctl -A -j "/dev/$sata"
run smartctl-i-nvme1 smartctl -i -j /dev/nvme0
run nvme-id-ctrl nvme id-ctrl -o json /dev/nvme0
run nvme-smart-log nvme smart-log -o json /dev/nvme0

# Partition tables on the scratch disks of this boot only: scsi512 (512-byte sectors, 1 GiB)
# and scsi4k (4096-byte sectors, 1 GiB), found by the product name the profile gave them.
scratch() { awk -v id="$1" '$1 == id { print $2 }' "$out/disks.txt"; }
d512=$(scratch scsi512)
d4k=$(scratch scsi4k)
[ -n "$d512" ] && [ -n "$d4k" ] || fail "scratch disks missing: scsi512 '$d512' scsi4k '$d4k'"

# MBR: a bootable primary, a 28 MiB gap, an extended partition holding two logical ones with
# 20 MiB between them, the rest free. In 512-byte sectors.
if [ -n "$d512" ]; then
    cat >"$out/mbr.sfdisk" <<SFDISK
label: dos
unit: sectors
${d512}1 : start=2048, size=204800, type=83, bootable
${d512}2 : start=264192, size=1048576, type=5
${d512}5 : start=266240, size=204800, type=83
${d512}6 : start=512000, size=409600, type=7
SFDISK
    run sfdisk-write-mbr sfdisk --no-reread --wipe always "$d512" <"$out/mbr.sfdisk" \
        || fail "sfdisk could not write the MBR table"
    run blockdev-mbr blockdev --rereadpt "$d512"
    settle
    run sfdisk-mbr-scsi512 sfdisk -J "$d512"
    # The chain of extended boot records from the container's start: sector numbers, read here
    # with dd and od rather than asked of any partitioning tool.
    ebr=264192
    while [ -n "$ebr" ] && [ "$ebr" -gt 0 ]; do
        echo "$ebr" >>"$out/ebr-mbr-scsi512.txt"
        link=$(dd if="$d512" bs=512 skip="$ebr" count=1 2>/dev/null | od -An -tu4 -j 470 -N 4)
        [ "${link:-0}" -gt 0 ] 2>/dev/null || break
        ebr=$((264192 + link))
    done
    run info-mbr-scsi512 tarvikdorn info --json "$d512"
    run sgdisk-zap-scsi512 sgdisk --zap-all "$d512"
fi

# GPT: ESP, MSR, basic data, 32 MiB free, recovery; the rest free. Sizes in bytes, so the same
# commands suit both sector sizes.
for pair in "scsi512 $d512" "scsi4k $d4k"; do
    set -- $pair
    [ -n "$2" ] || continue
    run "sgdisk-write-$1" sgdisk --zap-all --clear \
        -n 1:0:+100M -t 1:EF00 -c 1:EFI \
        -n 2:0:+16M -t 2:0C01 -c 2:MSR \
        -n 3:0:+400M -t 3:0700 -c 3:DATA \
        -n 4:+32M:+200M -t 4:2700 -c 4:RECOVERY "$2" \
        || fail "sgdisk could not write the GPT table on $1"
    settle
    run "sgdisk-p-$1" sgdisk -p "$2"
    run "sfdisk-gpt-$1" sfdisk -J "$2"
    run "info-gpt-$1" tarvikdorn info --json "$2"
done

# Hot-plug under watch. The initial arrivals first, then a mark; then the host unplugs the SCSI
# disk scsi512 and plugs it back, then the same with the USB disk (a served and, in this profile,
# an unserved disk); watch must report the first pair of events and nothing for the second.
usb=$(disk_on '*/usb*')
echo "$d512" >"$out/hotplug-before.txt"
echo "/dev/$usb" >"$out/usb-before.txt"
tarvikdorn watch --json --seconds "${TVD_WATCH_SECONDS:-45}" >"$out/watch.out" 2>"$out/watch.err" &
watch_pid=$!
wait_until 60 grep -q "\"$d512\"" "$out/watch.out" || note "watch did not report $d512 at its start"
sleep 2
wc -l <"$out/watch.out" >"$out/watch-mark.txt"
host_request device_del scsi512 || fail "the host could not unplug scsi512"
wait_until 30 disk_absent "${d512#/dev/}" || fail "$d512 still in /sys/block after the unplug"
wait_until 30 grep -q '"removal"' "$out/watch.out" || note "watch printed no removal"
host_request device_add scsi512 || fail "the host could not plug scsi512 back"
scsi512_back() {
    for d in $(disk_on '*/virtio*'); do
        [ "$(drive_id "$d")" = scsi512 ] && echo "/dev/$d" && return 0
    done
    return 1
}
wait_until 60 scsi512_back || fail "no scsi512 after plugging it back"
scsi512_back >"$out/hotplug-after.txt"
wait_until 30 grep -q '"arrival".*"'"$(cat "$out/hotplug-after.txt")"'"' "$out/watch.out" \
    || note "watch printed no arrival for scsi512"
host_request device_del usb1 || fail "the host could not unplug usb1"
wait_until 30 disk_absent "$usb" || fail "$usb still in /sys/block after the unplug"
host_request device_add usb1 || fail "the host could not plug usb1 back"
wait_until 60 eval '[ -n "$(disk_on "*/usb*")" ]' || fail "no USB disk after plugging it back"
echo "/dev/$(disk_on '*/usb*')" >"$out/usb-after.txt"
settle
note "waiting for watch to end"
wait "$watch_pid"
echo $? >"$out/watch.rc"
[ ! -s "$out/failures.txt" ]
