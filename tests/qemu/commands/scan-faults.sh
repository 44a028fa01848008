# Guest commands of qemu.scan_faults: surface scans of the faults profile's disks beside dd with
# direct reads of the sector the host made unreadable, a full scan of the clean disk, and a full
# scan stopped by SIGINT.
bad512=$(by_product "SCSI BAD 512")
bad4k=$(by_product "SCSI BAD 4K")
clean=$(by_product "SCSI CLEAN")
[ -n "$bad512" ] && [ -n "$bad4k" ] && [ -n "$clean" ] || { fail "missing disks: $(disks)"; exit 1; }

# dd around the bad spot, in each disk's own sector size: the one before reads, the bad one not.
run dd-bad512-before dd if=/dev/$bad512 of=/dev/null bs=512 skip=$((BAD_SECTOR - 1)) count=1 iflag=direct
run dd-bad512-at dd if=/dev/$bad512 of=/dev/null bs=512 skip=$BAD_SECTOR count=1 iflag=direct
run dd-bad4k-at dd if=/dev/$bad4k of=/dev/null bs=4096 skip=$((BAD_SECTOR / 8)) count=1 iflag=direct
run scan-bad512 tarvikdorn --json scan /dev/$bad512 --quick
run scan-bad4k tarvikdorn --json scan /dev/$bad4k --full
run size-clean cat /sys/block/$clean/size
run scan-clean tarvikdorn --json scan /dev/$clean --full
# Ctrl-C once the scan shows progress (a slow start, as under a sanitizer, must not race it).
tarvikdorn scan /dev/$clean --full >"$out/abort-clean.out" 2>"$out/abort-clean.err" &
scan=$!
wait_until 60 grep -q "%" "$out/abort-clean.err" || fail "the scan showed no progress"
kill -INT $scan
wait $scan
echo $? >"$out/abort-clean.rc"
note "run abort-clean: SIGINT during a full scan -> $(cat "$out/abort-clean.rc")"
[ ! -s "$out/failures.txt" ]
