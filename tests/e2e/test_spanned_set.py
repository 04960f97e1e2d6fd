#!/usr/bin/env python3
"""vespa-mksfx --span: a spanned set for removable disks, checked against other archivers.

The disks of a set built from an Info-ZIP archive, renamed as a split archive (NAME.z01,
NAME.z02, ..., NAME.zip for the last), are read by 7-Zip and joined by Info-ZIP's zip -s 0 into
an archive that unzip tests and extracts byte for byte: the records say the right disks and
offsets. The first disk stays a program a signing tool accepts. Sizes given badly, and sets that
cannot be made, are refused with nothing written. (The set run from a floppy drive is tested
under Wine: tests/wine/test_spanned_set.py.)

Environment: VESPA_BIN (native bin directory), VESPA_WIN32_BIN (the stub's bin directory),
VESPA_WRAPPER (a command put before the builder, such as valgrind).
"""

import os
import random
import shlex
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest

SOURCE = os.environ.get("VESPA_SOURCE", os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..")))
BIN = os.environ.get("VESPA_BIN", os.path.join(SOURCE, "build", "native", "bin"))
STUB_BIN = os.environ.get("VESPA_WIN32_BIN") or os.path.join(SOURCE, "build", "win32", "bin")
WRAPPER = shlex.split(os.environ.get("VESPA_WRAPPER", ""))
MKSFX = os.path.join(BIN, "vespa-mksfx")
TIMEOUT = 120


def run(args, cwd=None):
    return subprocess.run(args, cwd=cwd, capture_output=True, timeout=TIMEOUT,
                          stdin=subprocess.DEVNULL)


def text(result):
    return (result.stdout + result.stderr).decode("utf-8", "replace")


class SpannedSetTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.stub = os.path.join(STUB_BIN, "vespa-sfx.exe")
        if not os.path.exists(cls.stub):
            raise unittest.SkipTest("the stub is not built: " + cls.stub)
        cls.tmp = tempfile.mkdtemp(prefix="vespa-span-")
        rng = random.Random(5)
        cls.source = os.path.join(cls.tmp, "source")
        os.makedirs(os.path.join(cls.source, "docs"))
        cls.files = {
            "dados.bin": bytes(rng.getrandbits(8) for _ in range(500000)),
            "docs/leia-me.txt": "".join(f"Linha {n} do manual.\r\n" for n in range(20000)).encode(),
            "vazio.txt": b"",
        }
        for name, data in cls.files.items():
            with open(os.path.join(cls.source, name), "wb") as f:
                f.write(data)
        cls.archive = os.path.join(cls.tmp, "in.zip")
        result = run(["zip", "-q", "-X", "-r", cls.archive, "."], cwd=cls.source)
        assert result.returncode == 0, text(result)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.tmp, ignore_errors=True)

    def build(self, name, size, *extra):
        out = os.path.join(self.tmp, name)
        shutil.rmtree(out, ignore_errors=True)
        result = run(WRAPPER + [MKSFX, "--span", size, "--stub", self.stub, "-o",
                                os.path.join(out, "setup.exe")] + list(extra) + [self.archive])
        return out, result

    def disks(self, out):
        found = []
        while os.path.isdir(os.path.join(out, f"disk{len(found) + 1}")):
            found.append(os.path.join(out, f"disk{len(found) + 1}", "setup.exe"))
        return found

    def test_peers_read_the_set(self):
        # Disks just large enough for the stub and some data on the first, whatever the stub's size.
        disk_kb = os.path.getsize(self.stub) // 1024 + 60
        out, result = self.build("set", f"{disk_kb}k")
        self.assertEqual(result.returncode, 0, text(result))
        disks = self.disks(out)
        self.assertGreaterEqual(len(disks), 3)
        printed = result.stdout.decode()
        for n, disk in enumerate(disks, 1):
            self.assertLessEqual(os.path.getsize(disk), disk_kb * 1024)
            self.assertIn(f'{disk}  {os.path.getsize(disk)} bytes  label "VESPA # {n:03}"', printed)
        # The stub as built, but for the spanning marker in its DOS header's reserved words.
        with open(self.stub, "rb") as f:
            stub = f.read()
        with open(disks[0], "rb") as f:
            first = f.read(len(stub))
        self.assertEqual(first[32:36], b"PK\x07\x08")
        self.assertEqual(first[:32] + first[36:], stub[:32] + stub[36:])

        split = os.path.join(self.tmp, "split")
        shutil.rmtree(split, ignore_errors=True)
        os.makedirs(split)
        for n, disk in enumerate(disks, 1):
            name = "set.zip" if n == len(disks) else f"set.z{n:02}"
            shutil.copy(disk, os.path.join(split, name))
        if shutil.which("7z"):
            result = run(["7z", "t", "set.zip"], cwd=split)
            self.assertEqual(result.returncode, 0, text(result))
            self.assertIn("Everything is Ok", text(result))
        result = run(["zip", "-q", "-s", "0", "set.zip", "--out", "joined.zip"], cwd=split)
        self.assertEqual(result.returncode, 0, text(result))
        result = run(["unzip", "-q", "joined.zip", "-d", "files"], cwd=split)
        self.assertEqual(result.returncode, 0, text(result))
        for name, data in self.files.items():
            with open(os.path.join(split, "files", name), "rb") as f:
                self.assertTrue(f.read() == data, name)

    def test_the_first_disk_is_a_program_a_signing_tool_accepts(self):
        for tool in ("openssl", "osslsigncode"):
            if not shutil.which(tool):
                self.skipTest(tool + " is not installed")
        out, result = self.build("signed", "1.44m")
        self.assertEqual(result.returncode, 0, text(result))
        key, cert = os.path.join(self.tmp, "key.pem"), os.path.join(self.tmp, "cert.pem")
        result = run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key,
                      "-out", cert, "-days", "2", "-subj", "/CN=VESPA test signer"])
        self.assertEqual(result.returncode, 0, text(result))
        first = os.path.join(out, "disk1", "setup.exe")
        signed = os.path.join(self.tmp, "disk1-signed.exe")
        result = run(["osslsigncode", "sign", "-certs", cert, "-key", key, "-n", "VESPA",
                      "-in", first, "-out", signed])
        self.assertEqual(result.returncode, 0, text(result))
        result = run(["osslsigncode", "verify", "-CAfile", cert, "-in", signed])
        self.assertEqual(result.returncode, 0, text(result))

    def test_refusals_write_nothing(self):
        cases = [
            ("1.5", 2, "bad disk size '1.5'"),
            ("12x", 2, "bad disk size '12x'"),
            ("0k", 2, "at least one byte"),
            ("4194304k", 2, "32-bit"),
            ("64k", 1, "cannot hold the stub"),
        ]
        for size, code, says in cases:
            with self.subTest(size=size):
                out, result = self.build("refused", size)
                self.assertEqual(result.returncode, code, text(result))
                self.assertIn(says, text(result))
                self.assertFalse(os.path.exists(out), text(result))


if __name__ == "__main__":
    unittest.main(verbosity=2)
