"""vespa-console on the external archives of the shared corpus (other projects' test data).

Every file of $VESPA_CORPUS goes through -TEST and -EXTRACT -DIRECTORIES -OVERWRITE into a fresh
destination: the process must end by itself (no signal, no memory-checker report, no hang),
with the exit code of its row in the table below, and write nothing outside the destination.
Where the corpus says what an archive holds, the extracted files are compared with it.

The table also keeps Info-ZIP UnZip 6.0's exit code for "unzip -t" (0 good, 1 warning, 2 format
error, 5 password problem, 9 not found or no directory, 12 zip bomb refused, 51 and 81 for names
and methods it cannot handle) as a peer's verdict to compare with, not as a rule. The test prints
the comparison, with unzip run live, to standard output.

The corpus is read where it lies; nothing of it is copied into the project.
"""

import collections
import os
import shutil
import sys
import tempfile
import unittest
import zipfile

import consolelib as lib
from consolelib import CORPUS, ConsoleTestCase, exit_status, read, tree_listing

# Exit codes of vespa-console: 0 clean, 1 warnings, 299 to 304 archive errors (the structure
# cannot be read: 299 read error or no central header where the end record points, 300 too
# small, 301 no end record or fewer central headers than announced, 302 premature end, 303 bad
# local header).
Row = collections.namedtuple("Row", "test extract unzip why")

ROWS = {
}

# Files that are not archives a user could hand to the program.
SKIPPED = {
    "deflate64-rs/issue-23/raw_deflate64_index_out_of_bounds":
        "a raw Deflate64 stream without a ZIP around it: the inflate unit tests decode it",
}

# Runs that decode far more than the archive's size; they get more time. zbsm.zip's overlapping
# entries expand to 5.46 GB: tested, never extracted.
LONG_RUNS = {"unzip-p/zbsm.zip": 1800}
NEVER_EXTRACT = {"unzip-p/zbsm.zip"}

PASSWORDS = {
    "libarchive/test_read_format_zip_traditional_encryption_data.zip": "12345678",
    "libzip/encrypt.zip": "foo",
    "libzip/encrypt-1234.zip": "1234",
    "unzip-p/encrypted.zip": "squeamish ossifrage",
}


def corpus_files():
    found = []
    for dirpath, _, filenames in os.walk(CORPUS):
        for f in filenames:
            found.append(os.path.relpath(os.path.join(dirpath, f), CORPUS).replace(os.sep, "/"))
    return sorted(found)


