"""Directive records through the built programs: vespa-mksfx writes one from its options and
shows it again (--show), vespa-console shows what a stub would start its dialog with (-SETUP)
and still extracts the archive behind the record; a damaged record is refused by the reader
and leaves the archive usable; options the stub could not take leave no file behind.

Environment: VESPA_BIN (native bin directory), VESPA_WRAPPER.
"""

import os
import shutil
import subprocess
import tempfile
import unittest
import zipfile

from test_mksfx import CONSOLE, MKSFX, WRAPPER, minimal_program, run

GROUPS = "Demo|[CreateGroup(Demo)]|[AddItem(%0bin\\demo.exe,Demo)]"
EXTENSIONS = "^.TXT|%0bin\\demo.exe %1|$.DMO|%0bin\\demo.exe /o %1"


class Directives(unittest.TestCase):

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="directives-")
        self.addCleanup(shutil.rmtree, self.dir, ignore_errors=True)
        self.stub = os.path.join(self.dir, "stub.exe")
        with open(self.stub, "wb") as f:
            f.write(minimal_program())
        self.zip = os.path.join(self.dir, "in.zip")
        with zipfile.ZipFile(self.zip, "w", zipfile.ZIP_DEFLATED) as z:
            z.writestr("leia-me.txt", "Olá\r\n" * 20)
            z.writestr("bin/demo.exe", b"MZ" + bytes(100))

    def build(self, *options, out="setup.exe"):
        path = os.path.join(self.dir, out)
        result = run(WRAPPER + [MKSFX, "-o", path, "--stub", self.stub] + list(options) + [self.zip])
        return path, result

    def test_written_shown_and_read_by_the_console(self):
        sfx, result = self.build("--destination", "C:\\Instalação", "--subdirectories", "--messages",
                                 "--overwrite", "never", "--groups", GROUPS, "--extensions", EXTENSIONS)
        self.assertEqual(result.returncode, 0, result.stderr)
        shown = run(WRAPPER + [MKSFX, "--show", sfx])
        self.assertEqual(shown.returncode, 0, shown.stderr)
        out = shown.stdout.decode()
        # The stub is 1024 bytes: the record starts right after it, a multiple of 12 away.
        self.assertIn("directive record: at offset 1032", out)
        self.assertIn("0x0519 (subdirectories, messages, groups, extensions, overwrite never)", out)
        self.assertIn("destination:  C:\\Instalação", out)
        self.assertIn("groups:       " + GROUPS.replace("|", " | "), out)
        self.assertIn("bin/demo.exe", out)

        listing = run(WRAPPER + [CONSOLE, "-SETUP", sfx])
        self.assertEqual(listing.returncode, 0, listing.stderr)
        lines = listing.stdout.decode().splitlines()
        self.assertIn("Sobrescrever:             nunca", lines)
        self.assertIn("Destino:                  C:\\Instalação", lines)
        self.assertIn("Extensões:                " + EXTENSIONS.replace("|", " | "), lines)

        out_dir = os.path.join(self.dir, "out")
        os.mkdir(out_dir)
        extracted = run(WRAPPER + [CONSOLE, "-EXTRACT", "-DIRECTORIES", sfx, out_dir + "/"])
        self.assertEqual(extracted.returncode, 0, extracted.stderr)
        self.assertTrue(os.path.exists(os.path.join(out_dir, "bin", "demo.exe")))
        self.assertEqual(run(["unzip", "-tq", sfx]).returncode, 0)

    def test_a_damaged_record_is_refused_and_the_archive_still_works(self):
        sfx, result = self.build("--groups", GROUPS)
        self.assertEqual(result.returncode, 0, result.stderr)
        with open(sfx, "r+b") as f:
            f.seek(1032 + 12 + 276)  # the group field's tag
            byte = f.read(1)
            f.seek(-1, os.SEEK_CUR)
            f.write(bytes([byte[0] ^ 0x55]))
        listing = run(WRAPPER + [CONSOLE, "-SETUP", sfx])
        self.assertEqual(listing.returncode, 0)
        self.assertIn("Opções Inválidas!", listing.stderr.decode())
        self.assertIn("Criar grupos:             não", listing.stdout.decode())
        self.assertEqual(run(WRAPPER + [CONSOLE, "-TEST", sfx]).returncode, 0)
        self.assertIn("refused by the stub", run([MKSFX, "--show", sfx]).stdout.decode())

    def test_an_archive_without_paths_never_recreates_them(self):
        with zipfile.ZipFile(self.zip, "w") as z:
            z.writestr("plano.txt", "sem pastas")
        sfx, result = self.build("--subdirectories", "--messages")
        self.assertEqual(result.returncode, 0, result.stderr)
        lines = run(WRAPPER + [CONSOLE, "-SETUP", sfx]).stdout.decode().splitlines()
        self.assertIn("Recriar subdiretórios:    não", lines)
        self.assertIn("Mostrar mensagens:        sim", lines)

    def test_a_folder_with_subfolders_opens_recreating_them(self):
        tree = os.path.join(self.dir, "arvore")
        flat = os.path.join(self.dir, "plana")
        for path in ("arvore/a/leia-me.txt", "arvore/b/leia-me.txt", "plana/leia-me.txt"):
            os.makedirs(os.path.dirname(os.path.join(self.dir, path)), exist_ok=True)
            with open(os.path.join(self.dir, path), "wb") as f:
                f.write(path.encode())
        record = "directive record: at offset 1032"
        checked = "flags:        0x0001 (subdirectories, overwrite ask)"
        # inputs, options, what --show says (None: no record at all)
        cases = [
            ([tree], [], checked),
            ([tree], ["--subdirectories"], checked),
            ([tree], ["--no-subdirectories"], None),
            ([tree], ["--no-subdirectories", "--messages"], "flags:        0x0010 (messages, overwrite ask)"),
            ([flat], [], None),
            # An existing ZIP keeps what its own builder chose, even with folders inside.
            ([self.zip], [], None),
        ]
        for inputs, options, shown in cases:
            with self.subTest(inputs=os.path.basename(inputs[0]), options=options):
                sfx = os.path.join(self.dir, "default.exe")
                result = run(WRAPPER + [MKSFX, "-o", sfx, "--stub", self.stub] + options + inputs)
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertEqual("recreates the subfolders" in result.stdout.decode(),
                                 not options and inputs[0] == tree)
                out = run(WRAPPER + [MKSFX, "--show", sfx]).stdout.decode()
                if shown is None:
                    self.assertIn("directive record: none", out)
                else:
                    self.assertIn(record, out)
                    self.assertIn(shown, out)

    def test_what_the_stub_cannot_take_leaves_nothing(self):
        for options in (["--destination", "C:\\" + "d" * 300], ["--extensions", "^.TXT"],
                        ["--groups", "|[CreateGroup(X)]"]):
            with self.subTest(options=options):
                path, result = self.build(*options, out="refused.exe")
                self.assertEqual(result.returncode, 1)
                self.assertIn("nothing written", result.stderr.decode())
                self.assertFalse(os.path.exists(path))


if __name__ == "__main__":
    unittest.main(verbosity=2)
