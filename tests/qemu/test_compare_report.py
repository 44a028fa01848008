#!/usr/bin/env python3
"""qemu.report_compare_selftest: the report-versus-tools comparison on guest output recorded from
the report profile (data/report/). The recording agrees; each section changed on either side
fails with that field named, and each fault of the file format is found. The drive sections
likewise: the ATA identify words, the SMART attributes, the NVMe tables and health log, the SCSI
inquiry and capacity, the partition tables (sfdisk, blkid) and lsblk's HCTL, RM, RO, DISC-MAX
and HOTPLUG. The volumes the guest mounted: each value of a volume block, of the Drives section
and of a disk's " Drives" line, changed on either side, fails by its name."""

import sys

sys.dont_write_bytecode = True  # no __pycache__ beside the sources

import json
import re
import shutil
import tempfile
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
        self.assertEqual(cmp.compare_controller_names(r, text("lspci-names.out")), [])
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

    def test_controller_name_changes_fail(self):
        lspci = text("lspci-names.out")
        names = {**cmp.report_controller_names(self.report, "ATA Controller Class"),
                 **cmp.report_controller_names(self.report, "SCSI Controller Class")}
        self.assertTrue(names and all(names.values()), names)
        functions = cmp.parse_lspci_vmm(lspci)
        for address, name in names.items():
            fields = functions[address]
            for field in ("Vendor", "Device", "SDevice"):
                value, ident = fields.get(field, ("", None))
                if not value:
                    continue
                before = f"{field}:\t{value} [{ident}]"
                self.assertIn(before, lspci, (address, field))
                # Only this function's line changes: the text of the other functions stays.
                at = lspci.index(f"Slot:\t{address}\n")
                end = lspci.find("\n\n", at)
                block = lspci[at:end].replace(before, f"{field}:\t{value}X [{ident}]")
                changed = lspci[:at] + block + lspci[end:]
                if field == "SDevice" and fields.get("SVendor", ("", None))[1] == fields["Vendor"][1] \
                        and ident == fields["Device"][1] and not name.endswith(")"):
                    continue  # the name without a subsystem is allowed either way
                diff = cmp.compare_controller_names(self.report, changed)
                self.assertEqual([d[0] for d in diff], [address], (address, field))
        # A name the report lost is found.
        first = next(iter(names.values()))
        lost = self.report.replace(f"= [{first}][", "= [][", 1)
        self.assertEqual(len(cmp.compare_controller_names(lost, lspci)), 1)

    def test_controller_names_allowed(self):
        v, d = ("Intel Corporation", "8086"), ("AHCI", "2922")
        cases = (
            ({"Vendor": v, "Device": d, "SVendor": ("Red Hat, Inc.", "1af4"),
              "SDevice": ("QEMU Virtual Machine", "1100")},
             {"Intel Corporation AHCI (QEMU Virtual Machine)"}),
            # From a hardware database: the subsystem's name holds the device's.
            ({"Vendor": v, "Device": d, "SVendor": ("Red Hat, Inc.", "1af4"),
              "SDevice": ("AHCI (QEMU Virtual Machine)", "1100")},
             {"Intel Corporation AHCI (QEMU Virtual Machine)",
              "Intel Corporation AHCI (AHCI (QEMU Virtual Machine))"}),
            # Subsystem ids equal to the function's: lspci repeats the device's name.
            ({"Vendor": v, "Device": d, "SVendor": ("Intel Corporation", "8086"),
              "SDevice": ("AHCI", "2922")},
             {"Intel Corporation AHCI", "Intel Corporation AHCI (AHCI)"}),
            ({"Vendor": v, "Device": d, "SVendor": ("Red Hat, Inc.", "1af4"),
              "SDevice": ("", "0008")}, {"Intel Corporation AHCI"}),
            ({"Vendor": v, "Device": ("", "2922")}, {"Intel Corporation"}),
            ({"Vendor": ("", "fffe"), "Device": ("", "0001")}, {""}),
        )
        for fields, want in cases:
            self.assertEqual(cmp.controller_names_from_lspci(fields), want, fields)

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


