#!/usr/bin/env python3
"""Makes the starting inputs of the fuzz targets under OUT/<target>/: the archives of the corpus
beside the project and a few made here (stored, deflated, encrypted with the targets' password
"senha", a self-extracting layout), the raw streams inside them for the decoder, and option
vectors with list files. Nothing here is saved in the project: the saved corpora under fuzz/corpus
hold only what fuzzing found beyond these.

    seed.py OUT [CORPUS]
"""
import io
import os
import struct
import subprocess
import sys
import tempfile
import zipfile
import zlib


def local_streams(data):
    """(method, raw bytes) of every local entry of a ZIP image, walked from local header to
    local header; sizes taken from the local header (entries with a data descriptor are left out)."""
    out = []
    pos = data.find(b"PK\x03\x04")
    while 0 <= pos and pos + 30 <= len(data):
        (sig, _, flags, method, _, _, _, csize, _, nlen, xlen) = struct.unpack_from("<IHHHHHIIIHH", data, pos)
        if sig != 0x04034B50:
            break
        start = pos + 30 + nlen + xlen
        if method in (8, 9) and not flags & 9 and csize:
            out.append((method, data[start:start + csize]))
        pos = data.find(b"PK\x03\x04", start + (csize if not flags & 8 else 0))
    return out


def made_archives():
    text = b"".join(b"linha %d de texto, com palavras que se repetem\n" % i for i in range(400))
    made = {}
    for name, method in (("stored.zip", zipfile.ZIP_STORED), ("deflated.zip", zipfile.ZIP_DEFLATED)):
        buf = io.BytesIO()
        with zipfile.ZipFile(buf, "w", method) as z:
            z.writestr("dir/", b"")
            z.writestr("dir/a.txt", text)
            z.writestr("b.bin", os.urandom(300))
            z.writestr("vazio", b"")
        made[name] = buf.getvalue()
    made["sfx-layout.zip"] = b"MZ" + b"\0" * 1000 + made["deflated.zip"]  # offsets not shifted
    with tempfile.TemporaryDirectory() as tmp:
        with open(os.path.join(tmp, "s.txt"), "wb") as f:
            f.write(text)
        target = os.path.join(tmp, "enc.zip")
        if subprocess.call(["zip", "-q", "-P", "senha", "-j", target, os.path.join(tmp, "s.txt")]) == 0:
            with open(target, "rb") as f:
                made["encrypted.zip"] = f.read()
    return made


def write(directory, name, data):
    os.makedirs(directory, exist_ok=True)
    with open(os.path.join(directory, name), "wb") as f:
        f.write(data)


def main(argv):
    if len(argv) < 2:
        sys.exit(__doc__)
    out = argv[1]
    corpus = argv[2] if len(argv) > 2 else os.path.join(os.path.dirname(__file__), "..", "..", "shared", "corpus")
    archives = dict(made_archives())
    if os.path.isdir(corpus):
        for root, _, files in os.walk(corpus):
            for f in files:
                if f.endswith(".md"):
                    continue
                path = os.path.join(root, f)
                if os.path.getsize(path) <= 1 << 20:
                    with open(path, "rb") as fh:
                        archives[os.path.relpath(path, corpus).replace(os.sep, "_")] = fh.read()
    for name, data in archives.items():
        write(os.path.join(out, "directory"), name, data)
        write(os.path.join(out, "test_run"), name, data)
        for i, (method, stream) in enumerate(local_streams(data)):
            # First byte: bit 0 the mode, the rest how reads are cut (0 whole, 1 byte by byte).
            for cut in (0, 1, 9):
                write(os.path.join(out, "inflate"), "%s.%d.%d" % (name, i, cut),
                      bytes([(cut << 1) | (method == 9)]) + stream[:65536])
    sample = bytes(range(256)) * 40
    for level in (1, 6, 9):
        for strategy in (zlib.Z_DEFAULT_STRATEGY, zlib.Z_FILTERED, zlib.Z_HUFFMAN_ONLY, zlib.Z_RLE, zlib.Z_FIXED):
            c = zlib.compressobj(level, zlib.DEFLATED, -15, 9, strategy)
            write(os.path.join(out, "inflate"), "zlib.%d.%d" % (level, strategy),
                  b"\x04" + c.compress(sample) + c.flush())
    vectors = {
        "test": [b"-TEST", b"a.zip"],
        "extract": [b"-EXTRACT=UPDATE", b"-DIRECTORIES", b"-OVERWRITE=NEVER", b"a.zip", b"out/", b"*.txt"],
        "times": [b"/TIMES=-ACCESS,+CREATE", b"-MASK=READONLY,HIDDEN", b"-SORT=-DATE", b"a.zip"],
        "dates": [b"-AFTER=01-02-2020", b"-BEFORE=12-31-2024", b"-LOCALE=YMD", b"a.zip"],
        "include-list": [b"-IN=@L", b"-TEST", b"a.zip"],
        "exclude-list": [b"-EXC=@L", b"-TEST", b"a.zip"],
        "list": [b"@L"],
        "password": [b"-PASSWORD=senha", b"-PRINT=lp", b"a.zip"],
    }
    lists = {"include-list": b"-IN=a\n", "exclude-list": b"-EXC=b\n",
             "list": b"-TEST\r\n  /OVERWRITE=NEVER\nname\n\t-SORT=-SIZE\n\nignored\n"}
    for name, words in vectors.items():
        write(os.path.join(out, "options"), name, b"".join(w + b"\0" for w in words) + b"\0" + lists.get(name, b""))
    for name, data in directive_seeds().items():
        write(os.path.join(out, "directives"), name, data)
    for name, data in authenticity_seeds().items():
        write(os.path.join(out, "authenticity"), name, data)
    # The planned-stream target needs no foreign seed: any bytes plan a valid stream.
    for i in range(8):
        write(os.path.join(out, "inflate_plan"), "plan.%d" % i, bytes([i * 31 % 256] * (i * 16 + 1)))
    return 0


