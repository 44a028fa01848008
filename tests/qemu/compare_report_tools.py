"""Parsers and comparisons of qemu.report_vs_tools: the sections of `tarvikdorn report` against
dmidecode (SM-BIOS strings), lspci (the ATA and SCSI controller classes), lscpu (the processor),
lsusb (the USB devices), lsblk (the disk lengths) and /proc/meminfo (the memory total), and the
report file's format read with Python's own UTF-16 codec."""

import re

ATA_CLASSES = {"0101", "0105", "0106"}
SCSI_CLASSES = {"0100", "0104", "0107", "0108"}


def sections(report):
    """Top-level heading (a line that starts at column 0) -> the lines below it."""
    out, current = {}, None
    for line in report.splitlines():
        if line and not line[0].isspace():
            current = line.split(" = ")[0].rstrip(" :")
            out.setdefault(current, []).append(line)
        elif current is not None:
            out[current].append(line)
    return out


def smbios_strings(report):
    """The SM-BIOS section's string fields: {(block, label): text} ("" for "(NULL)"); repeated
    structures (processors, memory devices) keep their first entry."""
    found, block = {}, None
    for line in sections(report).get("SM-BIOS", []):
        m = re.match(r"^ (Type\d+)\(", line)
        if m:
            block = m.group(1)
            continue
        m = re.match(r"^\s+(\S[^=]*?) = \[\d+\] \((.*)\)$", line)
        if m and block:
            text = "" if m.group(2) == "NULL" else m.group(2)
            found.setdefault((block, m.group(1)), text)
    return found


def parse_dmidecode(text):
    """dmidecode -> {type: [ {field: value} per structure ]}."""
    out, current = {}, None
    for line in text.splitlines():
        m = re.match(r"^Handle 0x[0-9A-Fa-f]+, DMI type (\d+),", line)
        if m:
            current = {}
            out.setdefault(int(m.group(1)), []).append(current)
            continue
        m = re.match(r"^\t([^\t:][^:]*): (.*)$", line)
        if m and current is not None:
            current.setdefault(m.group(1), m.group(2).strip())
    return out


# (report block, report label) -> (DMI type, dmidecode field)
SMBIOS_FIELDS = {
    ("Type0", "Vendor"): (0, "Vendor"),
    ("Type0", "Version"): (0, "Version"),
    ("Type0", "ReleaseDate"): (0, "Release Date"),
    ("Type1", "Manufacturer"): (1, "Manufacturer"),
    ("Type1", "Product"): (1, "Product Name"),
    ("Type1", "Version"): (1, "Version"),
    ("Type1", "Serial"): (1, "Serial Number"),
    ("Type2", "Manufacturer"): (2, "Manufacturer"),
    ("Type2", "Product"): (2, "Product Name"),
    ("Type2", "Version"): (2, "Version"),
    ("Type2", "Serial"): (2, "Serial Number"),
    ("Type3", "Manufacturer"): (3, "Manufacturer"),
    ("Type3", "Version"): (3, "Version"),
    ("Type3", "Serial"): (3, "Serial Number"),
    ("Type3", "AssetTagNumber"): (3, "Asset Tag"),
    ("Type4", "Processor"): (4, "Version"),
    ("Type17", "DeviceLocator"): (17, "Locator"),
    ("Type17", "BankLocator"): (17, "Bank Locator"),
    ("Type17", "Manufacturer"): (17, "Manufacturer"),
    ("Type17", "PartNumber"): (17, "Part Number"),
    ("Type17", "Serial Number"): (17, "Serial Number"),
}


def compare_smbios(report, dmidecode):
    """(field, report, dmidecode) for each string the two read differently. dmidecode shows an
    absent string as "Not Specified"."""
    ours, theirs = smbios_strings(report), parse_dmidecode(dmidecode)
    diff = []
    for key, (dmi_type, field) in SMBIOS_FIELDS.items():
        structures = theirs.get(dmi_type, [])
        want = structures[0].get(field) if structures else None
        if want in ("Not Specified", None):
            want = ""
        if ours.get(key) != want:
            diff.append((f"{key[0]} {key[1]}", ours.get(key), want))
    return diff


def report_controllers(report, heading):
    """{pci address: driver} of a class block whose instance ids are sysfs paths."""
    out = {}
    for line in sections(report).get(heading, []):
        m = re.match(r"^ \[[0-9A-F]{8}\] = \[[^\]]*\]\[[^\]]*\]\[([^\]]*)\]\[([^\]]*)\]$", line)
        if m:
            out[m.group(1).rsplit("/", 1)[-1]] = m.group(2)
    return out


