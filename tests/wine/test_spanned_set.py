#!/usr/bin/env python3
"""A spanned set made by vespa-mksfx --span, run by the real x86_64 stub from floppy drive A:.

Drive A: of the prefix is a floppy-type drive over a folder (see harness.FloppyDrive). The stub
is started from disk 1; every disk prompt ("Insira o Último Disco", "Insira o Disco #N") is
answered by changing the disk in the drive (the folder's files and label) and pressing OK. The
set has three disks and its central directory starts on disk 2 and ends on disk 3: it extracts
byte for byte, and a disk without the file, without the end record when the last disk is asked
for, or with the wrong label is asked for again. Cancel at a prompt ends with message 19 and
exit code 19, as does vespa-console.exe run from the drive with its input closed, where it
cannot ask. Copied to a fixed drive, the set's files are single, damaged archives: they fail
with a structural error and ask for no disk.
"""

import os
import random
import re
import shutil
import struct
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from harness import IDCANCEL, IDOK  # noqa: E402

DESTINATION, REQUIRED, EXTRACT, RECREATE = 1007, 1010, 1, 1013
LAST_DISK = "Insira o Último Disco"
DISK = re.compile(r"^Insira o Disco #(\d+)$")
CONSOLE = os.path.join(harness.WIN64_BIN, "vespa-console.exe")
PROGRAM = "A:\\setup.exe"


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def tree(root):
    found = {}
    for folder, _, names in os.walk(root):
        for name in names:
            path = os.path.join(folder, name)
            with open(path, "rb") as f:
                found[os.path.relpath(path, root).replace(os.sep, "/")] = f.read()
    return found


def end_record(path):
    """(thisDisk, directoryDisk, entries on this disk, total entries) of a disk's end record."""
    with open(path, "rb") as f:
        data = f.read()
    at = data.rindex(b"PK\x05\x06")
    return struct.unpack_from("<HHHH", data, at + 4)


