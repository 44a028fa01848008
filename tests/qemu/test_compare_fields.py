#!/usr/bin/env python3
"""qemu.fields_compare_selftest: the details-rows comparison on guest output recorded from the
storage profile (data/fields/): `identify --fields --json` of the SATA and NVMe drives beside
`smartctl --identify=wn` and `nvme id-ctrl -o json`. The recording agrees; each value changed on
either side fails with the drive and the field named."""

import sys

sys.dont_write_bytecode = True  # no __pycache__ beside the sources

import json
import unittest
from pathlib import Path

import recordingcase
import compare_fields_tools as cmp

DATA = Path(__file__).resolve().parent / "data" / "fields"


def set_nvme(key, value):
    def change(doc):
        doc[key] = value
    return change


def set_psd(i, key, value):
    def change(doc):
        doc["psds"][i][key] = value
    return change


def set_row(name_or_position, value):
    def change(doc):
        for r in doc["rows"]:
            if name_or_position in (r.get("name"), r["position"]):
                r["value"] = value
                return
        raise KeyError(name_or_position)
    return change


# (file, change, what the difference line must name)
CHANGES = [
    ("nvme-id-ctrl", set_nvme("vid", 0x144D), "nvme1: VID"),
    ("nvme-id-ctrl", set_nvme("sn", "OTHER"), "nvme1: SN"),
    ("nvme-id-ctrl", set_nvme("mn", "Other model"), "nvme1: MN"),
    ("nvme-id-ctrl", set_nvme("ieee", 1), "nvme1: IEEE"),
    ("nvme-id-ctrl", set_nvme("ver", 0x10300), "nvme1: VER"),
    ("nvme-id-ctrl", set_nvme("tnvmcap", 1000204886016), "nvme1: TNVMCAP"),
    ("nvme-id-ctrl", set_nvme("hmpre", 7), "nvme1: HMPRE"),
    ("nvme-id-ctrl", set_nvme("sgls", 0xFF), "nvme1: SGLS"),
    ("nvme-id-ctrl", set_nvme("subnqn", "nqn.2014-08.org.example:x"), "nvme1: SUBNQN"),
    ("nvme-id-ctrl", set_psd(0, "max_power", 900), "nvme1: PSD0.max_power"),
    ("nvme-id-ctrl", set_psd(0, "exit_lat", 5), "nvme1: PSD0.exit_lat"),
    ("nvme-id-ctrl", set_nvme("psds", []), "nvme1: nvme id-ctrl lists no power states"),
    ("fields-nvme1", set_row("NN", "0x00000002 (2)"), "nvme1: NN"),
    ("fields-nvme1", set_row("PSD0", "00 " * 32), "nvme1: PSD0.max_power"),
    ("fields-sata1", set_row("27..46", "TVD SATA DISX"), "sata1: word 33"),
    ("fields-sata1", set_row("100..103", "0x0000000000000001 (1)"), "sata1: word 100"),
    ("fields-sata1", set_row("0", "0041 "), "sata1: word 0 "),
    ("fields-sata1", set_row("129..144", "0000 " * 15 + "0001 "), "sata1: word 144"),
]


class CompareFieldsTest(recordingcase.RecordingCase):
    DATA = DATA
    COMPARE = staticmethod(cmp.compare_folder)

    def test_each_wrong_field_is_named(self):
        original = {f.name: f.read_text() for f in DATA.iterdir()}
        for name, change, needle in CHANGES:
            with self.subTest(file=name, needle=needle):
                for fname, text in original.items():
                    (self.dir / fname).write_text(text)
                doc = json.loads(original[name + ".out"])
                change(doc)
                (self.dir / (name + ".out")).write_text(json.dumps(doc))
                diffs = cmp.compare_folder(self.dir)
                self.assertTrue(any(needle in d for d in diffs), diffs)

    def test_changed_smartctl_word_is_named(self):
        text = (DATA / "smartctl-identify-sata1.out").read_text()
        for old, new, needle in [("  47      0x8010", "  47      0x8011", "word 47"),
                                 ("0x5456:4420:5341:5441", "0x5456:4420:5341:5442", "word 30"),
                                 ("  7-8    0x00...", "  7-8    0xff...", "word 7")]:
            with self.subTest(needle=needle):
                self.assertIn(old, text)
                (self.dir / "smartctl-identify-sata1.out").write_text(text.replace(old, new))
                diffs = cmp.compare_folder(self.dir)
                self.assertTrue(any(d.startswith("sata1: " + needle) for d in diffs), diffs)

    def test_words_smartctl_prints_in_each_form(self):
        text = ("Word       Value   Description\n"
                "   0      0x0040   General configuration\n"
                "   7-8    0x00...  Reserved for CFA\n"
                "  10-19   .        Serial number (String)\n"
                "  10-13   0x5456:4453:4154:4130  \"TVDSATA0\"\n"
                "  18-19   0x2020:2020            \"    \"\n"
                " 129-159  0xff...  Vendor specific\n"
                " 160-167  0x0000:0000:0000:00...\n")
        w = cmp.smartctl_words(text)
        self.assertEqual(w[0], 0x40)
        self.assertEqual(w[7:9], [0, 0])
        self.assertEqual(w[10:14], [0x5456, 0x4453, 0x4154, 0x4130])
        self.assertEqual(w[14], None)
        self.assertEqual(w[18:20], [0x2020, 0x2020])
        self.assertEqual(w[129:160], [0xFFFF] * 31)
        self.assertEqual(w[160:168], [0] * 8)

    def test_missing_output_fails(self):
        (self.dir / "fields-sata1.out").write_text("tarvikdorn: identify: unknown option --fields\n")
        self.assertTrue(any(d.startswith("fields-sata1 gave no JSON")
                            for d in cmp.compare_folder(self.dir)))
        (self.dir / "smartctl-identify-sata1.out").write_text("")
        self.assertIn("smartctl --identify gave nothing", cmp.compare_folder(self.dir))


if __name__ == "__main__":
    unittest.main()
