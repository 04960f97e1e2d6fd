#!/usr/bin/env python3
"""ZIP64 archives through the real stub under Wine. 100,000 entries, which the end record can
only count as 0xFFFF (the true count is in the ZIP64 end record): "&Testar" checks every one and
"E&xtrair" writes every one; none is left out in silence. An entry past 4 GiB (ZIP64 sizes) tests
clean, and "Sim" to "&Cancelar" in the middle of its extraction ends the program there, leaving
no partial file.
The x86_64 stub; VESPA_STUB_ARCH=i686 runs the same on the i686 stub where 32-bit Wine is.
"""

import os
import sys
import time
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from harness import IDOK, IDYES  # noqa: E402

EXTRACT, CANCEL, TEST, DESTINATION, WARNINGS, RECREATE, SHOW_MESSAGES = 1, 2, 1032, 1007, 1023, 1013, 1022
ENTRIES = 100_000
LARGE = (4 << 30) + (1 << 20)  # bytes of zeros: a 4 MB archive


class Zip64Stub(harness.StubTestCase):

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        archive = os.path.join(cls.work, "muitos.zip")
        with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED) as z:
            for n in range(ENTRIES):
                z.writestr(f"d{n // 1000:03}/{n:06}.txt", b"%d\r\n" % n)
        with open(archive, "rb") as f:
            data = f.read()
        # What makes the case: a saturated count in the end record, the truth in ZIP64.
        assert data[-22:-18] == b"PK\x05\x06" and data[-12:-10] == b"\xff\xff"
        assert b"PK\x06\x07" in data[-42:-22]
        cls.sfx = harness.make_sfx(archive, os.path.join(cls.work, "muitos.exe"), cls.stub)

        archive = os.path.join(cls.work, "grande.zip")
        with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED) as z:
            with z.open("zeros.bin", "w", force_zip64=True) as f:
                block = bytes(1 << 24)
                for _ in range(LARGE // len(block)):
                    f.write(block)
                f.write(bytes(LARGE % len(block)))
        cls.large = harness.make_sfx(archive, os.path.join(cls.work, "grande.exe"), cls.stub)

    def final_message(self, driver):
        caption, text = driver.wait_message_box(timeout_ms=600_000)
        self.assertEqual(caption, harness.box_caption(self.caption))
        driver.answer(IDOK)
        return text

    def test_every_entry_is_tested_and_extracted(self):
        driver = self.open_dialog(self.sfx)
        started = time.monotonic()
        driver.press(TEST)
        self.assertEqual(self.final_message(driver), "Teste OK.")
        print(f"tested {ENTRIES} entries in {time.monotonic() - started:.1f} s")
        self.back_to_dialog(driver)
        self.assertEqual(driver.text(WARNINGS), "0")

        out = os.path.join(self.work, "saida")
        os.makedirs(out)
        driver.set_text(DESTINATION, harness.windows_path(out))
        driver.check(RECREATE)
        driver.check(SHOW_MESSAGES)  # the final message of an extraction
        started = time.monotonic()
        driver.press(EXTRACT)
        self.assertEqual(self.final_message(driver), "Extração completada.")
        print(f"extracted {ENTRIES} entries in {time.monotonic() - started:.1f} s")
        self.assertEqual(driver.exit_code(), 0)
        found = 0
        for root, _, files in os.walk(out):
            found += len(files)
        self.assertEqual(found, ENTRIES)
        with open(os.path.join(out, "d099", "099999.txt"), "rb") as f:
            self.assertEqual(f.read(), b"99999\r\n")

    def test_an_entry_past_4_gib_and_cancel_in_its_middle(self):
        driver = self.open_dialog(self.large)
        driver.press(TEST)
        self.assertEqual(self.final_message(driver), "Teste OK.")
        self.back_to_dialog(driver)

        out = os.path.join(self.work, "grande")
        os.makedirs(out)
        driver.set_text(DESTINATION, harness.windows_path(out))
        driver.press(EXTRACT)
        driver.press(CANCEL)
        _, question = driver.wait_message_box()
        self.assertEqual(question, "Deseja encerrar o VESPA®?")
        driver.press(IDYES)
        self.assertEqual(driver.exit_code(), 255)
        # Ended where it was: the entry is not finished, and what it began is taken away.
        left = {name: os.path.getsize(os.path.join(out, name)) for name in os.listdir(out)}
        self.assertEqual(left, {})


if __name__ == "__main__":
    harness.main()
