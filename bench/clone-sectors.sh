#!/bin/sh
# Sector-copy throughput of `tarvikdorn clone` against dd on the same data, as root:
# two loop devices with direct I/O over files on one file system, one partition of random data.
# Rounds alternate the order (clone then dd, dd then clone); prints each run, the medians and the
# best, and the ratio of the medians (a shared machine's load moves single runs a lot; the median
# of interleaved runs is the figure to quote). The clone's rate is over its copy stage only
# (`copySeconds`), as dd's is over its copy. Usage: sudo clone-sectors.sh [MiB] [rounds]
set -eu
size=${1:-1024}
rounds=${2:-5}
tool=${TARVIKDORN:-$(dirname "$0")/../build/linux/tarvikdorn}
dir=$(mktemp -d)
src=""; dst=""
cleanup() { [ -n "$src" ] && losetup -d "$src"; [ -n "$dst" ] && losetup -d "$dst"; rm -rf "$dir"; }
trap cleanup EXIT
truncate -s $((size + 4))M "$dir/src.img" "$dir/dst.img"
printf 'label: dos\nstart=2048, size=%s, type=83\n' $((size * 2048)) | sfdisk -q "$dir/src.img"
dd if=/dev/urandom of="$dir/src.img" bs=1M seek=1 count="$size" conv=notrunc status=none
src=$(losetup -f --show --direct-io=on "$dir/src.img")
dst=$(losetup -f --show --direct-io=on "$dir/dst.img")
export TARVIKDORN_LIST_LOOP=1
bytes=$((size * 1048576))

clone_rate() {
    out=$("$tool" --json clone "$src" "$dst" --yes --log-dir "$dir")
    echo "$out" | python3 -c 'import json,sys; d=json.load(sys.stdin); assert d["result"] == "completed", d; print("%.1f" % (d["bytesCopied"]/1e6/d["copySeconds"]))'
}
dd_rate() {
    # The partition's bytes onto where the clone places it (2 MiB), both ways direct.
    t0=$(date +%s.%N)
    dd if="$src" of="$dst" bs=4M skip=1048576 seek=2097152 count="$bytes" \
        iflag=direct,skip_bytes,count_bytes oflag=direct,seek_bytes status=none
    t1=$(date +%s.%N)
    python3 -c "print('%.1f' % ($bytes/1e6/($t1-$t0)))"
}
median() { printf '%s\n' "$@" | sort -n | awk '{v[NR]=$1} END {print (NR%2 ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2)}'; }
best() { printf '%s\n' "$@" | sort -n | tail -1; }

# A first clone onto the zeroed target, checked: the partition's bytes where the plan put them.
clone_rate >/dev/null
cmp -n "$bytes" -i 1048576:2097152 "$src" "$dst" || { echo "clone differs from its source" >&2; exit 1; }
cs=""; ds=""
i=0
while [ "$i" -lt "$rounds" ]; do
    if [ $((i % 2)) -eq 0 ]; then cs="$cs $(clone_rate)"; ds="$ds $(dd_rate)"
    else ds="$ds $(dd_rate)"; cs="$cs $(clone_rate)"; fi
    i=$((i + 1))
done
# shellcheck disable=SC2086
cm=$(median $cs); dm=$(median $ds); cb=$(best $cs); db=$(best $ds)
echo "clone: median $cm MB/s, best $cb (runs$cs)"
echo "dd:    median $dm MB/s, best $db (runs$ds)"
python3 -c "print('ratio of medians: %.2f, of bests: %.2f' % ($cm/$dm, $cb/$db))"