class CorpusTest(ConsoleTestCase):
    comparison = []

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        if not os.path.isdir(CORPUS):
            raise unittest.SkipTest("no corpus at " + CORPUS)

    @classmethod
    def tearDownClass(cls):
        if cls.comparison:
            lines = ["", "| corpus file | vespa-console -TEST | unzip -t | -EXTRACT | note |",
                     "|---|---|---|---|---|"]
            for rel, ours, peer, extract, why in cls.comparison:
                lines.append("| %s | %s | %s | %s | %s |" % (rel, ours, peer, extract, why))
            sys.stdout.write("\n".join(lines) + "\n")

    def extract_into_fresh_destination(self, rel, options=()):
        """-EXTRACT -DIRECTORIES -OVERWRITE into root/dest/ with root/sentinel/ beside it, run from
        the sentinel directory so that a path taken relative to the working directory shows too.
        Returns the result and the destination."""
        root = self.make_temp("vespa-corpus-")
        dest = os.path.join(root, "dest")
        sentinel = os.path.join(root, "sentinel")
        os.mkdir(dest)
        os.mkdir(sentinel)
        with open(os.path.join(sentinel, "sentinela.txt"), "wb") as f:
            f.write(b"intocado")
        before = tree_listing(root)
        result = lib.run_console(["-EXTRACT", "-DIRECTORIES", "-OVERWRITE"] + list(options)
                                 + [os.path.join(CORPUS, rel), dest + "/"],
                                 cwd=sentinel, timeout=LONG_RUNS.get(rel, lib.TIMEOUT))
        outside = {n for n in tree_listing(root) if not n.startswith("dest/")}
        self.assertEqual(outside, before, "written outside the destination\n"
                         + lib.describe(result))
        self.assertEqual(read(os.path.join(sentinel, "sentinela.txt")), b"intocado")
        return result, dest

    def test_every_file(self):
        files = corpus_files()
        self.assertTrue(files, "the corpus is empty")
        for rel in files:
            with self.subTest(file=rel):
                if rel in SKIPPED:
                    CorpusTest.comparison.append((rel, "-", "-", "-", "skipped: " + SKIPPED[rel]))
                    continue
                path = os.path.join(CORPUS, rel)
                row = ROWS.get(rel)
                tested = lib.run_console(["-TEST", path], timeout=LONG_RUNS.get(rel, lib.TIMEOUT))
                peer = lib.unzip_verdict(path)
                fault = lib.fault_of(tested)
                extract_code = "not run"
                if rel not in NEVER_EXTRACT:
                    extracted, _ = self.extract_into_fresh_destination(rel)
                    extract_fault = lib.fault_of(extracted)
                    extract_code = extract_fault or extracted.code
                CorpusTest.comparison.append((rel, fault or tested.code, peer, extract_code,
                                              row.why if row else "NO ROW"))
                self.assertIsNone(fault, "%s\n%s" % (fault, lib.describe(tested)))
                self.assertIsNotNone(row, "no row for %s: add one (-TEST gave %s)"
                                     % (rel, tested.code))
                self.assertEqual(tested.code, exit_status(row.test), lib.describe(tested))
                if rel not in NEVER_EXTRACT:
                    self.assertIsNone(extract_fault, "%s\n%s" % (extract_fault,
                                                                lib.describe(extracted)))
                    self.assertEqual(extracted.code, exit_status(row.extract),
                                     lib.describe(extracted))

    # --- What the corpus says the archives hold ---------------------------------------------

    def test_deflate64_archive_gives_the_folder(self):
        folder = os.path.join(CORPUS, "deflate64-rs", "folder")
        if not os.path.isdir(folder):
            self.skipTest("no deflate64-rs/folder in the corpus")
        result, dest = self.extract_into_fresh_destination("deflate64-rs/deflate64.zip")
        self.assertEqual(result.code, 0, lib.describe(result))
        self.assertEqual(tree_listing(dest), tree_listing(folder))
        for name in tree_listing(folder):
            if not name.endswith("/"):
                self.assertEqual(read(os.path.join(dest, name)),
                                 read(os.path.join(folder, name)), name)

    def test_encrypted_archives_with_their_passwords(self):
        # The expected bytes come from Python's zipfile, which decrypts the same cipher.
        for rel, password in PASSWORDS.items():
            with self.subTest(file=rel):
                result, dest = self.extract_into_fresh_destination(
                    rel, ["-PASSWORD=" + password])
                self.assertIsNone(lib.fault_of(result), lib.describe(result))
                self.assertEqual(result.code, 0, lib.describe(result))
                with zipfile.ZipFile(os.path.join(CORPUS, rel)) as z:
                    for info in z.infolist():
                        want = z.read(info, pwd=password.encode())
                        self.assertEqual(read(os.path.join(dest, info.filename)), want,
                                         info.filename)

    def test_known_contents(self):
        # file, password, extracted name, its bytes
        cases = [
            ("unzip-p/encrypted.zip", "squeamish ossifrage", "hello.txt", b"Hello, world!\n"),
            ("libarchive/test_read_format_zip_size_exceeds_declared_stored.zip", None,
             "second", b"hello world"),
            ("libarchive/test_read_format_zip_size_exceeds_declared_deflate.zip", None,
             "second", b"hello world"),
            ("libarchive/test_read_format_zip_traditional_encryption_data.zip", "12345678",
             "foo.txt", None),
        ]
        for rel, password, name, data in cases:
            with self.subTest(file=rel):
                options = ["-PASSWORD=" + password] if password else []
                result, dest = self.extract_into_fresh_destination(rel, options)
                self.assertIsNone(lib.fault_of(result), lib.describe(result))
                got = read(os.path.join(dest, name))
                if data is None:
                    self.assertEqual(len(got), 495)
                else:
                    self.assertEqual(got, data)

    def test_wrong_password_passing_the_crc_byte(self):
        # "sample" matches the high byte of the CRC but not of the DOS time, which is the check
        # byte of an entry with a data descriptor: the entry is skipped, nothing is written.
        result, dest = self.extract_into_fresh_destination("libzip/encrypt-1234.zip",
                                                           ["-PASSWORD=sample"])
        self.assertIsNone(lib.fault_of(result), lib.describe(result))
        self.assertEqual(result.code, 1, lib.describe(result))
        self.assertWarning(result, 13, "")
        self.assertEqual(tree_listing(dest), set())

    def test_path_traversal_writes_only_good_txt(self):
        for rel in ("zip-slip/zip-slip.zip", "zip-slip/zip-slip-win.zip"):
            with self.subTest(file=rel):
                targets = ["/tmp/evil.txt", "/Temp/evil.txt"]
                existed = {t for t in targets if os.path.exists(t)}
                result, dest = self.extract_into_fresh_destination(rel)
                self.assertIsNone(lib.fault_of(result), lib.describe(result))
                self.assertEqual(tree_listing(dest), {"good.txt"}, lib.describe(result))
                for t in targets:
                    if t not in existed:
                        self.assertFalse(os.path.exists(t), t)
                self.assertWarning(result, 2)


if __name__ == "__main__":
    unittest.main(verbosity=2)
