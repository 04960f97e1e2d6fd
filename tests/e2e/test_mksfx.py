"""vespa-mksfx on archives made by real tools.

Archives from Info-ZIP zip, 7-Zip and Python's zipfile (plain, and already prefixed by a stub
with or without adjusted offsets) are turned into programs with a small stand-in stub; Info-ZIP
unzip and 7-Zip must read the results without any complaint about offsets, the contents must be
the files put in, and an Authenticode signature appended by osslsigncode must leave the archive
readable. vespa-console checks the same results once it is built. Archives the builder cannot
shift are refused with nothing written.

Environment: VESPA_BIN (native bin directory), VESPA_WRAPPER (command put before the native
programs, such as valgrind).
"""

import os
import shlex
import shutil
import struct
import subprocess
import tempfile
import unittest
import zipfile

SOURCE = os.environ.get("VESPA_SOURCE", os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..")))
BIN = os.environ.get("VESPA_BIN", os.path.join(SOURCE, "build", "native", "bin"))
WRAPPER = shlex.split(os.environ.get("VESPA_WRAPPER", ""))
MKSFX = os.path.join(BIN, "vespa-mksfx")
CONSOLE = os.path.join(BIN, "vespa-console")
# Where the builder looks for its default stub in a build tree.
DEFAULT_STUB = os.path.normpath(os.path.join(BIN, "..", "..", "win32", "bin", "vespa-sfx.exe"))
TIMEOUT = 120


def minimal_program(overlay=b""):
    """A Windows program image of one section and no imports, followed by overlay bytes: enough
    for archivers and signing tools to take it for a program, small enough to write here."""
    dos = bytearray(64)
    dos[0:2] = b"MZ"
    struct.pack_into("<I", dos, 0x3C, 64)  # where the PE header starts
    coff = struct.pack("<HHIIIHH", 0x14C, 1, 0, 0, 0, 0xE0, 0x0102)
    optional = struct.pack(
        "<HBBIIIIIIIIIHHHHHHIIIIHHIIIIII",
        0x10B, 1, 0, 0x200, 0, 0, 0x1000, 0x1000, 0x2000,  # PE32, code at RVA 0x1000
        0x400000, 0x1000, 0x200,  # image base, section and file alignment
        4, 0, 0, 0, 4, 0, 0,  # OS, image and subsystem versions, reserved
        0x2000, 0x200, 0, 2, 0,  # image size, header size, checksum, GUI subsystem
        0x100000, 0x1000, 0x100000, 0x1000, 0, 16)  # stack, heap, 16 data directories
    optional += bytes(16 * 8)
    section = struct.pack("<8sIIIIIIHHI", b".text", 0x1000, 0x1000, 0x200, 0x200, 0, 0, 0, 0,
                          0x60000020)
    headers = bytes(dos) + b"PE\0\0" + coff + optional + section
    headers += bytes(0x200 - len(headers))
    return headers + b"\xC3" + bytes(0x1FF) + overlay


def run(args, cwd=None, stdin=None, input_bytes=None):
    return subprocess.run(args, cwd=cwd, input=input_bytes, stdin=stdin, capture_output=True,
                          timeout=TIMEOUT)


def text(result):
    return (result.stdout + result.stderr).decode("utf-8", "replace")


def mksfx(*args):
    return run(WRAPPER + [MKSFX] + list(args))


class MksfxTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if not os.path.exists(MKSFX):
            raise unittest.SkipTest("vespa-mksfx is not built at " + MKSFX)
        cls.tmp = tempfile.mkdtemp(prefix="vespa-mksfx-e2e-")
        cls.files = {
            "leia-me.txt": b"Bem-vindo!\r\n" * 3,
            "dados.bin": os.urandom(150000),  # incompressible: stored even by deflaters
            "docs/manual.txt": b"".join(b"linha %d do manual\n" % i for i in range(4000)),
            "vazio.txt": b"",
        }
        cls.source = os.path.join(cls.tmp, "files")
        for name, data in cls.files.items():
            path = os.path.join(cls.source, name)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(data)
        # 1029 bytes: three bytes of padding bring the archive to a multiple of 12.
        cls.stub = os.path.join(cls.tmp, "stub.exe")
        with open(cls.stub, "wb") as f:
            f.write(minimal_program(b"odd!!"))
        cls.archives = cls.make_archives()

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.tmp, ignore_errors=True)

    # --- archives ---------------------------------------------------------------------------

    @classmethod
    def make_archives(cls):
        """name -> (path, {entry name: bytes}, comment)"""
        names = sorted(cls.files)
        out = {}

        def path(name):
            return os.path.join(cls.tmp, name)

        def zip_tool(name, *options):
            subprocess.run(["zip", "-q", "-X", *options, path(name), *names], cwd=cls.source,
                           check=True, timeout=TIMEOUT)
            return path(name)

        def seven_zip(name, *options):
            subprocess.run(["7z", "a", "-bd", "-tzip", *options, path(name), *names],
                           cwd=cls.source, check=True, timeout=TIMEOUT, capture_output=True)
            return path(name)

        out["zip_deflate"] = (zip_tool("zip-deflate.zip"), cls.files, b"")
        out["zip_stored"] = (zip_tool("zip-stored.zip", "-0"), cls.files, b"")
        commented = zip_tool("zip-comment.zip")
        subprocess.run(["zip", "-q", "-z", commented], input=b"Pacote de teste\n", check=True,
                       timeout=TIMEOUT)
        out["zip_comment"] = (commented, cls.files, b"Pacote de teste")
        # Written to a pipe, zip cannot seek back: sizes and CRCs follow the data in descriptors.
        with open(path("zip-pipe.zip"), "wb") as f:
            producer = subprocess.Popen(["cat", os.path.join(cls.source, "docs/manual.txt")],
                                        stdout=subprocess.PIPE)
            zipper = subprocess.Popen(["zip", "-q", "-fz-", "-", "-"], stdin=producer.stdout,
                                      stdout=subprocess.PIPE)
            producer.stdout.close()
            shutil.copyfileobj(zipper.stdout, f)
            zipper.stdout.close()
            zipper.wait(TIMEOUT)
            producer.wait(TIMEOUT)
        out["zip_pipe"] = (path("zip-pipe.zip"), {"-": cls.files["docs/manual.txt"]}, b"")
        # ZIP64 records where nothing needs them: the locator, the ZIP64 end record and extra
        # fields, all shifted with the rest.
        out["zip_zip64"] = (zip_tool("zip-zip64.zip", "-fz"), cls.files, b"")
        out["7z_deflate"] = (seven_zip("7z-deflate.zip"), cls.files, b"")
        out["7z_deflate64"] = (seven_zip("7z-deflate64.zip", "-mm=Deflate64"), cls.files, b"")
        many = {"pasta/%03d.txt" % i: b"arquivo %d\n" % i * (i % 7) for i in range(300)}
        with zipfile.ZipFile(path("python.zip"), "w", zipfile.ZIP_DEFLATED) as z:
            for name, data in many.items():
                z.writestr(name, data)
            z.comment = b"Coment\xe1rio em 1252"
        out["python"] = (path("python.zip"), many, b"Coment\xe1rio em 1252")

        # Already self-extracting: another stub in front, offsets counted from the ZIP's start
        # (plain concatenation) or from the file's start (concatenation, then zip -A).
        with open(out["zip_deflate"][0], "rb") as f:
            plain = f.read()
        other_stub = minimal_program(b"another stub")
        with open(path("prefixed-relative.exe"), "wb") as f:
            f.write(other_stub + plain)
        shutil.copy(path("prefixed-relative.exe"), path("prefixed-absolute.exe"))
        subprocess.run(["zip", "-q", "-A", path("prefixed-absolute.exe")], check=True,
                       timeout=TIMEOUT)
        out["prefixed_relative"] = (path("prefixed-relative.exe"), cls.files, b"")
        out["prefixed_absolute"] = (path("prefixed-absolute.exe"), cls.files, b"")
        # The locator of a ZIP64 archive prefixed later counts from the ZIP's start too.
        with open(out["zip_zip64"][0], "rb") as f:
            zip64 = f.read()
        with open(path("prefixed-zip64.exe"), "wb") as f:
            f.write(other_stub + zip64)
        out["prefixed_zip64"] = (path("prefixed-zip64.exe"), cls.files, b"")
        return out

    # --- checks -----------------------------------------------------------------------------

    def build(self, archive, name, *extra):
        out = os.path.join(self.tmp, name)
        result = mksfx("-o", out, "--stub", self.stub, *extra, archive)
        self.assertEqual(result.returncode, 0, text(result))
        return out

    def check_readable(self, sfx, contents, comment, seven_zip=True):
        result = run(["unzip", "-t", sfx])
        self.assertEqual(result.returncode, 0, text(result))
        # unzip reports offsets that do not match the file as "extra bytes" warnings.
        self.assertNotIn("warning", text(result).lower())
        self.assertNotIn("extra bytes", text(result))
        if seven_zip:
            result = run(["7z", "t", "-bd", sfx])
            self.assertEqual(result.returncode, 0, text(result))
            self.assertNotIn("WARNING", text(result).upper())
            self.assertIn("Type = zip", text(result))
            # 7-Zip opens an archive whose offsets count from a later start at an "Offset".
            self.assertNotIn("Offset =", text(result))
        with zipfile.ZipFile(sfx) as z:
            self.assertEqual(z.comment, comment)
        # Extracted by unzip (zipfile has no Deflate64), the files are those put in.
        target = tempfile.mkdtemp(dir=self.tmp)
        result = run(["unzip", "-q", sfx, "-d", target])
        self.assertEqual(result.returncode, 0, text(result))
        found = {}
        for folder, _, names in os.walk(target):
            for name in names:
                path = os.path.join(folder, name)
                with open(path, "rb") as f:
                    found[os.path.relpath(path, target).replace(os.sep, "/")] = f.read()
        shutil.rmtree(target)
        self.assertEqual(found, contents)

    def check_console(self, sfx):
        # A word starting with '/' is an option to the console: name the archive relatively.
        result = run(WRAPPER + [CONSOLE, "-TEST", os.path.basename(sfx)],
                     cwd=os.path.dirname(sfx), stdin=subprocess.DEVNULL)
        self.assertEqual(result.returncode, 0, text(result))

    def sign(self, sfx):
        """sfx signed with a throwaway self-signed certificate; the signature is checked."""
        for tool in ("openssl", "osslsigncode"):
            if not shutil.which(tool):
                self.skipTest(tool + " is not installed")
        key = os.path.join(self.tmp, "key.pem")
        cert = os.path.join(self.tmp, "cert.pem")
        if not os.path.exists(cert):
            result = run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout",
                          key, "-out", cert, "-days", "2", "-subj", "/CN=VESPA test signer"])
            self.assertEqual(result.returncode, 0, text(result))
        signed = sfx[:-len(".exe")] + "-signed.exe"
        result = run(["osslsigncode", "sign", "-certs", cert, "-key", key, "-n", "VESPA",
                      "-in", sfx, "-out", signed])
        self.assertEqual(result.returncode, 0, text(result))
        self.assertGreater(os.path.getsize(signed), os.path.getsize(sfx))
        result = run(["osslsigncode", "verify", "-CAfile", cert, "-in", signed])
        self.assertEqual(result.returncode, 0, text(result))
        return signed

    def check_layout(self, sfx, archive):
        with open(self.stub, "rb") as f:
            stub = f.read()
        with open(sfx, "rb") as f:
            head = f.read(len(stub) + 12)
        padded = -(-len(stub) // 12) * 12
        self.assertEqual(head[:len(stub)], stub)
        self.assertEqual(head[len(stub):padded], bytes(padded - len(stub)))
        # The archive proper follows: its first entry's local header.
        self.assertEqual(head[padded:padded + 4], b"PK\x03\x04")

    # --- tests ------------------------------------------------------------------------------

    def test_archives_from_real_tools(self):
        for name, (archive, contents, comment) in self.archives.items():
            with self.subTest(archive=name):
                sfx = self.build(archive, name + ".exe")
                self.check_layout(sfx, archive)
                self.check_readable(sfx, contents, comment)

    def test_signed_archive_stays_readable(self):
        for name in ("zip_deflate", "python", "prefixed_relative", "zip_zip64"):
            archive, contents, comment = self.archives[name]
            with self.subTest(archive=name):
                signed = self.sign(self.build(archive, name + "-tosign.exe"))
                # The signature follows the archive's comment; 7-Zip then reads the file as a
                # program rather than as a ZIP, so only unzip and zipfile are asked.
                self.check_readable(signed, contents, comment, seven_zip=False)

    def test_console_tests_the_results(self):
        if not os.path.exists(CONSOLE):
            self.skipTest("vespa-console is not built yet (%s)" % CONSOLE)
        for name, (archive, _, _) in self.archives.items():
            with self.subTest(archive=name):
                sfx = self.build(archive, name + "-console.exe")
                self.check_console(sfx)
                if name in ("zip_deflate", "python"):
                    self.check_console(self.sign(sfx))

    def test_refusals_write_nothing(self):
        big_stub = os.path.join(self.tmp, "big-stub.exe")
        with open(big_stub, "wb") as f:
            f.write(minimal_program(bytes(300000)))
        split = os.path.join(self.tmp, "split", "split.zip")
        os.makedirs(os.path.dirname(split))
        subprocess.run(["zip", "-q", "-s", "64k", split, "dados.bin"], cwd=self.source,
                       check=True, timeout=TIMEOUT)
        plain = self.archives["zip_deflate"][0]
        # Named alone, a name ending in .zip is an archive to use as it is, never a file to pack.
        fake = os.path.join(self.tmp, "fake.zip")
        with open(fake, "wb") as f:
            f.write(b"not an archive at all")
        cases = [
            # (what, arguments after -o OUT, exit code, message)
            ("not a ZIP", ["--stub", self.stub, fake], 1, "not a ZIP archive"),
            ("split set", ["--stub", self.stub, split], 1, "spanned archive"),
            ("stub too large", ["--stub", big_stub, plain], 1, "stub too large"),
            ("missing archive", ["--stub", self.stub, plain + ".none"], 1, "cannot open"),
            ("unknown option", ["--bogus", "--stub", self.stub, plain], 2,
             "unknown option"),
            # Two paths are files to pack, and one name may not come twice.
            ("one file twice", ["--stub", self.stub, plain, plain], 1, "comes twice"),
            ("no input", ["--stub", self.stub], 2, "no input named"),
        ]
        for what, args, code, message in cases:
            with self.subTest(what):
                out_dir = tempfile.mkdtemp(dir=self.tmp)
                result = mksfx("-o", os.path.join(out_dir, "out.exe"), *args)
                self.assertEqual(result.returncode, code, text(result))
                self.assertIn(message, result.stderr.decode())
                self.assertEqual(result.stdout, b"")
                self.assertEqual(os.listdir(out_dir), [])
        result = mksfx("--stub", self.stub, plain)
        self.assertEqual(result.returncode, 2)
        self.assertIn("no output named", result.stderr.decode())

    def test_default_stub_of_the_build_tree(self):
        if not os.path.exists(DEFAULT_STUB):
            self.skipTest("the i686 stub is not built (%s)" % DEFAULT_STUB)
        archive, contents, comment = self.archives["zip_deflate"]
        out = os.path.join(self.tmp, "default-stub.exe")
        result = mksfx("-o", out, archive)
        self.assertEqual(result.returncode, 0, text(result))
        with open(DEFAULT_STUB, "rb") as f:
            stub = f.read()
        with open(out, "rb") as f:
            self.assertEqual(f.read(len(stub)), stub)
        self.check_readable(out, contents, comment)
        if os.path.exists(CONSOLE):
            self.check_console(out)


if __name__ == "__main__":
    unittest.main(verbosity=2)
