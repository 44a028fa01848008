"""Parsers and comparisons of qemu.report_vs_tools: the sections of `tarvikdorn report` against
dmidecode (SM-BIOS strings), lspci (the ATA and SCSI controller classes), lscpu (the processor),
lsusb (the USB devices), lsblk (the disk lengths) and /proc/meminfo (the memory total), and the
report file's format read with Python's own UTF-16 codec; the drive sections against smartctl
(identify words, SMART attributes), nvme-cli (controller and namespace data), sg_inq and
sg_readcap, sfdisk and blkid (partition tables) and lsblk (HCTL, RM, RO, DISC-MAX, HOTPLUG);
the volume blocks, the Drives section and the disks' " Drives" lines against lsblk, blkid -p and
mountinfo."""

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


# A controller's device line: [name][class][sysfs path][driver]. Names from pci.ids hold
# brackets ("[AHCI mode]"); the class, the path and the driver do not.
CONTROLLER_LINE = re.compile(
    r"^ \[[0-9A-F]{8}\] = \[(.*)\]\[([^\[\]]*)\]\[(/[^\[\]]*)\]\[([^\[\]]*)\]$")


def report_controllers(report, heading):
    """{pci address: driver} of a class block whose instance ids are sysfs paths."""
    out = {}
    for line in sections(report).get(heading, []):
        m = CONTROLLER_LINE.match(line)
        if m:
            out[m.group(3).rsplit("/", 1)[-1]] = m.group(4)
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


def report_controller_names(report, heading):
    """{pci address: the device line's first value, the name} of a controller class block."""
    out = {}
    for line in sections(report).get(heading, []):
        m = CONTROLLER_LINE.match(line)
        if m:
            out[m.group(3).rsplit("/", 1)[-1]] = m.group(1)
    return out


def parse_lspci_vmm(text):
    """lspci -D -nn -vmm -> {address: {field: (name, id)}}; lspci's "Vendor [8086]" and
    "Device [1100]" (no name in its database) give an empty name."""
    out, current = {}, None
    for line in text.splitlines():
        m = re.match(r"^(\w+):\t(.*?)(?: ?\[([0-9a-f]{4})\])?$", line)
        if not m:
            continue
        if m.group(1) == "Slot":
            current = out.setdefault(m.group(2), {})
        elif current is not None:
            name = "" if m.group(2) in ("Vendor", "Device") and m.group(3) else m.group(2)
            current[m.group(1)] = (name, m.group(3))
    return out


def controller_names_from_lspci(fields):
    """The names a controller may show for lspci's fields: vendor and device, with the
    subsystem in brackets as the hardware database gives it. Where the subsystem ids equal the
    function's, lspci shows the device's name for a subsystem it does not list, so both forms
    are allowed."""
    vendor, vid = fields.get("Vendor", ("", None))
    device, did = fields.get("Device", ("", None))
    if not device:
        return {vendor}
    base = f"{vendor} {device}" if vendor else device
    sub, sdid = fields.get("SDevice", ("", None))
    svid = fields.get("SVendor", ("", None))[1]
    if not sub:
        return {base}
    # From a hardware database lspci's subsystem name is already "device (subsystem)".
    hwdb = {f"{vendor} {sub}" if vendor else sub} if sub.startswith(f"{device} (") else set()
    if (svid, sdid) == (vid, did):
        return {base, f"{base} ({sub})"} | hwdb
    return {f"{base} ({sub})"} | hwdb


def compare_controller_names(report, lspci_vmm):
    """The controllers' names against lspci -D -nn -vmm (names from the same pci.ids where there
    is no hardware database): [(address, report's name, allowed names)]."""
    functions = parse_lspci_vmm(lspci_vmm)
    diff = []
    for heading in ("ATA Controller Class", "SCSI Controller Class"):
        for address, name in sorted(report_controller_names(report, heading).items()):
            allowed = controller_names_from_lspci(functions.get(address, {}))
            if name not in allowed:
                diff.append((address, name, sorted(allowed)))
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


# --- the drive sections ------------------------------------------------------------------------


