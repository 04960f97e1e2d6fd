"""vespa-mksfx from a folder: what it writes is read the same by vespa-console, Info-ZIP unzip,
7-Zip and Python's zipfile (contents, names, empty folders, times, the read-only attribute); the
same input gives the same bytes; every limit is refused with nothing left behind; and the
options (levels, --store, --exclude, passwords, --quiet, --help) do what they say.

Environment: VESPA_BIN (native bin directory), VESPA_WRAPPER (command put before the native
programs, such as valgrind).
"""

import os
import shlex
import shutil
import subprocess
import tempfile
import time
import unittest
import zipfile

SOURCE = os.environ.get("VESPA_SOURCE", os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..")))
BIN = os.path.abspath(os.environ.get("VESPA_BIN", os.path.join(SOURCE, "build", "native", "bin")))
WRAPPER = shlex.split(os.environ.get("VESPA_WRAPPER", ""))
MKSFX = os.path.join(BIN, "vespa-mksfx")
CONSOLE = os.path.join(BIN, "vespa-console")
TIMEOUT = 300

# 2021-06-15 10:20:31.1234567 UTC, an odd second with a fraction: DOS times cannot hold it.
EXACT_TIME_NS = 1623752431123456700
LATER_TIME_NS = 1700000000000000000


def run(args, cwd=None, input_bytes=None):
    return subprocess.run(args, cwd=cwd, input=input_bytes, capture_output=True,
                          timeout=TIMEOUT, stdin=None if input_bytes is not None else subprocess.DEVNULL)


def text(result):
    return (result.stdout + result.stderr).decode("utf-8", "replace")


def mksfx(*args, cwd=None):
    return run(WRAPPER + [MKSFX] + list(args), cwd=cwd)


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def large_data():
    """8 MiB that compress partly: text lines with random runs among them."""
    random = os.urandom(1 << 16)
    parts = []
    for i in range(128):
        parts.append(b"".join(b"registro %06d;valor=%d\r\n" % (i * 1000 + j, j * j) for j in range(1500)))
        parts.append(random[(i * 512) % len(random):][:16384])
    return b"".join(parts)[:8 << 20]


def snapshot(root):
    """{name: (bytes or None for a folder, mtime_ns, writable)} of everything under root."""
    found = {}
    for folder, folders, files in os.walk(root):
        for name in folders + files:
            path = os.path.join(folder, name)
            st = os.lstat(path)
            rel = os.path.relpath(path, root).replace(os.sep, "/")
            data = None
            if name in files:
                with open(path, "rb") as f:
                    data = f.read()
            found[rel] = (data, st.st_mtime_ns, bool(st.st_mode & 0o200))
    return found


class TreeTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if not os.path.exists(MKSFX):
            raise unittest.SkipTest("vespa-mksfx is not built at " + MKSFX)
        cls.tmp = tempfile.mkdtemp(prefix="vespa-mksfx-tree-")
        # A stand-in stub: the builder reads it as bytes only.
        cls.stub = os.path.join(cls.tmp, "stub.exe")
        write(cls.stub, b"MZ" + bytes(1000))
        cls.source = os.path.join(cls.tmp, "fonte")
        cls.files = {
            "leia-me.txt": b"Bem-vindo!\r\n" * 40,
            "vazio.txt": b"",
            "docs/manual.txt": b"".join(b"linha %d do manual\n" % i for i in range(3000)),
            "docs/fundo/bem/fundo.bin": os.urandom(5000),  # does not compress: stored
            "somente-leitura.txt": b"nao mude\r\n",
            "caf\u00e9/relat\u00f3rio \u00e7\u00e3o.txt": b"nomes em 1252\n",
            "\u65e5\u672c\u8a9e \u03a9.txt": b"fora do 1252\n",
            "grande.dat": large_data(),
        }
        cls.empty_folders = ["vazia", "docs/vazia/mais"]
        for name, data in cls.files.items():
            write(os.path.join(cls.source, name), data)
        for name in cls.empty_folders:
            os.makedirs(os.path.join(cls.source, name))
        for folder, folders, files in os.walk(cls.source):
            for name in folders + files:
                os.utime(os.path.join(folder, name), ns=(LATER_TIME_NS, EXACT_TIME_NS))
        os.chmod(os.path.join(cls.source, "somente-leitura.txt"), 0o444)
        cls.sfx = os.path.join(cls.tmp, "setup.exe")
        result = mksfx("-o", cls.sfx, "--stub", cls.stub, cls.source)
        if result.returncode != 0:
            raise AssertionError(text(result))
        cls.summary = text(result)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.tmp, ignore_errors=True)

    def fresh(self):
        return tempfile.mkdtemp(dir=self.tmp)

    def expected(self):
        """What every reader must produce, the engine included: every name exactly."""
        want = {}
        for name, data in self.files.items():
            want[name] = data
            parts = name.split("/")
            for i in range(1, len(parts)):
                want["/".join(parts[:i])] = None
        for name in self.empty_folders:
            parts = name.split("/")
            for i in range(1, len(parts) + 1):
                want["/".join(parts[:i])] = None
        return want

    def check_tree(self, root, reader, exact_times=False, read_only=True):
        got = snapshot(root)
        want = self.expected()
        self.assertEqual(sorted(got), sorted(want), reader)
        for name, data in want.items():
            got_data, mtime, writable = got[name]
            self.assertEqual(got_data, data, f"{reader}: {name}")
            if data is None:
                continue  # folder times move as their contents are written
            if exact_times:
                self.assertEqual(mtime, EXACT_TIME_NS, f"{reader}: {name}")
            else:  # a DOS time: to the even second below
                self.assertEqual(mtime, (EXACT_TIME_NS // 10**9 - 1) * 10**9, f"{reader}: {name}")
            if read_only:
                self.assertEqual(writable, name != "somente-leitura.txt", f"{reader}: {name}")

    # --- what readers see ----------------------------------------------------------------

    def test_every_reader_extracts_the_same_tree(self):
        out = self.fresh()
        result = run(["unzip", "-q", self.sfx, "-d", out])
        self.assertEqual(result.returncode, 0, text(result))
        self.check_tree(out, "unzip")

        out = self.fresh()
        result = run(["7z", "x", "-bd", "-o" + out, self.sfx])
        self.assertEqual(result.returncode, 0, text(result))
        self.check_tree(out, "7-Zip", exact_times=True)

        dos_time = time.localtime(EXACT_TIME_NS // 10**9 - 1)[:6]
        with zipfile.ZipFile(self.sfx) as z:
            self.assertIsNone(z.testzip())
            names = {}
            for info in z.infolist():
                names[info.filename.rstrip("/")] = None if info.is_dir() else z.read(info)
                self.assertEqual(info.date_time, dos_time)
            self.assertEqual(names, self.expected())

        if not os.path.exists(CONSOLE):
            self.skipTest("vespa-console is not built")
        out = self.fresh()
        # -MASK: the read-only attribute too, which an extraction drops unless asked.
        result = run(WRAPPER + [CONSOLE, "-EXTRACT", "-DIRECTORIES", "-MASK", "setup.exe", out + "/"],
                     cwd=self.tmp)
        self.assertEqual(result.returncode, 0, text(result))
        self.check_tree(out, "vespa-console", exact_times=True)

    def test_entries_are_what_the_stub_reads(self):
        with zipfile.ZipFile(self.sfx) as z:
            infos = z.infolist()
        self.assertEqual([i.filename for i in infos], sorted(i.filename for i in infos))
        for info in infos:
            with self.subTest(info.filename):
                self.assertIn(info.compress_type, (zipfile.ZIP_STORED, zipfile.ZIP_DEFLATED))
                # Flag bit 11 exactly for the names that are not ASCII.
                self.assertEqual(bool(info.flag_bits & 0x800), not info.filename.isascii())
                # The NTFS field first in both headers, with the time to the 100 ns.
                self.assertEqual(info.extra[:8], b"\x0a\x00\x20\x00\x00\x00\x00\x00")
                filetime = int.from_bytes(info.extra[12:20], "little")
                self.assertEqual(filetime, EXACT_TIME_NS // 100 + 116444736000000000)
        stored = {i.filename for i in infos if i.compress_type == zipfile.ZIP_STORED}
        self.assertIn("docs/fundo/bem/fundo.bin", stored)
        self.assertNotIn("grande.dat", stored)
        self.assertIn("stub:", self.summary)
        self.assertIn("tested by the engine", self.summary)

    def test_same_input_gives_the_same_bytes(self):
        # A copy of the tree made later, in another order, read in between: same bytes.
        copy = os.path.join(self.fresh(), "copia")
        shutil.copytree(self.source, copy, copy_function=shutil.copy2)
        for folder, folders, files in os.walk(copy):
            for name in folders:
                os.utime(os.path.join(folder, name), ns=(LATER_TIME_NS, EXACT_TIME_NS))
        again = os.path.join(self.tmp, "again.exe")
        result = mksfx("-q", "-o", again, "--stub", self.stub, copy)
        self.assertEqual(result.returncode, 0, text(result))
        self.assertEqual(result.stdout + result.stderr, b"")
        with open(self.sfx, "rb") as a, open(again, "rb") as b:
            self.assertTrue(a.read() == b.read(), "two builds of one tree differ")

    # --- limits --------------------------------------------------------------------------

    def test_limits_are_refused_and_leave_nothing(self):
        def case(setup):
            root = self.fresh()
            src = os.path.join(root, "src")
            write(os.path.join(src, "ok.txt"), b"ok")
            return root, src, setup(src)

        def backslash(src):
            write(os.path.join(src, "a\\b.txt"), b"x")
            return "'\\'"

        def not_utf8(src):
            write(os.path.join(os.fsencode(src), b"nome-\xff.txt").decode("utf-8", "surrogateescape"), b"x")
            return "not valid UTF-8"

        def outside_link(src):
            os.symlink("/etc/hostname", os.path.join(src, "fora"))
            return "outside"

        def dangling_link(src):
            os.symlink("nada", os.path.join(src, "quebrado"))
            return "leads nowhere"

        def loop(src):
            os.makedirs(os.path.join(src, "a"))
            os.symlink("..", os.path.join(src, "a", "volta"))
            return "never end"

        def case_clash(src):
            write(os.path.join(src, "OK.TXT"), b"y")
            return "differ only in case"

        def case_clash_1252(src):
            # s caron is a 1252 letter Windows folds like the others.
            write(os.path.join(src, "šum.txt"), b"x")
            write(os.path.join(src, "Šum.txt"), b"y")
            return "differ only in case"

        cases = [("backslash in a name", backslash),
                 ("name not UTF-8", not_utf8), ("link outside", outside_link),
                 ("dangling link", dangling_link), ("link loop", loop),
                 ("names that differ in case", case_clash),
                 ("names that differ in the case of a 1252 letter", case_clash_1252)]
        for what, setup in cases:
            with self.subTest(what):
                root, src, message = case(setup)
                out_dir = os.path.join(root, "out")
                os.makedirs(out_dir)
                result = mksfx("-o", os.path.join(out_dir, "setup.exe"), "--stub", self.stub, src)
                self.assertEqual(result.returncode, 1, text(result))
                self.assertIn(message, result.stderr.decode("utf-8", "replace"))
                self.assertIn("nothing written", result.stderr.decode("utf-8", "replace"))
                self.assertEqual(os.listdir(out_dir), [])
                shutil.rmtree(root)

        # --skip-links leaves out what leads outside, says so, and builds the rest.
        root, src, _ = case(outside_link)
        out = os.path.join(root, "setup.exe")
        result = mksfx("-o", out, "--stub", self.stub, "--skip-links", src)
        self.assertEqual(result.returncode, 0, text(result))
        self.assertIn("fora: a symbolic link to /etc/hostname", result.stderr.decode())
        with zipfile.ZipFile(out) as z:
            self.assertEqual(z.namelist(), ["ok.txt"])

    def test_zip64_only_where_the_count_needs_it(self):
        # 65,534 entries end as they always did; one more, and the ZIP64 end record and its
        # locator come before an end record that says 0xFFFF. Every peer reads all of them.
        for files, zip64 in ((65533, False), (65534, True)):  # with the folder entry
            with self.subTest(files=files):
                root = self.fresh()
                folder = os.path.join(root, "src", "muitos")
                os.makedirs(folder)
                for i in range(files):
                    with open(os.path.join(folder, "%05d" % i), "wb") as f:
                        f.write(b"%d" % i)
                out = os.path.join(root, "setup.exe")
                result = mksfx("-q", "-o", out, "--stub", self.stub, os.path.join(root, "src"))
                self.assertEqual(result.returncode, 0, text(result))
                with open(out, "rb") as f:
                    data = f.read()
                self.assertEqual(b"PK\x06\x07" in data[-200:], zip64)
                if not zip64:
                    shutil.rmtree(root)
                    continue
                with zipfile.ZipFile(out) as z:
                    self.assertEqual(len(z.infolist()), files + 1)
                    self.assertIsNone(z.testzip())
                for command in (["unzip", "-tqq", out], ["7z", "t", "-bd", out],
                                ["bsdtar", "-xOf", out]):
                    checked = run(command)
                    self.assertEqual(checked.returncode, 0, text(checked))
                if os.path.exists(CONSOLE):
                    tested = run([CONSOLE, "-TEST", out])
                    self.assertEqual(tested.returncode, 0, text(tested))
                    self.assertEqual(tested.stdout.count(b" OK\n"), files + 1)
                # Signed, the directory grows after it was written: the ZIP64 end record and
                # its locator follow it.
                signed = os.path.join(root, "signed.exe")
                result = mksfx("-q", "-o", signed, "--stub", self.stub, "--sign", "Fábrica",
                               os.path.join(root, "src"))
                self.assertEqual(result.returncode, 0, text(result))
                checked = run(["unzip", "-tqq", signed])
                self.assertEqual(checked.returncode, 0, text(checked))
                if os.path.exists(CONSOLE):
                    tested = run([CONSOLE, "-TEST", signed])
                    self.assertEqual(tested.returncode, 0, text(tested))
                    # Each protected entry is marked as it checks.
                    self.assertEqual(tested.stdout.count(b" OK -AV\n"), files + 1)
                    self.assertIn("Autenticidade Verificada!", tested.stdout.decode("utf-8"))
                shutil.rmtree(root)

    def test_the_output_never_replaces_an_input(self):
        root = self.fresh()
        src = os.path.join(root, "src")
        write(os.path.join(src, "a.txt"), b"a")
        result = mksfx("-o", os.path.join(src, "setup.exe"), "--stub", self.stub, src)
        self.assertEqual(result.returncode, 0, text(result))
        before = snapshot(src)
        # Built again into the folder it reads: the earlier output is an input now.
        result = mksfx("-o", os.path.join(src, "setup.exe"), "--stub", self.stub, src)
        self.assertEqual(result.returncode, 1, text(result))
        self.assertIn("never replaces its input", result.stderr.decode())
        result = mksfx("-o", os.path.join(src, "a.txt"), "--stub", self.stub, os.path.join(src, "a.txt"))
        self.assertEqual(result.returncode, 1, text(result))
        result = mksfx("-o", self.stub, "--stub", self.stub, src)
        self.assertEqual(result.returncode, 1, text(result))
        self.assertEqual(snapshot(src), before)

    def test_a_single_path_is_an_archive_only_when_named_as_one(self):
        root = self.fresh()
        document = os.path.join(root, "relatorio.docx")  # a ZIP inside, packed as a file
        with zipfile.ZipFile(document, "w") as z:
            z.writestr("word/document.xml", b"<w/>")
        folder = os.path.join(root, "pasta.zip")  # a folder, whatever its name
        write(os.path.join(folder, "dentro.txt"), b"d")
        earlier = os.path.join(root, "antigo.exe")  # an earlier self-extracting archive
        shutil.copy(self.sfx, earlier)
        cases = [(document, ["relatorio.docx"]), (folder, ["dentro.txt"]),
                 (earlier, sorted(zipfile.ZipFile(self.sfx).namelist()))]
        for path, names in cases:
            with self.subTest(path=os.path.basename(path)):
                out = os.path.join(self.fresh(), "setup.exe")
                result = mksfx("-o", out, "--stub", self.stub, path)
                self.assertEqual(result.returncode, 0, text(result))
                with zipfile.ZipFile(out) as z:
                    self.assertEqual(sorted(z.namelist()), names)

    # --- options -------------------------------------------------------------------------

    def build(self, *options, source=None):
        out = os.path.join(self.fresh(), "setup.exe")
        result = mksfx("-o", out, "--stub", self.stub, *options, source or self.source)
        self.assertEqual(result.returncode, 0, text(result))
        return out

    def test_levels_store_and_exclude(self):
        sizes = {}
        for level in ("1", "6", "12"):
            sizes[level] = os.path.getsize(self.build("--level", level))
        self.assertGreater(sizes["1"], sizes["6"])
        self.assertGreaterEqual(sizes["6"], sizes["12"])
        with zipfile.ZipFile(self.build("--store")) as z:
            self.assertEqual({i.compress_type for i in z.infolist()}, {zipfile.ZIP_STORED})
            self.assertIsNone(z.testzip())
        cases = [
            (["*.bin", "grande.*"], ["docs/fundo/bem/fundo.bin", "grande.dat"]),
            (["docs"], ["docs/", "docs/manual.txt", "docs/fundo/bem/fundo.bin"]),
            (["docs/fundo/*"], ["docs/fundo/bem/", "docs/fundo/bem/fundo.bin"]),
            (["caf?", "vazi[ao]*"], ["caf\u00e9/", "vazio.txt", "vazia/"]),
        ]
        with zipfile.ZipFile(self.sfx) as z:
            everything = set(z.namelist())
        for patterns, gone in cases:
            with self.subTest(patterns=patterns):
                options = [w for p in patterns for w in ("--exclude", p)]
                with zipfile.ZipFile(self.build(*options)) as z:
                    names = set(z.namelist())
                for name in gone:
                    self.assertNotIn(name, names)
                self.assertTrue(names < everything)

    def test_passwords(self):
        password_file = os.path.join(self.tmp, "senha.txt")
        write(password_file, "S\u00eanha-\u00e7!\n".encode("utf-8"))
        # The traditional cipher, which every reader knows (AES, the default, has tests of its own).
        out = self.build("--password-file", password_file, "--encryption", "zipcrypto")
        typed = "S\u00eanha-\u00e7!".encode("cp1252")  # as the stub's password box holds it
        with zipfile.ZipFile(out) as z:
            z.setpassword(typed)
            for info in z.infolist():
                if not info.is_dir():
                    self.assertTrue(info.flag_bits & 1, info.filename)
                    self.assertEqual(z.read(info), self.files[info.filename])
        result = run(["unzip", "-t", "-P", "errada", out])
        self.assertNotEqual(result.returncode, 0)
        if os.path.exists(CONSOLE):
            result = run(WRAPPER + [CONSOLE, "-TEST", "-PASSWORD=S\u00eanha-\u00e7!", "setup.exe"],
                         cwd=os.path.dirname(out))
            self.assertEqual(result.returncode, 0, text(result))

        refused = [("S\u00eanha \u65e5", "code page 1252"), ("x" * 32, "31 bytes"), ("", "empty")]
        for password, message in refused:
            with self.subTest(password=password):
                write(password_file, password.encode("utf-8") + b"\n")
                out_dir = self.fresh()
                result = mksfx("-o", os.path.join(out_dir, "s.exe"), "--stub", self.stub,
                               "--password-file", password_file, self.source)
                self.assertEqual(result.returncode, 1, text(result))
                self.assertIn(message, result.stderr.decode())
                self.assertEqual(os.listdir(out_dir), [])
        # Asked on a terminal, and there is none: a session of its own has no controlling one.
        result = subprocess.run(WRAPPER + [MKSFX, "-o", os.path.join(self.fresh(), "s.exe"),
                                           "--stub", self.stub, "--password", self.source],
                                capture_output=True, timeout=TIMEOUT, stdin=subprocess.DEVNULL,
                                start_new_session=True)
        self.assertEqual(result.returncode, 1, text(result))
        self.assertIn("--password-file", result.stderr.decode())

    def test_help_version_and_usage_errors(self):
        result = mksfx("--help")
        self.assertEqual(result.returncode, 0)
        for option in ("--output", "--level", "--store", "--exclude", "--password",
                       "--password-file", "--skip-links", "--quiet", "--no-verify", "--arch"):
            self.assertIn(option, result.stdout.decode())
        self.assertIn("weak", result.stdout.decode())
        result = mksfx("--version")
        self.assertEqual(result.returncode, 0)
        self.assertRegex(result.stdout.decode(), r"^vespa-mksfx \d+\.\d+\.\d+ \(libdeflate")
        zip_path = os.path.join(self.tmp, "plain.zip")
        with zipfile.ZipFile(zip_path, "w") as z:
            z.writestr("a.txt", b"a")
        usage = [
            (["--level", "13", self.source], "--level takes a number from 1 to 12"),
            (["--level=0", self.source], "--level takes"),
            (["--arch", "arm", self.source], "i686 or x86_64"),
            (["--bogus", self.source], "unknown option --bogus"),
            (["--store=yes", self.source], "--store takes no value"),
            ([self.source, "--exclude"], "--exclude needs a value"),
            (["--password", "--password-file", "f", self.source], "take one"),
            (["--level", "3", zip_path], "used as it is"),
            # Each value refused names the option and what it takes.
            (["--overwrite", "sempre", self.source], "--overwrite takes ask, always or never, not sempre"),
            (["--elevation", "admin", self.source], "--elevation takes asInvoker, highestAvailable or"),
            (["--sign", "X", "--sign-number", "12x", self.source],
             "--sign-number takes a number from 0 to 4294967295 (or 0x0 to 0xFFFFFFFF), not 12x"),
            (["--span", "1.5", self.source], "--span: bad disk size '1.5': give bytes"),
            (["--run", "", self.source], "--run takes a command"),
        ]
        for args, message in usage:
            with self.subTest(args=args):
                out_dir = self.fresh()
                result = mksfx("-o", os.path.join(out_dir, "s.exe"), "--stub", self.stub, *args)
                self.assertEqual(result.returncode, 2, text(result))
                lines = result.stderr.decode().splitlines()
                self.assertEqual(len(lines), 2, lines)
                self.assertIn(message, lines[0])
                self.assertIn("--help", lines[1])
                self.assertEqual(os.listdir(out_dir), [])

if __name__ == "__main__":
    unittest.main(verbosity=2)
