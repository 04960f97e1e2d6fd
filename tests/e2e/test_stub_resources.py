#!/usr/bin/env python3
"""What both stubs (i686 and x86_64) carry as resources, read from the PE files themselves: the
same dialogs, icon and string table in each, texts in code page 1252, a version resource, and a
manifest that runs the program as invoker on the Windows versions it names.
"""

import os
import struct
import unittest

RT_ICON, RT_DIALOG, RT_STRING, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 5, 6, 14, 16, 24

STUBS = {
    "i686": os.path.join(os.environ.get("VESPA_WIN32_BIN", ""), "vespa-sfx.exe"),
    "x86_64": os.path.join(os.environ.get("VESPA_WIN64_BIN", ""), "vespa-sfx.exe"),
}


def resources(path):
    """{(type, name, language): bytes} of a PE file's resource tree (numeric ids only)."""
    with open(path, "rb") as f:
        data = f.read()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise ValueError("not a PE file")
    sections, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
    optional = pe + 24
    magic = struct.unpack_from("<H", data, optional)[0]
    directories = optional + (96 if magic == 0x10B else 112)
    resource_rva, _ = struct.unpack_from("<II", data, directories + 2 * 8)
    table = optional + optional_size
    spans = []
    for i in range(sections):
        size, rva, raw_size, raw = struct.unpack_from("<IIII", data, table + 40 * i + 8)
        spans.append((rva, max(size, raw_size), raw))

    def offset(rva):
        for start, size, raw in spans:
            if start <= rva < start + size:
                return raw + rva - start
        raise ValueError(f"RVA {rva:#x} is in no section")

    base = offset(resource_rva)
    found = {}

    def walk(directory, path):
        named, ids = struct.unpack_from("<HH", data, base + directory + 12)
        for k in range(named + ids):
            name, target = struct.unpack_from("<II", data, base + directory + 16 + 8 * k)
            key = path + (name if not name & 0x80000000 else f"#{name & 0x7FFFFFFF}",)
            if target & 0x80000000:
                walk(target & 0x7FFFFFFF, key)
            else:
                rva, size = struct.unpack_from("<II", data, base + target)
                found[key] = data[offset(rva):offset(rva) + size]

    walk(0, ())
    return found


def by_type(found):
    """{(type, name): bytes}, the language dropped (each resource has one)."""
    return {(t, n): v for (t, n, _), v in found.items()}


def string_of(found, string_id):
    """A string of the string table, decoded."""
    block = found[(RT_STRING, string_id // 16 + 1)]
    position = 0
    for _ in range(string_id % 16):
        position += 2 + 2 * struct.unpack_from("<H", block, position)[0]
    length = struct.unpack_from("<H", block, position)[0]
    return block[position + 2:position + 2 + 2 * length].decode("utf-16-le")


class StubResources(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        missing = [path for path in STUBS.values() if not os.path.exists(path)]
        if missing:
            raise unittest.SkipTest("the Windows builds are missing: " + ", ".join(missing))
        cls.found = {arch: by_type(resources(path)) for arch, path in STUBS.items()}

    def test_both_stubs_carry_the_same_resources(self):
        self.assertEqual(self.found["i686"], self.found["x86_64"])
        keys = set(self.found["x86_64"])
        for dialog in (100, 104, 105, 106, 1000):
            self.assertIn((RT_DIALOG, dialog), keys)
        for wanted in ((RT_GROUP_ICON, 3), (RT_VERSION, 1), (RT_MANIFEST, 1)):
            self.assertIn(wanted, keys)

    def test_texts_are_those_of_code_page_1252(self):
        found = self.found["x86_64"]
        for string_id, text in ((490, "Extração completada."), (492, "Teste OK."),
                                (504, "Deseja encerrar o VESPA®?"), (511, "Extraídos:"),
                                (551, "Insira o Último Disco")):
            self.assertEqual(string_of(found, string_id), text)
        main = found[(RT_DIALOG, 1000)].decode("utf-16-le", errors="replace")
        for label in ("VESPA® - ", "Disponível:", "Extraído:", "Sobrescrever",
                      "Recriar Su&bdiretórios", "&Informações"):
            self.assertIn(label, main)

    def test_manifest_runs_as_invoker_themed_and_dpi_aware(self):
        # Read as XML, as Windows reads it: a manifest that does not parse stops the program
        # from starting at all.
        import xml.etree.ElementTree as ET
        asm1, asm3 = "{urn:schemas-microsoft-com:asm.v1}", "{urn:schemas-microsoft-com:asm.v3}"
        settings2005 = "{http://schemas.microsoft.com/SMI/2005/WindowsSettings}"
        settings2016 = "{http://schemas.microsoft.com/SMI/2016/WindowsSettings}"
        for arch, found in self.found.items():
            manifest = ET.fromstring(found[(RT_MANIFEST, 1)])
            level = manifest.find(f".//{asm3}requestedExecutionLevel")
            self.assertEqual((level.get("level"), level.get("uiAccess")), ("asInvoker", "false"), arch)
            controls = manifest.find(f"{asm1}dependency/{asm1}dependentAssembly/{asm1}assemblyIdentity")
            self.assertEqual((controls.get("name"), controls.get("version")),
                             ("Microsoft.Windows.Common-Controls", "6.0.0.0"), arch)
            self.assertEqual(manifest.find(f".//{settings2005}dpiAware").text, "true/pm", arch)
            self.assertEqual(manifest.find(f".//{settings2016}dpiAwareness").text,
                             "PerMonitorV2, PerMonitor", arch)
            # Windows 7 and Windows 10/11.
            systems = [e.get("Id") for e in manifest.iter() if e.tag.endswith("supportedOS")]
            self.assertIn("{35138b9a-5d96-4fbd-8e2d-a2440225f93a}", systems)
            self.assertIn("{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}", systems)

    def test_version_resource_names_the_product(self):
        version = self.found["x86_64"][(RT_VERSION, 1)].decode("utf-16-le", errors="replace")
        self.assertIn("041604E4", version)  # Portuguese (Brazil), code page 1252
        for field in ("ProductName", "VESPA® para Windows", "FileVersion", "ProductVersion"):
            self.assertIn(field, version)


if __name__ == "__main__":
    unittest.main(verbosity=2)
