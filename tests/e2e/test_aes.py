"""AES-encrypted entries (method 99, extra field 0x9901) through vespa-console.

Archives from 7-Zip (AES-128/192/256, Deflate and Stored inside, AE-2), from bsdtar (a password
with "ç" and "ã", AE-1 with data descriptors beside AE-2), and an AE-1 archive made from a 7-Zip
one: tested and extracted byte-exact. The builder's AES output read byte-exact by 7-Zip and by
bsdtar. Then one fault per row, each made from a good one-entry archive: a wrong password, a
flipped byte of the enciphered data, an authentication code cut short, a damaged 0x9901 field, a
size too small for the salt and code, an AE-1 CRC that does not match.
"""

import os
import shutil
import struct
import subprocess
import unittest

import consolelib as lib
from consolelib import ConsoleTestCase, compare_files, read

PASSWORD = "s3nha-AES"
UNICODE_PASSWORD = "coração"
MKSFX = os.path.join(lib.BIN, "vespa-mksfx")
STUB = os.path.join(lib.SOURCE, "build", "win64", "bin", "vespa-sfx.exe")

FILES = {
    "leia-me.txt": b"Bem-vindo ao programa de instala\xe7\xe3o!\r\n" * 40,
    "dados.bin": os.urandom(70000),  # stored even when Deflate is asked for
    "docs/manual.txt": b"".join(b"linha %d do manual de uso\r\n" % i for i in range(3000)),
    "pequeno.txt": b"oi\n",  # shorter than the code: bsdtar makes it AE-2
    "vazio.txt": b"",
}
NAMES = sorted(FILES)

AES_WARNING_FIELD = "Criptografia AES desconhecida ou campo AES danificado: "
AES_WARNING_CODE = "Código de autenticação AES não confere, arquivo danificado ou alterado: "


def write_files(root):
    for name, data in FILES.items():
        path = os.path.join(root, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)


# --- crafting faults ------------------------------------------------------------------------

def entries(data):
    """(central offset, local offset, name) of every entry, from the end record."""
    end = data.rfind(b"PK\x05\x06")
    count, _, offset = struct.unpack_from("<HII", data, end + 10)
    found = []
    for _ in range(count):
        name_length, extra_length, comment_length = struct.unpack_from("<HHH", data, offset + 28)
        local = struct.unpack_from("<I", data, offset + 42)[0]
        found.append((offset, local, data[offset + 46:offset + 46 + name_length].decode()))
        offset += 46 + name_length + extra_length + comment_length
    return found


def aes_fields(data, central, local):
    """Offsets of the 0x9901 field data in the central and the local header."""
    out = []
    for header, fixed, lengths in ((central, 46, 28), (local, 30, 26)):
        name_length, extra_length = struct.unpack_from("<HH", data, header + lengths)
        at = header + fixed + name_length
        end = at + extra_length
        while at + 4 <= end:
            tag, size = struct.unpack_from("<HH", data, at)
            if tag == 0x9901:
                out.append(at + 4)
            at += 4 + size
    return out


def data_offset(data, local):
    name_length, extra_length = struct.unpack_from("<HH", data, local + 26)
    return local + 30 + name_length + extra_length


def patch_field(offset_in_field, value, fmt):
    def patch(data):
        for central, local, _ in entries(data):
            for field in aes_fields(data, central, local):
                struct.pack_into(fmt, data, field + offset_in_field, value)
    return patch


def flip_data_byte(data):
    _, local, _ = entries(data)[0]
    data[data_offset(data, local) + 16 + 2 + 5] ^= 0x40  # AES-256: past the salt and verifier


def shrink_sizes(by):
    """Both headers' compressed size made smaller: the code is read from inside the data."""
    def patch(data):
        central, local, _ = entries(data)[0]
        for where in (central + 20, local + 18):
            struct.pack_into("<I", data, where, struct.unpack_from("<I", data, where)[0] - by)
    return patch


def set_sizes(size):
    def patch(data):
        central, local, _ = entries(data)[0]
        for where in (central + 20, local + 18):
            struct.pack_into("<I", data, where, size)
    return patch


def make_ae1(crc):
    """AE-2 into AE-1: the code covers the enciphered data alone, so the version and the CRC
    fields can change and the entry stays whole. crc: the real CRC, or one off."""
    def patch(data):
        patch_field(0, 1, "<H")(data)
        for central, local, name in entries(data):
            value = crc(name)
            struct.pack_into("<I", data, central + 16, value)
            struct.pack_into("<I", data, local + 14, value)
    return patch


def real_crc(name):
    import zlib
    return zlib.crc32(FILES[name])


