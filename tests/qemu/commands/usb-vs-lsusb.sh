# Guest commands of qemu.usb_vs_lsusb: for every USB disk, lsusb's view of its device (verbose
# descriptors, from usbfs) and the tool's, plus the topology lsusb -t draws.
run lsusb-tree lsusb -t
: >"$out/usb-disks.txt"
for b in /sys/block/sd*; do
    [ -e "$b" ] || continue
    dev=$(readlink -f "$b")
    case $dev in */usb*) ;; *) continue ;; esac
    name=${b##*/}
    usbdev=$dev
    while [ -n "$usbdev" ] && [ ! -e "$usbdev/idVendor" ]; do usbdev=${usbdev%/*}; done
    [ -n "$usbdev" ] || continue
    iface=$(ls -d "$usbdev"/*:1.0 2>/dev/null | head -n 1)
    driver=$(basename "$(readlink -f "$iface/driver" 2>/dev/null)" 2>/dev/null)
    echo "$name ${usbdev##*/} $(cat "$usbdev/busnum") $(cat "$usbdev/devnum") $driver" >>"$out/usb-disks.txt"
    run "lsusb-$name" lsusb -v -s "$(cat "$usbdev/busnum"):$(cat "$usbdev/devnum")"
    run "identify-$name" tarvikdorn --json identify "/dev/$name"
done
true
