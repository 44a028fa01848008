#!/usr/bin/env python3
"""qemu.report_compare_selftest: the report-versus-tools comparison on guest output recorded from
the report profile (data/report/). The recording agrees; each section changed on either side
fails with that field named, and each fault of the file format is found."""

import sys

sys.dont_write_bytecode = True  # no __pycache__ beside the sources

import json
import re
import unittest
from pathlib import Path

import compare_report_tools as cmp

DATA = Path(__file__).resolve().parent / "data" / "report"


def text(name):
    return (DATA / name).read_text()


def as_file(report):
    return b"\xff\xfe" + report.replace("\n", "\r\n").encode("utf-16-le")


class CompareReport(unittest.TestCase):
    def setUp(self):
        self.report = text("report.out")

    def test_recording_agrees(self):
        r = self.report
        self.assertEqual(cmp.compare_smbios(r, text("dmidecode.out")), [])
        self.assertEqual(cmp.compare_controllers(r, text("lspci.out")), [])
        self.assertEqual(cmp.compare_cpu(r, text("lscpu.out")), [])
        self.assertEqual(cmp.compare_usb(r, text("lsusb-v.out")), [])
        self.assertEqual(cmp.usb_tree_problems(r), [])
        self.assertEqual(cmp.compare_disk_lengths(r, json.loads(text("lsblk.out"))), [])
        self.assertEqual(cmp.compare_memory(r, text("meminfo.out")), [])
        self.assertEqual(cmp.check_file_format(as_file(r)), [])
        self.assertEqual(cmp.compare_network(r, json.loads(text("ip-addr.out")),
                                             json.loads(text("ip-route.out"))), [])
        monitors = cmp.report_monitors(r)
        self.assertEqual(len(monitors), 1)
        decoded = cmp.parse_edid_decode(text("edid-decode-card0-Virtual-1.out"))
        self.assertEqual(cmp.compare_monitor(monitors[0], decoded), [])
        self.assertEqual(decoded["name"], "QEMU Monitor")
        # Something was compared: the known strings, both controller classes, the USB disk.
        self.assertEqual(len(cmp.smbios_strings(r)), 23)
        self.assertEqual(cmp.report_controllers(r, "ATA Controller Class"),
                         {"0000:00:1f.2": "ahci"})
        self.assertEqual(len(cmp.report_controllers(r, "SCSI Controller Class")), 2)
        self.assertEqual(cmp.report_usb_devices(r), {("46f4", "0001", "TVDUSB0001")})

    def test_each_smbios_string_changed_fails(self):
        dmi = text("dmidecode.out")
        for key in cmp.SMBIOS_FIELDS:
            value = cmp.smbios_strings(self.report)[key]
            label = re.escape(key[1])
            changed, n = re.subn(rf"^(\s+{label} = \[\d+\] \(){re.escape(value)}\)$",
                                 rf"\g<1>{value}X)", self.report, count=1, flags=re.M)
            self.assertEqual(n, 1, key)
            diff = cmp.compare_smbios(changed, dmi)
            self.assertEqual([d[0] for d in diff], [f"{key[0]} {key[1]}"], key)
        # A string dmidecode has not: "Not Specified" stands for the report's "(NULL)".
        unspecified = dmi.replace("Asset Tag: TVDASSET7", "Asset Tag: Not Specified")
        self.assertEqual([d[0] for d in cmp.compare_smbios(self.report, unspecified)],
                         ["Type3 AssetTagNumber"])
        nulled = self.report.replace("AssetTagNumber = [4] (TVDASSET7)",
                                     "AssetTagNumber = [0] (NULL)")
        self.assertEqual(cmp.compare_smbios(nulled, unspecified), [])

    def test_controller_changes_fail(self):
        lspci = text("lspci.out")
        for before, after, heading in (("Kernel driver in use: ahci", "Kernel driver in use: x",
                                        "ATA Controller Class"),
                                       (" 0106: ", " 0100: ", "ATA Controller Class"),
                                       (" 0108: ", " 0180: ", "SCSI Controller Class")):
            changed = lspci.replace(before, after, 1)
            self.assertNotEqual(changed, lspci, before)
            diff = cmp.compare_controllers(self.report, changed)
            self.assertIn(heading, [d[0] for d in diff], before)

    def test_other_sections_changed_fail(self):
        r = self.report
        usb = r.replace("SerialNumber = [TVDUSB0001]", "SerialNumber = [TVDUSB0002]")
        self.assertTrue(cmp.compare_usb(usb, text("lsusb-v.out")))
        cpu = re.sub(r"^( Brand String = \[)", r"\1X", r, count=1, flags=re.M)
        self.assertTrue(cmp.compare_cpu(cpu, text("lscpu.out")))
        length = re.sub(r"^( DiskLength = \[)(\d+)", lambda m: m.group(1) + str(int(m.group(2)) + 512),
                        r, count=1, flags=re.M)
        self.assertTrue(cmp.compare_disk_lengths(length, json.loads(text("lsblk.out"))))
        memory = re.sub(r"^(Physical Memory = \[\d+\]M/\[)(\d+)",
                        lambda m: m.group(1) + str(int(m.group(2)) + 1), r, flags=re.M)
        self.assertTrue(cmp.compare_memory(memory, text("meminfo.out")))
        tree = r.replace(" PortNumber = [0]", " ** PortNumber fail.", 1)
        self.assertEqual(cmp.usb_tree_problems(tree), ["** PortNumber fail."])

    def test_monitor_and_network_changes_fail(self):
        monitor = cmp.report_monitors(self.report)[0]
        decoded = cmp.parse_edid_decode(text("edid-decode-card0-Virtual-1.out"))
        for field, value in (("Manufacturer ID", "RHU"), ("Product Code", "0x1235"),
                             ("Serial Number", "1"), ("Monitor Name", "QEMU Monitor2"),
                             ("EDID Version", "1.3")):
            diff = cmp.compare_monitor(dict(monitor, **{field: value}), decoded)
            self.assertEqual([d[0] for d in diff], [field], field)
        addr, route = json.loads(text("ip-addr.out")), json.loads(text("ip-route.out"))
        for before, after in (("MAC Address = [52:54:00:7D:0A:01]", "MAC Address = [52:54:00:7D:0A:02]"),
                              ("IpAddressList : IPAddress=[192.0.2.15], SubnetMask=[255.255.255.0]",
                               "IpAddressList : IPAddress=[192.0.2.15], SubnetMask=[255.255.0.0]"),
                              ("GatewayList : IPAddress=[192.0.2.1]", "GatewayList : IPAddress=[192.0.2.9]")):
            changed = self.report.replace(before, after)
            self.assertNotEqual(changed, self.report, before)
            self.assertTrue(cmp.compare_network(changed, addr, route), before)
        # A second address that only ip knows of.
        extra = json.loads(text("ip-addr.out"))
        for link in extra:
            if link.get("link_type") != "loopback":
                link["addr_info"].append({"family": "inet", "local": "198.51.100.7", "prefixlen": 25})
        self.assertTrue(cmp.compare_network(self.report, extra, route))
        self.assertEqual(cmp.mask_text(25), "255.255.255.128")

    def test_file_format_faults_are_found(self):
        good = as_file(self.report)
        faults = {
            "no BOM": good[2:],
            "lone LF": good + "x\n".encode("utf-16-le") + "\r\n".encode("utf-16-le"),
            "lone CR": good + "x\ry\r\n".encode("utf-16-le"),
            "NUL": good + "a\0b\r\n".encode("utf-16-le"),
            "no final CR LF": good + "tail".encode("utf-16-le"),
            "unclosed value": good + " Model = [forged\r\n".encode("utf-16-le"),
            "odd length": good + b"\x41",
        }
        for what, data in faults.items():
            self.assertTrue(cmp.check_file_format(data), what)


if __name__ == "__main__":
    unittest.main()
