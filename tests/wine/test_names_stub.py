#!/usr/bin/env python3
"""The real stub under Wine agrees with vespa-console on the archives whose entries were lost
or merged in silence: names in the DOS code page that 1252 lacks and names a Unix archiver wrote
in UTF-8 without saying so each extract to a file of their own under their right name; an end
record that counts no entries in front of three is refused, naming both counts; a Deflate entry
that declares a larger size than its data is warned about.
The x86_64 stub; VESPA_STUB_ARCH=i686 runs the same on the i686 stub where 32-bit Wine is.
"""

import os
import shutil
import struct
import subprocess
import sys
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from harness import IDOK  # noqa: E402

EXTRACT, TEST, DESTINATION, RECREATE, SHOW_MESSAGES = 1, 1032, 1007, 1013, 1022
PROGRAM_CAPTION = "VESPA® para Windows"

# (made-by, stored name, name on disk): DOS names beyond 1252, and Unix names in UTF-8.
NAMES = [(0x0014, b"caixa\xb0.txt", "caixa\u2591.txt"), (0x0014, b"caixa\xb1.txt", "caixa\u2592.txt"),
         (0x0014, b"relat\xa2rio.txt", "relat\u00f3rio.txt")]
NAMES += [(0x031E, n.encode(), n) for n in
          ("\u0430.txt", "\u0431.txt", "\u0432.txt", "\u03b1\u03b2\u03b3.txt",
           "\u65e5\u672c\u8a9e/\u30d5\u30a1\u30a4\u30eb.txt", "emoji \U0001F600.txt")]

# Names of files given to the zip tool, which stores them in UTF-8 without saying so.
ZIP_TOOL_NAMES = ["\u0430.txt", "\u0431.txt", "\u0432.txt", "\u0395\u03bb\u03bb\u03b7\u03bd\u03b9\u03ba\u03ac.txt",
                  "\u05e2\u05d1\u05e8\u05d9\u05ea.txt", "\u4e2d\u6587/\ud55c\uad6d\uc5b4.txt",
                  "a\u00e7\u00facar.txt", "\u20acuro.txt"]


def crafted_zip(path, entries):
    """Stored entries (made-by, name bytes, data) with no flag and no extra field."""
    local, central = bytearray(), bytearray()
    for made_by, stored, data in entries:
        fixed = struct.pack("<HHHHHIIIH", 20, 0, 0, 0x3000, 0x5264, zlib.crc32(data), len(data),
                            len(data), len(stored))
        offset = len(local)
        local += b"PK\x03\x04" + fixed + b"\x00\x00" + stored + data
        central += (b"PK\x01\x02" + struct.pack("<H", made_by) + fixed +
                    struct.pack("<HHHHII", 0, 0, 0, 0, 0, offset) + stored)
    end = b"PK\x05\x06" + struct.pack("<HHHHIIH", 0, 0, len(entries), len(entries), len(central),
                                       len(local), 0)
    with open(path, "wb") as f:
        f.write(bytes(local + central) + end)


def deflated_zip(path, name, data, declared):
    """One Deflate entry whose directory declares `declared` bytes."""
    compressor = zlib.compressobj(9, zlib.DEFLATED, -15)
    packed = compressor.compress(data) + compressor.flush()
    crc = zlib.crc32(data)
    stored = name.encode()
    local = b"PK\x03\x04" + struct.pack("<HHHIIIIHH", 20, 0, 8, 0x52643000, crc, len(packed),
                                        len(data), len(stored), 0) + stored + packed
    central = b"PK\x01\x02" + struct.pack("<HHHHIIIIHHHHHII", 0x0014, 20, 0, 8, 0x52643000, crc,
                                          len(packed), declared, len(stored), 0, 0, 0, 0, 0x20,
                                          0) + stored
    end = b"PK\x05\x06" + struct.pack("<HHHHIIH", 0, 0, 1, 1, len(central), len(local), 0)
    with open(path, "wb") as f:
        f.write(local + central + end)


def patch_last(path, signature, at, data):
    """Writes data at offset at of the last record with signature in the file."""
    with open(path, "r+b") as f:
        f.seek(f.read().rindex(signature) + at)
        f.write(data)


