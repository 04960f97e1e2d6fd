"""Replacing existing files: an entry takes an existing file's place whole or not at all.

vespa-console extracts with -OVERWRITE=ALL over a tree that is already there. Whatever ends the
run (a kill at any moment, a break, a full disk, a damaged entry), every file is afterwards its
old bytes or its new bytes, never a cut or empty file; the only file of ours a run can leave
behind is the one a kill gave no chance to remove, under its recognisable name, and the next
run into that folder goes through as if it were not there."""

import fnmatch
import os
import random
import signal
import subprocess
import time
import unittest
import zipfile

import consolelib as lib
from consolelib import CONSOLE, WRAPPER, ConsoleTestCase, read, tree_listing

WORDS = ["-EXTRACT", "-DIRECTORIES", "-OVERWRITE=ALL"]
OURS = "~vespa-*.tmp"
DAMAGED_KEPT = "Arquivo danificado no .ZIP; o arquivo existente foi mantido: "


def text_block(seed, size):
    """Compressible text that still takes the decoder some work."""
    lines, i = [], 0
    while sum(map(len, lines)) < size:
        lines.append(b"%d novo %d, %x\n" % (seed, i, (i * 2654435761 + seed) % 999983))
        i += 1
    return b"".join(lines)[:size]


def data_offset(archive, name):
    with zipfile.ZipFile(archive) as z:
        info = z.getinfo(name)
    with open(archive, "rb") as f:
        f.seek(info.header_offset + 26)
        header = f.read(4)
    return (info.header_offset + 30 + int.from_bytes(header[:2], "little")
            + int.from_bytes(header[2:], "little")), info.compress_size


def damage(archive, name, at=0.5):
    """Flips one byte of the named entry's stored data."""
    offset, size = data_offset(archive, name)
    position = offset + int(size * at)
    with open(archive, "r+b") as f:
        f.seek(position)
        byte = f.read(1)
        f.seek(position)
        f.write(bytes([byte[0] ^ 0x55]))


def files_under(root):
    """{relative name: bytes} of the files under root, ours included."""
    return {name: read(os.path.join(root, name)) for name in tree_listing(root)
            if os.path.isfile(os.path.join(root, name))}


def ours(files):
    return sorted(n for n in files if fnmatch.fnmatch(os.path.basename(n), OURS))