def report_disks(report):
    """{"/dev/sdX": lines of its "Disk [n] :" block}."""
    disks = {}
    for heading, lines in sections(report).items():
        if not re.match(r"^Disk \[\d+\]$", heading):
            continue
        for line in lines:
            m = re.match(r"^ \[[0-9A-F]{8}\] = \[.*\]\[.*\]\[(/dev/[^\]]+)\]\[[^\]]*\]$", line)
            if m:
                disks[m.group(1)] = lines
                break
    return disks


def block_value(lines, label):
    """The bracketed value of the first " label = [value]" line, None when there is none."""
    for line in lines:
        m = re.match(rf"^\s+{re.escape(label)}\s*= \[(.*?)\]", line)
        if m:
            return m.group(1)
    return None


def report_identify_words(lines):
    """The ATA block's identify table: {word: value}."""
    words = {}
    for line in lines:
        m = re.match(r"^   ([0-9A-F]{2}) ((?: [0-9A-F]{4}){16}) ?$", line)
        if m:
            for i, w in enumerate(m.group(2).split()):
                words[int(m.group(1), 16) + i] = int(w, 16)
    return words


def parse_smartctl_identify(text):
    """smartctl --identify=w -> {word: value}. A range of words shows its values joined by ":",
    or "0x00..." / "0xff..." when every word of it is zero / all ones."""
    words = {}
    for line in text.splitlines():
        m = re.match(r"^\s*(\d+)(?:-(\d+))?\s+[-.]\s+0x([0-9a-f:]+)(\.\.\.)?(?:\s|$)", line)
        if not m:
            continue
        first = int(m.group(1))
        last = int(m.group(2)) if m.group(2) else first
        if m.group(4):
            if m.group(3) not in ("00", "ff"):
                continue
            values = [0xFFFF if m.group(3) == "ff" else 0] * (last - first + 1)
        else:
            values = [int(v, 16) for v in m.group(3).split(":")]
        if len(values) == last - first + 1:
            for i, v in enumerate(values):
                words.setdefault(first + i, v)
    return words


def compare_identify(lines, smartctl_identify):
    """(word, report, smartctl) for each identify word the two read differently; all 256
    words must be on both sides."""
    ours, theirs = report_identify_words(lines), parse_smartctl_identify(smartctl_identify)
    if len(ours) != 256 or len(theirs) != 256:
        return [("identify words", len(ours), len(theirs))]
    return [(f"word {w}", ours[w], theirs[w]) for w in range(256) if ours[w] != theirs[w]]


def report_ata_attributes(lines):
    """The ATA SMART table: {id: (threshold, current, worst, raw)}."""
    table, inside = {}, False
    for line in lines:
        if line.startswith("   ID  Threshold Value Worst"):
            inside = True
            continue
        m = re.match(r"^   ([0-9A-F]{2})h +(\d+) +(\d+) +(\d+) +([0-9A-F]{16})$", line)
        if inside and m:
            table[int(m.group(1), 16)] = (int(m.group(2)), int(m.group(3)), int(m.group(4)),
                                          int(m.group(5), 16))
    return table


def smartctl_attributes(doc):
    """smartctl -x -j -> {id: (thresh, value, worst, raw)}."""
    table = {}
    for a in doc.get("ata_smart_attributes", {}).get("table", []):
        table[a["id"]] = (a["thresh"], a["value"], a["worst"], a["raw"]["value"])
    return table


def compare_attributes(lines, smartctl_x):
    got, want = report_ata_attributes(lines), smartctl_attributes(smartctl_x)
    if not want:
        return [("SMART attributes", sorted(got), "smartctl lists none")]
    diff = [(f"attribute {i:02X}h", got.get(i), want.get(i))
            for i in sorted(set(got) | set(want)) if got.get(i) != want.get(i)]
    return diff


def report_temperature(lines):
    m = next((re.match(r"^  Temperature = \[(-?\d+) °C\]$", l) for l in lines
              if l.startswith("  Temperature = [")), None)
    return int(m.group(1)) if m else None


def compare_temperature(lines, smartctl_x):
    got, want = report_temperature(lines), smartctl_x.get("temperature", {}).get("current")
    return [] if got == want and got is not None else [("Temperature", got, want)]


