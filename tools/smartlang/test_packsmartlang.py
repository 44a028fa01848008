#!/usr/bin/env python3
"""Checks of the SMART name packer: tree code, container layout, source validation."""

import io
import random
import struct
import sys
import tempfile
import unittest
from contextlib import redirect_stderr
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import packsmartlang as pk  # noqa: E402


class TreeCode(unittest.TestCase):
    def test_round_trip(self):
        rng = random.Random(7)
        cases = {
            "single symbol": b"AAAA",
            "two symbols": b"\xff\xfe",
            "all byte values": bytes(range(256)) * 3,
            "skewed": bytes(rng.choice(b"aaaaaaaabbbc\x00") for _ in range(5000)),
            "random": bytes(rng.randrange(256) for _ in range(5000)),
        }
        for name, data in cases.items():
            with self.subTest(name):
                coded = pk.tree_encode(data)
                self.assertEqual(pk.tree_decode(coded, len(data)), data)

    def test_single_symbol_is_a_leaf_root_without_path_bits(self):
        # Leaf flag + 8 value bits, then nothing for the symbols themselves.
        self.assertEqual(pk.tree_encode(b"A" * 1000), bytes([0x80 | (0x41 >> 1), 0x80]))

    def test_deterministic(self):
        data = pk.utf16_text(["[Smart]", "01=Read Error Rate", "02=Throughput"])
        self.assertEqual(pk.tree_encode(data), pk.tree_encode(bytes(data)))


class Sources(unittest.TestCase):
    def write(self, folder, name, text):
        (Path(folder) / name).write_bytes(text.encode("utf-8"))

    def test_container_layout(self):
        with tempfile.TemporaryDirectory() as d:
            self.write(d, "0809.ini", "; c\n[Smart]\nC2=Temperature\nVENDOR_SPECIFIC=Vendor Specific\n")
            self.write(d, "0411.ini", "[Smart]\r\nC2=温度\r\n")
            blob = pk.pack(pk.read_languages(d, ["0809", "0411"]))
        (count,) = struct.unpack_from("<I", blob, len(blob) - 4)
        self.assertEqual(count, 2)
        entries = [struct.unpack_from("<IIII", blob, len(blob) - 4 - 32 + 16 * i) for i in range(2)]
        self.assertEqual([e[0] for e in entries], [0x0809, 0x0411])
        self.assertEqual(entries[0][1], 0)
        self.assertEqual(entries[1][1], entries[0][3])
        self.assertEqual(entries[1][1] + entries[1][3], len(blob) - 36)
        text = pk.tree_decode(blob[entries[1][1]:], entries[1][2]).decode("utf-16-le")
        self.assertEqual(text, "\ufeff[Smart]\r\nC2=温度\r\n")

    def test_invalid_sources_fail_with_the_line(self):
        cases = {
            "lower-case key": "[Smart]\nc2=Temperature\n",
            "three-digit key": "[Smart]\n0C2=Temperature\n",
            "duplicate key": "[Smart]\nC2=A\nC2=B\n",
            "entry before section": "C2=A\n[Smart]\n",
            "neither section nor entry": "[Smart]\nTemperature\n",
            "empty name": "[Smart]\nC2=\n",
            "duplicate section": "[Smart]\nC2=A\n[smart]\nC3=B\n",
            "stray carriage return": "[Smart]\nC2=A\rB\n",
        }
        for name, text in cases.items():
            with self.subTest(name), tempfile.TemporaryDirectory() as d:
                self.write(d, "0809.ini", text)
                with self.assertRaisesRegex(pk.PackError, r"0809\.ini:\d+: "):
                    pk.read_languages(d, ["0809"])

    def test_missing_language_fails_the_build(self):
        with tempfile.TemporaryDirectory() as d:
            self.write(d, "0809.ini", "[Smart]\nC2=Temperature\n")
            err = io.StringIO()
            with redirect_stderr(err):
                rc = pk.main(["--source-dir", d, "--languages", "0809,0404",
                              "--bin", str(Path(d) / "out.bin")])
            self.assertEqual(rc, 1)
            self.assertIn("0404.ini: missing", err.getvalue())
            self.assertFalse((Path(d) / "out.bin").exists())


if __name__ == "__main__":
    unittest.main()
