"""LZMA entries (method 14): archives from 7-Zip at several levels, dictionary sizes and literal
settings, and entries made here from liblzma's raw streams with unusual lc/lp/pb, are tested and
extracted byte-exact by vespa-console; damaged and oversized entries are refused by number; and
what vespa-mksfx --method lzma writes is read byte-exact by 7-Zip and bsdtar, the same input
giving the same bytes whatever the number of threads that compress.

Environment: VESPA_BIN (native bin directory), VESPA_WRAPPER (command put before the native
programs, such as valgrind).
"""

import lzma
import os
import random
import struct
import subprocess
import unittest
import zlib

import consolelib as lib
from consolelib import ConsoleTestCase, compare_files, read, write_tree

MKSFX = os.path.join(lib.BIN, "vespa-mksfx")
RNG = random.Random(14)


def far_repeats(size, distance):
    """A random block of `distance` bytes repeated with rare changes: matches reach exactly one
    dictionary back."""
    block = bytearray(RNG.randbytes(distance))
    out = bytearray()
    while len(out) < size:
        out += block
        block[RNG.randrange(distance)] ^= 0x5A
    return bytes(out[:size])


WORDS = [b"arquivo ", b"extrair ", b"janela ", b"bloco\r\n", b"a ", b"dicion\xe1rio "]
FILES = {
    "leia-me.txt": b"Bem-vindo ao programa de instala\xe7\xe3o!\r\n" * 30,
    "texto.txt": b"".join(RNG.choice(WORDS) for _ in range(120000)),
    "dados.bin": os.urandom(70000),  # incompressible
    "longe.bin": far_repeats(600000, 65536),
    "corridas.bin": b"".join(bytes([i * 37 % 256]) * (1000 + i * 97) for i in range(60)),
    "docs/": None,
    "docs/sub/fundo.txt": b"no fundo da arvore\n",
    "vazio.txt": b"",
}
FILE_NAMES = sorted(n for n, d in FILES.items() if d is not None)

# 7-Zip's options beside -mm=LZMA: levels, dictionaries down to the least, every literal setting.
# (7-Zip writes an end marker in every LZMA entry of a ZIP archive.)
SEVEN_ZIP_ROWS = [
    ("level 1", ["-mx=1"]),
    ("level 5", ["-mx=5"]),
    ("level 9", ["-mx=9"]),
    ("dictionary 4 KiB", ["-mm=LZMA:d=4k"]),
    ("dictionary 64 KiB, pb 4", ["-mm=LZMA:d=64k:pb=4"]),
    ("lc 8", ["-mm=LZMA:lc=8:lp=0"]),
    ("lc 0 lp 4 pb 0", ["-mm=LZMA:lc=0:lp=4:pb=0"]),
]

# liblzma's raw streams (lc + lp at most 4 there), with their end marker.
RAW_ROWS = [(0, 0, 0), (4, 0, 4), (0, 4, 0), (1, 3, 1), (2, 2, 3), (3, 1, 0)]


def lzma_entry_data(data, lc, lp, pb, dictionary):
    """An entry's data as the ZIP format holds LZMA: version, properties size, properties, stream."""
    stream = lzma.compress(data, format=lzma.FORMAT_RAW, filters=[
        {"id": lzma.FILTER_LZMA1, "lc": lc, "lp": lp, "pb": pb, "dict_size": dictionary}])
    return bytes([5, 4, 5, 0, (pb * 5 + lp) * 9 + lc]) + struct.pack("<I", dictionary) + stream


def write_zip(path, entries):
    """entries: (name, data as stored, plain bytes, method, flags, version needed, size claimed or
    None). A ZIP written field by field, so that every field can be what a case needs."""
    out, central = bytearray(), bytearray()
    for name, stored, plain, method, flags, version, claimed in entries:
        raw = name.encode()
        size = len(plain) if claimed is None else claimed
        fields = struct.pack("<HHHIIII", version, flags, method, 0x5A8F6000,
                             zlib.crc32(plain), len(stored), size)
        offset = len(out)
        out += b"PK\x03\x04" + fields + struct.pack("<HH", len(raw), 0) + raw + stored
        central += (b"PK\x01\x02" + struct.pack("<H", 63) + fields +
                    struct.pack("<HHHHHII", len(raw), 0, 0, 0, 0, 0x20, offset) + raw)
    out += central + struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, len(entries), len(entries),
                                 len(central), len(out), 0)
    with open(path, "wb") as f:
        f.write(out)