# The NVMe health log's fields the report lists by id, those that do not move with the I/O of
# the commands between the report and smartctl.
NVME_HEALTH_IDS = {
    0x01: "critical_warning", 0x03: "available_spare", 0x04: "available_spare_threshold",
    0x05: "percentage_used", 0x0B: "power_cycles", 0x0D: "unsafe_shutdowns",
    0x0E: "media_errors",
}


def report_nvme_attributes(lines):
    """The NVMe SMART table: {id: raw}."""
    table, inside = {}, False
    for line in lines:
        if line.startswith("   ID        RAW_value"):
            inside = True
            continue
        m = re.match(r"^   ([0-9A-F]{2})h +([0-9A-F]{16})$", line)
        if inside and m:
            table[int(m.group(1), 16)] = int(m.group(2), 16)
    return table


def compare_nvme_health(lines, smartctl_x):
    """The NVMe SMART table's steady fields and the temperature (id 02h, kelvin) against
    smartctl -x -j's health log."""
    log = smartctl_x.get("nvme_smart_health_information_log")
    ours = report_nvme_attributes(lines)
    if not log or not ours:
        return [("NVMe health log", sorted(ours), "smartctl shows none" if not log else log)]
    diff = [(f"attribute {i:02X}h", ours.get(i), log.get(key))
            for i, key in NVME_HEALTH_IDS.items() if ours.get(i) != log.get(key)]
    kelvin = ours.get(0x02)
    if kelvin is None or log.get("temperature") is None or kelvin - 273 != log["temperature"]:
        diff.append(("attribute 02h", kelvin, log.get("temperature")))
    return diff + compare_temperature(lines, smartctl_x)


def report_byte_tables(lines):
    """The NVMe block's data tables: {"controller": bytes, nsid: bytes} (the controller's table
    comes first, each namespace's after its "NSID" line)."""
    tables, key, rows = {}, None, None
    for line in lines:
        if line == "  Controller data :":
            key = "controller"
        m = re.match(r"^   NSID = \[(\d+)\]$", line)
        if m:
            key = int(m.group(1))
        if re.match(r"^\s+Data Table:$", line) and key is not None:
            rows = tables.setdefault(key, bytearray())
            continue
        m = re.match(r"^    ([0-9A-F]{4}) ((?: [0-9A-F]{2}){16})$", line)
        if m and rows is not None:
            if int(m.group(1), 16) != len(rows):
                rows.extend(b"?")  # a gap: never equal to the tool's bytes
            rows.extend(bytes.fromhex(m.group(2)))
        elif not m:
            rows = None if not re.match(r"^\s+0  1  2", line) else rows
    return {k: bytes(v) for k, v in tables.items()}


def nvme_text(data, off, length):
    return data[off:off + length].decode("ascii", "replace")


def compare_nvme(lines, id_ctrl, list_ns, id_ns):
    """The NVMe block against nvme id-ctrl -b (the controller's bytes and the fields decoded
    from them), nvme list-ns (the namespace ids) and nvme id-ns -b per namespace
    ({nsid: bytes})."""
    tables = report_byte_tables(lines)
    diff = []
    if tables.get("controller") != id_ctrl:
        diff.append(("controller data table", len(tables.get("controller", b"")), len(id_ctrl)))
    le16 = lambda b, o: int.from_bytes(b[o:o + 2], "little")
    le32 = lambda b, o: int.from_bytes(b[o:o + 4], "little")
    le64 = lambda b, o: int.from_bytes(b[o:o + 8], "little")
    if len(id_ctrl) >= 4096:
        vid = next((l for l in lines if l.startswith("   PCI VID=")), "")
        for label, value in (("Model Number", nvme_text(id_ctrl, 24, 40)),
                             ("Serial Number", nvme_text(id_ctrl, 4, 20)),
                             ("Firmware Revision", nvme_text(id_ctrl, 64, 8)),
                             ("Number of Namespaces (NN)", str(le32(id_ctrl, 516)))):
            if block_value(lines, label) != value:
                diff.append((label, block_value(lines, label), value))
        want = f"   PCI VID=[{le16(id_ctrl, 0):04X}], SSVID=[{le16(id_ctrl, 2):04X}], " \
               f"CNTLID=[{le16(id_ctrl, 78):04X}]"
        if vid != want:
            diff.append(("PCI VID", vid.strip(), want.strip()))
    nsids = sorted(int(v, 16) for v in re.findall(r"^\[\s*\d+\]:0x([0-9a-fA-F]+)$", list_ns, re.M))
    ours = sorted(k for k in tables if k != "controller")
    if ours != nsids:
        diff.append(("namespaces", ours, nsids))
    for nsid, data in sorted(id_ns.items()):
        if tables.get(nsid) != data:
            diff.append((f"namespace {nsid} data table", len(tables.get(nsid, b"")), len(data)))
        block = namespace_lines(lines, nsid)
        for label, value in (("Namespace Size (NSZE)", le64(data, 0)),
                             ("Namespace Capacity (NCAP)", le64(data, 8)),
                             ("Namespace Utilization (NUSE)", le64(data, 16)),
                             ("Number of LBA Formats (NLBAF)", data[25])):
            if block_value(block, label) != str(value):
                diff.append((f"namespace {nsid} {label}", block_value(block, label), str(value)))
    return diff


