#!/usr/bin/env python3
"""Archives past the 16-bit entry count, through vespa-console: every entry is tested and
extracted, and a directory that holds more entries than its end record can say is refused
before any entry, with the reason named, and nothing written.

    - Python's zipfile, 100,000 entries: its end record says 0xFFFF, its ZIP64 end record the
      truth
    - the same directory with the ZIP64 records cut away (the count saturated, or wrapped at
      65,536 as some writers leave it)
    - the ZIP64 locator pointing a byte off
"""

import os
import shutil
import struct
import tempfile
import unittest
import zipfile

import consolelib as lib
from consolelib import ConsoleTestCase

COUNT = 100000
FOLDER = 5000  # entries per folder: a folder of 100,000 files is no one's archive


def name_of(i):
    return "d%02d/f%06d.txt" % (i // FOLDER, i)


def without_zip64_end(data, count_field):
    """The archive with its ZIP64 end record and locator removed and the end record's count
    set to count_field; the directory's own offset and size stay true."""
    end = data.rfind(b"PK\x05\x06")
    locator = end - 20
    record = struct.unpack_from("<Q", data, locator + 8)[0]
    fixed = bytearray(data[end:end + 22])
    struct.pack_into("<HH", fixed, 8, count_field, count_field)
    return data[:record] + bytes(fixed) + data[end + 22:]


class ManyEntries(ConsoleTestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.root = tempfile.mkdtemp(prefix="vespa-zip64-")
        cls.archive = os.path.join(cls.root, "many.zip")
        with zipfile.ZipFile(cls.archive, "w", zipfile.ZIP_STORED) as z:
            for i in range(COUNT):
                z.writestr(zipfile.ZipInfo(name_of(i), (2021, 3, 4, 5, 6, 8)), b"%d\n" % i)
        with open(cls.archive, "rb") as f:
            cls.data = f.read()
        end = cls.data.rfind(b"PK\x05\x06")
        # What makes this case: a saturated count in the end record, the truth in ZIP64.
        assert struct.unpack_from("<H", cls.data, end + 10)[0] == 0xFFFF

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.root, True)
        super().tearDownClass()

    def test_every_entry_is_tested(self):
        result = self.run_ok(["-TEST", self.archive], 0, timeout=600)
        tested = [line for line in result.stdout.splitlines() if line.endswith(" OK")]
        self.assertEqual(len(tested), COUNT)
        self.assertIn(name_of(COUNT - 1), tested[-1])

    def test_every_entry_is_extracted(self):
        out = self.make_temp()
        self.run_ok(["-EXTRACT", "-DIRECTORIES", self.archive, out + "/"], 0, timeout=600)
        found = sum(len(files) for _, _, files in os.walk(out))
        self.assertEqual(found, COUNT)
        for i in (0, 65534, 65535, 65536, COUNT - 1):
            with open(os.path.join(out, name_of(i)), "rb") as f:
                self.assertEqual(f.read(), b"%d\n" % i)

    def test_a_directory_larger_than_its_end_record_is_refused(self):
        cases = [
            ("count saturated, no ZIP64 end record", 0xFFFF, 150, "tem 100000 entradas"),
            ("count wrapped at 65,536", COUNT & 0xFFFF, 150, "tem 100000 entradas"),
        ]
        for what, count, number, detail in cases:
            with self.subTest(what):
                path = os.path.join(self.make_temp(), "cut.zip")
                with open(path, "wb") as f:
                    f.write(without_zip64_end(self.data, count))
                out = self.make_temp()
                for command in ("-TEST", "-EXTRACT"):
                    result = self.run_ok([command, "-DIRECTORIES", path, out + "/"], number + 149)
                    self.assertIn(lib.ARCHIVE_ERROR_TEXTS[number].rstrip(), result.stderr + result.stdout)
                    self.assertIn(detail, result.stderr + result.stdout)
                    self.assertNotIn(" OK", result.stdout)
                self.assertEqual(os.listdir(out), [])

    def test_a_locator_pointing_wrong_is_refused(self):
        data = bytearray(self.data)
        locator = data.rfind(b"PK\x06\x07")
        record = struct.unpack_from("<Q", data, locator + 8)[0]
        struct.pack_into("<Q", data, locator + 8, record + 1)
        path = os.path.join(self.make_temp(), "off.zip")
        with open(path, "wb") as f:
            f.write(data)
        result = self.run_ok(["-TEST", path], 152 + 149)
        self.assertIn("o localizador ZIP64 não aponta para o registro final ZIP64",
                      result.stderr + result.stdout)


if __name__ == "__main__":
    unittest.main()