class LzmaTest(ConsoleTestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        missing = lib.have_tools("7z", "bsdtar")
        if missing:
            raise unittest.SkipTest("missing " + ", ".join(missing))

    def source_tree(self):
        root = self.make_temp()
        write_tree(root, FILES)
        return root

    def extract_and_compare(self, archive, source, names):
        self.run_ok(["-TEST", archive], 0)
        out = self.make_temp()
        self.run_ok(["-EXTRACT", "-DIRECTORIES", archive, out + "/"], 0)
        compare_files(self, source, out, names)

    def test_seven_zip_archives(self):
        source = self.source_tree()
        for label, options in SEVEN_ZIP_ROWS:
            with self.subTest(label):
                archive = os.path.join(self.make_temp(), "a.zip")
                lib.seven_zip(archive, source, sorted(FILES), ["-mm=LZMA"] + options)
                self.extract_and_compare(archive, source, FILE_NAMES)

    def test_liblzma_streams_with_unusual_literal_settings(self):
        data = FILES["texto.txt"][:200000] + FILES["longe.bin"][:150000]
        entries = []
        for lc, lp, pb in RAW_ROWS:
            name = "raw-%d%d%d.bin" % (lc, lp, pb)
            entries.append((name, lzma_entry_data(data, lc, lp, pb, 1 << 16), data, 14, 2, 63, None))
        archive = os.path.join(self.make_temp(), "raw.zip")
        write_zip(archive, entries)
        self.run_ok(["-TEST", archive], 0)
        out = self.make_temp()
        self.run_ok(["-EXTRACT", archive, out + "/"], 0)
        for name, *_ in entries:
            self.assertEqual(read(os.path.join(out, name)), data, name)

    def test_refused_entries(self):
        """Each entry alone in an archive: the warning and its detail."""
        data = FILES["texto.txt"][:50000]
        good = lzma_entry_data(data, 3, 0, 2, 1 << 16)
        huge = bytearray(good)
        huge[5:9] = struct.pack("<I", 1 << 30)
        deflated = zlib.compress(data)[2:-4]
        rows = [
            # The dictionary, cut to the claimed 512 MiB, is still above the limit: warning 24.
            ("grande.bin", bytes(huge), data, 14, 2, 63, 512 << 20, 24),
            ("quebrado.bin", good[:9] + b"\x01" + good[10:], data, 14, 2, 63, None, 19),
            ("curto.bin", good[:len(good) // 2], data, 14, 2, 63, None, 12),
            # Version 6.3 is read for LZMA alone.
            ("deflate63.bin", deflated, data, 8, 0, 63, None, 3),
        ]
        lib.WARNING_TEXTS.update({19: "Dados LZMA defeituosos no arquivo: ",
                                  24: "Dicionário LZMA acima do limite de 256 MB de memória, arquivo: "})
        for name, stored, plain, method, flags, version, claimed, warning in rows:
            with self.subTest(name):
                archive = os.path.join(self.make_temp(), "r.zip")
                write_zip(archive, [(name, stored, plain, method, flags, version, claimed)])
                result = self.run_ok(["-TEST", archive], 1)
                detail = "6.3 para extrair: " + name if warning == 3 else name
                self.assertWarning(result, warning, detail)

    def test_builder_writes_what_every_reader_reads(self):
        if not os.path.exists(MKSFX):
            self.skipTest("vespa-mksfx is not built")
        source = self.source_tree()
        work = self.make_temp()
        stub = os.path.join(work, "stub.exe")
        with open(stub, "wb") as f:
            f.write(b"MZ" + bytes(1000))
        outputs = {}
        # The same input gives the same bytes, whatever the number of threads that compress.
        for method in ("lzma", "deflate"):
            for workers in ("1", "4"):
                outputs[method, workers] = os.path.join(work, "%s-%s.exe" % (method, workers))
                done = subprocess.run(lib.WRAPPER + [MKSFX, "-q", "--method", method, "--level", "6", "-o",
                                                     outputs[method, workers], "--stub", stub, source],
                                      capture_output=True, timeout=lib.TIMEOUT,
                                      env=dict(os.environ, VESPA_WORKERS=workers))
                self.assertEqual(done.returncode, 0, done.stderr.decode(errors="replace"))
            self.assertEqual(read(outputs[method, "1"]), read(outputs[method, "4"]), method)
        outputs = [outputs["lzma", "4"]]
        shown = subprocess.run(lib.WRAPPER + [MKSFX, "--show", outputs[0]], capture_output=True,
                               timeout=lib.TIMEOUT).stdout.decode()
        self.assertRegex(shown, r"\s%d  lzma\s+texto.txt" % len(FILES["texto.txt"]))
        self.assertRegex(shown, r"\s70000  stored\s+dados.bin")  # does not shrink: stored

        done = subprocess.run(["7z", "t", "-bd", outputs[0]], capture_output=True, timeout=lib.TIMEOUT)
        self.assertEqual(done.returncode, 0, done.stdout.decode(errors="replace"))
        for reader in (["7z", "x", "-bd", "-y", "-o{out}", outputs[0]], ["bsdtar", "-xf", outputs[0], "-C", "{out}"]):
            with self.subTest(reader[0]):
                out = self.make_temp()
                done = subprocess.run([a.format(out=out) for a in reader], capture_output=True, timeout=lib.TIMEOUT)
                self.assertEqual(done.returncode, 0, (done.stdout + done.stderr).decode(errors="replace"))
                compare_files(self, source, out, FILE_NAMES)
        self.extract_and_compare(outputs[0], source, FILE_NAMES)


if __name__ == "__main__":
    unittest.main(verbosity=2)