class SpannedSetUnderWine(harness.StubTestCase):

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        rng = random.Random(11)
        source = os.path.join(cls.work, "source")
        # Incompressible data that runs over the first disk's end, and many entries with long
        # names: a directory large enough to run over a disk's end too.
        cls.files = {"dados/aleatorio.bin": bytes(rng.getrandbits(8) for _ in range(240000))}
        for n in range(180):
            cls.files[f"documentos/arquivo-de-texto-numero-{n:03}.txt"] = (
                f"Linha {n} do arquivo.\r\n" * (n % 7 + 1)).encode("cp1252")
        for name, data in cls.files.items():
            write(os.path.join(source, name), data)
        archive = os.path.join(cls.work, "set.zip")
        subprocess.run(["zip", "-q", "-X", "-r", archive, "."], cwd=source, check=True, timeout=60)

        # A disk size that puts the middle of the directory at the end of disk 2: entries
        # (after the stub) over disks 1 and 2, the directory over disks 2 and 3.
        with open(archive, "rb") as f:
            data = f.read()
        at = data.rindex(b"PK\x05\x06")
        directory_size, directory_offset = struct.unpack_from("<II", data, at + 12)
        stub = (os.path.getsize(cls.stub) + 11) // 12 * 12
        cls.disk_size = (stub + directory_offset + directory_size // 2) // 2
        built = subprocess.run(
            [harness.native_tool("vespa-mksfx"), "--span", str(cls.disk_size), "--stub", cls.stub,
             "-o", os.path.join(cls.work, "set", "setup.exe"), archive],
            check=True, timeout=60, capture_output=True, text=True)
        cls.printed = built.stdout
        cls.disks = [os.path.join(cls.work, "set", f"disk{n}") for n in (1, 2, 3)]

    def setUp(self):
        self.driver = self.session.driver()
        self.addCleanup(self.driver.close)
        self.asked = []

    def assert_holds(self, folder, files):
        """folder holds exactly files, byte for byte; a difference is told by name and offset."""
        found = tree(folder)
        self.assertEqual(sorted(found), sorted(files))
        for name, data in files.items():
            got = found[name]
            if got != data:
                at = next((i for i, (a, b) in enumerate(zip(got, data)) if a != b),
                          min(len(got), len(data)))
                self.fail(f"{name}: {len(got)} bytes, {len(data)} expected, first difference at {at}")

    def insert(self, number):
        self.driver.insert_disk(self.disks[number - 1])

    def prompt(self):
        """Waits for a disk prompt; records and returns the disk it asks for (0: the last)."""
        caption, text = self.driver.wait_message_box()
        if text == LAST_DISK:
            self.asked.append("last")
            return 0
        match = DISK.match(text)
        self.assertIsNotNone(match, f"not a disk prompt: {text!r}")
        self.asked.append(int(match.group(1)))
        return int(match.group(1))

    def answer_prompts(self, count, wrong=None, screenshot=None):
        """Answers count prompts with the disk asked for; wrong maps a prompt's place (0-based)
        to what goes in the drive instead: a disk number, or None for a disk without the file.
        screenshot: a file name for a picture of the first prompt."""
        wrong = wrong or {}
        for i in range(count):
            disk = self.prompt()
            if i == 0 and screenshot:
                self.session.screenshot(os.path.join(self.screenshots, screenshot))
            if i in wrong:
                if wrong[i] is None:
                    self.driver.insert_disk(None, "DISCO VAZIO")
                else:
                    self.insert(wrong[i])
            else:
                self.insert(disk or 3)
            self.driver.answer(IDOK)

    # --- the set as built ---------------------------------------------------------------
    def test_the_builder_lays_out_three_labelled_disks(self):
        for n, folder in enumerate(self.disks, 1):
            self.assertLessEqual(os.path.getsize(os.path.join(folder, "setup.exe")), self.disk_size)
            with open(os.path.join(folder, "LABEL.TXT")) as f:
                self.assertEqual(f.read(), f"VESPA # {n:03}\n")
            self.assertIn(f'disk{n}/setup.exe', self.printed)
            self.assertIn(f'label "VESPA # {n:03}"', self.printed)
        self.assertFalse(os.path.exists(os.path.join(self.work, "set", "disk4")))
        this_disk, directory_disk, on_disk, total = end_record(
            os.path.join(self.disks[2], "setup.exe"))
        self.assertEqual((this_disk, directory_disk), (2, 1))
        self.assertLess(0, on_disk)
        self.assertLess(on_disk, total)
        with open(os.path.join(self.disks[0], "setup.exe"), "rb") as f:
            head = f.read(36)
        self.assertEqual(head[:2], b"MZ")
        self.assertEqual(head[32:36], b"PK\x07\x08")

    # --- runs from drive A: ----------------------------------------------------------------
    def test_extracts_byte_for_byte_asking_again_for_wrong_disks(self):
        self.insert(1)
        self.assertEqual(self.driver.volume("A:\\"), (2, "VESPA # 001"))
        self.driver.launch(PROGRAM)
        # Start-up: the last disk (first a disk without the file, then disk 1, whose file has
        # no end record), the directory's start on disk 2 (first disk 1, whose label says 1),
        # its end on disk 3.
        self.prompt()
        self.session.screenshot(os.path.join(self.screenshots, "spanned-last-disk.png"))
        self.driver.insert_disk(None, "DISCO VAZIO")
        self.driver.answer(IDOK)
        self.answer_prompts(5, wrong={0: 1, 2: 1})
        self.driver.wait_window(DESTINATION, REQUIRED)
        self.assertEqual(self.asked, ["last", "last", "last", 2, 2, 3])

        out = os.path.join(self.work, "out")
        shutil.rmtree(out, ignore_errors=True)
        os.makedirs(out)
        self.driver.check(RECREATE)
        self.driver.set_text(DESTINATION, harness.windows_path(out))
        self.driver.press(EXTRACT)
        self.asked = []
        self.answer_prompts(2, screenshot="spanned-disk-prompt.png")
        self.assertEqual(self.asked, [1, 2])
        self.assertEqual(self.driver.exit_code(), 0)
        self.assert_holds(out, self.files)

    def test_cancel_at_a_prompt_ends_with_message_19(self):
        self.insert(1)
        self.driver.launch(PROGRAM)
        self.assertEqual(self.prompt(), 0)
        self.driver.answer(IDCANCEL)
        _, text = self.driver.wait_message_box()
        self.assertEqual(text, "Extração do arquivo abortada ")
        self.session.screenshot(os.path.join(self.screenshots, "spanned-aborted.png"))
        self.driver.answer(IDOK)
        self.assertEqual(self.driver.exit_code(), 19)

    def test_the_console_that_cannot_ask_ends_as_a_cancel(self):
        self.insert(1)
        shown = self.session.run(CONSOLE, "-TEST", PROGRAM)
        self.assertEqual(shown.returncode, 19)
        self.assertIn("Extração do arquivo abortada", shown.stdout.decode("utf-8", "replace") +
                      shown.stderr.decode("utf-8", "replace"))

    # --- the same files on a fixed drive -----------------------------------------------------
    def test_on_a_fixed_drive_each_file_is_a_single_damaged_archive(self):
        fixed = os.path.join(self.work, "fixed")
        shutil.rmtree(fixed, ignore_errors=True)
        for n in (1, 3):
            os.makedirs(os.path.join(fixed, f"disk{n}"))
            shutil.copy(os.path.join(self.disks[n - 1], "setup.exe"),
                        os.path.join(fixed, f"disk{n}", "setup.exe"))
        # The last disk's file through the console: its directory is not where a single file
        # would hold it.
        self.driver.launch(CONSOLE, "-TEST", os.path.join(fixed, "disk3", "setup.exe"))
        self.assertEqual(self.driver.exit_code(), 299)
        shown = self.session.run(CONSOLE, "-TEST", os.path.join(fixed, "disk3", "setup.exe"))
        self.assertIn("Erro na leitura do arquivo .ZIP", shown.stdout.decode("utf-8", "replace") +
                      shown.stderr.decode("utf-8", "replace"))
        # The first disk run as a program: no end record, no prompt.
        self.driver.launch(os.path.join(fixed, "disk1", "setup.exe"))
        _, text = self.driver.wait_message_box()
        self.assertEqual(text, "Não encontrado as assinaturas de CE ")
        self.driver.answer(IDOK)
        self.assertEqual(self.driver.exit_code(), 152 + 149)


if __name__ == "__main__":
    harness.main()
