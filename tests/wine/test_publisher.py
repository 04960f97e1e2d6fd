#!/usr/bin/env python3
"""The publisher's icon, version information and title, as Windows and the user see them under
Wine: an archive built with --icon, the version options and --title, then Authenticode-signed,
shows the title on its dialog and on the dialog's message boxes, still finds its archive, and
Windows' own calls (GetFileVersionInfoW, VerQueryValueW, LoadImageW through a probe of ours)
read back every field and the publisher's icon at each size. Screenshots of the dialog and its
About box are kept for a look.
"""

import os
import shutil
import subprocess
import sys
import time
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from harness import IDOK  # noqa: E402

TEST, CANCEL, ABOUT = 1032, 2, 1000
ABOUT_TITLE, ABOUT_TEXT = 1140, 1141
# Shown through the driver, which speaks code page 1252: the title stays within it.
TITLE = "Instalador da Ação Ltda 2.5"
FIELDS = {
    "CompanyName": "Ação & Cia — Компания",
    "FileDescription": "Instalador do Produto",
    "FileVersion": "2.5.0.17",
    "LegalCopyright": "© 2026 Ação & Cia",
    "OriginalFilename": "instalador.exe",
    "ProductName": "Produto Ação",
    "ProductVersion": "2.5.0.0",
}
# The icon's colours: a red ground and a green square in the middle, which ours has not.
GROUND, MIDDLE = "FF0000", "00FF00"


def run(args):
    result = subprocess.run(args, capture_output=True, timeout=120)
    if result.returncode != 0:
        raise AssertionError(" ".join(args) + ": " + result.stderr.decode(errors="replace"))
    return result


class Publisher(harness.StubTestCase):

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        for tool in ("convert", "openssl", "osslsigncode"):
            if not shutil.which(tool):
                raise AssertionError(tool + " is missing: scripts/setup.sh test installs it")
        work = cls.work
        # A 256-pixel PNG image and bitmap images of 48, 32 and 16 pixels.
        big = os.path.join(work, "big.png")
        run(["convert", "-size", "256x256", "xc:#" + GROUND, "-fill", "#" + MIDDLE, "-draw",
             "rectangle 64,64 191,191", "-depth", "8", big])
        cls.icon = os.path.join(work, "publisher.ico")
        run(["convert", big, "-define", "icon:auto-resize=256,48,32,16", cls.icon])
        archive = os.path.join(work, "app.zip")
        with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED) as z:
            z.writestr("leia-me.txt", b"Leia-me\r\n")
        built = os.path.join(work, "instalador.exe")
        run([harness.native_tool("vespa-mksfx"), "-q", "-o", built, "--stub", cls.stub,
             "--icon", cls.icon, "--title", TITLE,
             "--file-version", FIELDS["FileVersion"], "--product-version", FIELDS["ProductVersion"],
             "--product-name", FIELDS["ProductName"], "--company", FIELDS["CompanyName"],
             "--description", FIELDS["FileDescription"], "--copyright", FIELDS["LegalCopyright"],
             archive])
        key, cert = os.path.join(work, "key.pem"), os.path.join(work, "cert.pem")
        run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out",
             cert, "-days", "2", "-subj", "/CN=Publisher test"])
        cls.built = built
        cls.program = os.path.join(work, "instalador-assinado.exe")
        run(["osslsigncode", "sign", "-certs", cert, "-key", key, "-n", "Instalador", "-in",
             built, "-out", cls.program])
        run(["osslsigncode", "verify", "-CAfile", cert, "-in", cls.program])

    def test_windows_reads_the_version_information_and_the_icon(self):
        probe = os.path.join(harness.WIN64_BIN, "vespa-versionprobe.exe")
        result = self.session.run(probe, harness.windows_path(self.program))
        lines = result.stdout.decode("utf-8").splitlines()
        self.assertEqual(result.returncode, 0, lines)
        self.assertIn(f"fixed {FIELDS['FileVersion']} {FIELDS['ProductVersion']}", lines)
        self.assertIn("translation 0416 04B0", lines)
        strings = {line.split(" ", 2)[1]: line.split(" ", 2)[2] for line in lines
                   if line.startswith("string ")}
        self.assertEqual(strings, FIELDS)
        icons = {int(line.split()[1]): line.split()[2:] for line in lines if line.startswith("icon ")}
        for size in (16, 32, 48, 256):
            with self.subTest(size=size):
                self.assertEqual(icons[size], [str(size), str(size), MIDDLE])

    def test_dialog_and_its_message_boxes_take_the_title(self):
        driver = self.open_dialog(self.program)
        self.assertEqual(self.caption, TITLE)
        # The archive behind the signature is found and tests clean; the box takes the title.
        driver.press(TEST)
        caption, text = driver.wait_message_box()
        self.assertEqual((caption, text), (TITLE, "Teste OK."))
        driver.answer(IDOK)
        self.back_to_dialog(driver)
        time.sleep(1)  # the figures and buttons drawn
        path = self.session.screenshot(os.path.join(self.screenshots, "publisher-dialog.png"),
                                       driver.rect())
        print(f"screenshot of the publisher's dialog: {path}")
        # The About box shows the publisher's icon (its own caption stays ours).
        driver.press(ABOUT)
        self.assertEqual(driver.wait_window(ABOUT_TITLE, ABOUT_TEXT), "Sobre VESPA®")
        path = self.session.screenshot(os.path.join(self.screenshots, "publisher-about.png"),
                                       driver.rect())
        print(f"screenshot of the About box: {path}")
        driver.answer(IDOK)
        self.back_to_dialog(driver)
        driver.press(CANCEL)
        caption, text = driver.wait_message_box()
        self.assertEqual((caption, text), (TITLE, "Deseja encerrar o VESPA®?"))

    def test_message_before_the_dialog_takes_the_title(self):
        # The directory's first header damaged: the stub says so before its dialog exists.
        with open(self.built, "rb") as f:
            data = bytearray(f.read())
        start = data.rindex(b"PK\x01\x02")
        data[start:start + 4] = b"PK\x00\x00"
        broken = os.path.join(self.work, "danificado.exe")
        with open(broken, "wb") as f:
            f.write(data)
        driver = self.session.driver()
        self.addCleanup(driver.close)
        driver.launch(broken)
        caption, text = driver.wait_message_box()
        self.assertEqual((caption, text), (TITLE, "Erro na leitura do arquivo .ZIP "))
        driver.answer(IDOK)
        self.assertEqual(driver.exit_code(), 299)


if __name__ == "__main__":
    harness.main()
