#!/usr/bin/env python3
"""Builder-made archives under Wine: the stub extracts what vespa-mksfx wrote from a folder,
every name exactly (Cyrillic, Greek, CJK, emoji, two names told apart only by a character
outside code page 1252, paths past 260 and past 1,000 characters), the NTFS times set to the
100 ns; vespa-console.exe extracts the same archive the same way; and vespa-mksfx.exe, the
Windows build of the builder (zlib inside), makes under Wine an archive from a folder that the
stub extracts byte for byte.
"""

import os
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402

EXTRACT, DESTINATION, REQUIRED, RECREATE = 1, 1007, 1010, 1013
OVERWRITE_TEXT, OVERWRITE_YES = 1004, 6
WINDOWS_BUILDER = os.path.join(harness.WIN64_BIN, "vespa-mksfx.exe")
# 2021-06-15 10:20:31.1234567 UTC: an odd second with a fraction, which DOS times cannot hold.
EXACT_TIME_NS = 1623752431123456700

FILES = {
    "leia-me.txt": b"Bem-vindo ao pacote!\r\n" * 50,
    "docs/manual.txt": b"".join(b"linha %d do manual\r\n" % i for i in range(2000)),
    "docs/dados.bin": bytes((i * 131 + i // 7) & 0xFF for i in range(30000)),
    "vazio.txt": b"",
    "relat\u00f3rio \u00e7\u00e3o.txt": b"nome em 1252\r\n",
    "\u65e5\u672c \u03a9.txt": b"nome fora do 1252\r\n",
    "\u041f\u0440\u0438\u0432\u0435\u0442.txt": b"cirilico\r\n",
    "\u03b1\u03b2\u03b3/\u03b4.txt": b"grego\r\n",
    "\u65e5\u672c\u8a9e/\u30d5\u30a1\u30a4\u30eb.txt": b"japones\r\n",
    "\U0001F600.txt": b"emoji\r\n",
    # Alike once each is cut to 1252: two files all the same.
    "\u0416.txt": b"zhe\r\n",
    "\u0429.txt": b"shcha\r\n",
    # Paths past the classic 260 characters, and past 1,000, whole.
    "/".join(["p%02d_" % i + "x" * 45 for i in range(6)]) + "/longo.txt": b"caminho de 300\r\n",
    "/".join(["q%02d_" % i + "\u0436" * 45 for i in range(22)]) + "/\u0416.txt": b"caminho de 1100\r\n",
}
EMPTY_FOLDER = "vazia"
# The Windows build of the builder walks its folder through the classic calls: its files are
# those whose source paths fit them.
SHORT_FILES = {name: data for name, data in FILES.items() if len(name) < 200}


def as_the_stub_names(name):
    return name  # every name exactly, in or outside code page 1252


def folders_of(names):
    folders = set()
    for name in names:
        parts = name.split("/")
        for i in range(1, len(parts)):
            folders.add("/".join(parts[:i]))
    return folders


def snapshot(root):
    found = {}
    for folder, folders, files in os.walk(root):
        for name in folders + files:
            path = os.path.join(folder, name)
            rel = os.path.relpath(path, root).replace(os.sep, "/")
            if name in files:
                with open(path, "rb") as f:
                    found[rel] = (f.read(), os.stat(path).st_mtime_ns)
            else:
                found[rel] = (None, None)
    return found


class BuilderArchives(harness.StubTestCase):

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.source = os.path.join(cls.work, "fonte")
        cls.short_source = os.path.join(cls.work, "fonte-curta")
        for source, files in ((cls.source, FILES), (cls.short_source, SHORT_FILES)):
            for name, data in files.items():
                path = os.path.join(source, name)
                os.makedirs(os.path.dirname(path), exist_ok=True)
                with open(path, "wb") as f:
                    f.write(data)
            os.makedirs(os.path.join(source, EMPTY_FOLDER))
            for name in files:
                os.utime(os.path.join(source, name), ns=(EXACT_TIME_NS, EXACT_TIME_NS))

    def expected(self, files=FILES):
        want = {as_the_stub_names(name): data for name, data in files.items()}
        for folder in folders_of(files):
            want[folder] = None
        want[EMPTY_FOLDER] = None
        return want

    def extract_with_the_stub(self, program, name, files=FILES):
        out = os.path.join(self.work, name)
        shutil.rmtree(out, ignore_errors=True)
        os.makedirs(out)
        driver = self.session.driver()
        self.addCleanup(driver.close)
        driver.launch(program)
        driver.wait_window(DESTINATION, REQUIRED)
        driver.check(RECREATE)
        driver.set_text(DESTINATION, harness.windows_path(out))
        driver.press(EXTRACT)
        # Without "show messages" an extraction without warnings ends quietly.
        self.assertEqual(driver.exit_code(), 0)
        got = snapshot(out)
        self.assertEqual({k: v[0] for k, v in got.items()}, self.expected(files))
        return got

    def test_the_stub_extracts_a_folder_build(self):
        builder = harness.native_tool("vespa-mksfx")
        if not os.path.exists(builder):
            self.skipTest("vespa-mksfx is not built")
        program = os.path.join(self.work, "nativo.exe")
        subprocess.run([builder, "-q", "-o", program, "--stub", self.stub, self.source],
                       check=True, timeout=120)
        got = self.extract_with_the_stub(program, "nativo-out")
        for name in FILES:
            # From the NTFS field, not the DOS time's even second below.
            self.assertEqual(got[as_the_stub_names(name)][1], EXACT_TIME_NS, name)

        # The same archive through vespa-console.exe, into a destination of its own.
        console = os.path.join(harness.WIN64_BIN, "vespa-console.exe")
        out = os.path.join(self.work, "console-out")
        shutil.rmtree(out, ignore_errors=True)
        os.makedirs(out)
        result = self.session.run(console, "-EXTRACT", "-DIRECTORIES", harness.windows_path(program),
                                  harness.windows_path(out) + "\\")
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertEqual({k: v[0] for k, v in snapshot(out).items()}, self.expected())

    def test_names_outside_1252_show_in_the_stub_s_windows(self):
        """The overwrite question names a file outside code page 1252; the screenshot shows it
        as it is (the driver reads texts in 1252, which has no form for it)."""
        builder = harness.native_tool("vespa-mksfx")
        if not os.path.exists(builder):
            self.skipTest("vespa-mksfx is not built")
        name = "\u041f\u0440\u0438\u0432\u0435\u0442 \u65e5\u672c \u03a9.txt"
        source = os.path.join(self.work, "mostrar")
        os.makedirs(source, exist_ok=True)
        with open(os.path.join(source, name), "wb") as f:
            f.write(b"novo\r\n")
        program = os.path.join(self.work, "mostrar.exe")
        subprocess.run([builder, "-q", "-o", program, "--stub", self.stub, source], check=True,
                       timeout=120)
        out = os.path.join(self.work, "mostrar-out")
        shutil.rmtree(out, ignore_errors=True)
        os.makedirs(out)
        with open(os.path.join(out, name), "wb") as f:
            f.write(b"antigo\r\n")

        driver = self.session.driver()
        self.addCleanup(driver.close)
        driver.launch(program)
        driver.wait_window(DESTINATION, REQUIRED)
        driver.set_text(DESTINATION, harness.windows_path(out))
        driver.press(EXTRACT)
        driver.wait_window(OVERWRITE_TEXT, OVERWRITE_YES)
        text = driver.text(OVERWRITE_TEXT)
        self.assertTrue(text.startswith("Arquivo '"), text)
        path = self.session.screenshot(os.path.join(self.screenshots, "unicode-overwrite.png"))
        print(f"screenshot of the overwrite question with a name outside 1252: {path}")
        driver.answer(OVERWRITE_YES)
        self.assertEqual(driver.exit_code(), 0)
        with open(os.path.join(out, name), "rb") as f:
            self.assertEqual(f.read(), b"novo\r\n")

    def test_the_windows_builder_makes_an_archive_the_stub_extracts(self):
        if not os.path.exists(WINDOWS_BUILDER):
            self.skipTest("the x86_64 build has no vespa-mksfx.exe")
        result = self.session.run(WINDOWS_BUILDER, "--version")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn(b"(zlib ", result.stdout)
        program = os.path.join(self.work, "windows.exe")
        result = self.session.run(WINDOWS_BUILDER, "-o", harness.windows_path(program),
                                  "--stub", harness.windows_path(self.stub), "--level", "12",
                                  harness.windows_path(self.short_source))
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertIn(b"tested by the engine: no warnings", result.stdout)
        got = self.extract_with_the_stub(program, "windows-out", SHORT_FILES)
        for name in SHORT_FILES:
            self.assertEqual(got[as_the_stub_names(name)][1], EXACT_TIME_NS, name)


if __name__ == "__main__":
    harness.main()