def namespace_lines(lines, nsid):
    """The lines of the namespace block whose NSID is `nsid`."""
    out, keep = [], False
    for line in lines:
        if re.match(r"^  Namespace\(\d+\) data :$", line):
            keep = False
        if line == f"   NSID = [{nsid}]":
            keep = True
        if keep:
            out.append(line)
    return out


def compare_scsi(lines, inquiry, readcap):
    """The SCSI block against sg_inq --raw (the decoded inquiry fields) and sg_readcap --long
    (the last LBA and the block length)."""
    diff = []
    if len(inquiry) < 36:
        return [("inquiry", "sg_inq returned", len(inquiry))]
    ascii_ = lambda o, n: inquiry[o:o + n].decode("ascii", "replace")
    want = {
        "PeripheralData": f"0x{inquiry[0]:02X}",
        "RMB": "true" if inquiry[1] & 0x80 else "false",
        "Version": f"0x{inquiry[2]:02X}",
        "DataFormat": f"0x{inquiry[3] & 0x0F:02X}",
        "AdditionalLen": str(inquiry[4]),
        "Vendor": ascii_(8, 8),
        "Product": ascii_(16, 16),
        "Revision": ascii_(32, 4),
        "VendorSpecific": inquiry[36:56].hex().upper(),
    }
    for label, value in want.items():
        got = block_value(lines, label)
        if got != value:
            diff.append((f"inquiry {label}", got, value))
    cap = next((l for l in lines if re.match(r"^  SCSI_READ_CAPACITY_1[06] :", l)), "")
    m = re.search(r"BlockSize=\[(\d+)\], MaxBlockNo=\[(\d+)\]", cap)
    got = (int(m.group(1)), int(m.group(2))) if m else None
    lba = re.search(r"Last (?:logical block address|LBA)=(\d+)", readcap)
    size = re.search(r"Logical block length=(\d+) bytes", readcap)
    theirs = (int(size.group(1)), int(lba.group(1))) if lba and size else None
    if got != theirs:
        diff.append(("read capacity (block size, last LBA)", got, theirs))
    return diff


def report_layout(lines):
    """The DRIVE_LAYOUT block: {"style", "id", "usable": (start, length) for GPT, "entries":
    [{field: text}] of the non-empty entries}, or None when the report shows no table."""
    layout = None
    entry = None
    for line in lines:
        m = re.match(r"^ DRIVE_LAYOUT_INFORMATION_EX : PARTITION_STYLE_(MBR|GPT) : Partition "
                     r"Count=\[(\d+)\](?:, Signature=\[0x([0-9A-F]{8})\])?$", line)
        if m:
            layout = {"style": m.group(1), "count": int(m.group(2)),
                      "id": m.group(3).lower() if m.group(3) else None, "entries": []}
            continue
        if layout is None:
            continue
        if not line.startswith("  "):
            break
        m = re.match(r"^  (Disk ID|StartingUsableOffset|UsableLength|MaxPartitionCount) = \[(.*)\]$",
                     line)
        if m:
            layout[m.group(1)] = m.group(2)
            continue
        if re.match(r"^  Partition Entry \[\s*\d+\]$", line):
            entry = {}
            layout["entries"].append(entry)
            continue
        if re.match(r"^  Partition Entry \[\s*\d+\] \(Empty\)$", line):
            entry = None
            continue
        m = re.match(r"^   (\S.*?)\s*= \[(.*?)\]", line)
        if m and entry is not None:
            entry[m.group(1)] = m.group(2)
    if layout and layout["style"] == "GPT":
        layout["id"] = (layout.get("Disk ID") or "").strip("{}").lower()
    return layout


