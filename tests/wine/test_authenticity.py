#!/usr/bin/env python3
"""Signed archives in the real stub under Wine: after a test and after an extraction the stub
shows the verified maker (a message box, or the text viewer when the record carries additional
text, everything selected); the marker " -AV" follows a verified protected entry; a changed
entry counts warning 23 beside its CRC warning and shows no maker.
The x86_64 stub; VESPA_STUB_ARCH=i686 runs the same on the i686 stub where 32-bit Wine is.
"""

import os
import shutil
import struct
import subprocess
import sys
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from harness import IDOK  # noqa: E402

# Main dialog controls.
EXTRACT, TEST, DESTINATION, WARNINGS = 1, 1032, 1007, 1023
ITEM, MARKER = 1012, 1031
# Dialog 104, the text viewer.
VIEWER_TEXT, VIEWER_CLOSE = 1004, 2

MAKER = "Fábrica de Software Ltda."
NUMBER, CODE = "123456", "ACI280"  # the code the stub shows for the number
TEXT = "Versão 2.0 para Windows\r\nSuporte: 0800 000 000"


class Authenticity(harness.StubTestCase):

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.files = {"leia-me.txt": b"Bem-vindo!\r\n" * 20,
                     "dados/tabela.csv": b"a;b;c\r\n1;2;3\r\n" * 300,
                     "zz-final.txt": b"fim\r\n"}
        cls.archive = os.path.join(cls.work, "signed.zip")
        with zipfile.ZipFile(cls.archive, "w", zipfile.ZIP_STORED) as z:
            for name, data in cls.files.items():
                z.writestr(name, data)
        cls.plain = cls.sign("plain.exe", "--sign", MAKER, "--sign-number", NUMBER)
        cls.with_text = cls.sign("text.exe", "--sign", MAKER, "--sign-number", NUMBER,
                                 "--sign-text", TEXT)
        cls.changed = cls.sign("changed.exe", "--sign", MAKER, "--sign-number", NUMBER)
        cls.change_one_byte(cls.changed, "leia-me.txt")

    @classmethod
    def sign(cls, name, *options):
        out = os.path.join(cls.work, name)
        subprocess.run([harness.native_tool("vespa-mksfx"), "-o", out, "--stub", cls.stub]
                       + list(options) + [cls.archive], check=True, timeout=60,
                       stdout=subprocess.DEVNULL)
        return out

    @staticmethod
    def change_one_byte(program, name):
        with zipfile.ZipFile(program) as z:
            offset = z.getinfo(name).header_offset
        with open(program, "r+b") as f:
            f.seek(offset + 26)
            name_length, extra_length = struct.unpack("<HH", f.read(4))
            f.seek(offset + 30 + name_length + extra_length)
            byte = f.read(1)
            f.seek(-1, 1)
            f.write(bytes([byte[0] ^ 0x20]))

    def message(self, driver):
        caption, text = driver.wait_message_box()
        self.assertEqual(caption, harness.box_caption(self.caption))
        driver.answer(IDOK)
        return text

    def test_the_maker_after_a_test_and_after_an_extraction(self):
        driver = self.open_dialog(self.plain)
        driver.press(TEST)
        caption, text = driver.wait_message_box()
        self.assertEqual((caption, text), (harness.box_caption(self.caption), f"Autenticidade Verificada!   # {CODE}\n{MAKER}"))
        path = self.session.screenshot(os.path.join(self.screenshots, "authenticity-message.png"))
        print(f"screenshot of the verified maker: {path}")
        driver.answer(IDOK)
        self.assertEqual(self.message(driver), "Teste OK.")
        dialog = self.back_to_dialog(driver)
        self.assertEqual(dialog.controls[ITEM].text, "zz-final.txt")
        self.assertEqual(dialog.controls[MARKER].text, " -AV")
        self.assertEqual(dialog.controls[WARNINGS].text, "0")

        out = os.path.join(self.work, "plain-out")
        shutil.rmtree(out, ignore_errors=True)
        os.makedirs(out)
        driver.set_text(DESTINATION, harness.windows_path(out))
        driver.press(EXTRACT)
        self.assertEqual(self.message(driver), f"Autenticidade Verificada!   # {CODE}\n{MAKER}")
        self.assertEqual(driver.exit_code(), 0)
        self.assertEqual(sorted(os.listdir(out)), ["leia-me.txt", "tabela.csv", "zz-final.txt"])

    def test_additional_text_in_the_viewer_selected_whole(self):
        driver = self.open_dialog(self.with_text)
        driver.press(TEST)
        caption = driver.wait_window(VIEWER_TEXT, VIEWER_CLOSE, without=(DESTINATION,))
        self.assertEqual(caption, f"Autenticidade Verificada!   # {CODE}")
        text = driver.text(VIEWER_TEXT)
        self.assertEqual(text, MAKER + "\r\n" + TEXT)
        self.assertEqual(driver.selection(VIEWER_TEXT), (0, len(text)))
        path = self.session.screenshot(os.path.join(self.screenshots, "authenticity-viewer.png"))
        print(f"screenshot of the verified maker: {path}")
        driver.answer(VIEWER_CLOSE)
        self.assertEqual(self.message(driver), "Teste OK.")

    def test_a_changed_entry_counts_both_warnings(self):
        driver = self.open_dialog(self.changed)
        driver.press(TEST)
        self.assertEqual(self.message(driver), "Teste completado com 2 aviso(s).")
        dialog = self.back_to_dialog(driver)
        self.assertEqual(dialog.controls[WARNINGS].text, "2")
        self.assertEqual(dialog.controls[ITEM].text, "Falha na Verificação de Autenticidade! ")


if __name__ == "__main__":
    harness.main()
