#!/usr/bin/env python3
"""The checker and the converter catch what they are meant to catch."""
import sys
import tempfile
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import checkmsgtables  # noqa: E402
import msgtables  # noqa: E402

GOOD_ENG = "20021\tMemory allocation failed.\n20022\t%s does not support %s.\n21012\t%i Devices\n"
GOOD_RUS = "20021\tНе удалось выделить память.\n20022\t%s не поддерживает %s.\n21012\tУстройств: %i\n"


class Checker(unittest.TestCase):
    def run_check(self, eng, rus, raw_rus=None):
        with tempfile.TemporaryDirectory() as d:
            folder = Path(d) / "main"
            folder.mkdir()
            (folder / "ENG.txt").write_text(eng, encoding="utf-8", newline="\n")
            if raw_rus is not None:
                (folder / "RUS.txt").write_bytes(raw_rus)
            else:
                (folder / "RUS.txt").write_text(rus, encoding="utf-8", newline="\n")
            return checkmsgtables.check_program(folder, ["ENG", "RUS"])

    def test_good_tables_pass(self):
        self.assertEqual(self.run_check(GOOD_ENG, GOOD_RUS), [])

    def test_faults_are_reported(self):
        cases = {
            "missing id": GOOD_RUS.replace("21012\tУстройств: %i\n", ""),
            "extra id": GOOD_RUS + "29999\tЛишний\n",
            "string for integer": GOOD_RUS.replace("Устройств: %i", "Устройств: %s"),
            "one argument short": GOOD_RUS.replace("%s не поддерживает %s", "%s не поддерживается"),
            "%n": GOOD_RUS.replace("Устройств: %i", "Устройств: %i%n"),
            "star width": GOOD_RUS.replace("Устройств: %i", "Устройств: %*i"),
            "duplicate": GOOD_RUS + "20021\tЕщё раз\n",
            "empty text": GOOD_RUS + "21013\t \n",
            "id zero": GOOD_RUS + "0\tНоль\n",
            "no tab": GOOD_RUS + "21014 Пробел\n",
        }
        for name, rus in cases.items():
            with self.subTest(name):
                self.assertNotEqual(self.run_check(GOOD_ENG, rus), [], name)

    def test_invalid_utf8_is_reported(self):
        self.assertNotEqual(self.run_check(GOOD_ENG, None, raw_rus=b"20021\t\xff\xfe\n"), [])

    def test_specifier_classes(self):
        self.assertEqual(checkmsgtables.specifiers("%-08.3I64u %% %ls %.2f %C"),
                         ["int", "text", "float", "int"])
        self.assertIsNone(checkmsgtables.specifiers("100%"))
        self.assertIsNone(checkmsgtables.specifiers("%p"))


class Converter(unittest.TestCase):
    def test_resource_is_utf16_with_mark(self):
        blob = msgtables.resource_bytes([(20002, "Да"), (20003, "Нет")])
        self.assertEqual(blob[:2], b"\xff\xfe")
        self.assertEqual(blob[2:].decode("utf-16-le"), "20002\tДа\r\n20003\tНет\r\n")

    def test_shipped_tables_pass(self):
        root = Path(__file__).resolve().parents[2] / "resources" / "messages"
        self.assertEqual(checkmsgtables.main(["--root", str(root)]), 0)


if __name__ == "__main__":
    unittest.main()