def compare_layout(lines, sfdisk):
    """The layout block against sfdisk -J: the table's kind and id, GPT's usable area, and each
    partition's start, length, type, boot flag (MBR), id and name (GPT), in table order."""
    table = sfdisk.get("partitiontable") if sfdisk else None
    layout = report_layout(lines)
    if not table:
        # A disk without a table shows as RAW; a failed read is no agreement.
        raw = " ** GetDriveLayout : Unknown PartitionStyle" in lines
        if raw and layout is None:
            return []
        shown = layout["style"] if layout else next(
            (l.strip() for l in lines if "DRIVE_LAYOUT" in l or "GetDriveLayout" in l), None)
        return [("partition table", shown, None)]
    if layout is None:
        return [("partition table", None, table.get("label"))]
    diff = []
    style = {"dos": "MBR", "gpt": "GPT"}.get(table.get("label"))
    if layout["style"] != style:
        return [("partition style", layout["style"], table.get("label"))]
    ss = table.get("sectorsize", 512)
    want_id = table.get("id", "").lower()
    if style == "MBR":
        want_id = f"{int(want_id, 16):08x}" if want_id else None
    if layout["id"] != want_id:
        diff.append(("disk id", layout["id"], want_id))
    if style == "GPT":
        first, last = table.get("firstlba"), table.get("lastlba")
        got = (layout.get("StartingUsableOffset"), layout.get("UsableLength"))
        want = (str(first * ss), str((last - first + 1) * ss)) if first is not None else None
        if got != want:
            diff.append(("usable area", got, want))
    parts = table.get("partitions", [])
    if len(layout["entries"]) != len(parts):
        diff.append(("partitions", len(layout["entries"]), len(parts)))
    for n, (entry, part) in enumerate(zip(layout["entries"], parts), 1):
        want = {"Starting Offset": str(part["start"] * ss), "Partition Length": str(part["size"] * ss),
                "Partition Number": str(int(re.search(r"(\d+)$", part["node"]).group(1)))}
        if style == "MBR":
            want["Partition Type"] = f"0x{int(part['type'], 16):02X}"
            want["Boot Indicator"] = "true" if part.get("bootable") else "false"
        else:
            want["Partition Type"] = part["type"].upper()
            want["Partition ID"] = part.get("uuid", "").upper()
            want["Name"] = part.get("name", "")
        for field, value in want.items():
            got = entry.get(field)
            if field in ("Partition Type", "Partition ID") and style == "GPT" and got:
                got = got.strip("{}").upper()
            if got != value:
                diff.append((f"partition {n} {field}", got, value))
    return diff


def parse_blkid(text):
    """blkid -o export -> {KEY: value}, the export format's backslash escapes undone."""
    return {k: re.sub(r"\\(.)", r"\1", v) for k, v in re.findall(r"^([A-Z_]+)=(.*)$", text, re.M)}


