# Guest commands of qemu.usb_hotplug: the USB disk leaves /sys/block when the host unplugs it
# and comes back when the host plugs it in again; the tool's list follows when it has one.
usb=$(disk_on '*/usb*')
[ -n "$usb" ] || { fail "no USB disk before the unplug"; exit 1; }
echo "$usb" >"$out/usb-before.txt"
run list-before tarvikdorn list --json

host_request device_del usb1 || fail "the host could not unplug usb1"
wait_until 30 disk_absent "$usb" || fail "$usb still in /sys/block after the unplug"
settle
run sysblock-unplugged ls /sys/block
run list-unplugged tarvikdorn list --json

host_request device_add usb1 || fail "the host could not plug usb1 back"
wait_until 60 eval '[ -n "$(disk_on "*/usb*")" ]' || fail "no USB disk after plugging it back"
settle
disk_on '*/usb*' >"$out/usb-after.txt"
run sysblock-replugged ls /sys/block
run list-replugged tarvikdorn list --json

# The USB facts of the disk as sysfs shows them, and as the tool reports them.
usbdev=$(readlink -f "/sys/block/$(cat "$out/usb-after.txt")")
while [ -n "$usbdev" ] && [ ! -e "$usbdev/idVendor" ]; do usbdev=${usbdev%/*}; done
for f in idVendor idProduct manufacturer product serial speed devpath; do
    printf '%s=%s\n' "$f" "$(cat "$usbdev/$f" 2>/dev/null)"
done >"$out/usb-sysfs.txt"
run usb-identify tarvikdorn --json identify "/dev/$(cat "$out/usb-after.txt")"
[ ! -s "$out/failures.txt" ]