def listing(root):
    files = {}
    for folder, _, names in os.walk(root):
        for n in names:
            path = os.path.join(folder, n)
            with open(path, "rb") as f:
                files[os.path.relpath(path, root).replace(os.sep, "/")] = f.read()
    return files


class NamesUnderTheStub(harness.StubTestCase):

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        names = os.path.join(cls.work, "nomes.zip")
        crafted_zip(names, [(m, s, d.encode() + b"\r\n") for m, s, d in NAMES])
        cls.names = harness.make_sfx(names, os.path.join(cls.work, "nomes.exe"), cls.stub)

        # The builder refuses such archives: the figures are changed in the programs it made.
        none_counted = os.path.join(cls.work, "zero.zip")
        crafted_zip(none_counted, [(0x0014, b"%d.txt" % i, b"%d\r\n" % i) for i in range(3)])
        cls.none_counted = harness.make_sfx(none_counted, os.path.join(cls.work, "zero.exe"),
                                            cls.stub)
        patch_last(cls.none_counted, b"PK\x05\x06", 8, struct.pack("<HH", 0, 0))

        larger = os.path.join(cls.work, "maior.zip")
        data = b"dados comprimidos\r\n" * 300
        deflated_zip(larger, "d.txt", data, len(data))
        cls.larger = harness.make_sfx(larger, os.path.join(cls.work, "maior.exe"), cls.stub)
        patch_last(cls.larger, b"PK\x01\x02", 24, struct.pack("<I", 0xFFFFFFFF))

    def extract_all(self, program, out):
        driver = self.open_dialog(program)
        os.makedirs(out)
        driver.set_text(DESTINATION, harness.windows_path(out))
        driver.check(RECREATE)
        driver.check(SHOW_MESSAGES)  # the final message of an extraction
        driver.press(EXTRACT)
        self.assertEqual(self.final_message(driver), "Extração completada.")
        self.assertEqual(driver.exit_code(), 0)

    def final_message(self, driver):
        caption, text = driver.wait_message_box()
        self.assertEqual(caption, self.caption)
        driver.answer(IDOK)
        return text

    def test_each_name_extracts_to_a_file_of_its_own(self):
        out = os.path.join(self.work, "saida")
        self.extract_all(self.names, out)
        self.assertEqual(listing(out), {d: d.encode() + b"\r\n" for _, _, d in NAMES})

    def test_an_archive_of_the_zip_tool_under_a_utf8_locale(self):
        if not shutil.which("zip"):
            self.skipTest("Info-ZIP zip is missing")
        files = {n: n.encode() * 100 for n in ZIP_TOOL_NAMES}
        source = os.path.join(self.work, "fonte")
        for name, data in files.items():
            os.makedirs(os.path.dirname(os.path.join(source, name)), exist_ok=True)
            with open(os.path.join(source, name), "wb") as f:
                f.write(data)
        archive = os.path.join(self.work, "zip-utf8.zip")
        subprocess.run(["zip", "-q", "-r", archive, "."], cwd=source, check=True, timeout=60,
                       env=dict(os.environ, LC_ALL="C.UTF-8", LANG="C.UTF-8"))
        program = harness.make_sfx(archive, os.path.join(self.work, "zip-utf8.exe"), self.stub)
        out = os.path.join(self.work, "saida-zip")
        self.extract_all(program, out)
        self.assertEqual(listing(out), files)

    def test_an_end_record_counting_no_entries_is_refused(self):
        driver = self.session.driver()
        try:
            driver.launch(self.none_counted)
            caption, text = driver.wait_message_box()
            path = self.session.screenshot(os.path.join(self.screenshots, f"zero-entries-{self.bits}.png"))
            print(f"screenshot of the refusal: {path}")
            driver.answer(IDOK)
            self.assertEqual(caption, PROGRAM_CAPTION)
            self.assertTrue(text.startswith("Erro na leitura do arquivo .ZIP "), text)
            self.assertIn("o diretório central tem 3 entradas e o registro final anuncia 0", text)
            self.assertEqual(driver.exit_code(), 299)
        finally:
            driver.close()

    def test_a_deflate_entry_declaring_more_than_its_data_is_warned_about(self):
        driver = self.open_dialog(self.larger)
        driver.press(TEST)
        self.assertEqual(self.final_message(driver), "Teste completado com 1 aviso(s).")
        self.back_to_dialog(driver)


if __name__ == "__main__":
    harness.main()
