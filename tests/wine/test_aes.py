#!/usr/bin/env python3
"""AES-encrypted entries in the real stub under Wine, whose keys, cipher and codes come from
CNG (bcrypt.dll): a 7-Zip archive holding AES-128, AES-192 and AES-256 entries (Deflate and
Stored inside) and a bsdtar one whose password has "ç" and "ã" (AE-1 with data descriptors beside
AE-2), each tested and extracted byte-exact with the password typed in dialog 105 once; and an
entry whose enciphered data was altered, which the stub names and does not count as extracted.
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

EXTRACT, TEST, DESTINATION, WARNINGS, SHOW_MESSAGES = 1, 1032, 1007, 1023, 1022
AUTH_WARNING = "Código de autenticação AES não confere, arquivo danificado ou alterado: "
PASSWORD_NAME, PASSWORD_EDIT, PASSWORD_OK = 1024, 1005, 1

PASSWORD = "s3nha-AES"
UNICODE_PASSWORD = "coração"
FILES = {
    "a128.txt": b"".join(b"linha %d em AES-128\r\n" % i for i in range(2000)),
    "b192.txt": b"".join(b"linha %d em AES-192\r\n" % i for i in range(2000)),
    "c256.txt": b"".join(b"linha %d em AES-256\r\n" % i for i in range(2000)),
    "d256-stored.bin": os.urandom(40000),
    "e-oi.txt": b"oi\r\n",
}
# Which file goes in with which 7-Zip switches; one archive, one password.
SEVEN_ZIP_ROWS = [
    ("a128.txt", ["-mem=AES128", "-mm=Deflate"]),
    ("b192.txt", ["-mem=AES192", "-mm=Deflate"]),
    ("c256.txt", ["-mem=AES256", "-mm=Deflate"]),
    ("d256-stored.bin", ["-mem=AES256", "-mm=Copy"]),
    ("e-oi.txt", ["-mem=AES256", "-mm=Deflate"]),
]


def tree(root):
    files = {}
    for folder, _, names in os.walk(root):
        for name in names:
            path = os.path.join(folder, name)
            with open(path, "rb") as f:
                files[os.path.relpath(path, root).replace(os.sep, "/")] = f.read()
    return files


def flip_data_byte(archive, name):
    """Flips one enciphered byte of an AES-256 entry (past its salt and verifier)."""
    with zipfile.ZipFile(archive) as z:
        info = z.getinfo(name)
    with open(archive, "r+b") as f:
        f.seek(info.header_offset + 26)
        name_length, extra_length = struct.unpack("<HH", f.read(4))
        at = info.header_offset + 30 + name_length + extra_length + 16 + 2 + 7
        f.seek(at)
        byte = f.read(1)
        f.seek(at)
        f.write(bytes([byte[0] ^ 0x20]))


class AesStub(harness.StubTestCase):

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        for tool in ("7z", "bsdtar"):
            if not shutil.which(tool):
                raise AssertionError(tool + " is missing: scripts/setup.sh test installs it")
        src = os.path.join(cls.work, "aes-src")
        os.makedirs(src, exist_ok=True)
        for name, data in FILES.items():
            with open(os.path.join(src, name), "wb") as f:
                f.write(data)
        seven = os.path.join(cls.work, "seven.zip")
        for name, switches in SEVEN_ZIP_ROWS:
            subprocess.run(["7z", "a", "-tzip", "-bd", "-y", "-p" + PASSWORD] + switches +
                           [seven, name], cwd=src, check=True, timeout=120, capture_output=True)
        cls.seven = harness.make_sfx(seven, os.path.join(cls.work, "seven.exe"), cls.stub)
        tar = os.path.join(cls.work, "tar.zip")
        subprocess.run(["bsdtar", "--format", "zip", "--options", "zip:encryption=aes256",
                        "--passphrase", UNICODE_PASSWORD, "-cf", tar] + sorted(FILES),
                       cwd=src, check=True, timeout=120, capture_output=True)
        cls.tar = harness.make_sfx(tar, os.path.join(cls.work, "tar.exe"), cls.stub)
        flip_data_byte(seven, "c256.txt")
        cls.altered = harness.make_sfx(seven, os.path.join(cls.work, "altered.exe"), cls.stub)

    def final_message(self, driver):
        _, text = driver.wait_message_box()
        driver.answer(IDOK)
        return text

    def out(self, name):
        path = os.path.join(self.work, name)
        shutil.rmtree(path, ignore_errors=True)
        os.makedirs(path)
        return path

    def test_password_typed_once_opens_every_strength(self):
        for program, password, first in ((self.seven, PASSWORD, "a128.txt"),
                                         (self.tar, UNICODE_PASSWORD, "a128.txt")):
            with self.subTest(program=os.path.basename(program)):
                driver = self.open_dialog(program)
                driver.press(TEST)
                driver.wait_window(PASSWORD_NAME, PASSWORD_EDIT)
                self.assertEqual(driver.text(PASSWORD_NAME), first)
                driver.set_text(PASSWORD_EDIT, password)
                driver.answer(PASSWORD_OK)
                self.assertEqual(self.final_message(driver), "Teste OK.")
                self.back_to_dialog(driver)
                # The extraction that follows asks no more.
                out = self.out("aes-out-" + os.path.basename(program))
                driver.set_text(DESTINATION, harness.windows_path(out))
                driver.press(EXTRACT)
                self.assertEqual(driver.exit_code(), 0)
                self.assertEqual(tree(out), FILES)

    def test_altered_entry_is_named_and_not_extracted(self):
        driver = self.open_dialog(self.altered)
        driver.check(SHOW_MESSAGES)
        driver.press(TEST)
        driver.wait_window(PASSWORD_NAME, PASSWORD_EDIT)
        driver.set_text(PASSWORD_EDIT, PASSWORD)
        driver.answer(PASSWORD_OK)
        # The decoder's own complaint may come first; the code's warning names the entry.
        shown = []
        while not shown or not shown[-1].startswith("Teste"):
            _, text = driver.wait_message_box()
            if "autenticação" in text:
                path = self.session.screenshot(os.path.join(self.screenshots, "aes-altered.png"))
                print(f"screenshot of the warning: {path}")
            shown.append(text)
            driver.answer(IDOK)
        self.assertIn(AUTH_WARNING + " c256.txt", shown)
        self.assertNotIn("c256.txt", " ".join(t for t in shown if "OK" in t))
        dialog = self.back_to_dialog(driver)
        self.assertEqual(dialog.controls[WARNINGS].text, str(len(shown) - 1))

if __name__ == "__main__":
    harness.main()