def compare_blkid(lines, disk, partitions):
    """The layout block against blkid's low-level probe: the disk's PTTYPE and PTUUID, and per
    partition its number, offset and size (in sectors of PART_ENTRY_OFFSET's unit: 512 bytes),
    type, id and name, and the flags (MBR boot flag, GPT attributes)."""
    layout = report_layout(lines)
    diff = []
    kind = {"dos": "MBR", "gpt": "GPT"}.get(disk.get("PTTYPE"))
    got = (layout["style"], layout["id"]) if layout else None
    want = (kind, disk.get("PTUUID", "").lower()) if kind else None
    if got != want:
        return [("PTTYPE/PTUUID", got, want)]
    if not layout:
        return diff
    by_number = {e.get("Partition Number"): e for e in layout["entries"]}
    if sorted(by_number) != sorted(p.get("PART_ENTRY_NUMBER") for p in partitions):
        diff.append(("partition numbers", sorted(by_number),
                     sorted(p.get("PART_ENTRY_NUMBER") for p in partitions)))
    for p in partitions:
        number = p.get("PART_ENTRY_NUMBER")
        e = by_number.get(number, {})
        want = {"Starting Offset": str(int(p["PART_ENTRY_OFFSET"]) * 512),
                "Partition Length": str(int(p["PART_ENTRY_SIZE"]) * 512)}
        flags = int(p.get("PART_ENTRY_FLAGS", "0"), 16)
        if kind == "MBR":
            want["Partition Type"] = f"0x{int(p['PART_ENTRY_TYPE'], 16):02X}"
            want["Boot Indicator"] = "true" if flags & 0x80 else "false"
        else:
            want["Partition Type"] = p["PART_ENTRY_TYPE"].upper()
            want["Partition ID"] = p["PART_ENTRY_UUID"].upper()
            want["Name"] = p.get("PART_ENTRY_NAME", "")
            want["Attributes"] = f"0x{flags:X}"
        for field, value in want.items():
            got = e.get(field)
            if got and kind == "GPT" and field in ("Partition Type", "Partition ID"):
                got = got.strip("{}").upper()
            if got != value:
                diff.append((f"partition {number} {field}", got, value))
    return diff


def compare_lsblk_disk(lines, dev):
    """A disk block against lsblk's HCTL, RM and RO, and (where listed) DISC-MAX as the TRIM
    descriptor's TrimEnabled and HOTPLUG as DeviceHotplug."""
    diff = []
    addr = next((l for l in lines if l.startswith(" IOCTL_SCSI_GET_ADDRESS : Port=")), None)
    m = addr and re.search(r"Port=\[(\d+)\], Adapter=\[(\d+)\], Target=\[(\d+)\], Lun=\[(\d+)\]",
                           addr)
    got = ":".join(m.groups()) if m else None
    if got != dev.get("hctl"):
        diff.append(("HCTL", got, dev.get("hctl")))
    removable = block_value(lines, "RemovableMedia")
    if removable != ("true" if dev.get("rm") else "false"):
        diff.append(("RM", removable, dev.get("rm")))
    writable = "TRUE" if " DiskWritable = [TRUE]" in lines else "FALSE"
    if writable != ("FALSE" if dev.get("ro") else "TRUE"):
        diff.append(("RO", writable, dev.get("ro")))
    if "disc-max" in dev:
        trim = block_value(lines, "TrimEnabled")
        if trim != ("true" if dev["disc-max"] else "false"):
            diff.append(("DISC-MAX", trim, dev["disc-max"]))
    if "hotplug" in dev:
        hotplug = block_value(lines, "DeviceHotplug")
        if hotplug != ("true" if dev["hotplug"] else "false"):
            diff.append(("HOTPLUG", hotplug, dev["hotplug"]))
    return diff


def read_or(folder, name, default=None, binary=False):
    path = folder / name
    if not path.exists():
        return default
    return path.read_bytes() if binary else path.read_text()