class ReplaceTest(ConsoleTestCase):

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        import tempfile
        cls.root = tempfile.mkdtemp(prefix="vespa-replace-")
        # Small entries, which the run thread finishes, and larger ones for the workers; stored
        # and deflated; and a folder of their own.
        cls.new = {}
        for i in range(6):
            cls.new["grande/g%d.txt" % i] = text_block(i, 150000 + 40000 * i)
            cls.new["p%d.txt" % i] = b"novo pequeno %d\n" % i * (i + 1)
        cls.new["s/guardado.bin"] = os.urandom(300000)
        cls.old = {name: b"velho " + name.encode() + b"\n" * (len(data) % 7) for name, data
                   in cls.new.items()}
        cls.archive = os.path.join(cls.root, "novo.zip")
        with zipfile.ZipFile(cls.archive, "w", zipfile.ZIP_DEFLATED) as z:
            for name, data in cls.new.items():
                z.writestr(name, data, zipfile.ZIP_STORED if name.endswith(".bin")
                           else zipfile.ZIP_DEFLATED)

    @classmethod
    def tearDownClass(cls):
        import shutil
        shutil.rmtree(cls.root, ignore_errors=True)

    def old_tree(self, root=None, files=None):
        out = os.path.join(root or self.make_temp("vespa-replace-out-"), "out")
        lib.write_tree(out, files or self.old)
        return out

    def assertOldOrNew(self, out, context, expect_ours=()):
        """Every file the old or the new bytes; of ours only what expect_ours allows."""
        files = files_under(out)
        stray = ours(files)
        self.assertTrue(expect_ours is None or set(stray) <= set(expect_ours),
                        "files of ours left: %s\n%s" % (stray, context))
        for name in self.old:
            self.assertIn(name, files, context)
            self.assertIn(files[name], (self.old[name], self.new[name]),
                          "%s is neither old nor new\n%s" % (name, context))
        return files

    def spawn(self, out, env=None):
        return subprocess.Popen(WRAPPER + [CONSOLE] + WORDS + [self.archive, out + "/"],
                                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL, env=dict(os.environ, **(env or {})))

    @staticmethod
    def wait_for_ours(out, process):
        while process.poll() is None:
            for _, _, names in os.walk(out):
                if any(fnmatch.fnmatch(n, OURS) for n in names):
                    return
            time.sleep(0.001)

    def stopped_runs(self, how, runs):
        """Runs stopped by signal how at random moments within a whole run's time."""
        out = self.old_tree()
        started = time.monotonic()
        whole = lib.run_console(WORDS + [self.archive, out + "/"])
        took = time.monotonic() - started
        self.assertEqual(whole.code, 0, lib.describe(whole))
        self.assertEqual(files_under(out), self.new)
        rng = random.Random(29)
        mixed = left_behind = 0
        for run in range(runs):
            out = self.old_tree()
            workers = rng.choice(["1", "4"])
            process = self.spawn(out, {"VESPA_WORKERS": workers})
            # Half the runs from the start (the program starting, the run ending); the others
            # from the first file of ours, where the replacing happens.
            if run % 2:
                self.wait_for_ours(out, process)
            delay = rng.uniform(0, took if run % 2 == 0 else took / 3)
            time.sleep(delay)
            process.send_signal(how)
            process.wait(timeout=60)
            context = "run %d, %s workers, signal %d after %.3f s of %.3f s" % (
                run, workers, how, delay, took)
            files = self.assertOldOrNew(out, context, expect_ours=None)
            mixed += len({files[n] == self.new[n] for n in self.new}) == 2
            left_behind += bool(ours(files))
            if how == signal.SIGINT:
                self.assertEqual(ours(files), [], context)
            elif ours(files):
                # What a kill left behind does not trouble the next run, and stays as it was.
                left = {n: files[n] for n in ours(files)}
                again = lib.run_console(WORDS + [self.archive, out + "/"])
                self.assertIsNone(lib.fault_of(again), lib.describe(again))
                self.assertEqual(again.code, 0, lib.describe(again))
                after = files_under(out)
                self.assertEqual({n: after[n] for n in ours(after)}, left, context)
                for name in self.new:
                    self.assertEqual(after[name], self.new[name], context)
        # How many runs were stopped half-way through the tree, and left a file of ours.
        print("signal %d: %d runs, %d stopped half-way, %d left a file of ours"
              % (how, runs, mixed, left_behind))

    def test_killed_at_any_moment(self):
        self.stopped_runs(signal.SIGKILL, 120)

    def test_break_leaves_nothing_of_ours(self):
        self.stopped_runs(signal.SIGINT, 30)

    def test_damaged_entries_keep_the_existing_file(self):
        # (entry, how it is stored, where the byte flips): a CRC mismatch of stored data, and
        # deflated data that the decoder gives up on or that decodes to wrong bytes.
        cases = [("s/guardado.bin", 0.5), ("grande/g3.txt", 0.5), ("grande/g5.txt", 0.02),
                 ("p2.txt", 0.5)]
        for name, at in cases:
            with self.subTest(name=name, at=at):
                archive = os.path.join(self.make_temp(), "ruim.zip")
                with open(self.archive, "rb") as source, open(archive, "wb") as target:
                    target.write(source.read())
                damage(archive, name, at)
                fresh = os.path.join(self.make_temp(), "out")
                into_nothing = lib.run_console(WORDS + [archive, fresh + "/"])
                for workers in ("1", "4"):
                    out = self.old_tree()
                    result = lib.run_console(WORDS + [archive, out + "/"],
                                             env={"VESPA_WORKERS": workers})
                    context = lib.describe(result)
                    self.assertIsNone(lib.fault_of(result), context)
                    self.assertEqual(result.code, 1, context)
                    files = files_under(out)
                    self.assertEqual(ours(files), [], context)
                    self.assertEqual(files[name], self.old[name], context)
                    kept = [w for w in lib.warnings(result) if w.startswith(DAMAGED_KEPT)]
                    self.assertEqual([w.split()[-1] for w in kept], [name], context)
                    self.assertEqual(lib.count_warnings(result, 4), 0, context)
                    for other in self.new:
                        if other != name:
                            self.assertEqual(files[other], self.new[other], other)
                # Where no file was there, the damaged entry is written as it ever was: a CRC
                # mismatch keeps its file with warning 4.
                self.assertEqual(into_nothing.code, 1, lib.describe(into_nothing))
                self.assertEqual([w for w in lib.warnings(into_nothing) if DAMAGED_KEPT in w],
                                 [], lib.describe(into_nothing))
                if lib.count_warnings(into_nothing, 4):
                    self.assertTrue(os.path.isfile(os.path.join(fresh, name)))

    def test_read_only_and_directory_in_the_way_are_not_replaced(self):
        out = self.old_tree()
        read_only = os.path.join(out, "p1.txt")
        os.chmod(read_only, 0o444)
        os.remove(os.path.join(out, "p2.txt"))
        os.mkdir(os.path.join(out, "p2.txt"))
        result = lib.run_console(WORDS + [self.archive, out + "/"])
        context = lib.describe(result)
        self.assertEqual(result.code, 1, context)
        self.assertWarning(result, 1, read_only)
        self.assertWarning(result, 1, os.path.join(out, "p2.txt"))
        self.assertEqual(read(read_only), self.old["p1.txt"])
        self.assertEqual(ours(files_under(out)), [], context)
        self.assertEqual(read(os.path.join(out, "p0.txt")), self.new["p0.txt"])

    def test_full_disk_keeps_the_existing_file(self):
        if os.geteuid() != 0:
            self.skipTest("mounting a small file system needs root")
        mount = self.make_temp("vespa-replace-tmpfs-")
        made = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=1m", "tmpfs", mount],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if made.returncode != 0:
            self.skipTest("mounting a tmpfs is not allowed here")
        self.addCleanup(subprocess.run, ["umount", "-l", mount])
        # The old big file leaves less room than its replacement needs beside it.
        big = os.path.join(self.make_temp(), "grande.zip")
        new_big = os.urandom(700 * 1024)
        old_big = b"velho\n" * 60000
        with zipfile.ZipFile(big, "w", zipfile.ZIP_STORED) as z:
            z.writestr("a.txt", b"novo a\n")
            z.writestr("b/grande.bin", new_big)
            z.writestr("c.txt", b"novo c\n")
        for workers in ("1", "4"):
            out = os.path.join(mount, "out")
            lib.write_tree(out, {"a.txt": b"velho a\n", "b/grande.bin": old_big,
                                 "c.txt": b"velho c\n"})
            result = lib.run_console(WORDS + [big, out + "/"], env={"VESPA_WORKERS": workers})
            context = lib.describe(result)
            self.assertIsNone(lib.fault_of(result), context)
            self.assertEqual(result.code, 11, context)
            files = files_under(out)
            self.assertEqual(ours(files), [], context)
            self.assertEqual(files["b/grande.bin"], old_big, context)
            self.assertEqual(files["a.txt"], b"novo a\n", context)
            self.assertEqual(files["c.txt"], b"velho c\n", context)
            subprocess.run(["rm", "-rf", out], check=True)

    def test_one_worker_and_many_agree_over_an_existing_tree(self):
        damaged = os.path.join(self.make_temp(), "ruim.zip")
        with open(self.archive, "rb") as source, open(damaged, "wb") as target:
            target.write(source.read())
        damage(damaged, "grande/g2.txt")
        damage(damaged, "p4.txt")
        for archive in (self.archive, damaged):
            seen = []
            for workers in ("1", "4"):
                root = self.make_temp("vespa-replace-agree-")
                out = self.old_tree(root)
                result = lib.run_console(WORDS + [archive, "out/"], cwd=root,
                                         env={"VESPA_WORKERS": workers})
                self.assertIsNone(lib.fault_of(result), lib.describe(result))
                seen.append((result.code, result.stdout, result.stderr, files_under(out)))
            self.assertEqual(seen[0], seen[1], archive)


if __name__ == "__main__":
    unittest.main(verbosity=2)
