#!/usr/bin/env python3
"""LZMA entries through the real stub under Wine: an archive written by 7-Zip with -mm=LZMA
(end markers, a 64 KiB dictionary that matches reach the end of, lc 8) shows the space its
entries need, tests clean with "&Testar", and "E&xtrair" writes every byte.
The x86_64 stub; VESPA_STUB_ARCH=i686 runs the same on the i686 stub where 32-bit Wine is.
"""

import os
import random
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from harness import IDOK  # noqa: E402

EXTRACT, TEST, DESTINATION, REQUIRED, WARNINGS, RECREATE, SHOW_MESSAGES = 1, 1032, 1007, 1010, 1023, 1013, 1022

RNG = random.Random(14)
BLOCK = RNG.randbytes(65536)
FILES = {
    "leia-me.txt": b"Bem-vindo ao programa de instala\xe7\xe3o!\r\n" * 40,
    "programa/dados.bin": b"".join(BLOCK[:65536 - i] + bytes([i]) for i in range(12)),
    "programa/texto.txt": b"".join(b"linha %d do manual de uso\r\n" % (i * i % 977) for i in range(40000)),
    "aleatorio.bin": RNG.randbytes(30000),
}


class LzmaStub(harness.StubTestCase):

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        source = os.path.join(cls.work, "fonte")
        for name, data in FILES.items():
            path = os.path.join(source, name)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(data)
        archive = os.path.join(cls.work, "lzma.zip")
        subprocess.run(["7z", "a", "-tzip", "-bd", "-mm=LZMA:d=64k:lc=8:lp=0", archive] + sorted(FILES),
                       cwd=source, check=True, timeout=120, stdout=subprocess.DEVNULL)
        cls.sfx = harness.make_sfx(archive, os.path.join(cls.work, "lzma.exe"), cls.stub)

    def final_message(self, driver):
        caption, text = driver.wait_message_box(timeout_ms=120_000)
        self.assertEqual(caption, self.caption)
        driver.answer(IDOK)
        return text

    def test_tested_and_extracted_byte_exact(self):
        driver = self.open_dialog(self.sfx)
        # The space the entries need, in kilobytes rounded up: the sizes of the LZMA entries.
        needed = -(-sum(len(data) for data in FILES.values()) // 1024)
        self.assertIn(f"{needed:,}K", driver.text(REQUIRED))
        self.session.screenshot(os.path.join(self.screenshots, "lzma-dialog.png"))
        driver.press(TEST)
        self.assertEqual(self.final_message(driver), "Teste OK.")
        self.back_to_dialog(driver)
        self.assertEqual(driver.text(WARNINGS), "0")

        out = os.path.join(self.work, "saida")
        os.makedirs(out)
        driver.set_text(DESTINATION, harness.windows_path(out))
        driver.check(RECREATE)
        driver.check(SHOW_MESSAGES)
        driver.press(EXTRACT)
        self.assertEqual(self.final_message(driver), "Extração completada.")
        self.assertEqual(driver.exit_code(), 0)
        for name, data in FILES.items():
            with open(os.path.join(out, name), "rb") as f:
                self.assertEqual(f.read(), data, name)


if __name__ == "__main__":
    harness.main()
