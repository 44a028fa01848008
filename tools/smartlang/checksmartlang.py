#!/usr/bin/env python3
"""Validates the SMART attribute-name tables in resources/smartlang/.

Each <language id>.ini is UTF-8 text made of '; comment' lines, blank lines, '[Section]' lines and
'KEY=value' lines. All languages must hold the sections and keys of the English fallback table, and
the English generic sections must match the reference texts below byte for byte.

Usage: checksmartlang.py [directory]   (default: resources/smartlang next to this tool)
Exit status 0 when every file passes, 1 otherwise.
"""

import os
import re
import sys

FALLBACK = "0809"
LANGUAGES = ["0809", "0404", "0804", "0411", "0412", "0419"]
MAX_KEYS = 65
MAX_VALUE_CHARS = 60

# Name sections of the vendor profiles, and the one used for NVMe drives.
PROFILE_SECTIONS = [
    "Smart", "SmartSsd", "SmartIntel", "SmartIntelDc", "SmartSamsung", "SmartSandForce",
    "SmartJMicron60x", "SmartJMicron61x", "SmartJMicron66x", "SmartSanDisk", "SmartSanDiskGb",
    "SmartSanDiskDell", "SmartSanDiskHp", "SmartSanDiskHpVenus", "SmartSanDiskLenovo",
    "SmartSanDiskLenovoHelenVenus", "SmartKingston", "SmartKingstonSA400", "SmartKingstonKC600",
    "SmartKingstonDC500", "SmartKingstonSuv", "SmartMicron", "SmartMicronMU03", "SmartOcz",
    "SmartOczVector", "SmartSeagate", "SmartSeagateIronWolf", "SmartSeagateBarraCuda", "SmartWdc",
    "SmartToshiba", "SmartMtron", "SmartIndilinx", "SmartPlextor", "SmartCorsair", "SmartRealtek",
    "SmartSKhynix", "SmartKioxia", "SmartSsstc", "SmartApacer", "SmartSiliconMotion",
    "SmartPhison", "SmartMarvell", "SmartMaxiotek", "SmartYmtc", "SmartScy", "SmartTolmeran",
]
NVME_SECTION = "SmartNVMe"

_COMMON_01_0D = [
    ("01", "Read Error Rate"), ("02", "Throughput Performance"), ("03", "Spin-Up Time"),
    ("04", "Start/Stop Count"), ("05", "Reallocated Sectors Count"),
    ("06", "Read Channel Margin"), ("07", "Seek Error Rate"), ("08", "Seek Time Performance"),
    ("09", "Power-On Hours"), ("0A", "Spin Retry Count"), ("0B", "Recalibration Retries"),
    ("0C", "Power Cycle Count"), ("0D", "Soft Read Error Rate stab"),
]

# The generic English texts are fixed (their quirks included); the order is the file's order.
GENERIC_ENGLISH = {
    "Smart": _COMMON_01_0D + [
        ("16", "Current Helium Level"), ("B8", "End-to-End Error"),
        ("BB", "Reported Uncorrectable Errors"), ("BC", "Command Timeout"),
        ("BD", "High Fly Writes"), ("BE", "Airflow Temperature"), ("BF", "G-Sense Error Rate"),
        ("C0", "Power-off Retract Count"), ("C1", "Load/Unload Cycle Count"),
        ("C2", "Temperature"), ("C3", "Hardware ECC recovered"),
        ("C4", "Reallocation Event Count"), ("C5", "Current Pending Sector Count"),
        ("C6", "Uncorrectable Sector Count"), ("C7", "UltraDMA CRC Error Count"),
        ("C8", "Write Error Rate"), ("C9", "Soft Read Error Rate"),
        ("CA", "Data Address Mark Error"), ("CB", "Run Out Cancel"),
        ("CC", "Soft ECC Correction"), ("CD", "Thermal Asperity Rate"), ("CE", "Flying Height"),
        ("CF", "Spin High Current"), ("D0", "Spin Buzz"), ("D1", "Offline Seek Performance"),
        ("D3", "Vibration During Write"), ("D4", "Shock During Write"), ("DC", "Disk Shift"),
        ("DD", "G-Sense Error Rate"), ("DE", "Loaded Hours"), ("DF", "Load/Unload Retry Count"),
        ("E0", "Load Friction"), ("E1", "Load/Unload Cycle Count"), ("E2", "Load 'In'-time"),
        ("E3", "Torque Amplification Count"), ("E4", "Power-Off Retract Cycle"),
        ("E6", "GMR Head Amplitude"), ("E7", "Temperature"), ("F0", "Head Flying Hours"),
        ("FA", "Read Error Retry Rate"), ("FE", "Free Fall Protection"),
        ("F1", "Total Host Writes"), ("F2", "Total Host Reads"),
        ("VENDOR_SPECIFIC", "Vendor Specific"),
    ],
    "SmartSsd": _COMMON_01_0D + [
        ("C0", "Unsafe Shutdown Count"), ("C2", "Temperature"),
        ("C4", "Reallocation Event Count"), ("C5", "Current Pending Sector Count"),
        ("C6", "Uncorrectable Sector Count"), ("FF", "Remaining Life"),
        ("F1", "Total Host Writes"), ("F2", "Total Host Reads"),
    ],
    "SmartNVMe": [
        ("01", "Critical Warning"), ("02", "Composite Temperature"), ("03", "Available Spare"),
        ("04", "Available Spare Threshold"), ("05", "Percentage Used"),
        ("06", "Data Units Read"), ("07", "Data Units Written"), ("08", "Host Read Commands"),
        ("09", "Host Write Commands"), ("0A", "Controller Busy Time"), ("0B", "Power Cycles"),
        ("0C", "Power On Hours"), ("0D", "Unsafe Shutdowns"),
        ("0E", "Media and Data Integrity Errors"),
        ("0F", "Number of Error Information Log Entries"),
    ],
}

