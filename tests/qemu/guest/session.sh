# Guest side of a harness run, started by /init from the host's share (so a change here needs no
# new initramfs). Installs the payload, starts udev, waits for the profile's disks, runs the
# host's command file with the helpers below, records its status and powers off.
#
# Share layout: harness/ (this file, run.conf, commands.sh), payload/ (a tree copied over /),
# out/ (everything the host brings back), req/ (requests to the host, see host_request).

share=/share
out=$share/out
mkdir -p "$out" "$share/req"
exec 3>>"$out/session.log"

uptime_s() { cut -d' ' -f1 /proc/uptime; }
note() {
    echo "[$(uptime_s)] $*" >&3
    echo "tvd: $*" >/dev/console
}

# --- helpers for command files -------------------------------------------------------------

# run NAME CMD [ARGS...]: stdout to out/NAME.out, stderr to out/NAME.err, status to out/NAME.rc.
run() {
    local name=$1
    shift
    "$@" >"$out/$name.out" 2>"$out/$name.err"
    local rc=$?
    echo "$rc" >"$out/$name.rc"
    note "run $name: $* -> $rc"
    return $rc
}

# host_request ACTION [ARGS...]: asks the host runner to do something (device_del ID,
# device_add ID, qmp JSON, sleep SECONDS) and waits until it is done. Fails when the host
# reports an error or does not answer within TVD_REQUEST_TIMEOUT seconds.
req_seq=0
host_request() {
    req_seq=$((req_seq + 1))
    local base=$share/req/$req_seq
    echo "$*" >"$base.tmp" && mv "$base.tmp" "$base.req"
    note "request $req_seq: $*"
    local waited=0 limit=$((${TVD_REQUEST_TIMEOUT:-60} * 10))
    while [ ! -f "$base.done" ]; do
        usleep 100000
        waited=$((waited + 1))
        [ $waited -ge $limit ] && { note "request $req_seq: no answer"; return 1; }
    done
    local answer
    answer=$(cat "$base.done")
    note "request $req_seq: $answer"
    [ "$answer" = ok ]
}

# wait_until SECONDS CMD [ARGS...]: polls CMD every 0.1 s until it succeeds.
wait_until() {
    local limit=$(($1 * 10)) n=0
    shift
    until "$@"; do
        n=$((n + 1))
        [ $n -ge $limit ] && return 1
        usleep 100000
    done
}

# disks: the block devices that are drives (no loop, ram, zram, optical, md, dm, nbd).
disks() {
    local d
    for d in /sys/block/*; do
        case ${d##*/} in
        loop* | ram* | zram* | sr* | fd* | md* | dm-* | nbd*) ;;
        *) echo "${d##*/}" ;;
        esac
    done
}
disk_count() { disks | wc -l; }
has_disks() { [ "$(disk_count)" -ge "$1" ]; }

# disk_on PATTERN: the disks whose sysfs device path matches a shell pattern, e.g. '*/usb*'.
disk_on() {
    local d
    for d in $(disks); do
        case $(readlink -f "/sys/block/$d") in
        $1) echo "$d" ;;
        esac
    done
}
disk_present() { [ -e "/sys/block/$1" ]; }
disk_absent() { [ ! -e "/sys/block/$1" ]; }

# The disk whose SCSI product name (blank-padded to 16 characters) is $1.
by_product() {
    local d
    for d in $(disks); do
        case "$(cat "/sys/block/$d/device/model" 2>/dev/null)" in
        "$1" | "$1 "*) echo "$d" ;;
        esac
    done
}

# fail TEXT: a failure the host reports; the commands go on.
fail() {
    note "FAIL: $*"
    echo "$*" >>"$out/failures.txt"
}

# settle: waits for udev (when running) to finish the events it has.
settle() {
    [ "${TVD_UDEV:-0}" = 1 ] && udevadm settle --timeout="${1:-30}"
    return 0
}

# --- the session ---------------------------------------------------------------------------

. "$share/harness/run.conf"
note "session start, kernel $(uname -r)"

if [ -d "$share/payload" ]; then
    cp -a "$share/payload/." / || note "payload copy failed"
fi

if [ "${TVD_UDEV:-0}" = 1 ]; then
    mkdir -p /run/udev
    /lib/systemd/systemd-udevd --daemon --resolve-names=never 2>>"$out/udevd.err" ||
        note "udevd did not start"
    udevadm trigger --type=subsystems --action=add
    udevadm trigger --type=devices --action=add
fi

if wait_until "${TVD_SETTLE_TIMEOUT:-180}" has_disks "${TVD_DISKS:-0}"; then
    settle 60
    note "disks ready: $(disks | tr '\n' ' ')"
else
    note "only $(disk_count) of ${TVD_DISKS} disks appeared: $(disks | tr '\n' ' ')"
fi
dmesg >"$out/dmesg-boot.txt"

(. "$share/harness/commands.sh")
status=$?
note "commands finished with status $status"
dmesg >"$out/dmesg.txt"
echo "$status" >"$out/.status.tmp" && mv "$out/.status.tmp" "$out/.status"
exec 3>&-
sync
umount /share 2>/dev/null
poweroff -f
