"""Parsers and the comparison of qemu.usb_vs_lsusb: lsusb's descriptors and topology against the
USB facts `tarvikdorn identify --json` reports for a disk."""

import re

# lsusb -t speeds -> the link name the tool derives from the hub's connection speed.
LINKS = {"1.5M": "USB 1.0 (low speed)", "12M": "USB 1.1", "480M": "USB 2.0",
         "5000M": "USB 3.0", "10000M": "USB 3.0", "20000M": "USB 3.0"}


def parse_tree(text):
    """lsusb -t -> {(bus, dev): {"port": P, "driver": D, "speed": S}} for interface 0 lines."""
    nodes = {}
    bus = None
    for line in text.splitlines():
        m = re.match(r"/:\s+Bus (\d+)\.Port \d+: Dev \d+", line)
        if m:
            bus = int(m.group(1))
            continue
        m = re.search(r"Port (\d+): Dev (\d+), If (\d+), .*Driver=([^,]*), (\S+)$", line)
        if m and bus is not None and int(m.group(3)) == 0:
            nodes[(bus, int(m.group(2)))] = {"port": int(m.group(1)), "driver": m.group(4),
                                             "speed": m.group(5)}
    return nodes


def parse_verbose(text):
    """lsusb -v -s B:D -> the device descriptor's ids and strings."""
    out = {}
    for key in ("idVendor", "idProduct", "iManufacturer", "iProduct", "iSerial", "bcdUSB"):
        m = re.search(rf"^\s+{key}\s+(\S+)(?:\s+(.*))?$", text, re.M)
        if not m:
            continue
        value, rest = m.group(1), (m.group(2) or "").strip()
        if key.startswith("id"):
            out[key] = value.lower().removeprefix("0x")
        elif key.startswith("i"):
            out[key] = rest  # "3 TVDUSBBOT": index, then the string
        else:
            out[key] = value
    return out


def compare(disk, tool_usb, verbose, tree_node):
    """Differences between the tool's USB facts and lsusb's, as (field, tool, lsusb) tuples."""
    want = {
        "vendorId": verbose.get("idVendor"),
        "productId": verbose.get("idProduct"),
        "manufacturer": verbose.get("iManufacturer", ""),
        "product": verbose.get("iProduct", ""),
        "serial": verbose.get("iSerial", ""),
        "port": tree_node["port"] if tree_node else None,
        "link": LINKS.get(tree_node["speed"], "?") if tree_node else None,
    }
    return [(k, tool_usb.get(k), v) for k, v in want.items() if tool_usb.get(k) != v]
