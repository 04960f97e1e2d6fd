#!/usr/bin/env python3
"""Hostile archives and failures of the machine, through vespa-console: what each gets is the
system's own message and exit code, with nothing written where the system says nothing is.

    - entries that share their data (an archive built to expand far beyond its size)
    - a full disk (a small tmpfs mounted by the test, as root)
    - the archive shrinking while the run reads it
    - a destination that is a file, a read-only file to overwrite, a path past 260 characters
"""

import os
import shutil
import struct
import subprocess
import sys
import threading
import unittest
import zipfile

import consolelib as lib
from consolelib import CORPUS, ConsoleTestCase, read, tree_listing


def stored_zip(path, entries):
    """entries: (name, bytes), stored, in order. Returns the local-header offsets."""
    with zipfile.ZipFile(path, "w", zipfile.ZIP_STORED) as z:
        for name, data in entries:
            z.writestr(zipfile.ZipInfo(name, date_time=(2021, 3, 4, 5, 6, 8)), data)
    with zipfile.ZipFile(path) as z:
        return [info.header_offset for info in z.infolist()]


def central_headers(data):
    """Offsets of the central headers of a ZIP image."""
    end = data.rfind(b"PK\x05\x06")
    count, _, start = struct.unpack_from("<HII", data, end + 10)
    offsets, pos = [], start
    for _ in range(count):
        offsets.append(pos)
        nlen, xlen, clen = struct.unpack_from("<HHH", data, pos + 28)
        pos += 46 + nlen + xlen + clen
    return offsets


class OverlapTest(ConsoleTestCase):
    def refused(self, archive):
        for command in ("-TEST", "-EXTRACT"):
            dest = self.make_temp()
            result = self.run_ok([command, "-DIRECTORIES", archive, dest + "/"], 299)
            self.assertIn("sobrepostos", result.stderr, lib.describe(result))
            self.assertEqual(tree_listing(dest), set())
            self.assertNotIn("Testando", result.stdout + result.stderr)

    def test_two_entries_on_one_local_entry(self):
        root = self.make_temp()
        archive = os.path.join(root, "full.zip")
        offsets = stored_zip(archive, [("a.txt", b"A" * 1000), ("b.txt", b"B" * 1000)])
        data = bytearray(read(archive))
        second = central_headers(bytes(data))[1]
        struct.pack_into("<I", data, second + 42, offsets[0])
        with open(archive, "wb") as f:
            f.write(data)
        self.refused(archive)

    def test_corpus_overlap_bomb(self):
        bomb = os.path.join(CORPUS, "unzip-p", "zbsm.zip")
        if not os.path.exists(bomb):
            self.skipTest("the corpus is missing: " + CORPUS)
        self.refused(bomb)


