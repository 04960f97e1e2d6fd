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
import sys
import unittest
import zipfile

import consolelib as lib
from consolelib import CORPUS, ConsoleTestCase, exit_status, read, tree_listing

# Exit codes of vespa-console: 0 clean, 1 warnings, 299 to 304 archive errors (the structure
# cannot be read: 299 read error or no central header where the end record points, 300 too
# small, 301 no end record or fewer central headers than announced, 302 premature end, 303 bad
# local header).
# test: our exit code for -TEST; extract: for -EXTRACT -DIRECTORIES -OVERWRITE (None: never
# extracted); unzip: UnZip's for "unzip -t" on this machine; why: what decides it.
Row = collections.namedtuple("Row", "test extract unzip why")

ROWS = {
    "README.md":
        Row(301, 301, 9, "not a ZIP: no end record"),
    "deflate64-rs/UPSTREAM-README.md":
        Row(301, 301, 9, "not a ZIP: no end record"),
    "deflate64-rs/deflate64.zip":
        Row(0, 0, 0, "Deflate64, extracts to folder/"),
    "deflate64-rs/folder/binary.wmv":
        Row(301, 301, 9, "not a ZIP: no end record"),
    "deflate64-rs/folder/empty.file":
        Row(300, 300, 9, "0 bytes: too small for a ZIP"),
    "deflate64-rs/folder/first.txt":
        Row(301, 301, 9, "not a ZIP: no end record"),
    "deflate64-rs/folder/notempty/second.txt":
        Row(301, 301, 9, "not a ZIP: no end record"),
    "deflate64-rs/issue-13/logo.png":
        Row(301, 301, 9, "not a ZIP: no end record"),
    "deflate64-rs/issue-13/unitwf-1.5.0.minimized.zip":
        Row(299, 299, 12, "directory offset beyond the file: no central header there"),
    "deflate64-rs/issue-25/deflate64_not_enough_space.zip":
        Row(1, 1, 2, "test: decoder error 10; extract: empty name, warning 1"),
    "deflate64-rs/issue-29/raw.zip":
        Row(1, 1, 2, "test: decoder error 10, no hang; extract: name starting with NUL, warning 1"),
    "libarchive/test_read_format_zip_deflate64.zip":
        Row(0, 0, 0, "small Deflate64 entries; symbolic links become plain files"),
    "libarchive/test_read_format_zip_length_at_end.zip":
        Row(0, 0, 0, "data descriptor: local CRC 0 accepted with flag bit 3"),
    "libarchive/test_read_format_zip_malformed1.zip":
        Row(301, 301, 9, "no end record"),
    "libarchive/test_read_format_zip_nested.zip":
        Row(0, 0, 0, "a ZIP inside a ZIP, extracted as a file"),
    "libarchive/test_read_format_zip_sfx":
        Row(299, 299, 1, "offsets relative to the ZIP's start: the program reads them as absolute"),
    "libarchive/test_read_format_zip_size_exceeds_declared_deflate.zip":
        Row(1, 1, 0, "first: output beyond the declared size dropped, CRC warning 4; second reads hello world"),
    "libarchive/test_read_format_zip_size_exceeds_declared_stored.zip":
        Row(1, 1, 1, "first: sizes disagree (warning 5), CRC warning 4"),
    "libarchive/test_read_format_zip_symlink.zip":
        Row(0, 0, 0, "symbolic link stored as a plain file"),
    "libarchive/test_read_format_zip_traditional_encryption_data.zip":
        Row(1, 1, 5, "encrypted, no password: warning 13 for both"),
    "libarchive/test_read_format_zip_uncompressed_size_off_by_4gib.zip":
        Row(1, 1, 1, "needs version 4.5: warning 3"),
    "libarchive/test_read_format_zip_with_invalid_traditional_eocd.zip":
        Row(0, 0, 0, "end record of all ones: the figures of the ZIP64 end record"),
    "libzip/encrypt-1234.zip":
        Row(1, 1, 5, "encrypted, no password: warning 13"),
    "libzip/encrypt-aes128-noentropy.zip":
        Row(1, 1, 81, "AES, needs version 5.1: warning 3"),
    "libzip/encrypt-aes128.zip":
        Row(1, 1, 81, "AES (method 99), encrypted flag: warning 13"),
    "libzip/encrypt-aes192-noentropy.zip":
        Row(1, 1, 81, "AES, needs version 5.1: warning 3"),
    "libzip/encrypt-aes192.zip":
        Row(1, 1, 81, "AES (method 99), encrypted flag: warning 13"),
    "libzip/encrypt-aes256-noentropy.zip":
        Row(1, 1, 81, "AES, needs version 5.1: warning 3"),
    "libzip/encrypt-aes256.zip":
        Row(1, 1, 81, "AES (method 99), encrypted flag: warning 13"),
    "libzip/encrypt-none.zip":
        Row(0, 0, 0, "unencrypted control"),
    "libzip/encrypt-traditional-noentropy-2.zip":
        Row(1, 1, 5, "encrypted, no password: warning 13"),
    "libzip/encrypt-traditional-noentropy.zip":
        Row(1, 1, 5, "encrypted, no password: warning 13"),
    "libzip/encrypt.zip":
        Row(1, 1, 5, "encrypted, no password: warning 13"),
    "libzip/encrypt_plus_extra.zip":
        Row(1, 1, 5, "encrypted, no password: warning 13"),
    "libzip/encrypt_plus_extra_modified_c.zip":
        Row(1, 1, 5, "encrypted, no password: warning 13"),
    "libzip/encrypt_plus_extra_modified_l.zip":
        Row(1, 1, 5, "encrypted, no password: warning 13"),
    "libzip/incons-archive-comment-longer.zip":
        Row(0, 0, 1, "comment length past the end: short comment read, not checked"),
    "libzip/incons-archive-comment-shorter.zip":
        Row(0, 0, 0, "bytes after the comment ignored"),
    "libzip/incons-cdoffset.zip":
        Row(299, 299, 12, "directory offset beyond the file"),
    "libzip/incons-cdsize-large.zip":
        Row(0, 0, 12, "directory size 1 too large: the extra byte is skipped"),
    "libzip/incons-cdsize-small.zip":
        Row(301, 301, 2, "directory size cuts the only header: fewer headers than announced"),
    "libzip/incons-central-compression-method.zip":
        Row(1, 1, 0, "stored data read as Deflate: decoder error 10"),
    "libzip/incons-central-compsize-larger-toolarge.zip":
        Row(1, 1, 0, "stored sizes disagree: warning 5, the byte is right"),
    "libzip/incons-central-compsize-larger.zip":
        Row(1, 1, 0, "stored sizes disagree: warning 5, the byte is right"),
    "libzip/incons-central-compsize-smaller.zip":
        Row(1, 1, 0, "the directory gives 3 of 5 compressed bytes: the data ends inside the block, warning 12"),
    "libzip/incons-central-crc.zip":
        Row(303, 303, 0, "local and central CRC differ without flag bit 3: bad local header"),
    "libzip/incons-central-date.zip":
        Row(0, 0, 0, "dates differ: not compared"),
    "libzip/incons-central-file-comment-longer.zip":
        Row(301, 301, 51, "entry comment runs past the directory: fewer headers than announced"),
    "libzip/incons-central-file-comment-shorter.zip":
        Row(0, 0, 1, "bytes between headers skipped"),
    "libzip/incons-central-file-comment-utf8-ascii.zip":
        Row(0, 0, 0, "comment extra field not read"),
    "libzip/incons-central-magic-bad.zip":
        Row(299, 299, 3, "no central header at the directory offset"),
    "libzip/incons-central-magic-bad2.zip":
        Row(299, 299, 3, "a local header where the directory should be"),
    "libzip/incons-central-size-larger.zip":
        Row(1, 1, 0, "stored sizes disagree: warning 5, the byte is right"),
    "libzip/incons-data.zip":
        Row(1, 1, 2, "CRC mismatch: warning 4"),
    "libzip/incons-ef-central-size-wrong.zip":
        Row(0, 0, 0, "central extra field not walked for this entry"),
    "libzip/incons-ef-local-dupe-utf8comment.zip":
        Row(0, 0, 0, "local extra field not interpreted"),
    "libzip/incons-ef-local-dupe-utf8name.zip":
        Row(0, 0, 1, "local extra field not interpreted"),
    "libzip/incons-ef-local-dupe-zip64-v1.zip":
        Row(0, 0, 12, "version 4.5 for the local ZIP64 extra field: read"),
    "libzip/incons-ef-local-dupe-zip64-v2.zip":
        Row(0, 0, 0, "version 4.5 for the local ZIP64 extra field: read"),
    "libzip/incons-ef-local-id-size.zip":
        Row(0, 0, 2, "local extra field not interpreted"),
    "libzip/incons-ef-local-id.zip":
        Row(0, 0, 0, "local extra field not interpreted"),
    "libzip/incons-ef-local-size.zip":
        Row(1, 1, 2, "local extra length 1 short: data read 1 byte early, CRC warning 4"),
    "libzip/incons-ef-local-utf8name-ascii.zip":
        Row(0, 0, 1, "local extra field not interpreted"),
    "libzip/incons-eocd-magic-bad.zip":
        Row(301, 301, 9, "no end record"),
    "libzip/incons-eocd64-gap.zip":
        Row(0, 0, 0, "end record not saturated: its figures, not the ZIP64 record's; the ZIP64 entry read"),
    "libzip/incons-eocd64.zip":
        Row(0, 0, 3, "end record announces no entries: nothing to do"),
    "libzip/incons-file-count-high.zip":
        Row(301, 301, 3, "fewer headers than announced"),
    "libzip/incons-file-count-low.zip":
        Row(299, 299, 3, "more entries than the end record announces: refused, both counts named"),
    "libzip/incons-file-count-overflow.zip":
        Row(0, 0, 2, "end record not saturated: its figures, not the ZIP64 record's; the ZIP64 entry read"),
    "libzip/incons-filename-nul-byte.zip":
        Row(0, 0, 0, "name cut at the NUL"),
    "libzip/incons-gap-before-cd.zip":
        Row(0, 0, 0, "gap not read"),
    "libzip/incons-gap-before-eocd.zip":
        Row(0, 0, 2, "gap not read"),
    "libzip/incons-gap-before-local.zip":
        Row(0, 0, 0, "gap not read"),
    "libzip/incons-local-compression-method.zip":
        Row(0, 0, 2, "local method not read"),
    "libzip/incons-local-compsize-larger.zip":
        Row(0, 0, 12, "local sizes not read"),
    "libzip/incons-local-compsize-smaller.zip":
        Row(0, 0, 2, "local sizes not read"),
    "libzip/incons-local-crc.zip":
        Row(303, 303, 2, "local and central CRC differ without flag bit 3: bad local header"),
    "libzip/incons-local-filename-long.zip":
        Row(302, 302, 51, "local name length runs past the end: premature end"),
    "libzip/incons-local-filename-missing.zip":
        Row(0, 0, 0, "local name length 0 and no name: consistent"),
    "libzip/incons-local-filename-short.zip":
        Row(1, 1, 2, "local name length 0 over a name: data read early, CRC warning 4"),
    "libzip/incons-local-filename.zip":
        Row(0, 0, 1, "local name not read"),
    "libzip/incons-local-magic-bad.zip":
        Row(303, 303, 2, "bad local signature"),
    "libzip/incons-local-size-larger.zip":
        Row(0, 0, 1, "local sizes not read"),
    "libzip/incons-stored-size.zip":
        Row(1, 1, 1, "stored sizes disagree: warning 5, CRC warning 4"),
    "libzip/incons-streamed-2.zip":
        Row(1, 1, 0, "needs version 4.5 without ZIP64: warning 3"),
    "libzip/incons-streamed.zip":
        Row(1, 1, 0, "needs version 4.5 without ZIP64: warning 3"),
    "libzip/incons-trailing-garbage.zip":
        Row(0, 0, 0, "garbage after the end record ignored"),
    "libzip/incons-zip64-checkcons-overflow.zip":
        Row(302, 302, 0, "ZIP64 sizes of 2^64 - 1, past the end of the file: refused at load"),
    "unzip-p/badcrc.zip":
        Row(1, 1, 2, "CRC mismatch: warning 4"),
    "unzip-p/cases.zip":
        Row(0, 0, 0, "names differing in case only"),
    "unzip-p/encrypted.zip":
        Row(1, 1, 5, "encrypted, no password: warning 13"),
    "unzip-p/iso88591.zip":
        Row(0, 0, 0, "name byte 0xF8 read in the OEM code page"),
    "unzip-p/lore-ipsum-bzip2.zip":
        Row(1, 1, 0, "bzip2 needs version 4.6: warning 3"),
    "unzip-p/lore-ipsum.zip":
        Row(0, 0, 0, "deflated text"),
    "unzip-p/testmake.zip":
        Row(0, 0, 0, "small archive"),
    "unzip-p/truncated.zip":
        Row(301, 301, 9, "no end record"),
    "unzip-p/unicode.zip":
        Row(0, 0, 0, "UTF-8 names (flag bit 11)"),
    "unzip-p/zbsm.zip":
        Row(299, 299, 12, "overlapping entries (5.46 GB if decoded): refused at once, nothing written"),
    "unzip-p/zip64.zip":
        Row(0, 0, 0, "version 4.5 for the local ZIP64 extra fields: read"),
    "unzip-p/zipgrep-echo-bug.zip":
        Row(0, 0, 0, "small archive"),
    "zip-slip/zip-slip-win.zip":
        Row(0, 1, 0, "extract: ..\\ name refused with warning 2, good.txt written"),
    "zip-slip/zip-slip.zip":
        Row(0, 1, 0, "extract: ../ name refused with warning 2, good.txt written"),

}