# Attribute sequences by which the recognizer identifies a family: every id in them should have
# a name in the family's section, or the drive that matched shows bare "Vendor Specific" rows.
SIGNATURE_IDS = {
    "SmartSeagateIronWolf": "01 05 09 0C 64 66 67 AA AB AC AD AE B1 B7 BB",
    "SmartMtron": "BB",
    "SmartJMicron66x": "01 02 03 05 07 08 09 0A 0C A7 A8 A9 AA AD AF",
    "SmartJMicron61x": "01 02 03 05 07 08 09 0A 0C A8 AF C0 C2",
    "SmartJMicron60x": "0C 09 C2 E5 E8 E9",
    "SmartIndilinx": "01 09 0C B8 C3 C4",
    "SmartIntel": "03 04 05 09 0C C0 E1 E8 E9 AA AB AC",
    "SmartSamsung": "09 0C B2 B3 B4 B1 B7 AF B0 05 B5 B6",
    "SmartMicron": "01 05 09 0C AA AB AC AD AE B5 B7",
    "SmartSandForce": "01 05 09 0C 0D 64 AA AB AC 02 03 07 08 0A A7 A8 A9 AD AF B1",
    "SmartOcz": "01 03 04 05 09 0C E8 E9",
    "SmartOczVector": "05 09 0C AB AE C3 C4 C5 C6",
    "SmartPlextor": "01 05 09 0C B1 B2 B5 B6",
    "SmartRealtek": "01 05 09 0C A1 A2 A3 A4 A6 A7",
    "SmartSiliconMotion": "01 05 09 0C A0 A1 A3 A4 A5 A6 A7 A8 A9 AF B0 B1 B2 B5 B6 C0 "
                          "94 95 96 97 BB 9F",
    "SmartPhison": "01 09 0C A8 AA AD C0 C2 DA E7 F1",
    "SmartMarvell": "05 09 0C A1 A4 A5 A6 A7",
    "SmartMaxiotek": "05 09 0C A7 A8 A9",
}

SECTION_RE = re.compile(r"^\[([A-Za-z0-9]+)\]$")
KEY_RE = re.compile(r"^[0-9A-F]{2}$")


class Table:
    def __init__(self, lang):
        self.lang = lang
        self.sections = {}  # name -> list of (key, value) in file order
        self.errors = []
        self.readable = True

    def error(self, line_no, text):
        where = "%s.ini:%d" % (self.lang, line_no) if line_no else "%s.ini" % self.lang
        self.errors.append("%s: %s" % (where, text))