def drive_checks(report, folder):
    """Every drive comparison the guest's outputs in `folder` allow: [(name, differences)].
    Each disk block is matched to the tools' outputs by its kernel name."""
    import json
    checks = []
    lsblk = {d["name"]: d for d in json.loads(read_or(folder, "lsblk.out", "{}"))
             .get("blockdevices", [])}
    for dev, lines in sorted(report_disks(report).items()):
        name = dev.rsplit("/", 1)[-1]
        if name in lsblk:
            checks.append((f"{name} lsblk", compare_lsblk_disk(lines, lsblk[name])))
        inquiry = read_or(folder, f"sg-inq-{name}.out", binary=True)
        if inquiry is not None:
            checks.append((f"{name} SCSI", compare_scsi(lines, inquiry,
                                                        read_or(folder, f"sg-readcap-{name}.out", ""))))
        sfdisk = read_or(folder, f"sfdisk-{name}.out")
        if sfdisk is not None:
            doc = json.loads(sfdisk) if sfdisk.strip() else None
            checks.append((f"{name} partitions (sfdisk)", compare_layout(lines, doc)))
        blkid = read_or(folder, f"blkid-{name}.out")
        if blkid is not None:
            parts = [parse_blkid(p.read_text())
                     for p in sorted(folder.glob(f"blkid-{name}*.out")) if p.name != f"blkid-{name}.out"]
            checks.append((f"{name} partitions (blkid)", compare_blkid(lines, parse_blkid(blkid), parts)))
        identify = read_or(folder, f"smartctl-identify-{name}.out")
        if identify is not None:
            checks.append((f"{name} ATA identify", compare_identify(lines, identify)))
        smart = read_or(folder, f"smartctl-x-{name}.out")
        if smart is not None:
            doc = json.loads(smart)
            checks.append((f"{name} SMART", compare_attributes(lines, doc) +
                           compare_temperature(lines, doc)))
        m = re.match(r"^(nvme\d+)n\d+$", name)
        if m:
            ctrl = read_or(folder, f"nvme-id-ctrl-{m.group(1)}.out", b"", binary=True)
            listed = read_or(folder, f"nvme-list-ns-{m.group(1)}.out", "")
            namespaces = {}
            for p in folder.glob(f"nvme-id-ns-{m.group(1)}n*.out"):
                namespaces[int(re.search(r"n(\d+)\.out$", p.name).group(1))] = p.read_bytes()
            checks.append((f"{name} NVMe", compare_nvme(lines, ctrl, listed, namespaces)))
            smart = read_or(folder, f"smartctl-x-{m.group(1)}.out")
            if smart is not None:
                checks.append((f"{name} SMART", compare_nvme_health(lines, json.loads(smart))))
    return checks


# --- the volumes -------------------------------------------------------------------------------


def volume_information(lines):
    """The values of a " Volume Information :" block (None where a line is missing):
    {"type", "label", "fs", "serial", "total", "free"}."""
    return {"type": block_value(lines, "DriveType"), "label": block_value(lines, "VolumeLabel"),
            "fs": block_value(lines, "FileSystemName"),
            "serial": block_value(lines, "VolumeSerialNumber"),
            "total": block_value(lines, "TotalBytes"), "free": block_value(lines, "FreeBytes")}


def report_volumes(report):
    """{"/dev/sdX1": {"root": mount point or None, "length": the partition's length, and the
    volume information when mounted}} from the "Volume [...] :" blocks."""
    volumes = {}
    for heading, lines in sections(report).items():
        m = re.match(r"^Volume \[(/dev/[^\]]+)\]$", heading)
        if not m:
            continue
        v = {"root": block_value(lines, "RootPath"), "length": block_value(lines, "Partition Length")}
        if v["root"] is not None:
            v.update(volume_information(lines))
        volumes[m.group(1)] = v
    return volumes


def report_drives(report):
    """The Drives section: {name (a mount point): volume information and "connection"}."""
    drives, lines, name, inside = {}, [], None, False

    def close():
        if name is not None:
            drives[name] = dict(volume_information(lines),
                                connection=block_value(lines, "ConnectionName"))

    for line in report.splitlines():
        if line == "Drives :":
            inside = True
            continue
        if not inside:
            continue
        if not line:
            break
        if not line[0].isspace():
            close()
            name, lines = line, []
        else:
            lines.append(line)
    close()
    return drives


def lsblk_devices(doc):
    """lsblk -J's tree as {name: device}, children included."""
    out = {}

    def walk(devices):
        for d in devices or []:
            out[d["name"]] = d
            walk(d.get("children"))

    walk((doc or {}).get("blockdevices"))
    return out


def unescape_mount_field(field):
    return re.sub(r"\\([0-7]{3})", lambda m: chr(int(m.group(1), 8)), field)


def parse_mountinfo(text):
    """/proc/self/mountinfo -> {mount point: (file-system type, source)}."""
    mounts = {}
    for line in text.splitlines():
        fields = line.split(" ")
        if " - " not in line or len(fields) < 5:
            continue
        tail = line.split(" - ", 1)[1].split(" ")
        if len(tail) >= 2:
            mounts[unescape_mount_field(fields[4])] = (unescape_mount_field(tail[0]),
                                                       unescape_mount_field(tail[1]))
    return mounts


