#!/usr/bin/env python3
"""Takes the pictures of the main dialog and the About box at 96, 120, 144 and 192 DPI under
Wine (the prefix's HKCU\\Control Panel\\Desktop LogPixels), after the build:
docs/dpi/main-DPI.png and docs/dpi/about-DPI.png, or under the folder given. The archive has a
directive record and a program to run, so that every option box is enabled and carries its
longest text. Prints each picture's path with the dialog's size in pixels."""

import os
import shutil
import subprocess
import sys
import zipfile

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))
WORK = os.path.join(ROOT, "build", "dpi-pictures")
os.environ.setdefault("VESPA_SOURCE", ROOT)
os.environ.setdefault("VESPA_WINE_ROOT", os.path.join(WORK, "wine"))
os.environ.setdefault("VESPA_WINE_RUN", "dpi")
sys.path.insert(0, os.path.join(ROOT, "tests", "wine"))
import harness  # noqa: E402

DESTINATION, ABOUT, ABOUT_TITLE, IDYES = 1007, 1000, 1140, 6
DPIS = (96, 120, 144, 192)


def set_dpi(session, dpi):
    """LogPixels is read when the wineserver and the program start: the server is ended."""
    subprocess.run(harness.WINE + ["reg", "add", r"HKCU\Control Panel\Desktop", "/v", "LogPixels",
                                   "/t", "REG_DWORD", "/d", str(dpi), "/f"],
                   env=session.env, capture_output=True, timeout=120, check=True)
    subprocess.run(["wineserver", "-k"], env=session.env, timeout=60, check=False)
    subprocess.run(["wineserver", "-w"], env=session.env, timeout=60, check=False)


def main():
    folder = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "docs", "dpi"))
    os.makedirs(folder, exist_ok=True)
    os.makedirs(WORK, exist_ok=True)
    archive = os.path.join(WORK, "exemplo.zip")
    with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("leia-me.txt", "Bem-vindo ao VESPA!\r\n")
        z.writestr("bin/instalar.exe", "MZ")
    built = os.path.join(WORK, "exemplo.exe")
    subprocess.run([harness.native_tool("vespa-mksfx"), "-q", "--stub",
                    os.path.join(harness.WIN64_BIN, "vespa-sfx.exe"), "--subdirectories",
                    "--destination", r"C:\Programas\Exemplo",
                    "--groups", "Exemplo VESPA|[CreateGroup(Exemplo VESPA)]",
                    "--extensions", "^.EXE|%0bin\\instalar.exe %1|^.TXT|notepad.exe %1",
                    "--run", "%0bin\\instalar.exe /s", "--run-checked", "-o", built, archive],
                   check=True,
                   timeout=120)
    with harness.WineSession() as session:
        # Run from C:\Downloads, as a user would: the caption shows that path, not the build's.
        downloads = os.path.join(session.prefix, "drive_c", "Downloads")
        os.makedirs(downloads, exist_ok=True)
        shutil.copy(built, os.path.join(downloads, "exemplo.exe"))
        program = r"C:\Downloads\exemplo.exe"
        try:
            for dpi in DPIS:
                set_dpi(session, dpi)
                driver = session.driver()
                driver.launch(program)
                driver.wait_window(DESTINATION)
                driver.command("sleep 1000")  # painted after it is shown
                rect = driver.rect()
                main_picture = session.screenshot(os.path.join(folder, f"main-{dpi}.png"), rect)
                driver.press(ABOUT)
                driver.wait_window(ABOUT_TITLE)
                driver.command("sleep 500")
                about = driver.rect()
                about_picture = session.screenshot(os.path.join(folder, f"about-{dpi}.png"), about)
                driver.close_window()
                driver.kill()
                driver.close()
                for path, (left, top, right, bottom) in ((main_picture, rect), (about_picture, about)):
                    print(f"{path}: {right - left} x {bottom - top} pixels at {dpi} DPI")
        finally:
            set_dpi(session, 96)
    shutil.rmtree(WORK, ignore_errors=True)


if __name__ == "__main__":
    main()