def parse(path, lang):
    table = Table(lang)
    try:
        raw = open(path, "rb").read()
    except OSError as e:
        table.error(0, "cannot read: %s" % e.strerror)
        table.readable = False
        return table
    if raw.startswith(b"\xef\xbb\xbf"):
        table.error(1, "byte-order mark not allowed")
        raw = raw[3:]
    if b"\r" in raw:
        table.error(0, "carriage return found; use LF line ends")
    if raw and not raw.endswith(b"\n"):
        table.error(0, "last line has no line end")
    try:
        text = raw.decode("utf-8")
    except UnicodeDecodeError as e:
        table.error(0, "not UTF-8 at byte %d" % e.start)
        table.readable = False
        return table
    lines = text.split("\n")
    if lines and lines[-1] == "":
        lines.pop()
    if not lines or not lines[0].startswith(";") or ("0x" + lang) not in lines[0].lower():
        table.error(1, "first line must be a comment naming the language and 0x%s" % lang)
    current = None
    for no, line in enumerate(lines, 1):
        if "\t" in line:
            table.error(no, "tab character")
        if any(ord(c) < 0x20 or 0x7F <= ord(c) < 0xA0 for c in line if c != "\t"):
            table.error(no, "control character")
        if line == "" or line.startswith(";"):
            continue
        m = SECTION_RE.match(line)
        if m:
            current = m.group(1)
            if current in table.sections:
                table.error(no, "section [%s] appears twice" % current)
            table.sections.setdefault(current, [])
            continue
        if line.startswith("["):
            table.error(no, "malformed section line")
            continue
        if "=" not in line:
            table.error(no, "neither comment, section nor KEY=value")
            continue
        key, value = line.split("=", 1)
        if current is None:
            table.error(no, "entry before the first section")
            continue
        if not (KEY_RE.match(key) or (key == "VENDOR_SPECIFIC" and current == "Smart")):
            table.error(no, "bad key %r in [%s]" % (key, current))
            continue
        if value == "" or value != value.strip():
            table.error(no, "value empty or with leading/trailing blanks")
        if len(value) > MAX_VALUE_CHARS:
            table.error(no, "value longer than %d characters" % MAX_VALUE_CHARS)
        if any(k == key for k, _ in table.sections[current]):
            table.error(no, "key %s repeated in [%s]" % (key, current))
            continue
        table.sections[current].append((key, value))
    return table


def check_english(table):
    for name, reference in GENERIC_ENGLISH.items():
        entries = table.sections.get(name)
        if entries is None:
            continue  # reported as a missing section
        if entries != reference:
            before = len(table.errors)
            got = dict(entries)
            for key, value in reference:
                if got.get(key) != value:
                    table.error(0, "[%s] %s is %r, must be %r" % (name, key, got.get(key), value))
            extra = sorted(set(got) - set(k for k, _ in reference))
            if extra:
                table.error(0, "[%s] has keys the generic table does not have: %s"
                            % (name, " ".join(extra)))
            if len(table.errors) == before:
                table.error(0, "[%s] entries are not in the reference order" % name)
    for section, ids in SIGNATURE_IDS.items():
        keys = set(k for k, _ in table.sections.get(section, []))
        missing = [i for i in ids.split() if i not in keys]
        if section in table.sections and missing:
            table.error(0, "[%s] lacks signature ids %s" % (section, " ".join(missing)))


def check_shape(table):
    for name in PROFILE_SECTIONS + [NVME_SECTION]:
        if name not in table.sections:
            table.error(0, "section [%s] missing" % name)
    for name, entries in table.sections.items():
        if not 1 <= len(entries) <= MAX_KEYS:
            table.error(0, "[%s] has %d keys, allowed 1 to %d" % (name, len(entries), MAX_KEYS))


def check_against_english(table, english):
    if set(table.sections) != set(english.sections):
        for name in sorted(set(english.sections) - set(table.sections)):
            table.error(0, "lacks section [%s] of %s.ini" % (name, FALLBACK))
        for name in sorted(set(table.sections) - set(english.sections)):
            table.error(0, "has section [%s] that %s.ini lacks" % (name, FALLBACK))
    for name, entries in english.sections.items():
        if name not in table.sections:
            continue
        want = set(k for k, _ in entries)
        have = set(k for k, _ in table.sections[name])
        if want - have:
            table.error(0, "[%s] lacks keys %s" % (name, " ".join(sorted(want - have))))
        if have - want:
            table.error(0, "[%s] has extra keys %s" % (name, " ".join(sorted(have - want))))


def main(argv):
    here = os.path.dirname(os.path.abspath(__file__))
    folder = argv[1] if len(argv) > 1 else os.path.join(here, "..", "..", "resources", "smartlang")
    tables = {lang: parse(os.path.join(folder, lang + ".ini"), lang) for lang in LANGUAGES}
    english = tables[FALLBACK]
    check_english(english)
    for table in tables.values():
        if not table.readable:
            continue
        check_shape(table)
        if table is not english and english.readable:
            check_against_english(table, english)
    errors = [e for t in tables.values() for e in t.errors]
    extra = sorted(f for f in os.listdir(folder) if f.endswith(".ini")
                   and f[:-4] not in LANGUAGES) if os.path.isdir(folder) else []
    errors += ["%s: not a known language table" % f for f in extra]
    for e in errors:
        print(e, file=sys.stderr)
    keys = sum(len(v) for v in english.sections.values())
    print("checksmartlang: %s: %d languages, %d sections, %d English keys, %d error(s)"
          % ("FAIL" if errors else "ok", len(LANGUAGES), len(english.sections), keys, len(errors)))
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
