#!/usr/bin/env python3
"""Entries that were passed over, or merged into one file, while the run said all went well:
an end record that counts no entries in front of a directory that holds some; names in the DOS
code page that 1252 lacks, which all became '_'; names a Unix archiver wrote in UTF-8 without
saying so; and Deflate data that decodes to another size than the entry declares. Each now ends
with a named refusal, a warning, or every entry in a file of its own under its right name."""

import hashlib
import os
import struct
import unittest
import zlib

import consolelib as lib
from consolelib import ConsoleTestCase, read, tree_listing

CYRILLIC = ["\u0430.txt", "\u0431.txt", "\u0432.txt"]  # а.txt б.txt в.txt
MIXED_SCRIPTS = [
    "\u0395\u03bb\u03bb\u03b7\u03bd\u03b9\u03ba\u03ac.txt",  # Greek
    "\u0440\u0443\u0441\u0441\u043a\u0438\u0439.txt",  # Cyrillic
    "\u05e2\u05d1\u05e8\u05d9\u05ea.txt",  # Hebrew
    "\u0627\u0644\u0639\u0631\u0628\u064a\u0629.txt",  # Arabic
    "\u65e5\u672c\u8a9e/\u30d5\u30a1\u30a4\u30eb.txt",  # Japanese, in a folder
    "\u4e2d\u6587.txt",  # Chinese
    "\ud55c\uad6d\uc5b4.txt",  # Korean
    "\u0939\u093f\u0928\u094d\u0926\u0940.txt",  # Devanagari
    "\u0e44\u0e17\u0e22.txt",  # Thai
    "a\u00e7\u00facar e \u00f1and\u00fa.txt",  # Latin-1
    "\u20acuro \u2030.txt",  # 1252 beyond Latin-1
    "emoji \U0001F600.txt",  # beyond the BMP
    "simples.txt",
]


