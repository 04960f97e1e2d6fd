"""The documents tell the truth: every command that README.md and the man pages show for
vespa-mksfx and vespa-console runs, exactly as written, in a fresh folder holding the files the
commands name; and every option that a program's --help lists is in its man page.

The README's commands of the build itself (make, scripts/) are left out: ctest runs inside
them, and CI runs them.

Environment: VESPA_BIN (native bin directory), VESPA_SOURCE.
"""

import io
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest
import zipfile

from test_mksfx import BIN, CONSOLE, DEFAULT_STUB, MKSFX, SOURCE

README = os.path.join(SOURCE, "README.md")
MAN = os.path.join(SOURCE, "docs", "man")
TIMEOUT = 300
PROGRAMS = ("vespa-mksfx", "vespa-console")


def readme_blocks():
    """The fenced sh blocks of the README, as (first line number, text)."""
    blocks, current, start = [], None, 0
    with open(README, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            if current is None and line.strip() == "```sh":
                current, start = [], number + 1
            elif current is not None and line.strip() == "```":
                blocks.append(("README.md:%d" % start, "".join(current)))
                current = None
            elif current is not None:
                current.append(line)
    return blocks


def man_text(line):
    """A line of roff as a reader sees it."""
    line = re.sub(r"\\f[BIRP]", "", line)
    return line.replace("\\-", "-").replace("\\e", "\\").replace("\\&", "")


def man_blocks(page):
    """The .nf/.fi blocks of a man page (its examples), as (where, text)."""
    blocks, current, start = [], None, 0
    path = os.path.join(MAN, page)
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            if line.startswith(".nf"):
                current, start = [], number + 1
            elif line.startswith(".fi") and current is not None:
                blocks.append(("%s:%d" % (page, start), "".join(current)))
                current = None
            elif current is not None:
                current.append(man_text(line))
    return blocks


def program_commands(block):
    """The block without the build's own commands, continuation lines kept with theirs."""
    kept, keep = [], False
    for line in block.splitlines(keepends=True):
        if not (kept and kept[-1].rstrip().endswith("\\")):
            keep = line.split()[0] in PROGRAMS if line.strip() else False
        if keep:
            kept.append(line)
    return "".join(kept)


def small_icon():
    """A 16-pixel icon of one 32-bit bitmap: its header, the colours bottom-up, the AND mask."""
    import struct
    image = struct.pack("<IiiHHIIiiII", 40, 16, 32, 1, 32, 0, 16 * 16 * 4, 0, 0, 0, 0)
    image += bytes([0x20, 0x80, 0xE0, 0xFF]) * (16 * 16) + bytes(16 * 4)
    return (struct.pack("<HHH", 0, 1, 1) +
            struct.pack("<BBBBHHII", 16, 16, 0, 0, 1, 32, len(image), 6 + 16) + image)


def make_fixtures(root):
    """The files the documents' commands name: a tree with files and subfolders in every
    folder they pack, the single files, the ZIP archives they turn into programs, and a
    program for the commands that open one."""
    tree = {
        "ajuda.txt": b"Ajuda\r\n",
        "notas.txt": b"notas\r\n" * 50,
        "build.tmp": b"temporario",
        "bin/instalar.exe": b"MZ" + bytes(200),
        "bin/leia-me.txt": b"outro leia-me\r\n",
        "docs/manual/capitulo1.txt": b"capitulo 1\r\n" * 100,
    }
    for folder in ("folder", "pasta", "pacote", "arquivos", "app", "setup-files"):
        for name, data in tree.items():
            path = os.path.join(root, folder, name)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(data)
    with open(os.path.join(root, "produto.ico"), "wb") as f:
        f.write(small_icon())
    with open(os.path.join(root, "LEIA-ME.txt"), "wb") as f:
        f.write(b"Leia-me\r\n")
    with open(os.path.join(root, "senha.txt"), "wb") as f:
        f.write(b"segredo\n")
    for name in ("package.zip", "archive.zip", "demo.zip", "pacote.zip"):
        with zipfile.ZipFile(os.path.join(root, name), "w", zipfile.ZIP_DEFLATED) as z:
            z.writestr("LEIA-ME.TXT", "Leia-me\r\n")
            z.writestr("bin/demo.exe", b"MZ" + bytes(100))
            z.writestr("dados/tabela.txt", "1;2;3\r\n" * 40)
    # The program the console's examples open.
    subprocess.run([MKSFX, "-q", "-o", os.path.join(root, "setup.exe"),
                    os.path.join(root, "pacote.zip")], check=True, timeout=TIMEOUT)


class Documents(unittest.TestCase):

    def test_every_command_shown_runs_as_written(self):
        for stub in (DEFAULT_STUB, DEFAULT_STUB.replace("win32", "win64")):
            if not os.path.exists(stub):
                self.skipTest("the documents' commands take the built stubs; %s is missing" % stub)
        blocks = readme_blocks() + man_blocks("vespa-mksfx.1") + man_blocks("vespa-console.1")
        environment = dict(os.environ, PATH=BIN + os.pathsep + os.environ.get("PATH", ""),
                           LC_ALL="C.UTF-8")
        ran = 0
        for where, block in blocks:
            commands = program_commands(block)
            if not commands:
                continue
            with self.subTest(where=where):
                work = tempfile.mkdtemp(prefix="docs-")
                self.addCleanup(shutil.rmtree, work, ignore_errors=True)
                make_fixtures(work)
                result = subprocess.run(["bash", "-e", "-o", "pipefail", "-c", commands], cwd=work,
                                        env=environment, capture_output=True,
                                        stdin=subprocess.DEVNULL, timeout=TIMEOUT)
                self.assertEqual(result.returncode, 0,
                                 "%s:\n%s\nstdout:\n%s\nstderr:\n%s" % (
                                     where, commands, result.stdout.decode(errors="replace"),
                                     result.stderr.decode(errors="replace")))
                ran += 1
        # README, both man pages: an extraction that finds no block at all is a fault too.
        self.assertGreaterEqual(ran, 6)

    def test_readme_extraction_keeps_the_tree(self):
        """The README's first lines, followed to the end: folders come back as folders."""
        if not os.path.exists(DEFAULT_STUB):
            self.skipTest("no built stub at %s" % DEFAULT_STUB)
        work = tempfile.mkdtemp(prefix="docs-")
        self.addCleanup(shutil.rmtree, work, ignore_errors=True)
        make_fixtures(work)
        first = program_commands(readme_blocks()[1][1])
        env = dict(os.environ, PATH=BIN + os.pathsep + os.environ.get("PATH", ""))
        subprocess.run(["bash", "-e", "-c", first], cwd=work, env=env, check=True,
                       capture_output=True, timeout=TIMEOUT)
        got = sorted(os.path.relpath(os.path.join(d, f), os.path.join(work, "out"))
                     for d, _, files in os.walk(os.path.join(work, "out")) for f in files)
        self.assertEqual(got, ["ajuda.txt", "bin/leia-me.txt", "docs/manual/capitulo1.txt",
                               "notas.txt"])

    def test_every_option_of_help_is_in_the_man_page(self):
        checks = [
            (MKSFX, "vespa-mksfx.1", r"^\s+(?:-\w, )?(--[a-z0-9][a-z0-9-]*)"),
            (CONSOLE, "vespa-console.1", r"(?:^|[\s,\[|])(--?[A-Za-z]{2,})"),
        ]
        for program, page, pattern in checks:
            with self.subTest(page=page):
                shown = subprocess.run([program, "--help"], capture_output=True,
                                       timeout=TIMEOUT).stdout.decode()
                options = set()
                for line in shown.splitlines():
                    if line.startswith("  -") or line.startswith("uso:") or program == MKSFX:
                        options.update(re.findall(pattern, line))
                self.assertGreater(len(options), 8, shown)
                with open(os.path.join(MAN, page), encoding="utf-8") as f:
                    manual = "".join(man_text(line) for line in f)
                missing = sorted(o for o in options
                                 if not re.search(re.escape(o) + r"(?![A-Za-z0-9-])", manual))
                self.assertEqual(missing, [], "in %s --help but not in docs/man/%s" % (
                    os.path.basename(program), page))


if __name__ == "__main__":
    unittest.main(verbosity=2)