class CompareDrives(unittest.TestCase):
    """The drive comparisons on the recording, each side changed in turn."""

    def setUp(self):
        self.report = text("report.out")
        self.tmp = Path(tempfile.mkdtemp())
        self.addCleanup(shutil.rmtree, self.tmp)

    def failures(self, report=None, **files):
        """{check name: differences} of the failing checks, with recorded files replaced
        (keyword: file name with "_" for "-" and no ".out"; value: bytes or text)."""
        folder = self.tmp / "run"
        shutil.rmtree(folder, ignore_errors=True)
        shutil.copytree(DATA, folder)
        for key, value in files.items():
            path = folder / (key.replace("_", "-") + ".out")
            path.write_bytes(value if isinstance(value, bytes) else value.encode())
        checks = cmp.drive_checks(report if report is not None else self.report, folder)
        return {name: diff for name, diff in checks if diff}

    def fields(self, report=None, **files):
        return {f"{name}: {d[0]}" for name, diff in self.failures(report, **files).items()
                for d in diff}

    def test_recording_agrees(self):
        checks = cmp.drive_checks(self.report, DATA)
        self.assertEqual([c for c in checks if c[1]], [])
        names = [n for n, _ in checks]
        for name in ("sda ATA identify", "sda SMART", "nvme0n1 NVMe", "nvme0n1 SMART", "sdb partitions (sfdisk)",
                     "sdc partitions (blkid)", "sde lsblk", "sdd SCSI"):
            self.assertIn(name, names)
        disks = cmp.report_disks(self.report)
        self.assertEqual(len(cmp.report_identify_words(disks["/dev/sda"])), 256)
        self.assertEqual(len(cmp.report_ata_attributes(disks["/dev/sda"])), 7)
        self.assertEqual(cmp.report_layout(disks["/dev/sdb"])["style"], "MBR")
        self.assertEqual(len(cmp.report_layout(disks["/dev/sdc"])["entries"]), 2)
        self.assertEqual(set(cmp.report_byte_tables(disks["/dev/nvme0n1"])), {1, "controller"})
        self.assertEqual(len(cmp.report_byte_tables(disks["/dev/nvme0n1"])["controller"]), 4096)

    def test_each_identify_word_changed_fails(self):
        rows = re.findall(r"^   ([0-9A-F]{2})  .*$", self.report, re.M)
        self.assertEqual(len(rows), 16)
        for word in range(256):
            row, col = divmod(word, 16)

            def bump(m):
                values = m.group(2).split()
                values[col] = f"{int(values[col], 16) ^ 0x0100:04X}"
                return m.group(1) + "".join(" " + v for v in values) + " "

            changed, n = re.subn(rf"^(   {row * 16:02X} )((?: [0-9A-F]{{4}}){{16}}) $", bump,
                                 self.report, flags=re.M)
            self.assertEqual(n, 1, word)
            self.assertEqual(self.fields(changed), {f"sda ATA identify: word {word}"}, word)
        identify = text("smartctl-identify-sda.out")
        for before, after, words in (("0x5456:4453:4154:4130", "0x5456:4453:4154:4131", [13]),
                                     ("  7-8    -     0x00...", "  7-8    -     0xff...", [7, 8]),
                                     ("   0      -     0x0040", "   0      -     0x0041", [0])):
            self.assertIn(before, identify)
            got = self.fields(smartctl_identify_sda=identify.replace(before, after, 1))
            self.assertEqual(got, {f"sda ATA identify: word {w}" for w in words}, before)
        # A word smartctl leaves out is a failure, not a pass.
        short = identify.replace("   0      -     0x0040", "   0      -     ", 1)
        self.assertEqual(self.fields(smartctl_identify_sda=short), {"sda ATA identify: identify words"})

    def test_each_smart_attribute_field_changed_fails(self):
        doc = json.loads(text("smartctl-x-sda.out"))
        table = doc["ata_smart_attributes"]["table"]
        for i, a in enumerate(table):
            for key in ("thresh", "value", "worst", "raw"):
                changed = json.loads(json.dumps(doc))
                entry = changed["ata_smart_attributes"]["table"][i]
                if key == "raw":
                    entry["raw"]["value"] += 1
                else:
                    entry[key] += 1
                self.assertEqual(self.fields(smartctl_x_sda=json.dumps(changed)),
                                 {f"sda SMART: attribute {a['id']:02X}h"}, (a["id"], key))
        # The report's side: an attribute the tool does not list.
        fewer = json.loads(json.dumps(doc))
        gone = fewer["ata_smart_attributes"]["table"].pop()
        self.assertEqual(self.fields(smartctl_x_sda=json.dumps(fewer)),
                         {f"sda SMART: attribute {gone['id']:02X}h"})
        raw = re.sub(r"^(   BEh +\d+ +\d+ +\d+ +)000000001F1F001F$", r"\g<1>000000001F1F0020",
                     self.report, flags=re.M)
        self.assertNotEqual(raw, self.report)
        self.assertEqual(self.fields(raw), {"sda SMART: attribute BEh"})

    def test_health_changes_fail(self):
        hot = re.sub(r"^(  Temperature = \[)31( °C\])$", r"\g<1>32\2", self.report, flags=re.M)
        self.assertNotEqual(hot, self.report)
        self.assertEqual(self.fields(hot), {"sda SMART: Temperature"})
        doc = json.loads(text("smartctl-x-nvme0.out"))
        for i, key in cmp.NVME_HEALTH_IDS.items():
            changed = json.loads(json.dumps(doc))
            changed["nvme_smart_health_information_log"][key] += 1
            self.assertEqual(self.fields(smartctl_x_nvme0=json.dumps(changed)),
                             {f"nvme0n1 SMART: attribute {i:02X}h"}, key)
        changed = json.loads(json.dumps(doc))
        changed["nvme_smart_health_information_log"]["temperature"] += 1
        changed["temperature"]["current"] += 1
        self.assertEqual(self.fields(smartctl_x_nvme0=json.dumps(changed)),
                         {"nvme0n1 SMART: attribute 02h", "nvme0n1 SMART: Temperature"})

    def test_nvme_changes_fail(self):
        ctrl = bytearray((DATA / "nvme-id-ctrl-nvme0.out").read_bytes())
        ns = bytearray((DATA / "nvme-id-ns-nvme0n1.out").read_bytes())
        cases = []
        for offset, extra in ((0x300, set()), (24, {"nvme0n1 NVMe: Model Number"}),
                              (4, {"nvme0n1 NVMe: Serial Number"}),
                              (64, {"nvme0n1 NVMe: Firmware Revision"}),
                              (516, {"nvme0n1 NVMe: Number of Namespaces (NN)"}),
                              (0, {"nvme0n1 NVMe: PCI VID"})):
            changed = bytearray(ctrl)
            changed[offset] ^= 0x01
            cases.append(({"nvme_id_ctrl_nvme0": bytes(changed)},
                          {"nvme0n1 NVMe: controller data table"} | extra))
        for offset, extra in ((0x80, set()), (0, {"Namespace Size (NSZE)"}),
                              (8, {"Namespace Capacity (NCAP)"}),
                              (16, {"Namespace Utilization (NUSE)"}),
                              (25, {"Number of LBA Formats (NLBAF)"})):
            changed = bytearray(ns)
            changed[offset] ^= 0x01
            cases.append(({"nvme_id_ns_nvme0n1": bytes(changed)},
                          {"nvme0n1 NVMe: namespace 1 data table"} |
                          {f"nvme0n1 NVMe: namespace 1 {e}" for e in extra}))
        cases.append(({"nvme_list_ns_nvme0": "[   0]:0x1\n[   1]:0x2\n"},
                      {"nvme0n1 NVMe: namespaces"}))
        for files, want in cases:
            self.assertEqual(self.fields(**files), want, want)
        nsze = self.report.replace("Namespace Size (NSZE) = [8388608]",
                                   "Namespace Size (NSZE) = [8388607]")
        self.assertEqual(self.fields(nsze), {"nvme0n1 NVMe: namespace 1 Namespace Size (NSZE)"})

    def test_scsi_changes_fail(self):
        inq = (DATA / "sg-inq-sdb.out").read_bytes()
        for offset, field in ((0, "PeripheralData"), (1, "RMB"), (2, "Version"), (3, "DataFormat"),
                              (4, "AdditionalLen"), (8, "Vendor"), (20, "Product"),
                              (33, "Revision"), (40, "VendorSpecific")):
            changed = bytearray(inq)
            changed[offset] ^= 0x80 if offset == 1 else 0x01
            self.assertEqual(self.fields(sg_inq_sdb=bytes(changed)), {f"sdb SCSI: inquiry {field}"},
                             field)
        readcap = text("sg-readcap-sdd.out")
        for before, after in (("Last LBA=6442450943", "Last LBA=6442450942"),
                              ("Logical block length=512 bytes", "Logical block length=4096 bytes")):
            self.assertIn(before, readcap)
            self.assertEqual(self.fields(sg_readcap_sdd=readcap.replace(before, after)),
                             {"sdd SCSI: read capacity (block size, last LBA)"}, before)

    def test_partition_table_changes_fail(self):
        mbr, gpt = json.loads(text("sfdisk-sdb.out")), json.loads(text("sfdisk-sdc.out"))
        for disk, doc, path, value, field in (
                ("sdb", mbr, ("id",), "0x7d0a5121", "disk id"),
                ("sdb", mbr, ("partitions", 0, "start"), 4096, "partition 1 Starting Offset"),
                ("sdb", mbr, ("partitions", 1, "size"), 1, "partition 2 Partition Length"),
                ("sdb", mbr, ("partitions", 1, "type"), "c", "partition 2 Partition Type"),
                ("sdb", mbr, ("partitions", 0, "bootable"), False, "partition 1 Boot Indicator"),
                ("sdc", gpt, ("id",), "7D0A4096-0000-4000-8000-0000000000A2", "disk id"),
                ("sdc", gpt, ("firstlba",), 34, "usable area"),
                ("sdc", gpt, ("partitions", 0, "uuid"), "7D0A4096-0001-4000-8000-0000000000A2",
                 "partition 1 Partition ID"),
                ("sdc", gpt, ("partitions", 1, "name"), "TVD Date", "partition 2 Name"),
                ("sdc", gpt, ("partitions", 0, "type"), "EBD0A0A2-B9E5-4433-87C0-68B6B72699C7",
                 "partition 1 Partition Type"),
                ("sdc", gpt, ("partitions", 1, "node"), "/dev/sdc3", "partition 2 Partition Number")):
            changed = json.loads(json.dumps(doc))
            target = changed["partitiontable"]
            for key in path[:-1]:
                target = target[key]
            target[path[-1]] = value
            self.assertEqual(self.fields(**{f"sfdisk_{disk}": json.dumps(changed)}),
                             {f"{disk} partitions (sfdisk): {field}"}, field)
        # A failed read where sfdisk finds no table.
        failed = re.sub(r"(\[/dev/sdd\]\[sd\]\n(?:.*\n)*?) \*\* GetDriveLayout : Unknown PartitionStyle",
                        r"\1 ** IOCTL_DISK_GET_DRIVE_LAYOUT_EX fail, Error=[87].", self.report, count=1)
        self.assertNotEqual(failed, self.report)
        self.assertEqual(self.fields(failed), {"sdd partitions (sfdisk): partition table"})
        # A table the report does not show, and one partition fewer in the report.
        self.assertEqual(self.fields(sfdisk_sdd=text("sfdisk-sdb.out")),
                         {"sdd partitions (sfdisk): partition table"})
        fewer = re.sub(r"  Partition Entry \[ 2\]\n(   .*\n)+(?=  Partition Entry \[ 3\] \(Empty\))",
                       "", self.report, count=1)
        self.assertNotEqual(fewer, self.report)
        self.assertEqual(self.fields(fewer), {"sdb partitions (sfdisk): partitions",
                                              "sdb partitions (blkid): partition numbers",
                                              "sdb partitions (blkid): partition 3 Starting Offset",
                                              "sdb partitions (blkid): partition 3 Partition Length",
                                              "sdb partitions (blkid): partition 3 Partition Type",
                                              "sdb partitions (blkid): partition 3 Boot Indicator"})

    def test_blkid_changes_fail(self):
        for name, before, after, field in (
                ("sdb", "PTUUID=7d0a5120", "PTUUID=7d0a5121", "PTTYPE/PTUUID"),
                ("sdc", "PTTYPE=gpt", "PTTYPE=dos", "PTTYPE/PTUUID"),
                ("sdb1", "PART_ENTRY_FLAGS=0x80", "PART_ENTRY_FLAGS=0x0", "partition 1 Boot Indicator"),
                ("sdb2", "PART_ENTRY_TYPE=0x7", "PART_ENTRY_TYPE=0xc", "partition 2 Partition Type"),
                ("sdb1", "PART_ENTRY_OFFSET=2048", "PART_ENTRY_OFFSET=4096",
                 "partition 1 Starting Offset"),
                ("sdc2", "PART_ENTRY_SIZE=409600", "PART_ENTRY_SIZE=409608",
                 "partition 2 Partition Length"),
                ("sdc2", "PART_ENTRY_FLAGS=0x1", "PART_ENTRY_FLAGS=0x0", "partition 2 Attributes"),
                ("sdc2", r"PART_ENTRY_NAME=TVD\ Data", r"PART_ENTRY_NAME=TVD\ Date",
                 "partition 2 Name"),
                ("sdc1", "PART_ENTRY_UUID=7d0a4096-0001", "PART_ENTRY_UUID=7d0a4096-0009",
                 "partition 1 Partition ID"),
                ("sdc1", "PART_ENTRY_TYPE=c12a7328", "PART_ENTRY_TYPE=c12a7329",
                 "partition 1 Partition Type")):
            recorded = text(f"blkid-{name}.out")
            self.assertIn(before, recorded, before)
            disk = name.rstrip("0123456789")
            got = self.fields(**{f"blkid_{name}": recorded.replace(before, after)})
            self.assertEqual(got, {f"{disk} partitions (blkid): {field}"}, before)

    def test_lsblk_changes_fail(self):
        doc = json.loads(text("lsblk.out"))
        for key, value, field in (("hctl", "6:0:9:0", "HCTL"), ("rm", True, "RM"),
                                  ("ro", True, "RO"), ("disc-max", 0, "DISC-MAX"),
                                  ("hotplug", True, "HOTPLUG")):
            changed = json.loads(json.dumps(doc))
            for d in changed["blockdevices"]:
                if d["name"] == "sdb":
                    d[key] = value
            self.assertEqual(self.fields(lsblk=json.dumps(changed)), {f"sdb lsblk: {field}"}, key)


