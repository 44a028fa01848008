#!/bin/sh
# Sector-copy throughput of `tarvikdorn clone` against dd on the same data, as root:
# two loop devices with direct I/O over files on one file system, one partition of random data.
# Both orders, best of three each; prints MB/s and the ratio. Usage: sudo clone-sectors.sh [MiB]
set -eu
size=${1:-1024}
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
    echo "$out" | python3 -c 'import json,sys; d=json.load(sys.stdin); print("%.1f" % (d["bytesCopied"]/1e6/d["seconds"]))'
}
dd_rate() {
    # The partition's bytes onto where the clone places it (2 MiB), both ways direct.
    t0=$(date +%s.%N)
    dd if="$src" of="$dst" bs=4M skip=1048576 seek=2097152 count="$bytes" \
        iflag=direct,skip_bytes,count_bytes oflag=direct,seek_bytes status=none
    t1=$(date +%s.%N)
    python3 -c "print('%.1f' % ($bytes/1e6/($t1-$t0)))"
}
best() { printf '%s\n' "$@" | sort -n | tail -1; }

c1=$(clone_rate); d1=$(dd_rate); c2=$(clone_rate); d2=$(dd_rate); d3=$(dd_rate); c3=$(clone_rate)
c=$(best "$c1" "$c2" "$c3"); d=$(best "$d1" "$d2" "$d3")
echo "clone: $c MB/s (runs $c1 $c2 $c3)"
echo "dd:    $d MB/s (runs $d1 $d2 $d3)"
python3 -c "print('ratio: %.2f' % ($c/$d))"
