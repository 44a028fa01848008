# Guest commands of qemu.clone_disks: whole-disk clones between emulated SCSI disks. The host's
# images (MBR with FAT and NTFS on 512-byte sectors, GPT with an ESP and NTFS on 4096-byte
# sectors) are written onto the sources; each is cloned onto a larger and, where the plan
# allows, a smaller target, whose images go back to the host for its file-system tools. A clone
# onto another sector size must be refused without a write; a clone killed while it copies must
# leave no table, and the next clone must succeed.
src512=$(by_product "CLONE SRC 512")
big512=$(by_product "CLONE BIG 512")
small512=$(by_product "CLONE SMALL 512")
src4k=$(by_product "CLONE SRC 4K")
dst4k=$(by_product "CLONE DST 4K")
ksrc=$(by_product "CLONE KILL SRC")
kdst=$(by_product "CLONE KILL DST")
for d in "$src512" "$big512" "$small512" "$src4k" "$dst4k" "$ksrc" "$kdst"; do
    [ -n "$d" ] || { fail "missing disks: $(disks)"; exit 1; }
done
logs="$out/logs"
mkdir -p "$logs/killed" "$logs/again"

# The host's volumes onto the sources, behind tables the guest's sfdisk writes.
run fill env src512=$src512 src4k=$src4k sh /clone/fill.sh || fail "the sources were not written"
settle 10

run clone-big512 tarvikdorn --json clone /dev/$src512 /dev/$big512 --yes --log-dir "$logs"
run clone-small512 tarvikdorn --json clone /dev/$src512 /dev/$small512 --yes --log-dir "$logs"
run clone-dst4k tarvikdorn --json clone /dev/$src4k /dev/$dst4k --yes --log-dir "$logs"
run sgdisk-dst4k sgdisk -v /dev/$dst4k
run sfdisk-dst4k sfdisk -J /dev/$dst4k

# Another sector size: refused before anything is written.
run hash-dst4k-before sha256sum /dev/$dst4k
run clone-512-to-4k tarvikdorn --json clone /dev/$src512 /dev/$dst4k --yes --log-dir "$logs"
run hash-dst4k-after sha256sum /dev/$dst4k

for d in big512 small512 dst4k; do
    eval dev=\$$d
    run "image-$d" dd if=/dev/$dev of="$out/$d.img" bs=1M
done

# The interrupted clone: one partition over most of a 512 MiB disk (type 83 at sector 2048,
# 1,000,000 sectors), cloned and killed at its first progress line.
printf '\000\000\000\000\203\000\000\000\000\010\000\000\100\102\017\000' |
    dd of=/dev/$ksrc bs=1 seek=446 conv=notrunc,fsync 2>/dev/null
printf '\125\252' | dd of=/dev/$ksrc bs=1 seek=510 conv=notrunc,fsync 2>/dev/null
# An old table on the target, which the clone must take away before it copies.
printf '\000\000\000\000\203\000\000\000\000\010\000\000\000\010\000\000' |
    dd of=/dev/$kdst bs=1 seek=446 conv=notrunc,fsync 2>/dev/null
printf '\125\252' | dd of=/dev/$kdst bs=1 seek=510 conv=notrunc,fsync 2>/dev/null
blockdev --rereadpt /dev/$ksrc /dev/$kdst 2>/dev/null
settle 10
tarvikdorn clone /dev/$ksrc /dev/$kdst --yes --log-dir "$logs/killed" \
    >"$out/clone-killed.out" 2>"$out/clone-killed.err" &
clone=$!
wait_until 300 sh -c "grep -q % '$out/clone-killed.err' || ! kill -0 $clone" ||
    fail "the killed clone showed no progress"
kill -0 $clone || fail "the clone ended before it was killed: $(cat "$out/clone-killed.err")"
kill -9 $clone
wait $clone
echo $? >"$out/clone-killed.rc"
note "run clone-killed: kill -9 while copying -> $(cat "$out/clone-killed.rc")"
blockdev --rereadpt /dev/$kdst 2>/dev/null
settle 10
run blkid-killed blkid -p /dev/$kdst
run sfdisk-killed sfdisk -J /dev/$kdst
run sector0-killed sh -c "dd if=/dev/$kdst bs=512 count=2 2>/dev/null | od -A d -t x1"
run clone-again tarvikdorn --json clone /dev/$ksrc /dev/$kdst --yes --log-dir "$logs/again"
run sfdisk-again sfdisk -J /dev/$kdst
run sfdisk-ksrc sfdisk -J /dev/$ksrc
true