class MachineFailureTest(ConsoleTestCase):
    def test_disk_full_deletes_the_partial_file(self):
        if os.geteuid() != 0 or not shutil.which("mount"):
            self.skipTest("mounting a small tmpfs needs root")
        root = self.make_temp()
        disk = os.path.join(root, "disk")
        os.mkdir(disk)
        if subprocess.call(["mount", "-t", "tmpfs", "-o", "size=64k", "tmpfs", disk],
                           stderr=subprocess.DEVNULL) != 0:
            self.skipTest("tmpfs could not be mounted here")
        self.addCleanup(subprocess.call, ["umount", disk])
        archive = os.path.join(root, "big.zip")
        stored_zip(archive, [("small.txt", b"fits\n"), ("big.bin", os.urandom(300000)),
                             ("after.txt", b"never reached\n")])
        result = self.run_ok(["-EXTRACT", archive, disk + "/"], 11)
        self.assertIn("Disco Cheio, arquivo:  " + disk + "/big.bin", result.stderr,
                      lib.describe(result))
        self.assertEqual(tree_listing(disk), {"small.txt"})

    def run_with_output_pipe(self, archive, dest, first, cut):
        """Extracts archive into dest, where the first entry's file is a named pipe: the run
        waits on it until the test has cut the archive to cut bytes; then its data is read."""
        fifo = os.path.join(dest, first)
        os.mkfifo(fifo)
        got = {}

        def reader():
            with open(fifo, "rb") as f:  # returns once vespa-console opens the pipe
                with open(archive, "r+b") as a:
                    a.truncate(cut)
                got["data"] = f.read()

        thread = threading.Thread(target=reader)
        thread.start()
        # One worker: with more, the entries after the first are read while it waits, before
        # or after the cut as the threads happen to run.
        result = lib.run_console(["-EXTRACT", "-OVERWRITE=ALL", archive, dest + "/"],
                                 env={"VESPA_WORKERS": "1"})
        thread.join(timeout=lib.TIMEOUT)
        return result, got.get("data")

    def test_archive_shrinking_during_the_run(self):
        # More than a pipe holds, so that the run waits while the file shrinks, and more than the
        # archive reader's read-ahead window, so that what follows the first entry is read after
        # the cut.
        first = os.urandom(800000)
        second = os.urandom(50000)
        cases = [
            # cut before the second local header: the archive ended early (153, exit 302)
            ("local header gone", lambda offsets: offsets[1], 302, None),
            # cut inside the second entry's data: its CRC fails (warning 4), the file stays
            ("data cut short", lambda offsets: offsets[1] + 30 + 5 + 1000, 1, 4),
        ]
        for label, cut, code, warning in cases:
            with self.subTest(label):
                root = self.make_temp()
                archive = os.path.join(root, "a.zip")
                offsets = stored_zip(archive, [("first", first), ("secnd", second)])
                dest = os.path.join(root, "dest")
                os.mkdir(dest)
                result, data = self.run_with_output_pipe(archive, dest, "first", cut(offsets))
                self.assertIsNone(lib.fault_of(result), lib.describe(result))
                self.assertEqual(result.code, lib.exit_status(code), lib.describe(result))
                self.assertEqual(data, first)
                if warning:
                    self.assertWarning(result, warning, "secnd")
                else:
                    self.assertIn("Final prematuro do .ZIP", result.stderr, lib.describe(result))
                    self.assertFalse(os.path.exists(os.path.join(dest, "secnd")))

    def test_destinations_that_cannot_take_the_files(self):
        root = self.make_temp()
        archive = os.path.join(root, "t.zip")
        stored_zip(archive, [("a.txt", b"new\n"), ("sub/b.txt", b"b\n")])

        # A destination that is a file: refused once before any entry, named with the reason,
        # the file untouched.
        plain = os.path.join(root, "plain")
        with open(plain, "wb") as f:
            f.write(b"mine")
        result = self.run_ok(["-EXTRACT", "-DIRECTORIES", archive, plain + "/"], 16)
        self.assertIn("Não foi possível criar o diretório:\n" + plain +
                      " (já existe um arquivo com este nome)", result.stderr)
        self.assertNotIn("Não posso criar", result.stderr)
        self.assertEqual(read(plain), b"mine")

        # A read-only file with overwrite always: refused after two attempts (warning 1).
        dest = os.path.join(root, "ro")
        os.mkdir(dest)
        kept = os.path.join(dest, "a.txt")
        with open(kept, "wb") as f:
            f.write(b"old\n")
        os.chmod(kept, 0o444)
        result = self.run_ok(["-EXTRACT", "-OVERWRITE=ALL", archive, dest + "/"], 1)
        self.assertWarning(result, 1, dest + "/a.txt")
        self.assertEqual(read(kept), b"old\n")
        self.assertEqual(read(os.path.join(dest, "b.txt")), b"b\n")

        # A joined path past 259 characters is written whole, as Windows takes it.
        deep = os.path.join(root, "x" * 120, "y" * (250 - len(root) - 122))
        os.makedirs(deep)
        self.run_ok(["-EXTRACT", "-DIRECTORIES", archive, deep + "/"], 0)
        self.assertEqual(tree_listing(deep), {"a.txt", "sub/", "sub/b.txt"})


if __name__ == "__main__":
    unittest.main(verbosity=2)