class CompareVolumes(unittest.TestCase):
    """The volume comparisons on the recording (FAT32 on sdb1, NTFS on sdb2 at a mount point with
    a blank, exFAT on sdb3, FAT16 with 4096-byte sectors on sdc1, sdc2 unmounted), each side
    changed in turn."""

    def setUp(self):
        self.report = text("report.out")
        self.tmp = Path(tempfile.mkdtemp())
        self.addCleanup(shutil.rmtree, self.tmp)

    def fields(self, report=None, **files):
        """{"check: field"} of the failing volume checks, with recorded files replaced (keyword:
        file name with "_" for "-" and no ".out")."""
        folder = self.tmp / "run"
        shutil.rmtree(folder, ignore_errors=True)
        shutil.copytree(DATA, folder)
        for key, value in files.items():
            (folder / (key.replace("_", "-") + ".out")).write_text(value)
        checks = cmp.volume_checks(report if report is not None else self.report, folder)
        return {f"{name}: {d[0]}" for name, diff in checks for d in diff}

    def lsblk_changed(self, name, key, value):
        doc = json.loads(text("lsblk-volumes.out"))
        for d in cmp.lsblk_devices(doc).values():
            if d["name"] == name:
                d[key] = value
        return json.dumps(doc)

    def test_recording_agrees(self):
        checks = cmp.volume_checks(self.report, DATA)
        self.assertEqual([c for c in checks if c[1]], [])
        names = {n for n, _ in checks}
        self.assertLessEqual({"sdb1 volume", "sdb2 volume", "sdb3 volume", "sdc1 volume",
                              "sdc2 volume", "Drives /mnt/fat32", "Drives /mnt/tvd ntfs",
                              "Drives /mnt/exfat", "Drives /mnt/esp4k", "sdb Drives", "sdc Drives",
                              "sda Drives"}, names)
        volumes = cmp.report_volumes(self.report)
        self.assertEqual({v: volumes[v]["root"] for v in volumes},
                         {"/dev/sdb1": "/mnt/fat32", "/dev/sdb2": "/mnt/tvd ntfs",
                          "/dev/sdb3": "/mnt/exfat", "/dev/sdc1": "/mnt/esp4k", "/dev/sdc2": None})
        self.assertEqual((volumes["/dev/sdb3"]["label"], volumes["/dev/sdb3"]["fs"]),
                         ("TVD EXFAT", "exfat"))
        self.assertEqual((volumes["/dev/sdb1"]["label"], volumes["/dev/sdb1"]["serial"]),
                         ("TVD FAT32", "0x7D0A0512"))
        self.assertEqual(volumes["/dev/sdc1"]["serial"], "0x7D0A4096")
        drives = cmp.report_drives(self.report)
        self.assertEqual(drives["/share"]["type"], "4")
        self.assertEqual(drives["/share"]["connection"], "tvdshare")
        self.assertEqual(len(drives), 5)

    def test_report_side_changes_fail(self):
        # The first occurrence of a value is in sdb1's volume block; the Drives section's is the
        # first after the drive's own line.
        volume, drive = "sdb1 volume", "Drives /mnt/fat32"
        cases = (
            ("VolumeLabel = [TVD FAT32]", "VolumeLabel = [TVD FAT3]",
             {"VolumeLabel (lsblk)", "VolumeLabel (blkid)"}),
            ("VolumeSerialNumber = [0x7D0A0512]", "VolumeSerialNumber = [0x7D0A0513]",
             {"VolumeSerialNumber"}),
            ("FileSystemName = [vfat]", "FileSystemName = [msdos]", {"FileSystemName"}),
        )
        for before, after, want in cases:
            self.assertGreaterEqual(self.report.count(before), 2, before)
            first = self.report.replace(before, after, 1)
            self.assertEqual(self.fields(first), {f"{volume}: {f}" for f in want}, before)
            at = self.report.index(before, self.report.index("\n/mnt/fat32\n"))
            last = self.report[:at] + after + self.report[at + len(before):]
            self.assertEqual(self.fields(last), {f"{drive}: {f}" for f in want}, before)
        for label in ("TotalBytes = [", "FreeBytes  = ["):
            bumped = re.sub(rf"^(\s+{re.escape(label)})(\d+)",
                            lambda m: m.group(1) + str(int(m.group(2)) + 512), self.report,
                            count=1, flags=re.M)
            self.assertNotEqual(bumped, self.report)
            got = self.fields(bumped)
            self.assertEqual(len(got), 1, label)
            self.assertTrue(next(iter(got)).endswith(label.split()[0]), got)
        # exFAT's block, then its drive.
        for before, after, want in (
                ("VolumeLabel = [TVD EXFAT]", "VolumeLabel = [TVD EXFA]",
                 {"VolumeLabel (lsblk)", "VolumeLabel (blkid)"}),
                ("FileSystemName = [exfat]", "FileSystemName = [vfat]", {"FileSystemName"})):
            self.assertEqual(self.report.count(before), 2, before)
            first = self.report.replace(before, after, 1)
            self.assertEqual(self.fields(first), {f"sdb3 volume: {f}" for f in want}, before)
            at = self.report.index(before, self.report.index("\n/mnt/exfat\n"))
            last = self.report[:at] + after + self.report[at + len(before):]
            self.assertEqual(self.fields(last), {f"Drives /mnt/exfat: {f}" for f in want}, before)
        root = self.report.replace("RootPath = [/mnt/tvd ntfs]", "RootPath = [/mnt/tvd]")
        self.assertEqual(self.fields(root), {"sdb2 volume: RootPath"})
        shown = self.report.replace(" Drives = [/mnt/fat32, /mnt/tvd ntfs, /mnt/exfat]",
                                    " Drives = [/mnt/fat32, /mnt/tvd ntfs]")
        self.assertNotEqual(shown, self.report)
        self.assertEqual(self.fields(shown), {"sdb Drives: Drives"})
        # A mounted volume the Drives section leaves out.
        gone = re.sub(r"^/mnt/esp4k\n(?: .*\n)+", "", self.report, count=1, flags=re.M)
        self.assertNotEqual(gone, self.report)
        self.assertEqual(self.fields(gone), {"Drives: mount points"})

    def test_tool_side_changes_fail(self):
        both = lambda f, name="sdb1", mount="/mnt/fat32": {f"{name} volume: {f}",
                                                          f"Drives {mount}: {f}"}
        ntfs_both = lambda f: both(f, "sdb2", "/mnt/tvd ntfs")
        exfat_both = lambda f: both(f, "sdb3", "/mnt/exfat")
        blkid_sdb1, blkid_sdb2 = text("blkid-sdb1.out"), text("blkid-sdb2.out")
        blkid_sdb3 = text("blkid-sdb3.out")
        mountinfo = text("mountinfo.out")
        fsavail = cmp.lsblk_devices(json.loads(text("lsblk-volumes.out")))["sdb1"]["fsavail"]
        cases = (
            ({"lsblk_volumes": self.lsblk_changed("sdb1", "label", "TVD FAT3")},
             both("VolumeLabel (lsblk)")),
            ({"lsblk_volumes": self.lsblk_changed("sdb1", "fsavail", fsavail - 4096)},
             both("FreeBytes")),
            ({"lsblk_volumes": self.lsblk_changed("sdc1", "fssize", 1)},
             both("TotalBytes", "sdc1", "/mnt/esp4k")),
            ({"lsblk_volumes": self.lsblk_changed("sdb2", "size", 1)},
             {"sdb2 volume: Partition Length"}),
            ({"lsblk_volumes": self.lsblk_changed("sdc2", "mountpoint", "/mnt/other")},
             {"sdc2 volume: RootPath", "Drives: mount points", "sdc Drives: Drives"}),
            ({"blkid_sdb1": blkid_sdb1.replace("UUID=7D0A-0512", "UUID=7D0A-0513")},
             both("VolumeSerialNumber")),
            ({"blkid_sdb1": blkid_sdb1.replace(r"LABEL=TVD\ FAT32", r"LABEL=TVD\ FAT3")},
             both("VolumeLabel (blkid)")),
            ({"blkid_sdb2": re.sub(r"^UUID=([0-9A-F]{15})[0-9A-F]$", r"UUID=\g<1>X", blkid_sdb2,
                                   flags=re.M)},
             ntfs_both("VolumeSerialNumber")),
            ({"mountinfo": mountinfo.replace(" - fuseblk ", " - ntfs3 ")},
             ntfs_both("FileSystemName")),
            ({"mountinfo": mountinfo.replace(" - vfat /dev/sdb1 ", " - msdos /dev/sdb1 ")},
             both("FileSystemName")),
            ({"blkid_sdb3": re.sub(r"^UUID=(....)-(...).$", r"UUID=\1-\2X", blkid_sdb3, flags=re.M)},
             exfat_both("VolumeSerialNumber")),
            ({"blkid_sdb3": blkid_sdb3.replace(r"LABEL=TVD\ EXFAT", r"LABEL=TVD\ EXFA")},
             exfat_both("VolumeLabel (blkid)")),
            ({"lsblk_volumes": self.lsblk_changed("sdb3", "label", "TVD EXFA")},
             exfat_both("VolumeLabel (lsblk)")),
            ({"mountinfo": mountinfo.replace(" - exfat /dev/sdb3 ", " - vfat /dev/sdb3 ")},
             exfat_both("FileSystemName")),
        )
        for files, want in cases:
            (key, value), = files.items()
            self.assertNotEqual(value, text(key.replace("_", "-") + ".out"), want)
            self.assertEqual(self.fields(**files), want, want)

    def test_value_readers(self):
        for fs, uuid, want in (("vfat", "7D0A-0512", "0x7D0A0512"), ("exfat", "1a2b-3c4d", "0x1A2B3C4D"),
                               ("ntfs", "0123456789abcdef", "0x89ABCDEF"), ("ntfs", "7D0A-0512", None),
                               ("vfat", "7D0A0512", None), ("ext4", "7D0A-0512", None),
                               ("vfat", None, None)):
            self.assertEqual(cmp.serial_from_uuid(fs, uuid), want, (fs, uuid))
        line = r"36 22 8:18 / /mnt/tvd\040ntfs rw,relatime shared:9 - ntfs3 /dev/sdb2 rw,uid=0"
        self.assertEqual(cmp.parse_mountinfo(line), {"/mnt/tvd ntfs": ("ntfs3", "/dev/sdb2")})


if __name__ == "__main__":
    unittest.main()
