# Guest commands of qemu.report_vs_tools: the report (as text and as the UTF-16 file) beside
# dmidecode, lspci, lscpu, lsusb and lsblk, all in one boot.
run report tarvikdorn report
run report-file tarvikdorn report --output "$out/report.log"
run dmidecode dmidecode
run lspci lspci -D -n -k
run lscpu lscpu
run lsusb-v lsusb -v
run lsblk lsblk -J -b -o NAME,TYPE,SIZE,HCTL
cat /proc/meminfo >"$out/meminfo.out"
true
