#!/usr/bin/env python3
"""Takes the README's picture of the main dialog (docs/main-dialog.png, or the path given) under
Wine, after the build. The program is run from C:\\Downloads of the Wine prefix and the user has
typed C:\\Programas\\Exemplo as the destination, so that the picture shows the paths a user would
see rather than those of the build tree."""

import os
import shutil
import sys
import zipfile

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))
WORK = os.path.join(ROOT, "build", "picture")
os.environ.setdefault("VESPA_SOURCE", ROOT)
os.environ.setdefault("VESPA_WINE_ROOT", os.path.join(WORK, "wine"))
os.environ.setdefault("VESPA_WINE_RUN", "picture")
sys.path.insert(0, os.path.join(ROOT, "tests", "wine"))
import harness  # noqa: E402

DESTINATION, VK_END = 1007, 0x23
FILES = {
    "leia-me.txt": "Bem-vindo ao VESPA!\r\nEste pacote foi criado pela demonstração.\r\n",
    "relatório.txt": "Relatório anual\r\n" * 200,
    "docs/manual.txt": "Manual de instalação\r\n",
}


def main():
    picture = os.path.abspath(sys.argv[1] if len(sys.argv) > 1
                              else os.path.join(ROOT, "docs", "main-dialog.png"))
    for tool in (harness.native_tool("vespa-mksfx"),
                 os.path.join(harness.WIN64_BIN, "vespa-sfx.exe"),
                 os.path.join(harness.WIN64_BIN, "vespa-uidriver.exe")):
        if not os.path.exists(tool):
            sys.exit(f"{tool} is missing; run make build first")
    os.makedirs(WORK, exist_ok=True)
    archive = os.path.join(WORK, "exemplo.zip")
    with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED) as z:
        for name, text in FILES.items():
            z.writestr(name, text.encode("utf-8"))

    with harness.WineSession() as session:
        downloads = os.path.join(session.prefix, "drive_c", "Downloads")
        os.makedirs(downloads, exist_ok=True)
        harness.make_sfx(archive, os.path.join(downloads, "exemplo.exe"))
        driver = session.driver()
        driver.launch(r"C:\Downloads\exemplo.exe")
        driver.wait_window(DESTINATION)
        driver.set_text(DESTINATION, r"C:\Programas\Exemplo")
        driver.key(VK_END)  # the caret where typing left it
        session.screenshot(picture, driver.rect())
    shutil.rmtree(WORK, ignore_errors=True)
    print(picture)


if __name__ == "__main__":
    main()
