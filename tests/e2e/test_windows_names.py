#!/usr/bin/env python3
"""Names Windows would not create as named, and links inside the destination, through
vespa-console on Linux: each hostile name is refused with warning 2 naming the entry and
nothing is written for it, though Linux could create it, so that an archive extracts to the
same files on both systems; no write goes through a link that lies inside the destination;
vespa-mksfx refuses a folder holding such names, naming each."""

import os
import shutil
import sys
import unittest

import consolelib as lib
from consolelib import ConsoleTestCase, read, tree_listing
from windows_names import HOSTILE, ORDINARY, shown, write_archive

MKSFX = os.path.join(lib.BIN, "vespa-mksfx")


class HostileNames(ConsoleTestCase):
    def test_each_is_refused_by_name_and_the_rest_extract(self):
        root = self.make_temp()
        archive = os.path.join(root, "nomes.zip")
        contents = write_archive(archive)
        dest = os.path.join(root, "out")
        os.makedirs(dest)
        result = self.run_ok(["-EXTRACT", "-DIRECTORIES", "-OVERWRITE=ALL", archive, dest + "/"], 1)
        for name, why in HOSTILE:
            with self.subTest(name=name, why=why):
                self.assertWarning(result, 2, shown(name), count=1)
        self.assertEqual(lib.count_warnings(result, 2), len(HOSTILE))
        folders = {n.rsplit("/", 1)[0] + "/" for n in ORDINARY if "/" in n}
        self.assertEqual(tree_listing(dest), set(ORDINARY) | folders, lib.describe(result))
        for name, data in contents.items():
            self.assertEqual(read(os.path.join(dest, name)), data, name)
        # A test reads every entry: the names matter only where files are made.
        self.run_ok(["-TEST", archive], 0)


class LinksInTheDestination(ConsoleTestCase):
    def setUp(self):
        self.root = self.make_temp()
        self.elsewhere = os.path.join(self.root, "alhures")
        os.makedirs(self.elsewhere)
        self.archive = os.path.join(self.root, "ligado.zip")
        lib.python_zip(self.archive, [("sub/evil.txt", b"mal\n"), ("alvo.txt", b"novo\n"),
                                      ("sub/", b""), ("ok.txt", b"bom\n")])

    def test_a_link_inside_is_never_followed(self):
        dest = os.path.join(self.root, "dest")
        os.makedirs(dest)
        os.symlink(self.elsewhere, os.path.join(dest, "sub"))
        with open(os.path.join(self.elsewhere, "antigo.txt"), "wb") as f:
            f.write(b"antigo\n")
        os.symlink(os.path.join(self.elsewhere, "antigo.txt"), os.path.join(dest, "alvo.txt"))
        result = self.run_ok(["-EXTRACT", "-DIRECTORIES", "-OVERWRITE=ALL", self.archive, dest + "/"], 1)
        self.assertWarning(result, 1, os.path.join(dest, "sub/evil.txt"))
        self.assertWarning(result, 1, os.path.join(dest, "alvo.txt"))
        self.assertEqual(os.listdir(self.elsewhere), ["antigo.txt"])
        self.assertEqual(read(os.path.join(self.elsewhere, "antigo.txt")), b"antigo\n")
        self.assertEqual(read(os.path.join(dest, "ok.txt")), b"bom\n")
        self.assertTrue(os.path.islink(os.path.join(dest, "sub")))

    def test_the_destination_itself_may_be_a_link(self):
        real = os.path.join(self.root, "real")
        os.makedirs(real)
        link = os.path.join(self.root, "atalho")
        os.symlink(real, link)
        self.run_ok(["-EXTRACT", "-DIRECTORIES", self.archive, link + "/"], 0)
        self.assertEqual(tree_listing(real), {"sub/", "sub/evil.txt", "alvo.txt", "ok.txt"})


class BuilderRefuses(unittest.TestCase):
    def test_a_folder_with_such_names_is_refused_naming_each(self):
        if not os.path.exists(MKSFX):
            self.skipTest("vespa-mksfx is not built")
        root = lib.tempfile.mkdtemp(prefix="vespa-e2e-")
        self.addCleanup(shutil.rmtree, root, True)
        src = os.path.join(root, "src")
        bad = ["aux.txt", "COM\u00b9", "pasta/con/x.txt", "trail.", "space ", "CONIN$"]
        for name in bad + ["ok.txt"]:
            os.makedirs(os.path.dirname(os.path.join(src, name)), exist_ok=True)
            with open(os.path.join(src, name), "wb") as f:
                f.write(b"x")
        out = os.path.join(root, "out")
        os.makedirs(out)
        stub = os.path.join(root, "stub.exe")
        with open(stub, "wb") as f:
            f.write(b"MZ" + bytes(1000))
        result = lib.subprocess.run(lib.WRAPPER + [MKSFX, "-o", os.path.join(out, "setup.exe"),
                                                  "--stub", stub, src],
                                    capture_output=True, stdin=lib.subprocess.DEVNULL, timeout=300)
        message = result.stderr.decode("utf-8", "replace")
        self.assertEqual(result.returncode, 1, message)
        for name in bad:
            part = [p for p in name.split("/") if p not in ("pasta", "x.txt")][0]
            self.assertIn("'%s'" % part, message)
        self.assertIn("nothing written", message)
        self.assertEqual(os.listdir(out), [])


if __name__ == "__main__":
    unittest.main(verbosity=2)
