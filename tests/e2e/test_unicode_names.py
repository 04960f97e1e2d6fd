#!/usr/bin/env python3
"""Names outside code page 1252 and long paths through vespa-console on Linux: every name is
created exactly as the archive gives it (flag bit 11, the Unicode path field, or the OEM code
page), paths past 260 and past 1,000 characters are written whole, and patterns and look-ups
compare the names that reach the disk, letters without case as Windows compares them."""

import os
import struct
import unittest
import zlib

import consolelib as lib
from consolelib import ConsoleTestCase, read, tree_listing

# Stored name, flags, extra field, name on disk.
def unicode_path_field(stored, utf8):
    data = struct.pack("<BI", 1, zlib.crc32(stored)) + utf8.encode("utf-8")
    return struct.pack("<HH", 0x7075, len(data)) + data


LONG_300 = "/".join("p%02d_" % i + "x" * 45 for i in range(6)) + "/longo.txt"
LONG_1100 = "/".join("q%02d_" % i + "\u0436" * 45 for i in range(22)) + "/\u0416.txt"
NAMES = [
    # (stored bytes, flag bit 11, extra field, name on disk)
    ("\u041f\u0440\u0438\u0432\u0435\u0442.txt".encode(), True, b"", "\u041f\u0440\u0438\u0432\u0435\u0442.txt"),
    ("\u03b1\u03b2\u03b3.txt".encode(), True, b"", "\u03b1\u03b2\u03b3.txt"),
    ("\u65e5\u672c\u8a9e/\u30d5\u30a1\u30a4\u30eb.txt".encode(), True, b"",
     "\u65e5\u672c\u8a9e/\u30d5\u30a1\u30a4\u30eb.txt"),
    ("\U0001F600.txt".encode(), True, b"", "\U0001F600.txt"),
    # Alike once cut to 1252: two files, not one.
    ("\u0416.txt".encode(), True, b"", "\u0416.txt"),
    ("\u0429.txt".encode(), True, b"", "\u0429.txt"),
    # No flag: the OEM code page (437), as ever.
    (b"relat\xa2rio.doc", False, b"", "relat\u00f3rio.doc"),
    # No flag, with a Unicode path field whose CRC matches the stored name: the field wins.
    (b"cafe.txt", False, unicode_path_field(b"cafe.txt", "\u043a\u0430\u0444\u0435.txt"),
     "\u043a\u0430\u0444\u0435.txt"),
    # Flagged, not UTF-8: what has a 1252 form keeps it, a stray byte becomes '_'.
    (b"caf\xe9.bin", True, b"", "caf_.bin"),
    (LONG_300.encode(), False, b"", LONG_300),
    (LONG_1100.encode(), True, b"", LONG_1100),
]


def write_archive(path):
    """Stored entries with exactly the name bytes, flag and extra field of the table."""
    local, central = bytearray(), bytearray()
    for i, (stored, utf8, extra, _) in enumerate(NAMES):
        data = b"entry %d\n" % i
        flags = 0x800 if utf8 else 0
        fixed = struct.pack("<HHHHHIIIHH", 20, flags, 0, 0x3000, 0x5264, zlib.crc32(data),
                            len(data), len(data), len(stored), len(extra))
        offset = len(local)
        local += b"PK\x03\x04" + fixed + stored + extra + data
        central += (b"PK\x01\x02" + struct.pack("<H", 20) + fixed +
                    struct.pack("<HHHII", 0, 0, 0, 0, offset) + stored + extra)
    end = b"PK\x05\x06" + struct.pack("<HHHHIIH", 0, 0, len(NAMES), len(NAMES), len(central),
                                       len(local), 0)
    with open(path, "wb") as f:
        f.write(bytes(local + central) + end)


class UnicodeNames(ConsoleTestCase):
    def setUp(self):
        self.root = self.make_temp()
        self.archive = os.path.join(self.root, "nomes.zip")
        write_archive(self.archive)

    def test_every_name_is_created_exactly(self):
        dest = os.path.join(self.root, "out")
        os.makedirs(dest)
        self.run_ok(["-EXTRACT", "-DIRECTORIES", self.archive, dest + "/"], 0)
        files = {name for name in tree_listing(dest) if not name.endswith("/")}
        self.assertEqual(files, {on_disk for _, _, _, on_disk in NAMES})
        for i, (_, _, _, on_disk) in enumerate(NAMES):
            self.assertEqual(read(os.path.join(dest, on_disk)), b"entry %d\n" % i, on_disk)

    def test_patterns_and_look_ups_compare_letters_without_case(self):
        dest = os.path.join(self.root, "out")
        os.makedirs(dest)
        # A pattern in upper case selects the Cyrillic and Greek names.
        self.run_ok(["-EXTRACT", self.archive, dest + "/", "\u041f\u0420\u0418\u0412\u0415\u0422.*",
                     "\u0391\u0392\u0393.TXT"], 0)
        self.assertEqual(tree_listing(dest), {"\u041f\u0440\u0438\u0432\u0435\u0442.txt",
                                              "\u03b1\u03b2\u03b3.txt"})
        # Freshen finds an older "ж.txt" for the entry "Ж.txt", as Windows would, and takes that
        # entry alone (Linux then keeps both spellings, as it does for ASCII letters).
        with open(os.path.join(dest, "\u0436.txt"), "wb") as f:
            f.write(b"antigo\n")
        os.utime(os.path.join(dest, "\u0436.txt"), (0, 0))
        self.run_ok(["-EXTRACT=FRESHEN", "-OVERWRITE=ALL", self.archive, dest + "/"], 0)
        self.assertEqual(read(os.path.join(dest, "\u0416.txt")), b"entry 4\n")
        self.assertNotIn("\u0429.txt", tree_listing(dest))


if __name__ == "__main__":
    unittest.main(verbosity=2)
