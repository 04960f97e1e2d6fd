"""One worker and many: vespa-console decodes entries on a pool of workers unless VESPA_WORKERS=1
forces the run thread alone. Whatever the number, a run must print the same lines and warnings
in the same order, end with the same exit code and leave the same files. Each archive of the
shared corpus and a few made here (large entries that go to workers between small ones that
stay on the run thread, damaged ones, a name written twice, traditional encryption, Deflate64)
runs both ways and the two runs are compared."""

import os
import time
import unittest
import zipfile

import consolelib as lib
from consolelib import CORPUS, ConsoleTestCase, read, tree_listing

MANY = "4"
PASSWORDS = {
    "libzip/encrypt-1234.zip": "1234",
    "unzip-p/encrypted.zip": "squeamish ossifrage",
    "encrypted.zip": "senha",
}


def text_block(seed, size):
    """Compressible but not trivial text: decoding it takes a worker a while."""
    lines, i = [], 0
    while sum(map(len, lines)) < size:
        lines.append(b"%d linha %d da entrada, %x\n" % (seed, i, (i * 2654435761 + seed) % 999983))
        i += 1
    return b"".join(lines)[:size]


def damage_data(archive, name, at=0.5):
    """Flips a byte of the named entry's compressed data."""
    with zipfile.ZipFile(archive) as z:
        info = z.getinfo(name)
    with open(archive, "r+b") as f:
        f.seek(info.header_offset + 26)
        header = f.read(4)
        name_length = int.from_bytes(header[:2], "little")
        extra_length = int.from_bytes(header[2:], "little")
        position = info.header_offset + 30 + name_length + extra_length + int(info.compress_size * at)
        f.seek(position)
        byte = f.read(1)
        f.seek(position)
        f.write(bytes([byte[0] ^ 0x55]))


