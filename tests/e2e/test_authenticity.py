#!/usr/bin/env python3
"""Archives signed by vespa-mksfx --sign, checked by vespa-console after a test and after an
extraction: the maker and code shown when nothing changed, warning 23 beside the CRC warning
when one byte of a protected entry changed. Info-ZIP unzip and 7-Zip still read the signed
archives. Names and texts that cannot be signed are refused with nothing written.
"""

import os
import shutil
import subprocess
import sys
import tempfile
import unittest
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import consolelib  # noqa: E402
from consolelib import ConsoleTestCase  # noqa: E402

MKSFX = os.path.join(consolelib.BIN, "vespa-mksfx")


def run(args):
    return subprocess.run(args, stdin=subprocess.DEVNULL, capture_output=True,
                          timeout=consolelib.TIMEOUT)


STUB = b"MZ" + bytes(range(256)) * 4
MAKER = "Fábrica de Software Ltda."
# Number 123456 shows as ACI280.
NUMBER, CODE = "123456", "ACI280"
VERIFIED = "Autenticidade Verificada!   # "
FAILED = "Falha na Verificação de Autenticidade!"


class SignedArchives(ConsoleTestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        if not os.path.exists(MKSFX):
            raise unittest.SkipTest("vespa-mksfx is not built at " + MKSFX)
        cls.tmp = tempfile.mkdtemp(prefix="vespa-auth-e2e-")
        cls.files = {
            "leia-me.txt": b"Bem-vindo!\r\n" * 3,
            "dados.bin": os.urandom(5000),  # incompressible: stored
            "docs/manual.txt": b"".join(b"linha %d do manual\n" % i for i in range(2000)),
        }
        source = os.path.join(cls.tmp, "files")
        consolelib.write_tree(source, cls.files)
        cls.stub = os.path.join(cls.tmp, "stub.exe")
        with open(cls.stub, "wb") as f:
            f.write(STUB)
        # Info-ZIP, with its Unix extra fields and host; 7-Zip, from another writer.
        cls.infozip = os.path.join(cls.tmp, "infozip.zip")
        subprocess.run(["zip", "-q", "-r", cls.infozip, "."], cwd=source, check=True,
                       timeout=consolelib.TIMEOUT)
        cls.sevenzip = os.path.join(cls.tmp, "7z.zip")
        subprocess.run(["7z", "a", "-tzip", "-bd", "-y", cls.sevenzip, "."], cwd=source, check=True,
                       stdout=subprocess.DEVNULL, timeout=consolelib.TIMEOUT)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.tmp, ignore_errors=True)

    def sign(self, archive, *options, expect=0):
        out = os.path.join(self.make_temp(), "signed.exe")
        result = run(consolelib.WRAPPER + [MKSFX, "-o", out, "--stub", self.stub] + list(options)
                     + [archive])
        self.assertEqual(result.returncode, expect, result.stderr.decode("utf-8", "replace"))
        return out, result

    def test_verified_after_a_test_and_after_an_extraction(self):
        for archive in (self.infozip, self.sevenzip):
            for text in (None, "Versão 2.0\r\nSuporte: 0800 000 000"):
                with self.subTest(archive=os.path.basename(archive), text=text):
                    options = ["--sign", MAKER, "--sign-number", NUMBER]
                    if text:
                        options += ["--sign-text", text]
                    signed, _ = self.sign(archive, *options)
                    shown = VERIFIED + CODE + "\n" + MAKER + "\n"
                    if text:
                        shown += text.replace("\r\n", "\n") + "\n"

                    result = self.run_ok(["-TEST", signed], 0)
                    self.assertIn(shown, result.stdout)
                    self.assertEqual(result.stdout.count("  OK -AV\n"), 4)  # docs/ too
                    out = self.make_temp()
                    result = self.run_ok(["-EXTRACT", "-DIRECTORIES", signed, out + "/"], 0)
                    self.assertIn(shown, result.stdout)
                    for name, data in self.files.items():
                        with open(os.path.join(out, name), "rb") as f:
                            self.assertEqual(f.read(), data, name)

                    # Peers read the protected entries and pass over the record.
                    unzip = run(["unzip", "-t", signed])
                    self.assertEqual(unzip.returncode, 0, unzip.stdout.decode(errors="replace"))
                    seven = run(["7z", "t", signed])
                    self.assertEqual(seven.returncode, 0, seven.stdout.decode(errors="replace"))

    def test_a_changed_byte_fails_beside_the_crc_warning(self):
        signed, _ = self.sign(self.infozip, "--sign", MAKER)
        with zipfile.ZipFile(signed) as z:
            info = z.getinfo("dados.bin")
        self.assertEqual(info.compress_type, zipfile.ZIP_STORED)
        with open(signed, "r+b") as f:
            f.seek(info.header_offset + 26)
            name_length, extra_length = (int.from_bytes(f.read(2), "little") for _ in range(2))
            f.seek(info.header_offset + 30 + name_length + extra_length + 100)
            byte = f.read(1)
            f.seek(-1, 1)
            f.write(bytes([byte[0] ^ 0x01]))
        for words in (["-TEST", signed], ["-EXTRACT", signed, self.make_temp() + "/"]):
            with self.subTest(words=words[0]):
                result = self.run_ok(words, 1)
                self.assertEqual(consolelib.warnings(result),
                                 ["Falha na checagem do arquivo de CRC  dados.bin", FAILED + " "])
                self.assertNotIn(VERIFIED, result.stdout)

    def test_what_cannot_be_signed_is_refused(self):
        cases = [
            (["--sign", ""], 1, "empty"),
            (["--sign", MAKER, "--sign-text", "x" * 70000], 1, "at most"),
            (["--sign", "名前"], 1, "code page 1252"),
            (["--sign", MAKER, "--sign-number", "4294967296"], 2, "--sign-number takes"),
            (["--sign-text", "sem nome"], 2, "need --sign"),
        ]
        for options, code, reason in cases:
            with self.subTest(options=options[:2]):
                out, result = self.sign(self.infozip, *options, expect=code)
                self.assertIn(reason, result.stderr.decode("utf-8", "replace"))
                self.assertFalse(os.path.exists(out))
                self.assertEqual(os.listdir(os.path.dirname(out)), [])


if __name__ == "__main__":
    unittest.main(verbosity=2)
