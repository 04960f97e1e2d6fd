#!/usr/bin/env python3
"""vespa-console.exe, the x86_64 console build, under Wine on the table of names Windows would
open as a device, rewrite or refuse: the same answer as vespa-console on Linux (warning 2 naming
each entry, nothing written for it, exit 1), and every near miss extracted with its bytes. Before
the check, "aux.txt" and "COM1" were reported extracted into a device and "trail." landed as
"trail"."""

import os
import re
import sys
import unittest
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
import harness  # noqa: E402
from windows_names import HOSTILE, ORDINARY, shown, write_archive  # noqa: E402

CONSOLE = os.path.join(harness.WIN64_BIN, "vespa-console.exe")
ILLEGAL_PATH = "caminho ilegal ou na especificação do drive:"


def listing(root):
    names = set()
    for folder, folders, files in os.walk(root):
        rel = os.path.relpath(folder, root)
        prefix = "" if rel == "." else rel.replace(os.sep, "/") + "/"
        names |= {prefix + d + "/" for d in folders} | {prefix + f for f in files}
    return names


class WindowsNamesUnderWine(harness.WineTestCase):

    @classmethod
    def setUpClass(cls):
        if not os.path.exists(CONSOLE):
            raise unittest.SkipTest("the x86_64 build (vespa-console.exe) is missing")
        super().setUpClass()

    def test_hostile_names_are_refused_as_on_linux(self):
        archive = os.path.join(self.work, "nomes.zip")
        contents = write_archive(archive)
        dest = os.path.join(self.work, "saida")
        os.makedirs(dest)
        result = self.session.run(CONSOLE, "-EXTRACT", "-DIRECTORIES", "-OVERWRITE=ALL",
                                  "nomes.zip", "saida\\", cwd=self.work)
        err = result.stderr.decode("utf-8", "replace")
        out = result.stdout.decode("utf-8", "replace")
        self.assertEqual(result.returncode, 1, out + err)
        warnings = [line for line in err.splitlines() if ILLEGAL_PATH in line]
        for name, why in HOSTILE:
            with self.subTest(name=name, why=why):
                pattern = re.escape(ILLEGAL_PATH) + r"\s+" + re.escape(shown(name)) + "$"
                self.assertEqual(sum(1 for w in warnings if re.search(pattern, w)), 1, err)
        self.assertEqual(len(warnings), len(HOSTILE), err)
        folders = {n.rsplit("/", 1)[0] + "/" for n in ORDINARY if "/" in n}
        self.assertEqual(listing(dest), set(ORDINARY) | folders, out + err)
        for name, data in contents.items():
            with open(os.path.join(dest, name), "rb") as f:
                self.assertEqual(f.read(), data, name)

    def test_a_link_inside_the_destination_is_not_followed(self):
        # A Linux symbolic link is what Wine shows as a reparse point; on Windows a junction.
        archive = os.path.join(self.work, "ligado.zip")
        with zipfile.ZipFile(archive, "w") as z:
            z.writestr("sub/evil.txt", b"mal\n")
            z.writestr("ok.txt", b"bom\n")
        elsewhere = os.path.join(self.work, "alhures")
        dest = os.path.join(self.work, "destino")
        os.makedirs(elsewhere)
        os.makedirs(dest)
        os.symlink(elsewhere, os.path.join(dest, "sub"))
        result = self.session.run(CONSOLE, "-EXTRACT", "-DIRECTORIES", "-OVERWRITE=ALL",
                                  "ligado.zip", "destino\\", cwd=self.work)
        err = result.stderr.decode("utf-8", "replace")
        self.assertEqual(os.listdir(elsewhere), [], err)
        self.assertEqual(result.returncode, 1, err)
        self.assertIn("Não posso criar:", err)
        with open(os.path.join(dest, "ok.txt"), "rb") as f:
            self.assertEqual(f.read(), b"bom\n")


if __name__ == "__main__":
    unittest.main(verbosity=2)
