"""vespa-console on archives made at test time by Info-ZIP zip, 7-Zip and Python's zipfile.

For every archive of the table: -TEST ends cleanly with the same verdict as Info-ZIP's unzip -t;
-EXTRACT -DIRECTORIES reproduces every byte and the modification time of the files put in (DOS
times to their 2-second resolution in local time, NTFS times to the 100 ns); encrypted entries
are skipped with warning 13 without a password, and with a wrong one, and decrypt with the right
one. Then, on one archive: the overwrite modes, FRESHEN and UPDATE against files on disk, name
patterns and EXCLUDE, extraction without DIRECTORIES, CONSOLE; and an archive whose names try to
leave the destination.
"""

import os
import random
import shutil
import struct
import tempfile
import unittest
import zipfile

import consolelib as lib
from consolelib import ConsoleTestCase, compare_files, local_epoch, read, tree_listing

PASSWORD = "s3nha-Secreta"

def far_match_data(size=1500000):
    """New bytes, a short copy from 8 to 40 bytes back, then a copy from 65513 to 65536 bytes back:
    a Deflate64 encoder makes far matches that read just ahead of the decoder's write position,
    right after near matches."""
    rng = random.Random(25)
    out = bytearray(rng.randbytes(65536))

    def copy(distance, length):
        for _ in range(length):
            out.append(out[-distance])

    while len(out) < size:
        out += rng.randbytes(rng.randint(1, 12))
        copy(rng.randint(8, 40), rng.randint(3, 12))
        copy(rng.choice((65536, 65535, 65530, 65520, 65513)), rng.randint(4, 33))
    return bytes(out)


# The files put into every archive; directories end in '/'.
RANDOM_BLOCK = os.urandom(50000)
FILES = {
    "leia-me.txt": b"Bem-vindo ao programa de instala\xe7\xe3o!\r\n" * 3,
    "dados.bin": os.urandom(150000),  # incompressible: stored even by deflaters
    # Matches 50000 bytes back: only Deflate64 reaches that far; two 64 KB windows of output.
    "repetido.bin": RANDOM_BLOCK * 3,
    "longe.dat": far_match_data(),
    "docs/": None,
    "docs/manual.txt": b"".join(b"linha %d do manual de uso\r\n" % i for i in range(4000)),
    "docs/sub/": None,
    "docs/sub/fundo.txt": b"no fundo da arvore\n",
    "notas.v2.txt": b"duas partes antes da extensao\n",
    "vazio.txt": b"",
}
FILE_NAMES = sorted(n for n, d in FILES.items() if d is not None)
ALL_NAMES = set(FILES)
UTF8_NAME = "relatório.doc"


def file_times(fractional):
    """Distinct modification times, local time; even seconds for DOS date-times, or with a
    fraction of a second for NTFS times."""
    times = {}
    for i, name in enumerate(sorted(FILES)):
        seconds = local_epoch(2019, 7, 14, 10, 20, 30) + i * 86400 + 2 * i
        times[name] = (seconds, 123456700 + i * 100) if fractional else seconds
    return times


def make_source(root, fractional=False, extra=None):
    files = dict(FILES)
    files.update(extra or {})
    lib.write_tree(root, {n: (b"" if d is None else d) for n, d in files.items()},
                   file_times(fractional))


def python_zip_of(archive, source, comment_each=True):
    """Python's zipfile over the source tree: entry comments, an archive comment, a directory
    entry, an empty file and a UTF-8 name (flag bit 11)."""
    with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED) as z:
        for name in sorted(tree_listing(source)):
            info = zipfile.ZipInfo.from_file(os.path.join(source, name), name.rstrip("/"))
            if comment_each:
                info.comment = ("comentário de %s" % name).encode("utf-8")
            if name.endswith("/"):
                z.writestr(info, b"")
            else:
                info.compress_type = zipfile.ZIP_DEFLATED
                z.writestr(info, read(os.path.join(source, name)))
        z.comment = b"Arquivo feito pelo zipfile do Python. " * 3


def filetime(ns):
    """A Windows file time (100 ns units since 1601) of ns since the epoch."""
    return ns // 100 + 116444736000000000