def payload(name, size=24000):
    """Bytes of the entry, telling which entry they are; past 16 KiB they hardly compress, so
    that the entry goes to a worker."""
    head = ("conte\u00fado de %s\n" % name).encode()
    blocks = [hashlib.sha256(head + b"%d" % i).digest() for i in range(size // 32 + 1)]
    return (head + b"".join(blocks))[:size]


def crafted_zip(path, entries, made_by=0x0014):
    """A ZIP with exactly the name bytes given, no flag and no extra field. entries: (name
    bytes, data). Stored."""
    local, central = bytearray(), bytearray()
    for stored, data in entries:
        fixed = struct.pack("<HHHHHIIIH", 20, 0, 0, 0x3000, 0x5264, zlib.crc32(data), len(data),
                            len(data), len(stored))
        offset = len(local)
        local += b"PK\x03\x04" + fixed + b"\x00\x00" + stored + data
        central += (b"PK\x01\x02" + struct.pack("<H", made_by) + fixed +
                    struct.pack("<HHHHII", 0, 0, 0, 0, 0, offset) + stored)
    end = b"PK\x05\x06" + struct.pack("<HHHHIIH", 0, 0, len(entries), len(entries), len(central),
                                       len(local), 0)
    with open(path, "wb") as f:
        f.write(bytes(local + central) + end)


def patched(path, at, fmt, *values):
    with open(path, "r+b") as f:
        f.seek(at)
        f.write(struct.pack(fmt, *values))


def end_record_offset(path):
    return read(path).rindex(b"PK\x05\x06")


def central_headers(path):
    """(offset, made-by, flags, extra field) of each central header, in directory order."""
    data = read(path)
    end = data.rindex(b"PK\x05\x06")
    count, _, start = struct.unpack_from("<HII", data, end + 10)
    headers = []
    for _ in range(count):
        made_by, _, flags = struct.unpack_from("<HHH", data, start + 4)
        name, extra, comment = struct.unpack_from("<HHH", data, start + 28)
        headers.append((start, made_by, flags, data[start + 46 + name:start + 46 + name + extra]))
        start += 46 + name + extra + comment
    return headers


def extra_tags(extra):
    tags, i = [], 0
    while i + 4 <= len(extra):
        tag, size = struct.unpack_from("<HH", extra, i)
        tags.append(tag)
        i += 4 + size
    return tags


class SilentLosses(ConsoleTestCase):
    def setUp(self):
        self.root = self.make_temp()

    def extract(self, archive, expect_code, *patterns):
        dest = self.make_temp("vespa-e2e-out-")
        result = lib.run_console(["-EXTRACT", "-DIRECTORIES", "-OVERWRITE=ALL", archive, dest + "/"] +
                                 list(patterns))
        self.assertIsNone(lib.fault_of(result), lib.describe(result))
        self.assertEqual(result.code, expect_code, lib.describe(result))
        return dest, result

    def test_an_end_record_counting_fewer_entries_than_the_directory_holds_is_refused(self):
        archive = os.path.join(self.root, "tres.zip")
        lib.python_zip(archive, [("a.txt", b"a\n"), ("b.txt", b"b\n"), ("c.txt", b"c\n")])
        end = end_record_offset(archive)
        for count in (0, 1, 2):
            with self.subTest(count=count):
                patched(archive, end + 8, "<HH", count, count)
                detail = "o diretório central tem 3 entradas e o registro final anuncia %d" % count
                for words in (["-TEST"], ["-EXTRACT", "-OVERWRITE=ALL"]):
                    dest = self.make_temp("vespa-e2e-out-")
                    result = lib.run_console(words + [archive, dest + "/"])
                    self.assertEqual(result.code, lib.exit_status(299), lib.describe(result))
                    self.assertIn(lib.ARCHIVE_ERROR_TEXTS[150].rstrip(), result.stderr)
                    self.assertIn(detail, result.stderr, lib.describe(result))
                    self.assertEqual(tree_listing(dest), set(), lib.describe(result))
        # A true empty archive is no fault.
        empty = os.path.join(self.root, "vazio.zip")
        lib.python_zip(empty, [])
        for words in (["-TEST"], ["-EXTRACT"]):
            result = lib.run_console(words + [empty, self.root + "/"])
            self.assertEqual(result.code, 0, lib.describe(result))

    def test_every_dos_code_page_byte_is_a_character_of_its_own(self):
        archive = os.path.join(self.root, "dos.zip")
        crafted_zip(archive, [(b"nome" + bytes([b]) + b".txt", b"%02X\n" % b)
                              for b in range(0x80, 0x100)])
        expected = {"nome" + bytes([b]).decode("cp437") + ".txt": b"%02X\n" % b
                    for b in range(0x80, 0x100)}
        self.assertEqual(len(expected), 128)
        dest, _ = self.extract(archive, 0)
        self.assertEqual(tree_listing(dest), set(expected))
        for name, data in expected.items():
            self.assertEqual(read(os.path.join(dest, name)), data, name)
        # '?' stands for one character, whatever its code page.
        dest, _ = self.extract(archive, 0, "NOME?.TXT")
        self.assertEqual(len(tree_listing(dest)), 128)

    def test_unix_names_in_utf8_are_read_as_utf8_and_no_others(self):
        names = CYRILLIC + MIXED_SCRIPTS
        cases = [
            # (made-by, stored bytes of each name, name on disk)
            (0x031E, [n.encode() for n in names], names),
            # Other hosts keep the OEM code page, byte by byte.
            (0x0014, [n.encode() for n in names], [n.encode().decode("cp437") for n in names]),
            (0x0A14, [n.encode() for n in names], [n.encode().decode("cp437") for n in names]),
            # From Unix, but not UTF-8: the OEM code page.
            (0x031E, [b"caixa\xb0.txt", b"caixa\xb1.txt"], ["caixa\u2591.txt", "caixa\u2592.txt"]),
        ]
        for made_by, stored, on_disk in cases:
            with self.subTest(made_by=hex(made_by), first=on_disk[0]):
                archive = os.path.join(self.root, "nomes-%04x.zip" % made_by)
                crafted_zip(archive, [(s, payload(d, 100)) for s, d in zip(stored, on_disk)], made_by)
                dest, _ = self.extract(archive, 0)
                files = {n for n in tree_listing(dest) if not n.endswith("/")}
                self.assertEqual(files, set(on_disk))
                for name in on_disk:
                    self.assertEqual(read(os.path.join(dest, name)), payload(name, 100), name)

    def test_an_archive_of_the_zip_tool_under_a_utf8_locale(self):
        if lib.have_tools("zip"):
            self.skipTest("Info-ZIP zip is missing")
        source = os.path.join(self.root, "fonte")
        names = CYRILLIC + MIXED_SCRIPTS
        lib.write_tree(source, {name: payload(name) for name in names})
        archive = os.path.join(self.root, "zip-utf8.zip")
        lib.tool(["zip", "-q", "-r", archive, "."], cwd=source)  # LC_ALL=C.UTF-8 (consolelib)
        # What makes the case: made on Unix, names in UTF-8, neither flag nor Unicode path field.
        headers = central_headers(archive)
        self.assertEqual(len(headers), len(names) + 1)  # and the folder
        for _, made_by, flags, extra in headers:
            self.assertEqual(made_by >> 8, 3)
            self.assertFalse(flags & 0x800)
            self.assertNotIn(0x7075, extra_tags(extra))

        dest, result = self.extract(archive, 0)
        self.assertEqual({n for n in tree_listing(dest) if not n.endswith("/")}, set(names),
                         lib.describe(result))
        for name in names:
            self.assertEqual(read(os.path.join(dest, name)), payload(name), name)

        # One worker and many: the same lines, the same files.
        outcomes = []
        for workers in ("1", "4"):
            run_in = os.path.join(self.make_temp("vespa-e2e-workers-"), "run")
            os.makedirs(os.path.join(run_in, "out"))
            result = lib.run_console(["-EXTRACT", "-DIRECTORIES", archive, "out/"], cwd=run_in,
                                     env={"VESPA_WORKERS": workers})
            self.assertEqual(result.code, 0, lib.describe(result))
            out = os.path.join(run_in, "out")
            outcomes.append((result.stdout, result.stderr,
                             {n: read(os.path.join(out, n)) for n in tree_listing(out)
                              if not n.endswith("/")}))
        self.assertEqual(outcomes[0], outcomes[1])
        self.assertEqual(set(outcomes[0][2]), set(names))

    def test_deflate_data_of_another_size_than_declared_is_warned_about(self):
        data = payload("d.txt", 5000)
        for declared in (len(data) + 1, 0xFFFFFFFF, len(data) - 1):
            with self.subTest(declared=declared):
                archive = os.path.join(self.root, "tamanho.zip")
                lib.python_zip(archive, [("d.txt", data), ("e.txt", b"certo\n" * 50)])
                offset = central_headers(archive)[0][0]
                patched(archive, offset + 24, "<I", declared)
                dest = self.make_temp("vespa-e2e-out-")
                result = lib.run_console(["-TEST", archive, dest + "/"])
                self.assertEqual(result.code, 1, lib.describe(result))
                self.assertWarning(result, 5, "d.txt")
                self.assertEqual(len(lib.warnings(result)), 1 if declared > len(data) else 2,
                                 lib.describe(result))


if __name__ == "__main__":
    unittest.main(verbosity=2)