class WorkersTest(ConsoleTestCase):
    def make_fixtures(self, root):
        made = {}
        mixed = os.path.join(root, "mixed.zip")
        entries = []
        for i in range(12):
            entries.append(("grande/g%02d.txt" % i, text_block(i, 60000 + 17000 * i)))
            entries.append(("pequeno/p%02d.txt" % i, b"entrada pequena %d\n" % i))
            if i % 4 == 0:
                entries.append(("pasta%d/" % i, None))
        # The same name twice: the second must meet the first's file as a run on one thread does.
        entries.append(("grande/g03.txt", text_block(99, 90000)))
        entries.append(("pequeno/p05.txt", b"de novo\n"))
        lib.python_zip(mixed, entries)
        made["mixed.zip"] = mixed

        damaged = os.path.join(root, "damaged.zip")
        lib.python_zip(damaged, [("a-grande.txt", text_block(1, 400000)),
                                 ("b-grande-ruim.txt", text_block(2, 300000)),
                                 ("c-pequeno-ruim.txt", text_block(3, 3000)),
                                 ("d-grande.txt", text_block(4, 200000)),
                                 ("e-grande-ruim.txt", text_block(5, 100000))])
        for name in ("b-grande-ruim.txt", "c-pequeno-ruim.txt", "e-grande-ruim.txt"):
            damage_data(damaged, name)
        made["damaged.zip"] = damaged

        # Paths past the classic 260 characters go to workers whole: a cut copy would name the
        # wrong file in a warning, or take times and attributes to another path.
        deep = "/".join("pasta_%02d_%s" % (i, "x" * 40) for i in range(8))
        long_paths = os.path.join(root, "long-paths.zip")
        lib.python_zip(long_paths, [(deep + "/inteiro.txt", text_block(6, 200000)),
                                    (deep + "/ruim.txt", text_block(7, 200000))])
        damage_data(long_paths, deep + "/ruim.txt")
        made["long-paths.zip"] = long_paths

        stored = os.path.join(root, "stored.zip")
        lib.python_zip(stored, [("s%d.bin" % i, os.urandom(30000 * (i + 1))) for i in range(6)],
                       compression=zipfile.ZIP_STORED)
        made["stored.zip"] = stored

        source = os.path.join(root, "source")
        lib.write_tree(source, {"t%d.txt" % i: text_block(i, 50000 + 9000 * i) for i in range(6)})
        if not lib.have_tools("zip"):
            encrypted = os.path.join(root, "encrypted.zip")
            lib.info_zip(encrypted, source, ["."], options=["-r", "-P", PASSWORDS["encrypted.zip"]])
            made["encrypted.zip"] = encrypted
        if not lib.have_tools("7z"):
            deflate64 = os.path.join(root, "deflate64.zip")
            lib.seven_zip(deflate64, source, ["."], options=["-mm=Deflate64"])
            made["deflate64.zip"] = deflate64
        return made

    def run_both_ways(self, label, archive, words, password=None):
        """The run with one worker and with many, each from a fresh directory of the same name,
        so that the paths they print are the same."""
        outcomes = []
        started = time.time_ns() - 2 * 10**9
        for workers in ("1", MANY):
            root = self.make_temp("vespa-workers-")
            run_in = os.path.join(root, "run")
            os.mkdir(run_in)
            args = list(words) + (["-PASSWORD=" + password] if password else [])
            result = lib.run_console(args + [archive, "out/"], cwd=run_in,
                                     env={"VESPA_WORKERS": workers})
            self.assertIsNone(lib.fault_of(result), lib.describe(result))
            out = os.path.join(run_in, "out")
            files = {}
            for name in sorted(tree_listing(out)) if os.path.isdir(out) else []:
                path = os.path.join(out, name)
                if os.path.isfile(path):
                    files[name] = (read(path), os.stat(path).st_mtime_ns, os.stat(path).st_mode)
                else:
                    files[name] = None
            outcomes.append((result, files))
        (one, one_files), (many, many_files) = outcomes
        context = "%s %s\n--- one worker\n%s\n--- %s workers\n%s" % (
            label, " ".join(words), lib.describe(one), MANY, lib.describe(many))
        self.assertEqual(one.code, many.code, context)
        self.assertEqual(one.stdout, many.stdout, context)
        self.assertEqual(one.stderr, many.stderr, context)
        self.assertEqual(one_files.keys(), many_files.keys(), context)
        for name in one_files:
            one_file, many_file = one_files[name], many_files[name]
            # A file whose entry gave no time it could take (a CRC that failed, a date of 0)
            # carries the moment each run wrote it.
            if one_file and many_file and min(one_file[1], many_file[1]) >= started:
                one_file, many_file = one_file[::2], many_file[::2]
            self.assertEqual(one_file, many_file, "%s: %s" % (name, context))
        return one

    COMMANDS = (["-TEST"], ["-EXTRACT", "-DIRECTORIES", "-OVERWRITE"], ["-EXTRACT", "-OVERWRITE=NEVER"],
                ["-EXTRACT", "-DIRECTORIES", "-OVERWRITE", "-EXTRACT=UPDATE"])

    def test_made_archives(self):
        root = self.make_temp("vespa-workers-fixtures-")
        made = self.make_fixtures(root)
        for label, archive in sorted(made.items()):
            for words in self.COMMANDS:
                with self.subTest(label=label, words=words):
                    self.run_both_ways(label, archive, words, PASSWORDS.get(label))
        # The damaged archive shows its warnings in entry order, whichever finished first.
        result = self.run_both_ways("damaged.zip", made["damaged.zip"], ["-TEST"])
        warned = [line for line in result.stderr.splitlines() if "ruim" in line]
        # Each damaged entry decodes to another size than it declares, then fails its CRC.
        self.assertEqual([w.split()[-1] for w in warned],
                         ["b-grande-ruim.txt"] * 2 + ["c-pequeno-ruim.txt"] * 2 + ["e-grande-ruim.txt"] * 2,
                         lib.describe(result))

    def test_corpus(self):
        if not os.path.isdir(CORPUS):
            self.skipTest("the corpus of other projects' archives is missing: " + CORPUS)
        for dirpath, _, filenames in sorted(os.walk(CORPUS)):
            for f in sorted(filenames):
                path = os.path.join(dirpath, f)
                rel = os.path.relpath(path, CORPUS).replace(os.sep, "/")
                for words in self.COMMANDS[:2]:
                    with self.subTest(rel=rel, words=words):
                        self.run_both_ways(rel, path, words, PASSWORDS.get(rel))


if __name__ == "__main__":
    unittest.main(verbosity=2)
