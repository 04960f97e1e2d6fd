"""make install's rules, run from the build under test into a temporary prefix: the programs run
from there, vespa-mksfx takes the installed stub of either architecture without --stub, and the
man pages are there and well formed.

Environment: VESPA_BIN (native bin directory, in the build tree whose rules are installed).
"""

import os
import shutil
import subprocess
import tempfile
import unittest

SOURCE = os.environ.get("VESPA_SOURCE", os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..")))
BIN = os.path.abspath(os.environ.get("VESPA_BIN", os.path.join(SOURCE, "build", "native", "bin")))
TIMEOUT = 300


def run(args, **kwargs):
    return subprocess.run(args, capture_output=True, timeout=TIMEOUT, stdin=subprocess.DEVNULL,
                          **kwargs)


class InstallTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        build = os.path.dirname(BIN)
        if not os.path.exists(os.path.join(build, "cmake_install.cmake")):
            raise unittest.SkipTest("no build tree at " + build)
        cls.tmp = tempfile.mkdtemp(prefix="vespa-install-")
        cls.prefix = os.path.join(cls.tmp, "prefixo")
        result = run(["cmake", "--install", build, "--prefix", cls.prefix])
        if result.returncode != 0:
            raise AssertionError(result.stdout.decode() + result.stderr.decode())

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.tmp, ignore_errors=True)

    def test_layout(self):
        found = sorted(os.path.relpath(os.path.join(d, f), self.prefix)
                       for d, _, files in os.walk(self.prefix) for f in files)
        self.assertEqual(found, ["bin/vespa-console", "bin/vespa-mksfx",
                                 "share/man/man1/vespa-console.1", "share/man/man1/vespa-mksfx.1",
                                 "share/vespa/i686/vespa-sfx.exe",
                                 "share/vespa/x86_64/vespa-sfx.exe"])

    def test_the_installed_builder_takes_the_installed_stubs(self):
        folder = os.path.join(self.tmp, "pasta")
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, "leia-me.txt"), "wb") as f:
            f.write(b"ola\r\n")
        mksfx = os.path.join(self.prefix, "bin", "vespa-mksfx")
        console = os.path.join(self.prefix, "bin", "vespa-console")
        for arch in ("i686", "x86_64"):
            with self.subTest(arch=arch):
                out = os.path.join(self.tmp, arch + ".exe")
                result = run([mksfx, "-o", out, "--arch", arch, folder])
                self.assertEqual(result.returncode, 0, result.stderr.decode())
                stub = os.path.join(self.prefix, "share", "vespa", arch, "vespa-sfx.exe")
                self.assertIn("stub: " + stub, result.stdout.decode())
                with open(stub, "rb") as s, open(out, "rb") as o:
                    self.assertEqual(o.read(os.path.getsize(stub)), s.read())
                result = run([console, "-TEST", os.path.basename(out)], cwd=self.tmp)
                self.assertEqual(result.returncode, 0, result.stdout.decode())
        for program in (mksfx, console):
            result = run([program, "--help"])
            self.assertEqual(result.returncode, 0)
            result = run([program, "--version"])
            self.assertEqual(result.returncode, 0)
            self.assertRegex(result.stdout.decode(), r"^vespa-\w+ \d+\.\d+\.\d+")

    def test_man_pages_are_well_formed(self):
        if not shutil.which("groff"):
            self.skipTest("groff is not installed")
        for page in ("vespa-mksfx.1", "vespa-console.1"):
            with self.subTest(page):
                path = os.path.join(self.prefix, "share", "man", "man1", page)
                result = run(["groff", "-man", "-Tutf8", "-ww", "-z", path])
                self.assertEqual(result.returncode, 0)
                self.assertEqual(result.stderr.decode(), "")
                result = run(["groff", "-man", "-Tutf8", "-P", "-cbou", path])
                self.assertIn("SYNOPSIS", result.stdout.decode())
                self.assertIn("EXIT STATUS", result.stdout.decode())


if __name__ == "__main__":
    unittest.main(verbosity=2)
