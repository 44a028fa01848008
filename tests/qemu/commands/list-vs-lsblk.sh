# Guest commands of qemu.list_vs_lsblk: the tool's list and lsblk from the same boot, and the
# drive tools on one drive of each kind (their comparisons come with their own tests).
run lsblk lsblk -J -b -O
run list tarvikdorn list --json
run system tarvikdorn --json system
run placeholder-list placeholder-list
run smartctl-sata smartctl -i "/dev/$(disk_on '*/ata[0-9]*')"
run smartctl-nvme smartctl -i /dev/nvme0
run nvme-id-ctrl nvme id-ctrl /dev/nvme0
run sg-inq sg_inq "/dev/$(disk_on '*/virtio*' | head -n 1)"
# The status is the harness's own: a command that failed above is judged by the host.
true