# The directive record's body: first word, flags, five fields (length, tag, text, pad), end word.
DIRECTIVE_FIELDS = ((1, 261), (3, 1041), (4, 261), (5, 261), (2, 261))


def directive_body(flags, texts):
    body = struct.pack("<HH", 2, flags)
    for (tag, size), text in zip(DIRECTIVE_FIELDS, texts):
        body += struct.pack("<IH", 2 + size, tag) + text.ljust(size, b"\0") + b"\0"
    return body + struct.pack("<I", 0)


def directive_seeds():
    """Inputs of the directive target: byte 0 the form (odd: a plain record the target scrambles
    into a program file; even: the program file itself), byte 1 which calls of the stand-ins fail."""
    records = {
        "empty": directive_body(0, [b""] * 5),
        "all": directive_body(0x0515, [b"C:\\Programas Demo",
                                     b"Demo Vespa|[CreateGroup(Demo Vespa)]|[AddItem(%0bin\\demo.exe,Demo)]",
                                     b"^.TXT|%0bin\\demo.exe %1|$.ZIP|%0bin\\demo.exe %1", b"", b""]),
        "keys": directive_body(0x0500, [b"", b"G|[ShowGroup(G,1)]", b"^|x|$.|y|^.A|", b"", b""]),
    }
    seeds = {}
    for name, body in records.items():
        plain = struct.pack("<I", len(body)) + body
        seeds["plain-" + name] = b"\x01\x00" + plain
        seeds["plain-fails-" + name] = b"\x03\x5a" + plain
        # The same record stored in a program file at offset 24, scrambled: byte i of the length
        # word and of the body XORed with (its offset - 7).
        header = 24
        stored = bytearray(struct.pack("<II", 0x0A094B50, 0x00140014) + plain)
        for i in range(8, len(stored)):
            stored[i] ^= (header + i - 7) & 0xFF
        seeds["file-" + name] = b"\x00\x00" + b"MZ" + b"\0" * (header - 2) + bytes(stored)
    seeds["short-body"] = b"\x01\x00" + struct.pack("<I", 10) + records["all"][:10]
    return seeds


def authenticity_seeds():
    """Inputs of the authenticity target: switches, the 32-bit total, then a record's extra field
    as found (ID 7, size, data) or, with switch 0x10, the maker's number and name, NUL, text."""
    seeds = {
        "round-trip": b"\x15" + struct.pack("<II", 0x12345678, 123456) + b"Fabricante\0texto adicional",
        "round-trip-name-only": b"\x15" + struct.pack("<II", 0, 7) + b"N",
        "one-record": b"\x05" + struct.pack("<IHH", 0xCAFE, 7, 20) + bytes(range(20)),
        "size-past-field": b"\x05" + struct.pack("<IHH", 1, 7, 400) + bytes(30),
        "two-records": b"\x06" + struct.pack("<IHH", 1, 7, 12) + bytes(12),
        "undecodable": b"\x0d" + struct.pack("<IHH", 1, 7, 12) + bytes(12),
    }
    return seeds


if __name__ == "__main__":
    sys.exit(main(sys.argv))