class AesTest(ConsoleTestCase):

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        missing = lib.have_tools("7z", "bsdtar")
        if missing:
            raise unittest.SkipTest("missing: " + ", ".join(missing))
        cls.root = lib.tempfile.mkdtemp(prefix="vespa-aes-")
        cls.src = os.path.join(cls.root, "src")
        write_files(cls.src)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.root, ignore_errors=True)

    def seven_zip(self, name, options, names=NAMES):
        path = os.path.join(self.root, name)
        if not os.path.exists(path):
            lib.seven_zip(path, self.src, names, ["-p" + PASSWORD] + options)
        return path

    def bsdtar(self, name, password, strength):
        path = os.path.join(self.root, name)
        if not os.path.exists(path):
            lib.tool(["bsdtar", "--format", "zip", "--options", "zip:encryption=" + strength,
                      "--passphrase", password, "-cf", path] + NAMES, cwd=self.src)
        return path

    def crafted(self, name, base, patch):
        data = bytearray(read(base))
        patch(data)
        path = os.path.join(self.root, name)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def assertReadsExactly(self, archive, password):
        result = self.run_ok(["-TEST", "-PASSWORD=" + password, archive], 0)
        self.assertEqual(result.stdout.count(" OK"), len(NAMES) + 1, lib.describe(result))  # + docs/
        dest = self.make_temp()
        self.run_ok(["-EXTRACT", "-DIRECTORIES", "-PASSWORD=" + password, archive], 0, cwd=dest)
        compare_files(self, self.src, dest, NAMES)

    def test_peer_archives_read_byte_exact(self):
        ae2 = self.seven_zip("7z-aes256.zip", ["-mem=AES256"])
        table = [
            ("7z-aes128.zip", lambda: self.seven_zip("7z-aes128.zip", ["-mem=AES128"]), PASSWORD),
            ("7z-aes192.zip", lambda: self.seven_zip("7z-aes192.zip", ["-mem=AES192"]), PASSWORD),
            ("7z-aes256.zip", lambda: ae2, PASSWORD),
            ("7z-aes256-stored.zip",
             lambda: self.seven_zip("7z-aes256-stored.zip", ["-mem=AES256", "-mm=Copy"]), PASSWORD),
            # 7-Zip refuses passwords outside ASCII for ZIP; bsdtar keys them in UTF-8.
            ("bsdtar-aes128-unicode.zip",
             lambda: self.bsdtar("bsdtar-aes128-unicode.zip", UNICODE_PASSWORD, "aes128"),
             UNICODE_PASSWORD),
            ("ae1.zip", lambda: self.crafted("ae1.zip", ae2, make_ae1(real_crc)), PASSWORD),
        ]
        for name, make, password in table:
            with self.subTest(archive=name):
                self.assertReadsExactly(make(), password)

    def test_builder_output_read_by_peers(self):
        if not os.path.exists(STUB):
            self.skipTest("no x86_64 stub built")
        password_file = os.path.join(self.root, "senha.txt")
        with open(password_file, "w", encoding="utf-8") as f:
            f.write(UNICODE_PASSWORD + "\n")
        for strength in ("aes128", "aes192", "aes256", None):
            with self.subTest(encryption=strength or "default"):
                out = os.path.join(self.root, "built-%s.exe" % strength)
                args = [MKSFX, "-o", out, "--stub", STUB, "--password-file", password_file]
                if strength:
                    args += ["--encryption", strength]
                done = subprocess.run(args + [self.src], capture_output=True, text=True)
                self.assertEqual(done.returncode, 0, done.stderr)
                self.assertIn("AES-%s encryption" % (strength or "aes256")[3:], done.stdout)
                self.assertIn("tested by the engine: no warnings", done.stdout)
                # Both listings say which cipher protects the files (the folder has none).
                label = "AES-" + (strength or "aes256")[3:]
                shown = subprocess.run([MKSFX, "--show", out], capture_output=True, text=True)
                self.assertEqual(shown.stdout.count("  (%s)" % label), len(NAMES), shown.stdout)
                setup = self.run_ok(["-SETUP", out], 0)
                self.assertIn("Criptografia:             %s: %d" % (label, len(NAMES)), setup.stdout)
                seven = self.make_temp()
                lib.tool(["7z", "x", "-bd", "-y", "-p" + UNICODE_PASSWORD, "-o" + seven, out],
                         cwd=self.root)
                compare_files(self, self.src, seven, NAMES)
                tar = self.make_temp()
                lib.tool(["bsdtar", "--passphrase", UNICODE_PASSWORD, "-xf", out], cwd=tar)
                compare_files(self, self.src, tar, NAMES)

    def test_signed_archive(self):
        """A signed archive keeps its AES entries' CRCs (AE-1) for the record to cover: an
        altered entry fails both its code and the record. An AE-2 archive is not signed."""
        if not os.path.exists(STUB):
            self.skipTest("no x86_64 stub built")
        password_file = os.path.join(self.root, "senha-assinada.txt")
        with open(password_file, "w", encoding="utf-8") as f:
            f.write(PASSWORD + "\n")
        signed = os.path.join(self.root, "signed.exe")
        done = subprocess.run([MKSFX, "-o", signed, "--stub", STUB, "--password-file", password_file,
                               "--sign", "Fulano de Tal", self.src], capture_output=True, text=True)
        self.assertEqual(done.returncode, 0, done.stderr)
        result = self.run_ok(["-TEST", "-PASSWORD=" + PASSWORD, signed], 0)
        self.assertIn("Autenticidade Verificada!", result.stdout)
        data = bytearray(read(signed))
        for central, local, name in entries(data):
            if name == "dados.bin":
                data[data_offset(data, local) + 16 + 2 + 100] ^= 1
        altered = os.path.join(self.root, "signed-altered.exe")
        with open(altered, "wb") as f:
            f.write(data)
        result = self.run_ok(["-TEST", "-PASSWORD=" + PASSWORD, altered], 1)
        self.assertIn(AES_WARNING_CODE + " dados.bin", result.stderr)
        self.assertIn("Falha na Verificação de Autenticidade!", result.stderr)
        self.assertNotIn("Autenticidade Verificada!", result.stdout)

        refused = subprocess.run([MKSFX, "-o", os.path.join(self.root, "no.exe"), "--stub", STUB,
                                  "--sign", "X", self.seven_zip("7z-aes256.zip", ["-mem=AES256"])],
                                 capture_output=True, text=True)
        self.assertEqual(refused.returncode, 1)
        self.assertIn("AE-2", refused.stderr)

    def test_faults(self):
        one = self.seven_zip("one.zip", ["-mem=AES256"], ["docs/manual.txt"])
        # Stored and past the size that a worker decodes: the worker checks the code.
        big = self.seven_zip("big.zip", ["-mem=AES256"], ["dados.bin"])
        # (fixture, patch, password, warning text, whether the file may be written)
        table = [
            ("wrong-password.zip", lambda d: None, "errada", "Ignorando arquivo encriptado: ", False),
            ("flipped-byte.zip", flip_data_byte, PASSWORD, AES_WARNING_CODE, True),
            ("flipped-byte-worker.zip", flip_data_byte, PASSWORD, AES_WARNING_CODE, True),
            ("code-cut-short.zip", shrink_sizes(4), PASSWORD, AES_WARNING_CODE, True),
            ("no-room-for-code.zip", set_sizes(16 + 2 + 9), PASSWORD, "Tamanho inesperado", False),
            ("strength-4.zip", patch_field(4, 4, "<B"), PASSWORD, AES_WARNING_FIELD, False),
            ("inner-method-12.zip", patch_field(5, 12, "<H"), PASSWORD, AES_WARNING_FIELD, False),
            ("vendor-XY.zip", patch_field(2, 0x5958, "<H"), PASSWORD, AES_WARNING_FIELD, False),
            ("ae1-bad-crc.zip", make_ae1(lambda n: real_crc(n) ^ 1), PASSWORD,
             "Falha na checagem do arquivo de CRC", True),
        ]
        for fixture, patch, password, warning, may_write in table:
            with self.subTest(fixture=fixture):
                worker = "worker" in fixture
                archive = self.crafted(fixture, big if worker else one, patch)
                name = "dados.bin" if worker else "docs/manual.txt"
                for command in ("-TEST", "-EXTRACT"):
                    dest = self.make_temp()
                    result = lib.run_console([command, "-DIRECTORIES", "-PASSWORD=" + password,
                                              archive], cwd=dest,
                                             env={"VESPA_WORKERS": "4" if worker else "1"})
                    self.assertIsNone(lib.fault_of(result), lib.describe(result))
                    self.assertEqual(result.code, 1, lib.describe(result))
                    self.assertIn(warning, result.stdout + result.stderr, lib.describe(result))
                    # Nothing damaged is reported as tested or extracted.
                    self.assertNotIn(name + "  OK", result.stdout, lib.describe(result))
                    if not may_write:
                        self.assertFalse(os.path.exists(os.path.join(dest, name)), fixture)

    def test_short_field_refused_by_name(self):
        """A 0x9901 field of 5 bytes: the entry is refused by name, nothing is written."""
        data = bytearray(read(self.seven_zip("one.zip", ["-mem=AES256"], ["docs/manual.txt"])))
        for central, local, _ in entries(data):
            for field in aes_fields(data, central, local):
                struct.pack_into("<H", data, field - 2, 5)  # the 2 bytes left end the walk
        path = os.path.join(self.root, "short-field.zip")
        with open(path, "wb") as f:
            f.write(data)
        dest = self.make_temp()
        result = self.run_ok(["-EXTRACT", "-DIRECTORIES", "-PASSWORD=" + PASSWORD, path], 1, cwd=dest)
        self.assertIn(AES_WARNING_FIELD + " docs/manual.txt", result.stdout + result.stderr)
        self.assertFalse(os.path.exists(os.path.join(dest, "docs", "manual.txt")))


if __name__ == "__main__":
    unittest.main()
