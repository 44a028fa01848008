#!/bin/sh
# PLACEHOLDER, used by the tests only: a stand-in for `tarvikdorn list --json` read straight from
# sysfs in the guest, in the list's shape. It checks the harness and the comparison end to end
# while the real command cannot; it is never compared in the real command's place.
first=1
i=0
printf '['
for d in /sys/block/*; do
    name=${d##*/}
    case $name in loop* | ram* | zram* | sr* | fd* | md* | dm-* | nbd*) continue ;; esac
    dev=$(readlink -f "$d")
    case $dev in
    */usb*) bus=USB ;;
    */nvme*) bus=NVMe ;;
    */ata[0-9]*) bus=SATA ;;
    *) bus=SCSI ;;
    esac
    [ "$(cat "$d/removable")" = 1 ] && rm=true || rm=false
    sectors=$(cat "$d/size")
    [ $first = 1 ] || printf ','
    first=0
    printf '{"index":%d,"path":"/dev/%s","bus":"%s","removable":%s,"capacity":%s,"sector_size":%s}' \
        $i "$name" $bus $rm "$((sectors * 512))" "$(cat "$d/queue/logical_block_size")"
    i=$((i + 1))
done
printf ']\n'
