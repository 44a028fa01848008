#!/usr/bin/env python3
"""Reads the manifest and the version information back from the built Tarvikdorn.exe.

The manifest is stored as its UTF-8 text, the version block as VS_FIXEDFILEINFO (signature
0xFEEF04BD) followed by UTF-16 strings; the expected version comes from src/foundation/versioninfo.h.
"""
import re
import struct
import sys
import xml.etree.ElementTree as ET


def fail(what):
    print("FAIL:", what)
    sys.exit(1)


def main(exe, header):
    data = open(exe, "rb").read()
    number = int(re.search(r"#define TVD_VERSION_NUMBER (\d+)", open(header).read()).group(1))
    want = (number // 10000, number % 10000 // 100, number % 100)

    start, end = data.find(b"<?xml"), data.find(b"</assembly>")
    if start < 0 or end < 0:
        fail("no manifest")
    root = ET.fromstring(data[start:end + len(b"</assembly>")])
    ns = {"v1": "urn:schemas-microsoft-com:asm.v1", "v3": "urn:schemas-microsoft-com:asm.v3",
          "c": "urn:schemas-microsoft-com:compatibility.v1",
          "ws16": "http://schemas.microsoft.com/SMI/2016/WindowsSettings",
          "ws05": "http://schemas.microsoft.com/SMI/2005/WindowsSettings"}
    level = root.find(".//v3:requestedExecutionLevel", ns)
    if level is None or level.get("level") != "requireAdministrator":
        fail("manifest does not require administrator rights")
    cc = [a for a in root.findall(".//v1:dependentAssembly/v1:assemblyIdentity", ns)
          if a.get("name") == "Microsoft.Windows.Common-Controls"]
    if not cc or cc[0].get("version") != "6.0.0.0":
        fail("no common controls 6")
    aware = root.find(".//ws16:dpiAwareness", ns)
    if aware is None or aware.text.strip() != "system":
        fail("DPI awareness is not system-aware")
    os_ids = {e.get("Id").lower() for e in root.findall(".//c:supportedOS", ns)}
    if "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}" not in os_ids or \
            "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}" not in os_ids:
        fail("supportedOS lacks Windows 7 or 10: %s" % os_ids)
    ident = root.find("v1:assemblyIdentity", ns)
    if ident is None or ident.get("version") != "%d.%d.%d.0" % want:
        fail("manifest version %s" % (ident is not None and ident.get("version")))

    sig = data.find(struct.pack("<I", 0xFEEF04BD))
    if sig < 0:
        fail("no version information")
    file_ms, file_ls, prod_ms, prod_ls = struct.unpack("<IIII", data[sig + 8:sig + 24])
    for ms, ls, what in ((file_ms, file_ls, "file"), (prod_ms, prod_ls, "product")):
        got = (ms >> 16, ms & 0xFFFF, ls >> 16)
        if got != want:
            fail("%s version %s, expected %s" % (what, got, want))
    text = data[sig:sig + 4096].decode("utf-16-le", errors="replace")
    for key, value in (("ProductName", "Tarvik"), ("ProductVersion", "%d.%d.%d" % want)):
        m = re.search(key + r"\x00+([^\x00]*)", text)
        if not m or m.group(1) != value:
            fail("%s is %r, expected %r" % (key, m and m.group(1), value))
    print("ok: manifest and version %d.%d.%d" % want)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
