#!/usr/bin/env python3
"""Writes the SMART keys of a simulated drive file (docs/simulated-drives.md) with valid
checksums.

ATA: one ID:CURRENT:WORST:THRESHOLD:RAW per attribute, in the order the drive reports them
(numbers decimal or 0x hexadecimal; RAW up to 56 bits), printed as [Ata] SmartData and
SmartThresholds:

    tools/smartpages.py ata 5:100:100:10:0 9:99:99:0:1234 0xC2:65:45:0:35

NVMe: FIELD=VALUE for the health log fields below, printed as [Nvme] Log.02:

    tools/smartpages.py nvme kelvin=310 spare=100 spare_thresh=10 percent_used=3
"""

import sys

NVME_FIELDS = {  # name: (offset, bytes)
    "critical_warning": (0, 1), "kelvin": (1, 2), "spare": (3, 1), "spare_thresh": (4, 1),
    "percent_used": (5, 1), "units_read": (32, 16), "units_written": (48, 16),
    "host_reads": (64, 16), "host_writes": (80, 16), "busy_minutes": (96, 16),
    "power_cycles": (112, 16), "power_on_hours": (128, 16), "unsafe_shutdowns": (144, 16),
    "media_errors": (160, 16), "error_log_entries": (176, 16),
}


def put(page, offset, size, value):
    if not 0 <= value < 1 << (8 * size):
        raise ValueError(f"{value} does not fit {size} bytes")
    page[offset:offset + size] = value.to_bytes(size, "little")


def checksummed(page):
    page[511] = -sum(page[:511]) & 0xFF
    return page


def ata_pages(attributes):
    data, thresholds = bytearray(512), bytearray(512)
    data[0] = thresholds[0] = 0x10  # revision
    if len(attributes) > 30:
        raise ValueError("at most 30 attributes")
    for i, (ident, current, worst, threshold, raw) in enumerate(attributes):
        o = 2 + 12 * i
        data[o] = thresholds[o] = ident
        put(data, o + 1, 2, 0x0032)  # flags
        data[o + 3], data[o + 4] = current, worst
        put(data, o + 5, 7, raw)
        thresholds[o + 1] = threshold
    return checksummed(data), checksummed(thresholds)


def nvme_log(fields):
    log = bytearray(512)
    for name, value in fields.items():
        put(log, *NVME_FIELDS[name], value)
    return log


def main(argv):
    if len(argv) < 2 or argv[0] not in ("ata", "nvme"):
        print(__doc__, file=sys.stderr)
        return 2
    if argv[0] == "ata":
        attrs = [tuple(int(x, 0) for x in a.split(":")) for a in argv[1:]]
        data, thresholds = ata_pages(attrs)
        print(f"SmartData={data.hex().upper()}\nSmartThresholds={thresholds.hex().upper()}")
    else:
        fields = dict(a.split("=", 1) for a in argv[1:])
        print("Log.02=" + nvme_log({k: int(v, 0) for k, v in fields.items()}).hex().upper())
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
