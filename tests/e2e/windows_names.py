"""Entry names that Windows would open as a device, rewrite or refuse, and near misses that
must still extract. Shared by the Linux and the Windows front ends' tests: both refuse the same
names with warning 2 naming the entry, and write nothing for them."""

import zipfile

# (stored name, why Windows would not create it as named)
HOSTILE = [
    ("aux.txt", "device, with an extension"),
    ("NUL.txt", "device, upper case"),
    ("COM1", "device"),
    ("con", "device"),
    ("LPT1.txt", "device"),
    ("COM0.log", "device, port zero"),
    ("lpt9", "device"),
    ("conin$", "console input"),
    ("CONOUT$.txt", "console output"),
    ("com\u00b9.txt", "device, superscript one"),
    ("LPT\u00b2", "device, superscript two"),
    ("Com\u00b3.dat", "device, superscript three"),
    ("nul .txt", "device, blank before the extension"),
    ("aux.tar.gz", "device, two extensions"),
    ("pasta/con/x.txt", "device as a folder"),
    ("trail.", "ends in a dot"),
    ("space ", "ends in a blank"),
    ("dir./x.txt", "folder ends in a dot"),
    ("a.", "would become 'a'"),
    ("a<b.txt", "forbidden <"),
    ("a>b.txt", "forbidden >"),
    ('a"b.txt', 'forbidden "'),
    ("a|b.txt", "forbidden |"),
    ("a?b.txt", "forbidden ?"),
    ("a*b.txt", "forbidden *"),
    ("tab\tname.txt", "control character"),
    ("bell\x07.txt", "control character"),
    ("\\\\?\\C:\\long.txt", "long-path prefix"),
    ("\\??\\nt.txt", "object-manager prefix"),
    ("\\\\.\\device.txt", "device-namespace prefix"),
]

# Names close to the hostile ones that are ordinary files.
ORDINARY = ["a", "com10.txt", "conx.txt", "auxiliar.txt", "nul_.txt", "LPT.txt", "com\u00b9x.txt",
            ".oculto", "x.y.z", "pasta/console.txt", "dir/x.txt", "ponto.d/ok.txt"]


def shown(name):
    """The name as a warning shows it: separators as the engine keeps them."""
    return name.replace("\\", "/")


def write_archive(path):
    """One archive with every hostile and ordinary name; returns {ordinary name: bytes}."""
    contents = {}
    with zipfile.ZipFile(path, "w", zipfile.ZIP_STORED) as z:
        for i, (name, _) in enumerate(HOSTILE):
            z.writestr(zipfile.ZipInfo(name, date_time=(2021, 3, 4, 5, 6, 8)), b"hostile %d\n" % i)
        for i, name in enumerate(ORDINARY):
            data = b"ordinary %d\n" % i
            z.writestr(zipfile.ZipInfo(name, date_time=(2021, 3, 4, 5, 6, 8)), data)
            contents[name] = data
    return contents
