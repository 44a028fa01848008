# Guest commands of qemu.identify_vs_tools: `tarvikdorn identify --json` beside smartctl,
# nvme-cli and sg3-utils on every drive of the profile. Outputs are named by the drive's id in
# the profile (sata1, nvme1, scsi512, scsi4k, scsibig, usb1); the host compares them.
sata=$(disk_on '*/ata[0-9]*')
nvme=$(disk_on '*/nvme*')
usb=$(disk_on '*/usb*')
run list tarvikdorn list --json

run ours-sata1 tarvikdorn identify --json --raw "/dev/$sata"
run smartctl-sata1 smartctl -i -j "/dev/$sata"
# Command blocks: ours on stderr with --trace, sg3-utils' on stderr at -vvv.
run trace-sata1 tarvikdorn identify --trace "/dev/$sata"
run sg-inq-v-sata1 sg_inq -vvv "/dev/$sata"
run sg-readcap-v-sata1 sg_readcap --long -vvv "/dev/$sata"
run sg-sat-identify-sata1 sg_sat_identify -vvv "/dev/$sata"
run sg-sat-identify12-sata1 sg_sat_identify --len=12 -vvv "/dev/$sata"
# The details rows beside smartctl's word-by-word print and nvme-cli (compare_fields_tools.py).
run fields-sata1 tarvikdorn identify --fields --json "/dev/$sata"
run smartctl-identify-sata1 smartctl --identify=wn "/dev/$sata"

run ours-nvme1 tarvikdorn identify --json --raw "/dev/$nvme"
run smartctl-nvme1 smartctl -i -j /dev/nvme0
run nvme-id-ctrl nvme id-ctrl -o json /dev/nvme0
run nvme-id-ns nvme id-ns -o json "/dev/$nvme"
run fields-nvme1 tarvikdorn identify --fields --json "/dev/$nvme"

# The virtio-scsi disks by the product name the profile gave them.
for d in $(disk_on '*/virtio*'); do
    case "$(cat "/sys/block/$d/device/model")" in
    "SCSI 512"*) id=scsi512 ;;
    "SCSI 4K"*) id=scsi4k ;;
    "SCSI 3T"*) id=scsibig ;;
    *) note "unexpected SCSI disk $d"; continue ;;
    esac
    run "ours-$id" tarvikdorn identify --json --raw "/dev/$d"
    run "sg-inq-$id" sg_inq "/dev/$d"
    run "sg-readcap-$id" sg_readcap --long "/dev/$d"
    if [ "$id" = scsibig ]; then
        run "trace-$id" tarvikdorn identify --trace "/dev/$d"
        run "sg-inq-v-$id" sg_inq -vvv "/dev/$d"
        run "sg-readcap-v-$id" sg_readcap --long -vvv "/dev/$d"
    fi
done

run ours-usb1 tarvikdorn identify --json --raw "/dev/$usb"
run sg-inq-usb1 sg_inq "/dev/$usb"
run sg-readcap-usb1 sg_readcap --long "/dev/$usb"
# SMART beside smartctl -A and nvme smart-log (compare_smart_tools.py); the NVMe log is read
# before and after ours, so counters that move must lie between the two.
run smart-sata1 tarvikdorn smart --json "/dev/$sata"
run smartctl-a-sata1 smartctl -A -j "/dev/$sata"
run nvme-smart-log-before nvme smart-log -o json /dev/nvme0
run smart-nvme1 tarvikdorn smart --json "/dev/$nvme"
run nvme-smart-log-after nvme smart-log -o json /dev/nvme0
run smart-usb1 tarvikdorn smart --json "/dev/$usb"
# The drives as simulated-drive files, with the tools' answers beside them for the window test
# under Wine (the host keeps them as dumps/, see docs/qemu-harness.md). The NVMe health log is
# read before and after the dump: counters that move with I/O must lie between the two.
run dump-sata1 tarvikdorn dump "/dev/$sata"
run smartctl-x-sata1 smartctl -x -j "/dev/$sata"
run nvme-smart-log-dump-before nvme smart-log -o json /dev/nvme0
run dump-nvme1 tarvikdorn dump "/dev/$nvme"
run nvme-smart-log-dump-after nvme smart-log -o json /dev/nvme0
run smartctl-x-nvme1 smartctl -x -j /dev/nvme0
# The host judges every output.
true
