#!/usr/bin/env python3
"""The publisher's icon, version information and title written by vespa-mksfx into the real
stubs, read back by tools of others: icoutils (wrestool, icotool) give back every image of the
icon byte for byte, Python's pefile reads every version field and finds the header checksum
right, osslsigncode signs and verifies the result, and the archive is still read. Also: the
output is the same for the same inputs, an archive built without these options keeps the stub's
bytes, --show prints what was written, and what is not an icon or a version is refused with
nothing written.

Environment: VESPA_BIN (native bin directory), VESPA_WIN64_BIN and VESPA_WIN32_BIN (the stubs).
"""

import os
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
import zipfile

try:
    import pefile
except ImportError:  # Debian's python3-pefile, under another interpreter than the system's
    sys.path.append("/usr/lib/python3/dist-packages")
    try:
        import pefile
    except ImportError:
        pefile = None

SOURCE = os.environ.get("VESPA_SOURCE", os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..")))
BIN = os.environ.get("VESPA_BIN", os.path.join(SOURCE, "build", "native", "bin"))
MKSFX = os.path.join(BIN, "vespa-mksfx")
CONSOLE = os.path.join(BIN, "vespa-console")
STUBS = {
    "i686": os.path.join(os.environ.get("VESPA_WIN32_BIN", os.path.join(SOURCE, "build", "win32", "bin")), "vespa-sfx.exe"),
    "x86_64": os.path.join(os.environ.get("VESPA_WIN64_BIN", os.path.join(SOURCE, "build", "win64", "bin")), "vespa-sfx.exe"),
}
TIMEOUT = 120

FIELDS = {
    "CompanyName": "Ação & Cia — Компания",
    "FileDescription": "Instalador do Produto",
    "FileVersion": "3.1.4.1592",
    "LegalCopyright": "© 2026 Ação & Cia",
    "OriginalFilename": "setup-final.exe",
    "ProductName": "Produto Ação",
    "ProductVersion": "3.1.0.0",
}
TITLE = "Instalação do Produto Ação — Компания"
ALL_OPTIONS = ["--file-version", FIELDS["FileVersion"], "--product-version", FIELDS["ProductVersion"],
               "--product-name", FIELDS["ProductName"], "--company", FIELDS["CompanyName"],
               "--description", FIELDS["FileDescription"], "--copyright", FIELDS["LegalCopyright"],
               "--original-name", FIELDS["OriginalFilename"], "--title", TITLE]


def run(args, cwd=None):
    return subprocess.run(args, cwd=cwd, capture_output=True, timeout=TIMEOUT, stdin=subprocess.DEVNULL)


def text(result):
    return (result.stdout + result.stderr).decode(errors="replace")


def ico_images(data):
    """[(directory entry without its offset, image bytes)] of an .ico file."""
    _, kind, count = struct.unpack_from("<HHH", data, 0)
    assert kind == 1
    images = []
    for k in range(count):
        entry = data[6 + 16 * k:6 + 16 * (k + 1)]
        size, offset = struct.unpack_from("<II", entry, 8)
        images.append((entry[:12], data[offset:offset + size]))
    return images


class PublisherResources(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        missing = [tool for tool in ("convert", "wrestool", "icotool", "osslsigncode", "openssl")
                   if not shutil.which(tool)]
        if missing or pefile is None:
            raise AssertionError("missing: " + " ".join(missing + ([] if pefile else ["pefile"])) +
                                 "; scripts/setup.sh test installs them")
        for path in [MKSFX] + list(STUBS.values()):
            if not os.path.exists(path):
                raise AssertionError("not built: " + path)
        cls.tmp = tempfile.mkdtemp(prefix="vespa-publisher-")
        # One icon with bitmap images (16, 32, 48) and a PNG-compressed 256-pixel one, as
        # ImageMagick writes them; one of PNG images only, as icotool -r writes them.
        big = cls.path("big.png")
        subprocess.run(["convert", "-size", "256x256", "xc:#204080", "-fill", "#F0C000", "-draw",
                        "circle 128,128 128,40", "-depth", "8", big], check=True, timeout=TIMEOUT)
        cls.icons = {"bitmaps-and-png": cls.path("mixed.ico"), "png-only": cls.path("png.ico")}
        subprocess.run(["convert", big, "-define", "icon:auto-resize=256,48,32,16",
                        cls.icons["bitmaps-and-png"]], check=True, timeout=TIMEOUT)
        small = cls.path("small.png")
        subprocess.run(["convert", big, "-resize", "32x32", small], check=True, timeout=TIMEOUT)
        subprocess.run(["icotool", "-c", "-o", cls.icons["png-only"], "-r", small, "-r", big],
                       check=True, timeout=TIMEOUT)
        cls.archive = cls.path("app.zip")
        with zipfile.ZipFile(cls.archive, "w", zipfile.ZIP_DEFLATED) as z:
            z.writestr("leia-me.txt", b"Leia-me\r\n" * 50)
            z.writestr("bin/programa.dat", bytes(range(256)) * 40)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.tmp, ignore_errors=True)

    @classmethod
    def path(cls, name):
        return os.path.join(cls.tmp, name)

    def build(self, out, stub, *options, expect_ok=True):
        result = run([MKSFX, "-q", "-o", out, "--stub", stub, *options, self.archive])
        if expect_ok:
            self.assertEqual(result.returncode, 0, text(result))
        return result

    def sign(self, program):
        key, cert = self.path("key.pem"), self.path("cert.pem")
        if not os.path.exists(cert):
            result = run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout",
                          key, "-out", cert, "-days", "2", "-subj", "/CN=Publisher test"])
            self.assertEqual(result.returncode, 0, text(result))
        signed = program[:-4] + "-signed.exe"
        result = run(["osslsigncode", "sign", "-certs", cert, "-key", key, "-n", "Produto",
                      "-in", program, "-out", signed])
        self.assertEqual(result.returncode, 0, text(result))
        result = run(["osslsigncode", "verify", "-CAfile", cert, "-in", signed])
        self.assertEqual(result.returncode, 0, text(result))
        return signed

    def check_archive(self, program):
        result = run(["unzip", "-tq", program])
        self.assertEqual(result.returncode, 0, text(result))
        if os.path.exists(CONSOLE):
            result = run([CONSOLE, "-TEST", os.path.basename(program)], cwd=os.path.dirname(program))
            self.assertEqual(result.returncode, 0, text(result))

    def check_icon(self, program, icon):
        with open(icon, "rb") as f:
            wanted = ico_images(f.read())
        extracted = self.path("extracted.ico")
        result = run(["wrestool", "-x", "--type=14", "--name=3", "-o", extracted, program])
        self.assertEqual(result.returncode, 0, text(result))
        with open(extracted, "rb") as f:
            self.assertEqual(ico_images(f.read()), wanted)
        # icotool reads every image of it too.
        listed = run(["icotool", "-l", extracted])
        self.assertEqual(listed.returncode, 0, text(listed))
        self.assertEqual(len(listed.stdout.decode().splitlines()), len(wanted))
        # One icon group only: the publisher's is the one Explorer shows.
        groups = run(["wrestool", "-l", "--type=14", program]).stdout.decode().splitlines()
        self.assertEqual(len(groups), 1, groups)

    def check_version(self, program, fields, file_version, product_version):
        pe = pefile.PE(program)
        self.assertTrue(pe.verify_checksum(), "header checksum")
        self.assertEqual(pe.OPTIONAL_HEADER.SizeOfImage,
                         max(s.VirtualAddress + s.Misc_VirtualSize for s in pe.sections) + 0xFFF & ~0xFFF)
        fixed = pe.VS_FIXEDFILEINFO[0]
        self.assertEqual((fixed.FileVersionMS, fixed.FileVersionLS), file_version)
        self.assertEqual((fixed.ProductVersionMS, fixed.ProductVersionLS), product_version)
        tables, translations = [], []
        for info in pe.FileInfo[0]:
            if info.Key == b"StringFileInfo":
                tables = info.StringTable
            if info.Key == b"VarFileInfo":
                translations = [v.entry for v in info.Var]
        self.assertEqual([t.LangID for t in tables], [b"041604B0"])
        found = {k.decode(): v.decode() for k, v in tables[0].entries.items()}
        self.assertEqual(found, fields)
        self.assertEqual(translations, [{b"Translation": "0x0416 0x04b0"}])
        pe.close()

    # --- tests ------------------------------------------------------------------------------

    def test_every_option_read_back_by_other_tools(self):
        for arch, stub in STUBS.items():
            for kind, icon in self.icons.items():
                with self.subTest(arch=arch, icon=kind):
                    program = self.path(f"{arch}-{kind}.exe")
                    self.build(program, stub, "--icon", icon, *ALL_OPTIONS)
                    self.check_icon(program, icon)
                    self.check_version(program, FIELDS, (0x30001, 0x40638), (0x30001, 0))
                    self.check_archive(program)
                    signed = self.sign(program)
                    self.check_archive(signed)
                    self.check_icon(signed, icon)

    def test_authenticity_record_and_resources_together(self):
        # The builder's own signature (an authenticity record in the ZIP) beside the rewritten
        # resources, then Authenticode over both.
        program = self.path("sealed.exe")
        self.build(program, STUBS["x86_64"], "--icon", self.icons["png-only"], "--title", TITLE,
                   "--sign", "Ação & Cia", "--company", FIELDS["CompanyName"])
        self.check_archive(self.sign(program))
        self.check_version(program, {"CompanyName": FIELDS["CompanyName"],
                                     "OriginalFilename": "sealed.exe"}, (0, 0), (0, 0))

    def test_same_inputs_same_bytes(self):
        outputs = []
        for name in ("first", "second"):
            out = self.path(name + ".exe")
            self.build(out, STUBS["i686"], "--icon", self.icons["bitmaps-and-png"], *ALL_OPTIONS)
            with open(out, "rb") as f:
                outputs.append(f.read())
        self.assertEqual(outputs[0], outputs[1])

    def test_without_options_the_stub_is_kept_as_it_is(self):
        for arch, stub in STUBS.items():
            with self.subTest(arch=arch):
                program = self.path(f"plain-{arch}.exe")
                self.build(program, stub)
                with open(stub, "rb") as f, open(program, "rb") as g:
                    stub_bytes = f.read()
                    self.assertEqual(g.read(len(stub_bytes)), stub_bytes)
                # Our own version information is there: VESPA's name and version.
                pe = pefile.PE(program)
                strings = {k.decode(): v.decode() for info in pe.FileInfo[0]
                           if info.Key == b"StringFileInfo"
                           for table in info.StringTable for k, v in table.entries.items()}
                self.assertEqual(strings["ProductName"], "VESPA® para Windows")
                pe.close()

    def test_show_prints_version_information_and_title(self):
        program = self.path("shown.exe")
        self.build(program, STUBS["x86_64"], "--icon", self.icons["bitmaps-and-png"], *ALL_OPTIONS)
        result = run([MKSFX, "--show", program])
        self.assertEqual(result.returncode, 0, text(result))
        shown = result.stdout.decode()
        print(shown)
        self.assertIn("version information: file 3.1.4.1592, product 3.1.0.0\n", shown)
        for name, value in FIELDS.items():
            self.assertRegex(shown, rf"\n    {name}: +{value}\n")
        self.assertIn(f"\ntitle: {TITLE}\n", shown)
        self.assertIn("\nicon: 4 images: 256x256/32 48x48/32 32x32/32 16x16/32\n", shown)

    def test_refusals_write_nothing(self):
        not_icon = self.path("notes.ico")
        with open(not_icon, "wb") as f:
            f.write(b"not an icon at all\n")
        cut = self.path("cut.ico")
        with open(self.icons["png-only"], "rb") as f:
            data = f.read()
        with open(cut, "wb") as f:
            f.write(data[:len(data) // 2])  # the 256-pixel image runs past the end
        cases = [
            (["--icon", not_icon], 1, not_icon + ": not an icon file"),
            (["--icon", cut], 1, cut + ": not an icon file"),
            (["--icon", self.path("absent.ico")], 1, "absent.ico: cannot open"),
            (["--file-version", "1.2.3"], 2, "--file-version takes four numbers"),
            (["--product-version", "1.2.3.65536"], 2, "--product-version takes four numbers"),
            (["--file-version", "1.2.3.4x"], 2, "--file-version takes four numbers"),
            (["--title", "T" * 80], 2, "--title takes at most 79 characters"),
        ]
        # A signed stub: rewriting its resources would leave a signature that no longer holds.
        stub_copy = self.path("stub.exe")
        shutil.copy(STUBS["x86_64"], stub_copy)
        signed_stub = self.sign(stub_copy)
        cases.append((["--stub", signed_stub, "--title", "T"], 1, "carries an Authenticode signature"))
        for options, code, message in cases:
            with self.subTest(options=options[:1] + [os.path.basename(o) for o in options[1:]]):
                out = self.path("refused.exe")
                result = self.build(out, STUBS["x86_64"], *options, expect_ok=False)
                self.assertEqual(result.returncode, code, text(result))
                self.assertIn(message, text(result))
                self.assertFalse(os.path.exists(out))
                self.assertEqual([n for n in os.listdir(self.tmp) if n.startswith("refused")], [])


if __name__ == "__main__":
    unittest.main(verbosity=2)