def parse_lspci(text):
    """lspci -D -n -k -> {address: (class, driver or "")}."""
    out, current = {}, None
    for line in text.splitlines():
        m = re.match(r"^([0-9a-f]{4}:[0-9a-f]{2}:[0-9a-f]{2}\.[0-7]) ([0-9a-f]{4}): ", line)
        if m:
            current = m.group(1)
            out[current] = (m.group(2), "")
            continue
        m = re.match(r"^\tKernel driver in use: (\S+)", line)
        if m and current:
            out[current] = (out[current][0], m.group(1))
    return out


def compare_controllers(report, lspci):
    """Differences per class block: (heading, report's {address: driver}, lspci's)."""
    functions = parse_lspci(lspci)
    diff = []
    for heading, classes in (("ATA Controller Class", ATA_CLASSES),
                             ("SCSI Controller Class", SCSI_CLASSES)):
        want = {a: d for a, (c, d) in functions.items() if c in classes and d}
        got = report_controllers(report, heading)
        if got != want:
            diff.append((heading, got, want))
    return diff


def compare_cpu(report, lscpu):
    ours = re.search(r"^ Brand String = \[(.*)\]$", report, re.M)
    theirs = re.search(r"^Model name:\s+(.*)$", lscpu, re.M)
    ours, theirs = (ours.group(1) if ours else None), (theirs.group(1).strip() if theirs else None)
    return [] if ours == theirs else [("Brand String", ours, theirs)]


def report_usb_devices(report):
    """{(vid, pid, serial)} of the USB Device blocks (hex ids in lower case)."""
    found = set()
    for m in re.finditer(r"^ VID = \[([0-9A-F]{4})\], PID = \[([0-9A-F]{4})\]\n"
                         r" Manufacturer = \[.*\]\n Product = \[.*\]\n SerialNumber = \[(.*)\]$",
                         "\n".join(sections(report).get("USB Class", [])), re.M):
        found.add((m.group(1).lower(), m.group(2).lower(), m.group(3)))
    return found


def lsusb_devices(text):
    """{(vid, pid, serial)} of lsusb -v's devices that are not hubs."""
    found = set()
    for block in re.split(r"\n(?=Bus \d+ Device \d+:)", text):
        vid = re.search(r"^\s+idVendor\s+0x([0-9a-f]{4})", block, re.M)
        pid = re.search(r"^\s+idProduct\s+0x([0-9a-f]{4})", block, re.M)
        cls = re.search(r"^\s+bDeviceClass\s+(\d+)", block, re.M)
        if not vid or not pid or (cls and cls.group(1) == "9"):
            continue
        serial = re.search(r"^\s+iSerial\s+\d+\s*(.*)$", block, re.M)
        found.add((vid.group(1), pid.group(1), serial.group(1).strip() if serial else ""))
    return found


def compare_usb(report, lsusb):
    got, want = report_usb_devices(report), lsusb_devices(lsusb)
    return [] if got == want else [("USB devices", sorted(got), sorted(want))]


def usb_tree_problems(report):
    """Failure lines of the USB tree: every node of a working guest has its port (root hubs
    port 0) and every device its port information."""
    return [line.strip() for line in sections(report).get("USB Class", [])
            if line.startswith(" ** ")]


def compare_disk_lengths(report, lsblk):
    """The disk blocks' " DiskLength" values against lsblk's disk sizes (as multisets)."""
    got = sorted(int(v) for v in re.findall(r"^ DiskLength = \[(\d+)\]", report, re.M))
    want = sorted(int(d["size"]) for d in lsblk["blockdevices"] if d.get("type") == "disk")
    return [] if got == want else [("DiskLength", got, want)]


def compare_memory(report, meminfo):
    ours = re.search(r"^Physical Memory = \[\d+\]M/\[(\d+)\]M$", report, re.M)
    theirs = re.search(r"^MemTotal:\s+(\d+) kB", meminfo, re.M)
    ours = int(ours.group(1)) if ours else None
    theirs = int(theirs.group(1)) // 1024 if theirs else None
    return [] if ours == theirs else [("Physical Memory total MiB", ours, theirs)]


def check_file_format(data):
    """Problems of the report file: BOM, CR LF on every line, no lone CR or LF, no NUL, every
    " = [" closed on its line."""
    problems = []
    if not data.startswith(b"\xff\xfe"):
        return ["no UTF-16LE byte-order mark"]
    try:
        text = data[2:].decode("utf-16-le")
    except UnicodeDecodeError as e:
        return [f"not UTF-16LE: {e}"]
    if "\0" in text:
        problems.append("a NUL character")
    if not text.endswith("\r\n"):
        problems.append("the last line has no CR LF")
    bare = text.replace("\r\n", "")
    if "\r" in bare or "\n" in bare:
        problems.append("a lone CR or LF")
    for n, line in enumerate(text.split("\r\n"), 1):
        at = line.find(" = [")
        while at >= 0:
            if "]" not in line[at:]:
                problems.append(f"line {n} opens a value it does not close: {line!r}")
                break
            at = line.find(" = [", at + 4)
    return problems


