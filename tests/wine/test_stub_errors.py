#!/usr/bin/env python3
"""The real x86_64 stub under Wine, from start-up to its first window.

A broken archive shows its numbered message in a box captioned with the program's name and
ends the process with the message number + 149; a good archive, made by Info-ZIP zip or by
7-Zip and turned into a self-extracting archive, opens the main dialog with its figures and
options set up, and Cancel asks before it ends the program with exit code 0.
"""

import math
import os
import struct
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from harness import IDCANCEL, IDNO, IDOK, IDYES  # noqa: E402

PROGRAM_CAPTION = "VESPA® para Windows"

# Main dialog controls.
DESTINATION, INFORMATION, REQUIRED, AVAILABLE = 1007, 1002, 1010, 1011
RECREATE, RUN_AFTER, CREATE_GROUPS, REGISTER_EXTENSIONS = 1013, 1014, 1024, 1015
ASK, ALWAYS, NEVER, SHOW_MESSAGES = 1019, 1020, 1021, 1022
EXTRACT, TEST, ABOUT = 1, 1032, 1000
IDLE_LINE, PROGRESS = 1008, (1012, 1016, 1031)
FIGURES = (1028, 1029, 1009, 1023)


def end_record_offset(data):
    return data.rindex(b"PK\x05\x06")


def central_directory_offset(data):
    return struct.unpack_from("<I", data, end_record_offset(data) + 16)[0]


def second_central_header(data):
    first = central_directory_offset(data)
    name, extra, comment = struct.unpack_from("<HHH", data, first + 28)
    return first + 46 + name + extra + comment


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)
    return path


def windows_archive_path(path):
    """The archive path as the stub keeps it: its Windows name with '/' separators."""
    return harness.windows_path(path).replace("\\", "/")