def serial_from_uuid(fs_type, uuid):
    """The 32-bit volume serial as the report shows it ("0x7D0A0512"), from blkid's UUID of a
    FAT or exFAT ("7D0A-0512") or NTFS (16 hex digits, the low half) volume; None otherwise."""
    if not uuid:
        return None
    if fs_type in ("vfat", "exfat") and re.fullmatch(r"[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}", uuid):
        return "0x" + uuid.replace("-", "").upper()
    if fs_type == "ntfs" and re.fullmatch(r"[0-9A-Fa-f]{16}", uuid):
        return "0x" + uuid[8:].upper()
    return None


def compare_volume_information(info, dev, blkid, mount):
    """A volume's information against lsblk (label, FSSIZE, FSAVAIL), blkid -p (label, UUID as
    the serial) and mountinfo (the mounted file-system type; blkid's for a FUSE mount)."""
    blkid = blkid or {}
    fs = mount[0] if mount else None
    if fs == "fuseblk":  # ntfs-3g: the report names the file system the device holds
        fs = blkid.get("TYPE")
    want = [("VolumeLabel (lsblk)", info.get("label"), dev.get("label") or ""),
            ("VolumeLabel (blkid)", info.get("label"), blkid.get("LABEL", "")),
            ("FileSystemName", info.get("fs"), fs),
            ("VolumeSerialNumber", info.get("serial"),
             serial_from_uuid(blkid.get("TYPE"), blkid.get("UUID"))),
            ("TotalBytes", info.get("total"), str(dev.get("fssize"))),
            ("FreeBytes", info.get("free"), str(dev.get("fsavail"))),
            ("DriveType", info.get("type"), "3")]
    return [(field, got, value) for field, got, value in want if got != value]


def volume_checks(report, folder):
    """The volume blocks, the Drives section and the disks' " Drives" lines against lsblk
    (lsblk-volumes.out), blkid -p (blkid-NAME.out) and mountinfo: [(name, differences)]. Every
    mounted block device must have its volume block and its drive."""
    import json
    from pathlib import Path
    folder = Path(folder)
    devices = lsblk_devices(json.loads(read_or(folder, "lsblk-volumes.out", "{}") or "{}"))
    mounts = parse_mountinfo(read_or(folder, "mountinfo.out", ""))
    blkid = lambda name: parse_blkid(read_or(folder, f"blkid-{name}.out", ""))
    volumes, drives = report_volumes(report), report_drives(report)
    checks = []
    for name, dev in sorted(devices.items()):
        volume = volumes.get(f"/dev/{name}")
        if volume is None:
            if dev.get("mountpoint"):
                checks.append((f"{name} volume", [("volume block", None, dev["mountpoint"])]))
            continue
        diff = []
        if volume["root"] != dev.get("mountpoint"):
            diff.append(("RootPath", volume["root"], dev.get("mountpoint")))
        if volume["length"] != str(dev.get("size")):
            diff.append(("Partition Length", volume["length"], str(dev.get("size"))))
        if volume["root"] is not None and dev.get("mountpoint"):
            diff += compare_volume_information(volume, dev, blkid(name),
                                               mounts.get(dev["mountpoint"]))
        checks.append((f"{name} volume", diff))
    by_mount = {d["mountpoint"]: (n, d) for n, d in devices.items() if d.get("mountpoint")}
    local = sorted(n for n, d in drives.items() if d.get("type") != "4")
    if local != sorted(by_mount):
        checks.append(("Drives", [("mount points", local, sorted(by_mount))]))
    for mount_point, (name, dev) in sorted(by_mount.items()):
        if mount_point in drives:
            checks.append((f"Drives {mount_point}", compare_volume_information(
                drives[mount_point], dev, blkid(name), mounts.get(mount_point))))
    for disk, lines in sorted(report_disks(report).items()):
        name = disk.rsplit("/", 1)[-1]
        if name not in devices:
            continue
        shown = block_value(lines, "Drives")
        got = sorted(shown.split(", ")) if shown else []
        want = sorted(c["mountpoint"] for c in devices[name].get("children") or []
                      if c.get("mountpoint"))
        checks.append((f"{name} Drives", [] if got == want else [("Drives", got, want)]))
    return checks