def report_monitors(report):
    """The Monitor blocks' EDID lines: [{label: value}] in report order."""
    monitors, current = [], None
    for line in sections(report).get("Monitor Class", []):
        if re.match(r"^ Monitor \[[0-9A-F]{8}\] :$", line):
            current = {}
            monitors.append(current)
            continue
        m = re.match(r"^  (EDID Version|Manufacturer ID|Product Code|Serial Number|Monitor Name) "
                     r"= \[(.*)\]$", line)
        if m and current is not None:
            current[m.group(1)] = m.group(2)
    return monitors


def parse_edid_decode(text):
    """edid-decode -> the base block's identity."""
    out = {}
    for key, pattern in (("maker", r"Manufacturer: (\S+)"), ("model", r"Model: (\d+)"),
                         ("serial", r"Serial Number: (\d+)"),
                         ("name", r"Display Product Name: '([^']*)'"),
                         ("version", r"EDID Structure Version & Revision: (\S+)")):
        m = re.search(pattern, text)
        if m:
            out[key] = m.group(1)
    return out


def compare_monitor(monitor, decoded):
    """(field, report, edid-decode) for one monitor; edid-decode leaves out a zero serial."""
    pairs = [
        ("Manufacturer ID", monitor.get("Manufacturer ID"), decoded.get("maker")),
        ("Product Code", monitor.get("Product Code"),
         f"0x{int(decoded['model']):04X}" if "model" in decoded else None),
        ("Serial Number", monitor.get("Serial Number"), decoded.get("serial", "0")),
        ("Monitor Name", monitor.get("Monitor Name"), decoded.get("name")),
        ("EDID Version", monitor.get("EDID Version"), decoded.get("version")),
    ]
    return [p for p in pairs if p[1] != p[2]]


def report_adapters(report):
    """{adapter name: {"mac": ..., "ipv4": [(ip, mask)], "gateways": [ip]}}."""
    adapters, current = {}, None
    for line in sections(report).get("Net Adapter", []):
        m = re.match(r"^  AdapterName = \[(.*)\]$", line)
        if m:
            current = adapters.setdefault(m.group(1), {"mac": "", "ipv4": [], "gateways": []})
            continue
        if current is None:
            continue
        m = re.match(r"^  MAC Address = \[(.*)\]$", line)
        if m:
            current["mac"] = m.group(1)
        m = re.match(r"^  (IpAddressList|GatewayList) : IPAddress=\[([^\]]*)\], "
                     r"SubnetMask=\[([^\]]*)\]", line)
        if not m:
            m = re.match(r"^    ()IPAddress=\[([^\]]*)\], SubnetMask=\[([^\]]*)\]", line)
        if m:
            key = m.group(1) or current.get("_last")
            current["_last"] = key
            if key == "IpAddressList":
                current["ipv4"].append((m.group(2), m.group(3)))
            elif key == "GatewayList":
                current["gateways"].append(m.group(2))
        elif re.match(r"^  \w+ : ", line) or re.match(r"^  \w", line):
            current["_last"] = None
    for a in adapters.values():
        a.pop("_last", None)
    return adapters


def mask_text(prefix):
    bits = (0xFFFFFFFF << (32 - prefix)) & 0xFFFFFFFF if prefix else 0
    return ".".join(str((bits >> s) & 0xFF) for s in (24, 16, 8, 0))


def ip_adapters(addr, route):
    """ip -j addr and ip -j route -> the same shape as report_adapters, loopback left out."""
    adapters = {}
    for link in addr:
        if link.get("link_type") == "loopback":
            continue
        adapters[link["ifname"]] = {
            "mac": link.get("address", "").upper(),
            "ipv4": [(a["local"], mask_text(a["prefixlen"])) for a in link.get("addr_info", [])
                     if a.get("family") == "inet"],
            "gateways": [],
        }
    for r in route:
        if r.get("dst") == "default" and r.get("gateway") and r.get("dev") in adapters:
            adapters[r["dev"]]["gateways"].append(r["gateway"])
    return adapters


def compare_network(report, addr, route):
    got, want = report_adapters(report), ip_adapters(addr, route)
    return [] if got == want else [("Net Adapter", got, want)]