class StubStartUp(harness.StubTestCase):

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        # A flat tree for zip (text large enough to show thousands separators) and a tree with
        # a subdirectory for 7-Zip.
        flat = os.path.join(cls.work, "flat")
        os.makedirs(flat)
        write(os.path.join(flat, "leia-me.txt"), b"Arquivo de teste.\r\n" * 200)
        write(os.path.join(flat, "dados.bin"), bytes(range(256)) * 5860)
        cls.flat_sizes = [os.path.getsize(os.path.join(flat, n)) for n in os.listdir(flat)]
        nested = os.path.join(cls.work, "nested")
        os.makedirs(os.path.join(nested, "docs"))
        write(os.path.join(nested, "raiz.txt"), b"raiz\n" * 100)
        write(os.path.join(nested, "docs", "manual.txt"), b"manual\n" * 1000)
        cls.nested_sizes = [100 * 5, 1000 * 7]

        zipped = os.path.join(cls.work, "flat.zip")
        subprocess.run(["zip", "-q", "-X", "-j", "-z", zipped] + sorted(
            os.path.join(flat, n) for n in os.listdir(flat)),
            input=b"Comentario do pacote\n.\n", check=True, timeout=60)
        seven = os.path.join(cls.work, "nested.zip")
        subprocess.run(["7z", "a", "-tzip", "-bd", "-bso0", seven, "raiz.txt", "docs"],
                       cwd=nested, check=True, timeout=60, stdout=subprocess.DEVNULL)
        cls.zip_sfx = harness.make_sfx(zipped, os.path.join(cls.work, "zip-setup.exe"), cls.stub)
        cls.seven_sfx = harness.make_sfx(seven, os.path.join(cls.work, "7z-setup.exe"), cls.stub)

    def broken(self, name, change):
        with open(self.zip_sfx, "rb") as f:
            data = bytearray(f.read())
        return write(os.path.join(self.work, name + ".exe"), bytes(change(data)))

    def run_to_message(self, program):
        driver = self.session.driver()
        try:
            driver.launch(program)
            caption, text = driver.wait_message_box()
            driver.answer(IDOK)
            return caption, text, driver.exit_code()
        finally:
            driver.close()

    def test_broken_archives_show_their_message_and_end_with_its_exit_code(self):
        def without_archive(_):
            with open(self.stub, "rb") as f:
                return f.read()

        def directory_cut_short(data):
            # The end record stays, but the directory it points at ends after 10 bytes.
            start, end = central_directory_offset(data), end_record_offset(data)
            return data[:start + 10] + data[end:]

        def first_header_missing(data):
            start = central_directory_offset(data)
            data[start:start + 4] = b"PK\x00\x00"
            return data

        def later_header_missing(data):
            second = second_central_header(data)
            data[second:second + 4] = b"PK\x00\x00"
            return data

        cases = [
            ("no-archive", without_archive, "Não encontrado as assinaturas de CE ", 301),
            ("directory-cut-short", directory_cut_short, "Final prematuro do .ZIP ", 302),
            ("first-header-missing", first_header_missing, "Erro na leitura do arquivo .ZIP ", 299),
            ("later-header-missing", later_header_missing, "Não encontrado as assinaturas de CE ", 301),
        ]
        with open(self.stub, "rb") as f:
            stub = f.read()
        for name, change, message, exit_code in cases:
            with self.subTest(name):
                if name == "no-archive":
                    # The search runs back through the whole file, the stub's own bytes included.
                    self.assertEqual(stub.count(b"PK\x05\x06"), 0,
                                     "the stub's own bytes hold an end-record signature")
                caption, text, code = self.run_to_message(self.broken(name, change))
                self.assertEqual(caption, PROGRAM_CAPTION)
                self.assertEqual(text, message)
                self.assertEqual(code, exit_code)

    def test_good_archives_open_the_main_dialog_and_cancel_asks_first(self):
        cases = [
            # name, program, has directories, has a comment, uncompressed sizes
            ("zip", self.zip_sfx, False, True, self.flat_sizes),
            ("7z", self.seven_sfx, True, False, self.nested_sizes),
        ]
        for name, program, has_directories, has_comment, sizes in cases:
            with self.subTest(name):
                driver = self.session.driver()
                try:
                    driver.launch(program)
                    caption = driver.wait_window(DESTINATION, REQUIRED)
                    self.assertEqual(caption, "VESPA® - " + windows_archive_path(program))
                    dialog = driver.dump()
                    c = dialog.controls
                    required = math.ceil(sum(sizes) / 1024)
                    self.assertEqual(c[REQUIRED].text, f"{required:,}K")
                    self.assertRegex(c[AVAILABLE].text, r"^\d{1,3}(,\d{3})*K$")
                    self.assertNotEqual(c[AVAILABLE].text, "7,957,864K")  # the template's placeholder
                    # The destination starts in the temporary directory.
                    self.assertRegex(c[DESTINATION].text, r"(?i)^[A-Z]:\\.*\\temp$")
                    # Options as a program file without directives starts them.
                    self.assertEqual(c[RECREATE].enabled, has_directories)
                    self.assertEqual(c[INFORMATION].enabled, has_comment)
                    for cid in (RECREATE, RUN_AFTER, CREATE_GROUPS, REGISTER_EXTENSIONS, SHOW_MESSAGES,
                                ALWAYS, NEVER):
                        self.assertFalse(c[cid].checked, cid)
                    self.assertTrue(c[ASK].checked)
                    for cid in (RUN_AFTER, CREATE_GROUPS, REGISTER_EXTENSIONS):
                        self.assertFalse(c[cid].enabled, cid)
                    for cid in (EXTRACT, TEST, ABOUT, DESTINATION, ASK, SHOW_MESSAGES):
                        self.assertTrue(c[cid].enabled, cid)
                    for cid in FIGURES:
                        self.assertFalse(c[cid].enabled, cid)
                    self.assertTrue(c[IDLE_LINE].visible)
                    for cid in PROGRESS:
                        self.assertFalse(c[cid].visible, cid)

                    shot = self.session.screenshot(
                        os.path.join(self.screenshots, f"main-dialog-{name}.png"), driver.rect())
                    print(f"screenshot of the main dialog ({name}): {shot}")

                    # "No" keeps the dialog; "Yes" ends the program normally.
                    driver.press(IDCANCEL)
                    box_caption, text = driver.wait_message_box()
                    self.assertEqual(text, "Deseja encerrar o VESPA®?")
                    self.assertEqual(box_caption, harness.box_caption(caption))
                    driver.answer(IDNO)
                    self.assertEqual(driver.wait_window(DESTINATION), caption)
                    driver.press(IDCANCEL)
                    driver.wait_message_box()
                    driver.answer(IDYES)
                    self.assertEqual(driver.exit_code(), 0)
                finally:
                    driver.close()


if __name__ == "__main__":
    harness.main()