# Files that are not archives a user could hand to the program.
SKIPPED = {
    "deflate64-rs/issue-23/raw_deflate64_index_out_of_bounds":
        "a raw Deflate64 stream without a ZIP around it: the inflate unit tests decode it",
}

# Runs that decode far more than the archive's size get more time; archives never extracted.
# (zbsm.zip, whose overlapping entries would expand to 5.46 GB, is refused before any entry.)
LONG_RUNS = {}
NEVER_EXTRACT = set()

PASSWORDS = {
    "libarchive/test_read_format_zip_traditional_encryption_data.zip": "12345678",
    "libzip/encrypt.zip": "foo",
    "libzip/encrypt-1234.zip": "1234",
    "unzip-p/encrypted.zip": "squeamish ossifrage",
}


def program_code(status):
    """The program's exit code from a Linux status: archive errors 299 to 304 come back as
    43 to 48."""
    return status + 256 if isinstance(status, int) and 43 <= status <= 48 else status


CORPUS_MISSING = "the corpus of other projects' archives is missing: " + CORPUS


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
            raise unittest.SkipTest(CORPUS_MISSING)

    @classmethod
    def tearDownClass(cls):
        if cls.comparison:
            lines = ["", "| corpus file | vespa-console -TEST | unzip -t | -EXTRACT | note |",
                     "|---|---|---|---|---|"]
            for rel, ours, peer, extract, why in cls.comparison:
                lines.append("| %s | %s | %s | %s | %s |" % (rel, ours, peer, extract, why))
            sys.stdout.write("\n".join(lines) + "\n")

    def extract_into_fresh_destination(self, rel, options=(), check=True):
        """-EXTRACT -DIRECTORIES -OVERWRITE into root/dest/ with root/sentinel/ beside it, run from
        the sentinel directory so that a path taken relative to the working directory shows too.
        Returns the result, the destination and what went wrong outside it (None when nothing);
        with check, asserts that nothing did."""
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
        outside = {n for n in tree_listing(root) if n == "dest/" or not n.startswith("dest/")}
        problem = None
        if outside != before or read(os.path.join(sentinel, "sentinela.txt")) != b"intocado":
            problem = "written outside the destination: %s" % sorted(outside ^ before)
        if check:
            self.assertIsNone(problem, "%s\n%s" % (problem, lib.describe(result)))
        return result, dest, problem

    def test_every_file(self):
        files = corpus_files()
        self.assertTrue(files, "the corpus is empty")
        for rel in files:
            with self.subTest(file=rel):
                if rel in SKIPPED:
                    CorpusTest.comparison.append((rel, "-", "-", "-", "skipped: " + SKIPPED[rel]))
                    continue
                if rel in LONG_RUNS and lib.WRAPPER:
                    CorpusTest.comparison.append((rel, "-", "-", "-", "skipped under a wrapper"))
                    continue
                path = os.path.join(CORPUS, rel)
                row = ROWS.get(rel)
                tested = lib.run_console(["-TEST", path], timeout=LONG_RUNS.get(rel, lib.TIMEOUT))
                fault = lib.fault_of(tested)
                extracted = extract_fault = None
                extract_code = "not run"
                if rel not in NEVER_EXTRACT:
                    extracted, _, outside = self.extract_into_fresh_destination(rel, check=False)
                    extract_fault = lib.fault_of(extracted) or outside
                    extract_code = extract_fault or extracted.code
                peer = lib.unzip_verdict(path)
                if row and row.unzip != peer:
                    peer = "%s (table: %s)" % (peer, row.unzip)
                CorpusTest.comparison.append((rel, fault or program_code(tested.code), peer,
                                              program_code(extract_code),
                                              row.why if row else "NO ROW"))
                self.assertIsNone(fault, "%s\n%s" % (fault, lib.describe(tested)))
                if extracted is not None:
                    self.assertIsNone(extract_fault, "%s\n%s" % (extract_fault,
                                                                 lib.describe(extracted)))
                self.assertIsNotNone(row, "no row for %s: add one (-TEST gave %s)"
                                     % (rel, tested.code))
                self.assertEqual(tested.code, exit_status(row.test), lib.describe(tested))
                if extracted is not None:
                    self.assertEqual(extracted.code, exit_status(row.extract),
                                     lib.describe(extracted))

    # --- What the corpus says the archives hold ---------------------------------------------

    def test_deflate64_archive_gives_the_folder(self):
        folder = os.path.join(CORPUS, "deflate64-rs", "folder")
        if not os.path.isdir(folder):
            self.skipTest("no deflate64-rs/folder in the corpus")
        result, dest, _ = self.extract_into_fresh_destination("deflate64-rs/deflate64.zip")
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
                result, dest, _ = self.extract_into_fresh_destination(
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
                result, dest, _ = self.extract_into_fresh_destination(rel, options)
                self.assertIsNone(lib.fault_of(result), lib.describe(result))
                got = read(os.path.join(dest, name))
                if data is None:
                    self.assertEqual(len(got), 495)
                else:
                    self.assertEqual(got, data)

    def test_wrong_password_passing_the_crc_byte(self):
        # "sample" matches the high byte of the CRC but not of the DOS time, which is the check
        # byte of an entry with a data descriptor: the entry is skipped, nothing is written.
        result, dest, _ = self.extract_into_fresh_destination("libzip/encrypt-1234.zip",
                                                           ["-PASSWORD=sample"])
        self.assertIsNone(lib.fault_of(result), lib.describe(result))
        self.assertEqual(result.code, 1, lib.describe(result))
        self.assertWarning(result, 13, "sample.txt")
        self.assertEqual(tree_listing(dest), set())

    def test_path_traversal_writes_only_good_txt(self):
        for rel in ("zip-slip/zip-slip.zip", "zip-slip/zip-slip-win.zip"):
            with self.subTest(file=rel):
                targets = ["/tmp/evil.txt", "/Temp/evil.txt"]
                existed = {t for t in targets if os.path.exists(t)}
                result, dest, _ = self.extract_into_fresh_destination(rel)
                self.assertIsNone(lib.fault_of(result), lib.describe(result))
                self.assertEqual(tree_listing(dest), {"good.txt"}, lib.describe(result))
                for t in targets:
                    if t not in existed:
                        self.assertFalse(os.path.exists(t), t)
                self.assertWarning(result, 2)


if __name__ == "__main__":
    # The corpus lies beside the project, not in it: a clone without it has nothing to run here.
    if not os.path.isdir(CORPUS):
        print("skipped: " + CORPUS_MISSING)
        sys.exit(lib.SKIP_EXIT_CODE)
    unittest.main(verbosity=2)