def python_zip_ntfs_of(archive, source):
    """Python's zipfile with an NTFS times field (0x000A) as the first extra field of each local
    header: last write, last access 0 (not kept), creation."""
    with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED) as z:
        for name in sorted(tree_listing(source)):
            path = os.path.join(source, name)
            info = zipfile.ZipInfo.from_file(path, name.rstrip("/"))
            mtime = os.stat(path).st_mtime_ns
            info.extra = struct.pack("<HHIHHQQQ", 0x000A, 32, 0, 1, 24, filetime(mtime), 0,
                                     filetime(mtime - 10**9 * 86400))
            z.writestr(info, b"" if name.endswith("/") else read(path))


# name, how to make it (archive path, source root), password, modification times expected:
# "dos" those of the entries' DOS date-times, "ntfs" those of the source files to the 100 ns.
# Source files of the ntfs rows have times with fractions of a second.
ARCHIVES = [
    ("zip-stored", lambda a, s: lib.info_zip(a, s, ["."], ["-r", "-0"]), None, "dos"),
    ("zip-deflate", lambda a, s: lib.info_zip(a, s, ["."], ["-r", "-9"]), None, "dos"),
    ("zip-encrypted", lambda a, s: lib.info_zip(a, s, ["."], ["-r", "-P", PASSWORD]),
     PASSWORD, "dos"),
    ("7z-deflate64", lambda a, s: lib.seven_zip(a, s, ["."], ["-mm=Deflate64", "-mx=9"]),
     None, "dos"),
    # 7-Zip keeps the NTFS times in the central directory only; the program takes them from
    # the local header, so the DOS date-times apply.
    ("7z-ntfs-times", lambda a, s: lib.seven_zip(a, s, ["."], ["-mtc=on"]), None, "dos"),
    ("7z-zipcrypto", lambda a, s: lib.seven_zip(a, s, ["."], ["-mem=ZipCrypto",
                                                             "-p" + PASSWORD]),
     PASSWORD, "dos"),
    ("python-zipfile", python_zip_of, None, "dos"),
    ("python-ntfs-times", python_zip_ntfs_of, None, "ntfs"),
]


def expected_names(kind):
    names = set(ALL_NAMES)
    if kind == "python-zipfile":
        names.add(UTF8_NAME)
    return names


class PeerArchivesTest(ConsoleTestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        missing = lib.have_tools("zip", "unzip", "7z")
        if missing:
            raise unittest.SkipTest("peer tools missing: " + ", ".join(missing))
        cls.root = tempfile.mkdtemp(prefix="vespa-peer-")
        cls.archives = {}
        cls.sources = {}
        for name, make, password, times in ARCHIVES:
            source = os.path.join(cls.root, "src-" + name)
            extra = {UTF8_NAME: b"relat\xf3rio em Latin-1\r\n"} if name == "python-zipfile" else None
            make_source(source, fractional=("ntfs" in name), extra=extra)
            if extra:
                lib.set_mtime(os.path.join(source, UTF8_NAME), local_epoch(2021, 1, 2, 3, 4, 6))
                # Writing the new file moved its directory's time; the root is not archived.
            archive = os.path.join(cls.root, name + ".zip")
            make(archive, source)
            cls.archives[name] = archive
            cls.sources[name] = source

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.root, True)

    def encrypted_entries(self, archive):
        with zipfile.ZipFile(archive) as z:
            return sorted(i.filename for i in z.infolist() if i.flag_bits & 1)

    # --- every archive -------------------------------------------------------------------

    def test_verdict_matches_unzip(self):
        for name, _, password, _ in ARCHIVES:
            with self.subTest(archive=name):
                archive = self.archives[name]
                args = ["-TEST"] + (["-PASSWORD=" + password] if password else []) + [archive]
                result = self.run_ok(args, 0)
                self.assertEqual(lib.unzip_verdict(archive, password), 0)
                # Every entry, directories included, ends its line with OK.
                with zipfile.ZipFile(archive) as z:
                    self.assertEqual(result.stdout.count("  OK"), len(z.infolist()),
                                     lib.describe(result))

    def test_extract_reproduces_files_and_times(self):
        for name, _, password, times in ARCHIVES:
            with self.subTest(archive=name):
                dest = self.make_temp()
                args = ["-EXTRACT", "-DIRECTORIES"]
                args += ["-PASSWORD=" + password] if password else []
                self.run_ok(args + [self.archives[name], dest + "/"], 0)
                self.assertEqual(tree_listing(dest), expected_names(name))
                files = [n for n in expected_names(name) if not n.endswith("/")]
                if times == "dos":
                    mtimes = lib.dos_mtimes_ns(self.archives[name])
                else:
                    mtimes = {n: os.stat(os.path.join(self.sources[name], n)).st_mtime_ns
                              for n in files}
                compare_files(self, self.sources[name], dest, files, mtimes)

    def test_ntfs_times_leave_unstored_times_alone(self):
        # A zero last-access time in the NTFS field (7-Zip writes one when it does not keep the
        # time) means "not stored", as a zero file time leaves a time unchanged on Windows: it
        # must not turn into 1601 on disk.
        dest = self.make_temp()
        self.run_ok(["-EXTRACT", "-DIRECTORIES", self.archives["python-ntfs-times"], dest + "/"],
                    0)
        for name in FILE_NAMES:
            self.assertGreater(os.stat(os.path.join(dest, name)).st_atime,
                               local_epoch(1980, 1, 2), name)

    def test_encrypted_without_password_is_skipped(self):
        for name, _, password, _ in ARCHIVES:
            if not password:
                continue
            with self.subTest(archive=name):
                archive = self.archives[name]
                encrypted = self.encrypted_entries(archive)
                self.assertTrue(encrypted)
                for command in ("-TEST", "-EXTRACT"):
                    dest = self.make_temp()
                    result = self.run_ok([command, "-DIRECTORIES", archive, dest + "/"], 1)
                    for entry in encrypted:
                        self.assertWarning(result, 13, entry)
                    self.assertEqual(len(lib.warnings(result)), len(encrypted),
                                     lib.describe(result))
                    written = {n for n in tree_listing(dest) if not n.endswith("/")}
                    self.assertEqual(written & set(encrypted), set())

    def test_wrong_password_is_skipped(self):
        for name, _, password, _ in ARCHIVES:
            if not password:
                continue
            with self.subTest(archive=name):
                archive = self.archives[name]
                wrong = self.password_failing_check(archive)
                encrypted = self.encrypted_entries(archive)
                dest = self.make_temp()
                result = self.run_ok(["-EXTRACT", "-DIRECTORIES", "-PASSWORD=" + wrong, archive,
                                      dest + "/"], 1)
                # Without a terminal the password question is answered "skip"; each warning
                # names its entry.
                for entry in encrypted:
                    self.assertWarning(result, 13, entry)
                self.assertIn("(sem terminal:", result.stderr)
                written = {n for n in tree_listing(dest) if not n.endswith("/")}
                self.assertEqual(written & set(encrypted), set())

    def password_failing_check(self, archive):
        """A wrong password whose check byte fails for every encrypted entry (a wrong password
        passes the one-byte check once in 256 times, and then fails later, differently)."""
        with zipfile.ZipFile(archive) as z:
            entries = [i for i in z.infolist() if i.flag_bits & 1]
            for n in range(1000):
                candidate = "errada%d" % n
                rejected = 0
                for info in entries:
                    try:
                        z.open(info, pwd=candidate.encode()).close()
                    except RuntimeError:
                        rejected += 1
                if rejected == len(entries):
                    return candidate
        self.fail("no wrong password found")

    def test_piped_input(self):
        # Info-ZIP writing to a pipe puts CRC and sizes in a data descriptor after the data
        # (flag bit 3); encrypted, the check byte then comes from the DOS time. Writing to a file,
        # it marks a piped entry as needing version 4.5 for the ZIP64 extra field of its local
        # header alone, which the program reads.
        data = FILES["docs/manual.txt"]
        # zip options, written to a pipe, password, flag bits, warning 3 expected
        cases = [
            (["-fz-"], True, None, 8, False),
            (["-fz-", "-P", PASSWORD], True, PASSWORD, 9, False),
            ([], False, None, 0, False),
        ]
        for options, streamed, password, flags, refused in cases:
            with self.subTest(options=options, streamed=streamed):
                work = self.make_temp()
                archive = os.path.join(work, "pipe.zip")
                lib.info_zip_piped(archive, data, options, streamed)
                with zipfile.ZipFile(archive) as z:
                    self.assertEqual(z.infolist()[0].flag_bits & 9, flags)
                self.assertEqual(lib.unzip_verdict(archive, password), 0)
                pw = ["-PASSWORD=" + password] if password else []
                dest = os.path.join(work, "out")
                os.mkdir(dest)
                for command in ("-TEST", "-EXTRACT"):
                    result = self.run_ok([command] + pw + [archive, dest + "/"],
                                         1 if refused else 0)
                if refused:
                    self.assertWarning(result, 3, "4.5 para extrair: -")
                    self.assertFalse(os.path.exists(os.path.join(dest, "-")))
                else:
                    self.assertEqual(read(os.path.join(dest, "-")), data)

    def test_utf8_name_is_shown_and_written_in_utf8(self):
        dest = self.make_temp()
        result = self.run_ok(["-EXTRACT", "-DIRECTORIES", self.archives["python-zipfile"],
                              dest + "/"], 0)
        self.assertIn(UTF8_NAME, result.stdout)
        self.assertEqual(read(os.path.join(dest, UTF8_NAME)), b"relat\xf3rio em Latin-1\r\n")

    def test_many_entries_and_long_comment(self):
        # 3000 entries make a central directory of about 200 KB, read in several pieces; a
        # 5000-byte archive comment puts the end record outside the last 1024 bytes.
        work = self.make_temp()
        entries = [("muitos/arquivo-numero-%04d.txt" % i, b"conteudo %d\n" % i * (i % 7))
                   for i in range(3000)]
        archive = os.path.join(work, "many.zip")
        lib.python_zip(archive, entries, comment=b"C" * 5000)
        result = self.run_ok(["-TEST", archive], 0)
        self.assertEqual(result.stdout.count("  OK"), 3000)
        self.assertEqual(lib.unzip_verdict(archive), 0)
        dest = os.path.join(work, "out")
        os.mkdir(dest)
        self.run_ok(["-EXTRACT", "-DIRECTORIES", archive, dest + "/"], 0)
        for name, data in entries:
            self.assertEqual(read(os.path.join(dest, name)), data, name)

    # --- one archive, the options of a run ----------------------------------------------

    def fresh_dest(self, existing=None, mtimes=None):
        dest = self.make_temp()
        lib.write_tree(dest, existing or {}, mtimes)
        return dest

    def test_overwrite_modes(self):
        archive = self.archives["zip-deflate"]
        new = FILES["leia-me.txt"]
        # option words, file replaced, "Pulando:" shown, note about the missing terminal
        cases = [
            (["-OVERWRITE=NEVER"], False, True, False),
            (["-OVERWRITE"], True, False, False),
            (["-OVERWRITE=ALL"], True, False, False),
            ([], False, True, True),  # ask, and nobody can answer: no
            (["-OVERWRITE=PROMPT"], False, True, True),
        ]
        for options, replaced, skipping, note in cases:
            with self.subTest(options=options):
                dest = self.fresh_dest({"leia-me.txt": b"antigo"})
                result = self.run_ok(["-EXTRACT", "-DIRECTORIES"] + options
                                     + [archive, dest + "/"], 0)
                self.assertEqual(read(os.path.join(dest, "leia-me.txt")),
                                 new if replaced else b"antigo")
                skipped = [l for l in result.stdout.splitlines() if l.startswith("Pulando:")]
                self.assertEqual(len(skipped), 1 if skipping else 0, lib.describe(result))
                if skipping:
                    self.assertTrue(skipped[0].endswith("/leia-me.txt"), skipped[0])
                self.assertEqual("(sem terminal: não sobrescrevo" in result.stderr, note)
                # Everything else is extracted in every mode.
                self.assertEqual(read(os.path.join(dest, "docs/manual.txt")),
                                 FILES["docs/manual.txt"])

    def test_freshen_and_update(self):
        archive = self.archives["zip-deflate"]
        times = file_times(False)
        old, new, same = "leia-me.txt", "docs/manual.txt", "dados.bin"
        existing = {old: b"mais velho", new: b"mais novo", same: b"mesma hora"}
        mtimes = {old: times[old] - 86400, new: times[new] + 86400, same: times[same]}
        # selection, names replaced or created
        cases = [
            ("FRESHEN", {old}),
            ("UPDATE", {old} | {n for n in FILE_NAMES if n not in existing}),
        ]
        for selection, written in cases:
            with self.subTest(selection=selection):
                dest = self.fresh_dest(existing, mtimes)
                self.run_ok(["-EXTRACT=" + selection, "-DIRECTORIES", "-OVERWRITE", archive,
                             dest + "/"], 0)
                for name in FILE_NAMES:
                    path = os.path.join(dest, name)
                    if name in written:
                        self.assertEqual(read(path), FILES[name], name)
                    elif name in existing:
                        self.assertEqual(read(path), existing[name], name)
                    else:
                        self.assertFalse(os.path.exists(path), name)

    def test_name_patterns_and_exclude(self):
        archive = self.archives["zip-deflate"]
        # arguments after the destination, option words, files expected
        cases = [
            # '*' stops at the first '.', so notas.v2.txt is not a *.txt name.
            (["*.txt"], [], {"leia-me.txt", "vazio.txt", "docs/manual.txt",
                             "docs/sub/fundo.txt"}),
            ([], ["-EXCLUDE=*.bin"], set(FILE_NAMES) - {"dados.bin", "repetido.bin"}),
            (["*.txt"], ["-EXCLUDE=docs/*"], {"leia-me.txt", "vazio.txt"}),
            (["leia-me.txt", "docs/sub/fundo.txt"], [], {"leia-me.txt", "docs/sub/fundo.txt"}),
            (["*.txt"], ["-EXCLUDE=*.txt"], set()),
        ]
        for names, options, expected in cases:
            with self.subTest(names=names, options=options):
                dest = self.fresh_dest()
                self.run_ok(["-EXTRACT", "-DIRECTORIES"] + options + [archive, dest + "/"]
                            + names, 0)
                written = {n for n in tree_listing(dest) if not n.endswith("/")}
                self.assertEqual(written, expected)
                for name in expected:
                    self.assertEqual(read(os.path.join(dest, name)), FILES[name])

    def test_without_directories_paths_are_dropped(self):
        dest = self.fresh_dest()
        self.run_ok(["-EXTRACT", self.archives["zip-deflate"], dest + "/"], 0)
        self.assertEqual(tree_listing(dest), {n.rsplit("/", 1)[-1] for n in FILE_NAMES})
        self.assertEqual(read(os.path.join(dest, "fundo.txt")), FILES["docs/sub/fundo.txt"])

    def test_console_writes_decoded_bytes(self):
        result = self.run_ok(["-CONSOLE", self.archives["7z-deflate64"], "repetido.bin"], 0)
        self.assertEqual(result.stdout_bytes, FILES["repetido.bin"])

    def test_non_ascii_paths_on_the_command_line(self):
        # The terminal hands over UTF-8: archive path, destination and name pattern must reach
        # the file system as the same characters.
        work = self.make_temp()
        folder = os.path.join(work, "pasta ção")
        os.mkdir(folder)
        archive = os.path.join(folder, "instalação.zip")
        shutil.copy(self.archives["python-zipfile"], archive)
        dest = os.path.join(work, "destino é aqui")
        os.mkdir(dest)
        self.run_ok(["-EXTRACT", "-DIRECTORIES", archive, dest + "/", UTF8_NAME], 0)
        self.assertEqual(tree_listing(dest), {UTF8_NAME})

    def test_run_level_errors(self):
        work = self.make_temp()
        archive = self.archives["zip-deflate"]
        missing = os.path.join(work, "nada.zip")
        not_zip = os.path.join(work, "texto.zip")
        with open(not_zip, "wb") as f:
            f.write(b"isto nao e um arquivo ZIP, apenas texto com mais de 22 bytes\n" * 3)
        help_hint = "Tente 'vespa-console --help' para mais informações."
        # arguments, exit code, the message's text (without its detail), what follows it
        cases = [
            (["-TEST", missing], 12, "Não encontrei o arquivo .ZIP: ", None),
            (["-TEST", not_zip], 301, "Não encontrado as assinaturas de CE", None),
            (["-FOO", archive], 4, "Opção Desconhecida ou Ilegal - ", help_hint),
            (["-EXTRACT", "-OVERWRITE=TALVEZ", archive], 5, "Sub-opção Desconhecida ou Ilegal - ",
             "-OVERWRITE aceita: PROMPT, ALL, NEVER\n" + help_hint),
            (["-EXTRACT=TUDO", archive], 5, "Sub-opção Desconhecida ou Ilegal - ",
             "-EXTRACT aceita: ALL, FRESHEN, UPDATE\n"),
            (["-SO=X", archive], 5, "Sub-opção Desconhecida ou Ilegal - ",
             "-SORT aceita: CRC, DATE, EXTENSION, NAME, NATURAL, NONE, RATIO, SIZE\n"),
            (["-DIRECTORIES=X", archive], 5, "Sub-opção Desconhecida ou Ilegal - ",
             "-DIRECTORIES não aceita valor\n"),
            (["-EXTRACT"], 6, "Arquivo .ZIP não especificado", None),
        ]
        for args, code, text, then in cases:
            with self.subTest(args=args):
                result = self.run_ok(args, code)
                self.assertIn(text, result.stderr)
                if then:
                    self.assertIn(then, result.stderr)
                else:
                    self.assertNotIn(help_hint, result.stderr)

    def test_read_only_attribute_and_mask(self):
        # Info-ZIP stores a file without write permission as read-only. The attribute is
        # dropped by default and kept with MASK.
        work = self.make_temp()
        source = os.path.join(work, "src")
        lib.write_tree(source, {"livre.txt": b"livre\n", "fixo.txt": b"somente leitura\n"})
        os.chmod(os.path.join(source, "fixo.txt"), 0o444)
        archive = os.path.join(work, "ro.zip")
        lib.info_zip(archive, source, ["livre.txt", "fixo.txt"])
        for options, read_only in (([], False), (["-MASK"], True)):
            with self.subTest(options=options):
                dest = self.fresh_dest()
                self.run_ok(["-EXTRACT"] + options + [archive, dest + "/"], 0)
                mode = os.stat(os.path.join(dest, "fixo.txt")).st_mode
                self.assertEqual(mode & 0o222 == 0, read_only, oct(mode))
                self.assertTrue(os.stat(os.path.join(dest, "livre.txt")).st_mode & 0o200)

    def test_print_appends_every_entry(self):
        work = self.make_temp()
        device = os.path.join(work, "impressora.txt")
        with open(device, "wb") as f:
            f.write(b"antes\n")
        archive = self.archives["zip-deflate"]
        self.run_ok(["-PRINT=" + device, archive, "docs/*"], 0)
        # In the order of the entries' data in the archive.
        with zipfile.ZipFile(archive) as z:
            order = sorted((i for i in z.infolist() if i.filename.startswith("docs/")
                            and not i.is_dir()), key=lambda i: i.header_offset)
        self.assertEqual(read(device), b"antes\n" + b"".join(FILES[i.filename] for i in order))

    def test_names_leaving_the_destination_are_refused(self):
        work = self.make_temp()
        bad = ["../evil.txt", "a/../../evil2.txt", "/abs.txt", "C:x.txt", "..\\evil3.txt",
               "docs/../../../evil4.txt"]
        archive = os.path.join(work, "traversal.zip")
        lib.python_zip(archive, [(name, b"nao devia estar aqui\n") for name in bad]
                       + [("good.txt", b"pode ficar\n")])
        dest = os.path.join(work, "dest")
        sentinel = os.path.join(work, "sentinel")
        os.mkdir(dest)
        os.mkdir(sentinel)
        # With DIRECTORIES every unsafe name is refused; without, only the last part of a name
        # is used, so only the names that are unsafe by themselves need refusing.
        for options, refused in ((["-DIRECTORIES"], bad), ([], ["/abs.txt", "C:x.txt"])):
            with self.subTest(options=options):
                result = self.run_ok(["-EXTRACT", "-OVERWRITE"] + options
                                     + [archive, dest + "/"], 1)
                outside = {n for n in tree_listing(work)
                           if n == "dest/" or not n.startswith("dest/")}
                self.assertEqual(outside, {"traversal.zip", "dest/", "sentinel/"})
                self.assertFalse(os.path.exists("/abs.txt"))
                self.assertIn("good.txt", tree_listing(dest))
                if options:
                    self.assertEqual(tree_listing(dest), {"good.txt"})
                for name in refused:
                    self.assertWarning(result, 2, name.replace("\\", "/"))
                shutil.rmtree(dest)
                os.mkdir(dest)


if __name__ == "__main__":
    unittest.main(verbosity=2)
